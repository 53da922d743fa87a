#include "text/Cp932.h"

#include <iconv.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace quillet {
namespace {

// One converter per thread and direction: iconv_t keeps shift state and is
// not safe to share, and opening one per call costs far more than a line.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts `in`, appending to `out`; each unconvertible input sequence is
    // skipped (one byte, or one whole UTF-8 character) and `replacement` put
    // in its place. Returns false if anything was replaced.
    bool Convert(std::string& out, std::string_view in, std::string_view replacement, bool utf8Input) {
        if (cd_ == reinterpret_cast<iconv_t>(-1)) {
            // No converter: ASCII passes, every other character is replaced,
            // so no byte of the wrong code page reaches the log or the wire.
            bool clean = true;
            for (std::size_t i = 0; i < in.size();) {
                const auto c = static_cast<unsigned char>(in[i]);
                if (c < 0x80) {
                    out.push_back(static_cast<char>(c));
                    ++i;
                    continue;
                }
                clean = false;
                out.append(replacement);
                std::size_t skip = 1;
                if (utf8Input) {
                    while (i + skip < in.size() && (static_cast<unsigned char>(in[i + skip]) & 0xC0) == 0x80) ++skip;
                } else if (IsCp932LeadByte(c) && i + 1 < in.size()) {
                    skip = 2;
                }
                i += skip;
            }
            return clean;
        }
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        bool clean = true;
        char* src = const_cast<char*>(in.data());
        std::size_t srcLeft = in.size();
        char buffer[1024];
        while (srcLeft > 0) {
            char* dst = buffer;
            std::size_t dstLeft = sizeof buffer;
            const std::size_t rc = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
            out.append(buffer, dst - buffer);
            if (rc != static_cast<std::size_t>(-1)) break;
            if (errno == E2BIG) continue;
            // EILSEQ or EINVAL (truncated input): replace one character.
            clean = false;
            out.append(replacement);
            std::size_t skip = 1;
            if (utf8Input) {
                while (skip < srcLeft && (static_cast<unsigned char>(src[skip]) & 0xC0) == 0x80) ++skip;
            } else if (IsCp932LeadByte(static_cast<unsigned char>(src[0])) && srcLeft >= 2) {
                skip = 2;
            }
            src += skip;
            srcLeft -= skip;
            iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        }
        return clean;
    }

    bool IsOpen() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

private:
    iconv_t cd_;
};

std::atomic<const char*> charsetName{"CP932"};

}  // namespace

bool Cp932Available() {
    const Converter toCp932(charsetName.load(), "UTF-8");
    const Converter fromCp932("UTF-8", charsetName.load());
    return toCp932.IsOpen() && fromCp932.IsOpen();
}

void UseCp932CharsetNameForTesting(const char* name) { charsetName = name; }

bool IsAscii(std::string_view text) {
    // Eight bytes at a time: most report lines are ASCII (the dumps).
    const char* p = text.data();
    std::size_t left = text.size();
    for (; left >= 8; p += 8, left -= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        if ((word & 0x8080808080808080ull) != 0) return false;
    }
    for (; left > 0; ++p, --left)
        if (static_cast<unsigned char>(*p) >= 0x80) return false;
    return true;
}

bool AppendCp932(std::string& out, std::string_view utf8) {
    if (IsAscii(utf8)) {
        out.append(utf8);
        return true;
    }
    thread_local Converter converter(charsetName.load(), "UTF-8");
    return converter.Convert(out, utf8, "?", true);
}

std::string ToCp932(std::string_view utf8) {
    std::string out;
    AppendCp932(out, utf8);
    return out;
}

bool AppendUtf8OfCp932(std::string& out, std::string_view cp932) {
    if (IsAscii(cp932)) {
        out.append(cp932);
        return true;
    }
    thread_local Converter converter("UTF-8", charsetName.load());
    return converter.Convert(out, cp932, "\xEF\xBF\xBD", false);
}

std::string Cp932ToUtf8(std::string_view cp932) {
    std::string out;
    AppendUtf8OfCp932(out, cp932);
    return out;
}

std::size_t Cp932PrefixLength(std::string_view cp932, std::size_t limit) {
    std::size_t i = 0;
    while (i < cp932.size()) {
        const std::size_t width = IsCp932LeadByte(static_cast<unsigned char>(cp932[i])) ? 2 : 1;
        if (i + width > limit) break;
        i += width;
    }
    return i > cp932.size() ? cp932.size() : i;
}

}  // namespace quillet
