// A walk of the subtree under one object identifier, as snmpwalk and
// snmpbulkwalk make it: each answer's objects inside the subtree are
// counted, and the walk asks on from the last of them, until an object
// outside the subtree, endOfMibView, an error-status, an answer that does
// not move on (an agent whose GetNext loops), a bound of objects or time,
// no answer, or the operator's stop.
//
// Identifiers are BER content octets, as the scans record them. "Inside"
// is a prefix test on the octets, which is the prefix test on the arcs:
// every arc's encoding ends on an octet below 0x80 and no arc's encoding is
// a prefix of another's. "Moves on" compares the arcs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "response/ResponseScan.h"

namespace quillet {

class SubtreeWalk {
public:
    // How far a walk goes at most: agents with a few tens of thousands of
    // objects under one table are common, a walk past that is a mistake
    // the operator would rather see stopped.
    static constexpr std::size_t kMaxObjects = 50000;
    static constexpr std::int64_t kMaxMs = 5 * 60 * 1000;

    enum class End : std::uint8_t {
        None,          // going on
        LeftSubtree,   // an object outside the subtree came
        EndOfMibView,  // the agent has nothing after it
        Error,         // the answer carried an error-status (noSuchName ends an SNMPv1 walk)
        NoProgress,    // an object not after the one asked from
        ObjectLimit,
        TimeLimit,
        NoAnswer,
        Refused,       // the agent refused the request (an SNMPv3 Report)
        Stopped,
    };

    // A walk of the subtree under `root` (content octets, non-empty),
    // started at `startMs` of a monotonic clock.
    SubtreeWalk(std::vector<std::uint8_t> root, std::int64_t startMs);

    // The identifier the next request asks from: the root first, then the
    // last object found.
    const std::vector<std::uint8_t>& Next() const { return next_; }
    const std::vector<std::uint8_t>& Root() const { return root_; }

    // An answer to the walk's latest request, scanned from `datagram`
    // (ResponseScan): counts its objects and decides whether the walk goes
    // on. Returns true when it does.
    bool Take(const std::uint8_t* datagram, const ResponseScanResult& scan, std::int64_t nowMs);
    void Stop() { if (end_ == End::None) end_ = End::Stopped; }
    void NoAnswer() { if (end_ == End::None) end_ = End::NoAnswer; }
    void Refused() { if (end_ == End::None) end_ = End::Refused; }

    bool Going() const { return end_ == End::None; }
    End Ended() const { return end_; }
    std::size_t Objects() const { return objects_; }
    std::uint32_t ErrorStatus() const { return errorStatus_; }

    // "  WALK終了：1.3.6.1.2.1.1 配下 8件  0.153秒（サブツリーの外に出ました）"
    std::string EndLine(std::int64_t nowMs) const;

private:
    std::vector<std::uint8_t> root_;
    std::vector<std::uint8_t> next_;
    std::int64_t startMs_;
    std::size_t objects_ = 0;
    End end_ = End::None;
    std::uint32_t errorStatus_ = 0;
};

// -1, 0 or 1 as identifier `a` comes before, is, or comes after `b`, arc by
// arc (content octets; an arc cut short by the end counts as it stands).
int CompareOids(const std::uint8_t* a, std::size_t aLength, const std::uint8_t* b, std::size_t bLength);

}  // namespace quillet
