// The console in a real browser: headless Chromium driven over its DevTools protocol.

#include "ConsoleServer.h"
#include "Server.h"
#include "l10n/Cp1251.h"
#include "net/SimulatedWorkstation.h"
#include "profile/Profile.h"
#include "results/ResultArchive.h"
#include "run/Checking.h"
#include "support/TestPaths.h"
#include "test/ArchiveFixtures.h"
#include "test/TestArchive.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHostInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QWebSocket>
#include <QtEndian>
#include <gtest/gtest.h>
#include <unistd.h>

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
    bool until(const QString& expression, int ms = 15000) {
        return waitFor([&] { return eval(expression).toBool(); }, ms);
    }
    // The page as it stands, into a PNG file of the build folder.
    void screenshot(const QString& name) {
        const QJsonObject shot = call(QStringLiteral("Page.captureScreenshot"));
        const QByteArray png =
            QByteArray::fromBase64(shot[QStringLiteral("data")].toString().toLatin1());
        EXPECT_TRUE(png.startsWith("\x89PNG")) << name.toStdString();
        QFile out(QDir::current().filePath(name));
        if (out.open(QIODevice::WriteOnly))
            out.write(png);
    }
};

// A test with a password and a grading scale: 2 below 50 %, 3 to 70 %, 4 to 85 %, else 5.
void writeGradedTest(const QString& path) {
    TestArchive a = threeKinds();
    a.settings139 = ArchiveSettings139{};
    a.settings139->showMark = true;
    a.settings139->markScale = {{"4999", "2"}, {"6999", "3"}, {"8499", "4"}, {"10000", "5"}};
    const auto bytes = writeTestArchive(a, "pw", CatalogueInfo{"", "9", "Physics", ""});
    ASSERT_TRUE(bytes);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(*bytes);
}

// A result of Optics by examinee with right of its four equal questions answered right.
QByteArray resultOf(const std::string& examinee, int right) {
    QuestionSet set;
    for (int i = 0; i < 4; ++i) {
        TQuestionRec q;
        q.kindText = "A";
        q.rightChoice = {false, true};
        q.choiceCount = 2;
        q.topic = "Q" + std::to_string(i + 1);
        set.questions.push_back(q);
    }
    set.labels = makeLabels(set.questions);
    resetAnswers(set);
    for (int i = 0; i < right; ++i)
        set.answers[std::size_t(i)].chosen[1] = true;
    std::vector<std::string> verdicts;
    CheckSummary summary;
    CheckAnswers(set, "R", "W", verdicts, summary);
    const ResultFacts facts{examinee, "9A", "Physics", "Optics", 46000.5, 46000.52};
    return BuildResultArchive(facts, summary, set).value_or(QByteArray());
}

// A classroom server with its console, the log it writes, and a browser on the console's page.
class ConsoleBrowser : public ::testing::Test {
protected:
    // The server and its console on loopback, over the tests folder as it stands.
    void startServer(int pollMs) {
        options.testsFolder = dir.filePath(QStringLiteral("tests"));
        options.resultsFolder = dir.filePath(QStringLiteral("results"));
        options.address = QHostAddress::LocalHost;
        options.port = 0;
        options.pollMs = pollMs;
        server = std::make_unique<Server>(options, [this](const QString& l) {
            log << l;
            if (console)
                console->logLine(l);
        });
        ASSERT_TRUE(server->start());
        console = std::make_unique<ConsoleServer>(*server, ConsoleServer::freshToken());
        ASSERT_TRUE(console->listen(QHostAddress::LocalHost, 0));
        console->loadResults();
    }
    // Chromium on the console's page, once the page is linked to the server.
    void openPage() {
        ASSERT_TRUE(browser.start()) << "headless chromium did not start";
        browser.call(QStringLiteral("Page.enable"));
        browser.call(QStringLiteral("Page.navigate"), {{QStringLiteral("url"), console->url()}});
        ASSERT_TRUE(browser.until(
            QStringLiteral("document.getElementById('link') && "
                           "document.getElementById('link').classList.contains('on')")));
    }
    void showView(const QString& view) {
        browser.eval(
            QStringLiteral("document.querySelector('nav [data-view=%1]').click(); true").arg(view));
    }
    // The CSV the page's link downloads; empty when none came.
    QByteArray downloadCsv() {
        const QString downloads = dir.filePath(QStringLiteral("downloads"));
        QDir().mkpath(downloads);
        browser.call(QStringLiteral("Browser.setDownloadBehavior"),
                     {{QStringLiteral("behavior"), QStringLiteral("allow")},
                      {QStringLiteral("downloadPath"), downloads}});
        browser.eval(
            QStringLiteral("document.querySelector('a[href=\"/results.csv\"]').click(); true"));
        const QString csvPath = downloads + QStringLiteral("/results.csv");
        if (!waitFor([&] { return QFileInfo(csvPath).size() > 0; }, 15000))
            return {};
        QFile csv(csvPath);
        return csv.open(QIODevice::ReadOnly) ? csv.readAll() : QByteArray();
    }
    bool logHas(const QString& prefix) const {
        return std::any_of(log.begin(), log.end(),
                           [&](const QString& l) { return l.startsWith(prefix); });
    }
    std::string logged() const { return log.join(QLatin1Char('\n')).toStdString(); }

