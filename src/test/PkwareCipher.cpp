#include "test/PkwareCipher.h"

#include <array>

namespace kvz {

namespace {

constexpr std::array<std::uint32_t, 256> makeCrcTable() {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[n] = c;
    }
    return t;
}

constexpr std::array<std::uint32_t, 256> kCrcTable = makeCrcTable();

inline void updateKeys(std::uint32_t& k0, std::uint32_t& k1, std::uint32_t& k2, unsigned char c) {
    k0 = kCrcTable[(k0 ^ c) & 0xFF] ^ (k0 >> 8);
    k1 = (k1 + (k0 & 0xFF)) * 134775813u + 1;
    k2 = kCrcTable[(k2 ^ (k1 >> 24)) & 0xFF] ^ (k2 >> 8);
}

// Bits 8 to 15 of the product depend only on the low 16 bits of t, so k2 needs no cutting
// first: one step less in the chain every byte waits on.
inline unsigned char keyStreamByte(std::uint32_t k2) {
    const std::uint32_t t = k2 | 2;
    return static_cast<unsigned char>((t * (t ^ 1)) >> 8);
}

} // namespace

PkwareDecryptor::PkwareDecryptor(std::string_view password) {
    for (char c : password)
        updateKeys(k0_, k1_, k2_, static_cast<unsigned char>(c));
}

void PkwareDecryptor::decrypt(unsigned char* data, std::size_t n) {
    // The same steps as updateKeys, arranged so that what does not wait for the key stream
    // byte (k0 with the next stored byte, k1 times the multiplier) is worked out beside it:
    // each byte waits on the one before it, and this chain is all the time decryption takes.
    std::uint32_t k0 = k0_, k1 = k1_, k2 = k2_;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t stored = data[i];
        const std::uint32_t mixed = (k0 ^ stored) & 0xFF;
        const std::uint32_t k0High = k0 >> 8;
        const std::uint32_t k1Next = k1 * 134775813u + 1;
        // k2's low byte in k1's top byte place: the table index below is then one xor and one
        // shift after k1, with nothing to cut.
        const std::uint32_t k2AtTop = k2 << 24;
        const std::uint32_t ks = keyStreamByte(k2);
        data[i] = static_cast<unsigned char>(stored ^ ks);
        k0 = kCrcTable[mixed ^ ks] ^ k0High;
        k1 = k1Next + (k0 & 0xFF) * 134775813u;
        k2 = kCrcTable[(k1 ^ k2AtTop) >> 24] ^ (k2 >> 8);
    }
    k0_ = k0;
    k1_ = k1;
    k2_ = k2;
}

bool PkwareDecryptor::acceptsHeader(unsigned char* header, std::uint32_t crc,
                                    std::uint16_t dosTime) {
    decrypt(header, kPkwareHeaderSize);
    const unsigned char check = header[kPkwareHeaderSize - 1];
    return check == (crc >> 24) || check == (dosTime >> 8);
}

} // namespace kvz
