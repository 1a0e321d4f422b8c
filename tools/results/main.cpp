// kvizor-results: result archives for the teacher. "show" prints one archive as text; "export"
// collects a folder of them, recursively, into one CSV or JSON file. A damaged or foreign file
// is named on standard error and the export goes on with the rest. Output is UTF-8.
//
// "report" analyses the same folder question by question into one HTML page and/or a PDF.
//
// Exit codes: 0 all read, 1 some file could not be read (the export or report still holds the
// others), 2 wrong usage or an output file that cannot be written, 3 no results to report.

#include "l10n/Cp1251.h"
#include "results/ItemAnalysis.h"
#include "results/ReportHtml.h"
#include "results/ReportPdf.h"
#include "results/ResultExport.h"
#include "results/ResultFolder.h"
#include "results/ResultReader.h"
#include "run/Checking.h"
#include "shell/NamedFile.h"
#include "test/TestArchive.h"

#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QTime>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

namespace kvz {
namespace {

constexpr const char* kUsage =
    "usage: kvizor-results show FILE.rst\n"
    "       kvizor-results export FOLDER [--csv OUT.csv] [--json OUT.json]\n"
    "       kvizor-results report FOLDER [-o OUT.html] [--pdf OUT.pdf] [--tests TESTS]\n";

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
    ResultFolder read = readResultFolder(folder);
    for (const UnreadResult& bad : read.unread)
        complain(QStringLiteral("%1: skipped: %2").arg(QDir(folder).filePath(bad.path), bad.error));
    std::vector<ExportedResult> results;
    results.reserve(read.records.size());
    for (std::size_t k = 0; k < read.records.size(); ++k)
        results.push_back({read.paths[k], std::move(read.records[k])});

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
    return read.unread.empty() ? 0 : 1;
}

// Grading scales of the tests in a folder, by test name: the results do not hold the marks.
std::map<std::string, std::vector<MarkEntry>> markScales(const QString& folder) {
    std::map<std::string, std::vector<MarkEntry>> scales;
    const QFileInfoList tests = QDir(folder).entryInfoList(
        {QStringLiteral("*.tst"), QStringLiteral("*.TST")}, QDir::Files, QDir::Name);
    for (const QFileInfo& info : tests) {
        QString error;
        std::optional<QByteArray> bytes =
            readNamedFile(info.filePath(), qint64(kMaxArchiveSize), &error);
        if (!bytes) {
            complain(QStringLiteral("%1: no grading scale: %2").arg(info.filePath(), error));
            continue;
        }
        ArchiveReadResult r = readTestArchive(std::move(*bytes), std::string());
        if (!r.archive) {
            complain(QStringLiteral("%1: no grading scale: %2")
                         .arg(info.filePath(),
                              r.cancelled ? QStringLiteral("locked by a password") : r.error));
            continue;
        }
        if (r.archive->settings139 && !r.archive->settings139->markScale.empty())
            scales[cp1251::fromUnicode(info.completeBaseName())] =
                std::move(r.archive->settings139->markScale);
    }
    return scales;
}

int report(const QStringList& args) {
    QString folder, html, pdf, tests;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if ((args[i] == QLatin1String("-o") || args[i] == QLatin1String("--html")) &&
            i + 1 < args.size())
            html = args[++i];
        else if (args[i] == QLatin1String("--pdf") && i + 1 < args.size())
            pdf = args[++i];
        else if (args[i] == QLatin1String("--tests") && i + 1 < args.size())
            tests = args[++i];
        else if (folder.isEmpty() && !args[i].startsWith(QLatin1Char('-')))
            folder = args[i];
        else {
            std::fputs(kUsage, stderr);
            return 2;
        }
    }
    if (folder.isEmpty() || (html.isEmpty() && pdf.isEmpty())) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (!QFileInfo(folder).isDir()) {
        complain(QStringLiteral("%1: no such folder").arg(folder));
        return 2;
    }
    if (!tests.isEmpty() && !QFileInfo(tests).isDir()) {
        complain(QStringLiteral("%1: no such folder").arg(tests));
        return 2;
    }
    const ResultFolder read = readResultFolder(folder);
    for (const UnreadResult& bad : read.unread)
        complain(QStringLiteral("%1: skipped: %2").arg(QDir(folder).filePath(bad.path), bad.error));
    if (read.records.empty()) {
        complain(read.unread.empty()
                     ? QStringLiteral("%1: no results (*.rst) in this folder or below it; nothing "
                                      "to report")
                           .arg(folder)
                     : QStringLiteral("%1: none of the %2 result files could be read; nothing to "
                                      "report")
                           .arg(folder)
                           .arg(read.unread.size()));
        return 3;
    }

    const auto scales =
        tests.isEmpty() ? std::map<std::string, std::vector<MarkEntry>>() : markScales(tests);
    const std::vector<TestAnalysis> analysis = analyseResults(
        read.records,
        [&](const std::string& name, const std::string&) -> std::optional<std::vector<MarkEntry>> {
            const auto found = scales.find(name);
            if (found == scales.end())
                return std::nullopt;
            return found->second;
        });
    ReportSource source;
    source.folder = QDir::toNativeSeparators(folder);
    source.made = QDateTime::currentDateTime();
    source.resultCount = int(read.records.size());
    source.unread = read.unread;
    source.noScaleNote =
        tests.isEmpty()
            ? QStringLiteral("The results do not hold the marks: give the folder of the tests "
                             "(--tests) to count them by the test's grading scale.")
            : QStringLiteral("No grading scale for this test in %1.")
                  .arg(QDir::toNativeSeparators(tests));

    if (!html.isEmpty()) {
        const QByteArray bytes = reportHtml(analysis, source).toUtf8();
        QSaveFile out(html);
        if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit()) {
            complain(QStringLiteral("%1: cannot write: %2").arg(html, out.errorString()));
            return 2;
        }
    }
    if (!pdf.isEmpty()) {
        QString error;
        if (writeReportPdf(analysis, source, pdf, &error) == 0) {
            complain(QStringLiteral("%1: cannot write: %2").arg(pdf, error));
            return 2;
        }
    }
    return read.unread.empty() ? 0 : 1;
}

} // namespace
} // namespace kvz

int main(int argc, char* argv[]) {
    // The PDF is laid out with fonts, which need a GUI application; no window is ever shown,
    // so it runs without a display.
    const bool report = argc > 1 && std::strcmp(argv[1], "report") == 0;
    if (report && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QCoreApplication> app = report ? std::make_unique<QGuiApplication>(argc, argv)
                                                   : std::make_unique<QCoreApplication>(argc, argv);
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
    if (command == QLatin1String("report"))
        return kvz::report(args);
    std::fputs(kvz::kUsage, stderr);
    return 2;
}
