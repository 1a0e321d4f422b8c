#include "Server.h"
#include "ClientStream.h"
#include "l10n/Cp1251.h"
#include "net/HostileClients.h"
#include "net/ProtocolText.h"
#include "net/ServerProcess.h"
#include "net/SimulatedWorkstation.h"
#include "results/ResultPassword.h"
#include "test/ZipMemory.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace kvz::testing {
namespace {

using server::ClientMessage;
using server::ClientStream;

std::string zipBytes(const std::string& password) {
    const auto zip = writeEncryptedZip(
        {{"inform.dat", QByteArray("summary")}, {"inform160.dat", QByteArray(5000, 'q')}},
        password);
    return zip ? zip->toStdString() : std::string();
}

// The test file kvizor-server offers: any bytes, ended by the catalogue trailer.
void writeTest(const QString& path, const std::string& klass, const std::string& subject,
               const std::string& body) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    const std::string all = body + std::string("\0c\0", 3) + klass + '\0' + subject + '\0';
    f.write(all.data(), qint64(all.size()));
}

using Lines = std::vector<std::string_view>;

void settle(int ms) {
    waitUntil([] { return false; }, ms);
}
Lines freshLines(const ClientMessage& m) {
    return Lines(m.lines.begin(), m.lines.end());
}

TEST(ClientStream, CutsTheWorkstationsMessages) {
    ClientStream s;
    ClientMessage m;
    // Messages that arrived together.
    s.add("GIVEMETESTOptics.tstFRESH\r\n7\r\n1\r\n?\r\nIvanov\r\nFREESTART");
    ASSERT_TRUE(s.next(m, false));
    EXPECT_EQ(m.kind, ClientMessage::GiveMeTest);
    EXPECT_EQ(m.text, "Optics.tst");
    ASSERT_TRUE(s.next(m, false));
    EXPECT_EQ(m.kind, ClientMessage::Fresh);
    EXPECT_EQ(freshLines(m), (Lines{"7", "1", "?", "Ivanov"}));
    ASSERT_TRUE(s.next(m, false));
    EXPECT_EQ(m.kind, ClientMessage::Free);
    ASSERT_TRUE(s.next(m, false));
    EXPECT_EQ(m.kind, ClientMessage::Start);
    EXPECT_FALSE(s.next(m, false));

    // Pieces of words and texts wait; a text without an end is taken when the stream is quiet.
    s.add("FRE");
    EXPECT_FALSE(s.next(m, false));
    s.add("SH\r\n1\r\n0\r\n");
    EXPECT_FALSE(s.next(m, false));
    s.add("a.tst\r\n \r\nHOSTpc-");
    ASSERT_TRUE(s.next(m, false));
    EXPECT_EQ(freshLines(m), (Lines{"1", "0", "a.tst", " "}));
    EXPECT_FALSE(s.next(m, false));
    s.add("07");
    ASSERT_TRUE(s.next(m, true));
    EXPECT_EQ(m.kind, ClientMessage::Host);
    EXPECT_EQ(m.text, "pc-07");

    // Bytes that are no message are dropped up to the next word.
    s.add("xyzSENDhello");
    ASSERT_TRUE(s.next(m, false));
    EXPECT_EQ(m.kind, ClientMessage::Garbage);
    EXPECT_EQ(m.bytes, "xyz");
    ASSERT_TRUE(s.next(m, true));
    EXPECT_EQ(m.text, "hello");
    EXPECT_EQ(s.buffered(), 0u);
}

