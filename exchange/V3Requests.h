// The SNMPv3 requests this console has in flight, and what each SNMPv3
// datagram that arrives on the response port is to them.
//
// A press of a request button is one operation. When the agent's engine is
// not known, the operation first sends a discovery (RFC 3414 4: an empty
// engine ID, noAuthNoPriv, reportable) and, once the agent's unauthenticated
// Report names its engine ID, the request itself. A request keyed to an
// engine whose clock this console does not know yet goes with boots and time
// 0; the agent answers it with an authenticated notInTimeWindows Report,
// whose clock is learnt, and the request goes once more.
//
// A datagram is the answer to a request only when it matches what was sent
// (RFC 3412 7.2 step 12, RFC 3414 3.2): the msgID of a message of an
// operation in flight, from the address and port it went to, opened with
// the request's user at the request's security level, from the engine the
// request was keyed to, with the request's context, in time (RFC 3414 3.2
// step 7b, RemoteClocks), a Response-PDU with the request's request-id.
// Anything else is shown with the reason it was not taken, counted, never
// written back, and ends no wait. Reports:
//   - an unauthenticated Report is used only to discover: its msgID that of
//     the operation's discovery, from the agent; its engine ID is learnt,
//     never its boots and time;
//   - an authenticated notInTimeWindows Report to a request teaches the
//     engine's clock and sends the request once more (once per operation);
//   - any other Report whose msgID is that of a message in flight ends the
//     operation at once, with the counter's meaning for the message field;
//     an unknownEngineIDs Report also forgets the agent's engine, so that
//     the next request discovers it again;
//   - a Report that matches nothing changes nothing.
// A matched answer, or a Report that ends an operation, takes every msgID
// of the operation out of flight: a second copy finds nothing to answer.
//
// Threads: the window starts operations and expires them (GUI thread); the
// response listener hands datagrams over (its reporting thread). Every call
// takes the one lock; what a call returns is the caller's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "exchange/RemoteClocks.h"
#include "exchange/V3Users.h"
#include "output/DetailLines.h"
#include "output/Endpoint.h"
#include "output/OutputBatch.h"
#include "request/RequestOperation.h"
#include "response/ResponseScan.h"
#include "snmpv3/MessageOpen.h"
#include "snmpv3/MessageScan.h"
#include "snmpv3/Privacy.h"

namespace quillet {

// A request whose fields passed their checks, as the window hands it over.
struct V3RequestInput {
    RequestKind kind = RequestKind::Get;
    std::vector<std::uint8_t> pdu;  // the PDU the request encoder wrote, tag to end
    std::int32_t requestId = 0;     // the PDU's request-id
    std::string oidText;            // what the request's report names
    Endpoint agent;
    bool pduDisplayChecked = false;  // the report's charge
    int retries = 0;                 // how often each message goes again unanswered
};

// When a message is made: a monotonic clock for the engines' times, the
// system's clock for round trips, and the local time when the details
// lines are on (null when off).
struct V3Moment {
    std::int64_t monotonicMs = 0;
    std::int64_t realtimeNs = 0;
    const LocalDateTime* detailsWhen = nullptr;
};

// A message to send now, with the lines that report it: they are committed
// before it leaves, so an answer can never come before them.
struct V3Outgoing {
    std::uint64_t operation = 0;
    std::uint32_t attempt = 0;  // the message's number in its operation, for its wait
    std::int32_t requestId = 0;
    Endpoint to;
    std::vector<std::uint8_t> datagram;
    OutputBatch lines;
};

// An operation that a Report ended before any answer.
struct V3Ended {
    std::uint64_t operation = 0;
    std::int32_t requestId = 0;
    std::string message;  // for the message field: the Report's meaning first
};

enum class V3StartStatus : std::uint8_t {
    Ready,         // `outgoing` is to be sent
    NoUser,        // the dialog has given no user
    NoRandom,      // the random source failed: no msgID or salt can be trusted
    EncodeFailed,  // the message could not be made (keys, sizes)
};

struct V3Start {
    V3StartStatus status = V3StartStatus::EncodeFailed;
    std::string message;  // for the message field when not Ready
    V3Outgoing outgoing;
};

// What one datagram on the response port did.
struct V3Taken {
    // Taken as the answer, and written back: the walk it was shown under is done.
    bool clearWalk = false;
    std::optional<V3Outgoing> send;  // the request after discovery, or once more in a new time window
    std::optional<V3Ended> ended;
    // Taken as the answer of this operation (0: none): its PDU, tag to end,
    // for a walk to go on from.
    std::uint64_t answered = 0;
    std::vector<std::uint8_t> answerPdu;
};

class V3Requests {
public:
    // The most operations in flight at once; the oldest is forgotten first.
    static constexpr std::size_t kMaxOperations = 64;

