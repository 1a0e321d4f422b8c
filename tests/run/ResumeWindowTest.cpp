// Bringing back a run the program did not finish: the run window opens at the saved question
// with the saved answers, clocks and names after a confirmation; a changed test sets the
// journal aside and tells the supervisor; only the test's password discards it.

#include "app/KvizorApp.h"
#include "choice/TInform.h"
#include "l10n/Cp1251.h"
#include "l10n/MessageTable.h"
#include "platform/Dialogs.h"
#include "platform/Lockdown.h"
#include "platform/docview/PieceWriter.h"
#include "results/TResultats.h"
#include "run/JournalKeeper.h"
#include "run/TTopros.h"
#include "shell/TBasic.h"
#include "support/ManualClock.h"
#include "test/TestArchive.h"
#include "windows/TPas.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

namespace kvz {
namespace {

QByteArray page(QColor colour) {
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(colour);
    return docview::pieceFromImage(image, QStringLiteral("page")).piece;
}

struct TestOptions {
    std::string password = "pw";
    // Off: the test sets neither its order nor its test time, and runs under what the test
    // before it left.
    bool statesRules = true;
    bool lockdownOff = true; // the offscreen platform cannot lock anyway
};

// Three single-choice questions and two typed ones, free order, a minute a question.
QByteArray fiveQuestions(const TestOptions& o = {}) {
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
    a.settings.lockdownOff = o.lockdownOff;
    a.settings.questionTime = 60.0 / 86400;
    a.settings.testTime = 600.0 / 86400;
    if (!o.statesRules) {
        a.settings.fixedOrder.reset();
        a.settings.testTime.reset();
    }
    return writeTestArchive(a, o.password, CatalogueInfo{}).value();
}

class ResumeWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(program.isValid());
        QDir().mkpath(base());
        writeTest({});
        Dialogs::startAnswering();
        Dialogs::clearShown();
    }
    void TearDown() override {
        Dialogs::stopAnswering();
        app.reset();
        liftLockdown(RunState{}); // the lock outlives the windows of a test
    }
    void writeTest(const TestOptions& o) {
        options = o;
        QFile f(testPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(fiveQuestions(o));
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
    // gone; then the program stops without finishing. before: what the program had done
    // before this test (a test before it).
    // stop false: the program goes on with the run on screen.
    void runPartWay(const std::function<void()>& before = {}, bool stop = true) {
        newApp();
        if (before)
            before();
        app->runState().testName = "five";
        QFile file(testPath());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        app->pas().Edit1->setText(QString::fromStdString(options.password));
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
        if (stop)
            app.reset(); // gone, as after a power cut; the journal stays
    }
    std::vector<QString> asideFiles() const {
        std::vector<QString> out;
        const QDir dir(JournalStore::defaultFolder());
        for (const QString& n :
             dir.entryList({QStringLiteral("*.aside")},
                           QDir::Files | QDir::System | QDir::Dirs | QDir::NoDotAndDotDot))
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
    TestOptions options;
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
    const QByteArray bytes = encodeJournal(ended, store.key(false).value());
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

TEST_F(ResumeWindowTest, TheRunComesBackUnderTheRulesItRanUnder) {
    // The test sets no order and no test time: it ran under the fixed order and the 15 minutes
    // the test before it left, and with the lock-down.
    writeTest({.statesRules = false, .lockdownOff = false});
    runPartWay([&] {
        app->runState().fixedOrder = true;
        run().questionSet.testTime = 900.0 / 86400;
    });
    EXPECT_EQ(saved.testTimeMs, 900000);
    liftLockdown(RunState{});
    newApp();
    Dialogs::queueAnswer(true);
    app->basic().FormShow();
    ASSERT_TRUE(app->basic().resumedRun());
    TTopros& w = run();
    ASSERT_TRUE(w.isVisible());
    const RunState& rs = app->runState();
    EXPECT_TRUE(rs.fixedOrder);
    EXPECT_FALSE(rs.lockdownOff);
    EXPECT_TRUE(lockdownInForce());
    EXPECT_EQ(w.questionSet.testTimeMs, 900000);
    EXPECT_EQ(w.questionSet.testTimeLeftMs, saved.testTimeLeftMs);
    EXPECT_EQ(w.questionSet.questionTimerOn, saved.questionTimerOn);
    EXPECT_EQ(w.questionSet.calculatorAllowed, saved.calculatorAllowed);
    EXPECT_EQ(w.N5->isVisible(), saved.calculatorAllowed);
    // In a fixed order there is no way back.
    const int at = w.currentItem();
    w.Prior1Click();
    EXPECT_EQ(w.currentItem(), at);
    EXPECT_TRUE(asideFiles().empty());
}

TEST_F(ResumeWindowTest, TheResumeQuestionIsAskedUnderTheLockDownOfItsRun) {
    for (const bool lockdownOff : {false, true}) {
        SCOPED_TRACE(lockdownOff);
        writeTest({.lockdownOff = lockdownOff});
        runPartWay();
        liftLockdown(RunState{});
        ASSERT_FALSE(lockdownInForce());
        newApp();
        Dialogs::clearShown();
        Dialogs::queueAnswer(true);
        app->basic().FormShow();
        ASSERT_TRUE(app->basic().resumedRun());
        ASSERT_FALSE(Dialogs::shown().empty());
        const Dialogs::Record& question = Dialogs::shown().front();
        EXPECT_EQ(question.kind, DialogKind::Confirmation);
        EXPECT_EQ(question.underLockdown, !lockdownOff);
        app.reset();
        liftLockdown(RunState{});
        JournalStore(JournalStore::defaultFolder()).remove();
    }
}

TEST_F(ResumeWindowTest, ARunOfATestWithoutAPasswordCannotBeDiscarded) {
    writeTest({.password = ""});
    runPartWay();
    newApp();
    Dialogs::clearShown();
    Dialogs::queueAnswer(false); // "No"
    bool prompted = false;
    // Were the password prompt to open, an empty password is all a pupil would have to type.
    QTimer::singleShot(10, &app->pas(), [&] {
        if (app->pas().isVisible()) {
            prompted = true;
            app->pas().Edit1->clear();
            app->pas().accept();
        }
    });
    app->basic().FormShow();
    EXPECT_FALSE(prompted);
    EXPECT_TRUE(app->basic().resumedRun());
    EXPECT_TRUE(run().isVisible());
    EXPECT_TRUE(shown(DialogKind::Information, msg().text(74)));
    EXPECT_TRUE(asideFiles().empty());
    EXPECT_TRUE(JournalStore(JournalStore::defaultFolder()).read().journal.has_value());
}

TEST_F(ResumeWindowTest, HostileJournalsAreSetAsideAtOnceWithAMessage) {
    // Each is met at start: refused within a second, the supervisor told where it is kept, and
    // the start goes on as usual.
    const QString folder = JournalStore::defaultFolder();
    const QString journalPath = JournalStore(folder).path();
    struct Hostile {
        const char* what;
        std::function<void()> make;
    };
    const Hostile hostile[] = {
        {"signed with another key",
         [&] {
             runPartWay();
             const JournalStore store(folder);
             RunJournal j = store.read().journal.value();
             j.testTimeLeftMs = 600000; // more time for the pupil
             QByteArray other(qsizetype(kJournalKeySize), 'k');
             ASSERT_TRUE(store.write(encodeJournal(j, other)));
         }},
        {"an older journal of this user put back",
         [&] {
             runPartWay();
             QFile f(journalPath);
             ASSERT_TRUE(f.open(QIODevice::ReadOnly));
             const QByteArray older = f.readAll();
             f.close();
             runPartWay(); // the next run
             ASSERT_TRUE(JournalStore(folder).write(older));
         }},
        {"a pipe",
         [&] { ASSERT_EQ(QProcess::execute(QStringLiteral("mkfifo"), {journalPath}), 0); }},
        {"a link to a device",
         [&] { ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), journalPath)); }},
        {"a folder", [&] { ASSERT_TRUE(QDir().mkpath(journalPath + QStringLiteral("/x"))); }},
    };
    for (const Hostile& h : hostile) {
        SCOPED_TRACE(h.what);
        for (const QString& n : QDir(folder).entryList(QDir::Files | QDir::Dirs | QDir::System |
                                                       QDir::NoDotAndDotDot)) {
            if (!n.startsWith(QLatin1String("journal.")))
                QProcess::execute(QStringLiteral("rm"),
                                  {QStringLiteral("-rf"), QDir(folder).filePath(n)});
        }
        QDir().mkpath(folder);
        h.make();
        app.reset();
        for (const QString& n : asideFiles()) // kept by the runs that made the case
            QProcess::execute(QStringLiteral("rm"),
                              {QStringLiteral("-rf"), QDir(folder).filePath(n)});
        newApp();
        Dialogs::clearShown();
        QElapsedTimer took;
        took.start();
        app->basic().FormShow();
        EXPECT_LT(took.elapsed(), 1000);
        EXPECT_FALSE(app->basic().resumedRun());
        EXPECT_FALSE(run().isVisible());
        EXPECT_TRUE(app->runState().interactive) << "the start goes on as usual";
        const std::vector<QString> aside = asideFiles();
        ASSERT_EQ(aside.size(), 1u);
        bool told = false;
        for (const Dialogs::Record& r : Dialogs::shown())
            told |= r.kind == DialogKind::Error && r.text.contains(aside.front());
        EXPECT_TRUE(told) << "the message names the file the journal is kept in";
        EXPECT_FALSE(QFileInfo(journalPath).exists() || QFileInfo(journalPath).isSymLink());
    }
}

TEST_F(ResumeWindowTest, ASecondCopySaysATestIsRunningAndEnds) {
    runPartWay();
    newApp();
    Dialogs::queueAnswer(true);
    app->basic().FormShow();
    ASSERT_TRUE(app->basic().resumedRun());
    // A second copy of the program, here a keeper of its own on the same folder.
    JournalKeeper second(JournalStore(JournalStore::defaultFolder()));
    EXPECT_EQ(second.claim(), JournalLock::State::Busy);
    app.reset(); // the first copy ends

    // Now the other way round: a copy holds the folder, and this one starts.
    ASSERT_EQ(second.claim(), JournalLock::State::Held);
    newApp();
    Dialogs::clearShown();
    Dialogs::queueAnswer(true);
    app->basic().FormShow();
    EXPECT_FALSE(app->basic().resumedRun());
    EXPECT_FALSE(run().isVisible());
    EXPECT_EQ(app->endRequested(), std::optional<int>(0));
    ASSERT_EQ(Dialogs::shown().size(), 1u) << "not asked to resume the other copy's run";
    EXPECT_EQ(Dialogs::shown()[0].kind, DialogKind::Error);
    EXPECT_EQ(Dialogs::shown()[0].text, msg().text(71));
    EXPECT_TRUE(JournalStore(JournalStore::defaultFolder()).read().journal.has_value());
    EXPECT_TRUE(asideFiles().empty());
}

TEST_F(ResumeWindowTest, AResultStoredNowhereIsSaidAndTheNextStartStoresIt) {
    // Neither the results folder nor the rescue folder can be made: files stand in their way.
    const QString blocked = program.path() + QStringLiteral("/blocked");
    QFile blocker(blocked);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QByteArray oldData = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(blocked + QStringLiteral("/data")));
    runPartWay({}, false);
    app->runState().resultsFolder = blocked + QStringLiteral("/Results");
    Dialogs::clearShown();
    run().FinishTest();
    QTest::qWait(20);
    EXPECT_TRUE(app->resultats().isVisible());
    bool told = false;
    const QString said = msg().text(73).section(QLatin1Char('%'), 0, 0);
    for (const Dialogs::Record& r : Dialogs::shown())
        told |= r.kind == DialogKind::Error && r.text.startsWith(said) &&
                r.text.contains(QStringLiteral("преподавател"));
    EXPECT_TRUE(told);
    EXPECT_FALSE(shown(DialogKind::Error, msg().text(30))) << "not the bare error";
    const JournalStore store(JournalStore::defaultFolder());
    ASSERT_TRUE(store.read().journal.has_value()) << "kept for the next start";
    EXPECT_TRUE(store.read().journal->finished);
    app.reset();

