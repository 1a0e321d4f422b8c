// A network run cut short (the program gone in the middle of the test) comes back at the next
// start: the client connects to the saved server, asks for the same test, and the run goes on
// at the same question with the same answers and clocks, its result reaching the server. A test
// that changed on the server, or is no longer offered, sets the journal aside; a server that
// is not there yet is tried again; Back never holds the pupil.

#include "net/NetRoadFixture.h"
#include "results/TResultats.h"
#include "run/JournalKeeper.h"
#include "shell/TBasic.h"
#include "support/ManualClock.h"

#include <QGroupBox>
#include <QRadioButton>

namespace kvz::testing {
namespace {

const QString kFile = kTest + QStringLiteral(".tst");

class NetResume : public NetRoad {
protected:
    // The pupil answers the first question, goes on to the second and answers it too, some
    // clock gone; then the program is gone without finishing. The clock is ticked by hand.
    void runPartWay(ServerProcess& server) {
        Dialogs::clearShown();
        app.reset();
        start();
        client = &app->client();
        toTheRunningTest(server);
        TTopros& run = app->topros();
        run.Timer1.stop();
        for (int t = 0; t < 4; ++t)
            clock_.tick(run);
        answerHere();
        run.Next1Click();
        clock_.tick(run);
        answerHere();
        savedItem = run.currentItem();
        saved = run.questionSet;
        savedName = app->inform().UserName->text();
        savedClass = app->inform().KlassName->text();
        app.reset(); // as after a power cut: the journal stays
        client = nullptr;
        ASSERT_TRUE(store().read().exists);
    }

    // Whatever the question on screen asks, one answer to it.
    void answerHere() {
        TTopros& run = app->topros();
        for (QRadioButton* b : run.Otvetbool1x)
            if (b->isVisible()) {
                QTest::mouseClick(b, Qt::LeftButton);
                return;
            }
        for (QCheckBox* b : run.Otvetbool)
            if (b->isVisible()) {
                QTest::mouseClick(b, Qt::LeftButton);
                return;
            }
        ASSERT_TRUE(run.otvetstr->isVisible());
        typeText(run.otvetstr, QStringLiteral("20"));
    }

    // The program starts again (the settings name another server: the journal's is used) and
    // the pupil answers "continue" to the question of the waiting run.
    void restart() {
        writeFile(QStringLiteral("Settings.ini"),
                  "[Type]\r\nStudent=0\r\n[NET]\r\nHost=10.255.255.1\r\nPort=1\r\n");
        app.reset();
        app = std::make_unique<KvizorApp>(QStringList{}, prog());
        app->createWindows();
        client = &app->client();
        Dialogs::clearShown();
        Dialogs::queueAnswer(true);
        app->basic().FormShow();
    }

    // The run on screen is the saved one: same order, answers and names; the clocks as saved,
    // less at most the one tick that may have passed since they started again.
    void expectTheSavedRun() {
        TTopros& run = app->topros();
        EXPECT_EQ(run.currentItem(), savedItem);
        const QuestionSet& now = run.questionSet;
        ASSERT_EQ(now.size(), saved.size());
        for (std::size_t k = 0; k < saved.questions.size(); ++k) {
            SCOPED_TRACE(k);
            EXPECT_EQ(now.questions[k].sourceNo, saved.questions[k].sourceNo);
            EXPECT_EQ(now.answers[k].chosen, saved.answers[k].chosen);
            EXPECT_EQ(now.answers[k].text, saved.answers[k].text);
            EXPECT_EQ(now.answers[k].touched, saved.answers[k].touched);
            const std::int32_t lost = saved.questions[k].timeLeftMs - now.questions[k].timeLeftMs;
            EXPECT_GE(lost, 0);
            EXPECT_LE(lost, int(k) == savedItem ? 1000 : 0);
        }
        EXPECT_GE(saved.testTimeLeftMs - now.testTimeLeftMs, 0);
        EXPECT_LE(saved.testTimeLeftMs - now.testTimeLeftMs, 1000);
        EXPECT_EQ(app->inform().UserName->text(), savedName);
        EXPECT_EQ(app->inform().KlassName->text(), savedClass);
    }

