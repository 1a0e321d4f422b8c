#include "platform/docview/WmfDib.h"

namespace kvz::wmf::detail {

namespace {

std::uint16_t u16(std::span<const std::uint8_t> b, std::size_t at) {
    return std::uint16_t(b[at] | b[at + 1] << 8);
}

} // namespace

std::optional<QImage> decodeBitmap16(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 10)
        return std::nullopt;
    const int w = std::int16_t(u16(bytes, 2));
    const int h = std::int16_t(u16(bytes, 4));
    const int stride = std::int16_t(u16(bytes, 6));
    const int planes = bytes[8];
    const int bits = bytes[9];
    if (w <= 0 || h <= 0 || w > kMaxBitmapSide || h > kMaxBitmapSide || planes != 1 ||
        (bits != 1 && bits != 24 && bits != 32) ||
        std::int64_t(stride) * 8 < std::int64_t(w) * bits)
        return std::nullopt;
    const std::span<const std::uint8_t> data = bytes.subspan(10);
    if (data.size() / std::size_t(stride) < std::size_t(h))
        return std::nullopt; // the bits must really be there
    QImage image(w, h, QImage::Format_RGB32);
    if (image.isNull())
        return std::nullopt;
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* src = data.data() + std::size_t(y) * std::size_t(stride);
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            if (bits == 1) {
                line[x] = ((src[x / 8] >> (7 - x % 8)) & 1) ? qRgb(255, 255, 255) : qRgb(0, 0, 0);
            } else {
                const int n = bits / 8;
                line[x] = qRgb(src[n * x + 2], src[n * x + 1], src[n * x]);
            }
        }
    }
    return image;
}

bool dibComplete(std::span<const std::uint8_t> dib) {
    if (dib.size() < 12)
        return false;
    const auto u32 = [&](std::size_t at) {
        return std::uint32_t(u16(dib, at)) | std::uint32_t(u16(dib, at + 2)) << 16;
    };
    const std::uint32_t headerSize = u32(0);
    std::uint64_t width = 0, height = 0, bits = 0, compression = 0, used = 0, entry = 4;
    if (headerSize == 12) {
        width = u16(dib, 4);
        height = u16(dib, 6);
        bits = u16(dib, 10);
        entry = 3;
    } else if (headerSize >= 40 && dib.size() >= 40) {
        const std::int32_t w = std::int32_t(u32(4)), h = std::int32_t(u32(8));
        width = std::uint64_t(w < 0 ? 0 : w);
        height = h < 0 ? std::uint64_t(-std::int64_t(h)) : std::uint64_t(h);
        bits = u16(dib, 14);
        compression = u32(16);
        used = u32(32);
    } else {
        return false;
    }
    if (compression != 0 && compression != 3)
        return true;
    std::uint64_t table = bits <= 8 ? (used ? used : (std::uint64_t(1) << bits)) : used;
    std::uint64_t need =
        headerSize + table * entry + (compression == 3 && headerSize == 40 ? 12 : 0);
    need += ((width * bits + 31) / 32) * 4 * height;
    return need <= dib.size();
}

std::optional<std::vector<std::uint8_t>> paletteToRgb(std::span<const std::uint8_t> dib,
                                                      const std::vector<QColor>& palette) {
    if (dib.size() < 12)
        return std::nullopt;
    const std::uint32_t headerSize = std::uint32_t(u16(dib, 0)) | std::uint32_t(u16(dib, 2)) << 16;
    std::uint32_t bits = 0, used = 0;
    if (headerSize == 12) {
        bits = u16(dib, 10);
    } else if (headerSize >= 40 && headerSize <= dib.size()) {
        bits = u16(dib, 14);
        used = std::uint32_t(u16(dib, 32)) | std::uint32_t(u16(dib, 34)) << 16;
    } else {
        return std::nullopt;
    }
    if (bits > 8) // no colour table to rewrite
        return std::vector<std::uint8_t>(dib.begin(), dib.end());
    const std::uint64_t entries = used ? used : (std::uint64_t(1) << bits);
    if (headerSize + entries * 2 > dib.size())
        return std::nullopt;
    std::vector<std::uint8_t> out(dib.begin(), dib.begin() + headerSize);
    for (std::uint64_t i = 0; i < entries; ++i) {
        const std::uint16_t index = u16(dib, headerSize + 2 * i);
        const QColor c = index < palette.size() ? palette[index]
                                                : QColor(index & 0xFF, index & 0xFF, index & 0xFF);
        out.push_back(std::uint8_t(c.blue()));
        out.push_back(std::uint8_t(c.green()));
        out.push_back(std::uint8_t(c.red()));
        if (headerSize != 12)
            out.push_back(0);
    }
    out.insert(out.end(), dib.begin() + std::ptrdiff_t(headerSize + entries * 2), dib.end());
    return out;
}

bool dibBottomUp(std::span<const std::uint8_t> dib) {
    if (dib.size() < 12)
        return false;
    const std::uint32_t headerSize = std::uint32_t(u16(dib, 0)) | std::uint32_t(u16(dib, 2)) << 16;
    if (headerSize == 12)
        return true; // core headers are always bottom-up
    return headerSize >= 40 &&
           std::int32_t(std::uint32_t(u16(dib, 8)) | std::uint32_t(u16(dib, 10)) << 16) > 0;
}

} // namespace kvz::wmf::detail
