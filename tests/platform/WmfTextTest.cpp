#include "WmfBuilder.h"
#include "platform/docview/WmfPlayer.h"

#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QTextItem>
#include <gtest/gtest.h>

using kvz::testing::WmfBuilder;

namespace {

// Records the text a painter is asked to draw, where, and in which font.
class TextRecorder : public QPaintEngine {
public:
    struct Item {
        QString text;
        QPointF at; // baseline start on the device
        QTransform transform;
        QFont font;
    };
    std::vector<Item> items;

    TextRecorder() : QPaintEngine(QPaintEngine::AllFeatures) {}
    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState& state) override {
        if (state.state() & QPaintEngine::DirtyTransform)
            transform_ = state.transform();
    }
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
    void drawPath(const QPainterPath&) override {}
    void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
    void drawTextItem(const QPointF& p, const QTextItem& item) override {
        items.push_back({item.text(), transform_.map(p), transform_, item.font()});
    }
    Type type() const override { return QPaintEngine::User; }

private:
    QTransform transform_;
};

class RecordingDevice : public QPaintDevice {
public:
    mutable TextRecorder engine;
    QPaintEngine* paintEngine() const override { return &engine; }

protected:
    int metric(PaintDeviceMetric m) const override {
        switch (m) {
        case PdmWidth:
        case PdmHeight:
            return 200;
        case PdmWidthMM:
        case PdmHeightMM:
            return 53;
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return 96;
        case PdmDepth:
            return 32;
        case PdmNumColors:
            return 0x7FFFFFFF;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return int(QPaintDevice::devicePixelRatioFScale());
        default:
            return 0;
        }
    }
};

// Plays onto a 200 x 200 device whose frame is 200 x 200 logical units (one unit a pixel).
std::vector<TextRecorder::Item> textsOf(WmfBuilder& b) {
    RecordingDevice device;
    {
        QPainter painter(&device);
        kvz::wmf::play(b.bytes(), painter, QRectF(0, 0, 200, 200));
    }
    return device.engine.items;
}

WmfBuilder frame() {
    WmfBuilder b;
    b.placeable(0, 0, 200, 200).mapMode(8).windowExt(200, 200).bkMode(1);
    return b;
}

} // namespace

TEST(WmfText, CharsetDecidesHowBytesRead) {
    struct Case {
        int charset;
        std::string face;
        std::string bytes;
        QString expected;
    };
    const QString privet = QString::fromUtf8("Привет");
    const std::vector<Case> cases = {
        {204, "Arial", "\xCF\xF0\xE8\xE2\xE5\xF2", privet},
        {1, "Arial", "\xCF\xF0\xE8\xE2\xE5\xF2", privet},     // the system code page
        {0, "Arial Cyr", "\xCF\xF0\xE8\xE2\xE5\xF2", privet}, // the Cyrillic font aliases
        {0, "Arial", "\xCF\xF0\xE8\xE2\xE5\xF2", QString::fromUtf8("Ïðèâåò")},
        {0, "Arial", "\x80 \x93x\x94", QString::fromUtf8("€ “x”")},
        {204, "Arial", "\xA8\xB8 \xB9", QString::fromUtf8("Ёё №")},
        // The Symbol font's own encoding, as formula editors write it.
        {2, "Symbol",
         "a\xB4"
         "b\xB9"
         "p\xA3\xD6",
         QString::fromUtf8("α×β≠π≤√")},
        {0, "Symbol", "D-W", QString::fromUtf8("Δ−Ω")},
    };
    for (const Case& c : cases) {
        WmfBuilder b = frame();
        b.font(-20, c.charset, 0, c.face).select(0).textOut(10, 10, c.bytes);
        const auto items = textsOf(b);
        ASSERT_EQ(items.size(), 1u) << c.charset << " " << c.face;
        EXPECT_EQ(items[0].text, c.expected) << c.charset << " " << c.face;
    }
}

