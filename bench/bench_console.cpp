// The supervisor's console, figures printed only, each beside its goal:
//  1. the page's load over loopback (page, script, style with the cookie) and their size;
//  2. how soon a change reaches three open consoles with 40 workstations connected: a switch
//     set from one page, and a workstation that leaves;
//  3. the server's memory with 40 workstations (each downloads a 2 MB test) and 3 consoles.

#include "net/HostileClients.h"
#include "net/SimulatedWorkstation.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkRequest>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QWebSocket>
#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

using kvz::testing::randomBytes;
using kvz::testing::SimulatedWorkstation;
using kvz::testing::statusKb;
using kvz::testing::waitUntil;

struct Run {
    QTemporaryDir dir;
    QProcess process;
    QByteArray log;
    quint16 port = 0, consolePort = 0;
    QByteArray token;

    bool start(std::size_t testSize) {
        QDir().mkpath(dir.filePath(QStringLiteral("tests")));
        QFile f(dir.filePath(QStringLiteral("tests/Big.tst")));
        if (!f.open(QIODevice::WriteOnly))
            return false;
        std::string body = randomBytes(testSize);
        body += std::string("\0c\0", 3) + "10" + '\0' + "Math" + '\0';
        f.write(body.data(), qint64(body.size()));
        f.close();
        QObject::connect(&process, &QProcess::readyReadStandardOutput,
                         [this] { log += process.readAllStandardOutput(); });
        process.start(QStringLiteral(KVIZOR_BINARY_DIR "/tools/kvizor-server"),
                      {dir.filePath(QStringLiteral("tests")),
                       dir.filePath(QStringLiteral("results")), QStringLiteral("--port"),
                       QStringLiteral("0"), QStringLiteral("--listen"), QStringLiteral("127.0.0.1"),
                       QStringLiteral("--poll"), QStringLiteral("1000"),
                       QStringLiteral("--console"), QStringLiteral("127.0.0.1:0")});
        if (!waitUntil([&] { return log.contains("\nconsole http"); }, 10000))
            return false;
        port = quint16(
            log.mid(log.indexOf("listening ")).split('\n').value(0).split(' ').value(2).toUInt());
        const QByteArray url = log.mid(log.indexOf("console http")).split('\n').value(0);
        consolePort = quint16(url.mid(url.lastIndexOf(':') + 1).split('/').value(0).toUInt());
        token = url.mid(url.indexOf("token=") + 6);
        process.write("choice\n");
        return waitUntil([&] { return log.contains("mode choice"); }, 10000);
    }
    QByteArray get(const QByteArray& path) {
        QTcpSocket s;
        s.connectToHost(QStringLiteral("127.0.0.1"), consolePort);
        if (!s.waitForConnected(5000))
            return {};
        s.write("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nCookie: kvizor_console=" + token +
                "\r\n\r\n");
        QByteArray answer;
        while (s.waitForReadyRead(5000))
            answer += s.readAll();
        return answer.mid(answer.indexOf("\r\n\r\n") + 4);
    }
    ~Run() {
        process.kill();
        process.waitForFinished();
    }
};

struct Page {
    QWebSocket socket;
    QJsonObject state;
    QElapsedTimer clock;
    qint64 changedAt = -1;
    std::function<bool(const QJsonObject&)> awaited;
    Page(const Run& run) {
        clock.start();
        QObject::connect(&socket, &QWebSocket::textMessageReceived, [this](const QString& text) {
            const QJsonObject m = QJsonDocument::fromJson(text.toUtf8()).object();
            if (m[QStringLiteral("type")] != QStringLiteral("state"))
                return;
            state = m;
            if (awaited && changedAt < 0 && awaited(m))
                changedAt = clock.elapsed();
        });
        QNetworkRequest request(QUrl(QStringLiteral("ws://127.0.0.1:%1/ws").arg(run.consolePort)));
        request.setRawHeader("Cookie", "kvizor_console=" + run.token);
        socket.open(request);
    }
};

void pageFigures(Run& run) {
    std::vector<qint64> times;
    qsizetype size = 0;
    for (int i = 0; i < 20; ++i) {
        QElapsedTimer clock;
        clock.start();
        size = 0;
        for (const QByteArray path : {"/", "/console.js", "/console.css"})
            size += run.get(path).size();
        times.push_back(clock.elapsed());
    }
    std::sort(times.begin(), times.end());
    std::printf("page load (page, script, style; one after another): median %lld ms, worst %lld "
                "ms; goal < 100 ms: %.2f of it. Resources %lld bytes; goal < 200 KB: %.3f of it\n",
                times[times.size() / 2], times.back(), double(times[times.size() / 2]) / 100.0,
                static_cast<long long>(size), double(size) / (200.0 * 1024));
}

