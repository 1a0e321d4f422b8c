// kvizor-results: result archives for the teacher. "show" prints one archive as text; "export"
// collects a folder of them, recursively, into one CSV or JSON file. A damaged or foreign file
// is named on standard error and the export goes on with the rest. Output is UTF-8.
//
// Exit codes: 0 all read, 1 some file could not be read (the export still holds the others),
// 2 wrong usage or an output file that cannot be written.

#include "l10n/Cp1251.h"
#include "results/ResultExport.h"
#include "run/Checking.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonDocument>
#include <QSaveFile>
#include <cstdio>

namespace kvz {
namespace {

constexpr const char* kUsage =
    "usage: kvizor-results show FILE.rst\n"
    "       kvizor-results export FOLDER [--csv OUT.csv] [--json OUT.json]\n";

QString u(const std::string& cp) {
    return cp1251::toUnicode(cp);
}

void print(const QString& text) {
    const QByteArray b = text.toUtf8();
    std::fwrite(b.constData(), 1, std::size_t(b.size()), stdout);
}
void complain(const QString& text) {
    const QByteArray b = text.toUtf8() + '\n';
    std::fwrite(b.constData(), 1, std::size_t(b.size()), stderr);
}

QString answeredPercent(const ResultRecord& r) {
    return QString::fromStdString(percentText(r.answeredCount, r.questionCount));
}

int show(const QString& path) {
    QString error;
    const auto r = loadResultFile(path, &error);
    if (!r) {
        complain(QStringLiteral("%1: %2").arg(path, error));
        return 1;
    }
    const ResultFacts& f = r->facts;
    QString out;
    out += QStringLiteral("Examinee: %1\n").arg(u(f.examineeName));
    out += QStringLiteral("Class:    %1\n").arg(u(f.group));
    out += QStringLiteral("Subject:  %1\n").arg(u(f.subject));
    out += QStringLiteral("Test:     %1\n").arg(u(f.testName));
    out += QStringLiteral("Right:    %1 of %2 (%3%)\n")
               .arg(r->rightCount)
               .arg(r->questionCount)
               .arg(resultPercent(r->rightPercentHundredths));
    out += QStringLiteral("Answered: %1 of %2 (%3%)\n")
               .arg(r->answeredCount)
               .arg(r->questionCount)
               .arg(answeredPercent(*r));
    out += QStringLiteral("Started:  %1\n").arg(resultDateTime(f.startTime));
    out += QStringLiteral("Finished: %1\n").arg(resultDateTime(f.finishTime));
    out += QStringLiteral("Limits:   %1 per question, %2 for the test\n")
               .arg(resultTimeOfDay(r->questionTime), resultTimeOfDay(r->testTime));
    out += QStringLiteral("\nItem  Topic | kind | right answer | given answer | time | verdict\n");
    for (const ResultQuestion& q : r->questions) {
        out += QStringLiteral("%1  %2 | %3 | %4 | %5 | %6 | %7\n")
                   .arg(u(q.label), u(q.topic), QString(QLatin1Char(q.kind ? q.kind : '?')),
                        u(q.rightAnswer),
                        q.answered ? u(q.givenAnswer) : QStringLiteral("(not answered)"),
                        resultSpent(q.timeSpentMs),
                        q.right ? QStringLiteral("right") : QStringLiteral("wrong"));
    }
    print(out);
    return 0;
}

int exportFolder(const QStringList& args) {
    QString folder, csv, json;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--csv") && i + 1 < args.size())
            csv = args[++i];
        else if (args[i] == QLatin1String("--json") && i + 1 < args.size())
            json = args[++i];
        else if (folder.isEmpty() && !args[i].startsWith(QLatin1String("--")))
            folder = args[i];
        else {
            std::fputs(kUsage, stderr);
            return 2;
        }
    }
    if (folder.isEmpty() || (csv.isEmpty() && json.isEmpty())) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (!QFileInfo(folder).isDir()) {
        complain(QStringLiteral("%1: no such folder").arg(folder));
        return 2;
    }
    bool damaged = false;
    std::vector<ExportedResult> results;
    const QDir base(folder);
    for (const QString& path : resultFilesIn(folder)) {
        QString error;
        auto r = loadResultFile(path, &error);
        if (!r) {
            complain(QStringLiteral("%1: skipped: %2").arg(path, error));
            damaged = true;
            continue;
        }
        results.push_back({base.relativeFilePath(path), std::move(*r)});
    }

    auto save = [](const QString& path, const QByteArray& bytes) {
        QSaveFile out(path);
        if (out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size() && out.commit())
            return true;
        complain(QStringLiteral("%1: cannot write: %2").arg(path, out.errorString()));
        return false;
    };
    if (!csv.isEmpty() && !save(csv, exportCsv(results)))
        return 2;
    if (!json.isEmpty() &&
        !save(json, QJsonDocument(exportJson(results)).toJson(QJsonDocument::Indented)))
        return 2;
    return damaged ? 1 : 0;
}

} // namespace
} // namespace kvz

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    if (args.isEmpty()) {
        std::fputs(kvz::kUsage, stderr);
        return 2;
    }
    const QString command = args.takeFirst();
    if (command == QLatin1String("show") && args.size() == 1)
        return kvz::show(args[0]);
    if (command == QLatin1String("export"))
        return kvz::exportFolder(args);
    std::fputs(kvz::kUsage, stderr);
    return 2;
}
