// Network figures, printed only:
//  1. a 50 MB test downloaded over loopback by the real client code (socket adapter and
//     protocol engine) from a sending process, against a plain process-to-process copy of the
//     same bytes (another process sends, this one reads them into a 64 KB buffer and drops
//     them, as `nc host port >/dev/null` would). The two are timed in turn, run against run,
//     and the median and minimum of the rounds' ratios are printed beside the goal;
//  2. kvizor-server serving a 20 MB test to 40 simulated workstations at once: every download
//     completes, and the server's peak memory against the archive size plus 1 MB a workstation.

#include "net/SimulatedWorkstation.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <netinet/in.h>
#include <random>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using kvz::testing::SimulatedWorkstation;

// Runs the event loop itself (no sleeping between events) until done() holds or time is up.
bool waitUntil(const std::function<bool()>& done, int ms) {
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (done())
            loop.quit();
    });
    check.start(5);
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    if (!done())
        loop.exec();
    return done();
}

std::string randomBytes(std::size_t n) {
    std::string s(n, '\0');
    std::mt19937 rng(7);
    for (auto& c : s)
        c = char(rng());
    return s;
}

int listenLoopback(quint16& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(fd, 1);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    return fd;
}

void sendAll(int fd, const char* p, std::size_t n) {
    while (n > 0) {
        const ssize_t w = ::send(fd, p, n, MSG_NOSIGNAL);
        if (w <= 0)
            return;
        p += w;
        n -= std::size_t(w);
    }
}

// Runs body in a child process (the sending end), which ends when body returns.
pid_t inChild(const std::function<void()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        body();
        ::_exit(0);
    }
    return pid;
}

