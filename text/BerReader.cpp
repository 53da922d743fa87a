#include "text/BerReader.h"

#include <cstring>

namespace quillet {

namespace {

constexpr std::uint8_t kLongForm = 0x80;

// `count` octets (1..8) big-endian; `signExtend` takes them as two's
// complement, filling the high bits with the first octet's top bit.
std::uint64_t BigEndian(const std::uint8_t* octets, std::size_t count, bool signExtend) {
    std::uint64_t value = signExtend && (octets[0] & 0x80) != 0 ? ~std::uint64_t{0} : 0;
    for (std::size_t i = 0; i < count; ++i) value = (value << 8) | octets[i];
    return value;
}

}  // namespace

bool BerReader::PeekTag(std::uint8_t& tag) const {
    if (pos_ >= end_) return false;
    tag = data_[pos_];
    return true;
}

bool BerReader::StepInto() {
    if (Left() < 2) return false;
    const std::uint8_t first = data_[pos_ + 1];
    std::size_t header = 2;
    if (first >= kLongForm) {
        const std::size_t n = first - kLongForm;
        if (n > Left() - 2) return false;
        header += n;
    }
    pos_ += header;
    return true;
}

bool BerReader::ReadHeader(LengthForm form, BerElement& element) {
    if (Left() < 2) return false;
    const std::uint8_t* p = data_ + pos_;
    const std::size_t room = Left() - 2;  // octets after the first length octet
    std::size_t header = 2;
    std::size_t length = p[1];
    if (p[1] >= kLongForm) {
        switch (form) {
        case LengthForm::ShortOnly:
            return false;
        case LengthForm::ShortOr8182:
            if (p[1] == 0x81 && room >= 1) {
                header = 3;
                length = p[2];
            } else if (p[1] == 0x82 && room >= 2) {
                header = 4;
                length = (static_cast<std::size_t>(p[2]) << 8) | p[3];
            } else {
                return false;
            }
            break;
        case LengthForm::Definite: {
            const std::size_t n = p[1] - kLongForm;
            if (n < 1 || n > 4 || n > room) return false;
            header += n;
            length = ReadNumber(p + 2, n);
            break;
        }
        case LengthForm::NumberLongForm: {
            const std::size_t n = p[1] - kLongForm;
            if (n > room) return false;
            header += n;
            length = ReadNumber(p + 2, n);
            break;
        }
        }
    }
    element.tag = p[0];
    element.start = pos_ + header;
    element.length = length;
    pos_ += header;
    return true;
}

bool BerReader::Skip(std::size_t length) {
    if (length > Left()) return false;
    pos_ += length;
    return true;
}

bool BerReader::ReadElement(LengthForm form, BerElement& element) {
    const std::size_t start = pos_;
    BerElement read;
    if (!ReadHeader(form, read) || read.length > Left()) {
        pos_ = start;
        return false;
    }
    pos_ += read.length;
    element = read;
    return true;
}

bool BerReader::ReadElement(std::uint8_t tag, LengthForm form, BerElement& element) {
    std::uint8_t at = 0;
    if (!PeekTag(at) || at != tag) return false;
    return ReadElement(form, element);
}

bool ReadSigned32(const std::uint8_t* octets, std::size_t count, std::int32_t& value) {
    if (count < 1 || count > 4) return false;
    value = static_cast<std::int32_t>(static_cast<std::uint32_t>(BigEndian(octets, count, true)));
    return true;
}

bool ReadUnsigned32(const std::uint8_t* octets, std::size_t count, std::uint32_t& value) {
    // The leading 00 of the five-octet form only says the value is positive.
    if (count == 5 && octets[0] == 0x00) {
        ++octets;
        --count;
    }
    if (count < 1 || count > 4) return false;
    value = static_cast<std::uint32_t>(BigEndian(octets, count, false));
    return true;
}

bool ReadUnsigned64(const std::uint8_t* octets, std::size_t count, std::uint64_t& value) {
    if (count == 9 && octets[0] == 0x00) {
        ++octets;
        --count;
    }
    if (count < 1 || count > 8) return false;
    value = BigEndian(octets, count, false);
    return true;
}

bool SameOctets(const std::uint8_t* content, std::size_t length, const std::uint8_t* oid, std::size_t oidLength) {
    return length == oidLength && (length == 0 || std::memcmp(content, oid, length) == 0);
}

bool StartsWithOctets(const std::uint8_t* content, std::size_t length, const std::uint8_t* prefix,
                      std::size_t prefixLength) {
    return length >= prefixLength && (prefixLength == 0 || std::memcmp(content, prefix, prefixLength) == 0);
}

}  // namespace quillet
