// kvizor-server figures, printed only:
//  1. the message parser's rate on 16 MB of each hostile burst and of an honest stream (polls
//     answered, requests, a result archive), on one core, beside the goal of 50 MB/s hostile;
//  2. the server process taking a 16 MB burst of each word over loopback while a good
//     workstation is polled: the time it took and the longest wait between two of its polls;
//  3. the server's memory with 40 honest workstations (each downloads a 2 MB test) and 5
//     hostile ones (bursts, a client that never reads, idle, an archive that never ends).

#include "ClientStream.h"
#include "net/HostileClients.h"
#include "net/SimulatedWorkstation.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <cstdio>

namespace {

using kvz::server::ClientMessage;
using kvz::server::ClientStream;
using kvz::testing::connectRaw;
using kvz::testing::randomBytes;
using kvz::testing::Reading;
using kvz::testing::repeated;
using kvz::testing::SimulatedWorkstation;
using kvz::testing::statusKb;
using kvz::testing::waitUntil;

constexpr std::size_t kBurst = 16u * 1024 * 1024;

// MB/s of cutting bytes into messages, fed in reads of 64 KB as a socket gives them.
double parseRate(const std::string& bytes) {
    QElapsedTimer clock;
    clock.start();
    ClientStream s;
    ClientMessage m;
    std::size_t messages = 0;
    for (std::size_t at = 0; at < bytes.size(); at += 65536) {
        s.add(std::string_view(bytes).substr(at, 65536));
        while (s.next(m, false))
            ++messages;
    }
    while (s.next(m, true))
        ++messages;
    const double seconds = double(std::max<qint64>(clock.nsecsElapsed(), 1)) / 1e9;
    return double(bytes.size()) / (1024.0 * 1024.0) / seconds;
}

void parserFigures() {
    std::string honest;
    const std::string zip = "PK\x03\x04" + randomBytes(2000) + std::string("PK\x05\x06", 4) +
                            std::string(8, '\0') + std::string("\x00\x00\x00\x00", 4) +
                            std::string("\xd4\x07\x00\x00", 4) + std::string(2, '\0');
    while (honest.size() < kBurst)
        honest += "HOSTpc-17FRESH\r\n17\r\n1\r\n?\r\n\r\nGIVEMETESTOptics.tstFREESTART"
                  "FRESH\r\n17\r\n1\r\nOptics.tst\r\nIvanov Ivan\r\n" +
                  zip;
    const double honestRate = parseRate(honest);
    std::printf("parser, honest stream: %.0f MB/s\n", honestRate);
    const struct {
        const char* what;
        std::string bytes;
    } bursts[] = {
        {"GIVEMETEST", repeated("GIVEMETEST", kBurst)},
        {"GIVEMETEST name.tst", repeated("GIVEMETESTOptics.tst", kBurst)},
        {"HOST", repeated("HOST", kBurst)},
        {"FRESH", repeated("FRESH\r\n", kBurst)},
        {"FRESH without line ends", repeated("FRESH", kBurst)},
        {"FREE", repeated("FREE", kBurst)},
        {"START", repeated("START", kBurst)},
        {"SEND", repeated("SEND", kBurst)},
        {"xFREE", repeated("xFREE", kBurst)},
        {"random bytes", randomBytes(kBurst)},
        {"archive without end", "PK\x03\x04" + repeated("z", kBurst)},
    };
    for (const auto& b : bursts) {
        const double rate = parseRate(b.bytes);
        std::printf("parser, 16 MB of %-24s %8.0f MB/s (%.2f of honest; goal 50 MB/s: %s)\n",
                    b.what, rate, rate / honestRate, rate >= 50 ? "met" : "NOT MET");
    }
}

struct ServerRun {
    QTemporaryDir dir;
    QProcess process;
    QByteArray log;
    quint16 port = 0;