    bool asked() const {
        const QString question = cp1251::toUnicode(formatMessage(
            app->messages().msg(68), {cp(kTest), cp(QStringLiteral("Сидоров Иван"))}));
        for (const auto& r : Dialogs::shown())
            if (r.kind == DialogKind::Confirmation && r.text == question)
                return true;
        return false;
    }

    static JournalStore store() { return JournalStore(JournalStore::defaultFolder()); }
    static QStringList asideFiles() {
        return QDir(JournalStore::defaultFolder())
            .entryList({QStringLiteral("*.aside")}, QDir::Files);
    }
    int connectAttempts() const {
        return int(client->Memo1->toPlainText().count(app->messages().text(31)));
    }

    ManualClock clock_;
    int savedItem = -1;
    QuestionSet saved;
    QString savedName;
    QString savedClass;
};

TEST_F(NetResume, TheRunComesBackFromTheServerAndItsResultArrives) {
    ServerProcess server;
    ASSERT_TRUE(server.start(kFile));
    runPartWay(server);
    ASSERT_TRUE(server.waitFor(QStringLiteral("disconnected 1")));

    restart();
    EXPECT_TRUE(asked());
    ASSERT_TRUE(app->basic().resumedRun());
    EXPECT_FALSE(app->basic().isVisible());
    EXPECT_TRUE(client->isVisible()) << "the pupil sees the connection being made";
    EXPECT_EQ(client->Host1->text(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(client->Port1->text(), QString::number(server.port));
    EXPECT_FALSE(client->Button4->isEnabled()) << "no other test meanwhile";

    ASSERT_TRUE(server.waitFor(QStringLiteral("host 2 ")));
    server.command(QStringLiteral("allow 2"));
    TTopros& run = app->topros();
    bool informShown = false;
    ASSERT_TRUE(waitUntil([&] {
        informShown |= app->inform().isVisible();
        return run.isVisible();
    }));
    expectTheSavedRun();
    EXPECT_FALSE(informShown) << "the examinee window is not shown again";
    EXPECT_FALSE(client->isVisible());
    // Said on a line that holds nothing up; the clock runs.
    EXPECT_FALSE(shownText(app->messages().text(69)));
    EXPECT_TRUE(run.NoticeLine->isVisible());
    EXPECT_EQ(run.NoticeLine->text(), app->messages().text(69));
    EXPECT_TRUE(run.Timer1.isActive());
    EXPECT_TRUE(server.has(QStringLiteral("request 2 ") + kFile));
    // The supervisor sees the test begun again, and who takes it.
    ASSERT_TRUE(server.waitFor(QStringLiteral("start 2")));
    ASSERT_TRUE(server.waitFor(QStringLiteral("fresh 2 permitted=1 test=? name=Сидоров Иван")));
    EXPECT_TRUE(asideFiles().isEmpty());

    // It is finished as any network run: the result reaches the server, the journal goes.
    run.Timer1.stop();
    run.FinishTest();
    ASSERT_TRUE(app->resultats().isVisible());
    ASSERT_TRUE(server.waitFor(QStringLiteral("result 2 ")));
    EXPECT_FALSE(server.has(QStringLiteral("result-refused")));
    ASSERT_TRUE(waitUntil([] { return !store().read().exists; }));
}

TEST_F(NetResume, ARunThatHadEndedGoesToTheResultsIsStoredOnceAndSent) {
    ServerProcess server;
    ASSERT_TRUE(server.start(kFile));
    runPartWay(server);
    // It ended just before the program stopped, its result maybe stored, maybe not: the same
    // journal found twice.
    RunJournal ended = store().read().journal.value();
    ended.finished = true;
    ended.finishTime = 46100.5;
    const QByteArray bytes = encodeJournal(ended, store().key(false).value());
    for (int start = 0; start < 2; ++start) {
        SCOPED_TRACE(start);
        ASSERT_TRUE(store().write(bytes));
        restart();
        ASSERT_TRUE(app->basic().resumedRun());
        const QString workstation = QString::number(start + 2);
        ASSERT_TRUE(server.waitFor(QStringLiteral("host ") + workstation));
        ASSERT_TRUE(waitUntil([&] { return app->resultats().isVisible(); }));
        EXPECT_FALSE(app->topros().isVisible());
        EXPECT_FALSE(client->isVisible());
        EXPECT_EQ(app->runState().finishTime, 46100.5);
        ASSERT_TRUE(server.waitFor(QStringLiteral("result ") + workstation + QLatin1Char(' ')));
        // Where this start puts results, not where the journal's start did.
        EXPECT_EQ(QDir(app->runState().resultsFolder)
                      .entryList({QStringLiteral("*.rst")}, QDir::Files)
                      .size(),
                  1);
        ASSERT_TRUE(waitUntil([] { return !store().read().exists; }));
    }
    EXPECT_FALSE(server.has(QStringLiteral("result-refused")));
}

TEST_F(NetResume, AChangedOrVanishedTestSetsTheJournalAsideAndLeavesTheClientWindow) {
    struct Case {
        const char* what;
        QString servedAs; // the name the second server offers the test under
        bool changeBytes;
    };
    const Case cases[] = {
        {"the same size, other bytes", kFile, true},
        {"no longer offered", QStringLiteral("Физика 10 класс.tst"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QStringList asideBefore = asideFiles();
        quint16 port = 0;
        {
            ServerProcess first;
            ASSERT_TRUE(first.start(kFile));
            port = first.port;
            runPartWay(first);
        }
        ServerProcess second;
        ASSERT_TRUE(second.stage(kFile, c.servedAs));
        if (c.changeBytes) {
            // The supervisor edited the test's description: one letter of it, nothing else.
            QFile f(second.servedPath(c.servedAs));
            ASSERT_TRUE(f.open(QIODevice::ReadWrite));
            QByteArray bytes = f.readAll();
            const QByteArray word = QByteArray::fromStdString(cp(QStringLiteral("Законы")));
            const qsizetype at = bytes.lastIndexOf(word);
            ASSERT_GE(at, 0);
            bytes[at] = cp(QStringLiteral("з"))[0];
            f.seek(0);
            f.write(bytes);
        }
        ASSERT_TRUE(second.launch(port));

        restart();
        ASSERT_TRUE(waitUntil([&] { return asideFiles().size() == asideBefore.size() + 1; }));
        EXPECT_FALSE(store().read().exists);
        QString aside;
        for (const QString& name : asideFiles())
            if (!asideBefore.contains(name))
                aside = name;
        bool told = false;
        for (const auto& r : Dialogs::shown())
            told |= r.kind == DialogKind::Error && r.text.contains(aside);
        EXPECT_TRUE(told) << "the supervisor is told where the journal is kept";
        EXPECT_EQ(second.has(QStringLiteral("request 1")), c.changeBytes);

        // The pupil is at the ordinary client window and may take a test.
        EXPECT_FALSE(app->topros().isVisible());
        EXPECT_FALSE(app->topros().pendingResume());
        EXPECT_TRUE(client->isVisible());
        EXPECT_TRUE(client->isEnabled());
        EXPECT_TRUE(client->Files->isEnabled());
        ASSERT_EQ(client->Files->count(), 1);
        second.command(QStringLiteral("allow 1 физика"));
        ASSERT_TRUE(waitUntil(
            [&] { return client->protocol().testPassword() == cp(QStringLiteral("физика")); }));
        client->Files->setCurrentRow(0);
        ASSERT_TRUE(client->Button4->isEnabled());
        client->Button4->click();
        ASSERT_TRUE(waitUntil([&] { return app->inform().isVisible(); }));
    }
}

TEST_F(NetResume, WhenTheServerSetsTheTestItMustBeTheSavedOne) {
    struct Case {
        const char* what;
        QString set;
        bool resumes;
    };
    const QString other = QStringLiteral("Алгебра 7 класс.tst");
    const Case cases[] = {{"the saved test", kFile, true}, {"another test", other, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ServerProcess server;
        ASSERT_TRUE(server.start(kFile));
        runPartWay(server);
        // Another test joins the folder; the supervisor sets one for every workstation.
        ASSERT_TRUE(server.stage(other));
        server.command(QStringLiteral("rescan"));
        server.command(QStringLiteral("set ") + c.set);
        ASSERT_TRUE(server.waitFor(QStringLiteral("mode set")));

        const qsizetype asideBefore = asideFiles().size();
        restart();
        ASSERT_TRUE(server.waitFor(QStringLiteral("host 2")));
        if (c.resumes) {
            // Asked for once the server allows it.
            ASSERT_TRUE(server.waitFor(QStringLiteral("fresh 2 permitted=0")));
            EXPECT_FALSE(server.has(QStringLiteral("request 2")));
            server.command(QStringLiteral("allow 2"));
            ASSERT_TRUE(waitUntil([&] { return app->topros().isVisible(); }));
            expectTheSavedRun();
            EXPECT_EQ(asideFiles().size(), asideBefore);
        } else {
            ASSERT_TRUE(waitUntil([&] { return asideFiles().size() == asideBefore + 1; }));
            EXPECT_FALSE(app->topros().pendingResume());
            EXPECT_TRUE(client->isVisible());
            EXPECT_TRUE(client->GroupBox1->isEnabled());
        }
        EXPECT_EQ(server.has(QStringLiteral("request 2")), c.resumes);
    }
}

TEST_F(NetResume, AServerThatComesUpLaterStillResumesAndBackNeverHoldsThePupil) {
    quint16 port = 0;
    {
        ServerProcess first;
        ASSERT_TRUE(first.start(kFile));
        port = first.port;
        runPartWay(first);
    }
    restart();
    ASSERT_TRUE(app->basic().resumedRun());
    ASSERT_TRUE(client->isVisible());
    // Nobody answers: the client tries again every few seconds.
    ASSERT_TRUE(waitUntil([&] { return connectAttempts() >= 2; }, 15000));
    EXPECT_FALSE(app->topros().isVisible());

    // Back leads to the main window; the run waits, and nothing more is tried.
    client->Button3->click();
    EXPECT_FALSE(client->isVisible());
    EXPECT_TRUE(app->basic().isVisible());
    EXPECT_FALSE(client->Timer3->isActive());
    EXPECT_FALSE(app->topros().pendingResume());
    EXPECT_TRUE(store().read().exists);
    EXPECT_TRUE(asideFiles().isEmpty());

    // Another test begun from the main window asks about the waiting run first.
    Dialogs::clearShown();
    Dialogs::queueAnswer(true);
    app->basic().Button4->click();
    EXPECT_TRUE(asked());
    EXPECT_FALSE(app->basic().isVisible());
    ASSERT_TRUE(client->isVisible());
    ASSERT_TRUE(app->topros().pendingResume());
    EXPECT_FALSE(client->Button4->isEnabled());

    // The server comes up at last.
    ServerProcess second;
    ASSERT_TRUE(second.start(kFile, port));
    ASSERT_TRUE(waitUntil([&] { return app->topros().isVisible(); }));
    expectTheSavedRun();
    ASSERT_TRUE(second.waitFor(QStringLiteral("start 1")));
    EXPECT_TRUE(asideFiles().isEmpty());
}

} // namespace
} // namespace kvz::testing