void changeFigures(std::vector<std::unique_ptr<Page>>& pages,
                   std::vector<std::unique_ptr<SimulatedWorkstation>>& stations) {
    auto measure = [&](const std::function<void()>& act,
                       const std::function<bool(const QJsonObject&)>& seen) {
        for (auto& p : pages) {
            p->changedAt = -1;
            p->awaited = seen;
        }
        const qint64 start = pages[0]->clock.elapsed();
        act();
        waitUntil(
            [&] {
                return std::all_of(pages.begin(), pages.end(),
                                   [](const auto& p) { return p->changedAt >= 0; });
            },
            5000);
        qint64 worst = 0;
        for (auto& p : pages)
            worst = std::max(worst, p->changedAt < 0 ? 5000 : p->changedAt - start);
        return worst;
    };
    std::vector<qint64> switches, leaves;
    for (int i = 0; i < 10; ++i) {
        const bool on = i % 2 == 0;
        switches.push_back(measure(
            [&] {
                pages[0]->socket.sendTextMessage(
                    QStringLiteral(R"({"action":"shuffle","on":%1})")
                        .arg(on ? QStringLiteral("true") : QStringLiteral("false")));
            },
            [on](const QJsonObject& s) { return s[QStringLiteral("shuffle")].toBool() == on; }));
    }
    for (int i = 0; i < 10 && !stations.empty(); ++i) {
        const std::string host = "pc-" + std::to_string(i);
        leaves.push_back(
            measure([&] { stations[std::size_t(i)].reset(); },
                    [host](const QJsonObject& s) {
                        for (const QJsonValue v : s[QStringLiteral("stations")].toArray())
                            if (v[QStringLiteral("host")].toString().toStdString() == host &&
                                v[QStringLiteral("gone")].toBool())
                                return true;
                        return false;
                    }));
    }
    for (auto* figures : {&switches, &leaves})
        std::sort(figures->begin(), figures->end());
    std::printf("a change at 3 consoles, 40 workstations: switch from a page median %lld ms, "
                "worst %lld ms; a workstation leaving median %lld ms, worst %lld ms; goal 200 ms: "
                "worst %.2f of it\n",
                switches[5], switches.back(), leaves[5], leaves.back(),
                double(std::max(switches.back(), leaves.back())) / 200.0);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const std::size_t testSize = 2u * 1024 * 1024;
    Run run;
    if (!run.start(testSize)) {
        std::printf("kvizor-server did not start\n");
        return 1;
    }
    const qint64 pid = run.process.processId();
    const long startKb = statusKb(pid, "VmRSS:");
    pageFigures(run);
    std::vector<std::unique_ptr<Page>> pages;
    for (int i = 0; i < 3; ++i)
        pages.push_back(std::make_unique<Page>(run));
    std::vector<std::unique_ptr<SimulatedWorkstation>> stations;
    for (int i = 0; i < 40; ++i) {
        stations.push_back(std::make_unique<SimulatedWorkstation>("pc-" + std::to_string(i)));
        stations.back()->host.onLoad = [](const std::string&) {};
        stations.back()->socket.connectTo(QStringLiteral("127.0.0.1"), run.port);
    }
    waitUntil(
        [&] {
            return std::all_of(stations.begin(), stations.end(),
                               [](const auto& w) { return w->engine.choiceShown(); });
        },
        60000);
    for (auto& w : stations) {
        w->engine.takeChoice(0);
        w->engine.requestTest();
    }
    waitUntil([&] { return run.log.count("\nfree ") >= 40; }, 120000);
    waitUntil([] { return false; }, 2000);
    const long rss = statusKb(pid, "VmRSS:");
    const long peak = statusKb(pid, "VmHWM:");
    const long budgetKb = long(testSize / 1024) + 1024L * 40;
    std::printf("server memory, 40 workstations (%lld downloaded 2 MB), 3 consoles: resident %ld "
                "KB, peak %ld KB, at start %ld KB; budget archive + 1 MB a workstation = %ld KB "
                "above start: peak above start %.2f of it\n",
                static_cast<long long>(run.log.count("\nfree ")), rss, peak, startKb, budgetKb,
                double(peak - startKb) / double(budgetKb));
    changeFigures(pages, stations);
    return 0;
}
