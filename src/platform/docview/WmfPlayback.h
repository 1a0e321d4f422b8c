#pragma once

// The metafile player's machinery, shared by its two source files: the device context it keeps
// (mapping, selected objects, colours, clipping, the saved-state stack), the object table and
// the drawing primitives. Private to WmfPlayer.cpp and WmfDraw.cpp.

#include <QColor>
#include <QImage>
#include <QPainterPath>
#include <QPointF>
#include <QRegion>
#include <QString>
#include <QTransform>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

class QPainter;

namespace kvz::wmf::detail {

// Bounds on the work one picture may cause, whatever its bytes say.
inline constexpr std::size_t kMaxRecords = 1'000'000;
inline constexpr std::int64_t kMaxPoints = 1'000'000;
inline constexpr std::int64_t kMaxTextChars = 1'000'000;
inline constexpr std::int64_t kMaxPrimitives = 500'000;
inline constexpr std::size_t kMaxObjects = 65535;
inline constexpr std::size_t kMaxSavedStates = 1024;
inline constexpr std::int64_t kMaxPatternPixels = 16 * 1024 * 1024;
inline constexpr std::int64_t kMaxRegionRects = 100'000;
inline constexpr std::size_t kMaxRectsPerRegion = 4096;
inline constexpr std::int64_t kMaxBitmapPixels = 64 * 1024 * 1024;
inline constexpr double kMaxCoordinate = 4'000'000.0; // beyond this the rasteriser overflows
// Curves this many times larger than the target cost seconds to flatten and show as nothing
// but a straight edge; they are left out.
inline constexpr double kMaxCurveOverTarget = 64.0;

enum MapMode {
    MM_TEXT = 1,
    MM_LOMETRIC = 2,
    MM_HIMETRIC = 3,
    MM_LOENGLISH = 4,
    MM_HIENGLISH = 5,
    MM_TWIPS = 6,
    MM_ISOTROPIC = 7,
    MM_ANISOTROPIC = 8
};

// Parameters of one record, as 16-bit words from the start of its parameter area.
class Params {
public:
    explicit Params(std::span<const std::uint8_t> b) : bytes_(b) {}
    std::size_t words() const { return bytes_.size() / 2; }
    bool has(std::size_t nWords) const { return words() >= nWords; }
    std::uint16_t u16(std::size_t word) const {
        return std::uint16_t(bytes_[2 * word] | bytes_[2 * word + 1] << 8);
    }
    std::int16_t i16(std::size_t word) const { return std::int16_t(u16(word)); }
    std::uint32_t u32(std::size_t word) const {
        return std::uint32_t(u16(word)) | std::uint32_t(u16(word + 1)) << 16;
    }
    QColor color(std::size_t word) const { // COLORREF: red, green, blue, reserved
        return QColor(bytes_[2 * word], bytes_[2 * word + 1], bytes_[2 * word + 2]);
    }
    std::span<const std::uint8_t> from(std::size_t word) const {
        return 2 * word <= bytes_.size() ? bytes_.subspan(2 * word)
                                         : std::span<const std::uint8_t>{};
    }

private:
    std::span<const std::uint8_t> bytes_;
};

struct Pen {
    int style = 0; // PS_SOLID
    int width = 0; // logical units; 0 is one device pixel
    QColor color = Qt::black;
};

struct Brush {
    int style = 0; // BS_SOLID
    QColor color = Qt::white;
    int hatch = 0;
    QImage pattern; // BS_PATTERN / BS_DIBPATTERN
};

struct Font {
    int height = 0;
    int width = 0;
    int escapement = 0; // tenths of a degree
    int weight = 400;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    int charset = 1;
    int pitchAndFamily = 0;
    QString face;
};

struct Palette {
    std::vector<QColor> entries;
};

struct Region {
    std::vector<QRect> rects; // logical units
};

using Object = std::variant<Pen, Brush, Font, Palette, Region>;

// Everything SAVEDC keeps.
struct DcState {
    int mapMode = MM_ANISOTROPIC;
    QPointF windowOrg{0, 0}, windowExt{1, 1};
    QPointF viewportOrg{0, 0}, viewportExt{1, 1};
    Pen pen;
    Brush brush;
    Font font;
    QColor textColor = Qt::black;
    QColor bkColor = Qt::white;
    int bkMode = 2;       // OPAQUE
    int polyFillMode = 1; // ALTERNATE
    int rop2 = 13;        // R2_COPYPEN
    int textAlign = 0;    // TA_TOP | TA_LEFT
    int textCharExtra = 0;
    QPointF current{0, 0};       // logical
    std::optional<QRegion> clip; // device (target) coordinates; none = the whole frame
};

// Plays records onto a painter, or (painter null) only measures what they cover.
class Playback {
public:
    // mmPerUnit: size of one frame unit ("viewport" unit) in millimetres, for the metric modes.
    Playback(QPainter* painter, const QTransform& frameToTarget, const QRectF& target,
             double mmPerUnit, std::size_t objectSlots);
    ~Playback();
    Playback(const Playback&) = delete;
    Playback& operator=(const Playback&) = delete;

