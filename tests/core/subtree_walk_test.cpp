// The subtree walk: where a walk stops, for answers as agents give them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "exchange/SubtreeWalk.h"
#include "tests/core/HexBytes.h"

namespace quillet {
namespace {

using Bytes = std::vector<std::uint8_t>;

// An SNMPv2c Response with `status` and one binding per (name, value) pair,
// names and values as hex: "2B 06 01 02 01 01 01 00", "04 01 61".
Bytes Answer(std::uint8_t status, const std::vector<std::pair<std::string, std::string>>& bindings) {
    auto tlv = [](std::uint8_t tag, const Bytes& content) {
        Bytes out{tag, static_cast<std::uint8_t>(content.size())};
        out.insert(out.end(), content.begin(), content.end());
        return out;
    };
    Bytes list;
    for (const auto& [name, value] : bindings) {
        Bytes binding = tlv(0x06, Hex(name));
        const Bytes v = Hex(value);
        binding.insert(binding.end(), v.begin(), v.end());
        const Bytes whole = tlv(0x30, binding);
        list.insert(list.end(), whole.begin(), whole.end());
    }
    Bytes pdu = Hex("02 01 05 02 01 00 02 01 00");
    pdu[5] = status;
    const Bytes seq = tlv(0x30, list);
    pdu.insert(pdu.end(), seq.begin(), seq.end());
    Bytes message = Hex("02 01 01 04 06 70 75 62 6C 69 63");
    const Bytes a2 = tlv(0xA2, pdu);
    message.insert(message.end(), a2.begin(), a2.end());
    return tlv(0x30, message);
}

struct WalkCase {
    const char* what;
    const char* root;
    std::uint8_t status;
    std::vector<std::pair<std::string, std::string>> bindings;
    bool goesOn;
    SubtreeWalk::End end;
    std::size_t objects;
    const char* next;  // hex of Next() afterwards
};

const std::vector<WalkCase> kCases = {
    {"three objects of the system group, the last still inside", "2B 06 01 02 01 01", 0,
     {{"2B 06 01 02 01 01 01 00", "04 01 61"}, {"2B 06 01 02 01 01 02 00", "06 01 2B"},
      {"2B 06 01 02 01 01 03 00", "43 01 05"}},
     true, SubtreeWalk::End::None, 3, "2B 06 01 02 01 01 03 00"},
    {"a bulk answer running past the subtree counts only what is inside", "2B 06 01 02 01 01", 0,
     {{"2B 06 01 02 01 01 09 00", "02 01 01"}, {"2B 06 01 02 01 02 01 00", "02 01 02"}},
     false, SubtreeWalk::End::LeftSubtree, 1, "2B 06 01 02 01 01 09 00"},
    {"1.3.6.1.2.1.10 is not under 1.3.6.1.2.1.1", "2B 06 01 02 01 01", 0, {{"2B 06 01 02 01 0A 01", "02 01 01"}},
     false, SubtreeWalk::End::LeftSubtree, 0, "2B 06 01 02 01 01"},
    {"endOfMibView", "2B 06 01 02 01 01", 0, {{"2B 06 01 02 01 01 09 00", "82 00"}}, false,
     SubtreeWalk::End::EndOfMibView, 0, "2B 06 01 02 01 01"},
    {"an SNMPv1 agent's noSuchName past its last object", "2B 06 01 02 01 01", 2,
     {{"2B 06 01 02 01 01", "05 00"}}, false, SubtreeWalk::End::Error, 0, "2B 06 01 02 01 01"},
    {"an agent that answers with the object asked from", "2B 06 01 02 01 01", 0,
     {{"2B 06 01 02 01 01", "05 00"}}, false, SubtreeWalk::End::NoProgress, 0, "2B 06 01 02 01 01"},
    {"arcs of two octets compare as numbers: .317 after .5", "2B 06 01 04 01", 0,
     {{"2B 06 01 04 01 05", "02 01 01"}, {"2B 06 01 04 01 82 3D", "02 01 01"}, {"2B 06 01 04 01 06", "02 01 01"}},
     false, SubtreeWalk::End::NoProgress, 2, "2B 06 01 04 01 82 3D"},
};

TEST(SubtreeWalk, StopsWhereSnmpwalkStops) {
    for (const WalkCase& c : kCases) {
        SubtreeWalk walk(Hex(c.root), 0);
        const Bytes answer = Answer(c.status, c.bindings);
        ResponseScanResult scan{};
        ResponseScan(answer.data(), answer.size(), scan);
        EXPECT_EQ(walk.Take(answer.data(), scan, 10), c.goesOn) << c.what;
        EXPECT_EQ(walk.Ended(), c.end) << c.what;
        EXPECT_EQ(walk.Objects(), c.objects) << c.what;
        EXPECT_EQ(walk.Next(), Hex(c.next)) << c.what;
    }
}

TEST(SubtreeWalk, TheEndLineSaysWhereWhatAndWhy) {
    SubtreeWalk walk(Hex("2B 06 01 02 01 01"), 1000);
    const Bytes answer = Answer(0, {{"2B 06 01 02 01 01 01 00", "04 01 61"}, {"2B 06 01 02 01 02 01 00", "02 01 01"}});
    ResponseScanResult scan{};
    ResponseScan(answer.data(), answer.size(), scan);
    walk.Take(answer.data(), scan, 1100);
    EXPECT_EQ(walk.EndLine(1153), "  WALK終了：1.3.6.1.2.1.1 配下 1件  0.153秒（サブツリーの外に出ました）");
    SubtreeWalk stopped(Hex("2B 06 01 02 01 01"), 0);
    stopped.Stop();
    EXPECT_EQ(stopped.EndLine(61000), "  WALK終了：1.3.6.1.2.1.1 配下 0件  61.000秒（停止しました）");
}

}  // namespace
}  // namespace quillet
