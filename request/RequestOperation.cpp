#include "request/RequestOperation.h"

#include <algorithm>

#include "text/BerReader.h"
#include "text/Cp932.h"
#include "text/DecimalText.h"
#include "text/OidText.h"
#include "request/Ipv4Text.h"
#include "request/ObjectIdentifierText.h"
#include "request/RequestEncoder.h"

namespace quillet {
namespace {

constexpr const char* kCommunityMessage = "コミュニティ名が異常です。";
constexpr const char* kAddressMessage = "IPアドレスが異常です。";
constexpr const char* kOid1Message = "object IDが異常です。";
constexpr const char* kOid2Message = "object ID2が異常です。";
constexpr const char* kOid3Message = "object ID3が異常です。";
constexpr const char* kValueMessage = "入力データが異常です。";
constexpr const char* kMaxRepetitionsMessage = "Max-Repetitionsを入力下さい。";
constexpr const char* kNonRepeaterOid2Message = "(Min) OID2が異常です。";
constexpr const char* kNonRepeaterOid3Message = "(Min) OID3が異常です。";
constexpr const char* kRepeaterOidMessages[3] = {"Max OID1が異常です。", "Max OID2が異常です。",
                                                 "Max OID3が異常です。"};

PrepareResult& Fail(PrepareResult& result, const char* message) {
    result.messageChanged = true;
    result.message = message;
    return result;
}

// Copies the community in code page 932. Empty text fails (blanks pass), and
// so do a text longer than 64 bytes and a text with a character that code
// page 932 lacks: a cut or a stand-in would send another community than the
// one typed. `community` is left as it was on failure.
bool CheckCommunity(std::string_view text, RequestState& state) {
    if (text.empty()) return false;
    std::string bytes;
    if (!AppendCp932(bytes, text) || bytes.size() > kCommunityCapacity) return false;
    state.community.fill(0);
    std::copy(bytes.begin(), bytes.end(), state.community.begin());
    state.communityLength = static_cast<std::int32_t>(bytes.size());
    return true;
}

bool CheckAgentAddress(std::string_view text, PrepareResult& result) {
    std::uint8_t octets[4];
    if (ParseIpv4(text, octets) != 0) return false;
    result.addressAccepted = true;
    std::copy_n(octets, 4, result.agentAddress.begin());
    result.agentAddressText.assign(text);
    return true;
}

// The value on the wire: line breaks as CR LF, characters in code page 932.
// Returns false when a character has no code page 932 form.
bool ValueBytes(std::string_view text, std::string& bytes) {
    std::string crlf;
    crlf.reserve(text.size() + text.size() / 8);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) crlf.push_back('\r');
        crlf.push_back(text[i]);
    }
    bytes.clear();
    return AppendCp932(bytes, crlf);
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::int32_t ClampCount(std::int32_t count) { return std::clamp<std::int32_t>(count, 0, 3); }

}  // namespace

bool ReadIntegerField(std::string_view text, std::int32_t& value) {
    if (text.empty()) {
        value = 0;
        return true;
    }
    std::size_t begin = 0, end = text.size();
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    bool negative = false;
    if (begin < end && (text[begin] == '+' || text[begin] == '-')) negative = text[begin++] == '-';
    if (begin == end) return false;
    std::int64_t magnitude = 0;
    for (std::size_t i = begin; i < end; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > 2147483648LL) return false;
    }
    const std::int64_t signedValue = negative ? -magnitude : magnitude;
    if (signedValue > 2147483647LL) return false;
    value = static_cast<std::int32_t>(signedValue);
    return true;
}