    QTemporaryDir dir;
    server::ServerOptions options;
    QStringList log;
    // Declared before the server: the server's last log lines still reach it.
    std::unique_ptr<ConsoleServer> console;
    std::unique_ptr<Server> server;
    Browser browser;
};

TEST_F(ConsoleBrowser, aSupervisorRunsTheClassroomFromThePage) {
    QDir(dir.path()).mkpath(QStringLiteral("tests"));
    writeGradedTest(dir.filePath(QStringLiteral("tests/Optics.tst")));
    ASSERT_NO_FATAL_FAILURE(startServer(300));
    ASSERT_NO_FATAL_FAILURE(openPage());
    // The token left the address bar.
    EXPECT_EQ(browser.eval(QStringLiteral("location.search")).toString(), QString());

    Station first(server->port(), "pc-01", "x\r\n1\r\nOptics\r\nIvanov Petr 9A\r\n");
    Station hostile(server->port(), "<img src=x onerror=alert(1)>", "x\r\n1\r\n\r\n\r\n");
    ASSERT_TRUE(browser.until(
        QStringLiteral("document.querySelectorAll('#stations tbody tr').length == 2")));
    // In the order of host names, whatever the order of arrival.
    ASSERT_TRUE(
        browser.until(QStringLiteral("document.querySelector('#stations tbody "
                                     "tr:nth-child(2)').textContent.includes('тестируется')")));
    EXPECT_EQ(browser
                  .eval(QStringLiteral(
                      "document.querySelector('#stations tbody tr:nth-child(2)').textContent"))
                  .toString(),
              QStringLiteral("1pc-01127.0.0.1тестируетсяOpticsIvanov Petr 9A0 мин"));
    // The hostile host name is text: its characters are shown, no element is made of them.
    EXPECT_EQ(browser
                  .eval(QStringLiteral("document.querySelector('#stations tbody tr:nth-child(1) "
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
                       "document.querySelector('#stations tbody tr:nth-child(2) input').click();"
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
                                     "tr:nth-child(1)').textContent.includes('отключён 0 мин')")));

    // The tests view: the test with its class, subject, password and marks; set for all.
    showView(QStringLiteral("tests"));
    ASSERT_TRUE(browser.until(QStringLiteral(
        "document.querySelector('#testlist tbody tr').textContent.startsWith('Optics.tst9Physics')"
        " && document.querySelector('#testlist tbody tr').textContent.includes('да2, 3, 4, 5')")));
    // The mode buttons, then one test for all.
    browser.eval(QStringLiteral("document.querySelector('[data-mode=choice]').click(); true"));
    EXPECT_TRUE(waitFor([&] { return log.contains(QStringLiteral("mode choice")); }));
    EXPECT_TRUE(browser.until(
        QStringLiteral("document.getElementById('mode').textContent.includes('из списка')")));
    browser.eval(QStringLiteral("document.querySelector('[data-mode=none]').click(); true"));
    EXPECT_TRUE(waitFor([&] { return log.contains(QStringLiteral("mode none")); }));
    browser.eval(QStringLiteral("document.querySelector('#testlist tbody button').click(); true"));
    EXPECT_TRUE(waitFor([&] { return log.contains(QStringLiteral("mode set Optics.tst")); }));
    EXPECT_TRUE(browser.until(
        QStringLiteral("document.getElementById('mode').textContent.includes('Optics.tst')")));
    browser.eval(QStringLiteral("document.getElementById('shuffle').click(); true"));
    EXPECT_TRUE(waitFor([&] { return log.contains(QStringLiteral("shuffle on")); }));
    EXPECT_TRUE(browser.until(QStringLiteral("document.getElementById('shuffle').checked")));

    // Two workstations of the real protocol take the set test and send results.
    SimulatedWorkstation second("pc-02"), third("pc-03");
    for (SimulatedWorkstation* w : {&second, &third})
        w->socket.connectTo(QStringLiteral("127.0.0.1"), server->port());
    ASSERT_TRUE(browser.until(
        QStringLiteral("document.querySelectorAll('#stations tbody tr').length == 4 && "
                       "document.querySelector('#stations tbody').textContent.includes('pc-02') && "
                       "document.querySelector('#stations tbody').textContent.includes('pc-03')")));
    browser.eval(QStringLiteral("document.querySelector('nav [data-view=classroom]').click();"
                                "document.getElementById('password').value = '';"
                                "document.querySelector('input[name=who][value=all]').click();"
                                "document.querySelector('[data-action=allow]').click(); true"));
    // Without the password the page asks for it; with a wrong one the server's check refuses.
    EXPECT_TRUE(browser.until(
        QStringLiteral("!document.getElementById('notice').hidden && document.getElementById("
                       "'notice').textContent.includes('защищён паролем')")));
    browser.eval(QStringLiteral("document.getElementById('password').value = 'bad';"
                                "document.querySelector('[data-action=allow]').click(); true"));
    EXPECT_TRUE(browser.until(QStringLiteral(
        "document.getElementById('notice').textContent.includes('не подходит к тесту')")));
    EXPECT_EQ(log.filter(QStringLiteral("command console: allow all")).size(), 1);
    browser.eval(QStringLiteral("document.getElementById('password').value = 'pw';"
                                "document.querySelector('[data-action=allow]').click(); true"));
    ASSERT_TRUE(waitFor([&] { return second.engine.permitted() && third.engine.permitted(); }));
    for (SimulatedWorkstation* w : {&second, &third})
        w->engine.requestTest();
    ASSERT_TRUE(waitFor(
        [&] { return !second.host.loadedArchives.empty() && !third.host.loadedArchives.empty(); },
        30000))
        << logged();
    EXPECT_EQ(log.filter(QStringLiteral("sending ")).size(), 2);
    const struct {
        SimulatedWorkstation* station;
        std::string examinee;
        int right;
        QString mark;
    } results[] = {{&second, "Petrov", 4, QStringLiteral("5")},
                   {&third, "Sidorova", 1, QStringLiteral("2")}};
    QTemporaryDir files;
    for (const auto& r : results) {
        const QString path = files.filePath(QString::fromStdString(r.examinee));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(resultOf(r.examinee, r.right));
        f.close();
        ASSERT_TRUE(r.station->socket.sendFile(path));
    }
    // Each row gets its score and mark, the results view both results.
    for (int row : {3, 4})
        EXPECT_TRUE(
            browser.until(QStringLiteral("document.querySelector('#stations tbody "
                                         "tr:nth-child(%1)').textContent.includes('закончил')")
                              .arg(row)));
    EXPECT_EQ(browser
                  .eval(QStringLiteral("[3, 4].map(n => document.querySelector('#stations tbody "
                                       "tr:nth-child(' + n + ') td.mark').textContent).join()"))
                  .toString(),
              QStringLiteral("5,2"));
    showView(QStringLiteral("results"));
    ASSERT_TRUE(browser.until(
        QStringLiteral("document.querySelectorAll('#resultlist tbody tr').length == 2")));
    EXPECT_TRUE(browser.until(QStringLiteral(
        "document.querySelector('#resultlist tbody').textContent.includes('Petrov9AOptics100.00%5"
        "4 / 4 / 4')")));
    // A click opens the result question by question.
    browser.eval(QStringLiteral("[...document.querySelectorAll('#resultlist tbody tr')].find(r => "
                                "r.textContent.includes('Sidorova')).click(); true"));
    EXPECT_TRUE(browser.until(
        QStringLiteral("!document.getElementById('detail').hidden && "
                       "document.querySelectorAll('#detaillist tbody tr').length == 4 && "
                       "document.querySelector('#detaillist tbody "
                       "tr:nth-child(3)').textContent.includes('неверно')")));
    // The CSV the page downloads is kvizor-results export's table of the results folder.
    const QByteArray csvBytes = downloadCsv();
    ASSERT_FALSE(csvBytes.isEmpty()) << "no CSV downloaded";
    const QList<QByteArray> lines = csvBytes.split('\n');
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines[0].trimmed(), QByteArray("\xEF\xBB\xBF"
                                             "file,examinee,class,subject,test,"
                                             "right_percent,right,answered,questions,"
                                             "answered_percent,started,finished,verdict_code"));
    EXPECT_TRUE(csvBytes.contains(",Petrov,9A,Physics,Optics,100.00,4,4,4,100.00,"));
    EXPECT_TRUE(csvBytes.contains(",Sidorova,9A,Physics,Optics,25.00,1,1,4,25.00,"));
    QProcess tool;
    tool.start(QCoreApplication::applicationDirPath() +
                   QStringLiteral("/../../tools/kvizor-results"),
               {QStringLiteral("export"), options.resultsFolder, QStringLiteral("--csv"),
                dir.filePath(QStringLiteral("tool.csv"))});
    ASSERT_TRUE(tool.waitForFinished(30000));
    QFile toolCsv(dir.filePath(QStringLiteral("tool.csv")));
    ASSERT_TRUE(toolCsv.open(QIODevice::ReadOnly));
    EXPECT_EQ(toolCsv.readAll(), csvBytes);
    showView(QStringLiteral("classroom"));

    // Pictures of the views at the classroom computer's size and a tablet's, to look at.
    browser.call(QStringLiteral("Emulation.setDeviceMetricsOverride"),
                 {{QStringLiteral("width"), 1280},
                  {QStringLiteral("height"), 800},
                  {QStringLiteral("deviceScaleFactor"), 1},
                  {QStringLiteral("mobile"), false}});
    auto shoot = [&](const QString& view, const QString& name) {
        showView(view);
        waitFor([] { return false; }, 300);
        browser.screenshot(name);
    };
    shoot(QStringLiteral("classroom"), QStringLiteral("console-browser.png"));
    shoot(QStringLiteral("tests"), QStringLiteral("console-browser-tests.png"));
    shoot(QStringLiteral("results"), QStringLiteral("console-browser-results.png"));
    browser.call(QStringLiteral("Emulation.setDeviceMetricsOverride"),
                 {{QStringLiteral("width"), 768},
                  {QStringLiteral("height"), 1024},
                  {QStringLiteral("deviceScaleFactor"), 1},
                  {QStringLiteral("mobile"), true}});
    shoot(QStringLiteral("classroom"), QStringLiteral("console-browser-tablet.png"));
    shoot(QStringLiteral("results"), QStringLiteral("console-browser-tablet-results.png"));
}

