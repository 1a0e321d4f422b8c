// The local road through the choice windows: the main window's "Локальное", the test choice,
// loading a real archive, the examinee's class and name, the introduction and the start.

#include "ChoiceFixture.h"
#include "support/TestPaths.h"

#include "choice/TInform.h"
#include "choice/TPrepere.h"
#include "platform/docview/DocumentView.h"
#include "run/TTopros.h"
#include "shell/Settings.h"
#include "shell/TBasic.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

using namespace kvz;
using namespace kvz::testing;

namespace {

const QString kTest = QStringLiteral("Алгебра 7 класс");

class LocalRoadTest : public ChoiceFixture {};

} // namespace

TEST_F(LocalRoadTest, FromTheMainWindowToTheStartOfTheRun) {
    const QString sample = stageDir() + QStringLiteral("/Base/") + kTest + QStringLiteral(".tst");
    ASSERT_TRUE(
        QFile::copy(sample, prog() + QStringLiteral("/Base/") + kTest + QStringLiteral(".tst")))
        << sample.toStdString();
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
