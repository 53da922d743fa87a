#include "ping/PingRun.h"

#include <cstdint>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/LocalTime.h"
#include "ping/IcmpEcho.h"
#include "platform/IcmpSocket.h"

namespace quillet {

struct PingRun::Run {
    AddressTextProvider addressText;
    LineSink lineSink;
    FinishedHandler onFinished;
    PingStopSignal stop;
    bool stopped = false;  // under PingRun::mutex_
    std::thread thread;
};

enum class PingRun::EchoStep : int { Next, EndRun, Stopped };

PingRun::PingRun() = default;

PingRun::~PingRun() {
    Stop();
    std::lock_guard<std::mutex> lock(mutex_);
    JoinEndedLocked();
}

PingRun::Toggle PingRun::StartOrStop(AddressTextProvider addressText, LineSink lineSink, FinishedHandler onFinished) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (active_) {
        std::unique_ptr<Run> run = DetachActiveLocked();
        // The worker may need the lock once more to find out that it was
        // stopped: join without holding it.
        lock.unlock();
        run->thread.join();
        return Toggle::Stopped;
    }
    return StartLocked(std::move(addressText), std::move(lineSink), std::move(onFinished)) ? Toggle::Started
                                                                                          : Toggle::NotStarted;
}

bool PingRun::Start(AddressTextProvider addressText, LineSink lineSink, FinishedHandler onFinished) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (active_) return false;
    return StartLocked(std::move(addressText), std::move(lineSink), std::move(onFinished));
}

bool PingRun::Stop() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!active_) return false;
    std::unique_ptr<Run> run = DetachActiveLocked();
    lock.unlock();
    run->thread.join();
    return true;
}

bool PingRun::IsActive() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return active_ != nullptr;
}

bool PingRun::StartLocked(AddressTextProvider addressText, LineSink lineSink, FinishedHandler onFinished) {
    JoinEndedLocked();
    auto run = std::make_unique<Run>();
    run->addressText = std::move(addressText);
    run->lineSink = std::move(lineSink);
    run->onFinished = std::move(onFinished);
    if (!run->stop.Open()) return false;
    try {
        // The worker's first line waits for the lock held here, so it never
        // runs ahead of active_ being set.
        run->thread = std::thread(&PingRun::Body, this, std::ref(*run));
    } catch (const std::system_error&) {
        return false;
    }
    active_ = std::move(run);
    return true;
}

std::unique_ptr<PingRun::Run> PingRun::DetachActiveLocked() {
    std::unique_ptr<Run> run = std::move(active_);
    run->stopped = true;
    run->stop.Signal();
    return run;
}

void PingRun::JoinEndedLocked() {
    // A run that ended by itself has let go of the lock for good: joining it
    // here only waits for its last instructions.
    if (ended_ && ended_->thread.joinable()) ended_->thread.join();
    ended_.reset();
}

bool PingRun::Emit(Run& run, std::string_view line) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (run.stopped) return false;
    if (run.lineSink) run.lineSink(line);
    return true;
}

void PingRun::Finish(Run& run) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (run.stopped) return;
    // Becoming inactive and writing the finishing lines is one step, so a
    // click either stops the run before them or starts a new one after them.
    ended_ = std::move(active_);
    if (run.lineSink) {
        run.lineSink("");
        run.lineSink(kPingFinishedLine);
        run.lineSink("");
    }
    if (run.onFinished) run.onFinished();
}

void PingRun::Body(Run& run) {
    if (!Emit(run, "")) return;
    if (!Emit(run, PingingLine(run.addressText ? run.addressText() : std::string(), kEchoSize))) return;
    if (!Emit(run, "")) return;
    for (int n = 0; n < kEchoCount; ++n) {
        const EchoStep step = Echo(run, n);
        if (step == EchoStep::Stopped) return;
        if (step == EchoStep::EndRun) break;
    }
    Finish(run);
}

PingRun::EchoStep PingRun::Echo(Run& run, int echoNumber) {
    if (run.stop.Raised()) return EchoStep::Stopped;
    SleepMs(kEchoPauseMs);
    const std::uint32_t sendTime = TickCountMs();
    const std::string address = run.addressText ? run.addressText() : std::string();
    const auto failWith = [&](std::string_view line) { return Emit(run, line) ? EchoStep::EndRun : EchoStep::Stopped; };

    // One socket per echo, closed when this function returns.
    // ICMPv6 for an IPv6 literal, decided anew for every echo as the address is.
    const IcmpFamily family = IcmpFamilyOf(address);
    IcmpSocket socket;
    switch (socket.Open(kEchoTimeToLive, kEchoTimeoutMs, family == IcmpFamily::V6)) {
    case IcmpOpenResult::Opened: break;
    case IcmpOpenResult::SocketRefused: return failWith(kSocketFailedLine);
    case IcmpOpenResult::SendTimeoutRefused: return failWith(kSendTimeoutFailedLine);
    case IcmpOpenResult::ReceiveTimeoutRefused: return failWith(kReceiveTimeoutFailedLine);
    case IcmpOpenResult::TimeToLiveRefused: return failWith(kTimeToLiveFailedLine);
    }

    std::uint8_t request[kEchoBufferSize] = {};
    const std::size_t size = BuildEchoRequest(request, sizeof request, kEchoSize, echoNumber, echoNumber, family);
    if (!socket.SendTo(address, request, size)) return failWith(kSendFailedLine);

    std::uint8_t reply[kEchoBufferSize];
    const IcmpReceipt receipt = socket.Receive(reply, sizeof reply, kEchoTimeoutMs, &run.stop);
    EchoReading reading;
    switch (receipt.status) {
    case IcmpReceipt::Status::Stopped: return EchoStep::Stopped;
    case IcmpReceipt::Status::Failed: return failWith(kReceiveFailedLine);
    case IcmpReceipt::Status::TimedOut: return Emit(run, kRequestTimedOutLine) ? EchoStep::Next : EchoStep::Stopped;
    case IcmpReceipt::Status::IcmpError: reading = ReadIcmpErrorReport(receipt.icmpType, family); break;
    case IcmpReceipt::Status::Datagram:
        reading = socket.Kind() == IcmpSocketKind::Raw && family == IcmpFamily::V4
                      ? ReadEchoReplyWithIpHeader(reply, receipt.length, echoNumber)
                      : ReadEchoReplyWithoutIpHeader(reply, receipt.length, echoNumber, receipt.ttl, family);
        break;
    }
    const int elapsedMs = static_cast<int>(TickCountMs() - sendTime);
    // The line shows the address as typed now, which may differ from the one
    // the echo went to if the operator edited it meanwhile.
    const std::string shownAddress =
        reading.verdict == EchoVerdict::Reply && run.addressText ? run.addressText() : address;
    const std::optional<std::string> line = EchoReadingLine(reading, shownAddress, elapsedMs);
    if (line && !Emit(run, *line)) return EchoStep::Stopped;
    return EchoStep::Next;
}

}  // namespace quillet
