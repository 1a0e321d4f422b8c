#include "results/ReportHtml.h"

#include "l10n/Cp1251.h"
#include "results/ReportFigure.h"

#include <algorithm>
#include <cmath>

namespace kvz {

namespace {

QString u(const std::string& cp) {
    return cp1251::toUnicode(cp);
}

// A text of a result (Windows-1251), escaped for the page.
QString esc(const std::string& cp) {
    return xmlEscaped(u(cp));
}

// A mark's text may hold "|" as a line break; one line in a table or under a column.
QString markText(const MarkEntry& m) {
    QString t = u(m.markText);
    t.replace(QLatin1Char('|'), QLatin1Char(' '));
    return t.trimmed();
}

QString kindName(char kind) {
    switch (kind) {
    case 'A':
        return QStringLiteral("choice");
    case 'B':
        return QStringLiteral("typed answer");
    case 'D':
        return QStringLiteral("ordering");
    default:
        return QStringLiteral("unknown kind");
    }
}

// For the narrow table of all questions.
QString shortKindName(char kind) {
    switch (kind) {
    case 'A':
        return QStringLiteral("choice");
    case 'B':
        return QStringLiteral("typed");
    case 'D':
        return QStringLiteral("order");
    default:
        return QStringLiteral("?");
    }
}

QString itemName(const ItemStats& it) {
    return QStringLiteral("%1 (No. %2)").arg(esc(it.label), QString::number(it.sourceNo));
}

QString undefinedFigure(std::optional<double> v, Undefined why) {
    if (v)
        return indexFigure(v);
    return QStringLiteral("undefined <span class=\"why\">(%1)</span>")
        .arg(xmlEscaped(QString::fromLatin1(undefinedText(why))));
}

QString testTitle(const TestAnalysis& t) {
    QString title = esc(t.testName);
    if (!t.subject.empty())
        title += QStringLiteral(" &#8212; ") + esc(t.subject);
    title += QStringLiteral(" &#8212; class ") +
             (t.group.empty() ? QStringLiteral("not given") : esc(t.group));
    return title;
}

QString pupilsText(int n) {
    return n == 1 ? QStringLiteral("1 pupil") : QStringLiteral("%1 pupils").arg(n);
}

bool flagged(const ItemStats& it) {
    return !it.flags.empty();
}

class Writer {
public:
    Writer(ReportFlavour flavour, std::vector<Figure>* figures)
        : flavour_(flavour), figures_(figures) {}

    QString out;

    void figure(const Figure& f) {
        if (flavour_ == ReportFlavour::Browser) {
            out +=
                QStringLiteral("<div class=\"fig\">") + figureSvg(f) + QStringLiteral("</div>\n");
            return;
        }
        // Qt's rich text cannot hold SVG: a placeholder image that the PDF writer replaces
        // with the same drawing.
        const std::size_t n = figures_ ? figures_->size() : 0;
        if (figures_)
            figures_->push_back(f);
        out += QStringLiteral("<p class=\"fig\"><img src=\"figure:%1\" width=\"%2\" "
                              "height=\"%3\" alt=\"%4\" /></p>\n")
                   .arg(n)
                   .arg(int(std::lround(f.width)))
                   .arg(int(std::lround(f.height)))
                   .arg(xmlEscaped(f.title));
    }