PrepareResult PrepareRequest(RequestKind kind, const RequestFields& fields, RequestState& state) {
    PrepareResult result;
    // SNMPv3 has no community: its user comes from the SNMPv3 settings.
    if (fields.version == SnmpV3) {
        state.community.fill(0);
        state.communityLength = 0;
    } else if (!CheckCommunity(fields.community, state)) {
        return Fail(result, kCommunityMessage);
    }
    if (!CheckAgentAddress(fields.ipAddress, result)) return Fail(result, kAddressMessage);
    // OID1Edit is checked for every request, even a GetBulk that does not
    // send it (non-repeaters 0).
    if (ParseOid(fields.oid1, state.requestOids[0]) != 0) return Fail(result, kOid1Message);

    std::uint8_t pduTag = kGetRequestTag;
    switch (kind) {
    case RequestKind::Set:
        pduTag = kSetRequestTag;
        break;
    case RequestKind::Get:
        break;
    case RequestKind::GetNext: {
        pduTag = kGetNextRequestTag;
        // Empty fields are skipped: a filled OID3Edit after an empty
        // OID2Edit goes into slot 2, so the slots stay in field order.
        std::int32_t count = 1;
        state.varBindCount = count;
        if (!fields.oid2.empty()) {
            if (ParseOid(fields.oid2, state.requestOids[static_cast<std::size_t>(count)]) != 0)
                return Fail(result, kOid2Message);
            state.varBindCount = ++count;
        }
        if (!fields.oid3.empty()) {
            if (ParseOid(fields.oid3, state.requestOids[static_cast<std::size_t>(count)]) != 0)
                return Fail(result, kOid3Message);
            state.varBindCount = ++count;
        }
        // Raised before the datagram leaves, so that the answer can never be
        // handled by the listener before it is set.
        RaiseWalk(state);
        break;
    }
    case RequestKind::GetBulk: {
        pduTag = kGetBulkRequestTag;
        // Each number is stored as soon as it is read, so a text that is no
        // number in a later field leaves the earlier ones stored. The two
        // counts are up-down positions, not typed: a text that is no number
        // there is told like one in Max-Repetitions, the group's typed number.
        std::int32_t number;
        if (!ReadIntegerField(fields.nonRepeatersCount, number)) return Fail(result, kMaxRepetitionsMessage);
        state.varBindCount = ClampCount(number);
        if (!ReadIntegerField(fields.maxRepetitions, number)) return Fail(result, kMaxRepetitionsMessage);
        state.maxRepetitions = number;
        if (!ReadIntegerField(fields.repeaterCount, number)) return Fail(result, kMaxRepetitionsMessage);
        state.repeaterCount = ClampCount(number);

        // A negative max-repetitions has no meaning to an agent; it is refused
        // like a missing one rather than sent as its low eight bits.
        if (state.maxRepetitions < 0 || (state.maxRepetitions == 0 && state.repeaterCount != 0))
            return Fail(result, kMaxRepetitionsMessage);

        // Checked from the last field down, so the highest bad field is the
        // one reported.
        const std::int32_t nonRepeaters = state.varBindCount;
        if (nonRepeaters == 3 && ParseOid(fields.oid3, state.requestOids[2]) != 0)
            return Fail(result, kNonRepeaterOid3Message);
        if (nonRepeaters >= 2 && ParseOid(fields.oid2, state.requestOids[1]) != 0)
            return Fail(result, kNonRepeaterOid2Message);
        const std::string* repeaterTexts[3] = {&fields.maxOid1, &fields.maxOid2, &fields.maxOid3};
        for (std::int32_t j = state.repeaterCount; j >= 1; --j) {
            const auto slot = static_cast<std::size_t>(j - 1);
            if (ParseOid(*repeaterTexts[slot], state.repeaterOids[slot]) != 0)
                return Fail(result, kRepeaterOidMessages[slot]);
        }
        // Non-repeaters 0 with no repeaters is sent as it is: a legal
        // GetBulk with an empty binding list, which the agent answers empty.
        RaiseWalk(state);
        break;
    }
    }

    result.messageChanged = true;
    result.message.clear();

    std::string value;
    if (kind == RequestKind::Set && !ValueBytes(fields.value, value)) {
        // A value the wire cannot carry is refused like any value that does
        // not suit its type, and uses up its request id the same way.
        AdvanceRequestId(state);
        return Fail(result, kValueMessage);
    }
    // An SNMPv3 request carries the PDU of an SNMPv2c one.
    const int built =
        BuildRequest(state, pduTag, fields.version == SnmpV3 ? SnmpV2c : fields.version, fields.dataType, value);
    if (built != kBuildOk) return Fail(result, kValueMessage);
    result.ready = true;
    return result;
}

