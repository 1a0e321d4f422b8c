// Network roads against kvizor-server running as its own process on 127.0.0.1: connecting,
// the list, permission with a password, the download, loading, the start, a pause, a message,
// the result archive, and a server that vanishes in the middle of the test.

#include "net/NetRoadFixture.h"
#include "net/TBlokator.h"
#include "results/ResultPassword.h"
#include "support/TestPaths.h"
#include "test/ZipMemory.h"

#include <QRegularExpression>

namespace kvz::testing {
namespace {

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

    // The result archive, written locally, arrives at the server byte for byte (the server
    // stores only a result of the test it sent).
    const auto archive = std::optional(QByteArray::fromStdString(resultArchiveFor(cp(kTest))));
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