// A request names its test up to the last ".tst" (any case) of its text.
TEST(ClientStream, ARequestEndsAtItsLastTestExtension) {
    const struct {
        const char* what;
        std::string bytes;
        bool quiet;
        std::string name;
        std::vector<ClientMessage::Kind> then;
    } cases[] = {
        {"a name holding .tst", "GIVEMETESTmy.tst-copy.tst", false, "my.tst-copy.tst", {}},
        {"an upper-case extension", "GIVEMETESTOptics.TST", false, "Optics.TST", {}},
        {"followed by a poll answer",
         "GIVEMETESTa.tst.tstFRESH\r\n1\r\n1\r\n?\r\n\r\n",
         false,
         "a.tst.tst",
         {ClientMessage::Fresh}},
        {"bytes after the name are read as words",
         "GIVEMETESTa.tstFREE",
         true,
         "a.tst",
         {ClientMessage::Free}},
        {"no extension, taken when quiet", "GIVEMETESTПо выбору", true, "По выбору", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ClientStream s;
        ClientMessage m;
        s.add(c.bytes);
        ASSERT_TRUE(s.next(m, c.quiet));
        EXPECT_EQ(m.kind, ClientMessage::GiveMeTest);
        EXPECT_EQ(m.text, c.name);
        std::vector<ClientMessage::Kind> then;
        while (s.next(m, true))
            then.push_back(m.kind);
        EXPECT_EQ(then, c.then);
    }
    // A name not yet ended waits for the rest.
    ClientStream s;
    ClientMessage m;
    s.add("GIVEMETESTmy.tst-co");
    EXPECT_FALSE(s.next(m, false));
    s.add("py.tst");
    ASSERT_TRUE(s.next(m, false));
    EXPECT_EQ(m.text, "my.tst-copy.tst");
}

TEST(ClientStream, ResultArchiveEndsWithItsEndRecord) {
    const std::string zip = zipBytes(resultPassword());
    ASSERT_FALSE(zip.empty());
    EXPECT_EQ(ClientStream::zipLength(zip), zip.size());
    EXPECT_EQ(ClientStream::zipLength(zip.substr(0, zip.size() - 1)), 0u);
    // An end signature inside the data is not the end.
    std::string fake = "PK\x03\x04" + std::string("PK\x05\x06", 4) + std::string(30, '\x01');
    EXPECT_EQ(ClientStream::zipLength(fake), 0u);

    ClientStream s;
    ClientMessage m;
    std::vector<ClientMessage::Kind> kinds;
    for (char c : zip + "FREE") {
        s.add(std::string(1, c));
        while (s.next(m, false)) {
            kinds.push_back(m.kind);
            if (m.kind == ClientMessage::Result) {
                EXPECT_EQ(m.bytes, zip);
            }
        }
    }
    EXPECT_EQ(kinds, (std::vector{ClientMessage::Result, ClientMessage::Free}));

    // An archive that never ends is given up at the cap.
    ClientStream endless;
    endless.add("PK\x03\x04");
    endless.add(std::string(ClientStream::kMaxResult, 'z'));
    ASSERT_TRUE(endless.next(m, false));
    EXPECT_EQ(m.kind, ClientMessage::TooLong);
    EXPECT_EQ(endless.buffered(), 0u);
}

// What the parser makes of a burst of each word, whatever the size of the reads: every byte
// accounted for, and the buffer gives its memory back.
TEST(ClientStream, BurstsOfEveryWordAreCutWhole) {
    const std::string words[] = {"GIVEMETEST",
                                 "HOST",
                                 "FRESH\r\n",
                                 "FREE",
                                 "START",
                                 "SEND",
                                 "xFREE",
                                 "FRESH",
                                 "PK\x03",
                                 "GIVEMETESTa.tst",
                                 "HOSTxFRESH\r\n1\r\n0\r\n?\r\n\r\n"};
    for (const std::string& word : words) {
        SCOPED_TRACE(word);
        std::string burst;
        while (burst.size() < 1024 * 1024)
            burst += word;
        ClientStream s;
        ClientMessage m;
        std::size_t taken = 0;
        auto take = [&](bool quiet) {
            while (s.next(m, quiet))
                ++taken;
        };
        for (std::size_t at = 0; at < burst.size(); at += 65536) {
            s.add(std::string_view(burst).substr(at, 65536));
            take(false);
            EXPECT_LE(s.buffered(), ClientStream::kMaxText + 65536);
        }
        take(true);
        EXPECT_LE(s.buffered(), ClientStream::kMaxText); // a poll answer waits for its lines
        EXPECT_GT(taken, 0u);
        s.add("");
        EXPECT_LE(s.capacity(), 512u * 1024);
    }
}

TEST(ServerFields, UnsafeNamesAreRefused) {
    EXPECT_TRUE(server::Server::unsafeField("Optics", "10", "Physics").isEmpty());
    EXPECT_FALSE(server::Server::unsafeField("a:b", "10", "Physics").isEmpty());
    EXPECT_FALSE(server::Server::unsafeField("a*b", "10", "Physics").isEmpty());
    EXPECT_FALSE(server::Server::unsafeField("a<b", "10", "Physics").isEmpty());
    EXPECT_FALSE(server::Server::unsafeField("a", "10, 11", "Physics").isEmpty());
    EXPECT_FALSE(server::Server::unsafeField("a", "10", "x:y").isEmpty());
}

TEST(ServerFields, WorkstationTextsAreEscapedForTheLog) {
    using server::Server;
    EXPECT_EQ(Server::escaped(QStringLiteral("pc-07 Иванов")), QStringLiteral("pc-07 Иванов"));
    EXPECT_EQ(Server::escaped(QStringLiteral("a\nresult 1 x\r")),
              QStringLiteral("a\\nresult 1 x\\r"));
    EXPECT_EQ(Server::escaped(QStringLiteral("a\\nb")), QStringLiteral("a\\\\nb"));
    EXPECT_EQ(Server::escaped(QString(QChar(0x1b)) + QChar(0x85) + QChar(0x2028)),
              QStringLiteral("\\x1b\\x85\\u2028"));
}

// A folder of tests: bytes of any kind, ended by the catalogue trailer.
struct ServerRig {
    QTemporaryDir dir;
    QStringList logLines;
    std::unique_ptr<server::Server> server;

    void addTest(const QString& file, const std::string& klass, const std::string& subject,
                 const std::string& body) {
        writeTest(dir.filePath(QStringLiteral("tests/") + file), klass, subject, body);
    }
    void start(int pollMs = 200) {
        server::ServerOptions o;
        o.testsFolder = dir.filePath(QStringLiteral("tests"));
        o.resultsFolder = dir.filePath(QStringLiteral("results"));
        o.address = QHostAddress::LocalHost;
        o.port = 0;
        o.pollMs = pollMs;
        o.gapMs = 50;
        server = std::make_unique<server::Server>(o, [this](const QString& l) { logLines << l; });
        ASSERT_TRUE(server->start());
    }
    int count(const QString& prefix) const {
        int n = 0;
        for (const QString& l : logLines)
            n += l.startsWith(prefix);
        return n;
    }
    bool has(const QString& prefix) const { return count(prefix) > 0; }
    QStringList results() const {
        return QDir(dir.filePath(QStringLiteral("results")))
            .entryList({QStringLiteral("*.rst")}, QDir::Files);
    }
};

TEST(Server, ThirtyWorkstationsTakeTheirTestAtOnce) {
    ServerRig rig;
    std::string body(300000, '\0');
    for (std::size_t i = 0; i < body.size(); ++i)
        body[i] = char(i * 31 + i / 7);
    rig.addTest(QStringLiteral("Optics.tst"), "10", "Physics", body);
    rig.addTest(QStringLiteral("Bad:one.tst"), "10", "Physics", "x");
    rig.addTest(QStringLiteral("Bad2.tst"), "10, 11", "Physics", "x");
    rig.start();
    EXPECT_EQ(rig.server->tests().size(), 1u);
    EXPECT_EQ(rig.count(QStringLiteral("test-skipped")), 2);
    rig.server->command(QStringLiteral("choice"));

    std::vector<std::unique_ptr<SimulatedWorkstation>> stations;
    for (int i = 0; i < 30; ++i) {
        stations.push_back(std::make_unique<SimulatedWorkstation>("pc-" + std::to_string(i)));
        stations.back()->socket.connectTo(QStringLiteral("127.0.0.1"), rig.server->port());
    }
    ASSERT_TRUE(waitUntil([&] {
        for (auto& s : stations)
            if (s->engine.choiceItems().size() != 1)
                return false;
        return true;
    }));
    EXPECT_EQ(stations[0]->engine.choiceItems()[0], "Optics <10, Physics>");
    // The examinees choose and press Start.
    for (auto& s : stations) {
        s->engine.takeChoice(0);
        s->engine.requestTest();
    }
    ASSERT_TRUE(waitUntil([&] {
        for (auto& s : stations)
            if (s->host.loadedArchives.empty())
                return false;
        return true;
    }));
    const std::string full = body + std::string("\0c\0", 3) + "10" + '\0' + "Physics" + '\0';
    for (auto& s : stations) {
        EXPECT_EQ(s->host.loadedArchives.size(), 1u);
        EXPECT_TRUE(s->host.loadedArchives[0] == full);
    }
    ASSERT_TRUE(waitUntil([&] { return rig.count(QStringLiteral("free ")) == 30; }));
    EXPECT_EQ(rig.count(QStringLiteral("host ")), 30);

    // Allowing all with a password reaches every workstation unscrambled.
    rig.server->command(QStringLiteral("allow all s3cret"));
    ASSERT_TRUE(waitUntil([&] {
        for (auto& s : stations)
            if (s->engine.testPassword() != "s3cret")
                return false;
        return true;
    }));
    rig.server->command(QStringLiteral("list"));
    EXPECT_EQ(rig.count(QStringLiteral("workstation ")), 30);
}

TEST(Server, SetTestPauseMessageAndResults) {
    ServerRig rig;
    rig.addTest(QStringLiteral("Optics.tst"), "10", "Physics", "archive-bytes");
    rig.start();
    rig.server->command(QStringLiteral("set Optics.tst"));
    SimulatedWorkstation ws("pc-1");
    ws.socket.connectTo(QStringLiteral("127.0.0.1"), rig.server->port());
    ASSERT_TRUE(waitUntil([&] { return ws.engine.offerFile() == "Optics.tst"; }));
    EXPECT_EQ(ws.engine.offerSize(), int(std::string("archive-bytes").size() + 3 + 2 + 1 + 7 + 1));
    ASSERT_TRUE(waitUntil([&] { return rig.count(QStringLiteral("fresh 1")) >= 1; }));
    EXPECT_FALSE(ws.engine.choiceShown());

    // The workstation starts by itself once it is allowed.
    ws.host.autoStart = true;
    rig.server->command(QStringLiteral("allow 1"));
    ASSERT_TRUE(waitUntil([&] { return !ws.host.loadedArchives.empty(); }));
    ASSERT_TRUE(waitUntil([&] { return rig.count(QStringLiteral("free 1")) == 1; }));

    rig.server->command(QStringLiteral("pause 1"));
    ASSERT_TRUE(waitUntil([&] { return ws.host.pauses == 1; }));
    rig.server->command(QStringLiteral("message 1 Привет, класс"));
    rig.server->command(QStringLiteral("resume 1"));
    ASSERT_TRUE(waitUntil([&] { return ws.host.resumes == 2; }));
    ASSERT_EQ(ws.host.shownMessages.size(), 1u);
    EXPECT_EQ(ws.host.shownMessages[0], "\xcf\xf0\xe8\xe2\xe5\xf2, \xea\xeb\xe0\xf1\xf1");

    ws.engine.sendStart();
    ws.engine.sendMessage("done");
    // A result under the right password is stored; one under another is refused.
    const std::string good = resultArchiveFor("Optics");
    const std::string bad = zipBytes("another password");
    QTemporaryDir files;
    for (const auto& [name, data] : {std::pair{"good.rst", good}, std::pair{"bad.rst", bad}}) {
        QFile f(files.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(data.data(), qint64(data.size()));
    }
    ASSERT_TRUE(ws.socket.sendFile(files.filePath(QStringLiteral("good.rst"))));
    ASSERT_TRUE(waitUntil([&] { return rig.count(QStringLiteral("result 1 ")) == 1; }));
    ASSERT_TRUE(ws.socket.sendFile(files.filePath(QStringLiteral("bad.rst"))));
    ASSERT_TRUE(waitUntil([&] { return rig.count(QStringLiteral("result-refused 1")) == 1; }));
    EXPECT_EQ(rig.count(QStringLiteral("start 1")), 1);
    EXPECT_EQ(rig.count(QStringLiteral("message-from 1 done")), 1);

    const QStringList stored = rig.results();
    ASSERT_EQ(stored.size(), 1);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{8}\\.rst$")).match(stored[0]).hasMatch());
    QFile f(rig.dir.filePath(QStringLiteral("results/") + stored[0]));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll().toStdString(), good);
    EXPECT_TRUE(QDir(rig.dir.filePath(QStringLiteral("results")))
                    .entryList(QDir::Files | QDir::Hidden)
                    .size() == 1); // no temporary file left
}

// Who gets a test: nothing at start; in choice mode a workstation with the list, until it is
// forbidden; in set mode the set test only, and only once allowed after it was set.
TEST(Server, ATestGoesOnlyWhereTheSupervisorLetsIt) {
    const struct {
        const char* what;
        std::vector<QString> commands; // before the request; "%1" is the workstation
        std::string request;
        const char* refusal; // nullptr: the test is sent
    } cases[] = {
        {"nothing offered at start", {}, "Optics.tst", "no test is offered"},
        {"allowed, but nothing offered",
         {QStringLiteral("allow %1")},
         "Optics.tst",
         "no test is offered"},
        {"set, not allowed yet (auto-start ticked again)",
         {QStringLiteral("set Optics.tst")},
         "Optics.tst",
         "not allowed"},
        {"set and allowed",
         {QStringLiteral("set Optics.tst"), QStringLiteral("allow %1")},
         "Optics.tst",
         nullptr},
        {"set and allowed, another test asked for",
         {QStringLiteral("set Optics.tst"), QStringLiteral("allow %1")},
         "Algebra.tst",
         "another test is set"},
        {"allowed, then set again",
         {QStringLiteral("set Optics.tst"), QStringLiteral("allow %1"),
          QStringLiteral("set Optics.tst")},
         "Optics.tst",
         "not allowed"},
        {"choice: the list permits", {QStringLiteral("choice")}, "Algebra.tst", nullptr},
        {"choice, then forbidden",
         {QStringLiteral("choice"), QStringLiteral("forbid %1")},
         "Algebra.tst",
         "not allowed"},
        {"choice, forbidden, allowed again",
         {QStringLiteral("choice"), QStringLiteral("forbid %1"), QStringLiteral("allow %1")},
         "Algebra.tst",
         nullptr},
        {"choice, a test not offered", {QStringLiteral("choice")}, "Secret.tst", "no such test"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ServerRig rig;
        rig.addTest(QStringLiteral("Optics.tst"), "10", "Physics", "optics");
        rig.addTest(QStringLiteral("Algebra.tst"), "7", "Maths", "algebra");
        writeTest(rig.dir.filePath(QStringLiteral("elsewhere/Secret.tst")), "7", "Maths", "s");
        rig.start(100);
        SimulatedWorkstation ws("pc-1");
        ws.socket.connectTo(QStringLiteral("127.0.0.1"), rig.server->port());
        ASSERT_TRUE(waitUntil([&] { return rig.has(QStringLiteral("fresh 1 ")); }));
        for (const QString& command : c.commands)
            rig.server->command(command.contains(QStringLiteral("%1")) ? command.arg(1) : command);
        // Two more polls answered: whatever was sent has arrived.
        const int polls = rig.count(QStringLiteral("fresh 1 "));
        ASSERT_TRUE(waitUntil([&] { return rig.count(QStringLiteral("fresh 1 ")) >= polls + 2; }));
        ws.socket.send("GIVEMETEST" + c.request);
        ASSERT_TRUE(waitUntil([&] {
            return rig.has(QStringLiteral("refused 1 ")) || rig.has(QStringLiteral("sending 1 "));
        }));
        if (c.refusal) {
            EXPECT_TRUE(rig.has(
                QStringLiteral("refused 1 %1: %2")
                    .arg(QString::fromStdString(c.request), QString::fromLatin1(c.refusal))))
                << rig.logLines.join(QLatin1Char('\n')).toStdString();
            EXPECT_FALSE(rig.has(QStringLiteral("sending 1 ")));
        } else {
            EXPECT_TRUE(
                rig.has(QStringLiteral("sending 1 %1 ").arg(QString::fromStdString(c.request))));
            EXPECT_FALSE(rig.has(QStringLiteral("refused 1 ")));
        }
    }
}

// Test files named in any case are offered and can be asked for; two that differ only in the
// case of the extension cannot both be.
TEST(Server, TestNamesAndTheirExtensions) {
    ServerRig rig;
    rig.addTest(QStringLiteral("Optics.TST"), "10", "Physics", "optics");
    rig.addTest(QStringLiteral("my.tst-copy.tst"), "10", "Physics", "copy");
    rig.addTest(QStringLiteral("Twice.tst"), "10", "Physics", "first");
    rig.addTest(QStringLiteral("Twice.Tst"), "10", "Physics", "second");
    rig.start(100);
    EXPECT_EQ(rig.server->tests().size(), 3u);
    EXPECT_EQ(rig.count(QStringLiteral("test-skipped Twice.tst: another test has the name Twice")),
              1);
    rig.server->command(QStringLiteral("choice"));
    const struct {
        std::string request;
        QString sent;
    } cases[] = {{"Optics.tst", QStringLiteral("Optics.TST 20")},
                 {"Optics.TST", QStringLiteral("Optics.TST 20")},
                 {"my.tst-copy.tst", QStringLiteral("my.tst-copy.tst 18")},
                 {"Twice.tst", QStringLiteral("Twice.Tst 20")}};
    int number = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request);
        SimulatedWorkstation ws("pc");
        ws.socket.connectTo(QStringLiteral("127.0.0.1"), rig.server->port());
        ASSERT_TRUE(waitUntil([&] { return ws.engine.choiceShown(); }));
        ++number;
        ws.socket.send("GIVEMETEST" + c.request);
        EXPECT_TRUE(waitUntil([&] {
            return rig.has(QStringLiteral("sending %1 %2").arg(number).arg(c.sent));
        })) << rig.logLines.join(QLatin1Char('\n')).toStdString();
    }
    // The list names each test without its extension, as the workstation asks for it.
    SimulatedWorkstation ws("pc");
    ws.socket.connectTo(QStringLiteral("127.0.0.1"), rig.server->port());
    ASSERT_TRUE(waitUntil([&] { return ws.engine.choiceItems().size() == 3; }));
    EXPECT_EQ(ws.engine.choiceItems()[0], "Optics <10, Physics>");
    rig.server->command(QStringLiteral("set optics.tst"));
    EXPECT_TRUE(rig.has(QStringLiteral("error no such test: optics.tst")));
    rig.server->command(QStringLiteral("set Optics.tst"));
    EXPECT_TRUE(rig.has(QStringLiteral("mode set Optics.TST")));
}

