#include "exchange/SubtreeWalk.h"

#include <algorithm>

#include "response/ErrorStatusNames.h"
#include "text/DecimalText.h"
#include "text/OidText.h"

namespace quillet {
namespace {

// The arc at `at` (base-128, high bit: more follows); moves `at` past it.
std::uint64_t NextArc(const std::uint8_t* octets, std::size_t length, std::size_t& at) {
    std::uint64_t arc = 0;
    while (at < length) {
        const std::uint8_t octet = octets[at++];
        arc = (arc << 7) | (octet & 0x7F);
        if ((octet & 0x80) == 0) break;
    }
    return arc;
}

}  // namespace

int CompareOids(const std::uint8_t* a, std::size_t aLength, const std::uint8_t* b, std::size_t bLength) {
    std::size_t i = 0, j = 0;
    while (i < aLength && j < bLength) {
        const std::uint64_t x = NextArc(a, aLength, i);
        const std::uint64_t y = NextArc(b, bLength, j);
        if (x != y) return x < y ? -1 : 1;
    }
    if (i < aLength) return 1;
    if (j < bLength) return -1;
    return 0;
}

SubtreeWalk::SubtreeWalk(std::vector<std::uint8_t> root, std::int64_t startMs)
    : root_(std::move(root)), next_(root_), startMs_(startMs) {}

bool SubtreeWalk::Take(const std::uint8_t* datagram, const ResponseScanResult& scan, std::int64_t nowMs) {
    if (end_ != End::None) return false;
    // version, request-id, error-status, error-index
    const std::uint32_t status = scan.Integer(2);
    if (scan.frameError || status != 0) {
        end_ = End::Error;
        errorStatus_ = status;
        return false;
    }
    for (std::size_t i = 0; i < scan.bindingCount && end_ == End::None; ++i) {
        const BindingRecord& binding = scan.bindings[i];
        const std::uint8_t* name = datagram + binding.nameStart;
        if (binding.valueType == ValueType::EndOfMibView) {
            end_ = End::EndOfMibView;
        } else if (binding.nameLength < root_.size() || !std::equal(root_.begin(), root_.end(), name)) {
            end_ = End::LeftSubtree;
        } else if (CompareOids(name, binding.nameLength, next_.data(), next_.size()) <= 0) {
            end_ = End::NoProgress;
        } else {
            ++objects_;
            next_.assign(name, name + binding.nameLength);
            if (objects_ >= kMaxObjects) end_ = End::ObjectLimit;
        }
    }
    if (end_ == End::None && scan.bindingCount == 0) end_ = End::NoProgress;
    if (end_ == End::None && nowMs - startMs_ >= kMaxMs) end_ = End::TimeLimit;
    return end_ == End::None;
}

std::string SubtreeWalk::EndLine(std::int64_t nowMs) const {
    std::string line = "  WALK終了：";
    AppendOidLineText(line, root_.data(), root_.size());
    line += " 配下 ";
    AppendDecimal(line, static_cast<std::int64_t>(objects_));
    line += "件  ";
    const std::int64_t ms = std::max<std::int64_t>(0, nowMs - startMs_);
    AppendDecimal(line, ms / 1000);
    line += ".";
    const std::int64_t fraction = ms % 1000;
    if (fraction < 100) line += "0";
    if (fraction < 10) line += "0";
    AppendDecimal(line, fraction);
    line += "秒（";
    switch (end_) {
    case End::None: line += "継続中"; break;
    case End::LeftSubtree: line += "サブツリーの外に出ました"; break;
    case End::EndOfMibView: line += "endOfMibView"; break;
    case End::Error:
        if (errorStatus_ == 0) {
            line += "受信フレーム異常";
        } else {
            line += "エラー応答=";
            AppendErrorStatusText(line, static_cast<std::int32_t>(errorStatus_));
        }
        break;
    case End::NoProgress: line += "識別子が先に進みません"; break;
    case End::ObjectLimit: line += "上限の件数に達しました"; break;
    case End::TimeLimit: line += "上限の時間に達しました"; break;
    case End::NoAnswer: line += "応答がありません"; break;
    case End::Refused: line += "要求が拒否されました"; break;
    case End::Stopped: line += "停止しました"; break;
    }
    line += "）";
    return line;
}

}  // namespace quillet
