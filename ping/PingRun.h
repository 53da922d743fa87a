// One ping run: three ICMP echoes to the agent on a worker thread of its
// own, stoppable at any moment. No Qt: the window hands in three callbacks
// and turns the lines into pane work itself.
//
// Lines of a run, each handed to the line sink:
//   "", "Pinging [ADDRESS] with 40 bytes of data:", "",
//   per echo n = 0, 1, 2 at most one of: a reply line, "Request timed out.",
//   "Distnation Unreacheble.", "TTL", "CMTP TYPE=%d" (a reply for another
//   echo gives none), or a failure line that ends the echoes,
//   and when the run ends by itself: "", "Pinging was finished", "".
// A stopped run writes nothing more; the caller writes its own
// "", "Pinging was terminated by user", "" (kPingTerminatedLine).
//
// Threads and callbacks:
// - StartOrStop, Start, Stop, IsActive and the destructor are called from
//   one controlling thread (the GUI thread); they are also safe against each
//   other from several threads.
// - addressText() is called on the worker thread at the start, at every
//   echo and once more for each reply line (so an address typed during a
//   run is used by the following echoes and shown in their lines), with no
//   lock of PingRun held. Give it a thread-safe copy of the address field,
//   never the widget itself.
// - lineSink(line) is called on the worker thread, once per line, in order,
//   WITH PingRun's lock held. The lock makes "is the run stopped?" and the
//   delivery of the line one step, which is what keeps any line of a run
//   from reaching the sink once Stop() has returned, and keeps a run that
//   has written "Pinging was finished" from being found active.
// - onFinished() (may be empty) is called on the worker thread, with the
//   lock held, right after the three finishing lines, when the run has
//   ended by itself; the run is already inactive then. It is not called
//   for a stopped run.
//
// Rules for the callbacks, so that they cannot deadlock against Stop() on
// the GUI thread: a callback must return promptly, must not throw, must
// never wait for the GUI thread (no blocking queued call, no lock that the
// GUI thread holds while it calls into PingRun) and must never call into
// PingRun (its lock is not recursive).
// Posting the line to the GUI thread (a queued call, or a locked queue that
// the GUI drains) is the intended use. Stop() waits for the lock only as
// long as one such callback runs, then for the worker, which leaves any
// wait at once when signalled.
//
// Ordering in the pane: Stop() guarantees only that the sink is not called
// after it returns. Lines handed to the sink before that may still sit in
// the caller's queue to the GUI thread; the caller must therefore put the
// "terminated by user" lines through the same queue (or drain it first),
// so that they come after them.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace quillet {

class PingRun {
public:
    using AddressTextProvider = std::function<std::string()>;
    using LineSink = std::function<void(std::string_view)>;
    using FinishedHandler = std::function<void()>;

    enum class Toggle {
        Started,     // no run was active; a new one (echo 0 first) is running
        Stopped,     // the active run was stopped; it writes nothing more
        NotStarted,  // no run was active and none could be started (no thread)
    };

    PingRun();
    // Stops an active run (writing nothing) and joins any worker.
    ~PingRun();
    PingRun(const PingRun&) = delete;
    PingRun& operator=(const PingRun&) = delete;

    // The click on the ping button, as one step under the lock: starts a run
    // when none is active, else stops the active one. A run that has written
    // its finishing lines is never found active, so the next click after
    // "Pinging was finished" always starts afresh.
    Toggle StartOrStop(AddressTextProvider addressText, LineSink lineSink, FinishedHandler onFinished = {});

    // Starts a run when none is active. False when one is active (nothing
    // changes) or the worker could not be started.
    bool Start(AddressTextProvider addressText, LineSink lineSink, FinishedHandler onFinished = {});

    // Stops the active run: wakes it from any wait, lets it close its socket
    // and joins it. Returns false when no run was active. After it returns
    // the stopped run's sink and finish handler are never called again.
    bool Stop();

    // True from a start until the run has written "Pinging was finished" or
    // was stopped.
    bool IsActive() const;

private:
    struct Run;
    enum class EchoStep : int;

    bool StartLocked(AddressTextProvider addressText, LineSink lineSink, FinishedHandler onFinished);
    std::unique_ptr<Run> DetachActiveLocked();
    void JoinEndedLocked();
    void Body(Run& run);
    EchoStep Echo(Run& run, int echoNumber);
    bool Emit(Run& run, std::string_view line);
    void Finish(Run& run);

    mutable std::mutex mutex_;
    std::unique_ptr<Run> active_;  // the running run, or none
    std::unique_ptr<Run> ended_;   // a run that ended by itself and whose thread is not yet joined
};

}  // namespace quillet
