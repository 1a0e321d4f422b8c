#include "ChoiceFixture.h"

#include "choice/TInform.h"
#include "platform/Lockdown.h"
#include "platform/docview/DocumentView.h"
#include "shell/TBasic.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace kvz;
using namespace kvz::testing;

namespace {

class InformTest : public ChoiceFixture {
protected:
    void SetUp() override {
        ChoiceFixture::SetUp();
        start();
        app->runState().studentMode = false;
    }
    TInform& inform() { return app->inform(); }
    void showActive() {
        inform().show();
        inform().activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&inform()));
    }
};

} // namespace

TEST_F(InformTest, TypingShapesBothFields) {
    TInform& w = inform();
    showActive();
    typeText(w.UserName, QStringLiteral("ИВАНОВ  ИВАН--ПЕТРОВ"));
    EXPECT_EQ(w.UserName->text(), QStringLiteral("Иванов Иван-Петров"));
    typeText(w.KlassName, QStringLiteral(" 9а"));
    EXPECT_EQ(w.KlassName->text(), QStringLiteral("9А"));
    // A character the code page lacks is refused, not stored as "?".
    typeText(w.KlassName, QStringLiteral("\u4e2d"));
    EXPECT_EQ(w.KlassName->text(), QStringLiteral("9А"));
    // Editing keys still work.
    QTest::keyClick(w.KlassName, Qt::Key_Backspace);
    EXPECT_EQ(w.KlassName->text(), QStringLiteral("9"));
    // Enter in the class field moves on to the name field.
    QTest::keyClick(w.KlassName, Qt::Key_Return);
    EXPECT_EQ(QApplication::focusWidget(), w.UserName);
    EXPECT_EQ(w.UserName->contextMenuPolicy(), Qt::NoContextMenu);
    EXPECT_EQ(w.KlassName->maxLength(), 30);
    EXPECT_EQ(w.UserName->maxLength(), 100);
}

// The middle button pastes the X selection, which would pass round the typing rules. Only an X
// server has a selection: choice_paste_x11_tests runs this under Xvfb.
TEST_F(InformTest, MiddleButtonPasteIsRefused) {
    if (!QGuiApplication::clipboard()->supportsSelection())
        GTEST_SKIP() << "no selection to paste on this platform";
    TInform& w = inform();
    showActive();
    const QString pasted = QStringLiteral("  пЕТРОВ---9а");
    QGuiApplication::clipboard()->setText(pasted, QClipboard::Selection);
    // A plain edit of the same window system does paste it: the check below is real.
    QLineEdit plain;
    plain.show();
    QTest::mouseClick(&plain, Qt::MiddleButton, {}, plain.rect().center());
    ASSERT_EQ(plain.text(), pasted);

    for (QLineEdit* edit : {w.UserName, w.KlassName}) {
        QTest::mouseClick(edit, Qt::MiddleButton, {}, edit->rect().center());
        QTest::mouseDClick(edit, Qt::MiddleButton, {}, edit->rect().center());
        EXPECT_TRUE(edit->text().isEmpty()) << edit->objectName().toStdString();
    }
}

TEST_F(InformTest, ConfirmRefusesWithTheRightMessageAndFocus) {
    TInform& w = inform();
    showActive();
    struct Case {
        const char16_t* name;
        const char16_t* klass;
        const char16_t* message;
        QLineEdit* focus;
    };
    const Case cases[] = {
        {u"Иванов", u"", u"Вы не заполнили обязательные поля.", w.KlassName},
        {u"", u"9А", u"Вы не заполнили обязательные поля.", w.UserName},
        {u"Петров Пётррр", u"9А", u"Вы опечатались при написании Ф.И.О.", w.UserName},
    };
    for (const Case& c : cases) {
        Dialogs::clearShown();
        w.UserName->setText(QString::fromUtf16(c.name));
        w.KlassName->setText(QString::fromUtf16(c.klass));
        (c.focus == w.UserName ? w.KlassName : w.UserName)->setFocus();
        w.Button2->click();
        ASSERT_EQ(Dialogs::shown().size(), 1u);
        EXPECT_EQ(Dialogs::shown()[0].kind, DialogKind::Error);
        EXPECT_EQ(Dialogs::shown()[0].text, QString::fromUtf16(c.message));
        EXPECT_EQ(QApplication::focusWidget(), c.focus) << QString::fromUtf16(c.name).toStdString();
        EXPECT_TRUE(w.isVisible());
    }
}

