// The teacher's report made from results the program itself wrote: pupils of two classes sit a
// test with a grading scale through the real windows, then kvizor-results reports the results
// folder as HTML and PDF, with a damaged file among the results.

#include "choice/ChoiceFixture.h"
#include "support/TestPaths.h"

#include "choice/TInform.h"
#include "choice/TPrepere.h"
#include "results/TResultats.h"
#include "run/TMessage1.h"
#include "run/TTopros.h"
#include "shell/Clock.h"
#include "shell/TBasic.h"

#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QToolBar>
#include <QXmlStreamReader>
#include <QtPdf/QPdfDocument>

using namespace kvz;
using namespace kvz::testing;

namespace {

const QString kTest = QStringLiteral("Алгебра 7 класс");

struct ToolRun {
    int code = -1;
    QString out;
    QString err;
};

ToolRun tool(const QString& name, const QStringList& args, const QString& workingFolder = {}) {
    QProcess p;
    if (!workingFolder.isEmpty())
        p.setWorkingDirectory(workingFolder);
    p.start(binaryDir() + QStringLiteral("/tools/") + name, args);
    p.waitForFinished(180000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

class ReportRoadTest : public ChoiceFixture {
protected:
    // The sample test with a grading scale, packed into the program's Base folder.
    void packTestWithMarks() {
        const QString from = sourceDir() + QStringLiteral("/data/samples/math-kinds");
        const QString to = temp.filePath(QStringLiteral("source"));
        ASSERT_TRUE(QDir().mkpath(to));
        for (const QString& f : QDir(from).entryList(QDir::Files))
            ASSERT_TRUE(QFile::copy(from + QLatin1Char('/') + f, to + QLatin1Char('/') + f));
        QFile ini(to + QStringLiteral("/test.ini"));
        ASSERT_TRUE(ini.open(QIODevice::Append));
        ini.write("\n[Marks]\n0=2\n40=3\n60=4\n85=5\n");
        ini.close();
        const ToolRun r =
            tool(QStringLiteral("kvizor-pack"),
                 {QStringLiteral("build"), to, QStringLiteral("-o"),
                  prog() + QStringLiteral("/Base/") + kTest + QStringLiteral(".tst")});
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
    }

    // One pupil through the main window, the choice of test, the names and the run: key is the
    // option pressed on the first question (0: none); minutes the time until the finish.
    void sit(const QString& group, const QString& name, int key, int minutes) {
        const DateTime started = 46100.5 + sittings_++ * 0.01;
        clock::setNowForTesting([=] { return started; });
        start();
        RunState& rs = app->runState();
        app->basic().show();
        app->basic().findChild<QPushButton*>(QStringLiteral("Button5"))->click();
        Dialogs::queueAnswer(true); // "Вы действительно выбрали тест ...?"
        QTest::keyClick(app->prepere().ListBox1, Qt::Key_Return);
        TInform& inform = app->inform();
        ASSERT_TRUE(inform.isVisible()) << "the test did not load";
        typeText(inform.KlassName, group);
        typeText(inform.UserName, name);
        rs.showIntroduction = false;
        Dialogs::queueAnswer(true);
        QTest::keyClick(inform.UserName, Qt::Key_Return);
        TTopros& run = app->topros();
        ASSERT_TRUE(run.isVisible());
        if (key > 0)
            QTest::sendKeyEvent(QTest::Click, &run, Qt::Key(Qt::Key_0 + key), QString::number(key),
                                Qt::NoModifier);
        clock::setNowForTesting([=] { return started + minutes / 1440.0; });
        QTest::mouseClick(run.ToolBar1->widgetForAction(run.N4), Qt::LeftButton);
        ASSERT_TRUE(app->message1().isVisible());
        app->message1().Button2->click();
        QCoreApplication::processEvents();
        ASSERT_TRUE(app->resultats().isVisible());
        clock::setNowForTesting({});
        liftLockdown(RunState{});
        app.reset();
    }

    QString results() const { return prog() + QStringLiteral("/Results"); }
    int sittings_ = 0;
};

// Start elements by name, and the text of every h2, in order; fails on malformed XML.
struct Page {
    QMap<QString, int> elements;
    QStringList h2;
    QStringList cells; // every td, in order
    QString error;
};

Page parsePage(const QString& html) {
    Page p;
    QXmlStreamReader xml(html);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QString name = xml.name().toString();
        ++p.elements[name];
        if (name == QLatin1String("h2"))
            p.h2 << xml.readElementText(QXmlStreamReader::IncludeChildElements);
        else if (name == QLatin1String("td"))
            p.cells << xml.readElementText(QXmlStreamReader::IncludeChildElements);
    }
    if (xml.hasError())
        p.error = QStringLiteral("%1 at line %2").arg(xml.errorString()).arg(xml.lineNumber());
    return p;
}

} // namespace

TEST_F(ReportRoadTest, ResultsOfARealRunReportedAsHtmlAndPdf) {
    packTestWithMarks();
    // 7А: two right on the first question, one wrong, one who answered nothing; 7Б: one pupil.
    sit(QStringLiteral("7а"), QStringLiteral("Петрова Анна"), 3, 12);
    sit(QStringLiteral("7а"), QStringLiteral("Иванов Пётр"), 1, 7);
    sit(QStringLiteral("7а"), QStringLiteral("Сидоров Олег"), 3, 15);
    sit(QStringLiteral("7а"), QStringLiteral("Кузнецова Мария"), 0, 3);
    sit(QStringLiteral("7б"), QStringLiteral("Орлов Илья"), 3, 9);
    ASSERT_EQ(QDir(results()).entryList({QStringLiteral("*.rst")}, QDir::Files).size(), 5);
    QFile broken(results() + QStringLiteral("/00000000.rst"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("PK\x03\x04 cut short");
    broken.close();

    const QString html = temp.filePath(QStringLiteral("report.html"));
    const QString pdf = temp.filePath(QStringLiteral("report.pdf"));
    // Named as a teacher types them, from the program folder.
    const ToolRun r =
        tool(QStringLiteral("kvizor-results"),
             {QStringLiteral("report"), QStringLiteral("Results"), QStringLiteral("-o"), html,
              QStringLiteral("--pdf"), pdf, QStringLiteral("--tests"), QStringLiteral("Base")},
             prog());
    // The damaged file is named and skipped; the report is made from the others.
    EXPECT_EQ(r.code, 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("Results/00000000.rst: skipped: ")))
        << r.err.toStdString();

    QFile h(html);
    ASSERT_TRUE(h.open(QIODevice::ReadOnly));
    const QString page = QString::fromUtf8(h.readAll());
    const Page p = parsePage(page);
    ASSERT_TRUE(p.error.isEmpty()) << p.error.toStdString();
    const QString title = kTest + QStringLiteral(" \u2014 Алгебра \u2014 class ");
    EXPECT_EQ(p.h2, (QStringList{title + QStringLiteral("7А"), title + QStringLiteral("7Б"),
                                 QStringLiteral("Files not read")}));
    // Per test: scores and marks; the questions' overview; two choice questions; the topics.
    EXPECT_EQ(p.elements.value(QStringLiteral("svg")), 2 * 6);
    EXPECT_EQ(p.elements.value(QStringLiteral("script")), 0);
    EXPECT_EQ(p.elements.value(QStringLiteral("section")), 3);

    // The pupils of 7А by name, each with the mark of the scale: one right of four questions
    // (weighted alike) is 25 %, a "2".
    const QStringList cells = p.cells;
    auto rowOf = [&](const QString& name) {
        const qsizetype i = cells.indexOf(name);
        return i > 0 ? cells.mid(i - 1, 6) : QStringList();
    };
    const QStringList anna = rowOf(QStringLiteral("Петрова Анна"));
    ASSERT_EQ(anna.size(), 6) << page.toStdString();
    EXPECT_EQ(anna[0], QStringLiteral("7А"));
    EXPECT_EQ(anna[3], QStringLiteral("2"));
    EXPECT_EQ(anna[4], QStringLiteral("1 / 1 / 4"));
    EXPECT_EQ(anna[5], QStringLiteral("12:00"));
    const QStringList maria = rowOf(QStringLiteral("Кузнецова Мария"));
    ASSERT_EQ(maria.size(), 6);
    EXPECT_EQ(maria[2], QStringLiteral("0.0 %"));
    EXPECT_EQ(maria[4], QStringLiteral("0 / 0 / 4"));
    EXPECT_LT(cells.indexOf(QStringLiteral("Иванов Пётр")),
              cells.indexOf(QStringLiteral("Кузнецова Мария")));
    EXPECT_LT(cells.indexOf(QStringLiteral("Кузнецова Мария")),
              cells.indexOf(QStringLiteral("Петрова Анна")));
    EXPECT_LT(cells.indexOf(QStringLiteral("Петрова Анна")),
              cells.indexOf(QStringLiteral("Сидоров Олег")));
    // Question A01 of 7А: two of four right, one chose option 1, one did not answer.
    EXPECT_TRUE(page.contains(QStringLiteral("Right: 50 % (2 of 4 pupils)"))) << page.toStdString();
    EXPECT_TRUE(page.contains(QStringLiteral(">Option 3 (right)</text>")));
    EXPECT_TRUE(page.contains(QStringLiteral(">25 % (1)</text>")));
    EXPECT_TRUE(page.contains(QStringLiteral("Nobody answered this question.")));
    EXPECT_TRUE(page.contains(QStringLiteral(">00000000.rst</td>")));
    // Time taken in 7А: 3, 7, 12 and 15 minutes.
    EXPECT_TRUE(page.contains(QStringLiteral("<th>Time taken, median</th><td>9:30</td>")));
    EXPECT_TRUE(page.contains(QStringLiteral("<th>Time taken, longest</th><td>15:00</td>")));

    // The PDF: each test begins a page, the unread files come last; the same figures.
    QPdfDocument doc;
    ASSERT_EQ(doc.load(pdf), QPdfDocument::Error::None);
    const int pages = doc.pageCount();
    QStringList text;
    for (int i = 0; i < pages; ++i)
        text << doc.getAllText(i).text();
    ASSERT_GE(pages, 3);
    EXPECT_TRUE(text[0].startsWith(QStringLiteral("Results report"))) << text[0].toStdString();
    EXPECT_TRUE(text[0].contains(title + QStringLiteral("7А")));
    int second = -1;
    for (int i = 1; i < pages; ++i)
        if (text[i].startsWith(title + QStringLiteral("7Б")))
            second = i;
    EXPECT_GT(second, 0) << "the second test does not begin a page";
    EXPECT_TRUE(text.last().contains(QStringLiteral("Files not read")));
    EXPECT_TRUE(text.last().contains(QStringLiteral("00000000.rst")));
    const QString all = text.join(QLatin1Char('\n'));
    EXPECT_TRUE(all.contains(QStringLiteral("Right: 50 % (2 of 4 pupils)")));
    EXPECT_TRUE(all.contains(QStringLiteral("Option 3 (right)"))) << "charts missing in the PDF";
    EXPECT_TRUE(all.contains(QStringLiteral("%1 / %2").arg(pages).arg(pages)));
    // The pages are the size the report was laid out for: A4.
    const QSizeF size = doc.pagePointSize(0);
    EXPECT_NEAR(size.width(), 595.3, 1);
    EXPECT_NEAR(size.height(), 841.9, 1);
}

TEST_F(ReportRoadTest, AFolderWithoutResultsIsSaidSo) {
    const QString empty = temp.filePath(QStringLiteral("empty"));
    ASSERT_TRUE(QDir().mkpath(empty + QStringLiteral("/sub")));
    const QString html = temp.filePath(QStringLiteral("r.html"));
    ToolRun r = tool(QStringLiteral("kvizor-results"),
                     {QStringLiteral("report"), empty, QStringLiteral("-o"), html});
    EXPECT_EQ(r.code, 3);
    EXPECT_TRUE(r.err.contains(QStringLiteral("no results (*.rst) in this folder or below it")))
        << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(html));

    QFile junk(empty + QStringLiteral("/sub/1.rst"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("junk");
    junk.close();
    r = tool(QStringLiteral("kvizor-results"),
             {QStringLiteral("report"), empty, QStringLiteral("--pdf"), html});
    EXPECT_EQ(r.code, 3);
    EXPECT_TRUE(r.err.contains(QStringLiteral("none of the 1 result files could be read")))
        << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(html));

    EXPECT_EQ(tool(QStringLiteral("kvizor-results"), {QStringLiteral("report"), empty}).code, 2);
}
