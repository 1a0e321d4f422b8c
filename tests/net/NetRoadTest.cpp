// Network roads against kvizor-server running as its own process on 127.0.0.1: connecting,
// the list, permission with a password, the download, loading, the start, a pause, a message,
// the result archive, and a server that vanishes in the middle of the test.

#include "choice/ChoiceFixture.h"
#include "choice/TInform.h"
#include "net/ServerProcess.h"
#include "net/SimulatedWorkstation.h"
#include "net/TBlokator.h"
#include "net/TClient.h"
#include "net/TMessager.h"
#include "results/ResultPassword.h"
#include "run/TTopros.h"
#include "support/TestPaths.h"
#include "test/ZipMemory.h"
#include "windows/TProgres.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>

namespace kvz::testing {
namespace {

const QString kTest = QStringLiteral("Физика 9 класс");

class NetRoad : public ChoiceFixture {
protected:
    void SetUp() override {
        ChoiceFixture::SetUp();
        writeFile(QStringLiteral("Settings.ini"), "[Type]\r\nStudent=0\r\n");
        start();
        client = &app->client();
        // The message window is answered as it appears, and what it said is kept.
        QObject::connect(&answerer, &QTimer::timeout, [this] {
            TMessager& m = app->messager();
            if (m.isVisible()) {
                told << m.Memo1->toPlainText();
                clockDuringMessage << app->topros().Timer1.isActive();
                m.Button1->click();
            }
        });
        answerer.start(20);
    }

    // From the client window to the running test: connect, list, allow with the password,
    // choose, download, load, the examinee's data, start.
    void toTheRunningTest(ServerProcess& server) {
        client->show();
        client->Host1->setText(QStringLiteral("127.0.0.1"));
        client->Port1->setText(QString::number(server.port));
        client->CheckBox1->setChecked(true);
        ASSERT_TRUE(server.waitFor(QStringLiteral("fresh 1 ")));
        ASSERT_TRUE(waitUntil([&] { return client->Files->count() == 1; }));
        EXPECT_EQ(client->Files->item(0)->text(), kTest + QStringLiteral(" <9, Физика>"));

        server.command(QStringLiteral("allow 1 физика"));
        ASSERT_TRUE(waitUntil(
            [&] { return client->protocol().testPassword() == cp(QStringLiteral("физика")); }));
        client->Files->setCurrentRow(0);
        client->Button4->click();
        TInform& inform = app->inform();
        ASSERT_TRUE(waitUntil([&] { return inform.isVisible(); })) << "the test did not load";
        ASSERT_TRUE(server.waitFor(QStringLiteral("free 1")));
        EXPECT_FALSE(client->isVisible());
        EXPECT_FALSE(app->progres().isVisible());
        EXPECT_EQ(inform.Label2->text(), QStringLiteral("Тест: ") + kTest);
        EXPECT_EQ(inform.Label3->text(), QStringLiteral("Класс: 9 , Предмет: Физика."));
        for (const auto& r : Dialogs::shown())
            EXPECT_NE(r.kind, DialogKind::Error) << r.text.toStdString();

        typeText(inform.KlassName, QStringLiteral("9б"));
        typeText(inform.UserName, QStringLiteral("Сидоров Иван"));
        app->runState().showIntroduction = false;
        Dialogs::queueAnswer(true);
        QTest::keyClick(inform.UserName, Qt::Key_Return);
        ASSERT_TRUE(app->topros().isVisible());
        // The start time is the server's, from its last poll.
        EXPECT_EQ(app->runState().reportedStartTime, app->runState().serverStartTime);
        ASSERT_TRUE(server.waitFor(QStringLiteral("start 1")));
    }

    TClient* client = nullptr;
    QTimer answerer;
    QStringList told;
    QList<bool> clockDuringMessage;
};

TEST_F(NetRoad, FromConnectionToTheResultAtTheServer) {
    ServerProcess server;
    ASSERT_TRUE(server.start(kTest + QStringLiteral(".tst")));
    toTheRunningTest(server);
    TTopros& run = app->topros();

    // A pause costs no time: the clock stands still under the pause window.
    ASSERT_TRUE(run.Timer1.isActive());
    const std::int32_t left = run.questionSet.testTimeLeftMs;
    server.command(QStringLiteral("pause 1"));
    ASSERT_TRUE(waitUntil([&] { return app->blokator().isVisible(); }));
    EXPECT_FALSE(run.Timer1.isActive());
    EXPECT_FALSE(run.isEnabled());
    QTest::qWait(1500);
    EXPECT_EQ(run.questionSet.testTimeLeftMs, left);
    server.command(QStringLiteral("resume 1"));
    ASSERT_TRUE(waitUntil([&] { return !app->blokator().isVisible(); }));
    EXPECT_TRUE(run.Timer1.isActive());
    EXPECT_TRUE(run.isEnabled());

    // A message is shown with the clock stopped, and the clock runs again after it.
    server.command(QStringLiteral("message 1 Осталось пять минут"));
    ASSERT_TRUE(waitUntil([&] { return !told.isEmpty(); }));
    EXPECT_EQ(told.front(), QStringLiteral("Осталось пять минут"));
    EXPECT_EQ(clockDuringMessage.front(), false);
    ASSERT_TRUE(waitUntil([&] { return run.Timer1.isActive(); }));

    // The polls now carry the examinee's name.
    // (In choice mode the test is "?".)
    ASSERT_TRUE(server.waitFor(QStringLiteral("fresh 1 permitted=1 test=? name=Сидоров Иван")));

    // The result archive, written locally, arrives at the server byte for byte.
    const auto archive = writeEncryptedZip(
        {{"inform.dat", QByteArray("summary")}, {"inform160.dat", QByteArray(3000, 'd')}},
        resultPassword());
    ASSERT_TRUE(archive);
    writeFile(QStringLiteral("local.rst"), archive->toStdString());
    ASSERT_TRUE(client->SendResultFile(prog() + QStringLiteral("/local.rst")));
    ASSERT_TRUE(server.waitFor(QStringLiteral("result 1 ")));
    const QStringList stored = QDir(server.dir.filePath(QStringLiteral("results")))
                                   .entryList({QStringLiteral("*.rst")}, QDir::Files);
    ASSERT_EQ(stored.size(), 1);
    QFile f(server.dir.filePath(QStringLiteral("results/")) + stored[0]);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), *archive);
}

TEST_F(NetRoad, ServerKilledDuringTheTest) {
    ServerProcess server;
    ASSERT_TRUE(server.start(kTest + QStringLiteral(".tst")));
    toTheRunningTest(server);
    TTopros& run = app->topros();
    server.command(QStringLiteral("pause 1"));
    ASSERT_TRUE(waitUntil([&] { return app->blokator().isVisible(); }));

    server.process.kill();
    ASSERT_TRUE(waitUntil([&] { return !told.isEmpty(); }));
    EXPECT_EQ(told.front(), app->messages().text(29));
    ASSERT_TRUE(waitUntil([&] { return !app->blokator().isVisible(); }));
    // The test goes on locally: the pause is lifted and the clock runs.
    EXPECT_TRUE(run.isVisible());
    EXPECT_TRUE(run.isEnabled());
    EXPECT_TRUE(run.Timer1.isActive());
    EXPECT_FALSE(client->connectedToServer());
    EXPECT_FALSE(app->runState().connectedToServer);
    EXPECT_FALSE(client->SendResultFile(prog() + QStringLiteral("/Settings.ini")));
}

} // namespace
} // namespace kvz::testing
