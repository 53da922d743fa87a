// The alarm details of the managed equipment whose traps carry variable
// bindings under 1.3.6.1.4.1.317.2.26.1.2: five lines that put the event into
// words, built from the trap scan's tables by position.
//
// The table texts have fixed widths counted in code page 932 bytes (a kanji
// is two, an ASCII character one), padded with trailing blanks that are part
// of the text and end the output line.
#pragma once

#include <cstdint>
#include <string_view>

#include "output/OutputBatch.h"
#include "trap/TrapScan.h"

namespace quillet {

// Event identifier codes 0..18, 17 bytes each.
inline constexpr std::string_view kEventIdentifierTexts[19] = {
    "事象不明         ",  // 0
    "通信警報(warning)",  // 1
    "装置警報(warning)",  // 2
    "通信警報(minor)  ",  // 3
    "装置警報(minor)  ",  // 4
    "通信警報(major)  ",  // 5
    "装置警報(major)  ",  // 6
    "通信警報(cleared)",  // 7
    "装置警報(cleared)",  // 8
    "事象不明         ",  // 9
    "事象不明         ",  // 10
    "事象不明         ",  // 11
    "事象不明         ",  // 12
    "ATM-LB試験OK     ",  // 13
    "ATM-LB試験NG     ",  // 14
    "事象不明         ",  // 15
    "実装             ",  // 16
    "未実装           ",  // 17
    "事象不明         ",  // 18
};

// Result codes 128..145 (the event identifier of a comparison or transfer
// run), 16 bytes each. 131 has no blank between 比較 and 異常, unlike its
// neighbours, and makes up the width with three trailing blanks instead.
inline constexpr int kFirstResultCode = 128;
inline constexpr std::string_view kResultCodeTexts[18] = {
    "BU-work比較 正常",  // 128
    "BU-work比較 異常",  // 129
    "BU-IF比較 正常  ",  // 130
    "BU-IF比較異常   ",  // 131
    "work-IF比較 正常",  // 132
    "work-IF比較 異常",  // 133
    "BU-work転写 正常",  // 134
    "BU-work転写 異常",  // 135
    "BU-IF転写 正常  ",  // 136
    "BU-IF転写 異常  ",  // 137
    "work-BU転写 正常",  // 138
    "work-BU転写 異常",  // 139
    "work-IF転写 正常",  // 140
    "work-IF転写 異常",  // 141
    "IF-BU転写 正常  ",  // 142
    "IF-BU転写 異常  ",  // 143
    "IF-work転写 正常",  // 144
    "IF-work転写 異常",  // 145
};

// Event detail codes 0..19: entry 0 is 8 bytes, entries 1..19 are 13 bytes.
inline constexpr std::string_view kEventDetailTexts[20] = {
    "詳細不明",       // 0
    "LOSi         ",  // 1
    "SDi          ",  // 2
    "CPEi         ",  // 3
    "OAMi         ",  // 4
    "SUFi         ",  // 5
    "LOAi         ",  // 6
    "PEEi         ",  // 7
    "LCDi         ",  // 8
    "LINKDOWN     ",  // 9
    "EQP          ",  // 10
    "FAN          ",  // 11
    "TF           ",  // 12
    "LINKDOWN(OpS)",  // 13
    "BUEQP        ",  // 14
    "FUSE         ",  // 15
    "MIS          ",  // 16
    "TIME(OpS)    ",  // 17
    "詳細不明     ",  // 18
    "詳細不明     ",  // 19
};

// The text of an event identifier, the code compared as an unsigned 32-bit
// number: 0..18 from the event identifier table, 128..145 from the result
// code table. An empty view for codes without a text (19..127, above 145,
// and negative codes, which are above 145 when taken unsigned).
std::string_view EventIdentifierText(std::int32_t code);

// The text of an event detail code 0..19; an empty view for any other code
// (255 has a line of its own, see EquipmentAlarmLines).
std::string_view EventDetailText(std::int32_t code);

// Writes the five alarm lines (kind SummaryLine, no ChargeOutput) for an
// equipment trap: event identifier (integer slot 3), event detail (slot 4),
// event position (slot 5), mounting position (slot 6) and event time (string
// slot 1, which must lie within `datagram`, the bytes `scan` came from).
// Missing integers read 0. Codes without a text show their signed decimal
// after the label. The time line shows "2005年3月7日9時5分0秒" style text when
// the string's first 14 octets are ASCII digits; otherwise the label and the
// string as it is, each octet outside printable ASCII shown as ".".
void EquipmentAlarmLines(const std::uint8_t* datagram, const TrapScanResult& scan, OutputBatch& out);

}  // namespace quillet
