// The equipment alarm tables and their five lines.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "text/Cp932.h"
#include "output/OutputBatch.h"
#include "trap/EquipmentAlarm.h"

namespace quillet {
namespace {

// The five lines for the given integer slots 3..6 and time string, with the
// scan result filled by hand the way the scan leaves it.
std::vector<std::string> AlarmLines(std::int32_t identifier, std::int32_t detail, std::int32_t position,
                                    std::int32_t mounting, std::optional<std::string> time = "20050307090500") {
    TrapScanResult scan{};
    scan.integers[3] = identifier;
    scan.integers[4] = detail;
    scan.integers[5] = position;
    scan.integers[6] = mounting;
    scan.integerCount = 7;
    // The datagram: a 3-byte community, the time string's content and a digit
    // that must not be taken for part of a string shorter than 14.
    const std::string datagram = "abc" + time.value_or("") + "9";
    scan.strings[0] = {0, 3};
    scan.stringCount = 1;
    if (time) {
        scan.strings[1] = {3, static_cast<std::int32_t>(time->size())};
        scan.stringCount = 2;
    }
    OutputBatch batch;
    EquipmentAlarmLines(reinterpret_cast<const std::uint8_t*>(datagram.data()), scan, batch);
    for (const OutputBatch::Item& item : batch) {
        EXPECT_EQ(item.type, OutputBatch::ItemType::Line);  // no charges
        EXPECT_EQ(item.value, SummaryLine);
    }
    return batch.LineTexts();
}

TEST(EquipmentAlarm, TableWidthsInCodePage932Bytes) {
    for (std::string_view text : kEventIdentifierTexts) EXPECT_EQ(ToCp932(text).size(), 17u) << text;
    for (std::string_view text : kResultCodeTexts) EXPECT_EQ(ToCp932(text).size(), 16u) << text;
    EXPECT_EQ(ToCp932(kEventDetailTexts[0]).size(), 8u);
    for (int i = 1; i < 20; ++i) EXPECT_EQ(ToCp932(kEventDetailTexts[i]).size(), 13u) << i;
    std::string all;
    for (std::string_view text : kEventIdentifierTexts) EXPECT_TRUE(AppendCp932(all, text)) << text;
    for (std::string_view text : kResultCodeTexts) EXPECT_TRUE(AppendCp932(all, text)) << text;
    for (std::string_view text : kEventDetailTexts) EXPECT_TRUE(AppendCp932(all, text)) << text;
}

TEST(EquipmentAlarm, FiveLinesOfARealAlarm) {
    EXPECT_EQ(AlarmLines(6, 10, 3, 255), (std::vector<std::string>{
                                              "  事象識別子      =装置警報(major)  ",
                                              "  事象詳細情報    =EQP          ",
                                              "  事象発生位置    =3",
                                              "  事象発生実装位置=本体部分など",
                                              "  事象発生時刻    =2005年3月7日9時5分0秒",
                                          }));
}

TEST(EquipmentAlarm, EventIdentifierPicksTheRightTable) {
    const std::string unknown = "事象不明         ";
    const struct {
        std::int32_t code;
        std::string text;
    } cases[] = {
        {0, unknown}, {9, unknown}, {10, unknown}, {11, unknown}, {12, unknown}, {15, unknown}, {18, unknown},
        {1, "通信警報(warning)"}, {13, "ATM-LB試験OK     "}, {16, "実装             "}, {17, "未実装           "},
        {128, "BU-work比較 正常"}, {130, "BU-IF比較 正常  "}, {131, "BU-IF比較異常   "},
        {145, "IF-work転写 異常"},
        // No text: the code itself.
        {19, "19"}, {127, "127"}, {146, "146"}, {-1, "-1"}, {-2147483647 - 1, "-2147483648"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AlarmLines(c.code, 0, 0, 0)[0], "  事象識別子      =" + c.text) << c.code;
}

TEST(EquipmentAlarm, EventDetailAndMountingPosition) {
    const struct {
        std::int32_t detail;
        std::string line;
    } details[] = {
        {255, "  事象詳細情報    =通信,装置警報以外"},
        {0, "  事象詳細情報    =詳細不明"},
        {18, "  事象詳細情報    =詳細不明     "},
        {19, "  事象詳細情報    =詳細不明     "},
        {13, "  事象詳細情報    =LINKDOWN(OpS)"},
        {17, "  事象詳細情報    =TIME(OpS)    "},
        {20, "  事象詳細情報    =20"},
        {254, "  事象詳細情報    =254"},
        {-1, "  事象詳細情報    =-1"},
    };
    for (const auto& c : details) EXPECT_EQ(AlarmLines(0, c.detail, 0, 0)[1], c.line) << c.detail;

    // 255 is the main body only as a mounting position, not as a position.
    const std::vector<std::string> lines = AlarmLines(0, 0, 255, -7);
    EXPECT_EQ(lines[2], "  事象発生位置    =255");
    EXPECT_EQ(lines[3], "  事象発生実装位置=-7");
    EXPECT_EQ(AlarmLines(0, 0, -1, 254)[2], "  事象発生位置    =-1");
    EXPECT_EQ(AlarmLines(0, 0, 0, 254)[3], "  事象発生実装位置=254");
}

TEST(EquipmentAlarm, TimeLineConvertsDigitsAndShowsAnythingElseAsSent) {
    const struct {
        std::optional<std::string> time;
        std::string shown;
    } cases[] = {
        {"20050307090500", "2005年3月7日9時5分0秒"},
        {"00000000000000", "0年0月0日0時0分0秒"},
        {"99991231235959", "9999年12月31日23時59分59秒"},
        {"20051231235959Z+0900", "2005年12月31日23時59分59秒"},  // only the first 14 count
        {"2005030709050", "2005030709050"},                  // 13 characters
        {"2005-03-07 09:05:00", "2005-03-07 09:05:00"},
        {"2005030709050 ", "2005030709050 "},
        {std::string("\x01" "2005\xff\x7f", 7), ".2005.."},
        {"", ""},
        {std::nullopt, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AlarmLines(6, 10, 3, 255, c.time)[4], "  事象発生時刻    =" + c.shown) << c.time.value_or("(none)");
}

}  // namespace
}  // namespace quillet
