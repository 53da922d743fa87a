// Scheduling of the calling thread.
#pragma once

namespace quillet {

// Lowers the calling thread's priority by `steps` (a niceness of its own on
// POSIX; lowering needs no privilege). A thread that does bulk work in the
// background so yields at once to the threads that must answer quickly.
void LowerThreadPriority(int steps);

// Gives the calling thread a name the system's tools show (at most 15
// characters are kept).
void NameThisThread(const char* name);

// Suspends the calling thread for `microseconds` (finer than SleepMs).
void PauseMicroseconds(long microseconds);

// The processor the calling thread runs on now, -1 where the system cannot
// tell.
int CurrentProcessor();

// Keeps the calling thread off processor `processor` from now on (it may run
// on any other that the process may use), so that two threads that stand in for each other
// are not both held up by one busy processor. False, and nothing changed,
// where that would leave no processor or the system has no such control.
bool KeepOffProcessor(int processor);

}  // namespace quillet
