#pragma once

// The teacher's report as one HTML page: a section per test (summary, marks, questions with
// their difficulty, discrimination and wrong answers, topics, pupils), the files that could not
// be read at the end, and a few words on reading the figures. Styles and charts (inline SVG)
// are inside; no scripts, nothing fetched; it prints on A4. The page is well-formed XML too.

#include "results/ItemAnalysis.h"
#include "results/ReportFigure.h"
#include "results/ResultFolder.h"

#include <QDateTime>
#include <QString>
#include <vector>

namespace kvz {

struct ReportSource {
    QString folder; // as the teacher named it
    QDateTime made; // when the report was made
    int resultCount = 0;
    std::vector<UnreadResult> unread;
    // Said in each test's marks part when its grading scale is unknown.
    QString noScaleNote;
};

// Browser: the page with inline SVG. TextDocument: the same page for Qt's rich text (the PDF):
// each chart is an <img src="figure:N"> whose drawing is figures[N], and the styles are those
// Qt's rich text understands.
enum class ReportFlavour { Browser, TextDocument };

QString reportHtml(const std::vector<TestAnalysis>& tests, const ReportSource& source,
                   ReportFlavour flavour = ReportFlavour::Browser,
                   std::vector<Figure>* figures = nullptr);

// Texts as the report writes them.
QString percentFigure(double percent);        // 63.5 %
QString shareFigure(double share);            // 0.667 -> 67 %
QString indexFigure(std::optional<double> v); // +0.50, -0.25; "n/a" when undefined
QString durationFigure(std::int64_t ms);      // 0:12:05, 12:05 below an hour

} // namespace kvz