// A workstation's texts cannot forge log lines.
TEST(Server, WorkstationTextsCannotForgeLogLines) {
    ServerRig rig;
    rig.addTest(QStringLiteral("Optics.tst"), "10", "Physics", "optics");
    rig.start(100);
    QTcpSocket raw;
    ASSERT_TRUE(connectRaw(raw, rig.server->port()));
    raw.write("HOSTpc\nresult 1 00000001.rst 100\r\ndisconnected 1");
    ASSERT_TRUE(waitUntil([&] { return rig.has(QStringLiteral("host 1 ")); }));
    raw.write("FRESH\r\n1\r\n0\r\n?\r\nIvanov\x1b[2J\rfree 1\r\n");
    raw.write("SENDhi\nstart 1");
    ASSERT_TRUE(waitUntil([&] { return rig.has(QStringLiteral("message-from 1 ")); }));
    raw.write("GIVEMETESTx\nrequest 1 y.tst");
    ASSERT_TRUE(waitUntil([&] { return rig.has(QStringLiteral("refused 1 ")); }));
    for (const QString& l : rig.logLines) {
        EXPECT_FALSE(l.contains(QLatin1Char('\n')) || l.contains(QLatin1Char('\r')) ||
                     l.contains(QChar(0x1b)))
            << l.toStdString();
        for (const char* forged : {"result ", "disconnected ", "free ", "start ", "request 1 y"})
            EXPECT_FALSE(l.startsWith(QString::fromLatin1(forged))) << l.toStdString();
    }
    EXPECT_TRUE(rig.has(QStringLiteral("host 1 pc\\nresult 1 00000001.rst 100")));
    EXPECT_TRUE(rig.has(QStringLiteral("message-from 1 hi\\nstart 1")));
}

