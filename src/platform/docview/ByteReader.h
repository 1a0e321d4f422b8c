#pragma once

// Little-endian reading of outside bytes where every read is checked against what is there.
// A failed read leaves the reader failed; callers check ok() once after a group of reads.

#include <cstddef>
#include <cstdint>
#include <span>

namespace kvz::docview {

using Bytes = std::span<const std::uint8_t>;

class ByteReader {
public:
    explicit ByteReader(Bytes bytes) : bytes_(bytes) {}

    bool ok() const { return ok_; }
    std::size_t pos() const { return pos_; }
    std::size_t remaining() const { return ok_ ? bytes_.size() - pos_ : 0; }

    std::uint8_t u8() { return static_cast<std::uint8_t>(take(1)); }
    std::uint16_t u16() { return static_cast<std::uint16_t>(take(2)); }
    std::uint32_t u32() { return static_cast<std::uint32_t>(take(4)); }
    std::int16_t i16() { return static_cast<std::int16_t>(u16()); }
    std::int32_t i32() { return static_cast<std::int32_t>(u32()); }

    void skip(std::size_t n) {
        if (!ok_ || n > bytes_.size() - pos_)
            ok_ = false;
        else
            pos_ += n;
    }
    // The next n bytes; an empty span (and a failed reader) when fewer are there.
    Bytes bytes(std::size_t n) {
        if (!ok_ || n > bytes_.size() - pos_) {
            ok_ = false;
            return {};
        }
        Bytes out = bytes_.subspan(pos_, n);
        pos_ += n;
        return out;
    }
    Bytes rest() const { return ok_ ? bytes_.subspan(pos_) : Bytes{}; }

private:
    std::uint64_t take(std::size_t n) {
        if (!ok_ || n > bytes_.size() - pos_) {
            ok_ = false;
            return 0;
        }
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < n; ++i)
            v |= std::uint64_t(bytes_[pos_ + i]) << (8 * i);
        pos_ += n;
        return v;
    }

    Bytes bytes_;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

inline std::uint32_t readLe32(Bytes b, std::size_t at) {
    if (at > b.size() || b.size() - at < 4)
        return 0;
    return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16 |
           std::uint32_t(b[at + 3]) << 24;
}

inline Bytes asBytes(const char* data, std::size_t size) {
    return {reinterpret_cast<const std::uint8_t*>(data), size};
}

} // namespace kvz::docview
