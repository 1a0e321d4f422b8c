// Bringing back a run the program did not finish: the run window opens at the saved question
// with the saved answers, clocks and names after a confirmation; a changed test sets the
// journal aside and tells the supervisor; only the test's password discards it.

#include "app/KvizorApp.h"
#include "choice/TInform.h"
#include "l10n/Cp1251.h"
#include "l10n/MessageTable.h"
#include "platform/Dialogs.h"
#include "platform/docview/PieceWriter.h"
#include "results/TResultats.h"
#include "run/JournalKeeper.h"
#include "run/TTopros.h"
#include "shell/TBasic.h"
#include "support/ManualClock.h"
#include "test/TestArchive.h"
#include "windows/TPas.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace kvz {
namespace {

QByteArray page(QColor colour) {
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(colour);
    return docview::pieceFromImage(image, QStringLiteral("page")).piece;
}

// Three single-choice questions and two typed ones, free order, a minute a question.
QByteArray fiveQuestions() {
    TestArchive a;
    for (int k = 1; k <= 5; ++k) {
        TQuestionRec q;
        q.kindText = k <= 3 ? "A" : "B";
        q.choiceCount = k <= 3 ? 4 : 0;
        q.sourceNo = k;
        q.body = page(QColor::fromHsv(k * 60, 200, 200));
        a.questions.push_back(q);
    }
    a.introduction = page(Qt::white);
    a.reference = page(Qt::gray);
    a.settings.questionTimerOn = a.settings.testTimerOn = true;
    a.settings.fixedOrder = false;
    a.settings.lockdownOff = true; // the offscreen platform cannot lock anyway
    a.settings.questionTime = 60.0 / 86400;
    a.settings.testTime = 600.0 / 86400;
    return writeTestArchive(a, "pw", CatalogueInfo{}).value();
}

class ResumeWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(program.isValid());
        QDir().mkpath(base());
        QFile f(testPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(fiveQuestions());
        Dialogs::startAnswering();
        Dialogs::clearShown();
    }
    void TearDown() override {
        Dialogs::stopAnswering();
        app.reset();
    }
    QString base() const { return program.path() + QStringLiteral("/Base"); }
    QString testPath() const { return base() + QStringLiteral("/five.tst"); }
    void newApp() {
        app.reset();
        app = std::make_unique<KvizorApp>(QStringList{}, program.path());
        app->createWindows();
    }
    TTopros& run() { return app->topros(); }
    const MessageTable& msg() { return app->messages(); }

    // A pupil starts the test, answers two questions and is on the fourth, with some clock
    // gone; then the program stops without finishing.
    void runPartWay() {
        newApp();
        app->runState().testName = "five";
        QFile file(testPath());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        app->pas().Edit1->setText(QStringLiteral("pw"));
        ASSERT_TRUE(run().LoadTest(file));
        app->inform().UserName->setText(QStringLiteral("Иванов Иван"));
        app->inform().KlassName->setText(QStringLiteral("9Б"));
        app->inform().StartTest();
        ASSERT_TRUE(run().isVisible());
        const int first = run().currentItem();
        QTest::mouseClick(run().Otvetbool1x[2], Qt::LeftButton);
        for (int t = 0; t < 4; ++t)
            clock_.tick(run());
        run().Next1Click();
        QTest::mouseClick(run().Otvetbool1x[0], Qt::LeftButton);
        run().Next1Click();
        run().Next1Click();
        run().otvetstr->setText(QStringLiteral("ответ"));
        EXPECT_EQ(run().currentItem(), first + 3);
        saved = run().questionSet;
        app.reset(); // gone, as after a power cut; the journal stays
    }
    std::vector<QString> asideFiles() const {
        std::vector<QString> out;
        const QDir dir(JournalStore::defaultFolder());
        for (const QString& n : dir.entryList({QStringLiteral("*.aside")}, QDir::Files))
            out.push_back(n);
        return out;
    }
    bool shown(DialogKind kind, const QString& start) const {
        for (const Dialogs::Record& r : Dialogs::shown())
            if (r.kind == kind && r.text.startsWith(start))
                return true;
        return false;
    }