TEST(ServerProgram, HelpListsTheOptionsAndEveryCommand) {
    QProcess p;
    p.start(binaryDir() + QStringLiteral("/tools/kvizor-server"), {QStringLiteral("--help")});
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_TRUE(p.readAllStandardError().isEmpty());
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    for (const char* word : {"--port",
                             "--listen",
                             "--poll",
                             "--gap",
                             "--answer-wait",
                             "--idle",
                             "--max-connections",
                             "--output-cap",
                             "--log-rate",
                             "--result-quota",
                             "--reserve",
                             "--accept-any-result",
                             "  list",
                             "  choice",
                             "  set ",
                             "  none",
                             "  allow ",
                             "  forbid ",
                             "  pause ",
                             "  resume ",
                             "  message ",
                             "  shuffle ",
                             "  rescan",
                             "  quit"})
        EXPECT_TRUE(out.contains(QString::fromLatin1(word))) << word;
    // A mistake is still an error.
    p.start(binaryDir() + QStringLiteral("/tools/kvizor-server"), {QStringLiteral("--nonsense")});
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitCode(), 2);
}

// ---- the server as its own process, against hostile workstations over loopback

// A server with one test on offer in choice mode and small bounds, a well-behaved workstation
// polled beside whatever else connects.
struct Classroom {
    ServerProcess server;
    std::unique_ptr<SimulatedWorkstation> good;
    int goodNumber = 0;

