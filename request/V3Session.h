// What the console knows for SNMPv3: the users the dialog configured, and the
// engine of each agent it has talked to (learnt from the agent's Reports).
// Shared by the window, which sends requests, and the response listener,
// which opens answers and learns engines; each call takes a lock, and the
// configuration is handed out whole, so that a listener reads one that
// never changes under it.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "snmpv3/MessageEncode.h"
#include "snmpv3/Privacy.h"
#include "snmpv3/UsmTypes.h"
#include "snmpv3/UsmUser.h"

namespace quillet {

// The users the listeners open messages with, the one requests go as (at
// its own level, UsmUser::level), and the context of requests. Made whole by
// the window and handed over through V3Session::SetConfig; never changed
// after that, so a thread that holds it reads it without a lock. Its keys
// are wiped when the last holder lets it go.
struct V3Config {
    // Every configured user whose secrets were given in this run (and every
    // noAuthNoPriv user); a configured user still waiting for its secrets
    // is not here.
    UsmUserTable users;
    // The name of the user requests go as; empty when none is chosen.
    std::string requestUser;
    // The request user, or null when none is chosen or its secrets have not
    // been given in this run (then nothing can be sent as it).
    const UsmUser* RequestUser() const { return requestUser.empty() ? nullptr : users.Named(requestUser); }
    std::string contextName;
    std::vector<std::uint8_t> contextEngineId;  // empty: the agent's engine ID
};

// An agent's engine as its last Report or answer gave it, and when (a
// monotonic clock in milliseconds), so that its time can be told later.
struct AgentEngine {
    std::vector<std::uint8_t> engineId;
    std::uint32_t boots = 0;
    std::uint32_t time = 0;
    std::int64_t learntAtMs = 0;
    // Its time at `nowMs`.
    std::uint32_t TimeAt(std::int64_t nowMs) const;
};

class V3Session {
public:
    V3Session();

    void SetConfig(std::shared_ptr<const V3Config> config);
    // Null until the dialog has given a user.
    std::shared_ptr<const V3Config> Config() const;

    // The agent at `address`:`port`, as last learnt; false when not known.
    bool EngineOf(const std::uint8_t address[4], std::uint16_t port, AgentEngine& engine) const;
    void Learn(const std::uint8_t address[4], std::uint16_t port, ByteSpan engineId, std::uint32_t boots,
               std::uint32_t time, std::int64_t nowMs);
    // Forgets every agent's engine (a new user, or a new agent).
    void Forget();

    // The next msgID: a random start, then counting, 0..2^31-1.
    std::int32_t NextMsgId();
    Salt NextSalt(PrivProtocol protocol, std::uint32_t boots);

private:
    mutable std::mutex mutex_;
    std::shared_ptr<const V3Config> config_;
    std::map<std::uint64_t, AgentEngine> engines_;
    std::int32_t msgId_;
    SaltSource salts_;
};

// The PDU of the SNMPv2c message the request encoder wrote (state's send
// buffer): its tag to its end. Empty when the message is not of that form.
ByteSpan RequestPdu(const std::uint8_t* message, std::size_t size);

// A discovery message (RFC 3414 4): noAuthNoPriv, reportable, empty engine
// ID and user name, boots and time 0, a GetRequest-PDU with `requestId` and
// no bindings. Returns its length, 0 when `capacity` is too small.
std::size_t BuildDiscovery(std::int32_t msgId, std::int32_t requestId, std::uint8_t* out, std::size_t capacity);

// A request as `config`'s request user at its level: its keys localised to
// the agent's engine ID, the engine's boots and its time at `nowMs`, `pdu` in
// a scoped PDU with the configured context. Returns its length, 0 on failure
// (no request user among the users, too little room).
std::size_t BuildV3Request(const V3Config& config, const AgentEngine& engine, std::int64_t nowMs,
                           std::int32_t msgId, const Salt& salt, ByteSpan pdu, std::uint8_t* out,
                           std::size_t capacity);

// A SNMPv2c-shaped copy of a PDU, SEQUENCE { INTEGER 1, OCTET STRING "",
// PDU }, into `out`, for the SNMPv2c scans and reports; returns its length,
// 0 when `capacity` is too small.
std::size_t WrapPduAsV2c(const std::uint8_t* pdu, std::size_t length, std::uint8_t* out, std::size_t capacity);

}  // namespace quillet
