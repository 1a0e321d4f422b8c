#pragma once

// The teacher's report as a PDF on A4: the same page as the HTML, laid out by Qt's rich text,
// with the charts drawn as vector shapes from the same figures. Needs a QGuiApplication (fonts).

#include "results/ReportHtml.h"

#include <QString>
#include <vector>

namespace kvz {

// Writes the report to path (a temporary file given its name at the end, so a failed write
// leaves no half file). Returns the number of pages, or 0 with *error set.
int writeReportPdf(const std::vector<TestAnalysis>& tests, const ReportSource& source,
                   const QString& path, QString* error);

} // namespace kvz
