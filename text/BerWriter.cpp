#include "text/BerWriter.h"

#include <cstring>

namespace quillet {
namespace {

// Octets of the shortest length field for `length` (at most kMaxLength).
std::size_t ShortestFieldSize(std::size_t length) { return length < 0x80 ? 1 : length <= 0xFF ? 2 : 3; }

// Writes the shortest length field for `length` at `at`.
void PutShortest(std::uint8_t* at, std::size_t length) {
    const std::size_t field = ShortestFieldSize(length);
    if (field == 1) {
        at[0] = static_cast<std::uint8_t>(length);
        return;
    }
    at[0] = static_cast<std::uint8_t>(0x80 + field - 1);
    for (std::size_t i = 1; i < field; ++i) at[i] = static_cast<std::uint8_t>(length >> (8 * (field - 1 - i)));
}

}  // namespace

bool BerWriter::Fits(std::size_t count) {
    if (failed_ || count > capacity_ - position_) {
        failed_ = true;
        return false;
    }
    return true;
}

BerWriter::Container BerWriter::Open(std::uint8_t tag, LengthField field) {
    const std::size_t fieldSize = field == LengthField::Fixed82 ? 3 : 1;
    if (depth_ == kMaxDepth) failed_ = true;
    if (!Fits(1 + fieldSize)) return Container{position_, field};
    buffer_[position_] = tag;
    const Container container{position_ + 1, field};
    // 82 00 00 until the close, or one octet that the close may widen.
    buffer_[position_ + 1] = field == LengthField::Fixed82 ? 0x82 : 0x00;
    if (fieldSize == 3) buffer_[position_ + 2] = buffer_[position_ + 3] = 0x00;
    position_ += 1 + fieldSize;
    open_[depth_++] = container.lengthAt;
    return container;
}

void BerWriter::Close(const Container& container) {
    if (failed_) return;
    if (depth_ == 0 || open_[depth_ - 1] != container.lengthAt) {
        failed_ = true;
        return;
    }
    --depth_;
    const std::size_t contentAt = container.lengthAt + (container.field == LengthField::Fixed82 ? 3 : 1);
    const std::size_t length = position_ - contentAt;
    if (length > kMaxLength) {
        failed_ = true;
        return;
    }
    std::uint8_t* field = buffer_ + container.lengthAt;
    if (container.field == LengthField::Fixed82) {
        field[1] = static_cast<std::uint8_t>(length >> 8);
        field[2] = static_cast<std::uint8_t>(length);
        return;
    }
    const std::size_t extra = ShortestFieldSize(length) - 1;
    if (extra > 0) {
        if (!Fits(extra)) return;
        std::memmove(buffer_ + contentAt + extra, buffer_ + contentAt, length);
        position_ += extra;
        for (std::size_t i = 0; i < marks_; ++i)
            if (marked_[i] >= contentAt) marked_[i] += extra;
    }
    PutShortest(field, length);
}

void BerWriter::Header(std::uint8_t tag, std::size_t length) {
    if (length > kMaxLength) failed_ = true;
    const std::size_t field = ShortestFieldSize(length);
    if (!Fits(1 + field)) return;
    buffer_[position_] = tag;
    PutShortest(buffer_ + position_ + 1, length);
    position_ += 1 + field;
}

void BerWriter::Element(std::uint8_t tag, std::span<const std::uint8_t> content) {
    Header(tag, content.size());
    Octets(content);
}

void BerWriter::Integer(std::int64_t value) {
    // Drop leading octets that only repeat the sign of the next one.
    std::size_t count = 8;
    while (count > 1) {
        const auto top = static_cast<std::uint8_t>(static_cast<std::uint64_t>(value) >> (8 * (count - 1)));
        const auto next = static_cast<std::uint8_t>(static_cast<std::uint64_t>(value) >> (8 * (count - 2)));
        if (!((top == 0x00 && (next & 0x80) == 0) || (top == 0xFF && (next & 0x80) != 0))) break;
        --count;
    }
    Header(kIntegerTag, count);
    for (std::size_t i = count; i > 0; --i)
        Octet(static_cast<std::uint8_t>(static_cast<std::uint64_t>(value) >> (8 * (i - 1))));
}

void BerWriter::Unsigned(std::uint8_t tag, std::uint64_t value) {
    std::size_t count = 1;
    while (count < 8 && (value >> (8 * count)) != 0) ++count;
    const bool pad = ((value >> (8 * (count - 1))) & 0x80) != 0;
    Header(tag, count + (pad ? 1 : 0));
    if (pad) Octet(0x00);
    for (std::size_t i = count; i > 0; --i) Octet(static_cast<std::uint8_t>(value >> (8 * (i - 1))));
}

void BerWriter::Octet(std::uint8_t octet) {
    if (!Fits(1)) return;
    buffer_[position_++] = octet;
}

void BerWriter::Octets(std::span<const std::uint8_t> octets) {
    if (!Fits(octets.size())) return;
    if (!octets.empty()) std::memcpy(buffer_ + position_, octets.data(), octets.size());
    position_ += octets.size();
}

std::uint8_t* BerWriter::Claim(std::size_t count) {
    if (!Fits(count)) return nullptr;
    std::uint8_t* at = buffer_ + position_;
    if (count > 0) std::memset(at, 0, count);
    position_ += count;
    return at;
}

std::size_t BerWriter::Mark() {
    if (marks_ == kMaxMarks) {
        failed_ = true;
        return kMaxMarks;
    }
    marked_[marks_] = position_;
    return marks_++;
}

}  // namespace quillet