TEST(WmfText, AlignmentPlacesTheReferencePoint) {
    // Horizontal: left starts at the point, right ends there, centre straddles it. Vertical:
    // top puts the baseline an ascent below, baseline on it, bottom above it.
    const auto place = [](int align) {
        WmfBuilder b = frame();
        b.font(-20, 204).select(0).textAlign(align).textOut(100, 100, "\xC4\xE0\xED\xEE");
        const auto items = textsOf(b);
        return items.size() == 1 ? items[0].at : QPointF(-1, -1);
    };
    const QPointF leftTop = place(0), right = place(2), center = place(6);
    const QPointF baseline = place(24), bottom = place(8);
    EXPECT_NEAR(leftTop.x(), 100, 0.5);
    EXPECT_LT(right.x(), 100 - 30); // four letters of 20 px are wider than 30
    EXPECT_NEAR(center.x(), (100 + right.x()) / 2, 1.0);
    EXPECT_GT(leftTop.y(), 100 + 10); // an ascent below
    EXPECT_NEAR(baseline.y(), 100, 0.5);
    EXPECT_LT(bottom.y(), 100);
}

TEST(WmfText, SizeSpacingRotationAndCurrentPosition) {
    {
        // Negative height is the em size: -20 logical units are 20 pixels here.
        WmfBuilder b = frame();
        b.font(-20, 204).select(0).textOut(0, 0, "A");
        const auto items = textsOf(b);
        ASSERT_EQ(items.size(), 1u);
        EXPECT_NEAR(items[0].font.pointSizeF() * 96.0 / 72.0, 20.0, 0.5);
    }
    {
        // Positive height is the cell (ascent + descent): a smaller em than the same negative.
        WmfBuilder b = frame();
        b.font(20, 204).select(0).textOut(0, 0, "A");
        const auto items = textsOf(b);
        ASSERT_EQ(items.size(), 1u);
        const double em = items[0].font.pointSizeF() * 96.0 / 72.0;
        EXPECT_LT(em, 19.0);
        EXPECT_GT(em, 12.0);
    }
    {
        // The record's own advances place each character.
        WmfBuilder b = frame();
        b.font(-20, 204).select(0).textAlign(24).extTextOut(10, 100, "\xC0\xC1\xC2", {30, 5, 40});
        const auto items = textsOf(b);
        ASSERT_EQ(items.size(), 3u);
        EXPECT_NEAR(items[0].at.x(), 10, 0.5);
        EXPECT_NEAR(items[1].at.x(), 40, 0.5);
        EXPECT_NEAR(items[2].at.x(), 45, 0.5);
        EXPECT_EQ(items[2].text, QString::fromUtf8("В"));
    }
    {
        // Escapement 900 runs the text upwards on the screen.
        WmfBuilder b = frame();
        b.font(-20, 204, 900).select(0).textAlign(24).textOut(100, 100, "\xC0");
        const auto items = textsOf(b);
        ASSERT_EQ(items.size(), 1u);
        const QPointF along =
            items[0].transform.map(QPointF(10, 0)) - items[0].transform.map(QPointF(0, 0));
        EXPECT_NEAR(along.x(), 0, 1e-6);
        EXPECT_NEAR(along.y(), -10, 1e-6);
    }
    {
        // TA_UPDATECP: each text starts where the one before ended, from MOVETO on.
        WmfBuilder b = frame();
        b.font(-20, 204).select(0).textAlign(24 | 1).rec(0x0214, {100, 20});
        b.extTextOut(0, 0, "\xC0\xC1", {25, 25}).extTextOut(0, 0, "\xC2", {25});
        const auto items = textsOf(b);
        ASSERT_EQ(items.size(), 3u);
        EXPECT_NEAR(items[0].at.x(), 20, 0.5);
        EXPECT_NEAR(items[0].at.y(), 100, 0.5);
        EXPECT_NEAR(items[2].at.x(), 70, 0.5);
    }
}
