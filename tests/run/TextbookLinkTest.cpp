#include "run/TextbookLink.h"

#include "l10n/Cp1251.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace kvz {
namespace {

std::string cp(const QString& s) {
    return cp1251::fromUnicode(s);
}

TEST(TextbookLink, ParsedAndHinted) {
    struct Case {
        QString text;
        QString file;
        QString parameters;
        bool inProgramFolder;
        QString hint;
    };
    const Case cases[] = {
        {QStringLiteral(">Учебник\\глава1.htm|a b"), QStringLiteral("Учебник/глава1.htm"),
         QStringLiteral("a b"), true, QStringLiteral("Учебник\\глава1.htm a b")},
        {QStringLiteral("book.pdf"), QStringLiteral("book.pdf"), QString(), false,
         QStringLiteral("book.pdf")},
        {QStringLiteral("a.txt|x|y"), QStringLiteral("a.txt"), QStringLiteral("x|y"), false,
         QStringLiteral("a.txt x|y")},
        {QStringLiteral(">"), QString(), QString(), true, QString()},
        {QStringLiteral("|only"), QString(), QStringLiteral("only"), false,
         QStringLiteral(" only")},
        {QString(), QString(), QString(), false, QString()},
    };
    for (const Case& c : cases) {
        const TextbookLink link = parseTextbookLink(cp(c.text));
        EXPECT_EQ(link.file, c.file) << c.text.toStdString();
        EXPECT_EQ(link.parameters, c.parameters) << c.text.toStdString();
        EXPECT_EQ(link.inProgramFolder, c.inProgramFolder) << c.text.toStdString();
        EXPECT_EQ(textbookHint(cp(c.text)), c.hint) << c.text.toStdString();
    }
}

TEST(TextbookLink, FoundWhereTheLinkSays) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString program = dir.path();
    ASSERT_TRUE(QDir(program).mkpath(QStringLiteral("Base/Книги")));
    ASSERT_TRUE(QDir(program).mkpath(QStringLiteral("Help")));
    ASSERT_TRUE(QDir(program).mkpath(QStringLiteral("elsewhere")));
    for (const char* f : {"Base/Книги/a.htm", "Help/b.txt"}) {
        QFile file(program + QLatin1Char('/') + QString::fromUtf8(f));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    const QString base = program + QStringLiteral("/Base");
    const QString elsewhere = program + QStringLiteral("/elsewhere");

    struct Case {
        QString text;
        QString current;
        QString expected; // below the program folder
        QString workingFolder;
    };
    const Case cases[] = {
        {QStringLiteral(">Help\\b.txt|a b"), elsewhere, QStringLiteral("/Help/b.txt"), program},
        {QStringLiteral(">\\Help\\b.txt"), elsewhere, QStringLiteral("/Help/b.txt"), program},
        {QStringLiteral("Книги\\a.htm"), base, QStringLiteral("/Base/Книги/a.htm"), QString()},
        // The current folder is not the Base folder (a test from the server).
        {QStringLiteral("Книги\\a.htm"), elsewhere, QStringLiteral("/Base/Книги/a.htm"), QString()},
        {QStringLiteral("missing.htm"), elsewhere, QStringLiteral("/elsewhere/missing.htm"),
         QString()},
        {program + QStringLiteral("/Help/b.txt"), base, QStringLiteral("/Help/b.txt"), QString()},
    };
    for (const Case& c : cases) {
        const TextbookLink link = parseTextbookLink(cp(c.text));
        EXPECT_EQ(resolveTextbookFile(link, program, c.current), program + c.expected)
            << c.text.toStdString();
        EXPECT_EQ(textbookWorkingFolder(link, program), c.workingFolder) << c.text.toStdString();
    }
    EXPECT_TRUE(resolveTextbookFile(parseTextbookLink(">|x"), program, base).isEmpty());
}

TEST(TextbookLink, ViewByExtension) {
    struct Case {
        const char* path;
        TextbookView view;
    };
    const Case cases[] = {
        {"a/b.HTM", TextbookView::Html},     {"b.html", TextbookView::Html},
        {"c.txt", TextbookView::Text},       {"d.JPG", TextbookView::Picture},
        {"e.png", TextbookView::Picture},    {"f.bmp", TextbookView::Picture},
        {"g.pdf", TextbookView::Pdf},        {"h.doc", TextbookView::Outside},
        {"book.exe", TextbookView::Outside}, {"noextension", TextbookView::Outside},
    };
    for (const Case& c : cases)
        EXPECT_EQ(textbookViewFor(QString::fromUtf8(c.path)), c.view) << c.path;
}

// What the program's own viewer can follow of a link's parameters; the rest is reported unused.
TEST(TextbookLink, ParametersTheViewerFollows) {
    struct Case {
        QString parameters;
        TextbookView view;
        QString fragment;
        int page;
        QString unused;
    };
    const Case cases[] = {
        {QStringLiteral("#глава2"), TextbookView::Html, QStringLiteral("глава2"), 0, {}},
        {QStringLiteral("  #a b "), TextbookView::Html, QStringLiteral("a b"), 0, {}},
        {QStringLiteral("-fullscreen"), TextbookView::Html, {}, 0, QStringLiteral("-fullscreen")},
        {QStringLiteral("#"), TextbookView::Html, {}, 0, QStringLiteral("#")},
        {QStringLiteral("/A page=5"), TextbookView::Pdf, {}, 5, {}},
        {QStringLiteral("/A \"page=5\""), TextbookView::Pdf, {}, 5, {}},
        {QStringLiteral("#page=12"), TextbookView::Pdf, {}, 12, {}},
        {QStringLiteral("3"), TextbookView::Pdf, {}, 3, {}},
        {QStringLiteral("/n page=2 zoom=50"),
         TextbookView::Pdf,
         {},
         2,
         QStringLiteral("/n zoom=50")},
        {QStringLiteral("page=0"), TextbookView::Pdf, {}, 0, QStringLiteral("page=0")},
        {QStringLiteral("#глава2"), TextbookView::Pdf, {}, 0, QStringLiteral("#глава2")},
        {QStringLiteral("page=2"), TextbookView::Text, {}, 0, QStringLiteral("page=2")},
        {QStringLiteral("a b"), TextbookView::Outside, {}, 0, QStringLiteral("a b")},
        {QString(), TextbookView::Pdf, {}, 0, {}},
    };
    for (const Case& c : cases) {
        const TextbookPlace place = textbookPlace(c.parameters, c.view);
        EXPECT_EQ(place.fragment, c.fragment) << c.parameters.toStdString();
        EXPECT_EQ(place.pdfPage, c.page) << c.parameters.toStdString();
        EXPECT_EQ(place.unused, c.unused) << c.parameters.toStdString();
    }
}

TEST(TextbookLink, PagesDecodedFromEitherCodePage) {
    const QString russian = QStringLiteral("Закон Ома");
    const QByteArray win = QByteArray::fromStdString(cp(russian));
    const QByteArray utf = russian.toUtf8();
    EXPECT_EQ(decodeTextbookText(win), russian);
    EXPECT_EQ(decodeTextbookText(utf), russian);
    EXPECT_EQ(decodeTextbookText("\xEF\xBB\xBF" + utf), russian);
    const QByteArray metaUtf =
        "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">" + utf;
    EXPECT_TRUE(decodeTextbookText(metaUtf).endsWith(russian));
    // Declared Windows-1251 wins even over bytes that happen to be valid UTF-8.
    const QByteArray metaWin = "<meta charset=windows-1251>\xD0\xB0";
    EXPECT_TRUE(decodeTextbookText(metaWin).endsWith(QStringLiteral("Р°")));
    EXPECT_EQ(decodeTextbookText(QByteArray()), QString());
}

} // namespace
} // namespace kvz
