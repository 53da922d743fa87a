// Tells ThreadSanitizer about hand-offs between threads that it cannot see.
// QThread::wait() synchronises through Qt's own futex-based locks, which are
// not instrumented in the toolkit's libraries, so without these calls every
// access of a finished QThread looks raced with its deletion. Outside a
// ThreadSanitizer build they compile to nothing.
#pragma once

#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
#endif

namespace quillet {

// Called by a thread as the last thing it does with `object`.
inline void AnnounceHandOff(void* object) {
#if defined(__SANITIZE_THREAD__)
    __tsan_release(object);
#else
    (void)object;
#endif
}

// Called by the thread that takes `object` over, once it knows the other
// thread has finished with it.
inline void AcceptHandOff(void* object) {
#if defined(__SANITIZE_THREAD__)
    __tsan_acquire(object);
#else
    (void)object;
#endif
}

}  // namespace quillet
