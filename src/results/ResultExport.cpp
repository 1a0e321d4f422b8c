#include "results/ResultExport.h"

#include "l10n/Cp1251.h"
#include "run/Checking.h"
#include "shell/NamedFile.h"

#include <QDate>
#include <QDir>
#include <QJsonObject>
#include <QTime>
#include <cmath>

namespace kvz {

namespace {

QString u(const std::string& cp) {
    return cp1251::toUnicode(cp);
}

QString csvField(const QString& v) {
    if (!v.contains(QLatin1Char(',')) && !v.contains(QLatin1Char('"')) &&
        !v.contains(QLatin1Char('\n')) && !v.contains(QLatin1Char('\r')))
        return v;
    QString q = v;
    q.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

} // namespace

std::optional<ResultRecord> loadResultFile(const QString& path, QString* error) {
    const std::optional<QByteArray> bytes = readNamedFile(path, kResultFileCap, error);
    if (!bytes)
        return std::nullopt;
    ResultReadResult r = readResultArchive(*bytes);
    if (!r.record && error)
        *error = r.error;
    return r.record;
}

QString resultDateTime(DateTime t) {
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

QString resultTimeOfDay(DateTime t) {
    const qint64 ms = std::llround((t - std::floor(t)) * 86400000.0) % 86400000;
    return QTime::fromMSecsSinceStartOfDay(int(ms)).toString(QStringLiteral("H:mm:ss"));
}

QString resultSpent(std::int32_t ms) {
    if (ms < 0)
        return QString::number(ms) + QStringLiteral(" ms");
    const int s = ms / 1000;
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600)
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

QString resultPercent(int hundredths) {
    return QStringLiteral("%1.%2")
        .arg(hundredths / 100)
        .arg(hundredths % 100, 2, 10, QLatin1Char('0'));
}

const QStringList& exportColumns() {
    static const QStringList columns = {
        QStringLiteral("file"),        QStringLiteral("examinee"),
        QStringLiteral("class"),       QStringLiteral("subject"),
        QStringLiteral("test"),        QStringLiteral("right_percent"),
        QStringLiteral("right"),       QStringLiteral("answered"),
        QStringLiteral("questions"),   QStringLiteral("answered_percent"),
        QStringLiteral("started"),     QStringLiteral("finished"),
        QStringLiteral("verdict_code")};
    return columns;
}

QStringList exportRow(const ExportedResult& e) {
    const ResultRecord& r = e.record;
    const ResultFacts& f = r.facts;
    return {e.file,
            u(f.examineeName),
            u(f.group),
            u(f.subject),
            u(f.testName),
            resultPercent(r.rightPercentHundredths),
            QString::number(r.rightCount),
            QString::number(r.answeredCount),
            QString::number(r.questionCount),
            QString::fromStdString(percentText(r.answeredCount, r.questionCount)),
            resultDateTime(f.startTime),
            resultDateTime(f.finishTime),
            QString::fromStdString(r.verdictCode)};
}

QByteArray exportCsv(const std::vector<ExportedResult>& results) {
    // A byte order mark, so a spreadsheet takes the Cyrillic as UTF-8; CR LF line ends.
    QByteArray out = "\xEF\xBB\xBF" + exportColumns().join(QLatin1Char(',')).toUtf8() + "\r\n";
    for (const ExportedResult& e : results) {
        QStringList fields;
        for (const QString& v : exportRow(e))
            fields << csvField(v);
        out += fields.join(QLatin1Char(',')).toUtf8() + "\r\n";
    }
    return out;
}

QJsonArray exportJson(const std::vector<ExportedResult>& results) {
    const QStringList& header = exportColumns();
    QJsonArray rows;
    for (const ExportedResult& e : results) {
        const QStringList row = exportRow(e);
        QJsonObject o;
        for (qsizetype i = 0; i < header.size(); ++i)
            o[header[i]] = row[i];
        for (const char* key : {"right", "answered", "questions"})
            o[QLatin1String(key)] = o[QLatin1String(key)].toString().toInt();
        for (const char* key : {"right_percent", "answered_percent"})
            o[QLatin1String(key)] = o[QLatin1String(key)].toString().toDouble();
        QJsonArray questions;
        for (const ResultQuestion& q : e.record.questions) {
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
        rows.append(o);
    }
    return rows;
}

} // namespace kvz
