#include "app/KvizorApp.h"
#include "l10n/Language.h"
#include "platform/Dialogs.h"
#include "platform/docview/DocumentView.h"
#include "platform/docview/PieceWriter.h"
#include "run/TTopros.h"
#include "windows/THelper.h"
#include "windows/TPas.h"
#include "windows/TProgres.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <functional>
#include <gtest/gtest.h>

using namespace kvz;

namespace {

class SmallWindows : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        program = new QTemporaryDir;
        QDir().mkpath(program->path() + QStringLiteral("/Language"));
        QFile f(program->path() + QStringLiteral("/Language/fyv_russian.lng"));
        f.open(QIODevice::WriteOnly);
        f.write(builtinLanguageFile());
        f.close();
        Dialogs::startAnswering();
        app = new KvizorApp({}, program->path());
        app->createWindows();
    }
    static void TearDownTestSuite() {
        delete app;
        delete program;
        Dialogs::stopAnswering();
    }
    static QTemporaryDir* program;
    static KvizorApp* app;
};
QTemporaryDir* SmallWindows::program = nullptr;
KvizorApp* SmallWindows::app = nullptr;

// Runs the modal prompt, lets act() type into it once it is up, and returns its result.
int runPrompt(TPas& pas, std::function<void()> act) {
    QTimer::singleShot(0, &pas, [&] { act(); });
    return pas.exec();
}

} // namespace

TEST_F(SmallWindows, PasswordPromptLimitsAndResults) {
    TPas& pas = app->pas();
    pas.Edit1->clear();

    // Eighteen characters typed: the field stops at seventeen; Enter confirms like OK.
    int r = runPrompt(pas, [&] {
        QTest::keyClicks(pas.Edit1, QStringLiteral("abcdefghijklmnopqr"));
        QTest::keyClick(pas.Edit1, Qt::Key_Return);
    });
    EXPECT_EQ(r, QDialog::Accepted);
    EXPECT_EQ(pas.Edit1->text(), QStringLiteral("abcdefghijklmnopq"));
    EXPECT_EQ(pas.Edit1->echoMode(), QLineEdit::Password);

    r = runPrompt(pas, [&] { pas.Button1->click(); });
    EXPECT_EQ(r, QDialog::Accepted);

    r = runPrompt(pas, [&] { pas.Button2->click(); });
    EXPECT_EQ(r, QDialog::Rejected);

    // The close box is Cancel too, and the text stays for the next caller.
    r = runPrompt(pas, [&] { pas.close(); });
    EXPECT_EQ(r, QDialog::Rejected);
    EXPECT_EQ(pas.Edit1->text(), QStringLiteral("abcdefghijklmnopq"));
}

