// The console in a real browser: headless Chromium driven over its DevTools protocol.

#include "ConsoleServer.h"
#include "Server.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QWebSocket>
#include <gtest/gtest.h>

namespace kvz::testing {
namespace {

using server::ConsoleServer;
using server::Server;

template <class Done> bool waitFor(Done done, int ms = 10000) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

QByteArray httpGet(quint16 port, const QByteArray& path) {
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, port);
    if (!waitFor([&] { return s.state() == QAbstractSocket::ConnectedState; }))
        return {};
    s.write("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port) +
            "\r\nConnection: close\r\n\r\n");
    QByteArray answer;
    waitFor([&] {
        answer += s.readAll();
        return s.state() == QAbstractSocket::UnconnectedState;
    });
    answer += s.readAll();
    return answer.mid(answer.indexOf("\r\n\r\n") + 4);
}

// A workstation as the console sees it: a host name, then an answer to every poll.
struct Station {
    QTcpSocket socket;
    QByteArray fresh;
    Station(quint16 port, const QByteArray& host, QByteArray answer) : fresh(std::move(answer)) {
        QObject::connect(&socket, &QTcpSocket::connected,
                         [this, host] { socket.write("HOST" + host); });
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] {
            socket.readAll();
            socket.write("FRESH\r\n" + fresh);
        });
        socket.connectToHost(QHostAddress::LocalHost, port);
    }
};

// One page of headless Chromium over the DevTools protocol.
struct Browser {
    QTemporaryDir profile;
    QProcess process;
    QWebSocket page;
    int nextId = 1;
    std::map<int, QJsonObject> answers;

    bool start() {
        const QString chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
        if (chromium.isEmpty())
            return false;
        process.start(chromium, {QStringLiteral("--headless"), QStringLiteral("--no-sandbox"),
                                 QStringLiteral("--disable-gpu"), QStringLiteral("--no-first-run"),
                                 QStringLiteral("--window-size=1280,800"),
                                 QStringLiteral("--remote-debugging-port=0"),
                                 QStringLiteral("--remote-allow-origins=*"),
                                 QStringLiteral("--user-data-dir=") + profile.path(),
                                 QStringLiteral("about:blank")});
        QFile portFile(profile.filePath(QStringLiteral("DevToolsActivePort")));
        // The file is written once the browser listens.
        quint16 port = 0;
        waitFor(
            [&] {
                if (portFile.open(QIODevice::ReadOnly)) {
                    port = quint16(portFile.readLine().trimmed().toUInt());
                    portFile.close();
                }
                return port != 0;
            },
            30000);
        if (port == 0) {
            ADD_FAILURE() << "no DevToolsActivePort: " << process.readAll().toStdString();
            return false;
        }
        QString target;
        waitFor([&] {
            for (const QJsonValue v : QJsonDocument::fromJson(httpGet(port, "/json/list")).array())
                if (v[QStringLiteral("type")].toString() == QStringLiteral("page"))
                    target = v[QStringLiteral("webSocketDebuggerUrl")].toString();
            return !target.isEmpty();
        });
        if (target.isEmpty()) {
            ADD_FAILURE() << "no page target on port " << port;
            return false;
        }
        QObject::connect(&page, &QWebSocket::textMessageReceived, [this](const QString& m) {
            const QJsonObject o = QJsonDocument::fromJson(m.toUtf8()).object();
            if (o.contains(QStringLiteral("id")))
                answers[o[QStringLiteral("id")].toInt()] = o;
        });
        page.open(QUrl(target));
        if (!waitFor([&] { return page.state() == QAbstractSocket::ConnectedState; })) {
            ADD_FAILURE() << "no DevTools socket at " << target.toStdString() << ": "
                          << page.errorString().toStdString();
            return false;
        }
        return true;
    }
    ~Browser() {
        page.close();
        process.terminate();
        if (!process.waitForFinished(5000))
            process.kill();
        process.waitForFinished(5000);
    }
    QJsonObject call(const QString& method, const QJsonObject& params = {}) {
        const int id = nextId++;
        page.sendTextMessage(
            QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("id"), id},
                                                        {QStringLiteral("method"), method},
                                                        {QStringLiteral("params"), params}})
                                  .toJson(QJsonDocument::Compact)));
        waitFor([&] { return answers.count(id) > 0; }, 20000);
        return answers[id][QStringLiteral("result")].toObject();
    }
    QJsonValue eval(const QString& expression) {
        return call(QStringLiteral("Runtime.evaluate"),
                    {{QStringLiteral("expression"), expression},
                     {QStringLiteral("returnByValue"), true}})[QStringLiteral("result")]
            .toObject()[QStringLiteral("value")];
    }
    bool until(const QString& expression) {
        return waitFor([&] { return eval(expression).toBool(); }, 15000);
    }
};