// ---- the real program as a workstation, on an X display of the test's own

// Xvfb with openbox. Xvfb keeps its screen in a file (XWD), so that the test can take a picture
// of it without any further tool.
class XDisplay {
public:
    ~XDisplay() {
        for (auto it = processes_.rbegin(); it != processes_.rend(); ++it) {
            QProcess& p = **it;
            if (p.state() == QProcess::NotRunning)
                continue;
            p.terminate();
            if (!p.waitForFinished(3000)) {
                p.kill();
                p.waitForFinished(3000);
            }
        }
    }
    static QString tool(const char* name) {
        return QStandardPaths::findExecutable(QLatin1String(name));
    }
    bool start() {
        const QString xvfb = tool("Xvfb"), openbox = tool("openbox");
        for (int n = 150 + int(::getpid() % 100); n < 500 && display_.isEmpty(); ++n) {
            if (QFileInfo::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)) ||
                QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)))
                continue;
            QProcess& server = launch(
                xvfb, {QStringLiteral(":%1").arg(n), QStringLiteral("-screen"), QStringLiteral("0"),
                       QStringLiteral("1280x800x24"), QStringLiteral("-nolisten"),
                       QStringLiteral("tcp"), QStringLiteral("-fbdir"), frame_.path()});
            const QString socket = QStringLiteral("/tmp/.X11-unix/X%1").arg(n);
            if (waitFor(
                    [&] {
                        return QFileInfo::exists(socket) || server.state() == QProcess::NotRunning;
                    },
                    20000) &&
                server.state() == QProcess::Running)
                display_ = QStringLiteral(":%1").arg(n);
        }
        if (display_.isEmpty())
            return false;
        // openbox may give up on a server that has only just opened its socket: again until it
        // manages the screen.
        const auto managed = [&] {
            return run(tool("xprop"),
                       {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")})
                .contains(QLatin1String("window id"));
        };
        for (int attempt = 0; attempt < 4; ++attempt) {
            QProcess& wm = launch(openbox, {QStringLiteral("--sm-disable")});
            if (waitFor([&] { return managed() || wm.state() == QProcess::NotRunning; }, 15000) &&
                managed())
                return true;
            wm.kill();
            wm.waitForFinished(3000);
        }
        return false;
    }
    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), display_);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        return env;
    }
    QProcess& launch(const QString& program, const QStringList& args,
                     const QProcessEnvironment& env = {}) {
        processes_.push_back(std::make_unique<QProcess>());
        QProcess& p = *processes_.back();
        p.setProcessEnvironment(env.isEmpty() ? environment() : env);
        p.start(program, args);
        p.waitForStarted(10000);
        return p;
    }
    // A short command on the display; its output, "" when it failed.
    QString run(const QString& program, const QStringList& args) {
        QProcess p;
        p.setProcessEnvironment(environment());
        p.start(program, args);
        if (!p.waitForFinished(10000)) {
            p.kill();
            p.waitForFinished(3000);
            return {};
        }
        return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
    }
    QString xdotool(const QStringList& args) { return run(tool("xdotool"), args); }
    // The mapped windows whose whole title is name.
    int shown(const QString& name) {
        const QString ids =
            xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                     QStringLiteral("--name"), QLatin1Char('^') + name + QLatin1Char('$')});
        return ids.isEmpty() ? 0 : int(ids.split(QLatin1Char('\n')).size());
    }
    // Keys typed on the keyboard into the window titled name.
    void type(const QString& name, const QStringList& keys) {
        const QString id =
            xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                     QStringLiteral("--name"), QLatin1Char('^') + name + QLatin1Char('$')})
                .section(QLatin1Char('\n'), 0, 0);
        xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), id});
        for (const QString& key : keys)
            xdotool({QStringLiteral("key"), QStringLiteral("--clearmodifiers"), key});
    }
    // The screen as Xvfb keeps it: an XWD file of 32-bit pixels.
    QImage screen() const {
        QFile f(frame_.filePath(QStringLiteral("Xvfb_screen0")));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        const QByteArray xwd = f.readAll();
        if (xwd.size() < 100)
            return {};
        const auto field = [&](int i) {
            return qFromBigEndian<quint32>(reinterpret_cast<const uchar*>(xwd.constData()) + 4 * i);
        };
        const quint32 headerSize = field(0), width = field(4), height = field(5),
                      bitsPerPixel = field(11), bytesPerLine = field(12), colours = field(19);
        const qint64 pixels = qint64(headerSize) + qint64(colours) * 12;
        if (bitsPerPixel != 32 || pixels + qint64(bytesPerLine) * height > xwd.size())
            return {};
        return QImage(reinterpret_cast<const uchar*>(xwd.constData() + pixels), int(width),
                      int(height), int(bytesPerLine), QImage::Format_RGB32)
            .copy();
    }
    void screenshot(const QString& name) const {
        const QImage shot = screen();
        EXPECT_FALSE(shot.isNull()) << "no picture of the X screen for " << name.toStdString();
        shot.save(QDir::current().filePath(name));
    }

