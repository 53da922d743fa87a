#include "listener/T_Port162.h"

namespace quillet {

T_Port162::T_Port162(UdpSocket& socket, ConsoleOutput& output, ErrorReporter& reporter,
                     std::atomic<std::int32_t>& equipmentFlag, DatagramQueueBound bound)
    : ListenerThread(socket, output, reporter,
                     "PORT162受信エラー： Ether Port 162aを使用するプログラムを起動していませんか？ ", kLossLineHead,
                     bound),
      socket_(socket),
      equipmentFlag_(equipmentFlag) {}

void T_Port162::HandleDatagram(const std::uint8_t* data, int size, const Ipv4Endpoint& sender,
                               std::int64_t arrivalNs, OutputBatch& batch) {
    std::int32_t flag = equipmentFlag_.load();
    if (DetailsOn()) {
        const PeerDetails peer = PeerOf(sender, arrivalNs);
        ReportTrap(data, size, scan_, flag, batch, &peer);
    } else {
        ReportTrap(data, size, scan_, flag, batch);
    }
    equipmentFlag_.store(flag);
    ackLength_ = scan_.notification ? BuildInformAck(data, scan_.v2, ack_.data(), ack_.size()) : 0;
    ackTo_ = sender;
}

void T_Port162::AfterCommit() {
    // Called once for each datagram of a shared commit; only an inform,
    // which is always committed on its own, leaves an answer to send. A
    // failed send is not reported: the agent sends the inform again and the
    // next copy is answered in its turn.
    if (ackLength_ > 0) socket_.SendTo(ackTo_, ack_.data(), ackLength_);
    ackLength_ = 0;
}

}  // namespace quillet
