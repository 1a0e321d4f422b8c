// The run window's markers and aids on the offscreen platform: markers painted over the page,
// dragged with the mouse and kept in step with the drop-downs; the calculator and the reference
// on their keys only when the test offers them; the textbook link's hint, look and click.

#include "app/KvizorApp.h"
#include "l10n/Cp1251.h"
#include "l10n/MessageTable.h"
#include "platform/Dialogs.h"
#include "platform/Lockdown.h"
#include "platform/docview/DocumentView.h"
#include "platform/docview/PieceWriter.h"
#include "results/TResultats.h"
#include "run/TCalculator.h"
#include "run/TMessage1.h"
#include "run/TTextbookViewer.h"
#include "run/TTopros.h"
#include "shell/RunState.h"
#include "windows/THelper.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QPdfPageNavigator>
#include <QPdfView>
#include <QPdfWriter>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <gtest/gtest.h>

namespace kvz {
namespace {

// A 4:3 white page; ordering questions have slot i at column 2, row 2 + 2i.
TQuestionRec question(const char* kind, int choices, std::string textbook = {}) {
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(Qt::white);
    TQuestionRec q;
    q.kindText = kind;
    q.choiceCount = std::uint8_t(choices);
    q.body = docview::pieceFromImage(image, QStringLiteral("page")).piece;
    q.textbook = std::move(textbook);
    if (kind[0] == 'D')
        for (int i = 0; i < choices; ++i)
            q.rightSlots[std::size_t(i)] = {2, std::uint8_t(2 + 2 * i), std::uint8_t(choices - i)};
    return q;
}

class ToprosAidsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(program.isValid());
        app = std::make_unique<KvizorApp>(QStringList{}, program.path());
        app->createWindows();
        Dialogs::startAnswering();
        Dialogs::clearShown();
    }
    void TearDown() override {
        liftLockdown(app->runState());
        Dialogs::stopAnswering();
        app.reset();
    }
    void start(std::vector<TQuestionRec> questions, bool calculator = false) {
        TTopros& w = run();
        QuestionSet& set = w.questionSet;
        set = QuestionSet{};
        set.questions = std::move(questions);
        set.labels = makeLabels(set.questions);
        set.calculatorAllowed = calculator;
        computeTimeBudgets(set, false);
        w.Stests->clear();
        for (const std::string& l : set.labels)
            w.Stests->addItem(QString::fromLatin1(l));
        w.N5->setVisible(calculator);
        w.StartRun();
        ASSERT_TRUE(w.isVisible());
        QApplication::setActiveWindow(&w);
        // A paint lays the grid over the page as it is on screen.
        w.Quest->grab();
    }
    TTopros& run() { return app->topros(); }
    RunState& state() { return app->runState(); }
    // The middle of a grid cell, in the page view's coordinates.
    QPoint cellCentre(int col, int row) {
        const MarkerBoard& b = run().markerBoard;
        return run().Quest->pageRect().topLeft() +
               QPoint(col * b.cellWidth() + b.cellWidth() / 2,
                      row * b.cellHeight() + b.cellHeight() / 2);
    }
    void drag(QPoint from, QPoint to) {
        QWidget* q = run().Quest;
        QTest::mousePress(q, Qt::LeftButton, {}, from);
        QTest::mouseMove(q, to);
        QTest::mouseRelease(q, Qt::LeftButton, {}, to);
    }
    QString dropDown(int slot) { return run().CbOtvetOfset[std::size_t(slot - 1)]->currentText(); }
    // Whether a marker's disc is painted around p (its middle holds the white number).
    bool redAt(QPoint p) {
        const QPoint side(run().markerBoard.cellWidth() * 3 / 10, 0);
        const QColor c = run().Quest->grab().toImage().pixelColor(p - side);
        return c.red() > 120 && c.green() < 100 && c.blue() < 100;
    }
    void pressKey(Qt::Key k) { QTest::keyClick(&run(), k); }

    QTemporaryDir program;
    std::unique_ptr<KvizorApp> app;
};

