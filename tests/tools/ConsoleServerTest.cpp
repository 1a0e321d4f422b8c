#include "ConsoleServer.h"
#include "Server.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkRequest>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QWebSocket>
#include <gtest/gtest.h>

namespace kvz::testing {
namespace {

using server::ConsoleServer;
using server::Server;

const QString kToken = QStringLiteral("0123456789abcdef0123456789abcdef");

struct Rig {
    QTemporaryDir dir;
    QStringList log;
    std::unique_ptr<Server> server;
    std::unique_ptr<ConsoleServer> console;
    Rig() {
        QDir(dir.path()).mkpath(QStringLiteral("tests"));
        QDir(dir.path()).mkpath(QStringLiteral("results"));
        server::ServerOptions o;
        o.testsFolder = dir.path() + QStringLiteral("/tests");
        o.resultsFolder = dir.path() + QStringLiteral("/results");
        o.address = QHostAddress::LocalHost;
        o.port = 0;
        server = std::make_unique<Server>(o, [this](const QString& l) {
            log << l;
            if (console)
                console->logLine(l);
        });
        EXPECT_TRUE(server->start());
        console = std::make_unique<ConsoleServer>(*server, kToken);
        EXPECT_TRUE(console->listen(QHostAddress::LocalHost, 0));
    }
    ~Rig() { console.reset(); }

