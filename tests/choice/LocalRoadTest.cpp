// The local road through the choice windows: the main window's "Локальное", the test choice,
// loading a real archive, the examinee's class and name, the introduction and the start.

#include "ChoiceFixture.h"
#include "support/ManualClock.h"
#include "support/TestPaths.h"

#include "choice/TInform.h"
#include "choice/TPrepere.h"
#include "platform/docview/DocumentView.h"
#include "results/TResultats.h"
#include "run/TMessage1.h"
#include "run/TTopros.h"
#include "shell/Clock.h"
#include "shell/Settings.h"
#include "shell/TBasic.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QToolBar>

using namespace kvz;
using namespace kvz::testing;

namespace {

const QString kTest = QStringLiteral("Алгебра 7 класс");

class LocalRoadTest : public ChoiceFixture {
protected:
    ManualClock clock_;
};

} // namespace

TEST_F(LocalRoadTest, FromTheMainWindowToTheStartOfTheRun) {
    copySample(kTest + QStringLiteral(".tst"));
    writeFile(QStringLiteral("Settings.ini"), "[Type]\r\nStudent=0\r\n");
    start();
    RunState& rs = app->runState();
    TBasic& basic = app->basic();
    basic.show();

    auto* local = basic.findChild<QPushButton*>(QStringLiteral("Button5"));
    ASSERT_NE(local, nullptr);
    local->click();
    TPrepere& prepere = app->prepere();
    ASSERT_TRUE(prepere.isVisible());
    ASSERT_EQ(prepere.ListBox1->count(), 1);
    EXPECT_EQ(prepere.ListBox1->item(0)->text(), kTest);
    EXPECT_EQ(prepere.Edit2->currentText(), QStringLiteral("7"));
    EXPECT_EQ(prepere.Edit3->currentText(), QStringLiteral("Алгебра"));

    Dialogs::queueAnswer(true); // "Вы действительно выбрали тест ...?"
    QTest::keyClick(prepere.ListBox1, Qt::Key_Return);
    TInform& inform = app->inform();
    ASSERT_TRUE(inform.isVisible()) << "the test did not load";
    EXPECT_FALSE(prepere.isVisible());
    EXPECT_TRUE(prepere.isEnabled());
    EXPECT_EQ(rs.testName, cp(kTest));
    EXPECT_EQ(rs.testSubject, cp(QStringLiteral("Алгебра")));
    EXPECT_EQ(rs.resultsFolder, prog() + QStringLiteral("/Results"));
    EXPECT_EQ(inform.Label2->text(), QStringLiteral("Тест: ") + kTest);
    EXPECT_EQ(inform.Label3->text(), QStringLiteral("Класс: 7 , Предмет: Алгебра."));
    EXPECT_EQ(inform.Label5->text(), QStringLiteral("Введите ваш класс:"));

    inform.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&inform));
    inform.KlassName->setFocus();
    typeText(inform.KlassName, QStringLiteral("7а"));
    QTest::keyClick(inform.KlassName, Qt::Key_Return);
    typeText(inform.UserName, QStringLiteral("ПЕТРОВА АННА"));
    EXPECT_EQ(inform.UserName->text(), QStringLiteral("Петрова Анна"));

    // The sample carries an introduction page; have it shown whatever the archive says.
    rs.showIntroduction = true;
    Dialogs::queueAnswer(true);
    QTest::keyClick(inform.UserName, Qt::Key_Return);
    EXPECT_TRUE(
        Dialogs::shown().back().text.contains(QStringLiteral("Петрова Анна,\r\nа класс: 7А?")));
    ASSERT_TRUE(inform.onSecondPage());
    EXPECT_FALSE(inform.OleContainer1->isEmpty());
    EXPECT_FALSE(inform.OleContainer1->size().isEmpty());

    inform.Button4->click();
    EXPECT_FALSE(inform.isVisible());
    EXPECT_FALSE(inform.onSecondPage());
    EXPECT_EQ(app->topros().Stests->currentRow(), 0);
    for (const auto& r : Dialogs::shown())
        EXPECT_NE(r.kind, DialogKind::Error) << r.text.toStdString();
}