TEST_F(ToprosAidsTest, MarkersStayOnThePageWhileTheOrderingPanelIsShown) {
    start({question("D", 5), question("A", 2)});
    TTopros& w = run();
    ASSERT_GT(w.markerBoard.cellWidth(), 0);
    const QPoint m3 = cellCentre(2, 6);
    EXPECT_TRUE(redAt(m3));
    EXPECT_FALSE(redAt(cellCentre(6, 6)));
    // A repaint of the page never loses them.
    w.Quest->update();
    QTest::qWait(20);
    EXPECT_TRUE(redAt(m3));
    // Another kind of question: no markers.
    pressKey(Qt::Key_PageDown);
    ASSERT_FALSE(w.pD->isVisible());
    EXPECT_FALSE(redAt(m3));
}

TEST_F(ToprosAidsTest, DraggingMarkerThreeOntoFiveExchangesThemEverywhere) {
    start({question("D", 5), question("A", 2)});
    TTopros& w = run();
    drag(cellCentre(2, 6), cellCentre(2, 10));
    EXPECT_EQ(w.markerBoard.numberAt(2, 6), 5);
    EXPECT_EQ(w.markerBoard.numberAt(2, 10), 3);
    EXPECT_EQ(dropDown(3), QStringLiteral("05"));
    EXPECT_EQ(dropDown(5), QStringLiteral("03"));
    EXPECT_EQ(dropDown(1), QStringLiteral("01"));
    EXPECT_TRUE(w.questionSet.answers[0].touched);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the pointer is a pointer again";
    EXPECT_TRUE(redAt(cellCentre(2, 6)));
    EXPECT_TRUE(redAt(cellCentre(2, 10)));
    // The exchange is the stored answer.
    pressKey(Qt::Key_PageDown);
    EXPECT_EQ(w.questionSet.answers[0].slots[2].number, 5);
    EXPECT_EQ(w.questionSet.answers[0].slots[4].number, 3);
    pressKey(Qt::Key_PageUp);
    EXPECT_EQ(dropDown(3), QStringLiteral("05"));
    EXPECT_EQ(w.markerBoard.numberAt(2, 10), 3);
}

TEST_F(ToprosAidsTest, DropsThatChangeNothing) {
    start({question("D", 5)});
    TTopros& w = run();
    const QPoint m3 = cellCentre(2, 6);
    const QRect page = w.Quest->pageRect();
    const QPoint cases[] = {
        cellCentre(8, 6),                        // an empty cell
        m3,                                      // itself
        QPoint(page.right() + 2, m3.y()),        // right of the page
        QPoint(page.left() - 3, page.top() - 3), // above and left of it
        cellCentre(1, 1) + QPoint(0, 0),         // another empty cell
    };
    for (const QPoint& to : cases) {
        drag(m3, to);
        for (int slot = 1; slot <= 5; ++slot)
            EXPECT_EQ(dropDown(slot), QStringLiteral("0%1").arg(slot)) << to.x() << "," << to.y();
        EXPECT_EQ(w.markerBoard.numberAt(2, 6), 3);
        EXPECT_FALSE(w.questionSet.answers[0].touched);
        EXPECT_FALSE(w.markerBoard.dragging());
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        EXPECT_TRUE(redAt(m3)) << "the marker is back on its cell";
    }
    // A press on an empty cell starts nothing.
    QTest::mousePress(w.Quest, Qt::LeftButton, {}, cellCentre(8, 8));
    EXPECT_FALSE(w.markerBoard.dragging());
    QTest::mouseRelease(w.Quest, Qt::LeftButton, {}, cellCentre(8, 8));
}

// What the viewer shows, found from its pixels alone: the page (its pale colour) and the middle
// of each marker (red discs), top to bottom.
struct SeenPage {
    QRect page;
    std::vector<QPoint> markers;
};

SeenPage look(QWidget* view) {
    const QImage image = view->grab().toImage();
    SeenPage seen;
    std::vector<QRect> discs;
    for (int y = 0; y < image.height(); ++y) {
        QRect redRow;
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() > 245 && c.green() > 240 && c.blue() > 180 && c.blue() < 215)
                seen.page |= QRect(x, y, 1, 1);
            if (c.red() > 120 && c.green() < 100 && c.blue() < 100)
                redRow |= QRect(x, y, 1, 1);
        }
        if (redRow.isNull())
            continue;
        // A disc's white ring may leave a few rows without red; markers are a cell apart.
        if (!discs.empty() && discs.back().bottom() >= y - 8)
            discs.back() |= redRow;
        else
            discs.push_back(redRow);
    }
    for (const QRect& d : discs)
        seen.markers.push_back(d.center());
    return seen;
}