    // One request, the whole answer (the console closes every connection after it).
    QByteArray http(const QByteArray& request) {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, console->port());
        QByteArray answer;
        QElapsedTimer t;
        t.start();
        bool sent = false;
        while (t.elapsed() < 5000) {
            QCoreApplication::processEvents();
            if (!sent && s.state() == QAbstractSocket::ConnectedState) {
                s.write(request);
                sent = true;
            }
            s.waitForReadyRead(5);
            answer += s.readAll();
            if (sent && s.state() == QAbstractSocket::UnconnectedState)
                break;
        }
        return answer;
    }
    template <class Done> bool waitFor(Done done) {
        QElapsedTimer t;
        t.start();
        while (!done() && t.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        return done();
    }
};

QByteArray cookie(const QString& token) {
    return "Cookie: kvizor_console=" + token.toLatin1() + "\r\n";
}

const QByteArray kUpgrade = "Connection: Upgrade\r\nUpgrade: websocket\r\nSec-WebSocket-Version: "
                            "13\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n";

TEST(ConsoleServer, nothingWithoutTheTokenAndEverythingWithIt) {
    Rig rig;
    const QByteArray right = cookie(kToken);
    const QByteArray wrong = cookie(QStringLiteral("0123456789abcdef0123456789abcdee"));
    const QByteArray action = R"({"action":"shuffle","on":true})";
    const QByteArray post =
        "POST /action HTTP/1.1\r\nHost: x\r\nContent-Length: " + QByteArray::number(action.size()) +
        "\r\n";
    struct Case {
        const char* what;
        QByteArray request;
        const char* status;
    };
    const Case cases[] = {
        {"page", "GET / HTTP/1.1\r\nHost: x\r\n\r\n", "401"},
        {"script", "GET /console.js HTTP/1.1\r\nHost: x\r\n\r\n", "401"},
        {"wrong token in the URL", "GET /?token=abc HTTP/1.1\r\nHost: x\r\n\r\n", "401"},
        {"page, wrong cookie", "GET / HTTP/1.1\r\nHost: x\r\n" + wrong + "\r\n", "401"},
        {"action", post + "\r\n" + action, "401"},
        {"action, wrong cookie", post + wrong + "\r\n" + action, "401"},
        {"WebSocket", "GET /ws HTTP/1.1\r\nHost: x\r\n" + kUpgrade + "\r\n", "401"},
        {"WebSocket, wrong cookie", "GET /ws HTTP/1.1\r\nHost: x\r\n" + kUpgrade + wrong + "\r\n",
         "401"},
        {"page", "GET / HTTP/1.1\r\nHost: x\r\n" + right + "\r\n", "200"},
        {"style", "GET /console.css HTTP/1.1\r\nHost: x\r\n" + right + "\r\n", "200"},
        {"action from another site", post + right + "Origin: http://evil\r\n\r\n" + action, "403"},
        {"bad action",
         "POST /action HTTP/1.1\r\nHost: x\r\nContent-Length: 2\r\n" + right + "\r\n{}", "400"},
        {"head too long", "GET / HTTP/1.1\r\nX: " + QByteArray(20000, 'a') + "\r\n\r\n", "431"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QByteArray answer = rig.http(c.request);
        EXPECT_TRUE(answer.startsWith(QByteArray("HTTP/1.1 ") + c.status))
            << answer.left(200).data();
        if (QByteArray(c.status) == "401") {
            EXPECT_TRUE(answer.endsWith("\r\n\r\n401 Unauthorized\n")); // and nothing else
        }
    }
    EXPECT_FALSE(rig.log.join(QLatin1Char('\n')).contains(QStringLiteral("shuffle")));

    // The token in the URL becomes a cookie the page's script cannot read.
    const QByteArray first = rig.http("GET /?token=" + kToken.toLatin1() + " HTTP/1.1\r\n\r\n");
    EXPECT_TRUE(first.startsWith("HTTP/1.1 303"));
    EXPECT_TRUE(first.contains("Set-Cookie: kvizor_console=" + kToken.toLatin1() +
                               "; HttpOnly; SameSite=Strict; Path=/\r\n"));
    EXPECT_TRUE(first.contains("Location: /\r\n"));

    // With the cookie an action is done and logged as the console's.
    const QByteArray done = rig.http(post + right + "\r\n" + action);
    EXPECT_TRUE(done.startsWith("HTTP/1.1 200")) << done.data();
    EXPECT_TRUE(rig.log.contains(QStringLiteral("command console: shuffle on")));
    EXPECT_TRUE(rig.log.contains(QStringLiteral("shuffle on")));
}

TEST(ConsoleServer, thePageGetsTheStateOnceThenChangesAndActsOverItsSocket) {
    Rig rig;
    QWebSocket page;
    QStringList received;
    QObject::connect(&page, &QWebSocket::textMessageReceived,
                     [&](const QString& m) { received << m; });
    QNetworkRequest request(QUrl(QStringLiteral("ws://127.0.0.1:%1/ws").arg(rig.console->port())));
    request.setRawHeader("Cookie", "kvizor_console=" + kToken.toLatin1());
    page.open(request);
    ASSERT_TRUE(rig.waitFor([&] { return received.size() >= 2; }));
    const QJsonObject state = QJsonDocument::fromJson(received[0].toUtf8()).object();
    EXPECT_EQ(state.value(QStringLiteral("type")).toString(), QStringLiteral("state"));
    EXPECT_EQ(state.value(QStringLiteral("mode")).toString(), QStringLiteral("none"));

    page.sendTextMessage(QStringLiteral(R"({"action":"choice"})"));
    auto has = [&](const QString& text) {
        return [&, text] {
            for (const QString& m : received)
                if (m.contains(text))
                    return true;
            return false;
        };
    };
    EXPECT_TRUE(rig.waitFor(has(QStringLiteral("command console: choice"))));
    EXPECT_TRUE(rig.waitFor(has(QStringLiteral("\"mode\":\"choice\""))));
    EXPECT_EQ(rig.server->mode(), Server::Mode::Choice);

    // A request that is no command is refused and logged, and nothing happens.
    page.sendTextMessage(QStringLiteral(R"({"action":"quit!"})"));
    EXPECT_TRUE(rig.waitFor(has(QStringLiteral("error console: unknown action"))));
    page.close();
    rig.waitFor([&] { return page.state() == QAbstractSocket::UnconnectedState; });
}

} // namespace
} // namespace kvz::testing
