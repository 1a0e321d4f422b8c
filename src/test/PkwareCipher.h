#pragma once

// Traditional PKWARE decryption, table-driven: three keys updated by one CRC table look-up each
// per byte, kept in registers over a whole buffer.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kvz {

inline constexpr std::size_t kPkwareHeaderSize = 12;

class PkwareDecryptor {
public:
    // Keys set up from the password bytes.
    explicit PkwareDecryptor(std::string_view password);

    // Decrypts n bytes in place.
    void decrypt(unsigned char* data, std::size_t n);

    // Decrypts the 12-byte encryption header in place and checks its last byte against the
    // high byte of the entry's CRC or of its DOS modification time (writers use either).
    bool acceptsHeader(unsigned char* header, std::uint32_t crc, std::uint16_t dosTime);

private:
    std::uint32_t k0_ = 0x12345678u;
    std::uint32_t k1_ = 0x23456789u;
    std::uint32_t k2_ = 0x34567890u;
};

} // namespace kvz