    // `users` is read at every call (a new configuration applies to the next
    // message); `random` is libcrypto's generator unless a test gives one.
    explicit V3Requests(const V3Users& users, bool (*random)(std::uint8_t*, std::size_t) = nullptr);

    // Starts an operation: its first message (a discovery, or the request
    // to a known engine) and its lines.
    V3Start Start(const V3RequestInput& input, const V3Moment& moment);

    // An SNMPv3 datagram (`scan` of it: ScanV3Message, as the inbound scan
    // made it) that arrived from `from` at `arrivalNs` (system clock): its lines are appended to `out` (the response report's, with
    // `details` for the details lines, null when off), and what it did is
    // returned. `walkPending`, `varBindCount` and `scratch` are the response
    // report's (ReportResponse), used for an answer only.
    V3Taken Take(const std::uint8_t* data, std::size_t size, const V3MessageScan& scan, const Endpoint& from,
                 std::int64_t arrivalNs,
                 const V3Moment& moment, const PeerDetails* details, int walkPending, int varBindCount,
                 ResponseScanResult& scratch, OutputBatch& out);

    // The wait for message `attempt` of `operation` is over.
    enum class Expiry : std::uint8_t {
        NotWaiting,  // answered, ended, or a later message is waited for
        Retry,       // `again`: the same message once more, with its lines, and a wait of its own
        NoAnswer,    // every try of the operation's latest message went unanswered: it ends
    };
    struct Expired {
        Expiry expiry = Expiry::NotWaiting;
        std::int32_t requestId = 0;
        int tries = 0;  // Retry: the number of this send; NoAnswer: how many went unanswered
        V3Outgoing again;
    };
    Expired Expire(std::uint64_t operation, std::uint32_t attempt, const V3Moment& moment);
    // The operation's message could not be sent: it ends.
    void Abandon(std::uint64_t operation);
    // Forgets every agent's engine and clock (a new set of users, or tests).
    void ForgetEngines();

    std::size_t InFlight() const;

private:
    struct Operation {
        std::uint64_t id = 0;
        V3RequestInput input;
        std::shared_ptr<const V3Config> config;  // as at the press
        std::vector<std::uint8_t> engineId;       // empty while discovering
        std::vector<std::int32_t> msgIds;         // every message sent, the latest last
        bool discovering = false;
        bool resent = false;
        std::uint32_t attempt = 0;
        std::int64_t sentNs = 0;                // the latest message's
        std::vector<std::uint8_t> lastMessage;  // the latest message, for its retries
        int tries = 1;                          // sends of the latest message
    };
    enum class Verdict : std::uint8_t;
    struct Classified;

    bool NextMsgId(std::int32_t& msgId);
    bool NextSalt(PrivProtocol protocol, std::uint32_t boots, Salt& salt);
    // The operation's request to its agent's engine, with its lines.
    bool BuildRequest(Operation& operation, const V3Moment& moment, V3Outgoing& out);
    bool BuildDiscovery(Operation& operation, const V3Moment& moment, V3Outgoing& out);
    // Why the operation's message could not be made, for the message field.
    std::string FailureMessage(const Operation& operation) const;
    Operation* FindByMsgId(std::int32_t msgId);
    void End(std::uint64_t operation);
    Classified Classify(const std::uint8_t* data, const Endpoint& from, const V3Moment& moment);

    const V3Users& users_;
    bool (*random_)(std::uint8_t*, std::size_t);
    mutable std::mutex mutex_;
    std::map<std::uint64_t, Operation> operations_;
    std::map<Endpoint, std::vector<std::uint8_t>> agentEngines_;
    RemoteClocks clocks_;
    std::uint64_t nextOperation_ = 1;
    std::int32_t msgId_ = 0;
    bool haveRandom_ = false;
    SaltSource salts_{0};
    // The scan and opening of the datagram being taken, reused.
    V3MessageScan scan_{};
    OpenedV3Message opened_{};
    std::vector<std::uint8_t> plain_;
};

}  // namespace quillet
