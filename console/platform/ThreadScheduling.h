// Scheduling of the calling thread.
#pragma once

namespace quillet {

// Lowers the calling thread's priority by `steps` (a niceness of its own on
// POSIX; lowering needs no privilege). A thread that does bulk work in the
// background so yields at once to the threads that must answer quickly.
void LowerThreadPriority(int steps);

// Asks that the calling thread run in short slices of the processor, so that
// it is scheduled soon after it wakes even while other threads are busy (a
// thread that asks for short slices is owed an earlier turn). Where the
// system offers no such request, nothing changes.
void AskShortSlices();

// Suspends the calling thread for `microseconds` (finer than SleepMs).
void PauseMicroseconds(long microseconds);

}  // namespace quillet