    bool start(QStringList options, QStringList wrapper = {}) {
        writeTest(server.dir.filePath(QStringLiteral("tests/Optics.tst")), "10", "Physics",
                  std::string(200000, 'o'));
        server.options = options << QStringLiteral("--answer-wait") << QStringLiteral("1000");
        server.wrapper = wrapper;
        // Freed memory goes back at once, so the resident size says what the server holds.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ASAN_OPTIONS"),
                   env.value(QStringLiteral("ASAN_OPTIONS")) +
                       QStringLiteral(":quarantine_size_mb=1:thread_local_quarantine_size_kb=64"));
        server.process.setProcessEnvironment(env);
        if (!server.launch())
            return false;
        return connectGood("good-1");
    }
    bool connectGood(const std::string& name) {
        good = std::make_unique<SimulatedWorkstation>(name);
        good->socket.connectTo(QStringLiteral("127.0.0.1"), server.port);
        if (!waitUntil([&] { return findHost(name) > 0; }, 15000))
            return false;
        goodNumber = findHost(name);
        return waitUntil([&] { return good->engine.choiceShown(); }, 15000);
    }
    int findHost(const std::string& name) const {
        for (const QString& l : server.lines)
            if (l.startsWith(QStringLiteral("host ")) &&
                l.endsWith(QLatin1Char(' ') + QString::fromStdString(name)))
                return l.section(QLatin1Char(' '), 1, 1).toInt();
        return 0;
    }
    int goodPolls() const { return server.count(QStringLiteral("fresh %1 ").arg(goodNumber)); }
    // The longest wait between two polls of the good workstation while busy() holds, and a
    // second after.
    qint64 longestPollGap(const std::function<bool()>& busy) {
        QElapsedTimer clock;
        clock.start();
        qint64 last = 0, longest = 0, quietSince = -1;
        int polls = goodPolls();
        while (quietSince < 0 || clock.elapsed() - quietSince < 1000) {
            if (clock.elapsed() > 60000)
                return clock.elapsed();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            if (goodPolls() != polls) {
                polls = goodPolls();
                longest = std::max(longest, clock.elapsed() - last);
                last = clock.elapsed();
            }
            if (quietSince < 0 && !busy())
                quietSince = clock.elapsed();
        }
        return std::max(longest, clock.elapsed() - last);
    }
    // The good workstation takes the test and sends its result: whether it was stored.
    bool honestResultStored() {
        const QString result = QStringLiteral("result %1 ").arg(goodNumber);
        const QString refused = QStringLiteral("result-refused %1:").arg(goodNumber);
        const int stored = server.count(result);
        const int refusals = server.count(refused);
        good->engine.takeChoice(0);
        good->engine.requestTest();
        if (!waitUntil([&] { return !good->host.loadedArchives.empty(); }, 15000))
            return false;
        QTemporaryDir files;
        const QString path = files.filePath(QStringLiteral("r.rst"));
        QFile f(path);
        const std::string bytes = resultArchiveFor("Optics");
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes.data(), qint64(bytes.size())) < 0)
            return false;
        f.close();
        good->host.loadedArchives.clear();
        return good->socket.sendFile(path) && waitUntil([&] {
                   return server.count(result) > stored || server.count(refused) > refusals;
               }) &&
               server.count(result) == stored + 1;
    }
};