    DcState dc;
    void run(std::span<const std::uint8_t> bytes, std::size_t firstRecord);
    // What the records cover; nullopt when they draw nothing.
    std::optional<QRectF> measured() const;

private:
    void record(std::uint16_t function, const Params& p, std::uint32_t sizeWords);
    void createObject(Object object);
    void selectObject(std::size_t index);
    void deleteObject(std::size_t index);
    void restoreDc(int relative);
    void setClip(std::optional<QRegion> clip);

    // Mapping.
    QTransform logicalToTarget() const;
    QPointF map(double x, double y) const;
    QRectF mapRect(double left, double top, double right, double bottom) const;
    double scaleX() const;
    double scaleY() const;

    // Drawing (WmfDraw.cpp).
    bool budget(std::int64_t points);
    bool beginDraw();
    void shape(const QPainterPath& path, bool fill, bool stroke);
    bool curveTooLarge(const QRectF& bounds) const;
    void polygonRecord(const Params& p, bool closed);
    void polyPolygon(const Params& p);
    void arcRecord(const Params& p, int kind);
    void text(double x, double y, std::span<const std::uint8_t> chars,
              std::span<const std::uint8_t> dx, int options, std::optional<QRectF> rect);
    void bitmap(const QImage& image, QRect source, const QRectF& dest, std::uint32_t rop);
    void patternBlt(const QRectF& dest, std::uint32_t rop);
    // usage: DIB_RGB_COLORS (0) or DIB_PAL_COLORS (1), how the colour table reads.
    std::optional<QImage> decodePackedDib(std::span<const std::uint8_t> dib, int usage = 0);
    void bltRecord(std::uint16_t function, const Params& p, std::uint32_t sizeWords);
    // With a frame size, only a border that wide inside the region is painted.
    void fillRegion(const Region& region, const Brush& brush,
                    std::optional<QSizeF> frame = std::nullopt);
    QPen makePen() const;
    QBrush makeBrush(const Brush& brush) const;
    QRegion regionToTarget(const Region& region) const;
    void note(const QRectF& r);

    QPainter* painter_;
    QTransform frameToTarget_;
    QTransform baseTransform_;
    QRectF target_;
    double mmPerUnit_;
    std::vector<std::optional<Object>> objects_;
    std::vector<DcState> saved_;
    std::optional<int> selectedPalette_;
    std::int64_t points_ = 0, chars_ = 0, primitives_ = 0, patternPixels_ = 0, regionRects_ = 0;
    std::int64_t bitmapPixels_ = 0;
    bool exhausted_ = false;
    bool clipDirty_ = false;
    QRectF measured_;
    bool measuredAny_ = false;
};

} // namespace kvz::wmf::detail
