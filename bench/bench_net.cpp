// Network figures, printed only:
//  1. a 50 MB test downloaded over loopback by the real client code (socket adapter and
//     protocol engine) against the same bytes read through a plain socket in the same run;
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
#include <arpa/inet.h>
#include <cstdio>
#include <netinet/in.h>
#include <random>
#include <sys/socket.h>
#include <thread>
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

// A sender thread: accepts one connection, waits for the first bytes (the request), sends the
// payload, then waits for the peer to close.
std::thread sender(int listenFd, std::string payload) {
    return std::thread([listenFd, payload = std::move(payload)] {
        const int fd = ::accept(listenFd, nullptr, nullptr);
        char buf[4096];
        if (::recv(fd, buf, sizeof buf, 0) <= 0) {
            ::close(fd);
            return;
        }
        sendAll(fd, payload.data(), payload.size());
        while (::recv(fd, buf, sizeof buf, 0) > 0) {
        }
        ::close(fd);
    });
}

double seconds(const QElapsedTimer& t) {
    return double(t.nsecsElapsed()) / 1e9;
}

void downloadFigures() {
    const std::size_t size = 50u * 1024 * 1024;
    const std::string archive = randomBytes(size);

    // The plain socket: connect, ask, read every byte.
    double plainRate = 0;
    {
        quint16 port = 0;
        const int lfd = listenLoopback(port);
        std::thread t = sender(lfd, archive);
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        QElapsedTimer clock;
        clock.start();
        sendAll(fd, "GO", 2);
        std::string got;
        got.reserve(size);
        char buf[65536];
        while (got.size() < size) {
            const ssize_t r = ::recv(fd, buf, sizeof buf, 0);
            if (r <= 0)
                break;
            got.append(buf, std::size_t(r));
        }
        plainRate = double(got.size()) / seconds(clock) / 1e6;
        ::close(fd);
        t.join();
        ::close(lfd);
    }

    // The client code: the announced test, "GIVEMETEST", "TSTF" and the archive, "FREE".
    double clientRate = 0;
    bool whole = false;
    {
        quint16 port = 0;
        const int lfd = listenLoopback(port);
        SimulatedWorkstation ws("bench");
        // The announcement first, so the engine knows the size; then the archive on request.
        const std::string announce = "TSTNbig.tst\r\n5\r\nMath\r\n" + std::to_string(size) + "\r\n";
        std::thread t([&] {
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
        ws.socket.connectTo(QStringLiteral("127.0.0.1"), port);
        waitUntil([&] { return ws.engine.offerSize() == std::int32_t(size); }, 20000);
        ws.host.onLoad = [&](const std::string& got) { whole = got == archive; };
        QElapsedTimer clock;
        clock.start();
        ws.engine.requestTest();
        waitUntil([&] { return ws.host.loads > 0; }, 120000);
        clientRate = double(size) / seconds(clock) / 1e6;
        ws.socket.close();
        waitUntil([&] { return ws.lost; }, 5000);
        t.join();
        ::close(lfd);
    }
    std::printf("download 50 MB over loopback: client %.1f MB/s, plain socket %.1f MB/s, "
                "%.0f %% of plain (target >= 50 %%), archive %s\n",
                clientRate, plainRate, 100.0 * clientRate / plainRate,
                whole ? "identical" : "DIFFERENT");
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
    downloadFigures();
    serverFigures();
    return 0;
}
