// The whole road of a local test as a pupil takes it: from the main window through the sample
// test to the result archive on disk, into the review and back to the same figures.

#include "choice/ChoiceFixture.h"
#include "support/TestPaths.h"

#include "choice/TInform.h"
#include "choice/TPrepere.h"
#include "results/ResultReader.h"
#include "results/TResultats.h"
#include "run/TMessage1.h"
#include "run/TTopros.h"
#include "shell/Clock.h"
#include "shell/TBasic.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QToolBar>

using namespace kvz;
using namespace kvz::testing;

namespace {

const QString kTest = QStringLiteral("Алгебра 7 класс");

class ResultsRoadTest : public ChoiceFixture {};

} // namespace

TEST_F(ResultsRoadTest, FromTheMainWindowToTheArchiveAndThroughTheReview) {
    copySample(kTest + QStringLiteral(".tst"));
    writeFile(QStringLiteral("Settings.ini"), "[Type]\r\nStudent=0\r\n");
    start();
    RunState& rs = app->runState();
    app->basic().show();
    app->basic().findChild<QPushButton*>(QStringLiteral("Button5"))->click();
    Dialogs::queueAnswer(true); // "Вы действительно выбрали тест ...?"
    QTest::keyClick(app->prepere().ListBox1, Qt::Key_Return);
    TInform& inform = app->inform();
    ASSERT_TRUE(inform.isVisible()) << "the test did not load";
    typeText(inform.KlassName, QStringLiteral("7а"));
    typeText(inform.UserName, QStringLiteral("Петрова Анна"));
    rs.showIntroduction = false;
    Dialogs::queueAnswer(true);
    QTest::keyClick(inform.UserName, Qt::Key_Return);

    TTopros& run = app->topros();
    ASSERT_TRUE(run.isVisible());
    ASSERT_EQ(run.Stests->count(), 4);
    // One answer, then the finish; whatever the sample says, review is allowed here.
    QTest::sendKeyEvent(QTest::Click, &run, Qt::Key_3, QStringLiteral("3"), Qt::NoModifier);
    rs.answerReviewAllowed = true;
    clock::setNowForTesting([] { return 46100.5; });
    QTest::mouseClick(run.ToolBar1->widgetForAction(run.N4), Qt::LeftButton);
    ASSERT_TRUE(app->message1().isVisible());
    app->message1().Button2->click();
    clock::setNowForTesting({});
    QCoreApplication::processEvents();

    TResultats& results = app->resultats();
    ASSERT_TRUE(results.isVisible());
    EXPECT_FALSE(run.isVisible());
    EXPECT_TRUE(rs.resultsShown);
    const CheckSummary summary = rs.checkSummary;
    EXPECT_EQ(summary.questionCount, 4);
    EXPECT_EQ(results.Label10->text(), QStringLiteral("Петрова Анна"));
    EXPECT_EQ(results.Label5->text(), QStringLiteral("7А"));
    const QString right = results.Label2->text();
    EXPECT_TRUE(right.endsWith(QStringLiteral(" из 4 (") +
                               QString::fromStdString(summary.rightPercentText) +
                               QStringLiteral("%)")))
        << right.toStdString();

    // The archive on disk, read back as the teacher's tool reads it.
    const QString folder = prog() + QStringLiteral("/Results");
    const QStringList files = QDir(folder).entryList({QStringLiteral("*.rst")}, QDir::Files);
    ASSERT_EQ(files.size(), 1);
    QFile f(folder + QLatin1Char('/') + files[0]);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const ResultReadResult read = readResultArchive(f.readAll());
    ASSERT_TRUE(read.record) << read.error.toStdString();
    const ResultRecord& r = *read.record;
    EXPECT_EQ(r.facts.examineeName, cp(QStringLiteral("Петрова Анна")));
    EXPECT_EQ(r.facts.group, cp(QStringLiteral("7А")));
    EXPECT_EQ(r.facts.testName, cp(kTest));
    EXPECT_EQ(r.facts.subject, cp(QStringLiteral("Алгебра")));
    EXPECT_EQ(r.facts.finishTime, 46100.5);
    EXPECT_EQ(r.questionCount, 4);
    EXPECT_EQ(r.verdictCode, summary.verdictCode);
    EXPECT_TRUE(r.questions[0].answered);
    EXPECT_EQ(r.questions[0].givenAnswer, "0010000000");

    // Into the review and back: the same figures, nothing stored again.
    ASSERT_TRUE(results.Button3->isEnabled());
    results.Button3->click();
    EXPECT_FALSE(results.isVisible());
    ASSERT_TRUE(run.isVisible());
    EXPECT_TRUE(run.N9->isVisible());
    run.N9->trigger();
    QCoreApplication::processEvents();
    EXPECT_TRUE(results.isVisible());
    EXPECT_FALSE(run.isVisible());
    EXPECT_EQ(results.Label2->text(), right);
    EXPECT_EQ(QDir(folder).entryList({QStringLiteral("*.rst")}, QDir::Files).size(), 1);

    // "Повторить", "тот же тест": the examinee window with the names kept.
    results.Button1->click();
    ASSERT_TRUE(results.PopupMenu1->isVisible());
    results.N1->trigger();
    EXPECT_FALSE(results.isVisible());
    EXPECT_TRUE(inform.isVisible());
    EXPECT_EQ(inform.UserName->text(), QStringLiteral("Петрова Анна"));
    for (const auto& d : Dialogs::shown())
        EXPECT_NE(d.kind, DialogKind::Error) << d.text.toStdString();
}
