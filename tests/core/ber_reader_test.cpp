// The shared BER reader: the length forms each scan reads and the number
// readers at their edges. (The numbers as a whole, against snmpget, are in
// response_report_test.)
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "text/BerReader.h"
#include "tests/core/HexBytes.h"

namespace quillet {
namespace {

struct ElementCase {
    const char* fault;
    const char* hex;
    LengthForm form;
    bool ok;
    std::size_t start, length;  // of the element read (when ok)
};

TEST(BerReader, ElementsInEachLengthFormStayInsideTheEnd) {
    const ElementCase cases[] = {
        {"short form misread", "04 03 61 62 63", LengthForm::ShortOnly, true, 2, 3},
        {"long form taken where only the short one is", "02 81 01 05", LengthForm::ShortOnly, false, 0, 0},
        {"81 x misread", "04 81 03 61 62 63", LengthForm::ShortOr8182, true, 3, 3},
        {"82 hi lo misread", "04 82 00 03 61 62 63", LengthForm::ShortOr8182, true, 4, 3},
        {"80 read as a length", "04 80 00", LengthForm::ShortOr8182, false, 0, 0},
        {"83 read as a length", "04 83 00 00 01 61", LengthForm::ShortOr8182, false, 0, 0},
        {"81 without its octet read past the end", "04 81", LengthForm::ShortOr8182, false, 0, 0},
        {"82 with one octet read past the end", "04 82 00", LengthForm::ShortOr8182, false, 0, 0},
        {"content past the end accepted", "04 82 00 04 61 62 63", LengthForm::ShortOr8182, false, 0, 0},
        {"four length octets misread", "04 84 00 00 00 03 61 62 63", LengthForm::NumberLongForm, true, 6, 3},
        {"80 not length 0", "04 80", LengthForm::NumberLongForm, true, 2, 0},
        {"five length octets not length 0", "04 85 00 00 00 00 03", LengthForm::NumberLongForm, true, 7, 0},
        {"length octets past the end read", "04 84 00 00 00", LengthForm::NumberLongForm, false, 0, 0},
        {"lone tag read", "04", LengthForm::ShortOnly, false, 0, 0},
    };
    for (const ElementCase& c : cases) {
        SCOPED_TRACE(c.fault);
        const std::vector<std::uint8_t> bytes = Hex(c.hex);
        BerReader reader(bytes.data(), bytes.size());
        BerElement element;
        ASSERT_EQ(reader.ReadElement(c.form, element), c.ok);
        if (!c.ok) {
            EXPECT_EQ(reader.Position(), 0u);  // a failed read does not move the cursor
            continue;
        }
        EXPECT_EQ(element.tag, bytes[0]);
        EXPECT_EQ(element.start, c.start);
        EXPECT_EQ(element.length, c.length);
        EXPECT_EQ(reader.Position(), c.start + c.length);
    }
}

TEST(BerReader, StepIntoPassesOnlyTheHeader) {
    const std::pair<const char*, std::size_t> cases[] = {
        {"30 03 02 01 05", 2}, {"30 80 02 01 05", 2}, {"30 82 01 2C 02", 4}, {"A4 81 03 02", 3},
        {"30 84 00 00", 0},  // the length octets run past the end
        {"30", 0},
    };
    for (const auto& [hex, position] : cases) {
        SCOPED_TRACE(hex);
        const std::vector<std::uint8_t> bytes = Hex(hex);
        BerReader reader(bytes.data(), bytes.size());
        EXPECT_EQ(reader.StepInto(), position != 0);
        EXPECT_EQ(reader.Position(), position);
    }
}

TEST(BerReader, NumberReadersRefuseLengthsTheirTypeCannotHave) {
    const std::uint8_t nine[] = {0x00, 0x80, 0, 0, 0, 0, 0, 0, 0};
    const std::uint8_t ones[] = {0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    std::int32_t i = 7;
    std::uint32_t u = 7;
    std::uint64_t w = 7;
    EXPECT_FALSE(ReadSigned32(nine, 0, i));
    EXPECT_FALSE(ReadSigned32(nine, 5, i));
    EXPECT_EQ(i, 7);
    EXPECT_TRUE(ReadSigned32(nine + 1, 1, i));
    EXPECT_EQ(i, -128);
    EXPECT_FALSE(ReadUnsigned32(nine, 0, u));
    EXPECT_FALSE(ReadUnsigned32(ones, 5, u));  // five octets need the leading 00
    EXPECT_FALSE(ReadUnsigned32(nine, 6, u));
    EXPECT_EQ(u, 7u);
    EXPECT_FALSE(ReadUnsigned64(ones, 9, w));
    EXPECT_FALSE(ReadUnsigned64(nine, 0, w));
    EXPECT_EQ(w, 7u);
    EXPECT_TRUE(ReadUnsigned64(nine, 9, w));
    EXPECT_EQ(w, 0x8000000000000000u);
    // The reading the request-id and the alarm codes keep.
    EXPECT_EQ(ReadNumber(ones + 1, 1), 255u);
    EXPECT_EQ(ReadNumber(ones, 5), 0u);
}

}  // namespace
}  // namespace quillet
