#include "text/OidText.h"

namespace quillet {

namespace {

void AppendUnsigned(std::string& out, std::uint64_t value) {
    char digits[20];
    char* first = digits + sizeof digits;
    // Nearly every subidentifier fits 32 bits, where division is much cheaper.
    while (value > UINT32_MAX) {
        *--first = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    std::uint32_t small = static_cast<std::uint32_t>(value);
    do {
        *--first = static_cast<char>('0' + small % 10);
        small /= 10;
    } while (small != 0);
    out.append(first, digits + sizeof digits);
}

// Reads one base-128 subidentifier starting at content[i] and moves i past
// it. It stops at the first octet without the top bit or at the end of the
// content, whichever comes first (the latter for a cut-off subidentifier).
std::uint64_t ReadSubidentifier(const std::uint8_t* content, std::size_t length, std::size_t& i) {
    std::uint64_t value = 0;
    std::uint8_t octet = 0;
    do {
        octet = content[i++];
        value = (value << 7) | (octet & 0x7F);
    } while ((octet & 0x80) != 0 && i < length);
    return value;
}

void AppendArcs(std::string& out, const std::uint8_t* content, std::size_t length) {
    std::size_t i = 0;
    const std::uint64_t first = ReadSubidentifier(content, length, i);
    if (first < 40) {
        out += "0.";
        AppendUnsigned(out, first);
    } else if (first < 80) {
        out += "1.";
        AppendUnsigned(out, first - 40);
    } else {
        out += "2.";
        AppendUnsigned(out, first - 80);
    }
    while (i < length) {
        out.push_back('.');
        AppendUnsigned(out, ReadSubidentifier(content, length, i));
    }
}

}  // namespace

void AppendOidLineText(std::string& out, const std::uint8_t* content, std::size_t length) {
    if (length == 0) {
        out += "1.3";
        return;
    }
    AppendArcs(out, content, length);
}

void AppendOidFieldText(std::string& out, const std::uint8_t* content, std::size_t length) {
    if (length == 0) return;
    AppendArcs(out, content, length);
}

std::string OidLineText(const std::uint8_t* content, std::size_t length) {
    std::string text;
    AppendOidLineText(text, content, length);
    return text;
}

std::string OidFieldText(const std::uint8_t* content, std::size_t length) {
    std::string text;
    AppendOidFieldText(text, content, length);
    return text;
}

}  // namespace quillet