// A page twice as wide as it is tall, in a pale colour of its own, so the viewer shows margins
// around it on screens of every shape.
TQuestionRec wideOrdering() {
    TQuestionRec q = question("D", 5);
    QImage image(400, 200, QImage::Format_RGB32);
    image.fill(QColor(255, 250, 200));
    q.body = docview::pieceFromImage(image, QStringLiteral("page")).piece;
    return q;
}

TEST_F(ToprosAidsTest, MarkersSitOnThePageAndAnswerThePointerOnScreensOfEveryShape) {
    // The third question's slot 5 lies below the page's last row.
    TQuestionRec offPage = wideOrdering();
    offPage.rightSlots[4].row = 18;
    start({wideOrdering(), question("D", 5), offPage});
    TTopros& w = run();
    const QSize screens[] = {{1024, 768}, {1280, 1024}, {1920, 1080}, {768, 1280}};
    for (const QSize& screen : screens) {
        const std::string what =
            std::to_string(screen.width()) + "x" + std::to_string(screen.height());
        w.resize(screen);
        // The grid follows the resize at once, before any paint.
        EXPECT_EQ(w.markerBoard.page(), w.Quest->pageRect()) << what;

        const SeenPage seen = look(w.Quest);
        ASSERT_FALSE(seen.page.isEmpty()) << what;
        EXPECT_NE(seen.page.size(), w.Quest->size()) << what << ": the page has margins";
        ASSERT_EQ(seen.markers.size(), 5u) << what;
        // Slot i sits at column 2, row 2 + 2i of the page as shown, whatever its margins.
        for (std::size_t i = 0; i < 5; ++i) {
            const QPoint m = seen.markers[i] - seen.page.topLeft();
            const double fx = (m.x() + 0.5) / seen.page.width() * 22.97;
            const double fy = (m.y() + 0.5) / seen.page.height() * 16.17;
            EXPECT_GT(fx, 2) << what;
            EXPECT_LT(fx, 3) << what;
            EXPECT_GT(fy, 2.0 + 2 * i) << what << " slot " << i + 1;
            EXPECT_LT(fy, 3.0 + 2 * i) << what << " slot " << i + 1;
        }

        // Picking up marker 3 where it is drawn and dropping it on marker 5 exchanges them;
        // the same gesture again puts them back.
        const QPoint m3 = seen.markers[2];
        const QPoint m5 = seen.markers[4];
        QTest::mousePress(w.Quest, Qt::LeftButton, {}, m3);
        EXPECT_TRUE(w.markerBoard.dragging()) << what;
        EXPECT_EQ(w.markerBoard.startCell(), (GridCell{2, 6})) << what;
        QTest::mouseMove(w.Quest, m5);
        QTest::mouseRelease(w.Quest, Qt::LeftButton, {}, m5);
        EXPECT_EQ(dropDown(3), QStringLiteral("05")) << what;
        EXPECT_EQ(dropDown(5), QStringLiteral("03")) << what;
        drag(m3, m5);
        EXPECT_EQ(dropDown(3), QStringLiteral("03")) << what;
        EXPECT_EQ(dropDown(5), QStringLiteral("05")) << what;

        // Beside the page, in the margin, there is no cell to press.
        const QPoint beside = seen.page.width() < w.Quest->width()
                                  ? QPoint(seen.page.left() / 2, m3.y())
                                  : QPoint(m3.x(), seen.page.top() / 2);
        QTest::mousePress(w.Quest, Qt::LeftButton, {}, beside);
        EXPECT_FALSE(w.markerBoard.dragging()) << what;
        QTest::mouseRelease(w.Quest, Qt::LeftButton, {}, beside);
    }

    // A page of another shape: the grid moves with it as it loads.
    pressKey(Qt::Key_PageDown);
    ASSERT_EQ(w.currentItem(), 1);
    EXPECT_EQ(w.markerBoard.page(), w.Quest->pageRect());
    const SeenPage seen = look(w.Quest);
    ASSERT_EQ(seen.markers.size(), 5u);
    QTest::mousePress(w.Quest, Qt::LeftButton, {}, seen.markers[1]);
    EXPECT_EQ(w.markerBoard.startCell(), (GridCell{2, 4}));
    QTest::mouseRelease(w.Quest, Qt::LeftButton, {}, seen.markers[1]);

    // A marker whose cell is past the page's edge is not drawn in the margin, nor picked up
    // there; its drop-down still holds it.
    pressKey(Qt::Key_PageDown);
    ASSERT_EQ(w.currentItem(), 2);
    const SeenPage third = look(w.Quest);
    ASSERT_EQ(third.markers.size(), 4u);
    for (const QPoint& m : third.markers)
        EXPECT_TRUE(third.page.contains(m));
    const QPoint below = w.markerBoard.cellRect({2, 18}).center();
    ASSERT_GT(below.y(), third.page.bottom());
    QTest::mousePress(w.Quest, Qt::LeftButton, {}, below);
    EXPECT_FALSE(w.markerBoard.dragging());
    QTest::mouseRelease(w.Quest, Qt::LeftButton, {}, below);
    EXPECT_EQ(dropDown(5), QStringLiteral("05"));
}