// Bursts of every word, garbage, an archive without end and a client that never reads: the
// good workstation is polled on time all along, the server's memory stays bounded, its log
// is not flooded, and the good workstation's result is stored at the end.
TEST(ServerUnderAttack, BurstsAndNonReadersNeitherStallNorFillIt) {
    Classroom room;
    ASSERT_TRUE(room.start({QStringLiteral("--log-rate"), QStringLiteral("20"),
                            QStringLiteral("--output-cap"), QStringLiteral("256")}));
    const qint64 pid = room.server.process.processId();
    settle(300);
    const qint64 before = residentKb(pid);
    ASSERT_GT(before, 0);
    const std::string noise = randomBytes(2 * 1024 * 1024, QRandomGenerator::global()->generate());
    const std::size_t size = 2 * 1024 * 1024;
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"GIVEMETEST", repeated("GIVEMETEST", size)},
        {"GIVEMETEST of an offered test", repeated("GIVEMETESTOptics.tst", size)},
        {"HOST", repeated("HOST", size)},
        {"FRESH", repeated("FRESH\r\n", size)},
        {"FRESH without line ends", repeated("FRESH", size)},
        {"FREE", repeated("FREE", size)},
        {"START", repeated("START", size)},
        {"SEND", repeated("SEND", size)},
        {"xFREE", repeated("xFREE", size)},
        {"random bytes", noise},
        {"an archive that never ends", "PK\x03\x04" + repeated("z", 17 * 1024 * 1024)},
        {"HOST and FRESH pairs, never reading",
         repeated("HOSTxFRESH\r\n1\r\n0\r\n?\r\n\r\n", 8 * size)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const qsizetype linesBefore = room.server.lines.size();
        QTcpSocket hostile;
        ASSERT_TRUE(connectRaw(hostile, room.server.port, Reading::Never));
        hostile.write(c.bytes.data(), qint64(c.bytes.size()));
        const qint64 gap = room.longestPollGap([&] {
            return hostile.state() == QAbstractSocket::ConnectedState && hostile.bytesToWrite() > 0;
        });
        EXPECT_LT(gap, 3000) << "the good workstation waited for its poll";
        EXPECT_LT(room.server.lines.size() - linesBefore, 1500) << "the log is flooded";
        const qint64 rss = residentKb(pid);
        EXPECT_LT(rss - before, 64 * 1024) << "resident " << rss << " kB, at start " << before;
        hostile.abort();
    }
    EXPECT_TRUE(room.server.has(QStringLiteral("log-dropped ")));
    EXPECT_EQ(room.server.process.state(), QProcess::Running);
    EXPECT_TRUE(room.honestResultStored());
}

