#include "l10n/Cp1251.h"
#include "run/TCalculator.h"
#include "run/TTextbookViewer.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPdfDocument>
#include <QPdfView>
#include <QPdfWriter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace kvz {
namespace {

const QString kError = QStringLiteral("Произошла ошибка!");

QString shown(const TCalculator& c) {
    return c.display()->text();
}

void click(TCalculator& c, const char* name) {
    auto* b = c.findChild<QPushButton*>(QLatin1String(name));
    ASSERT_NE(b, nullptr) << name;
    QTest::mouseClick(b, Qt::LeftButton);
}

TEST(CalculatorWindow, ButtonsAndKeys) {
    QWidget run;
    run.show();
    TCalculator calc(&run, QStringLiteral("Калькулятор"), kError);
    calc.popUp();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&calc));
    EXPECT_EQ(calc.windowTitle(), QStringLiteral("Калькулятор"));
    EXPECT_EQ(shown(calc), QStringLiteral("0"));

    for (const char* b : {"calc1", "calc2", "calcAdd", "calc7", "calcEquals"})
        click(calc, b);
    EXPECT_EQ(shown(calc), QStringLiteral("19"));

    // The keyboard: Enter is "=", never a click on a button; Escape clears and keeps the
    // window open.
    QTest::keyClicks(&calc, QStringLiteral("9*3"));
    QTest::keyClick(&calc, Qt::Key_Return);
    EXPECT_EQ(shown(calc), QStringLiteral("27"));
    QTest::keyClick(&calc, Qt::Key_M, Qt::ControlModifier);
    EXPECT_EQ(calc.findChild<QLabel*>(QStringLiteral("calcMemory"))->text(), QStringLiteral("M"));
    QTest::keyClick(&calc, Qt::Key_Escape);
    EXPECT_TRUE(calc.isVisible());
    EXPECT_EQ(shown(calc), QStringLiteral("0"));
    QTest::keyClicks(&calc, QStringLiteral("1,5"));
    QTest::keyClick(&calc, Qt::Key_Backspace);
    QTest::keyClick(&calc, Qt::Key_F9);
    EXPECT_EQ(shown(calc), QStringLiteral("-1."));
    QTest::keyClick(&calc, Qt::Key_R, Qt::ControlModifier);
    EXPECT_EQ(shown(calc), QStringLiteral("27"));
    QTest::keyClicks(&calc, QStringLiteral("/0="));
    EXPECT_EQ(shown(calc), kError);
    QTest::keyClick(&calc, Qt::Key_Delete);
    EXPECT_EQ(shown(calc), QStringLiteral("0"));

    // Opening it again raises the same window.
    calc.hide();
    calc.popUp();
    calc.popUp();
    EXPECT_TRUE(calc.isVisible());
    EXPECT_EQ(run.findChildren<TCalculator*>().size(), 1);
    EXPECT_EQ(calc.parentWidget(), &run);
}

class TextbookViewer : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    QString write(const QString& name, const QByteArray& bytes) {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }

    QTemporaryDir dir;
    QWidget run;
};

TEST_F(TextbookViewer, HtmlWithItsPicturesInWindows1251) {
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(Qt::red);
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("img")));
    ASSERT_TRUE(picture.save(dir.filePath(QStringLiteral("img/ohm.png"))));
    const std::string page =
        cp1251::fromUnicode(QStringLiteral("<html><head><title> Физика,  8 класс </title></head>"
                                           "<body><h1>Закон Ома</h1>"
                                           "<img src=\"img/ohm.png\"><a href=\"two.htm\">дальше</a>"
                                           "</body></html>"));
    const QString path = write(QStringLiteral("глава.htm"), QByteArray::fromStdString(page));
    write(QStringLiteral("two.htm"),
          QByteArray::fromStdString(cp1251::fromUnicode(QStringLiteral("<p>Вторая</p>"))));

    TTextbookViewer viewer(&run, QStringLiteral("OK"));
    ASSERT_TRUE(viewer.open(path));
    EXPECT_TRUE(viewer.isVisible());
    // The book's own title, not its file name.
    EXPECT_EQ(viewer.windowTitle(), QStringLiteral("Физика, 8 класс"));
    auto* browser = qobject_cast<QTextBrowser*>(viewer.content());
    ASSERT_NE(browser, nullptr);
    EXPECT_TRUE(browser->toPlainText().contains(QStringLiteral("Закон Ома")));
    const QVariant loaded =
        browser->loadResource(QTextDocument::ImageResource, QUrl(QStringLiteral("img/ohm.png")));
    ASSERT_TRUE(loaded.isValid()) << "the page's picture is found beside it";
    EXPECT_EQ(QImage::fromData(loaded.toByteArray()).size(), QSize(40, 30));

    // A link to the next local page stays in the window, decoded the same way.
    Q_EMIT browser->anchorClicked(QUrl(QStringLiteral("two.htm")));
    EXPECT_TRUE(browser->toPlainText().contains(QStringLiteral("Вторая")));
    EXPECT_EQ(viewer.windowTitle(), QStringLiteral("two")) << "a page without a title";
    // A web address does not leave the window.
    Q_EMIT browser->anchorClicked(QUrl(QStringLiteral("http://example.org/")));
    EXPECT_TRUE(browser->toPlainText().contains(QStringLiteral("Вторая")));
}

