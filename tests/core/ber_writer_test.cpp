// The one BER writer: the length forms it closes containers with, a position
// followed through the closes that move it, and what makes it fail. The
// octets are written from X.690 (8.1.3: the short form below 128, else 81 x
// or 82 hi lo); the builders' own octets are pinned against net-snmp in
// their tests.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/core/HexBytes.h"
#include "text/BerWriter.h"

namespace quillet {
namespace {

using Bytes = std::vector<std::uint8_t>;

// SEQUENCE { OCTET STRING of `length` octets AA } in the shortest forms.
std::string Wrapped(std::size_t length, std::size_t capacity) {
    Bytes out(capacity);
    BerWriter writer(out.data(), out.size());
    const BerWriter::Container sequence = writer.Open(kSequenceTag);
    writer.Element(kOctetStringTag, Bytes(length, 0xAA));
    writer.Close(sequence);
    const std::size_t size = writer.Finish();
    return HexOf(out.data(), size < 8 ? size : 8) + "/" + std::to_string(size);
}

TEST(BerWriter, ContainersCloseInTheShortestFormAndNeedNoMoreRoomThanTheirOctets) {
    EXPECT_EQ(Wrapped(125, 129), "30 7F 04 7D AA AA AA AA/129");
    EXPECT_EQ(Wrapped(126, 131), "30 81 80 04 7E AA AA AA/131");
    EXPECT_EQ(Wrapped(126, 130), "/0");  // one octet short of the wider length
    EXPECT_EQ(Wrapped(252, 258), "30 81 FF 04 81 FC AA AA/258");
    EXPECT_EQ(Wrapped(253, 260), "30 82 01 00 04 81 FD AA/260");
    EXPECT_EQ(Wrapped(65531, 70000), "30 82 FF FF 04 82 FF FB/65539");
    EXPECT_EQ(Wrapped(65532, 70000), "/0");  // no datagram carries 65,536 octets of content
}

TEST(BerWriter, Fixed82ContainersAndMarkedPositionsThroughTheCloses) {
    Bytes out(300);
    BerWriter writer(out.data(), out.size());
    const BerWriter::Container outer = writer.Open(kSequenceTag);
    const BerWriter::Container inner = writer.Open(kSequenceTag);
    writer.Element(kOctetStringTag, Bytes(200, 0xAA));
    const std::size_t mark = writer.Mark();
    std::fill_n(writer.Claim(4), 4, 0xDD);
    writer.Close(inner);  // 207 octets: 30 81 CF
    writer.Close(outer);  // 210 octets: 30 81 D2
    ASSERT_EQ(writer.Finish(), 213u);
    EXPECT_EQ(HexOf(out.data(), 6), "30 81 D2 30 81 CF");
    EXPECT_EQ(writer.MarkedPosition(mark), 209u);
    EXPECT_EQ(HexOf(out.data() + 209, 4), "DD DD DD DD");

    BerWriter request(out.data(), out.size());
    const BerWriter::Container pdu = request.Open(kGetRequestTag, LengthField::Fixed82);
    request.Integer(-129);
    request.Close(pdu);
    EXPECT_EQ(HexOf(out.data(), request.Finish()), "A0 82 00 04 02 02 FF 7F");
}

TEST(BerWriter, ACloseOutOfOrderOrAContainerLeftOpenGivesNothing) {
    Bytes out(32);
    BerWriter crossed(out.data(), out.size());
    const BerWriter::Container first = crossed.Open(kSequenceTag);
    crossed.Open(kSequenceTag);
    crossed.Close(first);
    EXPECT_TRUE(crossed.Failed());
    EXPECT_EQ(crossed.Finish(), 0u);

    BerWriter open(out.data(), out.size());
    open.Open(kSequenceTag);
    open.Null();
    EXPECT_FALSE(open.Failed());
    EXPECT_EQ(open.Finish(), 0u);
}

}  // namespace
}  // namespace quillet
