#include "platform/UdpSocketTableText.h"

#include <charconv>

namespace quillet {
namespace {

// The next blank-separated field at or after `position`; empty at the end.
std::string_view NextField(std::string_view line, std::size_t& position) {
    while (position < line.size() && (line[position] == ' ' || line[position] == '\t')) ++position;
    const std::size_t start = position;
    while (position < line.size() && line[position] != ' ' && line[position] != '\t') ++position;
    return line.substr(start, position - start);
}

template <typename Number>
bool ParseWhole(std::string_view text, int base, Number& value) {
    if (text.empty()) return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return error == std::errc() && end == text.data() + text.size();
}

bool IsHex(std::string_view text) {
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'))) return false;
    }
    return !text.empty();
}

std::optional<UdpSocketRow> ParseRow(std::string_view line) {
    std::size_t position = 0;
    const std::string_view slot = NextField(line, position);
    if (slot.size() < 2 || slot.back() != ':') return std::nullopt;
    const std::string_view local = NextField(line, position);
    const std::size_t colon = local.find(':');
    if (colon == std::string_view::npos || (colon != 8 && colon != 32) || !IsHex(local.substr(0, colon)))
        return std::nullopt;
    const std::string_view portText = local.substr(colon + 1);
    UdpSocketRow row;
    if (portText.size() != 4 || !ParseWhole(portText, 16, row.localPort)) return std::nullopt;
    // Remote address, state, queues, timer, retransmits: not needed.
    for (int skip = 0; skip < 5; ++skip) {
        if (NextField(line, position).empty()) return std::nullopt;
    }
    if (!ParseWhole(NextField(line, position), 10, row.uid)) return std::nullopt;
    if (NextField(line, position).empty()) return std::nullopt;  // timeout
    if (!ParseWhole(NextField(line, position), 10, row.inode)) return std::nullopt;
    return row;
}

}  // namespace

std::vector<UdpSocketRow> ParseUdpSocketTable(std::string_view text) {
    std::vector<UdpSocketRow> rows;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        if (const auto row = ParseRow(line)) rows.push_back(*row);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return rows;
}

std::optional<std::uint64_t> SocketInodeOfLink(std::string_view link) {
    constexpr std::string_view kPrefix = "socket:[";
    if (link.size() < kPrefix.size() + 2 || link.substr(0, kPrefix.size()) != kPrefix || link.back() != ']')
        return std::nullopt;
    std::uint64_t inode = 0;
    if (!ParseWhole(link.substr(kPrefix.size(), link.size() - kPrefix.size() - 1), 10, inode)) return std::nullopt;
    return inode;
}

}  // namespace quillet