    void summary(const TestAnalysis& t) {
        out += QStringLiteral("<h3>Summary</h3>\n<table class=\"facts\">\n");
        auto row = [&](const QString& name, const QString& value) {
            out += QStringLiteral("<tr><th>%1</th><td>%2</td></tr>\n").arg(name, value);
        };
        row(QStringLiteral("Pupils"), QString::number(t.pupilCount));
        row(QStringLiteral("Questions"), QString::number(t.questionCount));
        row(QStringLiteral("Mean score"), percentFigure(t.meanScore));
        row(QStringLiteral("Median score"), percentFigure(t.medianScore));
        row(QStringLiteral("Spread (standard deviation)"),
            t.pupilCount > 1 ? percentFigure(t.scoreSpread)
                             : QStringLiteral("undefined (one pupil)"));
        row(QStringLiteral("Lowest and highest score"),
            percentFigure(t.minScore) + QStringLiteral(" &#8211; ") + percentFigure(t.maxScore));
        row(QStringLiteral("Time taken, median"),
            t.medianTakenMs ? durationFigure(*t.medianTakenMs) : QStringLiteral("not known"));
        row(QStringLiteral("Time taken, longest"),
            t.longestTakenMs ? durationFigure(*t.longestTakenMs) : QStringLiteral("not known"));
        out += QStringLiteral("</table>\n");

        ColumnChart scores;
        scores.title = QStringLiteral("Pupils by score, in steps of 10 %");
        scores.axisTitle = QStringLiteral("pupils");
        for (int i = 0; i < 10; ++i) {
            scores.labels << QStringLiteral("%1-%2").arg(i * 10).arg(i * 10 + 10);
            scores.values.push_back(t.scoreBins[std::size_t(i)]);
            scores.valueTexts << (t.scoreBins[std::size_t(i)]
                                      ? QString::number(t.scoreBins[std::size_t(i)])
                                      : QString());
        }
        scores.height = 200;
        out += QStringLiteral("<h4>Scores (%)</h4>\n");
        figure(columnChart(scores));

        if (t.markScale.empty()) {
            if (!noScaleNote_.isEmpty())
                out += QStringLiteral("<h4>Marks</h4>\n<p class=\"note\">") +
                       xmlEscaped(noScaleNote_) + QStringLiteral("</p>\n");
            return;
        }
        out += QStringLiteral("<h4>Marks</h4>\n");
        ColumnChart marks;
        marks.title = QStringLiteral("Pupils by mark");
        marks.axisTitle = QStringLiteral("pupils");
        for (std::size_t i = 0; i < t.markScale.size(); ++i) {
            marks.labels << markText(t.markScale[i]);
            const int n = i < t.markCounts.size() ? t.markCounts[i] : 0;
            marks.values.push_back(n);
            marks.valueTexts << QString::number(n);
        }
        marks.width = std::min(640.0, 80.0 + 70.0 * double(t.markScale.size()));
        marks.height = 180;
        figure(columnChart(marks));
    }

    void questions(const TestAnalysis& t) {
        out += QStringLiteral("<h3>Questions</h3>\n");
        ColumnChart chart;
        chart.title = QStringLiteral("Share of pupils right on each question");
        chart.axisTitle = QStringLiteral("% right");
        chart.maxValue = 100;
        chart.counts = false;
        for (const ItemStats& it : t.items) {
            chart.labels << u(it.label);
            chart.values.push_back(it.difficultyIndex * 100);
            chart.valueTexts << QString::number(std::lround(it.difficultyIndex * 100));
            chart.colours.push_back(flagged(it) ? palette::warn : palette::bar);
        }
        chart.height = 220;
        figure(columnChart(chart));
        out += QStringLiteral("<p class=\"legend\"><span class=\"key warn\">&#9632;</span> a "
                              "question to look at (see its notes below)</p>\n");

        // The reasons a figure is undefined are told under each question, to keep this narrow.
        out += QStringLiteral(
            "<table class=\"items\" width=\"100%\">\n<thead><tr><th>Question</th><th>No.</th>"
            "<th>Kind</th><th>Topic</th><th>Right</th><th>Answered</th><th>Discrim.</th>"
            "<th>Pt-biserial</th><th>Time</th></tr></thead>\n<tbody>\n");
        for (const ItemStats& it : t.items) {
            out += QStringLiteral(
                       "<tr%1><td>%2</td><td class=\"num\">%3</td><td>%4</td><td class=\"topic\">%5"
                       "</td><td class=\"num\">%6</td><td class=\"num\">%7</td>"
                       "<td class=\"num\">%8</td><td class=\"num\">%9</td>")
                       .arg(flagged(it) ? QStringLiteral(" class=\"flag\"") : QString(),
                            esc(it.label), QString::number(it.sourceNo), shortKindName(it.kind),
                            esc(it.topic), shareFigure(it.difficultyIndex),
                            QStringLiteral("%1 of %2").arg(it.answeredCount).arg(it.pupils),
                            indexFigure(it.discrimination), indexFigure(it.pointBiserial));
            out += QStringLiteral("<td class=\"num\">%1</td></tr>\n")
                       .arg(durationFigure(std::llround(it.meanTimeMs)));
        }
        out += QStringLiteral("</tbody>\n</table>\n");

        for (const ItemStats& it : t.items)
            question(it);
    }