std::string_view ReportedOidText(RequestKind kind, const RequestState& state, const RequestFields& fields) {
    if (kind != RequestKind::GetBulk || state.varBindCount.load() > 0) return fields.oid1;
    return state.repeaterCount > 0 ? std::string_view(fields.maxOid1) : std::string_view();
}

namespace {

void WriteFirstLine(RequestKind kind, std::int32_t requestId, std::int32_t size, OutputBatch& batch) {
    const char* first = "get request 送信 request ID=";
    switch (kind) {
    case RequestKind::Set: first = "set request 送信 request ID="; break;
    case RequestKind::Get: break;
    case RequestKind::GetNext: first = "get next request 送信 request ID="; break;
    case RequestKind::GetBulk: first = "get bulk request 送信 request ID="; break;
    }
    std::string line = first;
    AppendDecimal(line, requestId);
    line += "  SIZE=";
    AppendDecimal(line, size);
    batch.WriteLine(line, SummaryLine);
}

void WriteObjectIdLine(std::string_view oid1Text, OutputBatch& batch) {
    std::string line = "  object ID =";
    line.append(oid1Text);
    batch.WriteLine(line, SummaryLine);
}

// What the details show of a request's PDU, read back from the encoder's
// bytes so that they say what went: GetBulk's two numbers and the name of
// every binding.
struct SentPdu {
    bool bulk = false;
    std::int32_t nonRepeaters = 0, maxRepetitions = 0;
    BerElement names[6];
    std::size_t nameCount = 0;
};

bool ReadSentPdu(std::span<const std::uint8_t> pdu, SentPdu& sent) {
    constexpr LengthForm kForm = LengthForm::ShortOr8182;
    const std::uint8_t* data = pdu.data();
    BerReader message(data, pdu.size());
    BerElement whole, requestId, second, third, list;
    if (!message.ReadElement(kForm, whole)) return false;
    BerReader fields(data, whole.End(), whole.start);
    if (!fields.ReadElement(kIntegerTag, kForm, requestId) || !fields.ReadElement(kIntegerTag, kForm, second) ||
        !fields.ReadElement(kIntegerTag, kForm, third) || !fields.ReadElement(kSequenceTag, kForm, list))
        return false;
    sent.bulk = whole.tag == kGetBulkRequestTag;
    ReadSigned32(data + second.start, second.length, sent.nonRepeaters);
    ReadSigned32(data + third.start, third.length, sent.maxRepetitions);
    BerReader bindings(data, list.End(), list.start);
    BerElement binding;
    while (sent.nameCount < std::size(sent.names) && bindings.ReadElement(kSequenceTag, kForm, binding)) {
        BerReader inBinding(data, binding.End(), binding.start);
        if (!inBinding.ReadElement(kObjectIdTag, kForm, sent.names[sent.nameCount])) break;
        ++sent.nameCount;
    }
    return true;
}

// The request's lines with the details on: "  non-repeaters=N  max-repetitions=M"
// before the "  object ID =" line of a GetBulk, and "  object ID2=" onwards
// after it for every further binding.
void WriteRequestLines(std::span<const std::uint8_t> pdu, std::string_view oid1Text, bool details,
                       OutputBatch& batch) {
    SentPdu sent;
    if (!details || !ReadSentPdu(pdu, sent)) return WriteObjectIdLine(oid1Text, batch);
    std::string line;
    if (sent.bulk) {
        line = "  non-repeaters=";
        AppendDecimal(line, sent.nonRepeaters);
        line += "  max-repetitions=";
        AppendDecimal(line, sent.maxRepetitions);
        batch.WriteLine(line, SummaryLine);
    }
    WriteObjectIdLine(oid1Text, batch);
    for (std::size_t i = 1; i < sent.nameCount; ++i) {
        line = "  object ID";
        AppendDecimal(line, static_cast<std::int32_t>(i + 1));
        line += "=";
        AppendOidLineText(line, pdu.data() + sent.names[i].start, sent.names[i].length);
        batch.WriteLine(line, SummaryLine);
    }
}

// sendSize x 3.2 in integers (x 16 / 5): exact, where a binary 3.2 could
// land a multiple of five just below the whole number and truncate it.
int RequestCharge(RequestKind kind, std::size_t size, bool pduDisplayChecked) {
    if (kind == RequestKind::Set) return static_cast<int>(size) * 16 / 5 + 100;
    return pduDisplayChecked ? static_cast<int>(size) * 3 + 100 : 100;
}

}  // namespace

