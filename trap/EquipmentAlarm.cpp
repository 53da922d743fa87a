#include "trap/EquipmentAlarm.h"

#include <string>

#include "text/DecimalText.h"

namespace quillet {
namespace {

constexpr std::string_view kIdentifierLabel = "  事象識別子      =";
constexpr std::string_view kDetailLabel = "  事象詳細情報    =";
constexpr std::string_view kDetailOtherLine = "  事象詳細情報    =通信,装置警報以外";
constexpr std::string_view kPositionLabel = "  事象発生位置    =";
constexpr std::string_view kMountingLabel = "  事象発生実装位置=";
constexpr std::string_view kMountingMainBodyLine = "  事象発生実装位置=本体部分など";
constexpr std::string_view kTimeLabel = "  事象発生時刻    =";

// Detail 255 and mounting position 255 are whole lines of their own.
constexpr std::int32_t kOtherThanAlarms = 255;
constexpr std::int32_t kMainBody = 255;

constexpr std::size_t kTimeDigits = 14;

// The line being composed; kept per thread so that composing a trap's lines
// allocates nothing once it has grown to the longest line seen.
std::string& LineScratch() {
    thread_local std::string line;
    line.clear();
    return line;
}

void AppendLabelAndText(std::string& line, std::string_view label, std::string_view text, std::int32_t code) {
    line.append(label);
    if (text.empty())
        AppendDecimal(line, code);
    else
        line.append(text);
}

std::int32_t DigitsValue(const std::uint8_t* digits, std::size_t count) {
    std::int32_t value = 0;
    for (std::size_t i = 0; i < count; ++i) value = value * 10 + (digits[i] - '0');
    return value;
}

void AppendTime(std::string& line, const std::uint8_t* text, std::size_t length) {
    line.append(kTimeLabel);
    bool digits = length >= kTimeDigits;
    for (std::size_t i = 0; digits && i < kTimeDigits; ++i) digits = text[i] >= '0' && text[i] <= '9';
    if (!digits) {
        // Not a YYYYMMDDhhmmss stamp: show what the equipment sent rather than
        // a date made up from it. Octets outside printable ASCII would not be
        // valid text in the line (nor in the log's code page), hence ".".
        for (std::size_t i = 0; i < length; ++i)
            line.push_back(text[i] >= 0x20 && text[i] <= 0x7E ? static_cast<char>(text[i]) : '.');
        return;
    }
    // Each piece is converted as a number, so leading zeros disappear.
    struct Piece {
        std::size_t start, count;
        std::string_view unit;
    };
    static constexpr Piece kPieces[] = {{0, 4, "年"}, {4, 2, "月"}, {6, 2, "日"},
                                        {8, 2, "時"}, {10, 2, "分"}, {12, 2, "秒"}};
    for (const Piece& piece : kPieces) {
        AppendDecimal(line, DigitsValue(text + piece.start, piece.count));
        line.append(piece.unit);
    }
}

}  // namespace

std::string_view EventIdentifierText(std::int32_t code) {
    const std::uint32_t value = static_cast<std::uint32_t>(code);
    if (value < std::size(kEventIdentifierTexts)) return kEventIdentifierTexts[value];
    if (value >= kFirstResultCode && value - kFirstResultCode < std::size(kResultCodeTexts))
        return kResultCodeTexts[value - kFirstResultCode];
    return {};
}

std::string_view EventDetailText(std::int32_t code) {
    if (code < 0 || code >= static_cast<std::int32_t>(std::size(kEventDetailTexts))) return {};
    return kEventDetailTexts[code];
}

void EquipmentAlarmLines(const std::uint8_t* datagram, const TrapScanResult& scan, OutputBatch& out) {
    const std::int32_t identifier = scan.integers[3];
    const std::int32_t detail = scan.integers[4];
    const std::int32_t position = scan.integers[5];
    const std::int32_t mounting = scan.integers[6];

    std::string& line = LineScratch();
    AppendLabelAndText(line, kIdentifierLabel, EventIdentifierText(identifier), identifier);
    out.WriteLine(line, SummaryLine);

    if (detail == kOtherThanAlarms) {
        out.WriteLine(kDetailOtherLine, SummaryLine);
    } else {
        line.clear();
        AppendLabelAndText(line, kDetailLabel, EventDetailText(detail), detail);
        out.WriteLine(line, SummaryLine);
    }

    line.clear();
    line.append(kPositionLabel);
    AppendDecimal(line, position);
    out.WriteLine(line, SummaryLine);

    if (mounting == kMainBody) {
        out.WriteLine(kMountingMainBodyLine, SummaryLine);
    } else {
        line.clear();
        line.append(kMountingLabel);
        AppendDecimal(line, mounting);
        out.WriteLine(line, SummaryLine);
    }

    // String slot 1 reads {0, 0} when the trap carried no string binding:
    // the time line then shows the label alone.
    const TrapString& time = scan.strings[1];
    line.clear();
    AppendTime(line, datagram + time.offset, time.length > 0 ? static_cast<std::size_t>(time.length) : 0);
    out.WriteLine(line, SummaryLine);
}

}  // namespace quillet