    void question(const ItemStats& it) {
        out += QStringLiteral("<div class=\"item\">\n<h4>%1 &#183; %2%3</h4>\n")
                   .arg(itemName(it), kindName(it.kind),
                        it.topic.empty() ? QString() : QStringLiteral(" &#183; ") + esc(it.topic));
        out += QStringLiteral("<p>Right: %1 (%2 of %3). Discrimination: %4. "
                              "Point-biserial: %5. Mean time: %6.</p>\n")
                   .arg(shareFigure(it.difficultyIndex))
                   .arg(it.rightCount)
                   .arg(pupilsText(it.pupils))
                   .arg(undefinedFigure(it.discrimination, it.discriminationWhy),
                        undefinedFigure(it.pointBiserial, it.pointBiserialWhy),
                        durationFigure(std::llround(it.meanTimeMs)));
        for (ItemFlag f : it.flags)
            out += QStringLiteral("<p class=\"warn\">&#9888; ") +
                   xmlEscaped(QString::fromLatin1(itemFlagText(f))) + QStringLiteral("</p>\n");

        if (it.kind == 'A' && !it.optionCounts.empty()) {
            BarChart c;
            c.title = QStringLiteral("Pupils choosing each option of %1").arg(u(it.label));
            const double pupils = std::max(1, it.pupils);
            for (std::size_t i = 0; i < it.optionCounts.size(); ++i) {
                const bool right = i < it.optionRight.size() && it.optionRight[i];
                c.labels << QStringLiteral("Option %1%2")
                                .arg(i + 1)
                                .arg(right ? QStringLiteral(" (right)") : QString());
                c.shares.push_back(it.optionCounts[i] / pupils);
                c.valueTexts << QStringLiteral("%1 (%2)")
                                    .arg(shareFigure(it.optionCounts[i] / pupils))
                                    .arg(it.optionCounts[i]);
                c.colours.push_back(right ? palette::right : palette::warn);
            }
            c.labels << QStringLiteral("No answer");
            c.shares.push_back(it.notAnsweredCount / pupils);
            c.valueTexts << QStringLiteral("%1 (%2)")
                                .arg(shareFigure(it.notAnsweredCount / pupils))
                                .arg(it.notAnsweredCount);
            c.colours.push_back(palette::muted);
            c.width = 520;
            figure(barChart(c));
            if (it.multiChoice)
                out += QStringLiteral("<p class=\"note\">More than one option may be chosen: "
                                      "the shares can add up past 100 %.</p>\n");
        } else if (it.kind == 'B' || it.kind == 'D') {
            const QString what =
                it.kind == 'B' ? QStringLiteral("wrong answers") : QStringLiteral("wrong orders");
            out += QStringLiteral("<p>Right answer: <span class=\"answer\">%1</span></p>\n")
                       .arg(esc(it.rightAnswer));
            if (it.wrongAnswers.empty()) {
                out += QStringLiteral("<p class=\"note\">No %1 given.</p>\n").arg(what);
            } else {
                out += QStringLiteral("<table class=\"wrong\"><thead><tr><th>Most frequent "
                                      "%1</th><th>Pupils</th></tr></thead><tbody>\n")
                           .arg(what);
                for (const AnswerCount& a : it.wrongAnswers)
                    out += QStringLiteral("<tr><td class=\"answer\">%1</td><td class=\"num\">%2"
                                          "</td></tr>\n")
                               .arg(a.answer.empty() ? QStringLiteral("(empty)") : esc(a.answer),
                                    QString::number(a.count));
                if (it.otherWrongCount > 0)
                    out += QStringLiteral("<tr><td>other wrong answers</td><td class=\"num\">%1"
                                          "</td></tr>\n")
                               .arg(it.otherWrongCount);
                out += QStringLiteral("</tbody></table>\n");
            }
        }
        out += QStringLiteral("</div>\n");
    }

    void topics(const TestAnalysis& t) {
        if (t.topics.empty())
            return;
        out += QStringLiteral("<h3>Topics</h3>\n");
        BarChart c;
        c.title = QStringLiteral("Share of answers right per topic");
        for (const TopicStats& s : t.topics) {
            c.labels << u(s.topic);
            c.shares.push_back(s.share);
            c.valueTexts << shareFigure(s.share);
        }
        figure(barChart(c));
        out += QStringLiteral("<table class=\"topics\"><thead><tr><th>Topic</th><th>Questions"
                              "</th><th>Right</th></tr></thead><tbody>\n");
        for (const TopicStats& s : t.topics)
            out += QStringLiteral("<tr><td>%1</td><td class=\"num\">%2</td><td class=\"num\">%3 "
                                  "(%4 of %5 answers)</td></tr>\n")
                       .arg(esc(s.topic), QString::number(s.questions), shareFigure(s.share),
                            QString::number(s.right), QString::number(s.answers));
        out += QStringLiteral("</tbody></table>\n");
    }