TEST(ConsoleBrowser, aSupervisorRunsTheClassroomFromThePage) {
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("tests"));
    server::ServerOptions o;
    o.testsFolder = dir.filePath(QStringLiteral("tests"));
    o.resultsFolder = dir.filePath(QStringLiteral("results"));
    o.address = QHostAddress::LocalHost;
    o.port = 0;
    o.pollMs = 300;
    QStringList log;
    std::unique_ptr<ConsoleServer> console;
    Server server(o, [&](const QString& l) {
        log << l;
        if (console)
            console->logLine(l);
    });
    ASSERT_TRUE(server.start());
    console = std::make_unique<ConsoleServer>(server, ConsoleServer::freshToken());
    ASSERT_TRUE(console->listen(QHostAddress::LocalHost, 0));

    Browser browser;
    ASSERT_TRUE(browser.start()) << "headless chromium did not start";
    browser.call(QStringLiteral("Page.enable"));
    browser.call(QStringLiteral("Page.navigate"), {{QStringLiteral("url"), console->url()}});
    ASSERT_TRUE(
        browser.until(QStringLiteral("document.getElementById('link') && "
                                     "document.getElementById('link').classList.contains('on')")));
    // The token left the address bar.
    EXPECT_EQ(browser.eval(QStringLiteral("location.search")).toString(), QString());

    Station first(server.port(), "pc-01", "x\r\n1\r\nOptics\r\nIvanov Petr 9A\r\n");
    Station hostile(server.port(), "<img src=x onerror=alert(1)>", "x\r\n1\r\n\r\n\r\n");
    ASSERT_TRUE(browser.until(
        QStringLiteral("document.querySelectorAll('#stations tbody tr').length == 2")));
    ASSERT_TRUE(
        browser.until(QStringLiteral("document.querySelector('#stations tbody "
                                     "tr:nth-child(1)').textContent.includes('тестируется')")));
    EXPECT_EQ(browser
                  .eval(QStringLiteral(
                      "document.querySelector('#stations tbody tr:nth-child(1)').textContent"))
                  .toString(),
              QStringLiteral("1pc-01127.0.0.1тестируетсяOpticsIvanov Petr 9A0 мин"));
    // The hostile host name is text: its characters are shown, no element is made of them.
    EXPECT_EQ(browser
                  .eval(QStringLiteral("document.querySelector('#stations tbody tr:nth-child(2) "
                                       "td:nth-child(3)').textContent"))
                  .toString(),
              QStringLiteral("<img src=x onerror=alert(1)>"));
    EXPECT_EQ(browser.eval(QStringLiteral("document.querySelectorAll('img').length")).toInt(-1), 0);

    // Allow to all (after the confirmation), pause and resume one, a message to all.
    browser.eval(QStringLiteral("window.confirm = () => true;"
                                "document.getElementById('password').value = 'pw';"
                                "document.querySelector('input[name=who][value=all]').click();"
                                "document.querySelector('[data-action=allow]').click(); true"));
    EXPECT_TRUE(waitFor([&] {
        return log.contains(QStringLiteral("command console: allow all (with password)"));
    }));
    browser.eval(
        QStringLiteral("document.querySelector('input[name=who][value=selected]').click();"
                       "document.querySelector('#stations tbody tr:nth-child(1) input').click();"
                       "document.querySelector('[data-action=pause]').click(); true"));
    EXPECT_TRUE(waitFor([&] { return log.contains(QStringLiteral("command console: pause 1")); }));
    EXPECT_TRUE(waitFor([&] { return log.contains(QStringLiteral("paused 1")); }));
    browser.eval(QStringLiteral("document.querySelector('[data-action=resume]').click(); true"));
    EXPECT_TRUE(waitFor(
        [&] { return log.contains(QStringLiteral("command console: resume 1 (with password)")); }));
    browser.eval(QStringLiteral("document.getElementById('message').value = '<b>Сдаём</b>';"
                                "document.querySelector('input[name=who][value=all]').click();"
                                "document.querySelector('[data-action=message]').click(); true"));
    EXPECT_TRUE(waitFor(
        [&] { return log.contains(QStringLiteral("command console: message all <b>Сдаём</b>")); }));
    // The log view shows it live, as text.
    EXPECT_TRUE(browser.until(QStringLiteral(
        "document.getElementById('loglines').textContent.includes('message-to 1 <b>Сдаём</b>')")));
    EXPECT_EQ(
        browser.eval(QStringLiteral("document.querySelectorAll('#loglines b').length")).toInt(-1),
        0);

    // A workstation that goes away is shown as disconnected.
    hostile.socket.abort();
    EXPECT_TRUE(
        browser.until(QStringLiteral("document.querySelector('#stations tbody "
                                     "tr:nth-child(2)').textContent.includes('отключён')")));

    const QJsonObject shot = browser.call(QStringLiteral("Page.captureScreenshot"));
    const QByteArray png =
        QByteArray::fromBase64(shot[QStringLiteral("data")].toString().toLatin1());
    EXPECT_TRUE(png.startsWith("\x89PNG"));
    QFile out(QDir::current().filePath(QStringLiteral("console-browser.png")));
    if (out.open(QIODevice::WriteOnly))
        out.write(png);
}

} // namespace
} // namespace kvz::testing