private:
    QTemporaryDir frame_;
    QString display_;
    std::vector<std::unique_ptr<QProcess>> processes_;
};

// A test as a teacher makes it with kvizor-pack: three questions of one right choice out of
// three, a password and a scale of marks, no lock-down (the test's own setting).
bool packTest(const QString& folder, const QString& archive) {
    QDir().mkpath(folder);
    const auto write = [&](const QString& name, const QByteArray& text) {
        QFile f(folder + QLatin1Char('/') + name);
        return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
    };
    QByteArray ini = "[Test]\nClass=9\nSubject=Физика\nPassword=pw\nNoLockdown=1\nShowMark=1\n"
                     "[Marks]\n0=2\n50=3\n70=4\n90=5\n";
    for (int q = 1; q <= 3; ++q) {
        ini += "[Question" + QByteArray::number(q) + "]\nKind=A\nPage=q" + QByteArray::number(q) +
               ".html\nChoices=3\nRight=" + QByteArray::number(q) + "\nTopic=Закон " +
               QByteArray::number(q) + "\n";
        if (!write(QStringLiteral("q%1.html").arg(q),
                   "<p><b>Вопрос " + QByteArray::number(q) +
                       ".</b> Какой ответ верный?</p><ol><li>первый</li><li>второй</li>"
                       "<li>третий</li></ol>"))
            return false;
    }
    if (!write(QStringLiteral("test.ini"), ini))
        return false;
    QProcess pack;
    pack.start(binaryDir() + QStringLiteral("/tools/kvizor-pack"),
               {QStringLiteral("build"), folder, QStringLiteral("-o"), archive});
    if (!pack.waitForFinished(60000) || pack.exitCode() != 0) {
        ADD_FAILURE() << "kvizor-pack: " << pack.readAllStandardError().toStdString();
        return false;
    }
    return true;
}

