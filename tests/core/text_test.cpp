// Dump lines, decimal text, code page 932 and values read at a glance.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "text/Cp932.h"
#include "text/DecimalText.h"
#include "text/DumpText.h"
#include "text/ValueText.h"
#include "output/OutputBatch.h"

namespace quillet {
namespace {

std::vector<std::string> Dump(const std::string& bytes) {
    OutputBatch batch;
    batch.DumpPdu(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), PduLine);
    return batch.LineTexts();
}

TEST(DumpPdu, FullLineIs68CharactersWithCharacterColumn) {
    const auto lines = Dump("0123456789ABCDEF");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "  30 31 32 33 34 35 36 37 38 39 41 42 43 44 45 46   0123456789ABCDEF");
    EXPECT_EQ(lines[0].size(), 68u);
}

TEST(DumpPdu, SeventeenBytesGiveASecondLineOfOneBytePaddedToTheColumn) {
    const auto lines = Dump(std::string(16, 'a') + "\xff");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "  FF" + std::string(48, ' ') + ".");
}

TEST(DumpPdu, ShortLineKeepsColumnAndShowsUnprintablesAsDots) {
    const auto lines = Dump("ABC\n");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "  41 42 43 0A " + std::string(36, ' ') + "  ABC.");
    EXPECT_EQ(Dump(std::string("\x1f \x7e\x7f", 4))[0].substr(52), ". ~.");
    EXPECT_TRUE(Dump("").empty());
}

TEST(DecimalText, SignedWithoutPadding) {
    EXPECT_EQ(DecimalText(0), "0");
    EXPECT_EQ(DecimalText(-1), "-1");
    EXPECT_EQ(DecimalText(2147483647), "2147483647");
    EXPECT_EQ(DecimalText(-2147483647 - 1), "-2147483648");
}

TEST(Cp932, KnownBytesAndCharactersStrictShiftJisRejects) {
    EXPECT_EQ(ToCp932("受信フレーム異常！"),
              "\x8E\xF3\x90\x4D\x83\x74\x83\x8C\x81\x5B\x83\x80\x88\xD9\x8F\xED\x81\x49");
    EXPECT_EQ(ToCp932("装置警報(major)  ").size(), 17u);
    EXPECT_EQ(ToCp932("BU-IF比較異常   ").size(), 16u);
    EXPECT_EQ(ToCp932("～①"), "\x81\x60\x87\x40");
    EXPECT_EQ(Cp932ToUtf8("\x8E\xF3\x90\x4D"), "受信");
    EXPECT_EQ(ToCp932("\\"), "\\");
}

TEST(Cp932, UnconvertibleCharactersBecomeQuestionMarks) {
    std::string out;
    EXPECT_FALSE(AppendCp932(out, "a\xF0\x9F\x98\x80" "b"));  // an emoji has no code page 932 form
    EXPECT_EQ(out, "a?b");
}

TEST(Cp932, WithoutAConverterOnlyAsciiIsWrittenAndStartUpCanTell) {
    EXPECT_TRUE(Cp932Available());
    UseCp932CharsetNameForTesting("QUILLET-NO-SUCH-CHARSET");
    // Converters are opened per thread on first use: convert on a fresh one.
    bool available = true, clean = true;
    std::string out, back;
    std::thread([&] {
        available = Cp932Available();
        clean = AppendCp932(out, "a受\xF0\x9F\x98\x80" "b");
        back = Cp932ToUtf8("x\x8E\xF3y");
    }).join();
    UseCp932CharsetNameForTesting("CP932");
    EXPECT_FALSE(available);
    EXPECT_FALSE(clean);
    EXPECT_EQ(out, "a??b");  // neither UTF-8 bytes nor anything else but ASCII
    EXPECT_EQ(back, "x\xEF\xBF\xBDy");
    EXPECT_TRUE(Cp932Available());
}

TEST(Cp932, PrefixNeverCutsADoubleByteCharacter) {
    const std::string text = std::string(63, 'x') + ToCp932("受");
    EXPECT_EQ(Cp932PrefixLength(text, 64), 63u);
    EXPECT_EQ(Cp932PrefixLength(text, 65), 65u);
    EXPECT_EQ(Cp932PrefixLength("abc", 64), 3u);
}

// Each figure as snmptrapd 5.9.3 printed the TimeTicks that snmptrap sent.
TEST(TimeTicksText, ReadsAsNetSnmpPrintsIt) {
    const struct { std::uint32_t ticks; const char* shown; } cases[] = {
        {0, "0:00:00.00"}, {8639999, "23:59:59.99"}, {8640000, "1 day, 0:00:00.00"},
        {4294967295u, "497 days, 2:27:52.95"}};
    for (const auto& c : cases) {
        std::string text;
        AppendTimeTicksText(text, c.ticks);
        EXPECT_EQ(text, c.shown) << c.ticks;
    }
}

// The edges the captures in trap_report_test.cpp do not reach.
TEST(PrintableText, OnlyOctetsThatShowOnOneLineAreText) {
    const struct { const char* fault; std::string octets; TextEncoding encoding; const char* text; } cases[] = {
        {"quote or backslash not escaped as snmpget does", "say \"a\\b\"", TextEncoding::Ascii,
         "\"say \\\"a\\\\b\\\"\""},
        {"code page 932 private use taken", "\xF0\x40", TextEncoding::None, ""},
        {"the C1 control NEL taken", "\xC2\x85", TextEncoding::None, ""},
        {"U+2029 taken as UTF-8 (the pane breaks the line there)", "\xE2\x80\xA9", TextEncoding::Cp932,
         "\"\xE7\xAA\xB6\xEF\xBD\xA9\""},
        {"a surrogate taken as UTF-8", "\xED\xA0\x80", TextEncoding::None, ""},
        {"an octet code page 932 lacks taken", "a\x80", TextEncoding::None, ""},
    };
    for (const auto& c : cases) {
        std::string text;
        EXPECT_EQ(AppendPrintableText(text, reinterpret_cast<const std::uint8_t*>(c.octets.data()), c.octets.size()),
                  c.encoding) << c.fault;
        EXPECT_EQ(text, c.text) << c.fault;
    }
}

}  // namespace
}  // namespace quillet