double seconds(const QElapsedTimer& t) {
    return double(t.nsecsElapsed()) / 1e9;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

int connectLoopback(quint16 port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    return fd;
}

// The plain copy: another process sends the bytes once asked; MB/s, or -1.
double plainCopy(const std::string& archive) {
    quint16 port = 0;
    const int lfd = listenLoopback(port);
    const pid_t child = inChild([&] {
        const int fd = ::accept(lfd, nullptr, nullptr);
        char buf[4096];
        if (::recv(fd, buf, sizeof buf, 0) > 0) {
            sendAll(fd, archive.data(), archive.size());
            while (::recv(fd, buf, sizeof buf, 0) > 0) {
            }
        }
        ::close(fd);
    });
    const int fd = connectLoopback(port);
    QElapsedTimer clock;
    clock.start();
    sendAll(fd, "GO", 2);
    std::size_t got = 0;
    static char buf[65536];
    while (got < archive.size()) {
        const ssize_t r = ::recv(fd, buf, sizeof buf, 0);
        if (r <= 0)
            break;
        got += std::size_t(r);
    }
    const double rate = double(got) / seconds(clock) / 1e6;
    ::close(fd);
    ::waitpid(child, nullptr, 0);
    ::close(lfd);
    return got == archive.size() ? rate : -1;
}

// The client code: the announced test, "GIVEMETEST", "TSTF" and the archive, "FREE"; MB/s, or
// -1 when the archive did not arrive whole.
double clientCopy(const std::string& archive) {
    quint16 port = 0;
    const int lfd = listenLoopback(port);
    const std::size_t size = archive.size();
    // The announcement first, so the engine knows the size; then the archive on request.
    const std::string announce = "TSTNbig.tst\r\n5\r\nMath\r\n" + std::to_string(size) + "\r\n";
    const pid_t child = inChild([&] {
        const int fd = ::accept(lfd, nullptr, nullptr);
        char buf[4096];
        ::recv(fd, buf, sizeof buf, 0); // HOST
        sendAll(fd, announce.data(), announce.size());
        std::string request;
        while (request.find(".tst") == std::string::npos) {
            const ssize_t r = ::recv(fd, buf, sizeof buf, 0);
            if (r <= 0)
                break;
            request.append(buf, std::size_t(r));
        }
        const std::string word = "TSTF";
        sendAll(fd, word.data(), word.size());
        sendAll(fd, archive.data(), archive.size());
        while (::recv(fd, buf, sizeof buf, 0) > 0) {
        }
        ::close(fd);
    });
    bool whole = false;
    double rate = -1;
    {
        SimulatedWorkstation ws("bench");
        ws.socket.connectTo(QStringLiteral("127.0.0.1"), port);
        waitUntil([&] { return ws.engine.offerSize() == std::int32_t(size); }, 20000);
        QElapsedTimer clock;
        qint64 tookNs = 0;
        ws.host.onLoad = [&](const std::string& got) {
            tookNs = clock.nsecsElapsed();
            whole = got == archive;
        };
        clock.start();
        ws.engine.requestTest();
        waitUntil([&] { return ws.host.loads > 0; }, 120000);
        if (tookNs > 0)
            rate = double(size) / (double(tookNs) / 1e9) / 1e6;
        ws.socket.close();
        waitUntil([&] { return ws.lost; }, 5000);
    }
    ::waitpid(child, nullptr, 0);
    ::close(lfd);
    return whole ? rate : -1;
}

void downloadFigures(int rounds) {
    const std::string archive = randomBytes(50u * 1024 * 1024);
    std::vector<double> ratios, plain, client;
    for (int round = 0; round < rounds; ++round) {
        // Each round starts with the other one, so a drift in the machine's load favours
        // neither.
        double p, c;
        if (round % 2 == 0) {
            p = plainCopy(archive);
            c = clientCopy(archive);
        } else {
            c = clientCopy(archive);
            p = plainCopy(archive);
        }
        if (p <= 0 || c <= 0) {
            std::printf("download 50 MB over loopback: %s\n",
                        c <= 0 ? "the client's archive was not whole" : "the plain copy failed");
            return;
        }
        plain.push_back(p);
        client.push_back(c);
        ratios.push_back(c / p);
    }
    std::printf("download 50 MB over loopback (%d rounds): client median %.0f MB/s, plain "
                "process-to-process copy median %.0f MB/s; client/plain run against run: median "
                "%.0f %%, min %.0f %% (goal >= 50 %%)\n",
                rounds, median(client), median(plain), 100 * median(ratios),
                100 * *std::min_element(ratios.begin(), ratios.end()));
}

long peakKb(qint64 pid) {
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

void serverFigures() {
    const int stations = 40;
    const std::size_t size = 20u * 1024 * 1024;
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath(QStringLiteral("tests")));
    {
        QFile f(dir.filePath(QStringLiteral("tests/Big.tst")));
        f.open(QIODevice::WriteOnly);
        const std::string body =
            randomBytes(size - 16) + std::string("\0c\0", 3) + "10" + '\0' + "Math" + '\0' + "t";
        f.write(body.data(), qint64(body.size()));
    }
    QProcess server;
    QByteArray log;
    QObject::connect(&server, &QProcess::readyReadStandardOutput,
                     [&] { log += server.readAllStandardOutput(); });
    server.start(QStringLiteral(KVIZOR_BINARY_DIR "/tools/kvizor-server"),
                 {dir.filePath(QStringLiteral("tests")), dir.filePath(QStringLiteral("results")),
                  QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--listen"),
                  QStringLiteral("127.0.0.1"), QStringLiteral("--poll"), QStringLiteral("1000")});
    if (!waitUntil([&] { return log.contains("listening "); }, 10000)) {
        std::printf("kvizor-server did not start\n");
        return;
    }
    // The server offers nothing until the supervisor says so.
    server.write("choice\n");
    if (!waitUntil([&] { return log.contains("mode choice"); }, 10000)) {
        std::printf("kvizor-server did not take the command\n");
        return;
    }
    const qsizetype at = log.indexOf("listening ");
    const quint16 port = quint16(log.mid(at).split('\n').value(0).split(' ').value(2).toUInt());
    const long startKb = peakKb(server.processId());

    std::vector<std::unique_ptr<SimulatedWorkstation>> ws;
    for (int i = 0; i < stations; ++i) {
        ws.push_back(std::make_unique<SimulatedWorkstation>("pc-" + std::to_string(i)));
        ws.back()->socket.connectTo(QStringLiteral("127.0.0.1"), port);
    }
    waitUntil(
        [&] {
            for (auto& w : ws)
                if (w->engine.choiceItems().empty())
                    return false;
            return true;
        },
        30000);
    QElapsedTimer clock;
    clock.start();
    for (auto& w : ws) {
        w->host.onLoad = [](const std::string&) {}; // the bench keeps no copies
        w->engine.takeChoice(0);
        w->engine.requestTest();
    }
    int done = 0;
    waitUntil(
        [&] {
            done = 0;
            for (auto& w : ws)
                done += w->host.loads > 0;
            return done == stations;
        },
        600000);
    const double took = seconds(clock);
    const long peak = peakKb(server.processId());
    const long budgetKb = long(size / 1024) + 1024L * stations;
    std::printf("kvizor-server, 20 MB test to %d workstations: %d complete in %.1f s; server "
                "peak memory %ld KB (at start %ld KB), budget archive + 1 MB each = %ld KB: %s\n",
                stations, done, took, peak, startKb, budgetKb,
                peak >= 0 && peak < budgetKb ? "within" : "OVER");
    server.kill();
    server.waitForFinished();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // bench_net [ROUNDS] [--download]: the second leaves out the server figures.
    const QStringList args = app.arguments();
    downloadFigures(args.size() >= 2 ? std::max(1, args[1].toInt()) : 9);
    if (!args.contains(QStringLiteral("--download")))
        serverFigures();
    return 0;
}
