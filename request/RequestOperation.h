// The four request buttons without the window: input checks in their fixed
// order, filling of RequestState, encoding, and the report of a sent request.
//
// The GUI thread runs one operation at a time:
//   1. PrepareRequest with the window's texts;
//   2. apply the result: a new destination (addressAccepted), the
//      MessageEdit text (messageChanged);
//   3. if ready: ReportRequest into a batch and commit it, then send
//      state.sendBuffer / state.sendSize through SendDatagram. The report
//      goes first so that an answer, which a near agent sends within
//      microseconds, follows its request in the pane and the log.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "output/DetailLines.h"
#include "output/OutputBatch.h"
#include "request/RequestState.h"

namespace quillet {

enum class RequestKind { Set, Get, GetNext, GetBulk };

// The window's texts as UTF-8, exactly as the controls hold them.
struct RequestFields {
    std::string community;          // CommunityEdit
    std::string ipAddress;          // IpEdit
    std::string oid1, oid2, oid3;   // OID1Edit..OID3Edit
    std::string nonRepeatersCount;  // NonOID_C_Edit
    std::string maxRepetitions;     // MaxEdit
    std::string repeaterCount;      // MaxOID_C_Edit
    std::string maxOid1, maxOid2, maxOid3;  // MaxOID1Edit..MaxOID3Edit
    std::string value;              // InMemo; lines joined by "\n" or "\r\n"
    int version = 0;                // VerRadioGroup item: 0 SNMPv1, 1 SNMPv2, 2 SNMPv3 (no community)
    int dataType = 0;               // DataTypeGroup item 0..3
};

struct PrepareResult {
    // The agent address passed its check: the destination of requests becomes
    // these octets (port 161), even if a later check failed. The text is what
    // AgentAddressText holds from now on.
    bool addressAccepted = false;
    std::array<std::uint8_t, 4> agentAddress{};
    std::string agentAddressText;
    // MessageEdit gets `message` (possibly empty) when messageChanged is set;
    // otherwise it keeps its text.
    bool messageChanged = false;
    std::string message;
    // state.sendBuffer holds a request of state.sendSize bytes to send now.
    bool ready = false;
};

// Runs the checks of one button in their order and stops at the first bad
// field with its message. On success fills `state` (community, counts, OID
// slots, walkPending for GetNext and GetBulk), empties the message, encodes
// the request with BuildRequest and returns ready. State written before a
// failing check stays written, as do the request id of a refused SetRequest
// value and walkPending once raised (with a token of its own, RaiseWalk).
//
// Texts go on the wire in code page 932: a community holding a character
// that code page 932 lacks is refused with the community message (no request
// id used), a set value with one with the value message (its request id used
// up, like any refused value). Nothing is replaced by a stand-in.
//
// Numeric texts (non-repeaters, max-repetitions, repeater count) read as 0
// when empty, otherwise as an optional sign and decimal digits with optional
// blanks around them, within the signed 32-bit range; any other text stops
// the checks with the Max-Repetitions message. The two counts are kept to
// 0..3 (their fields only ever show an up-down position). A set value that
// does not suit its type, a hex-looking integer such as "1e3" included, gets
// the value message.
PrepareResult PrepareRequest(RequestKind kind, const RequestFields& fields, RequestState& state);

// The field text the report's "  object ID =" line names: the first
// identifier the request carries. That is OID1Edit, except for a GetBulk
// without non-repeaters, which carries MaxOID1Edit first, or no identifier at
// all when it has no repeaters either (an empty text). Call it after a
// successful PrepareRequest, with the same fields.
std::string_view ReportedOidText(RequestKind kind, const RequestState& state, const RequestFields& fields);

// Appends the report of the request just sent: the first line (kind, request
// id, "  SIZE=", size), "  object ID =" with `oid1Text` (ReportedOidText), "  送信DATA="
// and the dump of the send buffer as PDU lines, then the pane charge:
// SetRequest sendSize x 3.2 + 100 (truncated) always; the others
// sendSize x 3 + 100 while "PDU表示" is checked, else 100.
// `sent` (the "詳細表示" check box on; null when off) adds the destination
// and the send time right after the first line (AppendSentDetails) and, read
// back from the encoded PDU, for a GetBulk "  non-repeaters=<n>
// max-repetitions=<m>" before the "  object ID =" line, and after it
// "  object ID2=", "  object ID3=" ... with the name of each further binding
// (up to six, a GetBulk's three non-repeaters and three repeaters).
void ReportRequest(RequestKind kind, const RequestState& state, std::string_view oid1Text, bool pduDisplayChecked,
                   OutputBatch& batch, const PeerDetails* sent = nullptr);

// Reads a numeric field: 0 for an empty text, else an optional sign and
// decimal digits with optional blanks around them, within -2147483648 ..
// 2147483647. Returns false for anything else.
bool ReadIntegerField(std::string_view text, std::int32_t& value);

// The report of an SNMPv3 request: the first line of ReportRequest for
// `kind` with `requestId` and the datagram's size, the details (`sent`),
// `messageLines` (the message's header, security and context lines),
// "  object ID =" with `oid1Text`, "  送信DATA=" and the dump of the datagram
// as it leaves, and for an encrypted one "  暗号化前scopedPDU=" and the dump
// of its scoped PDU in the clear (`plain`, null when not encrypted); charged
// as ReportRequest charges a request of that size. With `sent`, the lines of
// `pdu` (the request's PDU, RequestPdu) as ReportRequest adds them.
void ReportV3Request(RequestKind kind, std::int32_t requestId, const std::uint8_t* datagram, std::size_t size,
                     std::string_view oid1Text, bool pduDisplayChecked, const OutputBatch& messageLines,
                     const std::uint8_t* plain, std::size_t plainSize, OutputBatch& batch,
                     const PeerDetails* sent = nullptr, std::span<const std::uint8_t> pdu = {});

// The message field's text when request `requestId` got no answer in time:
// "応答がありません（request ID=<id>）", and after `tries` sends of it
// (retries) "応答がありません（request ID=<id>、<tries>回送信）".
std::string NoAnswerMessage(std::int32_t requestId, int tries = 1);
// With the details on: "  応答なし：request ID=<id>  <waitedMs>ms 待ちました",
// after `tries` sends "  応答なし：request ID=<id>  <waitedMs>ms × <tries>回
// 待ちました", a SummaryLine charged 30.
void ReportNoAnswer(std::int32_t requestId, int waitedMs, OutputBatch& batch, int tries = 1);

// The report of a request sent once more, the same datagram, after
// `waitedMs` without an answer: "request 再送 request ID=<id>  SIZE=<size>
// <try>/<tries>回目" (SummaryLine), the details (`sent`), "  送信DATA=" and
// the dump (PduLine); charged as a request of that size with the dump.
void ReportRetry(std::int32_t requestId, const std::uint8_t* datagram, std::size_t size, int attempt, int tries,
                 OutputBatch& batch, const PeerDetails* sent = nullptr);

// Appends the line that says a request's datagram was not sent, for the
// system's `reason`: "  送信失敗：送信されていません（" + reason + "）",
// a SummaryLine. It is not charged: it follows its request's lines in a
// commit of its own, and a charge there could empty the pane between them.
void ReportNotSent(std::string_view reason, OutputBatch& batch);

}  // namespace quillet