    void pupils(const TestAnalysis& t) {
        out += QStringLiteral(
            "<h3>Pupils</h3>\n<table class=\"pupils\"><thead><tr><th>Class</th><th>Name</th>"
            "<th>Score</th><th>Mark</th><th>Right / answered / total</th><th>Time</th></tr>"
            "</thead><tbody>\n");
        for (const PupilRow& p : t.pupils) {
            const QString mark = p.markIndex >= 0 && std::size_t(p.markIndex) < t.markScale.size()
                                     ? xmlEscaped(markText(t.markScale[std::size_t(p.markIndex)]))
                                     : QStringLiteral("&#8212;");
            out += QStringLiteral("<tr><td>%1</td><td>%2</td><td class=\"num\">%3</td><td>%4</td>"
                                  "<td class=\"num\">%5 / %6 / %7</td><td class=\"num\">%8</td>"
                                  "</tr>\n")
                       .arg(esc(p.group), esc(p.name), percentFigure(p.score), mark,
                            QString::number(p.rightCount), QString::number(p.answeredCount),
                            QString::number(p.questionCount),
                            p.takenMs ? durationFigure(*p.takenMs) : QStringLiteral("&#8212;"));
        }
        out += QStringLiteral("</tbody></table>\n");
    }

    QString noScaleNote_;

private:
    ReportFlavour flavour_;
    std::vector<Figure>* figures_;
};

// Browsers print with these rules; Qt's rich text takes the subset it knows (tables, colours,
// page breaks before each test) and ignores the rest.
const char* const kStyle = R"(
body { font-family: "DejaVu Sans", Verdana, sans-serif; font-size: 10pt; color: #222; margin: 1.5em; }
h1 { font-size: 18pt; margin: 0 0 0.3em 0; }
h2 { font-size: 14pt; border-bottom: 2px solid #4a7ab5; padding-bottom: 0.2em; margin-top: 1.2em; }
h3 { font-size: 12pt; margin: 1em 0 0.4em 0; color: #2d4f7c; }
h4 { font-size: 10.5pt; margin: 0.8em 0 0.3em 0; }
p { margin: 0.3em 0; }
table { border-collapse: collapse; margin: 0.4em 0; }
th, td { border: 1px solid #bbb; padding: 2px 6px; vertical-align: top; }
th { background-color: #eef2f7; text-align: left; }
td.num { text-align: right; white-space: nowrap; }
table.items { font-size: 8.5pt; }
table.items th, table.items td { white-space: nowrap; }
table.items td.topic { white-space: normal; }
tr.flag td { background-color: #fbeae6; }
p.warn { color: #8a2d1a; }
p.note, span.why, p.meta, p.legend { color: #666; }
span.key.warn { color: #c8553d; }
.answer { font-family: "DejaVu Sans Mono", monospace; }
.fig { margin: 0.3em 0; }
)";

const char* const kBrowserStyle = R"(
svg.figure { max-width: 100%; height: auto; display: block; }
div.item { break-inside: avoid; page-break-inside: avoid; border-top: 1px solid #ddd; padding-top: 0.2em; }
section.test { break-before: page; page-break-before: always; }
section.test:first-of-type { break-before: auto; page-break-before: auto; }
section.unread { break-before: page; page-break-before: always; }
tr, .fig { break-inside: avoid; page-break-inside: avoid; }
thead { display: table-header-group; }
nav ol { margin: 0.3em 0; }
@page { size: A4; margin: 15mm; }
@media print { body { margin: 0; } a { color: inherit; text-decoration: none; } }
)";

const char* const kTextDocumentStyle = R"(
h2.test { page-break-before: always; }
h2.unread { page-break-before: always; }
)";

} // namespace

QString percentFigure(double percent) {
    return QStringLiteral("%1 %").arg(QString::number(percent, 'f', 1));
}

QString shareFigure(double share) {
    return QStringLiteral("%1 %").arg(std::lround(share * 100));
}

QString indexFigure(std::optional<double> v) {
    if (!v)
        return QStringLiteral("undefined");
    // Rounded first, so a tiny negative never shows as "-0.00".
    const double r = std::round(*v * 100) / 100;
    if (r == 0)
        return QStringLiteral("0.00");
    return (r > 0 ? QStringLiteral("+") : QString(QChar(0x2212))) +
           QString::number(std::fabs(r), 'f', 2);
}

QString durationFigure(std::int64_t ms) {
    const std::int64_t s = std::max<std::int64_t>(0, (ms + 500) / 1000);
    if (s < 3600)
        return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600)
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

QString reportHtml(const std::vector<TestAnalysis>& tests, const ReportSource& source,
                   ReportFlavour flavour, std::vector<Figure>* figures) {
    Writer w(flavour, figures);
    w.noScaleNote_ = source.noScaleNote;
    QString& out = w.out;
    const bool browser = flavour == ReportFlavour::Browser;
    out += QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\" "
                          "/>\n<title>Results: %1</title>\n<style>")
               .arg(xmlEscaped(source.folder));
    out += QLatin1String(kStyle);
    out += QLatin1String(browser ? kBrowserStyle : kTextDocumentStyle);
    out += QStringLiteral("</style>\n</head>\n<body>\n<h1>Results report</h1>\n");
    out += QStringLiteral("<p class=\"meta\">Folder %1 &#183; %2 results read &#183; %3 not read "
                          "&#183; %4 tests &#183; made %5</p>\n")
               .arg(xmlEscaped(source.folder), QString::number(source.resultCount),
                    QString::number(source.unread.size()), QString::number(tests.size()),
                    xmlEscaped(source.made.toString(QStringLiteral("yyyy-MM-dd HH:mm"))));

    if (browser && tests.size() > 1) {
        out += QStringLiteral("<nav>\n<ol>\n");
        for (std::size_t i = 0; i < tests.size(); ++i)
            out += QStringLiteral("<li><a href=\"#test-%1\">%2</a> (%3)</li>\n")
                       .arg(QString::number(i + 1), testTitle(tests[i]),
                            pupilsText(tests[i].pupilCount));
        out += QStringLiteral("</ol>\n</nav>\n");
    }

    for (std::size_t i = 0; i < tests.size(); ++i) {
        const TestAnalysis& t = tests[i];
        if (browser)
            out += QStringLiteral("<section class=\"test\" id=\"test-%1\">\n<h2>%2</h2>\n")
                       .arg(i + 1)
                       .arg(testTitle(t));
        else
            out += QStringLiteral("<h2%1>%2</h2>\n")
                       .arg(i > 0 ? QStringLiteral(" class=\"test\"") : QString(), testTitle(t));
        w.summary(t);
        w.questions(t);
        w.topics(t);
        w.pupils(t);
        if (browser)
            out += QStringLiteral("</section>\n");
    }

    if (!source.unread.empty()) {
        out += browser ? QStringLiteral("<section class=\"unread\">\n<h2>Files not read</h2>\n")
                       : QStringLiteral("<h2 class=\"unread\">Files not read</h2>\n");
        out += QStringLiteral("<p>These files are not in the report: damaged, cut short, or not "
                              "results of this program.</p>\n<table class=\"unread\"><thead><tr>"
                              "<th>File</th><th>Why</th></tr></thead><tbody>\n");
        for (const UnreadResult& r : source.unread)
            out += QStringLiteral("<tr><td>%1</td><td>%2</td></tr>\n")
                       .arg(xmlEscaped(r.path), xmlEscaped(r.error));
        out += QStringLiteral("</tbody></table>\n");
        if (browser)
            out += QStringLiteral("</section>\n");
    }

    out += QStringLiteral(
        "<h3>Reading the figures</h3>\n"
        "<p><b>Right</b> is the share of pupils who answered the question right (its "
        "difficulty index): near 100 % the question is easy, near 0 % it is hard.</p>\n"
        "<p><b>Discrimination</b> (Discrim.) compares the best 27 % of pupils by score with the "
        "weakest 27 %: the share right in the upper group minus the share right in the lower "
        "group, from &#8722;1 to +1. Pupils with the same score at the edge of a group count "
        "in it in equal parts. Above +0.30 the question tells stronger pupils from weaker ones "
        "well; near zero or below it does not.</p>\n"
        "<p><b>Point-biserial</b> (Pt-biserial) is the correlation between getting the question "
        "right and the "
        "score, from &#8722;1 to +1; it is undefined when every pupil scored the same or every "
        "pupil answered the question alike.</p>\n"
        "<p>Scores are weighted by each question's difficulty, as the pupils were shown them. "
        "Questions are counted by their place in the test (No.), so a test whose questions were "
        "shuffled is still analysed question by question; the label is the one the question has "
        "when the test is not shuffled.</p>\n");
    out += QStringLiteral("</body>\n</html>\n");
    return out;
}

} // namespace kvz
