#include "listener/T_Port162.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>

#include "snmpv3/MessageOpen.h"
#include "snmpv3/UsmReports.h"
#include "snmpv3/V3Lines.h"

namespace quillet {
namespace {

std::int64_t MonotonicSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

T_Port162::T_Port162(UdpSocket& socket, ConsoleOutput& output, ErrorReporter& reporter,
                     std::atomic<std::int32_t>& equipmentFlag, V3Session& v3, ByteSpan engineId,
                     std::uint32_t engineBoots, DatagramQueueBound bound)
    : ListenerThread(socket, output, reporter,
                     "PORT162受信エラー： Ether Port 162aを使用するプログラムを起動していませんか？ ", kLossLineHead,
                     bound),
      socket_(socket),
      equipmentFlag_(equipmentFlag),
      ack_(kInformAckCapacity + 1024),
      v3_(v3),
      engine_(engineId, engineBoots, MonotonicSeconds()),
      startSeconds_(MonotonicSeconds()),
      salts_(SaltSource::Random()),
      plain_(65536) {}

void T_Port162::HandleDatagram(const std::uint8_t* data, int size, const Ipv4Endpoint& sender,
                               std::int64_t arrivalNs, OutputBatch& batch) {
    ackLength_ = 0;
    ackTo_ = sender;
    ScanInboundMessage(data, static_cast<std::size_t>(size < 0 ? 0 : size), inbound_);
    if (inbound_.version == MessageVersion::V3) {
        HandleV3(data, size, sender, arrivalNs, batch);
        return;
    }
    const CommunityMessage& message = inbound_.community;
    std::int32_t flag = equipmentFlag_.load();
    if (DetailsOn()) {
        const PeerDetails peer = PeerOf(sender, arrivalNs);
        ReportTrap(data, size, message, scan_, flag, batch, &peer);
    } else {
        ReportTrap(data, size, message, scan_, flag, batch);
    }
    equipmentFlag_.store(flag);
    ackLength_ = scan_.notification ? BuildInformAck(data, message, scan_.v2, ack_.data(), ack_.size()) : 0;
    ackTo_ = sender;
}

void T_Port162::HandleV3(const std::uint8_t* data, int size, const Ipv4Endpoint& sender, std::int64_t arrivalNs,
                         OutputBatch& batch) {
    const std::size_t length = static_cast<std::size_t>(size);
    const std::shared_ptr<const V3Config> config = v3_.Config();
    static const UsmUserTable kNoUsers;
    const V3MessageScan& v3scan = inbound_.v3;
    // An inform names us, the receiver, as its authoritative engine (and
    // discovery names nobody yet); a trap names its sender.
    const ByteSpan ours = engine_.EngineId();
    const bool toUs = v3scan.status == V3ScanStatus::Ok &&
                      (v3scan.engineId.length == 0 ||
                       (v3scan.engineId.length == ours.size() &&
                        std::memcmp(data + v3scan.engineId.start, ours.data(), ours.size()) == 0));
    const std::int64_t now = MonotonicSeconds();
    const EngineClock clock = engine_.Clock(now);
    OpenedV3Message opened;
    OpenV3Message(data, length, v3scan, config != nullptr ? config->users : kNoUsers, toUs ? &clock : nullptr,
                  plain_.data(), plain_.size(), opened);
    const bool trusted = opened.status == UsmStatus::Ok;

    messageLines_.Clear();
    AppendV3HeaderLines(data, v3scan, messageLines_);
    AppendV3ReceivedSecurityLines(v3scan, opened, messageLines_);
    if (trusted) AppendScopedPduLines(opened.scopedBase, opened.scoped, messageLines_);
    const ReceivedV3Message received = ReceivedV3(data, size, messageLines_, v3scan, opened);
    std::optional<PeerDetails> peer;
    if (DetailsOn()) peer = PeerOf(sender, arrivalNs);

    const std::uint8_t tag = trusted ? opened.scoped.pduTag : 0;
    if (!trusted || (tag != kSnmpV2TrapTag && tag != kInformRequestTag)) {
        // Not opened, or not a notification: counted and shown, never
        // acknowledged; as the inform's authoritative engine we answer what
        // the rules ask with a Report (discovery's among them).
        ReportRefusedV3Message(received, batch, peer ? &*peer : nullptr);
        if (trusted) batch.WriteLine("  受信フレーム異常！", SummaryLine);
        if (toUs && !trusted)
            ackLength_ = BuildUsmReport(engine_, now, data, v3scan, opened, ack_.data(), ack_.size());
        return;
    }
    std::int32_t flag = equipmentFlag_.load();
    ReportV3Notification(received, scan_, flag, batch, peer ? &*peer : nullptr);
    equipmentFlag_.store(flag);
    if (tag == kInformRequestTag && toUs) {
        const Salt salt = salts_.Next(opened.user->priv, clock.boots);
        ackLength_ = BuildV3InformAck(engine_, now, data, v3scan, opened, salt, ack_.data(), ack_.size());
    }
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