// The caption names the test: the prompt is as wide as it needs to show it whole. A wrong
// password marks the field until the examinee types again.
TEST_F(SmallWindows, PasswordPromptFitsItsTitleAndSaysAPasswordWasWrong) {
    TPas& pas = app->pas();
    const QString title = QStringLiteral("Пароль для Физика 9 класс, законы Ньютона и всемирного "
                                         "тяготения?");
    pas.setWindowTitle(title);
    pas.Edit1->setText(QStringLiteral("старый"));
    pas.markWrong();
    int width = 0;
    bool wrongWhenShown = false;
    bool selected = false;
    bool wrongAfterTyping = true;
    runPrompt(pas, [&] {
        width = pas.width();
        wrongWhenShown = pas.markedWrong();
        selected = pas.Edit1->selectedText() == pas.Edit1->text();
        QTest::keyClicks(pas.Edit1, QStringLiteral("x"));
        wrongAfterTyping = pas.markedWrong();
        pas.Button2->click();
    });
    EXPECT_GE(width, QFontMetrics(QApplication::font()).horizontalAdvance(title));
    EXPECT_TRUE(wrongWhenShown);
    EXPECT_TRUE(selected);
    EXPECT_FALSE(wrongAfterTyping);
    // Closing forgets the mark: the next showing is a fresh question.
    pas.markWrong();
    runPrompt(pas, [&] { pas.Button2->click(); });
    EXPECT_FALSE(pas.markedWrong());
    // Nothing on the title bar but the close box.
    EXPECT_FALSE(pas.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(pas.windowFlags() & Qt::CustomizeWindowHint);
}

// A load paints the wait window without returning to the event loop: it must be on screen,
// mapped and exposed, before that starts.
TEST_F(SmallWindows, WaitWindowIsExposedBeforeLongWork) {
    TProgres& w = app->progres();
    w.hide();
    w.showPainted();
    ASSERT_NE(w.windowHandle(), nullptr);
    EXPECT_TRUE(w.windowHandle()->isExposed());
    w.hide();
}

TEST_F(SmallWindows, WaitWindowOwnsTheBusyCursorWhileShown) {
    TProgres& w = app->progres();
    ASSERT_EQ(QApplication::overrideCursor(), nullptr);
    w.show();
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    w.show(); // showing twice must not stack a second cursor
    w.hide();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    w.hide();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(SmallWindows, WaitAnimationLoopsAtFifteenFramesASecond) {
    TProgres& w = app->progres();
    EXPECT_EQ(w.Animate1->size(), QSize(32, 32));
    w.startAnimation();
    EXPECT_TRUE(w.Animate1->isPlaying());
    EXPECT_EQ(w.Animate1->frame(), 0);
    QTest::qWait(300);
    // About four frames in 300 ms; the clock decides, so only a loose window is checked.
    EXPECT_GE(w.Animate1->frame(), 2);
    EXPECT_LT(w.Animate1->frame(), WorkAnimation::kFrames);
    w.stopAnimation();
    EXPECT_FALSE(w.Animate1->isPlaying());
}

TEST_F(SmallWindows, HelpWindowCentresTheDocumentAndHidesOnAnyClick) {
    THelper& h = app->helper();
    TTopros& topros = app->topros();
    topros.setEnabled(false);
    QImage page(200, 120, QImage::Format_RGB32);
    page.fill(Qt::yellow);
    const docview::PieceResult piece = docview::pieceFromImage(page, QStringLiteral("page"));
    ASSERT_TRUE(piece.ok()) << piece.error.toStdString();
    ASSERT_TRUE(h.OleContainer1->loadFromBytes(piece.piece));
    h.setWindowState(Qt::WindowNoState);
    h.show();
    h.resize(801, 601);
    QCoreApplication::processEvents();
    const QSize doc = h.OleContainer1->naturalSize();
    ASSERT_FALSE(doc.isEmpty());
    EXPECT_EQ(h.Panel2->size(), doc);
    EXPECT_EQ(h.OleContainer1->geometry(), QRect(QPoint(0, 0), doc));
    EXPECT_EQ(h.Panel2->x(), 801 / 2 - doc.width() / 2);
    EXPECT_EQ(h.Panel2->y(), 601 / 2 - doc.height() / 2);
    EXPECT_FALSE(h.OleContainer1->isEnabled());

    // The window manager's close request (Alt+F4) is refused.
    QCloseEvent close;
    QCoreApplication::sendEvent(&h, &close);
    EXPECT_FALSE(close.isAccepted());
    EXPECT_TRUE(h.isVisible());

    for (QWidget* target :
         {static_cast<QWidget*>(&h), h.Panel2, h.Panel3, static_cast<QWidget*>(h.Button2)}) {
        h.show();
        topros.setEnabled(false);
        // The document's panel is clicked in its middle, on the (disabled) document itself.
        const QPoint at = target == h.Panel2 ? h.Panel2->rect().center() : QPoint(1, 1);
        QTest::mouseClick(target, Qt::LeftButton, {}, at);
        EXPECT_FALSE(h.isVisible()) << target->objectName().toStdString();
        EXPECT_TRUE(topros.isEnabled());
    }
}