    QTemporaryDir program;
    testing::ManualClock clock_;
    std::unique_ptr<KvizorApp> app;
    QuestionSet saved;
};

TEST_F(ResumeWindowTest, TheRunComesBackWhereItStood) {
    runPartWay();
    newApp();
    Dialogs::clearShown();
    Dialogs::queueAnswer(true); // "continue it?"
    app->basic().FormShow();
    ASSERT_TRUE(app->basic().resumedRun());
    EXPECT_FALSE(app->basic().isVisible());
    TTopros& w = run();
    ASSERT_TRUE(w.isVisible());
    EXPECT_TRUE(
        shown(DialogKind::Confirmation,
              cp1251::toUnicode(formatMessage(msg().msg(68), {"five", "\xc8\xe2\xe0\xed\xee"
                                                                      "\xe2 \xc8\xe2\xe0\xed"}))));
    // Said on a line that holds nothing up: the clock runs from the moment the run is back.
    EXPECT_FALSE(shown(DialogKind::Information, msg().text(69)));
    EXPECT_TRUE(w.NoticeLine->isVisible());
    EXPECT_EQ(w.NoticeLine->text(), msg().text(69));
    EXPECT_TRUE(w.Timer1.isActive());

    EXPECT_EQ(w.currentItem(), 3);
    EXPECT_EQ(w.otvetstr->text(), QStringLiteral("ответ")) << "typed, never navigated away";
    const QuestionSet& now = w.questionSet;
    ASSERT_EQ(now.size(), saved.size());
    for (std::size_t k = 0; k < saved.questions.size(); ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(now.questions[k].sourceNo, saved.questions[k].sourceNo);
        EXPECT_EQ(now.questions[k].timeSpentMs, saved.questions[k].timeSpentMs);
        EXPECT_EQ(now.answers[k].chosen, saved.answers[k].chosen);
        EXPECT_EQ(now.answers[k].touched, saved.answers[k].touched);
    }
    EXPECT_EQ(now.questions[0].timeLeftMs, 60000 - 4000 - 1000);
    EXPECT_EQ(now.testTimeLeftMs, saved.testTimeLeftMs);
    EXPECT_EQ(app->inform().UserName->text(), QStringLiteral("Иванов Иван"));
    EXPECT_EQ(app->inform().KlassName->text(), QStringLiteral("9Б"));
    EXPECT_EQ(w.Stests->count(), 5);

    // And it goes on being kept: the next answer reaches the journal.
    w.Next1Click();
    w.otvetstr->setText(QStringLiteral("ещё"));
    const JournalStore store(JournalStore::defaultFolder());
    for (int i = 0; i < 100 && store.read().journal->items[4].answer.text.empty(); ++i)
        QTest::qWait(10);
    EXPECT_EQ(store.read().journal->items[4].answer.text,
              cp1251::fromUnicode(QStringLiteral("ещё")));
    EXPECT_TRUE(asideFiles().empty());
}

TEST_F(ResumeWindowTest, AChangedTestSetsTheJournalAsideAndTellsTheSupervisor) {
    runPartWay();
    QFile file(testPath());
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("x");
    file.close();
    newApp();
    Dialogs::clearShown();
    app->basic().FormShow();
    EXPECT_FALSE(app->basic().resumedRun());
    EXPECT_FALSE(run().isVisible());
    EXPECT_FALSE(QFile::exists(JournalStore(JournalStore::defaultFolder()).path()));
    const std::vector<QString> aside = asideFiles();
    ASSERT_EQ(aside.size(), 1u);
    bool told = false;
    for (const Dialogs::Record& r : Dialogs::shown())
        told |= r.kind == DialogKind::Error && r.text.contains(aside.front());
    EXPECT_TRUE(told) << "the message names the file the journal is kept in";
    EXPECT_TRUE(app->runState().interactive) << "the start goes on as usual";
}