TEST_F(ToprosAidsTest, CalculatorOnlyWhenTheTestOffersIt) {
    start({question("A", 2)}, false);
    TTopros& w = run();
    pressKey(Qt::Key_F2);
    w.N5Click();
    EXPECT_EQ(w.calculatorWindow(), nullptr);
    EXPECT_TRUE(w.findChildren<TCalculator*>().isEmpty());

    start({question("A", 2)}, true);
    pressKey(Qt::Key_F2);
    TCalculator* calc = w.calculatorWindow();
    ASSERT_NE(calc, nullptr);
    EXPECT_TRUE(calc->isVisible());
    EXPECT_EQ(calc->windowTitle(), app->messages().text(18));
    calc->hide();
    pressKey(Qt::Key_F2);
    EXPECT_TRUE(calc->isVisible());
    EXPECT_EQ(w.calculatorWindow(), calc);
    EXPECT_EQ(w.findChildren<TCalculator*>().size(), 1);
}

// Opened through the «Помощь» menu, the calculator gets what is typed at whatever has the
// keyboard once the menu has closed: «12*3=» moved the choice to 3 and left the calculator at 0.
TEST_F(ToprosAidsTest, CalculatorFromTheMenuHasTheKeyboard) {
    start({question("A", 5), question("A", 2)}, true);
    TTopros& w = run();
    w.activateWindow();
    w.setFocus();
    // «Помощь» → «Калькулятор» with the keyboard, as a pupil would.
    QMenu* help = w.N31;
    help->popup(w.mapToGlobal(QPoint(10, 10)));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(help));
    help->setActiveAction(w.N5);
    QTest::keyClick(help, Qt::Key_Return);
    QTest::qWait(50);
    TCalculator* calc = w.calculatorWindow();
    ASSERT_NE(calc, nullptr);
    ASSERT_TRUE(calc->isVisible());
    EXPECT_FALSE(help->isVisible());

    auto type = [](const QString& keys) {
        for (QChar ch : keys) {
            QWidget* target = QApplication::focusWidget();
            if (!target)
                target = QApplication::activeWindow();
            ASSERT_NE(target, nullptr);
            const Qt::Key k = ch.isDigit()             ? Qt::Key(Qt::Key_0 + ch.digitValue())
                              : ch == QLatin1Char('*') ? Qt::Key_Asterisk
                                                       : Qt::Key_Equal;
            QTest::sendKeyEvent(QTest::Click, target, k, QString(ch), Qt::NoModifier);
        }
    };
    type(QStringLiteral("12*3="));
    EXPECT_EQ(calc->display()->text(), QStringLiteral("36"));
    EXPECT_EQ(QApplication::activeWindow(), calc);
    for (QRadioButton* r : w.Otvetbool1x)
        EXPECT_FALSE(r->isChecked());
    EXPECT_FALSE(w.questionSet.answers[0].touched);
}

