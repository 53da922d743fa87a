#include "console/ListenerThread.h"

#include <QCoreApplication>

#include "console/ThreadHandOff.h"
#include "console/platform/LocalTime.h"

namespace quillet {

// Pause after a failed receive: a socket that fails every time (its port was
// taken by another program at start-up) must not keep a core busy.
constexpr int kReceiveFailurePauseMs = 200;

ListenerThread::ListenerThread(UdpSocket& socket, ConsoleOutput& output, ErrorReporter& reporter,
                               std::string receiveErrorText)
    : socket_(socket), output_(output), reporter_(reporter), receiveErrorText_(std::move(receiveErrorText)) {}

void ListenerThread::Stop() {
    stopping_ = true;
    socket_.Shutdown();
    // A listener may be waiting for an error box to be shown by the GUI
    // thread; keep serving events until it has ended.
    while (!wait(20)) QCoreApplication::processEvents();
    AcceptHandOff(this);
}

void ListenerThread::run() {
    while (!stopping_) {
        Ipv4Endpoint sender;
        const int size = socket_.ReceiveFrom(buffer_.data(), buffer_.size(), sender);
        if (stopping_) break;
        if (size < 0) {
            if (!receiveErrorShown_) {
                receiveErrorShown_ = true;
                reporter_.ShowError(receiveErrorText_);
            }
            AfterReceiveFailure();
            SleepMs(kReceiveFailurePauseMs);
            continue;
        }
        batch_.Clear();
        HandleDatagram(buffer_.data(), size, sender, batch_);
        output_.Commit(batch_);
        AfterCommit();
    }
    AnnounceHandOff(this);
}

}  // namespace quillet