TEST_F(InformTest, ConfirmationThenIntroductionThenStart) {
    TInform& w = inform();
    RunState& rs = app->runState();
    rs.showIntroduction = true;
    showActive();
    w.UserName->setText(QStringLiteral("Иванов "));
    w.KlassName->setText(QStringLiteral("9А "));

    // "No": the fields lose their trailing blank, the page stays.
    Dialogs::queueAnswer(false);
    w.UserName->setFocus();
    QTest::keyClick(w.UserName, Qt::Key_Return);
    ASSERT_EQ(Dialogs::shown().size(), 1u);
    EXPECT_EQ(Dialogs::shown()[0].text,
              QStringLiteral("Ваше фамилия, имя и отчество:\r\nИванов,\r\nа класс: 9А?"));
    EXPECT_EQ(w.UserName->text(), QStringLiteral("Иванов"));
    EXPECT_EQ(w.KlassName->text(), QStringLiteral("9А"));
    EXPECT_FALSE(w.onSecondPage());

    Dialogs::queueAnswer(true);
    w.Button2->click();
    EXPECT_TRUE(w.onSecondPage());
    EXPECT_FALSE(w.Panel1->isVisible());
    EXPECT_TRUE(w.Panel3->isVisible());
    EXPECT_FALSE(w.OleContainer1->isEnabled());

    w.Button3->click();
    EXPECT_FALSE(w.onSecondPage());
    EXPECT_TRUE(w.Panel1->isVisible());

    // Any key on the introduction page starts the run.
    Dialogs::queueAnswer(true);
    w.Button2->click();
    ASSERT_TRUE(w.onSecondPage());
    QTest::keyClick(w.Button4, Qt::Key_X);
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(w.onSecondPage());
    // The texts stay for a repeated run.
    EXPECT_EQ(w.UserName->text(), QStringLiteral("Иванов"));
}

TEST_F(InformTest, StudentWordingWithoutIntroductionStartsAtOnce) {
    TInform& w = inform();
    RunState& rs = app->runState();
    rs.studentMode = true;
    rs.showIntroduction = false;
    showActive();
    EXPECT_EQ(w.Label5->text(), QStringLiteral("Введите вашу группу:"));
    w.UserName->setText(QStringLiteral("Иванов"));
    w.KlassName->setText(QStringLiteral("ИС-21"));
    Dialogs::queueAnswer(true);
    w.Button2->click();
    ASSERT_EQ(Dialogs::shown().size(), 1u);
    EXPECT_TRUE(Dialogs::shown()[0].text.endsWith(QStringLiteral(",\r\nа группа: ИС-21?")));
    EXPECT_FALSE(w.isVisible());
}

TEST_F(InformTest, ShowingAppliesTheLockUnlessTheTestSwitchesItOff) {
    RunState& rs = app->runState();
    rs.lockdownOff = true;
    inform().show();
    EXPECT_FALSE(lockdownInForce());
    inform().hide();
    rs.lockdownOff = false;
    inform().show();
    EXPECT_TRUE(lockdownInForce());
    EXPECT_TRUE(inform().windowState() & Qt::WindowMaximized);
    liftLockdown(rs);
    EXPECT_FALSE(lockdownInForce());
}

TEST_F(InformTest, ExitGoesThroughTheMainWindow) {
    showActive();
    Dialogs::queueAnswer(false);
    inform().Button1->click();
    EXPECT_TRUE(shownText(QStringLiteral("Вы действительно хотите выйти?")));
    EXPECT_TRUE(inform().isVisible());
}
