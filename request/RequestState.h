// The request engine's process-wide record. One instance lives for the whole
// run (the main window owns it) and is never reset: the request id only grows
// (65535 wraps to 1), OID slots keep their bytes until ParseOid rewrites them,
// and sendBuffer holds the last request until the next BuildRequest.
//
// Everything here is written on the GUI thread only. The response listener
// reads varBindCount and reads and clears walkPending (ClearWalk), so those
// two are atomics; all other fields are plain and must not be touched off the GUI
// thread. The record is about 70 KB: keep it on the heap or in static
// storage, not on a thread's stack.
#pragma once

#include <array>
#include <atomic>
#include <climits>
#include <cstddef>
#include <cstdint>

namespace quillet {

// Capacity of one OID slot. ParseOid never writes more than 127 bytes into it
// (the 200-character text limit keeps an encoded OID that short, so its length
// always fits the one-byte length of the OID element).
constexpr std::size_t kOidSlotCapacity = 512;

// Longest community name in bytes (code page 932).
constexpr std::size_t kCommunityCapacity = 64;

// Size of the send buffer; a request never exceeds 65,507 bytes, the most
// one UDP datagram over IPv4 carries (well within the 82 hi lo lengths).
constexpr std::size_t kSendBufferSize = 65536;

// Content octets of one OBJECT IDENTIFIER (no tag, no length).
struct OidSlot {
    std::array<std::uint8_t, kOidSlotCapacity> bytes{};
    std::int32_t length = 0;
};

struct RequestState {
    // Last request id used; 0 at start, so the first request carries 1.
    std::int32_t requestId = 0;
    // OIDs in the first varbind group: 1 for Get/Set, 1..3 for GetNext, the
    // non-repeaters count 0..3 for GetBulk. Read by the response listener.
    std::atomic<std::int32_t> varBindCount{0};
    // GetBulk max-repetitions as typed.
    std::int32_t maxRepetitions = 0;
    // GetBulk repeater OIDs, 0..3; forced to 0 for every other request.
    std::int32_t repeaterCount = 0;
    // Slots 1..3 are indexes 0..2: OID1Edit..OID3Edit and MaxOID1Edit..MaxOID3Edit.
    std::array<OidSlot, 3> requestOids{};
    std::array<OidSlot, 3> repeaterOids{};
    // Community name in code page 932, 1..64 bytes, followed by a zero byte.
    std::array<std::uint8_t, kCommunityCapacity + 1> community{};
    std::int32_t communityLength = 0;
    // Octets of the last IpAddress set value, in text order.
    std::array<std::uint8_t, 4> valueAddress{};
    // The encoded request and its length.
    std::array<std::uint8_t, kSendBufferSize> sendBuffer{};
    std::int32_t sendSize = 0;
    // 0 while no walk is pending; otherwise the token of the GetNext or
    // GetBulk that raised it (RaiseWalk), from just before that request
    // leaves until the response listener has handled a datagram under that
    // token (ClearWalk). The encoder never touches it.
    std::atomic<std::int32_t> walkPending{0};
    // The token of the last walk raised; GUI thread only.
    std::int32_t walkToken = 0;
    // The request-id of the SNMPv1/v2c request of a subtree walk that waits
    // for its answer, 0 when none: the response listener hands that answer
    // to the window, which walks on. Written by the GUI thread.
    std::atomic<std::int32_t> walkRequestId{0};
};

// GUI thread: raises walkPending with a token of its own, never 0, so that the
// listener can tell this walk from one raised before it.
inline void RaiseWalk(RequestState& state) {
    state.walkToken = state.walkToken <= 0 || state.walkToken == INT32_MAX ? 1 : state.walkToken + 1;
    state.walkPending.store(state.walkToken);
}

// Response listener: clears walkPending only if it still holds `seen`, the
// token read when the datagram was handled. A GetNext or GetBulk raised in
// the meantime keeps its walk for its own answer. Returns true if cleared.
inline bool ClearWalk(RequestState& state, std::int32_t seen) {
    if (seen == 0) return false;
    return state.walkPending.compare_exchange_strong(seen, 0);
}

}  // namespace quillet