    bool start(std::size_t testSize) {
        QDir().mkpath(dir.filePath(QStringLiteral("tests")));
        QFile f(dir.filePath(QStringLiteral("tests/Big.tst")));
        if (!f.open(QIODevice::WriteOnly))
            return false;
        const std::string body =
            randomBytes(testSize) + std::string("\0c\0", 3) + "10" + '\0' + "Math" + '\0';
        f.write(body.data(), qint64(body.size()));
        f.close();
        QObject::connect(&process, &QProcess::readyReadStandardOutput,
                         [this] { log += process.readAllStandardOutput(); });
        process.start(QStringLiteral(KVIZOR_BINARY_DIR "/tools/kvizor-server"),
                      {dir.filePath(QStringLiteral("tests")),
                       dir.filePath(QStringLiteral("results")), QStringLiteral("--port"),
                       QStringLiteral("0"), QStringLiteral("--listen"), QStringLiteral("127.0.0.1"),
                       QStringLiteral("--poll"), QStringLiteral("500")});
        if (!waitUntil([&] { return log.contains("listening "); }, 10000))
            return false;
        port = quint16(
            log.mid(log.indexOf("listening ")).split('\n').value(0).split(' ').value(2).toUInt());
        process.write("choice\n");
        return waitUntil([&] { return log.contains("mode choice"); }, 10000);
    }
    int count(const QByteArray& prefix) const {
        int n = 0;
        for (const QByteArray& line : log.split('\n'))
            n += line.startsWith(prefix);
        return n;
    }
    ~ServerRun() {
        process.kill();
        process.waitForFinished();
    }
};

void processFigures() {
    ServerRun run;
    if (!run.start(100000)) {
        std::printf("kvizor-server did not start\n");
        return;
    }
    SimulatedWorkstation good("good");
    good.socket.connectTo(QStringLiteral("127.0.0.1"), run.port);
    waitUntil([&] { return good.engine.choiceShown(); }, 10000);
    const QByteArray goodPolls = "fresh 1 ";
    const struct {
        const char* what;
        std::string bytes;
    } bursts[] = {{"GIVEMETEST", repeated("GIVEMETEST", kBurst)},
                  {"HOST", repeated("HOST", kBurst)},
                  {"FRESH", repeated("FRESH\r\n", kBurst)},
                  {"xFREE", repeated("xFREE", kBurst)},
                  {"random bytes", randomBytes(kBurst)}};
    for (const auto& b : bursts) {
        QTcpSocket hostile;
        connectRaw(hostile, run.port, Reading::Reads, 5000);
        QElapsedTimer clock;
        clock.start();
        hostile.write(b.bytes.data(), qint64(b.bytes.size()));
        int polls = run.count(goodPolls);
        qint64 last = 0, longest = 0;
        waitUntil(
            [&] {
                if (run.count(goodPolls) != polls) {
                    polls = run.count(goodPolls);
                    longest = std::max(longest, clock.elapsed() - last);
                    last = clock.elapsed();
                }
                return hostile.bytesToWrite() == 0 ||
                       hostile.state() != QAbstractSocket::ConnectedState;
            },
            120000);
        const double seconds = double(clock.elapsed()) / 1000.0;
        std::printf("server process, 16 MB of %-12s taken in %.2f s (%.0f MB/s); longest wait "
                    "between two polls of a good workstation %lld ms (poll 500 ms)\n",
                    b.what, seconds, 16.0 / std::max(seconds, 0.001), longest);
        hostile.abort();
    }
}

void memoryFigures() {
    const std::size_t testSize = 2u * 1024 * 1024;
    ServerRun run;
    if (!run.start(testSize)) {
        std::printf("kvizor-server did not start\n");
        return;
    }
    const qint64 pid = run.process.processId();
    const long startKb = statusKb(pid, "VmRSS:");
    std::vector<std::unique_ptr<SimulatedWorkstation>> honest;
    for (int i = 0; i < 40; ++i) {
        honest.push_back(std::make_unique<SimulatedWorkstation>("pc-" + std::to_string(i)));
        honest.back()->host.onLoad = [](const std::string&) {};
        honest.back()->socket.connectTo(QStringLiteral("127.0.0.1"), run.port);
    }
    waitUntil(
        [&] {
            for (auto& w : honest)
                if (!w->engine.choiceShown())
                    return false;
            return true;
        },
        30000);
    std::vector<std::unique_ptr<QTcpSocket>> hostile;
    const std::string bursts[] = {repeated("HOSTxFRESH\r\n1\r\n0\r\n?\r\n\r\n", kBurst),
                                  repeated("GIVEMETEST", kBurst), randomBytes(kBurst),
                                  "PK\x03\x04" + repeated("z", kBurst + 1024), std::string()};
    for (const std::string& b : bursts) {
        hostile.push_back(std::make_unique<QTcpSocket>());
        connectRaw(*hostile.back(), run.port, Reading::Never, 5000);
        hostile.back()->write(b.data(), qint64(b.size()));
    }
    for (auto& w : honest) {
        w->engine.takeChoice(0);
        w->engine.requestTest();
    }
    int done = 0;
    waitUntil(
        [&] {
            done = 0;
            for (auto& w : honest)
                done += w->host.loads > 0;
            return done == 40;
        },
        120000);
    waitUntil([] { return false; }, 3000); // the hostile ones go on a while
    const long rss = statusKb(pid, "VmRSS:");
    const long peak = statusKb(pid, "VmHWM:");
    const long budgetKb = long(testSize / 1024) + 1024L * 45;
    std::printf("server memory, 40 honest (%d downloaded 2 MB) + 5 hostile: resident %ld KB, peak "
                "%ld KB, at start %ld KB; budget archive + 1 MB a workstation = %ld KB above "
                "start: %s\n",
                done, rss, peak, startKb, budgetKb, peak - startKb < budgetKb ? "within" : "OVER");
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    parserFigures();
    processFigures();
    memoryFigures();
    return 0;
}