// The whole road: from "Локальное" through every question of the sample with all three kinds,
// answered with keys and the mouse, to the finish.
TEST_F(LocalRoadTest, ThroughEveryQuestionToTheFinish) {
    const QString sample = stageDir() + QStringLiteral("/Base/") + kTest + QStringLiteral(".tst");
    ASSERT_TRUE(
        QFile::copy(sample, prog() + QStringLiteral("/Base/") + kTest + QStringLiteral(".tst")));
    writeFile(QStringLiteral("Settings.ini"), "[Type]\r\nStudent=0\r\n");
    start();
    RunState& rs = app->runState();
    app->basic().show();
    app->basic().findChild<QPushButton*>(QStringLiteral("Button5"))->click();
    Dialogs::queueAnswer(true);
    QTest::keyClick(app->prepere().ListBox1, Qt::Key_Return);
    TInform& inform = app->inform();
    ASSERT_TRUE(inform.isVisible());
    typeText(inform.KlassName, QStringLiteral("7а"));
    typeText(inform.UserName, QStringLiteral("Петрова Анна"));
    rs.showIntroduction = false;
    Dialogs::queueAnswer(true);
    QTest::keyClick(inform.UserName, Qt::Key_Return);

    TTopros& run = app->topros();
    ASSERT_TRUE(run.isVisible());
    EXPECT_FALSE(inform.isVisible());
    EXPECT_TRUE(run.Timer1.isActive());
    ASSERT_EQ(run.Stests->count(), 4);
    const QuestionSet& set = run.questionSet;
    auto send = [&](Qt::Key key, const QString& text = QString()) {
        QTest::sendKeyEvent(QTest::Click, &run, key, text, Qt::NoModifier);
    };

    // A01, one choice: the key "3", then the mouse on "Далее".
    ASSERT_TRUE(run.pA2->isVisible());
    send(Qt::Key_3, QStringLiteral("3"));
    clock_.tick(run);
    QTest::mouseClick(run.Next1, Qt::LeftButton);
    // A02, several choices: two clicks and Enter.
    ASSERT_TRUE(run.pA1->isVisible());
    QTest::mouseClick(run.Otvetbool[0], Qt::LeftButton);
    QTest::mouseClick(run.Otvetbool[3], Qt::LeftButton);
    send(Qt::Key_Return);
    // B01, typed: Page Down moves on.
    ASSERT_TRUE(run.pB->isVisible());
    for (QChar ch : QStringLiteral("25"))
        QTest::sendKeyEvent(QTest::Click, run.otvetstr, Qt::Key_unknown, QString(ch),
                            Qt::NoModifier);
    send(Qt::Key_PageDown);
    // D01, ordering: the drop-downs with the keyboard, then back through the list and forth.
    ASSERT_TRUE(run.pD->isVisible());
    QTest::keyClick(run.CbOtvetOfset[0], Qt::Key_Down); // slot 1 takes 2, slot 2 gets 1
    EXPECT_EQ(run.CbOtvetOfset[1]->currentText(), QStringLiteral("01"));
    QTest::mouseClick(run.Stests->viewport(), Qt::LeftButton, {},
                      run.Stests->visualItemRect(run.Stests->item(0)).center());
    EXPECT_EQ(run.currentItem(), 0);
    EXPECT_TRUE(run.Otvetbool1x[2]->isChecked());
    QTest::mouseClick(run.Stests->viewport(), Qt::LeftButton, {},
                      run.Stests->visualItemRect(run.Stests->item(3)).center());
    EXPECT_EQ(run.CbOtvetOfset[0]->currentText(), QStringLiteral("02"));

    // "Завершить!" asks; the prompt's "Завершить" ends the test.
    clock::setNowForTesting([] { return 46100.5; });
    QTest::mouseClick(run.ToolBar1->widgetForAction(run.N4), Qt::LeftButton);
    ASSERT_TRUE(app->message1().isVisible());
    app->message1().Button2->click();
    clock::setNowForTesting({});
    EXPECT_FALSE(run.isVisible());
    EXPECT_FALSE(app->message1().isVisible());
    EXPECT_TRUE(app->resultats().isVisible());
    EXPECT_FALSE(run.Timer1.isActive());
    EXPECT_EQ(rs.finishTime, 46100.5);

    ASSERT_EQ(set.answers.size(), 4u);
    EXPECT_EQ(set.answers[0].chosen, (std::array<bool, 5>{false, false, true, false, false}));
    EXPECT_EQ(set.answers[1].chosen, (std::array<bool, 5>{true, false, false, true, false}));
    EXPECT_EQ(set.answers[2].text, "25");
    EXPECT_EQ(set.answers[3].slots[0].number, 2);
    EXPECT_EQ(set.answers[3].slots[1].number, 1);
    EXPECT_EQ(set.answers[3].slots[2].number, 3);
    for (const TAnswerRec& a : set.answers)
        EXPECT_TRUE(a.touched);
    EXPECT_EQ(set.questions[0].timeSpentMs, 1000);
    for (const auto& r : Dialogs::shown())
        EXPECT_NE(r.kind, DialogKind::Error) << r.text.toStdString();
}
