#pragma once

// A folder of result archives as one table for the teacher's spreadsheet: the rows and columns
// kvizor-results export writes, and the same CSV and JSON bytes wherever the table is made (the
// command-line tool, the supervisor's console).

#include "results/ResultFolder.h"
#include "results/ResultReader.h"

#include <QByteArray>
#include <QJsonArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace kvz {

// One result file, read only when it is a regular file within the cap.
std::optional<ResultRecord> loadResultFile(const QString& path, QString* error);

// Texts of the record as the export and the show command write them.
QString resultDateTime(DateTime t);    // "2025-12-09 10:15:00"
QString resultTimeOfDay(DateTime t);   // "0:30:00"
QString resultSpent(std::int32_t ms);  // "0:01:05"
QString resultPercent(int hundredths); // "66.67"

// The table's columns: file, examinee, class, subject, test, right_percent, right, answered,
// questions, answered_percent, started, finished, verdict_code.
const QStringList& exportColumns();

struct ExportedResult {
    QString file; // as the table names it (relative to the exported folder)
    ResultRecord record;
};

// One row's values in column order.
QStringList exportRow(const ExportedResult& r);
// UTF-8 with a byte order mark, CR LF line ends, fields quoted where needed.
QByteArray exportCsv(const std::vector<ExportedResult>& results);
// An array of objects with the columns (numbers as numbers) and each question under "items".
QJsonArray exportJson(const std::vector<ExportedResult>& results);

} // namespace kvz