// The calculator opened from the menu has the keyboard: keys that still reach the run window
// (its keyboard grab) go to the calculator and never change the answer.
TEST_F(ToprosAidsTest, KeysTypedWhileTheCalculatorIsUpNeverReachTheAnswer) {
    start({question("A", 5), question("A", 2)}, true);
    TTopros& w = run();
    w.Otvetbool1x[0]->setFocus();
    w.N5->trigger(); // as the «Помощь» menu does
    TCalculator* calc = w.calculatorWindow();
    ASSERT_NE(calc, nullptr);
    ASSERT_TRUE(calc->isVisible());
    QCoreApplication::processEvents();
    for (QChar ch : QStringLiteral("12*3="))
        QTest::sendKeyEvent(QTest::Click, w.Otvetbool1x[0], Qt::Key_unknown, QString(ch),
                            Qt::NoModifier);
    EXPECT_EQ(calc->display()->text(), QStringLiteral("36"));
    for (int i = 0; i < 5; ++i)
        EXPECT_FALSE(w.Otvetbool1x[std::size_t(i)]->isChecked()) << i;
    EXPECT_FALSE(w.questionSet.answers[0].touched);
    // Return is the calculator's too: the run does not move on.
    QTest::keyClick(w.Otvetbool1x[0], Qt::Key_Return);
    EXPECT_EQ(w.currentItem(), 0);
    // With the calculator closed, keys are the run window's again.
    calc->hide();
    QTest::sendKeyEvent(QTest::Click, w.Otvetbool1x[0], Qt::Key_unknown, QStringLiteral("3"),
                        Qt::NoModifier);
    EXPECT_TRUE(w.Otvetbool1x[2]->isChecked());
}

TEST_F(ToprosAidsTest, ReferenceOnF1OnlyWhenAllowed) {
    state().referenceAllowed = false;
    start({question("A", 2)});
    TTopros& w = run();
    pressKey(Qt::Key_F1);
    EXPECT_FALSE(app->helper().isVisible());
    EXPECT_TRUE(w.isEnabled());

    state().referenceAllowed = true;
    start({question("A", 2)});
    pressKey(Qt::Key_F1);
    EXPECT_TRUE(app->helper().isVisible());
    EXPECT_FALSE(w.isEnabled());
    app->helper().hide();
    EXPECT_TRUE(w.isEnabled());
}

TEST_F(ToprosAidsTest, TextbookLinkHintLookAndClick) {
    const QString folder = state().programFolder;
    ASSERT_FALSE(folder.isEmpty());
    {
        QFile page(folder + QStringLiteral("/book.htm"));
        ASSERT_TRUE(page.open(QIODevice::WriteOnly));
        page.write(cp1251::fromUnicode(QStringLiteral("<h1>Закон Ома</h1>")).c_str());
    }
    state().textbookDuringTest = true;
    start({question("A", 2, ">book.htm|a b"), question("A", 2), question("A", 2, ">paper.doc"),
           question("A", 2, ">missing.htm")});
    TTopros& w = run();
    QLabel* link = w.LUchebnik1;
    ASSERT_TRUE(link->isVisible());
    EXPECT_TRUE(link->isEnabled());
    EXPECT_EQ(link->toolTip(), QStringLiteral("book.htm a b"));

    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(link, &enter);
    EXPECT_TRUE(link->styleSheet().contains(QStringLiteral("rgb(0, 0, 255)")));
    EXPECT_TRUE(link->styleSheet().contains(QStringLiteral("underline")));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(link, &leave);
    EXPECT_TRUE(link->styleSheet().isEmpty());

    QTest::mouseClick(link, Qt::LeftButton);
    TTextbookViewer* viewer = w.textbookViewer();
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(viewer->isVisible());
    auto* browser = qobject_cast<QTextBrowser*>(viewer->content());
    ASSERT_NE(browser, nullptr);
    EXPECT_TRUE(browser->toPlainText().contains(QStringLiteral("Закон Ома")));
    viewer->hide();

    // No link: disabled, and hovering changes nothing.
    pressKey(Qt::Key_PageDown);
    EXPECT_FALSE(link->isEnabled());
    QApplication::sendEvent(link, &enter);
    EXPECT_TRUE(link->styleSheet().isEmpty());
    QTest::mouseClick(link, Qt::LeftButton);
    EXPECT_FALSE(viewer->isVisible());

    // A file only another program can show, while the workstation is locked: a message.
    applyLockdown(state(), &w);
    pressKey(Qt::Key_PageDown);
    ASSERT_EQ(link->toolTip(), QStringLiteral("paper.doc"));
    {
        QFile doc(folder + QStringLiteral("/paper.doc"));
        ASSERT_TRUE(doc.open(QIODevice::WriteOnly));
    }
    QTest::mouseClick(link, Qt::LeftButton);
    ASSERT_EQ(Dialogs::shown().size(), 1u);
    EXPECT_EQ(Dialogs::shown()[0].text, app->messages().text(67));
    EXPECT_FALSE(app->messages().text(67).isEmpty());

    // A link to a file that is not there.
    pressKey(Qt::Key_PageDown);
    QTest::mouseClick(link, Qt::LeftButton);
    ASSERT_EQ(Dialogs::shown().size(), 2u);
    EXPECT_EQ(Dialogs::shown()[1].kind, DialogKind::Error);
    EXPECT_EQ(Dialogs::shown()[1].text, app->messages().text(8));
}

