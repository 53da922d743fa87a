// Scheduling of the calling thread.
#pragma once

namespace quillet {

// Lowers the calling thread's priority by `steps` (a niceness of its own on
// POSIX; lowering needs no privilege). A thread that does bulk work in the
// background so yields at once to the threads that must answer quickly.
void LowerThreadPriority(int steps);

// Suspends the calling thread for `microseconds` (finer than SleepMs).
void PauseMicroseconds(long microseconds);

}  // namespace quillet