TEST_F(ResumeWindowTest, ARunThatHadEndedIsStoredOnceAndItsJournalGoes) {
    runPartWay();
    const JournalStore store(JournalStore::defaultFolder());
    // Ended just before the stop, its result maybe stored, maybe not: twice the same journal.
    RunJournal ended = store.read().journal.value();
    ended.finished = true;
    ended.finishTime = 46100.5;
    const QByteArray bytes = encodeJournal(ended);
    const QString results = program.path() + QStringLiteral("/Results");
    for (int start = 0; start < 2; ++start) {
        SCOPED_TRACE(start);
        ASSERT_TRUE(store.write(bytes));
        newApp();
        Dialogs::queueAnswer(true);
        app->basic().FormShow();
        ASSERT_TRUE(app->basic().resumedRun());
        EXPECT_FALSE(run().isVisible());
        EXPECT_TRUE(app->resultats().isVisible()) << "straight to the results";
        EXPECT_EQ(app->runState().finishTime, 46100.5);
        EXPECT_EQ(QDir(results).entryList({QStringLiteral("*.rst")}, QDir::Files).size(), 1);
        for (int i = 0; i < 100 && store.read().exists; ++i)
            QTest::qWait(10);
        EXPECT_FALSE(store.read().exists);
    }
}

TEST_F(ResumeWindowTest, ANewRunNeverWritesOverAnotherRunsJournal) {
    // A run whose resume was put off, then a new run begun without the question (as the main
    // window's buttons would ask it): the waiting journal is kept aside, byte for byte.
    runPartWay();
    QFile waiting(JournalStore(JournalStore::defaultFolder()).path());
    ASSERT_TRUE(waiting.open(QIODevice::ReadOnly));
    const QByteArray before = waiting.readAll();
    waiting.close();
    runPartWay();
    const std::vector<QString> aside = asideFiles();
    ASSERT_EQ(aside.size(), 1u);
    QFile kept(QDir(JournalStore::defaultFolder()).filePath(aside.front()));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), before);
    EXPECT_TRUE(JournalStore(JournalStore::defaultFolder()).read().journal.has_value());
}

TEST_F(ResumeWindowTest, OnlyTheTestPasswordDiscardsTheRun) {
    runPartWay();
    newApp();
    // "No" twice: a wrong password brings the question back; the right one discards.
    Dialogs::queueAnswer(false);
    Dialogs::queueAnswer(false);
    QStringList typed{QStringLiteral("guess"), QStringLiteral("pw")};
    std::function<void()> answerPrompt = [&] {
        TPas& pas = app->pas();
        if (pas.isVisible() && !typed.isEmpty()) {
            EXPECT_EQ(pas.windowTitle(), cp1251::toUnicode(formatMessage(msg().msg(5), {"five"})));
            pas.Edit1->setText(typed.takeFirst());
            pas.accept();
        }
        if (!typed.isEmpty())
            QTimer::singleShot(10, answerPrompt);
    };
    QTimer::singleShot(10, answerPrompt);
    app->basic().FormShow();
    EXPECT_TRUE(typed.isEmpty());
    EXPECT_FALSE(app->basic().resumedRun());
    EXPECT_FALSE(QFile::exists(JournalStore(JournalStore::defaultFolder()).path()));
    EXPECT_EQ(asideFiles().size(), 1u) << "discarded, yet kept for the supervisor";

    // A cancelled prompt never discards: the run comes back.
    runPartWay();
    newApp();
    Dialogs::queueAnswer(false);
    Dialogs::queueAnswer(true);
    QTimer::singleShot(10, [&] { app->pas().reject(); });
    app->basic().FormShow();
    EXPECT_TRUE(app->basic().resumedRun());
}

} // namespace
} // namespace kvz