// The classroom with a real workstation: kvizor started with a network profile on an X display,
// the pupil at its keyboard, the supervisor in the console.
TEST_F(ConsoleBrowser, aRealWorkstationIsAllowedWatchedPausedToldAndMarked) {
    for (const char* needed : {"Xvfb", "openbox", "xdotool", "xprop", "chromium"})
        ASSERT_FALSE(XDisplay::tool(needed).isEmpty())
            << needed << " is missing: scripts/setup.sh installs it";
    const QString program = stageDir() + QStringLiteral("/kvizor");
    ASSERT_TRUE(QFileInfo(program).isExecutable()) << program.toStdString();

    QDir(dir.path()).mkpath(QStringLiteral("tests"));
    ASSERT_TRUE(packTest(dir.filePath(QStringLiteral("source")),
                         dir.filePath(QStringLiteral("tests/Mechanics.tst"))));
    // A program under a sanitizer on a loaded machine may answer a poll late; a long period
    // keeps it from showing as not answering.
    ASSERT_NO_FATAL_FAILURE(startServer(1000));

    XDisplay x;
    ASSERT_TRUE(x.start()) << "Xvfb with openbox did not come up";
    ASSERT_NO_FATAL_FAILURE(openPage());
    // The supervisor sets the test for all before the class logs in.
    showView(QStringLiteral("tests"));
    ASSERT_TRUE(browser.until(QStringLiteral(
        "document.querySelector('#testlist tbody tr') && document.querySelector('#testlist "
        "tbody tr').textContent.startsWith('Mechanics.tst9Физика')")));
    browser.eval(QStringLiteral("document.querySelector('#testlist tbody button').click(); true"));
    ASSERT_TRUE(waitFor([&] { return logHas(QStringLiteral("mode set Mechanics.tst")); }));
    showView(QStringLiteral("classroom"));

    // The workstation: a program folder, a profile naming the server and the pupil, a home of
    // its own.
    QTemporaryDir station;
    const QString prog = station.filePath(QStringLiteral("prog"));
    const QString home = station.filePath(QStringLiteral("home"));
    QDir().mkpath(prog);
    QDir().mkpath(home);
    Profile profile;
    profile.type = "net";
    profile.host = "127.0.0.1";
    profile.port = std::to_string(server->port());
    profile.testName = "*";
    profile.testClass = std::string(kAnyMarker);
    profile.subject = std::string(kAnyMarker);
    profile.classGroup = cp1251::fromUnicode(QStringLiteral("9Б"));
    profile.examineeName = cp1251::fromUnicode(QStringLiteral("Орлов Пётр"));
    ASSERT_TRUE(writeProfile(prog + QStringLiteral("/pupil.pte"), profile));
    QProcessEnvironment env = x.environment();
    env.insert(QStringLiteral("HOME"), home);
    for (const char* xdg : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"})
        env.insert(QLatin1String(xdg), home + QLatin1Char('/') + QLatin1String(xdg));
    QProcess& kvizor = x.launch(program, {prog + QStringLiteral("/pupil.pte"), prog}, env);
    ASSERT_EQ(kvizor.state(), QProcess::Running);
    const auto kvizorSaid = [&] { return kvizor.readAllStandardError().toStdString(); };

    // It appears in the classroom under its host name and waits for the supervisor.
    const QString host = QString::fromUtf8(
        QJsonDocument(QJsonArray{QHostInfo::localHostName()}).toJson(QJsonDocument::Compact));
    const QString row = QStringLiteral("[...document.querySelectorAll('#stations tbody tr')].find("
                                       "r => r.children[2].textContent == %1[0])")
                            .arg(host);
    ASSERT_TRUE(browser.until(row + QStringLiteral(" !== undefined"), 60000))
        << "the workstation did not appear; " << logged() << kvizorSaid();
    ASSERT_TRUE(waitFor([&] { return x.shown(QStringLiteral("Ждите...")) == 1; }, 30000))
        << "no wait for the supervisor on the workstation's screen";
    EXPECT_TRUE(
        browser.until(row + QStringLiteral(".querySelector('.state').textContent == 'подключён'")));
    const int number = browser.eval(row + QStringLiteral(".dataset.number")).toString().toInt();
    ASSERT_GT(number, 0);

    // Allowed on its own, with the test's password: it downloads the test and the pupil starts.
    browser.eval(QStringLiteral("document.getElementById('password').value = 'pw';"
                                "document.querySelector('input[name=who][value=selected]').click();"
                                "%1.querySelector('input').click();"
                                "document.querySelector('[data-action=allow]').click(); true")
                     .arg(row));
    ASSERT_TRUE(waitFor(
        [&] { return logHas(QStringLiteral("sending %1 Mechanics.tst").arg(number)); }, 30000))
        << logged();
    EXPECT_TRUE(browser.until(
        QStringLiteral(
            "document.getElementById('loglines').textContent.includes('sending %1 Mechanics.tst')")
            .arg(number)));
    ASSERT_TRUE(waitFor([&] { return logHas(QStringLiteral("start %1").arg(number)); }, 60000))
        << logged() << kvizorSaid();
    ASSERT_TRUE(browser.until(row + QStringLiteral(".textContent.includes('тестируется')"), 30000));
    EXPECT_TRUE(browser.until(row + QStringLiteral(".textContent.includes('Орлов Пётр')")));
    ASSERT_TRUE(waitFor([&] { return x.shown(QStringLiteral("Квизор")) == 1; }, 30000))
        << "the run window is not on the screen";

    // Paused: the pause window covers the test; resumed: it goes.
    browser.eval(QStringLiteral("document.querySelector('[data-action=pause]').click(); true"));
    ASSERT_TRUE(browser.until(row + QStringLiteral(".textContent.includes('пауза')")));
    EXPECT_TRUE(waitFor([&] { return x.shown(QStringLiteral("Квизор")) == 2; }, 30000))
        << "no pause window on the workstation";
    x.screenshot(QStringLiteral("console-kvizor-paused.png"));
    browser.eval(QStringLiteral("document.querySelector('[data-action=resume]').click(); true"));
    ASSERT_TRUE(browser.until(row + QStringLiteral(".textContent.includes('тестируется')")));
    EXPECT_TRUE(waitFor([&] { return x.shown(QStringLiteral("Квизор")) == 1; }, 30000))
        << "the pause window stayed";

    // A message reaches the pupil's screen.
    browser.eval(QStringLiteral("document.getElementById('message').value = 'Осталось 10 минут';"
                                "document.querySelector('[data-action=message]').click(); true"));
    ASSERT_TRUE(waitFor([&] {
        return logHas(QStringLiteral("message-to %1 Осталось 10 минут").arg(number));
    })) << logged();
    EXPECT_TRUE(waitFor([&] { return x.shown(QStringLiteral("Сообщение")) == 1; }, 30000))
        << "the message did not show on the workstation";
    x.screenshot(QStringLiteral("console-kvizor-message.png"));
    browser.screenshot(QStringLiteral("console-kvizor-page.png"));
    // It goes by itself after a second a line.
    ASSERT_TRUE(waitFor([&] { return x.shown(QStringLiteral("Сообщение")) == 0; }, 30000));

    // The pupil answers at the keyboard: the first two right, the third wrong, then Enter past
    // the last question and F10 in the finish prompt.
    x.type(QStringLiteral("Квизор"),
           {QStringLiteral("1"), QStringLiteral("Return"), QStringLiteral("2"),
            QStringLiteral("Return"), QStringLiteral("1"), QStringLiteral("Return")});
    ASSERT_TRUE(waitFor([&] { return x.shown(QStringLiteral("Квизор")) == 2; }, 30000))
        << "no finish prompt";
    x.type(QStringLiteral("Квизор"), {QStringLiteral("F10")});
    ASSERT_TRUE(waitFor([&] { return logHas(QStringLiteral("result %1 ").arg(number)); }, 60000))
        << logged() << kvizorSaid();
    EXPECT_TRUE(waitFor([&] { return x.shown(QStringLiteral("Результаты")) == 1; }, 30000));
    x.screenshot(QStringLiteral("console-kvizor-result.png"));

    // Two of three right: 66.67 %, the scale's 3, on its row, in the results and in the CSV.
    ASSERT_TRUE(browser.until(row + QStringLiteral(".textContent.includes('закончил')")));
    EXPECT_EQ(
        browser.eval(row + QStringLiteral(".querySelector('td.mark').textContent")).toString(),
        QStringLiteral("3"));
    showView(QStringLiteral("results"));
    EXPECT_TRUE(browser.until(QStringLiteral(
        "document.querySelector('#resultlist tbody') && document.querySelector('#resultlist "
        "tbody').textContent.includes('Орлов Пётр9БMechanics66.67%32 / 3 / 3')")))
        << browser.eval(QStringLiteral("document.querySelector('#resultlist tbody').textContent"))
               .toString()
               .toStdString();
    browser.screenshot(QStringLiteral("console-kvizor-results.png"));
    const QByteArray csv = downloadCsv();
    ASSERT_FALSE(csv.isEmpty()) << "no CSV downloaded";
    const QString table = QString::fromUtf8(csv);
    EXPECT_TRUE(
        table.contains(QStringLiteral(",Орлов Пётр,9Б,Физика,Mechanics,66.67,2,3,3,100.00,")))
        << table.toStdString();
}

} // namespace
} // namespace kvz::testing