// Past the output cap a workstation that does not read is dropped, but never one in the middle
// of a test, however slowly it reads its archive.
TEST(ServerUnderAttack, ASlowReaderInATestIsKeptAndANonReaderDropped) {
    Classroom room;
    ASSERT_TRUE(room.start({QStringLiteral("--output-cap"), QStringLiteral("16")}));
    auto raw = [&](const char* host) {
        auto s = std::make_unique<QTcpSocket>();
        s->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
        EXPECT_TRUE(connectRaw(*s, room.server.port, Reading::Never));
        s->write(host);
        return s;
    };
    auto downloading = raw("HOSTslow");
    auto deaf = raw("HOSTdeaf");
    ASSERT_TRUE(room.server.waitFor(QStringLiteral("host 3 deaf")));
    settle(700); // the list, which permits, has gone out
    downloading->write("GIVEMETESTOptics.tst");
    ASSERT_TRUE(room.server.waitFor(QStringLiteral("sending 2 Optics.tst")));
    // More than the system takes for a connection that reads nothing.
    for (int i = 0; i < 30; ++i)
        room.server.command(QStringLiteral("message all ") + QString(60000, QLatin1Char('m')));
    ASSERT_TRUE(room.server.waitFor(QStringLiteral("closed 3: it does not read")));
    settle(1000);
    EXPECT_FALSE(room.server.has(QStringLiteral("closed 2")));
    EXPECT_FALSE(room.server.has(QStringLiteral("closed %1").arg(room.goodNumber)))
        << room.server.lines.filter(QStringLiteral("closed")).join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(downloading->state(), QAbstractSocket::ConnectedState);
    EXPECT_TRUE(room.honestResultStored());
}

// Idle connections beyond the descriptor limit: the most idle ones make room, the silent ones
// are closed, a workstation in a test is kept, and a new workstation is served.
TEST(ServerUnderAttack, IdleFloodUnderALowDescriptorLimit) {
    Classroom room;
    ASSERT_TRUE(room.start({QStringLiteral("--idle"), QStringLiteral("1500")},
                           {QStringLiteral("prlimit"), QStringLiteral("--nofile=64:64")}));
    // The first workstation is in the middle of a test.
    room.good->engine.takeChoice(0);
    room.good->engine.requestTest();
    ASSERT_TRUE(waitUntil([&] { return !room.good->host.loadedArchives.empty(); }));
    auto testing = std::move(room.good);
    const int testingNumber = room.goodNumber;
    std::vector<std::unique_ptr<QTcpSocket>> idle;
    for (int i = 0; i < 150; ++i) {
        idle.push_back(std::make_unique<QTcpSocket>());
        idle.back()->connectToHost(QStringLiteral("127.0.0.1"), room.server.port);
    }
    settle(1000);
    ASSERT_TRUE(room.connectGood("good-2"));
    const qint64 gap = room.longestPollGap([] { return false; });
    EXPECT_LT(gap, 3000);
    // Left alone, the silent ones go; the one in a test stays. Those the system's queue of
    // connections to accept could not hold come back only as their handshake is retried, at
    // 1, 3, 7, 15, 31 and 63 s, so the last of them arrive about a minute later.
    ASSERT_TRUE(room.server.waitFor(QStringLiteral("closed ")));
    EXPECT_TRUE(
        waitUntil([&] { return room.server.count(QStringLiteral("closed ")) >= 120; }, 75000))
        << room.server.count(QStringLiteral("closed ")) << " closed";
    EXPECT_TRUE(
        waitUntil([&] { return !room.server.lines.filter(QStringLiteral(": silent")).isEmpty(); }));
    EXPECT_FALSE(room.server.has(QStringLiteral("closed %1:").arg(testingNumber)));
    EXPECT_FALSE(testing->lost);
    EXPECT_TRUE(room.honestResultStored());
}

