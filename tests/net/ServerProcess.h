#pragma once

// kvizor-server as a separate process on 127.0.0.1 for the network roads, its log collected
// line by line. The server starts with nothing on offer; as the supervisor of these roads,
// launch() offers the list (choice mode) unless told not to.

#include "net/SimulatedWorkstation.h"
#include "results/ResultArchive.h"
#include "run/Checking.h"
#include "support/TestPaths.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

namespace kvz::testing {

// A result archive as the program writes it for testName; questions with random topics make it
// bigger (they do not compress).
inline std::string resultArchiveFor(const std::string& testName, int questions = 1) {
    QuestionSet set;
    for (int i = 0; i < questions; ++i) {
        TQuestionRec a;
        a.kindText = "A";
        a.rightChoice = {false, true};
        a.choiceCount = 2;
        for (int k = 0; k < (questions > 1 ? 250 : 0); ++k) {
            const int c = QRandomGenerator::global()->bounded(0x21, 0x7f + 64);
            a.topic += char(c < 0x7f ? c : c - 0x7f + 0xc0);
        }
        set.questions.push_back(a);
    }
    set.labels = makeLabels(set.questions);
    resetAnswers(set);
    std::vector<std::string> verdicts;
    CheckSummary summary;
    CheckAnswers(set, "R", "W", verdicts, summary);
    const ResultFacts facts{"Ivanov", "9", "Physics", testName, 46000.5, 46000.75};
    const auto bytes = BuildResultArchive(facts, summary, set);
    return bytes ? bytes->toStdString() : std::string();
}

struct ServerProcess {
    QTemporaryDir dir;
    QProcess process;
    QStringList lines;
    QByteArray partial;
    quint16 port = 0;
    bool offerChoice = true;
    QStringList options; // more of the server's options
    QStringList wrapper; // a program that runs the server, e.g. prlimit with its limits

    // Serves testFile of the staged samples, on listenPort (0: any free port).
    bool start(const QString& testFile, quint16 listenPort = 0) {
        return stage(testFile) && launch(listenPort);
    }
    // The test goes into the served folder under asName (its own name when empty); launch()
    // then serves what the folder holds, so a test may be changed in between.
    bool stage(const QString& testFile, const QString& asName = {}) {
        QDir().mkpath(dir.filePath(QStringLiteral("tests")));
        return QFile::copy(stageDir() + QStringLiteral("/Base/") + testFile,
                           servedPath(asName.isEmpty() ? testFile : asName));
    }
    QString servedPath(const QString& testFile) const {
        return dir.filePath(QStringLiteral("tests/")) + testFile;
    }
    bool launch(quint16 listenPort = 0) {
        QObject::connect(&process, &QProcess::readyReadStandardOutput, [this] {
            partial += process.readAllStandardOutput();
            for (qsizetype nl = partial.indexOf('\n'); nl >= 0; nl = partial.indexOf('\n')) {
                lines << QString::fromUtf8(partial.left(nl));
                partial.remove(0, nl + 1);
            }
        });
        QStringList args = wrapper;
        args << binaryDir() + QStringLiteral("/tools/kvizor-server")
             << dir.filePath(QStringLiteral("tests")) << dir.filePath(QStringLiteral("results"))
             << QStringLiteral("--port") << QString::number(listenPort)
             << QStringLiteral("--listen") << QStringLiteral("127.0.0.1")
             << QStringLiteral("--poll") << QStringLiteral("300") << QStringLiteral("--gap")
             << QStringLiteral("50") << QStringLiteral("--console") << QStringLiteral("127.0.0.1:0")
             << options;
        const QString program = args.takeFirst();
        process.start(program, args);
        if (!waitUntil([this] { return has(QStringLiteral("listening ")); }, 10000))
            return false;
        for (const QString& l : lines)
            if (l.startsWith(QStringLiteral("listening ")))
                port = quint16(l.section(QLatin1Char(' '), 2, 2).toUInt());
        if (offerChoice) {
            command(QStringLiteral("choice"));
            if (!waitFor(QStringLiteral("mode choice")))
                return false;
        }
        return port != 0;
    }
    int count(const QString& prefix) const {
        int n = 0;
        for (const QString& l : lines)
            n += l.startsWith(prefix);
        return n;
    }
    void command(const QString& line) { process.write((line + QLatin1Char('\n')).toUtf8()); }
    bool has(const QString& prefix) const {
        for (const QString& l : lines)
            if (l.startsWith(prefix))
                return true;
        return false;
    }
    bool waitFor(const QString& prefix) {
        return waitUntil([&] { return has(prefix); }, 15000);
    }
    ~ServerProcess() {
        process.kill();
        process.waitForFinished(5000);
    }
};

} // namespace kvz::testing
