#pragma once

// Writes small metafiles record by record, for tests that need one exact behaviour.

#include <QByteArray>
#include <QRect>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kvz::testing {

class WmfBuilder {
public:
    // A placeable header with this bounding box (logical units) and units per inch.
    WmfBuilder& placeable(int left, int top, int right, int bottom, int inch = 1440) {
        placeable_ = QRect(QPoint(left, top), QPoint(right, bottom));
        inch_ = inch;
        return *this;
    }
    WmfBuilder& objects(int n) {
        objects_ = n;
        return *this;
    }

    // A record from 16-bit parameter words, in the order they are stored.
    WmfBuilder& rec(std::uint16_t function, std::initializer_list<int> words) {
        std::vector<std::uint8_t> b;
        for (int w : words)
            put16(b, std::uint16_t(w));
        return raw(function, b);
    }
    WmfBuilder& raw(std::uint16_t function, const std::vector<std::uint8_t>& params) {
        std::vector<std::uint8_t> p = params;
        if (p.size() % 2)
            p.push_back(0);
        put32(records_, std::uint32_t(3 + p.size() / 2));
        put16(records_, function);
        records_.insert(records_.end(), p.begin(), p.end());
        return *this;
    }
    // A record whose size field says anything at all.
    WmfBuilder& lying(std::uint32_t sizeWords, std::uint16_t function,
                      std::initializer_list<int> words) {
        put32(records_, sizeWords);
        put16(records_, function);
        for (int w : words)
            put16(records_, std::uint16_t(w));
        return *this;
    }

    // Common records; points are given x, y and stored the metafile way round.
    WmfBuilder& mapMode(int m) { return rec(0x0103, {m}); }
    WmfBuilder& windowOrg(int x, int y) { return rec(0x020B, {y, x}); }
    WmfBuilder& windowExt(int x, int y) { return rec(0x020C, {y, x}); }
    WmfBuilder& viewportOrg(int x, int y) { return rec(0x020D, {y, x}); }
    WmfBuilder& viewportExt(int x, int y) { return rec(0x020E, {y, x}); }
    WmfBuilder& rectangle(int l, int t, int r, int b) { return rec(0x041B, {b, r, t, l}); }
    WmfBuilder& ellipse(int l, int t, int r, int b) { return rec(0x0418, {b, r, t, l}); }
    WmfBuilder& solidBrush(std::uint32_t rgb) { return brush(0, rgb, 0); }
    WmfBuilder& brush(int style, std::uint32_t rgb, int hatch) {
        return rec(0x02FC, {style, int((rgb >> 16 & 0xFF) | (rgb >> 8 & 0xFF) << 8),
                            int(rgb & 0xFF), hatch});
    }
    WmfBuilder& pen(int style, int width, std::uint32_t rgb) {
        return rec(0x02FA, {style, width, 0, int((rgb >> 16 & 0xFF) | (rgb >> 8 & 0xFF) << 8),
                            int(rgb & 0xFF)});
    }
    WmfBuilder& nullPen() { return pen(5, 0, 0); }
    WmfBuilder& select(int index) { return rec(0x012D, {index}); }
    WmfBuilder& remove(int index) { return rec(0x01F0, {index}); }
    WmfBuilder& saveDc() { return rec(0x001E, {}); }
    WmfBuilder& restoreDc(int n) { return rec(0x0127, {n}); }
    WmfBuilder& textAlign(int a) { return rec(0x012E, {a}); }
    WmfBuilder& bkMode(int m) { return rec(0x0102, {m}); }
    WmfBuilder& font(int height, int charset, int escapement = 0,
                     const std::string& face = "Arial") {
        std::vector<std::uint8_t> b;
        for (int w : {height, 0, escapement, escapement, 400})
            put16(b, std::uint16_t(w));
        for (int c : {0, 0, 0, charset, 0, 0, 0, 0x20})
            b.push_back(std::uint8_t(c));
        b.insert(b.end(), face.begin(), face.end());
        b.push_back(0);
        return raw(0x02FB, b);
    }
    WmfBuilder& textOut(int x, int y, const std::string& bytes) {
        std::vector<std::uint8_t> b;
        put16(b, std::uint16_t(bytes.size()));
        b.insert(b.end(), bytes.begin(), bytes.end());
        if (bytes.size() % 2)
            b.push_back(0);
        put16(b, std::uint16_t(y));
        put16(b, std::uint16_t(x));
        return raw(0x0521, b);
    }
    WmfBuilder& extTextOut(int x, int y, const std::string& bytes, const std::vector<int>& dx) {
        std::vector<std::uint8_t> b;
        for (int w : {y, x, int(bytes.size()), 0})
            put16(b, std::uint16_t(w));
        b.insert(b.end(), bytes.begin(), bytes.end());
        if (bytes.size() % 2)
            b.push_back(0);
        for (int d : dx)
            put16(b, std::uint16_t(d));
        return raw(0x0A32, b);
    }
    WmfBuilder& append(const std::vector<std::uint8_t>& bytes) {
        records_.insert(records_.end(), bytes.begin(), bytes.end());
        return *this;
    }

    // The whole file; eof appends the closing record.
    std::vector<std::uint8_t> bytes(bool eof = true) const {
        std::vector<std::uint8_t> out;
        if (placeable_) {
            put32(out, 0x9AC6CDD7);
            put16(out, 0);
            for (int v :
                 {placeable_->left(), placeable_->top(), placeable_->right(), placeable_->bottom()})
                put16(out, std::uint16_t(v));
            put16(out, std::uint16_t(inch_));
            put32(out, 0);
            std::uint16_t sum = 0;
            for (std::size_t i = 0; i < 20; i += 2)
                sum ^= std::uint16_t(out[i] | out[i + 1] << 8);
            put16(out, sum);
        }
        const std::size_t words = 9 + records_.size() / 2 + (eof ? 3 : 0);
        put16(out, 1);
        put16(out, 9);
        put16(out, 0x0300);
        put32(out, std::uint32_t(words));
        put16(out, std::uint16_t(objects_));
        put32(out, 0);
        put16(out, 0);
        out.insert(out.end(), records_.begin(), records_.end());
        if (eof) {
            put32(out, 3);
            put16(out, 0);
        }
        return out;
    }

    static void put16(std::vector<std::uint8_t>& b, std::uint16_t v) {
        b.push_back(std::uint8_t(v));
        b.push_back(std::uint8_t(v >> 8));
    }
    static void put32(std::vector<std::uint8_t>& b, std::uint32_t v) {
        put16(b, std::uint16_t(v));
        put16(b, std::uint16_t(v >> 16));
    }

private:
    std::optional<QRect> placeable_;
    int inch_ = 1440;
    int objects_ = 16;
    std::vector<std::uint8_t> records_;
};

} // namespace kvz::testing