// Results: only for a test sent to that workstation, a few per test, never past the free space
// the folder keeps; an archive the folder cannot take is refused and the next one stored.
TEST(ServerUnderAttack, ForgedAndOversizedResults) {
    Classroom room;
    ASSERT_TRUE(room.start({QStringLiteral("--result-quota"), QStringLiteral("2")},
                           {QStringLiteral("prlimit"), QStringLiteral("--fsize=40000")}));
    const std::string offered = resultArchiveFor("Optics");
    const std::string big = resultArchiveFor("Optics", 250); // beyond the file size limit
    ASSERT_GT(big.size(), 40000u);
    const struct {
        const char* what;
        std::string bytes;
        const char* refusal;
    } forged[] = {
        {"never downloaded", offered, "was not sent to this workstation"},
        {"a test not on offer", resultArchiveFor("Secret"), "is not on offer"},
        {"not a result", zipBytes(resultPassword()), "not a result archive"},
        {"under another password", zipBytes("other"), "not a result archive"},
    };
    for (const auto& c : forged) {
        SCOPED_TRACE(c.what);
        QTcpSocket raw;
        ASSERT_TRUE(connectRaw(raw, room.server.port));
        raw.write("HOSTforger");
        settle(200);
        const int before = room.server.count(QStringLiteral("result-refused "));
        raw.write(c.bytes.data(), qint64(c.bytes.size()));
        ASSERT_TRUE(waitUntil(
            [&] { return room.server.count(QStringLiteral("result-refused ")) > before; }));
        bool said = false;
        for (const QString& l : room.server.lines)
            said |= l.startsWith(QStringLiteral("result-refused ")) &&
                    l.contains(QString::fromLatin1(c.refusal));
        EXPECT_TRUE(said) << c.refusal;
    }
    // The honest workstation: its result is stored, one that the folder cannot take is refused,
    // and the server goes on storing; past the quota no more.
    ASSERT_TRUE(room.honestResultStored());
    const int n = room.goodNumber;
    QTemporaryDir files;
    QFile f(files.filePath(QStringLiteral("big.rst")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(big.data(), qint64(big.size()));
    f.close();
    ASSERT_TRUE(room.good->socket.sendFile(f.fileName()));
    ASSERT_TRUE(room.server.waitFor(QStringLiteral("result-refused %1: cannot write").arg(n)))
        << room.server.lines.join(QLatin1Char('\n')).toStdString();
    ASSERT_TRUE(room.honestResultStored());
    EXPECT_FALSE(room.honestResultStored());
    EXPECT_TRUE(room.server.has(QStringLiteral("result-refused %1: 2 results of the test Optics "
                                               "already stored")
                                    .arg(n)));
    EXPECT_EQ(QDir(room.server.dir.filePath(QStringLiteral("results")))
                  .entryList({QStringLiteral("*.rst")}, QDir::Files)
                  .size(),
              2);
    EXPECT_EQ(room.server.process.state(), QProcess::Running);
}

TEST(ServerUnderAttack, ResultsAreRefusedBelowTheReserveAndAcceptedForMigrations) {
    // A reserve no disk has: every result is refused, and the supervisor is told.
    {
        Classroom room;
        ASSERT_TRUE(room.start({QStringLiteral("--reserve"), QStringLiteral("2000000000")}));
        EXPECT_FALSE(room.honestResultStored());
        EXPECT_TRUE(room.server.has(QStringLiteral("low-space ")));
        EXPECT_TRUE(
            room.server.has(QStringLiteral("result-refused %1: the results folder is nearly full")
                                .arg(room.goodNumber)));
    }
    // A classroom moved from another server: results without a download here.
    {
        Classroom room;
        ASSERT_TRUE(room.start(
            {QStringLiteral("--accept-any-result"), QStringLiteral("10.0.0.9,127.0.0.1")}));
        QTcpSocket raw;
        ASSERT_TRUE(connectRaw(raw, room.server.port));
        raw.write("HOSTmoved");
        settle(200);
        const std::string result = resultArchiveFor("Optics");
        raw.write(result.data(), qint64(result.size()));
        ASSERT_TRUE(room.server.waitFor(QStringLiteral("result ")));
    }
}

} // namespace
} // namespace kvz::testing