void ReportRequest(RequestKind kind, const RequestState& state, std::string_view oid1Text, bool pduDisplayChecked,
                   OutputBatch& batch, const PeerDetails* sent) {
    WriteFirstLine(kind, state.requestId, state.sendSize, batch);
    if (sent != nullptr) AppendSentDetails(*sent, batch);
    const auto size = static_cast<std::size_t>(std::clamp<std::int32_t>(state.sendSize, 0, kSendBufferSize));
    WriteRequestLines(RequestPdu(state.sendBuffer.data(), size), oid1Text, sent != nullptr, batch);
    batch.WriteLine("  送信DATA=", PduLine);
    batch.DumpPdu(state.sendBuffer.data(), size, PduLine);
    batch.ChargeOutput(RequestCharge(kind, size, pduDisplayChecked));
}

void ReportV3Request(RequestKind kind, std::int32_t requestId, const std::uint8_t* datagram, std::size_t size,
                     std::string_view oid1Text, bool pduDisplayChecked, const OutputBatch& messageLines,
                     const std::uint8_t* plain, std::size_t plainSize, OutputBatch& batch, const PeerDetails* sent,
                     std::span<const std::uint8_t> pdu) {
    WriteFirstLine(kind, requestId, static_cast<std::int32_t>(size), batch);
    if (sent != nullptr) AppendSentDetails(*sent, batch);
    batch.Append(messageLines);
    WriteRequestLines(pdu, oid1Text, sent != nullptr, batch);
    batch.WriteLine("  送信DATA=", PduLine);
    batch.DumpPdu(datagram, size, PduLine);
    if (plain != nullptr) {
        batch.WriteLine("  暗号化前scopedPDU=", PduLine);
        batch.DumpPdu(plain, plainSize, PduLine);
    }
    batch.ChargeOutput(RequestCharge(kind, size, pduDisplayChecked));
}

void ReportNotSent(std::string_view reason, OutputBatch& batch) {
    std::string line = "  送信失敗：送信されていません（";
    line.append(reason);
    line.append("）");
    batch.WriteLine(line, SummaryLine);
}

std::string NoAnswerMessage(std::int32_t requestId, int tries) {
    std::string message = "応答がありません（request ID=";
    AppendDecimal(message, requestId);
    if (tries > 1) {
        message += "、";
        AppendDecimal(message, tries);
        message += "回送信";
    }
    message += "）";
    return message;
}

void ReportNoAnswer(std::int32_t requestId, int waitedMs, OutputBatch& batch, int tries) {
    std::string line = "  応答なし：request ID=";
    AppendDecimal(line, requestId);
    line += "  ";
    AppendDecimal(line, waitedMs);
    line += "ms";
    if (tries > 1) {
        line += " × ";
        AppendDecimal(line, tries);
        line += "回";
    }
    line += " 待ちました";
    batch.WriteLine(line, SummaryLine);
    batch.ChargeOutput(30);
}

void ReportRetry(std::int32_t requestId, const std::uint8_t* datagram, std::size_t size, int attempt, int tries,
                 OutputBatch& batch, const PeerDetails* sent) {
    std::string line = "request 再送 request ID=";
    AppendDecimal(line, requestId);
    line += "  SIZE=";
    AppendDecimal(line, static_cast<std::int64_t>(size));
    line += "  ";
    AppendDecimal(line, attempt);
    line += "/";
    AppendDecimal(line, tries);
    line += "回目";
    batch.WriteLine(line, SummaryLine);
    if (sent != nullptr) AppendSentDetails(*sent, batch);
    batch.WriteLine("  送信DATA=", PduLine);
    batch.DumpPdu(datagram, size, PduLine);
    batch.ChargeOutput(static_cast<int>(std::min<std::size_t>(size, 65536)) * 3 + 100);
}

}  // namespace quillet
