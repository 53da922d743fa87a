#include "text/ValueText.h"

#include <string_view>

#include "text/Cp932.h"
#include "text/DecimalText.h"

namespace quillet {
namespace {

void AppendTwoDigits(std::string& out, std::uint32_t value) {
    out.push_back(static_cast<char>('0' + value / 10 % 10));
    out.push_back(static_cast<char>('0' + value % 10));
}

// A character that shows as itself on a line of the pane: no control, no
// line break the widget would honour, nothing invisible that could reorder
// or hide what follows it.
bool Shows(char32_t c) {
    if (c < 0x20) return c == '\t' || c == '\n' || c == '\r';
    if (c >= 0x7F && c <= 0x9F) return false;
    if (c >= 0x200B && c <= 0x200F) return false;
    if (c >= 0x2028 && c <= 0x202E) return false;
    if (c >= 0x2060 && c <= 0x206F) return false;
    if (c == 0xFEFF || (c >= 0xFFF9 && c <= 0xFFFB)) return false;
    if (c >= 0xE000 && c <= 0xF8FF) return false;
    if (c >= 0xF0000) return false;
    if ((c & 0xFFFE) == 0xFFFE || (c >= 0xFDD0 && c <= 0xFDEF)) return false;
    return true;
}

// The length of the well-formed UTF-8 character at `p` (before `end`) and its
// code point; 0 when it is not one.
std::size_t DecodeUtf8(const std::uint8_t* p, const std::uint8_t* end, char32_t& c) {
    const std::uint8_t lead = p[0];
    std::size_t length = 0;
    char32_t least = 0;
    if (lead < 0x80) {
        c = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, least = 0x80, c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, least = 0x800, c = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, least = 0x10000, c = lead & 0x07;
    } else {
        return 0;
    }
    if (static_cast<std::size_t>(end - p) < length) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        c = (c << 6) | (p[i] & 0x3F);
    }
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    return length;
}

// True when `utf8` (well-formed) holds only characters that show.
bool AllShow(std::string_view utf8) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(utf8.data());
    const auto* end = p + utf8.size();
    while (p < end) {
        char32_t c = 0;
        const std::size_t n = DecodeUtf8(p, end, c);
        if (n == 0 || !Shows(c)) return false;
        p += n;
    }
    return true;
}

void AppendQuoted(std::string& out, std::string_view utf8) {
    out.push_back('"');
    for (const char c : utf8) {
        switch (c) {
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        default: out.push_back(c); break;
        }
    }
    out.push_back('"');
}

}  // namespace

void AppendTimeTicksText(std::string& out, std::uint32_t ticks) {
    const std::uint32_t hundredths = ticks % 100;
    std::uint32_t seconds = ticks / 100;
    const std::uint32_t days = seconds / 86400;
    seconds %= 86400;
    if (days > 0) {
        AppendUnsignedDecimal(out, days);
        out += days == 1 ? " day, " : " days, ";
    }
    AppendUnsignedDecimal(out, seconds / 3600);
    out.push_back(':');
    AppendTwoDigits(out, seconds % 3600 / 60);
    out.push_back(':');
    AppendTwoDigits(out, seconds % 60);
    out.push_back('.');
    AppendTwoDigits(out, hundredths);
}

TextEncoding AppendPrintableText(std::string& out, const std::uint8_t* octets, std::size_t length) {
    if (length == 0) return TextEncoding::None;
    const std::string_view bytes(reinterpret_cast<const char*>(octets), length);
    // UTF-8 first: code page 932 text is seldom well-formed UTF-8 (its lead
    // octets 81..9F are continuation octets there), while UTF-8 text hardly
    // ever decodes as code page 932 characters that all show.
    if (AllShow(bytes)) {
        AppendQuoted(out, bytes);
        return IsAscii(bytes) ? TextEncoding::Ascii : TextEncoding::Utf8;
    }
    std::string decoded;
    if (!AppendUtf8OfCp932(decoded, bytes) || !AllShow(decoded)) return TextEncoding::None;
    AppendQuoted(out, decoded);
    return TextEncoding::Cp932;
}

}  // namespace quillet
