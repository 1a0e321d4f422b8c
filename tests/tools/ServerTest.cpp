#include "Server.h"
#include "ClientStream.h"
#include "net/ProtocolText.h"
#include "net/SimulatedWorkstation.h"
#include "results/ResultPassword.h"
#include "test/ZipMemory.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
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
    EXPECT_EQ(m.lines, (std::vector<std::string>{"7", "1", "?", "Ivanov"}));
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
    EXPECT_EQ(m.lines, (std::vector<std::string>{"1", "0", "a.tst", " "}));
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

TEST(ServerFields, UnsafeNamesAreRefused) {
    EXPECT_TRUE(server::Server::unsafeField("Optics", "10", "Physics").isEmpty());
    EXPECT_FALSE(server::Server::unsafeField("a:b", "10", "Physics").isEmpty());
    EXPECT_FALSE(server::Server::unsafeField("a*b", "10", "Physics").isEmpty());
    EXPECT_FALSE(server::Server::unsafeField("a<b", "10", "Physics").isEmpty());
    EXPECT_FALSE(server::Server::unsafeField("a", "10, 11", "Physics").isEmpty());
    EXPECT_FALSE(server::Server::unsafeField("a", "10", "x:y").isEmpty());
}

// A folder of tests: bytes of any kind, ended by the catalogue trailer.
struct ServerRig {
    QTemporaryDir dir;
    QStringList logLines;
    std::unique_ptr<server::Server> server;

    void addTest(const QString& file, const std::string& klass, const std::string& subject,
                 const std::string& body) {
        QDir().mkpath(dir.filePath(QStringLiteral("tests")));
        QFile f(dir.filePath(QStringLiteral("tests/") + file));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        const std::string all = body + std::string("\0c\0", 3) + klass + '\0' + subject + '\0';
        f.write(all.data(), qint64(all.size()));
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
    const std::string good = zipBytes(resultPassword());
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

} // namespace
} // namespace kvz::testing
