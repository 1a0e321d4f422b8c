// Whole roads of a profile started from the command line: a local profile through the choice
// window, the test and the results to the end of the program, and a network profile against
// kvizor-server over loopback.

#include "ProfileFixture.h"
#include "net/ServerProcess.h"
#include "support/TestPaths.h"

#include "choice/TInform.h"
#include "l10n/MessageTable.h"
#include "net/TClient.h"
#include "net/TSelectTest.h"
#include "profile/Profile.h"
#include "profile/ProfileRunner.h"
#include "results/ResultReader.h"
#include "results/TResultats.h"
#include "run/TMessage1.h"
#include "run/TTopros.h"
#include "shell/TBasic.h"
#include "support/PromptAnswerer.h"
#include "support/PupilWindow.h"
#include "windows/TPas.h"
#include "windows/TProgres.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QToolBar>

namespace kvz::testing {
namespace {

const QString kAlgebra = QStringLiteral("Алгебра 7 класс");
const QString kPhysics = QStringLiteral("Физика 9 класс"); // locked with "физика"

class ProfileRoadTest : public ProfileFixture {
protected:
    // The profile's after-test steps leave traces in the temporary folder.
    Profile profileWithTraces() {
        Profile p;
        p.classGroup = cp(QStringLiteral("7А"));
        p.examineeName = cp(QStringLiteral("Петрова Анна"));
        p.exitAfterTest = true;
        p.textResultFile = cp(log());
        p.commandAfterTest = cp(QStringLiteral("touch ") + trace(QStringLiteral("after")));
        p.commandAtExit = cp(QStringLiteral("touch ") + trace(QStringLiteral("exit")));
        return p;
    }
    QString log() const { return temp.filePath(QStringLiteral("log.txt")); }
    QString trace(const QString& name) const { return temp.filePath(name); }
    // Starts the program as the command line would, up to the point where the event loop runs.
    void startWith(const Profile& p, const std::function<void()>& beforeShow = {}) {
        const QString path = prog() + QStringLiteral("/profile.pte");
        ASSERT_TRUE(writeProfile(path, p));
        app = std::make_unique<KvizorApp>(QStringList{path}, prog());
        app->createWindows();
        if (beforeShow)
            beforeShow();
        app->basic().FormShow();
    }
    // From the examinee window (confirmed by the profile's names) through one answer to the
    // finish; returns once the results window has done its after-test steps.
    void answerOneAndFinish() {
        TInform& inform = app->inform();
        if (inform.isVisible() && inform.onSecondPage())
            inform.Button4->click();
        TTopros& run = app->topros();
        ASSERT_TRUE(waitUntil([&] { return run.isVisible(); })) << "the run did not start";
        QTest::sendKeyEvent(QTest::Click, &run, Qt::Key_1, QStringLiteral("1"), Qt::NoModifier);
        QTest::mouseClick(run.ToolBar1->widgetForAction(run.N4), Qt::LeftButton);
        ASSERT_TRUE(app->message1().isVisible());
        app->message1().Button2->click();
        QCoreApplication::processEvents();
    }
    void expectProfileStepsDone(const QString& test) {
        EXPECT_TRUE(app->resultats().isVisible());
        EXPECT_FALSE(app->resultats().Panel1->isVisible()) << "Exit: the results show no panel";
        QFile f(log());
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << "the text log was not written";
        const QString text = cp1251::toUnicode(f.readAll().toStdString());
        EXPECT_TRUE(text.contains(QStringLiteral("Петрова Анна"))) << text.toStdString();
        EXPECT_TRUE(text.contains(test)) << text.toStdString();
        EXPECT_TRUE(waitUntil([&] { return QFile::exists(trace(QStringLiteral("after"))); }));
        // Exit after the test: the main window was closed at once, without a question, through
        // the exit path (its command ran, no settings were written).
        EXPECT_TRUE(waitUntil([&] { return QFile::exists(trace(QStringLiteral("exit"))); }));
        // (The client window keeps the server's address there when it connects; the exit path
        // writes neither the results folder nor the language.)
        QFile settings(prog() + QStringLiteral("/Settings.ini"));
        if (settings.open(QIODevice::ReadOnly)) {
            const QByteArray saved = settings.readAll();
            EXPECT_FALSE(saved.contains("ResPatch")) << saved.toStdString();
            EXPECT_FALSE(saved.contains("Language")) << saved.toStdString();
        }
        for (const auto& d : Dialogs::shown())
            EXPECT_NE(d.kind, DialogKind::Error) << d.text.toStdString();
    }
    static ResultRecord onlyResultIn(const QString& folder) {
        const QStringList files = QDir(folder).entryList({QStringLiteral("*.rst")}, QDir::Files);
        EXPECT_EQ(files.size(), 1) << folder.toStdString();
        if (files.isEmpty())
            return {};
        QFile f(folder + QLatin1Char('/') + files[0]);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        const ResultReadResult read = readResultArchive(f.readAll());
        EXPECT_TRUE(read.record) << read.error.toStdString();
        return read.record ? *read.record : ResultRecord{};
    }
};

TEST_F(ProfileRoadTest, LocalProfileFromTheCommandLineToTheResultAndOut) {
    copySample(kAlgebra + QStringLiteral(".tst"));
    copySample(kPhysics + QStringLiteral(".tst"));
    Profile p = profileWithTraces();
    p.testName = "*"; // two matches: the examinee chooses
    p.testClass = std::string(kAnyMarker);
    p.subject = std::string(kAnyMarker);
    p.select = 1;
    p.result = cp(QStringLiteral("\\Results\\7А"));

    // The choice window is modal: the examinee picks the algebra test in it.
    QStringList offered;
    QTimer::singleShot(0, [&] {
        TSelectTest& select = app->selectTest();
        ASSERT_TRUE(select.isVisible());
        for (int i = 0; i < select.ListBox1->count(); ++i)
            offered << select.ListBox1->item(i)->text();
        select.ListBox1->setCurrentRow(int(offered.indexOf(kAlgebra)));
        select.Button1->click();
    });
    startWith(p);
    offered.sort();
    EXPECT_EQ(offered, (QStringList{kAlgebra, kPhysics}));
    ASSERT_FALSE(app->endRequested().has_value());
    EXPECT_EQ(app->runState().testName, cp(kAlgebra));
    EXPECT_FALSE(app->basic().isVisible());

    answerOneAndFinish();
    const ResultRecord r = onlyResultIn(prog() + QStringLiteral("/Results/7А"));
    EXPECT_EQ(r.facts.examineeName, cp(QStringLiteral("Петрова Анна")));
    EXPECT_EQ(r.facts.testName, cp(kAlgebra));
    expectProfileStepsDone(kAlgebra);
}

TEST_F(ProfileRoadTest, LocalChoiceWindowClosedEndsTheProgram) {
    copySample(kAlgebra + QStringLiteral(".tst"));
    copySample(kPhysics + QStringLiteral(".tst"));
    Profile p;
    p.testName = "*";
    p.select = 1;
    QTimer::singleShot(0, [&] { app->selectTest().close(); });
    startWith(p);
    EXPECT_EQ(app->endRequested(), std::optional<int>(1));
    EXPECT_FALSE(app->inform().isVisible());
}

TEST_F(ProfileRoadTest, NetworkProfileTakesItsTestFromTheServer) {
    ServerProcess server;
    // Two tests on offer; the profile asks for the physics one by a pattern and its subject.
    QDir().mkpath(server.dir.filePath(QStringLiteral("tests")));
    copySample(kAlgebra + QStringLiteral(".tst"), server.dir.filePath(QStringLiteral("tests")));
    ASSERT_TRUE(server.start(kPhysics + QStringLiteral(".tst")));
    Profile p = profileWithTraces();
    p.type = "net";
    p.host = "127.0.0.1";
    p.port = std::to_string(server.port);
    p.testName = cp(QStringLiteral("физ*"));
    p.testClass = std::string(kAnyMarker);
    p.subject = cp(QStringLiteral("Физика"));
    // The server gives no password; the profile's opens the test without asking the pupil.
    p.password = cp(QStringLiteral("физика"));
    std::optional<PromptAnswerer> prompt; // cancels a prompt, so that asking fails the test
    startWith(
        p, [&] { prompt.emplace(app->pas(), std::deque<std::optional<QString>>{std::nullopt}); });
    ASSERT_FALSE(app->endRequested().has_value());
    TClient& client = app->client();
    EXPECT_TRUE(client.isVisible());
    EXPECT_FALSE(client.isEnabled()) << "the pupil does not touch the client window";

    ASSERT_TRUE(server.waitFor(QStringLiteral("request 1 ") + kPhysics + QStringLiteral(".tst")));
    ASSERT_TRUE(waitUntil([&] {
        return prompt->prompts > 0 || app->inform().isVisible() || app->topros().isVisible();
    }));
    ASSERT_FALSE(prompt->prompts > 0) << "the pupil was asked for the password";
    EXPECT_FALSE(client.isVisible());
    EXPECT_EQ(app->runState().testName, cp(kPhysics));
    answerOneAndFinish();
    ASSERT_TRUE(server.waitFor(QStringLiteral("result 1 ")));
    const ResultRecord r = onlyResultIn(prog() + QStringLiteral("/Results"));
    EXPECT_EQ(r.facts.testName, cp(kPhysics));
    EXPECT_EQ(r.facts.group, cp(QStringLiteral("7А")));
    expectProfileStepsDone(kPhysics);
}

TEST_F(ProfileRoadTest, NetworkProfileThatGetsNoTestEndsTheProgram) {
    ServerProcess server;
    ASSERT_TRUE(server.start(kPhysics + QStringLiteral(".tst")));
    const struct {
        const char* name;
        std::string port;
        std::string testName;
    } cases[] = {
        {"no offered test matches", std::to_string(server.port), "Химия*"},
        {"no server answers: the give-up time", "1", "*"},
    };
    for (const auto& c : cases) {
        Profile p;
        p.type = "net";
        p.host = "127.0.0.1";
        p.port = c.port;
        p.testName = c.testName;
        p.testClass = std::string(kAnyMarker);
        p.subject = std::string(kAnyMarker);
        // The give-up time is the client window's to keep; here it is short.
        startWith(p, [this] { app->client().Timer2->setInterval(300); });
        EXPECT_TRUE(waitUntil([&] { return app->endRequested().has_value(); })) << c.name;
        EXPECT_FALSE(app->inform().isVisible()) << c.name;
        app.reset();
    }
}

// One offered test matches and the profile lets the pupil choose: it is asked for at once. When
// it does not load (the password prompt left), the choice window comes back with the keyboard,
// so the pupil may try again or leave; nothing is left hidden behind an empty screen.
TEST_F(ProfileRoadTest, NetworkProfileWhoseOnlyTestDidNotLoadOffersItAgain) {
    ServerProcess server;
    ASSERT_TRUE(server.start(kPhysics + QStringLiteral(".tst")));
    Profile p;
    p.type = "net";
    p.host = "127.0.0.1";
    p.port = std::to_string(server.port);
    p.testName = "*";
    p.testClass = std::string(kAnyMarker);
    p.subject = std::string(kAnyMarker);
    p.select = 1;
    p.classGroup = cp(QStringLiteral("9Б"));
    p.examineeName = cp(QStringLiteral("Орлов Пётр"));
    std::optional<PromptAnswerer> prompt;
    startWith(p, [&] {
        prompt.emplace(app->pas(),
                       std::deque<std::optional<QString>>{std::nullopt, QStringLiteral("физика")});
    });
    ASSERT_TRUE(waitUntil([&] { return prompt->prompts == 1; }));
    TSelectTest& select = app->selectTest();
    ASSERT_TRUE(pupilHasAWindow(&select));
    EXPECT_EQ(select.ListBox1->count(), 1);
    EXPECT_FALSE(app->client().isVisible());
    EXPECT_FALSE(app->endRequested().has_value());

    // OK asks again; this time the password opens the test.
    select.Button1->click();
    ASSERT_TRUE(waitUntil([&] { return app->inform().isVisible() || app->topros().isVisible(); }))
        << "the test did not load";
    EXPECT_EQ(prompt->prompts, 2);
    EXPECT_FALSE(app->endRequested().has_value());
}

// The server sets the test: the pupil waits for the supervisor's permission as long as it
// takes, told so, instead of the program ending after ten seconds; once allowed, the test
// comes and its result goes to the profile's results folder, not the client window's.
TEST_F(ProfileRoadTest, SetTestWaitsForThePermissionAndKeepsTheProfilesResultsFolder) {
    ServerProcess server;
    server.offerChoice = false;
    ASSERT_TRUE(server.start(kPhysics + QStringLiteral(".tst")));
    server.command(QStringLiteral("set ") + kPhysics + QStringLiteral(".tst"));
    ASSERT_TRUE(server.waitFor(QStringLiteral("mode set")));
    Profile p;
    p.type = "net";
    p.host = "127.0.0.1";
    p.port = std::to_string(server.port);
    p.classGroup = cp(QStringLiteral("9Б"));
    p.examineeName = cp(QStringLiteral("Орлов Пётр"));
    p.result = cp(QStringLiteral("\\Results\\9Б"));
    // The give-up time is the client window's to keep; here it is short.
    startWith(p, [this] { app->client().Timer2->setInterval(1500); });
    TClient& client = app->client();
    ASSERT_TRUE(waitUntil([&] { return client.waitingForPermission(); }, 8000));
    QTest::qWait(500);
    EXPECT_FALSE(app->endRequested().has_value());
    TProgres& wait = app->progres();
    EXPECT_TRUE(pupilHasAWindow(&wait));
    EXPECT_EQ(wait.Panel1->text(), app->messages().text(96));

    server.command(QStringLiteral("allow all физика"));
    ASSERT_TRUE(waitUntil([&] { return app->inform().isVisible() || app->topros().isVisible(); }))
        << "the test did not load";
    EXPECT_FALSE(client.waitingForPermission());
    EXPECT_FALSE(wait.isVisible());
    EXPECT_EQ(app->runState().resultsFolder, prog() + QStringLiteral("/Results/9Б"));
    answerOneAndFinish();
    const ResultRecord r = onlyResultIn(prog() + QStringLiteral("/Results/9Б"));
    EXPECT_EQ(r.facts.testName, cp(kPhysics));
    EXPECT_TRUE(pupilHasAWindow(&app->resultats()));
}

// The server goes away before the test has come, and comes back: the profile's run keeps trying
// to connect (nobody else can: the client window is not the pupil's to use), chooses again from
// the list the server then offers, and the pupil gets the test.
TEST_F(ProfileRoadTest, NetworkProfileReconnectsUntilItGetsItsTest) {
    const struct {
        const char* name;
        bool setByServer; // the server set the test and the pupil waits for permission
    } cases[] = {
        {"the set test waits for the permission", true},
        {"the chosen test was asked for and refused", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto first = std::make_unique<ServerProcess>();
        first->offerChoice = !c.setByServer;
        ASSERT_TRUE(first->stage(kPhysics + QStringLiteral(".tst")));
        ASSERT_TRUE(first->launch());
        const quint16 port = first->port;
        if (c.setByServer) {
            first->command(QStringLiteral("set ") + kPhysics + QStringLiteral(".tst"));
            ASSERT_TRUE(first->waitFor(QStringLiteral("mode set")));
        } else {
            // Offered, but gone from the folder when asked for: the request is refused.
            ASSERT_TRUE(QFile::remove(first->servedPath(kPhysics + QStringLiteral(".tst"))));
        }
        Profile p;
        p.type = "net";
        p.host = "127.0.0.1";
        p.port = std::to_string(port);
        p.testName = "*";
        p.testClass = std::string(kAnyMarker);
        p.subject = std::string(kAnyMarker);
        p.password = cp(QStringLiteral("физика"));
        startWith(p, [this] {
            app->client().Timer2->setInterval(1000);
            app->client().Timer3->setInterval(300);
        });
        TClient& client = app->client();
        if (c.setByServer)
            ASSERT_TRUE(waitUntil([&] { return client.waitingForPermission(); }, 8000));
        else
            ASSERT_TRUE(first->waitFor(QStringLiteral("refused 1")));
        QTest::qWait(1200); // past the give-up time
        ASSERT_FALSE(app->endRequested().has_value());

        first.reset(); // the server goes away
        ASSERT_TRUE(waitUntil([&] { return !client.connectedToServer(); }));
        QTest::qWait(700); // a retry or two finds nobody
        ServerProcess second;
        ASSERT_TRUE(second.start(kPhysics + QStringLiteral(".tst"), port));
        ASSERT_TRUE(waitUntil([&] { return app->inform().isVisible(); }, 15000))
            << "the test did not come after the server came back";
        EXPECT_FALSE(app->endRequested().has_value());
        EXPECT_EQ(app->runState().testName, cp(kPhysics));
        EXPECT_TRUE(pupilHasAWindow(&app->inform()));
        app.reset();
    }
}

} // namespace
} // namespace kvz::testing
