#include "listener/T_Port162.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>

#include "snmpv3/InboundMessage.h"

namespace quillet {
namespace {

std::int64_t MonotonicMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

T_Port162::T_Port162(UdpSocket& socket, ConsoleOutput& output, ErrorReporter& reporter,
                     std::atomic<std::int32_t>& equipmentFlag, const V3Users& users, ByteSpan engineId,
                     std::uint32_t engineBoots, DatagramQueueBound bound)
    : ListenerThread(socket, output, reporter,
                     "PORT162受信エラー： Ether Port 162aを使用するプログラムを起動していませんか？ ", kLossLineHead,
                     bound),
      socket_(socket),
      equipmentFlag_(equipmentFlag),
      ack_(kInformAckCapacity),
      v3_(users, engineId, engineBoots, MonotonicMs()) {}

void T_Port162::HandleDatagram(const std::uint8_t* data, int size, const Ipv4Endpoint& sender,
                               std::int64_t arrivalNs, OutputBatch& batch) {
    const std::size_t length = static_cast<std::size_t>(size < 0 ? 0 : size);
    ackLength_ = 0;
    ackTo_ = sender;
    std::int32_t flag = equipmentFlag_.load();
    std::optional<PeerDetails> peer;
    if (DetailsOn()) peer = PeerOf(sender, arrivalNs);
    ScanInboundMessage(data, length, inbound_);
    if (inbound_.version == MessageVersion::V3) {
        ackLength_ = v3_.Take(data, length, inbound_.v3, Endpoint::V4(sender.octets, sender.port), MonotonicMs(),
                              peer ? &*peer : nullptr, scan_, flag, batch);
        answer_ = v3_.Answer();
    } else {
        const CommunityMessage& message = inbound_.community;
        ReportTrap(data, size, message, scan_, flag, batch, peer ? &*peer : nullptr);
        ackLength_ = scan_.notification ? BuildInformAck(data, message, scan_.v2, ack_.data(), ack_.size()) : 0;
        answer_ = ack_.data();
    }
    equipmentFlag_.store(flag);
}

void T_Port162::AfterCommit() {
    // Called once for each datagram of a shared commit; only an inform,
    // which is always committed on its own, leaves an answer to send. A
    // failed send is not reported: the agent sends the inform again and the
    // next copy is answered in its turn.
    if (ackLength_ > 0) socket_.SendTo(ackTo_, answer_, ackLength_);
    ackLength_ = 0;
}

}  // namespace quillet
