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

QString dateTimeIso(DateTime t) {
    const double days = std::floor(t);
    QDate date = QDate(1899, 12, 30).addDays(qint64(days));
    qint64 ms = std::llround((t - days) * 86400000.0);
    if (ms >= 86400000) {
        date = date.addDays(1);
        ms = 0;
    }
    return date.toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char(' ') +
           QTime::fromMSecsSinceStartOfDay(int(ms)).toString(QStringLiteral("HH:mm:ss"));
}

QString timeOfDay(DateTime t) {
    const qint64 ms = std::llround((t - std::floor(t)) * 86400000.0) % 86400000;
    return QTime::fromMSecsSinceStartOfDay(int(ms)).toString(QStringLiteral("H:mm:ss"));
}

QString spent(std::int32_t ms) {
    if (ms < 0)
        return QString::number(ms) + QStringLiteral(" ms");
    const int s = ms / 1000;
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600)
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

QString percent(int hundredths) {
    return QStringLiteral("%1.%2")
        .arg(hundredths / 100)
        .arg(hundredths % 100, 2, 10, QLatin1Char('0'));
}

QString answeredPercent(const ResultRecord& r) {
    return QString::fromStdString(percentText(r.answeredCount, r.questionCount));
}

std::optional<ResultRecord> load(const QString& path, QString* error) {
    const std::optional<QByteArray> bytes = readNamedFile(path, kResultFileCap, error);
    if (!bytes)
        return std::nullopt;
    ResultReadResult r = readResultArchive(*bytes);
    if (!r.record)
        *error = r.error;
    return r.record;
}

int show(const QString& path) {
    QString error;
    const auto r = load(path, &error);
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
               .arg(percent(r->rightPercentHundredths));
    out += QStringLiteral("Answered: %1 of %2 (%3%)\n")
               .arg(r->answeredCount)
               .arg(r->questionCount)
               .arg(answeredPercent(*r));
    out += QStringLiteral("Started:  %1\n").arg(dateTimeIso(f.startTime));
    out += QStringLiteral("Finished: %1\n").arg(dateTimeIso(f.finishTime));
    out += QStringLiteral("Limits:   %1 per question, %2 for the test\n")
               .arg(timeOfDay(r->questionTime), timeOfDay(r->testTime));
    out += QStringLiteral("\nItem  Topic | kind | right answer | given answer | time | verdict\n");
    for (const ResultQuestion& q : r->questions) {
        out += QStringLiteral("%1  %2 | %3 | %4 | %5 | %6 | %7\n")
                   .arg(u(q.label), u(q.topic), QString(QLatin1Char(q.kind ? q.kind : '?')),
                        u(q.rightAnswer),
                        q.answered ? u(q.givenAnswer) : QStringLiteral("(not answered)"),
                        spent(q.timeSpentMs),
                        q.right ? QStringLiteral("right") : QStringLiteral("wrong"));
    }
    print(out);
    return 0;
}

QString csvField(const QString& v) {
    if (!v.contains(QLatin1Char(',')) && !v.contains(QLatin1Char('"')) &&
        !v.contains(QLatin1Char('\n')) && !v.contains(QLatin1Char('\r')))
        return v;
    QString q = v;
    q.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
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
    const ResultFolder read = readResultFolder(folder);
    for (const UnreadResult& bad : read.unread)
        complain(QStringLiteral("%1: skipped: %2").arg(QDir(folder).filePath(bad.path), bad.error));
    const QStringList header = {QStringLiteral("file"),        QStringLiteral("examinee"),
                                QStringLiteral("class"),       QStringLiteral("subject"),
                                QStringLiteral("test"),        QStringLiteral("right_percent"),
                                QStringLiteral("right"),       QStringLiteral("answered"),
                                QStringLiteral("questions"),   QStringLiteral("answered_percent"),
                                QStringLiteral("started"),     QStringLiteral("finished"),
                                QStringLiteral("verdict_code")};
    // A byte order mark, so a spreadsheet takes the Cyrillic as UTF-8; CR LF line ends.
    QByteArray csvBytes = "\xEF\xBB\xBF" + header.join(QLatin1Char(',')).toUtf8() + "\r\n";
    QJsonArray jsonRows;
    for (std::size_t k = 0; k < read.records.size(); ++k) {
        const ResultRecord* r = &read.records[k];
        const ResultFacts& f = r->facts;
        const QString& relative = read.paths[k];
        const QStringList row = {relative,
                                 u(f.examineeName),
                                 u(f.group),
                                 u(f.subject),
                                 u(f.testName),
                                 percent(r->rightPercentHundredths),
                                 QString::number(r->rightCount),
                                 QString::number(r->answeredCount),
                                 QString::number(r->questionCount),
                                 answeredPercent(*r),
                                 dateTimeIso(f.startTime),
                                 dateTimeIso(f.finishTime),
                                 QString::fromStdString(r->verdictCode)};
        QStringList fields;
        for (const QString& v : row)
            fields << csvField(v);
        csvBytes += fields.join(QLatin1Char(',')).toUtf8() + "\r\n";

        QJsonObject o;
        for (qsizetype i = 0; i < header.size(); ++i)
            o[header[i]] = row[i];
        for (const char* key : {"right", "answered", "questions"})
            o[QLatin1String(key)] = o[QLatin1String(key)].toString().toInt();
        for (const char* key : {"right_percent", "answered_percent"})
            o[QLatin1String(key)] = o[QLatin1String(key)].toString().toDouble();
        QJsonArray questions;
        for (const ResultQuestion& q : r->questions) {
            QJsonObject qo;
            qo[QStringLiteral("item")] = u(q.label);
            qo[QStringLiteral("source_no")] = q.sourceNo;
            qo[QStringLiteral("topic")] = u(q.topic);
            qo[QStringLiteral("kind")] = QString(QLatin1Char(q.kind));
            qo[QStringLiteral("difficulty")] = q.difficulty;
            qo[QStringLiteral("right_answer")] = u(q.rightAnswer);
            qo[QStringLiteral("answered")] = q.answered;
            if (q.answered)
                qo[QStringLiteral("given_answer")] = u(q.givenAnswer);
            qo[QStringLiteral("time_spent_ms")] = q.timeSpentMs;
            qo[QStringLiteral("right")] = q.right;
            questions.append(qo);
        }
        o[QStringLiteral("items")] = questions;
        jsonRows.append(o);
    }

    auto save = [](const QString& path, const QByteArray& bytes) {
        QSaveFile out(path);
        if (out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size() && out.commit())
            return true;
        complain(QStringLiteral("%1: cannot write: %2").arg(path, out.errorString()));
        return false;
    };
    if (!csv.isEmpty() && !save(csv, csvBytes))
        return 2;
    if (!json.isEmpty() && !save(json, QJsonDocument(jsonRows).toJson(QJsonDocument::Indented)))
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