    // The next start, where the results folder can be written: the result is stored once.
    qputenv("XDG_DATA_HOME", QFile::encodeName(program.path() + QStringLiteral("/data")));
    newApp();
    Dialogs::queueAnswer(true);
    app->basic().FormShow();
    qputenv("XDG_DATA_HOME", oldData);
    ASSERT_TRUE(app->basic().resumedRun());
    EXPECT_TRUE(app->resultats().isVisible());
    const QString results = program.path() + QStringLiteral("/Results");
    EXPECT_EQ(QDir(results).entryList({QStringLiteral("*.rst")}, QDir::Files).size(), 1);
}

QStringList& logged() {
    static QStringList lines;
    return lines;
}
void keepLog(QtMsgType, const QMessageLogContext&, const QString& text) {
    logged() << text;
}

TEST_F(ResumeWindowTest, AStateFolderThatCannotBeWrittenIsSaidOnceAndTheRunGoesOn) {
    // A file where the state folder should be.
    const QString folder = JournalStore::defaultFolder();
    QDir().mkpath(QFileInfo(folder).path());
    QFile blocker(folder);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    newApp();
    app->runState().testName = "five";
    QFile file(testPath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    app->pas().Edit1->setText(QStringLiteral("pw"));
    ASSERT_TRUE(run().LoadTest(file));
    app->inform().UserName->setText(QStringLiteral("Иванов Иван"));
    app->inform().KlassName->setText(QStringLiteral("9Б"));
    logged().clear();
    const QtMessageHandler before = qInstallMessageHandler(keepLog);
    app->inform().StartTest();
    TTopros& w = run();
    ASSERT_TRUE(w.isVisible());
    // A line for the pupil, not a dialog that stops the test; the reason in the log.
    EXPECT_TRUE(w.NoticeLine->isVisible());
    EXPECT_EQ(w.NoticeLine->text(), msg().text(72));
    EXPECT_TRUE(Dialogs::shown().empty());
    bool inLog = false;
    for (const QString& line : logged())
        inLog |= line.contains(QLatin1String("not kept against a crash"));
    EXPECT_TRUE(inLog) << logged().join(QLatin1Char('\n')).toStdString();
    // Said once: the run goes on, answers and moves write nothing and say nothing again.
    w.NoticeLine->hide();
    QTest::mouseClick(w.Otvetbool1x[1], Qt::LeftButton);
    for (int t = 0; t < 7; ++t)
        clock_.tick(w);
    w.Next1Click();
    qInstallMessageHandler(before);
    EXPECT_FALSE(w.NoticeLine->isVisible());
    EXPECT_EQ(w.currentItem(), 1);
    EXPECT_TRUE(w.Timer1.isActive());
    EXPECT_TRUE(QFileInfo(folder).isFile());
}

} // namespace
} // namespace kvz
