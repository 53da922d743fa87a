#include "exchange/V3Notifications.h"

#include <algorithm>

#include "snmpv3/Libcrypto.h"
#include "snmpv3/UsmReports.h"
#include "snmpv3/V3Lines.h"
#include "text/DecimalText.h"
#include "trap/InformAck.h"
#include "trap/NotificationScan.h"

namespace quillet {
namespace {

constexpr const char* kLimitLine =
    "  SNMPv3 Reportの送信を制限しました（送信元ごとに毎秒20件、全体で毎秒100件まで。以後この制限は記録しません）";

ByteSpan Content(const std::uint8_t* data, const BerElement& element) { return {data + element.start, element.length}; }

const char* LevelName(SecurityLevel level) {
    switch (level) {
    case SecurityLevel::NoAuthNoPriv: return "noAuthNoPriv";
    case SecurityLevel::AuthNoPriv: return "authNoPriv";
    case SecurityLevel::AuthPriv: return "authPriv";
    }
    return "?";
}

}  // namespace

V3Notifications::V3Notifications(const V3Users& users, ByteSpan engineId, std::uint32_t engineBoots,
                                 std::int64_t startMs)
    : users_(users),
      engine_(engineId, engineBoots, startMs / 1000),
      salts_(0),
      plain_(65536),
      answer_(65536 + 1024) {}

bool V3Notifications::SeedSalts() {
    if (seeded_) return true;
    std::uint8_t octets[8];
    if (!RandomOctets(octets, sizeof octets)) return false;
    std::uint64_t start = 0;
    for (const std::uint8_t octet : octets) start = (start << 8) | octet;
    salts_ = SaltSource(start);
    seeded_ = true;
    return true;
}

void V3Notifications::ProbeLine(const char* what, std::size_t size, const Endpoint& from, OutputBatch& out) {
    std::string line = what;
    line += "  送信元=";
    AppendAddress(line, from.V4Octets());
    line += ":";
    AppendDecimal(line, from.port);
    line += "  SIZE=";
    AppendDecimal(line, static_cast<std::int64_t>(size));
    out.WriteLine(line, SummaryLine);
    out.ChargeOutput(80);
}

std::size_t V3Notifications::Report(const std::uint8_t* data, const Endpoint& from, std::int64_t nowMs,
                                    OutputBatch& out) {
    if (!limiter_.Allow(from, nowMs)) {
        if (limiter_.FirstRefusal()) out.WriteLine(kLimitLine, SummaryLine);
        return 0;
    }
    return BuildUsmReport(engine_, nowMs / 1000, data, scan_, opened_, answer_.data(), answer_.size());
}

std::size_t V3Notifications::Take(const std::uint8_t* data, std::size_t size, const V3MessageScan& scan,
                                  const Endpoint& from, std::int64_t nowMs, const PeerDetails* details, TrapReportScratch& scratch,
                                  std::int32_t& equipmentFlag, OutputBatch& out) {
    static const UsmUserTable kNoUsers;
    const std::shared_ptr<const V3Config> config = users_.Config();
    const UsmUserTable& users = config != nullptr ? config->users : kNoUsers;
    scan_ = scan;
    const bool reportable = scan_.status == V3ScanStatus::Ok && (scan_.msgFlags & kFlagReportable) != 0;
    const EngineClock clock = engine_.Clock(nowMs / 1000);
    // Addressed to us when it asks for an answer; a trap names its sender.
    OpenV3Message(data, size, scan_, users, reportable ? &clock : nullptr, plain_.data(), plain_.size(), opened_);

    if (reportable && scan_.engineId.length == 0) {
        ProbeLine("SNMPv3 エンジンID探索(discovery)受信", size, from, out);
        return Report(data, from, nowMs, out);
    }
    if (reportable && opened_.status == UsmStatus::NotInTimeWindow && scan_.engineBoots == 0 &&
        scan_.engineTime == 0) {
        ProbeLine("SNMPv3 時刻同期(time synchronization)受信", size, from, out);
        return Report(data, from, nowMs, out);
    }

    // What keeps an opened message from being taken, beyond the USM checks.
    const char* refusal = nullptr;
    std::string levelRefusal;
    if (opened_.status == UsmStatus::Ok && opened_.user != nullptr && opened_.level < opened_.user->level) {
        levelRefusal = std::string("  受け付けません：ユーザーに設定したセキュリティレベル(") +
                       LevelName(opened_.user->level) + ")より低いメッセージです";
        refusal = levelRefusal.c_str();
    }
    if (opened_.status == UsmStatus::Ok && refusal == nullptr && !reportable && opened_.authenticated &&
        !senders_.Authenticated(Content(data, scan_.engineId), scan_.engineBoots, scan_.engineTime, nowMs)) {
        // A trap older than what its engine said before: a replay.
        opened_.status = UsmStatus::NotInTimeWindow;
        opened_.scopedBase = nullptr;
    }
    const bool trusted = opened_.status == UsmStatus::Ok && refusal == nullptr;

    OutputBatch messageLines;
    AppendV3HeaderLines(data, scan_, messageLines);
    AppendV3ReceivedSecurityLines(scan_, opened_, messageLines);
    if (trusted) AppendScopedPduLines(opened_.scopedBase, opened_.scoped, messageLines);
    OpenedV3Message shownOpened = opened_;
    if (!trusted) shownOpened.status = UsmStatus::ParseError;  // nothing decrypted is shown
    const ReceivedV3Message received = ReceivedV3(data, static_cast<int>(size), messageLines, scan_, shownOpened);

    const std::uint8_t tag = trusted ? opened_.scoped.pduTag : 0;
    if (!trusted || (tag != kSnmpV2TrapTag && tag != kInformRequestTag)) {
        // Counted and shown, never acknowledged; a message that asked for
        // an answer gets the Report the rules give (none for a refusal of
        // our own).
        ReportRefusedV3Message(received, out, details);
        if (refusal != nullptr) out.WriteLine(refusal, SummaryLine);
        if (trusted) out.WriteLine("  受信フレーム異常！", SummaryLine);
        if (reportable && opened_.status != UsmStatus::Ok) return Report(data, from, nowMs, out);
        return 0;
    }
    ReportV3Notification(received, scratch, equipmentFlag, out, details);
    if (tag != kInformRequestTag || !reportable) return 0;
    if (opened_.level == SecurityLevel::AuthPriv && !SeedSalts()) {
        // An encrypted acknowledgement needs a salt never used before.
        out.WriteLine("  INFORMに応答しません：乱数を得られないため暗号化できません", SummaryLine);
        return 0;
    }
    const Salt salt = salts_.Next(opened_.user->priv, clock.boots);
    return BuildV3InformAck(engine_, nowMs / 1000, data, scan_, opened_, salt, answer_.data(), answer_.size());
}

}  // namespace quillet
