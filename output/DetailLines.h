// The lines the "詳細表示" (details) check box adds to a report: where a
// datagram came from or went to, and when, to the millisecond. One fact per
// line, indented and written like the report's other lines. They go to the
// pane and the log alike; with the check box off nothing of them is written.
#pragma once

#include <cstdint>
#include <string>

#include "output/LogRecord.h"
#include "output/OutputBatch.h"

namespace quillet {

// The peer of one datagram and its time, as the details lines show them.
struct PeerDetails {
    std::uint8_t address[4] = {0, 0, 0, 0};
    std::uint16_t port = 0;
    LocalDateTime when;         // local time, with milliseconds
    std::int64_t roundTripUs = -1;  // an answer to a request of ours: its round trip
};

// "  送信元=192.0.2.2:161" and "  受信時刻=2026/12/09 14:03:05.123", with
// "  応答時間=1.234ms" after the time for an answer to our request.
void AppendReceivedDetails(const PeerDetails& peer, OutputBatch& out);
// "  送信先=192.0.2.2:161" and "  送信時刻=2026/12/09 14:03:05.123".
void AppendSentDetails(const PeerDetails& peer, OutputBatch& out);
// "2026/12/09 14:03:05.123".
void AppendDetailTime(std::string& out, const LocalDateTime& when);
// "192.0.2.2" and, with a port, ":161".
void AppendAddress(std::string& out, const std::uint8_t address[4]);

// The values at a glance, after the lines that show them raw:
// "  時間表記=14 days, 6:56:07.89", a TimeTicks as net-snmp prints it
// (AppendTimeTicksText), charged 20.
void AppendTicksDetail(std::uint32_t ticks, OutputBatch& out);
// "  文字列(ASCII)=\"abc\"", "  文字列(UTF-8)=…" or "  文字列(CP932)=…" when
// the octets are printable text (AppendPrintableText), charged as long as
// the line; nothing otherwise.
void AppendTextDetail(const std::uint8_t* octets, std::size_t length, OutputBatch& out);
// "  community=\"ravine\"" (an empty one "\"\""), or when it is no text its
// octets in hex ("  community=00 FF"), charged 40.
void AppendCommunityDetail(const std::uint8_t* octets, std::size_t length, OutputBatch& out);

}  // namespace quillet
