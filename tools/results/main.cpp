// kvizor-results: result archives for the teacher. "show" prints one archive as text; "export"
// collects a folder of them, recursively, into one CSV or JSON file. A damaged or foreign file
// is named on standard error and the export goes on with the rest. Output is UTF-8.
//
// Exit codes: 0 all read, 1 some file could not be read (the export still holds the others),
// 2 wrong usage or an output file that cannot be written.

#include "l10n/Cp1251.h"
#include "results/ResultReader.h"
#include "run/Checking.h"
#include "shell/NamedFile.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QTime>
#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kvz {
namespace {

constexpr const char* kUsage =
    "usage: kvizor-results show FILE.rst\n"
    "       kvizor-results export FOLDER [--csv OUT.csv] [--json OUT.json]\n";

// A result archive is a few kilobytes; anything far larger is no result.
constexpr qint64 kFileCap = 64 * 1024 * 1024;

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
    const std::optional<QByteArray> bytes = readNamedFile(path, kFileCap, error);
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
    QStringList files;
    QDirIterator it(folder, {QStringLiteral("*.rst")}, QDir::Files | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    files.sort();

    bool damaged = false;
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
    const QDir base(folder);
    for (const QString& path : files) {
        QString error;
        const auto r = load(path, &error);
        if (!r) {
            complain(QStringLiteral("%1: skipped: %2").arg(path, error));
            damaged = true;
            continue;
        }
        const ResultFacts& f = r->facts;
        const QString relative = base.relativeFilePath(path);
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