TEST_F(TextbookViewer, TextPicturesAndPdf) {
    TTextbookViewer viewer(&run, QStringLiteral("OK"));

    const QString text =
        write(QStringLiteral("a.txt"),
              QByteArray::fromStdString(cp1251::fromUnicode(QStringLiteral("Формулы"))));
    ASSERT_TRUE(viewer.open(text));
    auto* plain = qobject_cast<QPlainTextEdit*>(viewer.content());
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain->toPlainText(), QStringLiteral("Формулы"));
    EXPECT_TRUE(plain->isReadOnly());

    QImage big(4000, 3000, QImage::Format_RGB32);
    big.fill(Qt::blue);
    const QString png = dir.filePath(QStringLiteral("map.png"));
    ASSERT_TRUE(big.save(png));
    ASSERT_TRUE(viewer.open(png));
    auto* area = qobject_cast<QScrollArea*>(viewer.content());
    ASSERT_NE(area, nullptr);
    auto* label = qobject_cast<QLabel*>(area->widget());
    ASSERT_NE(label, nullptr);
    EXPECT_LE(label->pixmap().width(), viewer.width()) << "scaled down to the window";
    EXPECT_GT(label->pixmap().width(), 0);

    const QString pdf = dir.filePath(QStringLiteral("book.pdf"));
    {
        QPdfWriter writer(pdf);
        writer.setTitle(QStringLiteral("Оптика"));
        QPainter p(&writer);
        p.drawText(100, 100, QStringLiteral("Страница 1"));
        writer.newPage();
        p.drawText(100, 100, QStringLiteral("Страница 2"));
    }
    ASSERT_TRUE(viewer.open(pdf));
    auto* view = qobject_cast<QPdfView*>(viewer.content());
    ASSERT_NE(view, nullptr);
    ASSERT_NE(view->document(), nullptr);
    EXPECT_EQ(viewer.windowTitle(), QStringLiteral("Оптика"));
    EXPECT_EQ(view->document()->pageCount(), 2);
}

TEST_F(TextbookViewer, FilesItCannotShowLeaveTheWindowAsItWas) {
    TTextbookViewer viewer(&run, QStringLiteral("OK"));
    const QString ok = write(QStringLiteral("ok.txt"), "fine");
    ASSERT_TRUE(viewer.open(ok));
    QWidget* before = viewer.content();
    // A pipe would hold open() for ever; a device never ends.
    const QString pipe = dir.filePath(QStringLiteral("pipe.htm"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const QString zero = dir.filePath(QStringLiteral("zero.txt"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), zero));
    for (const QString& path :
         {dir.filePath(QStringLiteral("missing.htm")), dir.filePath(QStringLiteral("none.txt")),
          pipe, zero, write(QStringLiteral("broken.png"), "not a picture"),
          write(QStringLiteral("broken.pdf"), "%PDF-garbage"),
          write(QStringLiteral("letter.doc"), "doc")}) {
        EXPECT_FALSE(viewer.open(path)) << path.toStdString();
        EXPECT_EQ(viewer.content(), before) << path.toStdString();
    }
    EXPECT_EQ(viewer.windowTitle(), QStringLiteral("ok"));
}

} // namespace
} // namespace kvz
