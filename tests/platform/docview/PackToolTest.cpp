#include "support/TestPaths.h"

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using kvz::testing::binaryDir;
using kvz::testing::fixture;

struct PackRun {
    int exitCode;
    QString err;
};

PackRun pack(const QStringList& args) {
    QProcess p;
    p.start(binaryDir() + QStringLiteral("/tools/kvizor-pack"), args);
    EXPECT_TRUE(p.waitForFinished(60000));
    QString err = QString::fromLocal8Bit(p.readAllStandardError());
    // Qt's own start-up chatter is not ours.
    QStringList lines = err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    lines.removeIf([](const QString& l) { return l.startsWith(QLatin1String("QStandardPaths")); });
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            lines.join(QLatin1Char('\n'))};
}

TEST(PackTool, PageThenRenderShowsThePage) {
    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("page.png"));
    QImage img(120, 80, QImage::Format_RGB32);
    img.fill(qRgb(0, 128, 0));
    img.save(png);
    const QString piece = dir.filePath(QStringLiteral("page.bdoc"));
    const QString out = dir.filePath(QStringLiteral("out.png"));
    ASSERT_EQ(pack({QStringLiteral("page"), png, QStringLiteral("-o"), piece}).exitCode, 0);
    QFile f(piece);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.read(4), QByteArray("BDOC"));
    f.close();

    const PackRun r = pack({QStringLiteral("render"), piece, QStringLiteral("-o"), out,
                            QStringLiteral("--size"), QStringLiteral("240x160")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QImage shown(out);
    ASSERT_EQ(shown.size(), QSize(240, 160));
    EXPECT_EQ(shown.pixel(120, 80), qRgb(0, 128, 0));

    // A page file renders the same as the piece made from it; without --size, at its own size.
    const QString direct = dir.filePath(QStringLiteral("direct.png"));
    ASSERT_EQ(pack({QStringLiteral("render"), png, QStringLiteral("-o"), direct}).exitCode, 0);
    EXPECT_EQ(QImage(direct).size(), QSize(120, 80));
    const QString emfOut = dir.filePath(QStringLiteral("emf.png"));
    ASSERT_EQ(
        pack({QStringLiteral("render"), fixture(QStringLiteral("docview/drawing.emf")),
              QStringLiteral("-o"), emfOut, QStringLiteral("--size"), QStringLiteral("400x300")})
            .exitCode,
        0);
    EXPECT_EQ(QImage(emfOut).size(), QSize(400, 300));
}

// With --slots the teacher sees the run window's grid over the page and each slot's cell.
TEST(PackTool, RenderShowsWhereTheSlotsFallOnThePage) {
    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("page.png"));
    QImage img(230, 162, QImage::Format_RGB32); // the grid's own shape: cells 100 x 100 below
    img.fill(Qt::white);
    img.save(png);
    const QString out = dir.filePath(QStringLiteral("slots.png"));
    const PackRun r =
        pack({QStringLiteral("render"), png, QStringLiteral("-o"), out, QStringLiteral("--size"),
              QStringLiteral("2297x1617"), QStringLiteral("--slots"), QStringLiteral("2,4  12,9")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QImage shown(out);
    ASSERT_EQ(shown.size(), QSize(2297, 1617));
    const auto red = [&shown](int x, int y) {
        const QColor c = shown.pixelColor(x, y);
        return c.red() > 180 && c.green() < 60 && c.blue() < 60;
    };
    // Slot 1 framed at cell (2, 4), slot 2 at (12, 9); other cells only ruled.
    EXPECT_TRUE(red(201, 450));
    EXPECT_TRUE(red(298, 450));
    EXPECT_TRUE(red(250, 401));
    EXPECT_FALSE(red(250, 404)) << "inside the frame";
    EXPECT_TRUE(red(1201, 950));
    EXPECT_FALSE(red(501, 550));
    EXPECT_EQ(shown.pixel(550, 550), qRgb(255, 255, 255));
    EXPECT_NE(shown.pixel(500, 550), qRgb(255, 255, 255)) << "a grid line";

    for (const char* bad :
         {"2,4 31,1", "2;4", "", "1,1 1,2 1,3 1,4 1,5 1,6 1,7 1,8 1,9 1,10 1,11"}) {
        QFile::remove(out);
        const PackRun b = pack({QStringLiteral("render"), png, QStringLiteral("-o"), out,
                                QStringLiteral("--slots"), QLatin1String(bad)});
        EXPECT_EQ(b.exitCode, 2) << bad;
        EXPECT_TRUE(b.err.contains(QStringLiteral("--slots"))) << b.err.toStdString();
        EXPECT_FALSE(QFile::exists(out)) << bad;
    }
}

TEST(PackTool, BadInputGivesOneLineAndFailure) {
    QTemporaryDir dir;
    const QString junk = dir.filePath(QStringLiteral("junk.bdoc"));
    QFile f(junk);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray("BDOC\1\0\0\0\xFF\xFF\0\0", 12) + QByteArray(100, 'x'));
    f.close();
    const QString out = dir.filePath(QStringLiteral("o.png"));
    const QStringList cases[] = {
        {QStringLiteral("page"), dir.filePath(QStringLiteral("missing.png")), QStringLiteral("-o"),
         out},
        {QStringLiteral("page"), junk, QStringLiteral("-o"), out},
        {QStringLiteral("render"), junk, QStringLiteral("-o"), out},
        {QStringLiteral("render"), fixture(QStringLiteral("docview/drawing.emf")),
         QStringLiteral("-o"), out, QStringLiteral("--size"), QStringLiteral("0x5")},
        {QStringLiteral("page"), fixture(QStringLiteral("docview/drawing.emf"))},
    };
    for (const QStringList& args : cases) {
        const PackRun r = pack(args);
        EXPECT_NE(r.exitCode, 0) << args.join(QLatin1Char(' ')).toStdString();
        EXPECT_FALSE(r.err.isEmpty());
        EXPECT_EQ(r.err.count(QLatin1Char('\n')), 0) << r.err.toStdString();
        EXPECT_FALSE(QFile::exists(out));
    }
}

} // namespace
