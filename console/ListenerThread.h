// A listener thread: receives datagrams on one socket of the socket table for
// the whole run, reports each one through the output hub, and shows a
// receive-failure box once per run.
#pragma once

#include <QThread>

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

#include "console/ConsoleOutput.h"
#include "console/ErrorReporter.h"
#include "console/OutputBatch.h"
#include "console/platform/UdpSocket.h"

namespace quillet {

class ListenerThread : public QThread {
public:
    static constexpr std::size_t kReceiveBufferSize = 65536;

    ListenerThread(UdpSocket& socket, ConsoleOutput& output, ErrorReporter& reporter, std::string receiveErrorText);

    // Ends the thread: wakes a waiting receive and returns when it has ended.
    void Stop();

protected:
    void run() override;
    // Reports one received datagram into `batch` (already cleared); `sender`
    // is the address and port it came from.
    virtual void HandleDatagram(const std::uint8_t* data, int size, const Ipv4Endpoint& sender,
                                OutputBatch& batch) = 0;
    // Called after each failed receive (after the box, if one was shown).
    virtual void AfterReceiveFailure() {}
    // Called after the batch of a datagram has been committed.
    virtual void AfterCommit() {}

private:
    UdpSocket& socket_;
    ConsoleOutput& output_;
    ErrorReporter& reporter_;
    std::string receiveErrorText_;
    std::atomic<bool> stopping_{false};
    bool receiveErrorShown_ = false;
    // One buffer for every datagram; the scans point into it.
    std::array<std::uint8_t, kReceiveBufferSize> buffer_{};
    OutputBatch batch_;
};

}  // namespace quillet
