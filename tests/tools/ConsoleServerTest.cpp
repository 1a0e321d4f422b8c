#include "ConsoleServer.h"
#include "Server.h"
#include "results/ResultArchive.h"
#include "results/ResultExport.h"
#include "run/Checking.h"

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
    explicit Rig(int pollMs = 3000) {
        QDir(dir.path()).mkpath(QStringLiteral("tests"));
        QDir(dir.path()).mkpath(QStringLiteral("results"));
        server::ServerOptions o;
        o.testsFolder = dir.path() + QStringLiteral("/tests");
        o.resultsFolder = dir.path() + QStringLiteral("/results");
        o.address = QHostAddress::LocalHost;
        o.port = 0;
        o.pollMs = pollMs;
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

// A workstation that answers the polls, until told to stop.
struct Answering {
    QTcpSocket socket;
    bool answering = true;
    qint64 lastAnswer = 0;
    QElapsedTimer clock;
    explicit Answering(quint16 port) {
        clock.start();
        QObject::connect(&socket, &QTcpSocket::connected, [this] { socket.write("HOSTpc-07"); });
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] {
            socket.readAll();
            if (answering) {
                socket.write("FRESH\r\n7\r\n1\r\nOptics\r\nIvanov\r\n");
                lastAnswer = clock.elapsed();
            }
        });
        socket.connectToHost(QHostAddress::LocalHost, port);
    }
};

QJsonObject stationNamed(const ConsoleServer& console, const QString& host) {
    for (const QJsonValue v : console.stateJson()[QStringLiteral("stations")].toArray())
        if (v[QStringLiteral("host")].toString() == host)
            return v.toObject();
    return {};
}

// The rule: an answer missing by more than half a poll marks the workstation, so it shows within
// two polls of its last answer; one that answers is never marked.
TEST(ConsoleServer, aWorkstationThatStopsAnsweringIsMarkedWithinTwoPolls) {
    Rig rig(1000);
    Answering station(rig.server->port());
    ASSERT_TRUE(rig.waitFor([&] { return station.lastAnswer > 0; }));
    bool everSilent = false;
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 3500) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        const QJsonObject row = stationNamed(*rig.console, QStringLiteral("pc-07"));
        everSilent = everSilent || row[QStringLiteral("silent")].toBool();
    }
    EXPECT_FALSE(everSilent);
    EXPECT_EQ(stationNamed(*rig.console, QStringLiteral("pc-07"))[QStringLiteral("state")],
              QStringLiteral("testing"));
    station.answering = false;
    const qint64 last = station.lastAnswer;
    ASSERT_TRUE(rig.waitFor([&] {
        return stationNamed(*rig.console, QStringLiteral("pc-07"))[QStringLiteral("silent")]
            .toBool();
    }));
    // Two polls, and a second for a loaded machine (the answer wait alone is ten).
    EXPECT_LT(station.clock.elapsed() - last, 3000);
    // Gone, it stays as disconnected, with the time it left.
    station.socket.abort();
    EXPECT_TRUE(rig.waitFor([&] {
        return stationNamed(*rig.console, QStringLiteral("pc-07"))[QStringLiteral("gone")].toBool();
    }));
}

QByteArray resultArchive(const std::string& examinee) {
    QuestionSet set;
    TQuestionRec q;
    q.kindText = "A";
    q.rightChoice = {false, true};
    q.choiceCount = 2;
    set.questions.push_back(q);
    set.labels = makeLabels(set.questions);
    resetAnswers(set);
    std::vector<std::string> verdicts;
    CheckSummary summary;
    CheckAnswers(set, "R", "W", verdicts, summary);
    const ResultFacts facts{examinee, "9", "Physics", "Optics", 46000.5, 46000.75};
    return BuildResultArchive(facts, summary, set).value_or(QByteArray());
}

// Results already in the folder are listed at start through the export's reader, a damaged file
// left out; the downloads are the export's bytes; the page speaks the chosen language.
TEST(ConsoleServer, resultsOfTheFolderAndTheLanguage) {
    Rig rig;
    const QString results = rig.dir.path() + QStringLiteral("/results");
    QDir(results).mkpath(QStringLiteral("old"));
    const auto put = [&](const QString& name, const QByteArray& bytes) {
        QFile f(results + QLatin1Char('/') + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    };
    put(QStringLiteral("00000001.rst"), resultArchive("Ivanov"));
    put(QStringLiteral("old/00000002.rst"), resultArchive("Petrova"));
    put(QStringLiteral("00000003.rst"), "not a result");
    rig.console->loadResults();
    const QJsonArray rows = rig.console->room().resultsJson();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0][QStringLiteral("examinee")], QStringLiteral("Ivanov"));
    EXPECT_EQ(rows[1][QStringLiteral("file")], QStringLiteral("old/00000002.rst"));
    const QJsonObject detail =
        rig.console->room().resultDetail(rows[1][QStringLiteral("id")].toInt());
    EXPECT_EQ(detail[QStringLiteral("items")].toArray().size(), 1);
    EXPECT_TRUE(rig.console->room().resultDetail(999).isEmpty());

    std::vector<ExportedResult> expected;
    for (const QString& name :
         {QStringLiteral("00000001.rst"), QStringLiteral("old/00000002.rst")}) {
        QString error;
        expected.push_back({name, *loadResultFile(results + QLatin1Char('/') + name, &error)});
    }
    const QByteArray csv =
        rig.http("GET /results.csv HTTP/1.1\r\nHost: x\r\n" + cookie(kToken) + "\r\n");
    EXPECT_TRUE(csv.contains("Content-Disposition: attachment; filename=\"results.csv\""));
    EXPECT_TRUE(csv.endsWith("\r\n\r\n" + exportCsv(expected)));
    const QByteArray json =
        rig.http("GET /results.json HTTP/1.1\r\nHost: x\r\n" + cookie(kToken) + "\r\n");
    EXPECT_TRUE(json.endsWith("\r\n\r\n" + QJsonDocument(exportJson(expected)).toJson()));
    EXPECT_TRUE(
        rig.http("GET /results.csv HTTP/1.1\r\nHost: x\r\n\r\n").startsWith("HTTP/1.1 401"));
    EXPECT_TRUE(
        rig.http("GET /result?id=1 HTTP/1.1\r\nHost: x\r\n\r\n").startsWith("HTTP/1.1 401"));

    const QByteArray page = "GET / HTTP/1.1\r\nHost: x\r\n" + cookie(kToken) + "\r\n";
    EXPECT_TRUE(rig.http(page).contains("<html lang=\"ru\">"));
    rig.console->setLanguage(QStringLiteral("en"));
    EXPECT_TRUE(rig.http(page).contains("<html lang=\"en\">"));
}

} // namespace
} // namespace kvz::testing