// The link works in every run, not only in the first (whose results window left it as review
// wanted it), and opens the page where its parameters point: an HTML anchor, a PDF page.
TEST_F(ToprosAidsTest, TextbookLinkWorksInTheNextRunAndOpensWhereItPoints) {
    const QString folder = state().programFolder;
    {
        QString html = QStringLiteral("<p>Начало</p>");
        for (int i = 0; i < 300; ++i)
            html += QStringLiteral("<p>строка %1</p>").arg(i);
        html += QStringLiteral("<h2><a name=\"глава2\">Глава 2</a></h2>");
        for (int i = 0; i < 300; ++i)
            html += QStringLiteral("<p>ещё %1</p>").arg(i);
        QFile page(folder + QStringLiteral("/book.htm"));
        ASSERT_TRUE(page.open(QIODevice::WriteOnly));
        page.write(cp1251::fromUnicode(html).c_str());
    }
    {
        QPdfWriter pdf(folder + QStringLiteral("/book.pdf"));
        QPainter painter(&pdf);
        for (int i = 1; i <= 3; ++i) {
            if (i > 1)
                pdf.newPage();
            painter.drawText(100, 100, QStringLiteral("page %1").arg(i));
        }
    }
    state().textbookDuringTest = true;
    state().textbookInReview = false;
    const std::vector<TQuestionRec> questions = {
        question("A", 2, cp1251::fromUnicode(QStringLiteral(">book.htm|#глава2"))),
        question("A", 2, ">book.pdf|/A page=3")};
    start(questions);
    TTopros& w = run();
    w.N4->trigger();
    app->message1().Button2->click();
    ASSERT_TRUE(app->resultats().isVisible());
    app->resultats().hide();

    start(questions);
    QLabel* link = w.LUchebnik1;
    ASSERT_TRUE(link->isVisible());
    ASSERT_TRUE(link->isEnabled()) << "the link is dead in the second run";
    QTest::mouseClick(link, Qt::LeftButton);
    TTextbookViewer* viewer = w.textbookViewer();
    ASSERT_NE(viewer, nullptr);
    ASSERT_TRUE(viewer->isVisible());
    auto* browser = qobject_cast<QTextBrowser*>(viewer->content());
    ASSERT_NE(browser, nullptr);
    QCoreApplication::processEvents();
    const QScrollBar* bar = browser->verticalScrollBar();
    EXPECT_GT(bar->value(), bar->maximum() / 4) << "the page is not at its anchor";
    EXPECT_LT(bar->value(), bar->maximum() * 3 / 4);
    viewer->hide();

    pressKey(Qt::Key_PageDown);
    QTest::mouseClick(link, Qt::LeftButton);
    ASSERT_TRUE(viewer->isVisible());
    auto* pdf = qobject_cast<QPdfView*>(viewer->content());
    ASSERT_NE(pdf, nullptr);
    EXPECT_EQ(pdf->pageNavigator()->currentPage(), 2);
    EXPECT_TRUE(Dialogs::shown().empty());
}

} // namespace
} // namespace kvz
