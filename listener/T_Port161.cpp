#include "listener/T_Port161.h"

#include "response/ResponseReport.h"

namespace quillet {

T_Port161::T_Port161(UdpSocket& socket, ConsoleOutput& output, ErrorReporter& reporter, RequestState& request,
                     DatagramQueueBound bound)
    : ListenerThread(socket, output, reporter,
                     "PORT161受信エラー： Ether Port 161を使用するプログラムを起動していませんか？ ", kLossLineHead,
                     bound),
      request_(request) {}

void T_Port161::HandleDatagram(const std::uint8_t* data, int size, const Ipv4Endpoint& /*sender*/,
                               OutputBatch& batch) {
    seenWalk_ = request_.walkPending.load();
    clearWalk_ = ReportResponse(data, size, seenWalk_, request_.varBindCount.load(), scan_, batch);
}

void T_Port161::AfterReceiveFailure() { request_.walkPending = 0; }

void T_Port161::AfterCommit() {
    // A malformed datagram leaves the walk pending for the real answer. Only
    // the walk this datagram was handled under is cleared: a GetNext pressed
    // meanwhile keeps its write-back for its own answer.
    if (clearWalk_) ClearWalk(request_, seenWalk_);
}

}  // namespace quillet
