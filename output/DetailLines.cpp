#include "output/DetailLines.h"

#include "text/DecimalText.h"
#include "text/ValueText.h"

namespace quillet {
namespace {

void AppendTwoDigits(std::string& out, int value) {
    out.push_back(static_cast<char>('0' + value / 10 % 10));
    out.push_back(static_cast<char>('0' + value % 10));
}

void AppendPeer(std::string& out, const PeerDetails& peer) {
    AppendAddress(out, peer.address);
    out.push_back(':');
    AppendDecimal(out, peer.port);
}

}  // namespace

void AppendAddress(std::string& out, const std::uint8_t address[4]) {
    for (int i = 0; i < 4; ++i) {
        if (i > 0) out.push_back('.');
        AppendDecimal(out, address[i]);
    }
}

void AppendDetailTime(std::string& out, const LocalDateTime& when) {
    AppendDecimal(out, when.year);
    out.push_back('/');
    AppendTwoDigits(out, when.month);
    out.push_back('/');
    AppendTwoDigits(out, when.day);
    out.push_back(' ');
    AppendTwoDigits(out, when.hour);
    out.push_back(':');
    AppendTwoDigits(out, when.minute);
    out.push_back(':');
    AppendTwoDigits(out, when.second);
    out.push_back('.');
    AppendDecimal(out, when.millisecond / 100 % 10);
    AppendTwoDigits(out, when.millisecond % 100);
}

void AppendReceivedDetails(const PeerDetails& peer, OutputBatch& out) {
    std::string line = "  送信元=";
    AppendPeer(line, peer);
    out.WriteLine(line, SummaryLine);
    line = "  受信時刻=";
    AppendDetailTime(line, peer.when);
    if (peer.roundTripUs >= 0) {
        line += "  応答時間=";
        AppendDecimal(line, static_cast<std::int32_t>(peer.roundTripUs / 1000));
        line.push_back('.');
        const int fraction = static_cast<int>(peer.roundTripUs % 1000);
        AppendDecimal(line, fraction / 100);
        AppendTwoDigits(line, fraction % 100);
        line += "ms";
    }
    out.WriteLine(line, SummaryLine);
    out.ChargeOutput(60);
}

void AppendSentDetails(const PeerDetails& peer, OutputBatch& out) {
    std::string line = "  送信先=";
    AppendPeer(line, peer);
    out.WriteLine(line, SummaryLine);
    line = "  送信時刻=";
    AppendDetailTime(line, peer.when);
    out.WriteLine(line, SummaryLine);
    out.ChargeOutput(60);
}

void AppendTicksDetail(std::uint32_t ticks, OutputBatch& out) {
    std::string line = "  時間表記=";
    AppendTimeTicksText(line, ticks);
    out.WriteLine(line, SummaryLine);
    out.ChargeOutput(20);
}

void AppendTextDetail(const std::uint8_t* octets, std::size_t length, OutputBatch& out) {
    std::string text;
    const char* label = nullptr;
    switch (AppendPrintableText(text, octets, length)) {
    case TextEncoding::None: return;
    case TextEncoding::Ascii: label = "  文字列(ASCII)="; break;
    case TextEncoding::Utf8: label = "  文字列(UTF-8)="; break;
    case TextEncoding::Cp932: label = "  文字列(CP932)="; break;
    }
    std::string line = label;
    line += text;
    out.WriteLine(line, SummaryLine);
    out.ChargeOutput(line.size() > INT32_MAX ? INT32_MAX : static_cast<int>(line.size()));
}

void AppendCommunityDetail(const std::uint8_t* octets, std::size_t length, OutputBatch& out) {
    std::string line = "  community=";
    if (length == 0) {
        line += "\"\"";
    } else if (AppendPrintableText(line, octets, length) == TextEncoding::None) {
        for (std::size_t i = 0; i < length; ++i) {
            if (i > 0) line.push_back(' ');
            AppendHexByte(line, octets[i]);
        }
    }
    out.WriteLine(line, SummaryLine);
    out.ChargeOutput(40);
}

}  // namespace quillet
