#include "CommandLayer.h"
#include "Server.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace kvz::testing {
namespace {

using server::Command;
using server::CommandSource;
using server::Server;

QJsonObject json(const char* text) {
    return QJsonDocument::fromJson(QByteArray(text)).object();
}

// A server that is never started: the command layer acts on its state and its log, which is
// all that differs between the two ways of asking.
struct Rig {
    QTemporaryDir dir;
    QStringList log;
    std::unique_ptr<Server> server;
    Rig() {
        QDir(dir.path()).mkpath(QStringLiteral("tests"));
        QFile f(dir.path() + QStringLiteral("/tests/Optics.tst"));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("body") + QByteArray("\0c\0", 3) + "9A" + '\0' + "Physics" + '\0');
        f.close();
        server::ServerOptions o;
        o.testsFolder = dir.path() + QStringLiteral("/tests");
        o.resultsFolder = dir.path() + QStringLiteral("/results");
        server = std::make_unique<Server>(o, [this](const QString& l) { log << l; });
        server->scanTests();
        log.clear();
    }
};

TEST(CommandLayer, aLineAndAConsoleRequestDoTheSame) {
    struct Case {
        const char* line;
        const char* request;
        Command::Verb verb;
    };
    const Case cases[] = {
        {"list", R"({"action":"list"})", Command::Verb::List},
        {"allow all s3cret", R"({"action":"allow","who":"all","password":"s3cret"})",
         Command::Verb::Allow},
        {"allow 3", R"({"action":"allow","who":3})", Command::Verb::Allow},
        {"forbid all", R"({"action":"forbid","who":"all"})", Command::Verb::Forbid},
        {"pause 2", R"({"action":"pause","who":"2"})", Command::Verb::Pause},
        {"resume 2 pw", R"({"action":"resume","who":2,"password":"pw"})", Command::Verb::Resume},
        {"message all Hand in  now", R"({"action":"message","who":"all","text":"Hand in  now"})",
         Command::Verb::Message},
        {"choice", R"({"action":"choice"})", Command::Verb::Choice},
        {"set Optics.tst", R"({"action":"set","test":"Optics.tst"})", Command::Verb::Set},
        {"set Missing.tst", R"({"action":"set","test":"Missing.tst"})", Command::Verb::Set},
        {"none", R"({"action":"none"})", Command::Verb::None},
        {"shuffle on", R"({"action":"shuffle","on":true})", Command::Verb::Shuffle},
        {"shuffle off", R"({"action":"shuffle","on":false})", Command::Verb::Shuffle},
        {"rescan", R"({"action":"rescan"})", Command::Verb::Rescan},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        QString lineError, jsonError;
        const auto fromLine = server::parseCommandLine(QString::fromUtf8(c.line), &lineError);
        const auto fromJson = server::parseCommandJson(json(c.request), &jsonError);
        ASSERT_TRUE(fromLine) << lineError.toStdString();
        ASSERT_TRUE(fromJson) << jsonError.toStdString();
        EXPECT_EQ(fromLine->verb, c.verb);
        EXPECT_TRUE(*fromLine == *fromJson);

        // Acting on two equal servers: the same log but for who gave the command, and the
        // same state after.
        Rig a, b;
        a.server->setTest(QStringLiteral("Optics.tst")); // so that "none" changes something
        b.server->setTest(QStringLiteral("Optics.tst"));
        a.log.clear();
        b.log.clear();
        a.server->command(QString::fromUtf8(c.line));
        server::runCommand(*b.server, *fromJson, CommandSource::Console);
        ASSERT_FALSE(a.log.isEmpty());
        EXPECT_TRUE(a.log.first().startsWith(QStringLiteral("command stdin: ")));
        EXPECT_TRUE(b.log.first().startsWith(QStringLiteral("command console: ")));
        QStringList fromConsole = b.log;
        fromConsole.first().replace(QStringLiteral("command console: "),
                                    QStringLiteral("command stdin: "));
        EXPECT_EQ(a.log, fromConsole);
        EXPECT_EQ(a.server->mode(), b.server->mode());
        // A password is acted on, never written to the log.
        for (const QString& l : a.log + b.log) {
            EXPECT_FALSE(l.contains(QStringLiteral("s3cret")));
            EXPECT_FALSE(l.contains(QStringLiteral(" pw")));
        }
    }
}

TEST(CommandLayer, badCommandsAreRefusedWithAReasonFromEitherSide) {
    struct Case {
        const char* line;
        const char* request;
    };
    const Case cases[] = {
        {"frobnicate 1", R"({"action":"frobnicate","who":1})"},
        {"allow", R"({"action":"allow"})"},
        {"pause everyone", R"({"action":"pause","who":"everyone"})"},
        {"forbid 0", R"({"action":"forbid","who":0})"},
        {"message -1 hi", R"({"action":"message","who":-1,"text":"hi"})"},
        {"set", R"({"action":"set"})"},
        {"shuffle maybe", R"({"action":"shuffle","on":"maybe"})"},
        {"list", R"({"verb":"list"})"}, // the request names no action
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.request);
        QString jsonError;
        EXPECT_FALSE(server::parseCommandJson(json(c.request), &jsonError));
        EXPECT_FALSE(jsonError.isEmpty());
        if (QByteArray(c.line) == "list")
            continue;
        QString lineError;
        EXPECT_FALSE(server::parseCommandLine(QString::fromUtf8(c.line), &lineError));
        EXPECT_FALSE(lineError.isEmpty());
        // Through the server: one error line, nothing done.
        Rig r;
        r.server->command(QString::fromUtf8(c.line));
        ASSERT_EQ(r.log.size(), 1);
        EXPECT_TRUE(r.log.first().startsWith(QStringLiteral("error ")))
            << r.log.first().toStdString();
        EXPECT_EQ(r.server->mode(), Server::Mode::None);
    }
}

TEST(CommandLayer, aHostileMessageIsOneLogLine) {
    Rig r;
    r.server->command(QStringLiteral("message all line\rcommand stdin: quit"));
    ASSERT_FALSE(r.log.isEmpty());
    EXPECT_FALSE(r.log.first().contains(QLatin1Char('\r')));
    QString error;
    EXPECT_FALSE(server::parseCommandLine(QString(), &error));
    EXPECT_TRUE(error.isEmpty()); // an empty line is no command and no error
}

} // namespace
} // namespace kvz::testing
