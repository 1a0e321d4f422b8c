// The run window on the offscreen platform: the answer panels of each kind, the keys, the
// question list and its drawing, the clocks on screen, the finish prompt and the review.

#include "app/KvizorApp.h"
#include "l10n/Cp1251.h"
#include "l10n/LabelApplier.h"
#include "l10n/Language.h"
#include "platform/Dialogs.h"
#include "platform/docview/DocumentView.h"
#include "platform/docview/PieceWriter.h"
#include "results/TResultats.h"
#include "run/TMessage1.h"
#include "run/TTopros.h"
#include "shell/Clock.h"
#include "shell/RunState.h"
#include "support/ManualClock.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <optional>

namespace kvz {
namespace {

QByteArray page(QColor colour) {
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(colour);
    return docview::pieceFromImage(image, QStringLiteral("page")).piece;
}

TQuestionRec question(const char* kind, int choices) {
    TQuestionRec q;
    q.kindText = kind;
    q.choiceCount = std::uint8_t(choices);
    q.body = page(Qt::white);
    if (kind[0] == 'D')
        for (int i = 0; i < choices; ++i)
            q.rightSlots[std::size_t(i)] = {2, std::uint8_t(2 + 2 * i), std::uint8_t(choices - i)};
    return q;
}

class RunWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(program.isValid());
        app = std::make_unique<KvizorApp>(QStringList{}, program.path());
        app->createWindows();
        Dialogs::startAnswering();
    }
    void TearDown() override {
        Dialogs::stopAnswering();
        app.reset();
    }
    // Puts the questions in the window as a load would, then starts the run.
    void start(std::vector<TQuestionRec> questions, std::int32_t questionMs = 0,
               std::int32_t testMs = 0) {
        TTopros& run = app->topros();
        QuestionSet& set = run.questionSet;
        set = QuestionSet{};
        set.questions = std::move(questions);
        set.labels = makeLabels(set.questions);
        set.questionTimerOn = questionMs > 0;
        set.testTimerOn = testMs > 0;
        set.questionTime = questionMs / 86400000.0;
        set.testTime = testMs / 86400000.0;
        computeTimeBudgets(set, false);
        run.Stests->clear();
        for (const std::string& l : set.labels)
            run.Stests->addItem(QString::fromLatin1(l));
        run.StartRun();
        ASSERT_TRUE(run.isVisible());
    }
    TTopros& run() { return app->topros(); }
    const TAnswerRec& answer(int k) { return run().questionSet.answers[std::size_t(k)]; }
    void key(Qt::Key k, const QString& text = QString()) {
        QWidget* target = QApplication::focusWidget();
        if (!target || target->window() != &run())
            target = &run();
        QTest::sendKeyEvent(QTest::Click, target, k, text, Qt::NoModifier);
    }
    QColor stestsPixel(int item, int x) {
        QListWidget* list = run().Stests;
        const QRect r = list->visualItemRect(list->item(item));
        return list->viewport()->grab().toImage().pixelColor(r.left() + x, r.center().y());
    }

    QTemporaryDir program;
    testing::ManualClock clock_;
    std::unique_ptr<KvizorApp> app;
};

TEST_F(RunWindowTest, EveryLabelLineFindsItsControl) {
    const QByteArray bytes = builtinLanguageFile();
    int topros = 0;
    for (const LabelLine& line :
         parseLabelLines(std::string_view(bytes.constData(), std::size_t(bytes.size())))) {
        if (line.window != "Topros")
            continue;
        ++topros;
        EXPECT_TRUE(applyLabel(&run(), line)) << line.component;
    }
    EXPECT_GT(topros, 10);
    EXPECT_FALSE(run().property(kLabelsPending).toBool());
    EXPECT_FALSE(app->message1().property(kLabelsPending).toBool());
}

TEST_F(RunWindowTest, ChoiceRowsFollowTheQuestionAndTheDigitKeys) {
    TQuestionRec multi = question("A", 5);
    multi.multiChoice = true;
    start({question("A", 3), multi, question("B", 0)});
    TTopros& w = run();
    EXPECT_TRUE(w.pA2->isVisible());
    EXPECT_FALSE(w.pA1->isVisible() || w.pB->isVisible() || w.pD->isVisible());
    for (int i = 0; i < kMaxChoices; ++i) {
        EXPECT_EQ(w.Otvetbool1x[std::size_t(i)]->isVisibleTo(w.pA2), i < 3) << i;
        EXPECT_EQ(w.prav_Otvetbool1x[std::size_t(i)]->isHidden(), i >= 3) << i;
    }
    key(Qt::Key_4, QStringLiteral("4"));
    key(Qt::Key_5, QStringLiteral("5"));
    EXPECT_FALSE(answer(0).touched) << "keys past the choices do nothing";
    key(Qt::Key_2, QStringLiteral("2"));
    EXPECT_TRUE(w.Otvetbool1x[1]->isChecked());
    key(Qt::Key_3, QStringLiteral("3"));
    EXPECT_FALSE(w.Otvetbool1x[1]->isChecked());
    EXPECT_TRUE(answer(0).touched);

    key(Qt::Key_PageDown);
    EXPECT_EQ(answer(0).chosen, (std::array<bool, 5>{false, false, true, false, false}));
    EXPECT_TRUE(w.pA1->isVisible());
    key(Qt::Key_1, QStringLiteral("1"));
    key(Qt::Key_5, QStringLiteral("5"));
    key(Qt::Key_1, QStringLiteral("1"));
    QTest::mouseClick(w.Otvetbool[3], Qt::LeftButton);
    key(Qt::Key_Return);
    EXPECT_EQ(answer(1).chosen, (std::array<bool, 5>{false, false, false, true, true}));
    EXPECT_EQ(w.currentItem(), 2);

    // Back to the first: the stored answer is shown, and showing it changes nothing.
    key(Qt::Key_PageUp);
    key(Qt::Key_PageUp);
    EXPECT_EQ(w.currentItem(), 0);
    EXPECT_TRUE(w.Otvetbool1x[2]->isChecked());
    EXPECT_FALSE(answer(2).touched);
}

TEST_F(RunWindowTest, TypedTextIsLowerCaseAndKeptWhenLeaving) {
    start({question("B", 0), question("A", 2)});
    TTopros& w = run();
    ASSERT_TRUE(w.pB->isVisible());
    w.otvetstr->setFocus();
    for (QChar ch : QStringLiteral("ОтВеТ X"))
        QTest::sendKeyEvent(QTest::Click, w.otvetstr, Qt::Key_unknown, QString(ch), Qt::NoModifier);
    EXPECT_EQ(w.otvetstr->text(), QStringLiteral("ответ x"));
    EXPECT_TRUE(answer(0).touched);
    key(Qt::Key_Return);
    EXPECT_EQ(w.currentItem(), 1);
    EXPECT_EQ(answer(0).text, cp1251::fromUnicode(QStringLiteral("ответ x")));
    key(Qt::Key_PageUp);
    EXPECT_EQ(w.otvetstr->text(), QStringLiteral("ответ x"));
}

// Every road into the field other than a typed key: the keyboard's two paste keys, the
// context menu's Paste (the line edit's paste slot) and a drop.
TEST_F(RunWindowTest, PastedTextIsLowerCaseToo) {
    start({question("B", 0), question("A", 2)});
    TTopros& w = run();
    ASSERT_TRUE(w.pB->isVisible());
    const std::function<void()> roads[] = {
        [&] { QTest::keyClick(w.otvetstr, Qt::Key_V, Qt::ControlModifier); },
        [&] { QTest::keyClick(w.otvetstr, Qt::Key_Insert, Qt::ShiftModifier); },
        [&] { w.otvetstr->paste(); },
        [&] {
            QMimeData data;
            data.setText(QStringLiteral("Москва"));
            QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton,
                                  Qt::NoModifier);
            QCoreApplication::sendEvent(w.otvetstr, &enter);
            QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(w.otvetstr, &drop);
        },
    };
    int road = 0;
    for (const auto& paste : roads) {
        SCOPED_TRACE(road++);
        w.otvetstr->clear();
        w.otvetstr->setFocus();
        QGuiApplication::clipboard()->setText(QStringLiteral("Москва"));
        paste();
        EXPECT_EQ(w.otvetstr->text(), QStringLiteral("москва"));
        EXPECT_EQ(w.otvetstr->cursorPosition(), 6);
        w.SaveAnswer();
        EXPECT_EQ(answer(0).text, cp1251::fromUnicode(QStringLiteral("москва")));
    }
}

TEST_F(RunWindowTest, DropDownChoiceExchangesTwoNumbers) {
    start({question("D", 5), question("A", 2)});
    TTopros& w = run();
    ASSERT_TRUE(w.pD->isVisible());
    EXPECT_EQ(w.pD->width(), 5 * 52 + 12);
    for (int i = 0; i < kMaxSlots; ++i) {
        EXPECT_EQ(w.CbOtvetOfset[std::size_t(i)]->isVisibleTo(w.pD), i < 5);
        if (i < 5) {
            EXPECT_EQ(w.CbOtvetOfset[std::size_t(i)]->count(), 5);
            EXPECT_EQ(w.CbOtvetOfset[std::size_t(i)]->currentText(),
                      QStringLiteral("0%1").arg(i + 1));
        }
    }
    EXPECT_EQ(w.CbOtvetOfset[4]->itemText(4), QStringLiteral("05"));
    // Choosing the number a drop-down already shows changes nothing, so nothing is answered.
    Q_EMIT w.CbOtvetOfset[2]->activated(2);
    EXPECT_FALSE(answer(0).touched);
    // Drop-down 2 takes the number slot 5 holds: slot 5 gets 2.
    w.CbOtvetOfset[1]->setCurrentIndex(4);
    Q_EMIT w.CbOtvetOfset[1]->activated(4);
    EXPECT_EQ(w.CbOtvetOfset[4]->currentText(), QStringLiteral("02"));
    EXPECT_EQ(w.markerBoard.numberAt(2, 4), 5);
    EXPECT_EQ(w.markerBoard.numberAt(2, 10), 2);
    EXPECT_TRUE(answer(0).touched);
    key(Qt::Key_PageDown);
    EXPECT_EQ(answer(0).slots[1].number, 5);
    EXPECT_EQ(answer(0).slots[4].number, 2);
    key(Qt::Key_PageUp);
    EXPECT_EQ(w.CbOtvetOfset[1]->currentText(), QStringLiteral("05"));
}

// A marker dropped on another one: the other glides home. The test clock runs out during that
// glide, and the result taken then must already count the move as an answer.
TEST_F(RunWindowTest, ClockEndingTheTestDuringTheGlideKeepsTheMove) {
    start({question("D", 5), question("A", 2)}, 0, 20000);
    TTopros& w = run();
    ASSERT_TRUE(w.pD->isVisible());
    ASSERT_FALSE(app->runState().limitedPlatform) << "no glide without a movable pointer";
    const QPoint from = w.markerBoard.cellRect({2, 2}).center();
    const QPoint to = w.markerBoard.cellRect({2, 10}).center();
    ASSERT_GT(w.markerBoard.glidePath(w.Quest->mapToGlobal(to), w.Quest->mapToGlobal(from)).size(),
              0u);
    std::optional<TAnswerRec> atFinish;
    w.QuestMouseDown(Qt::LeftButton, from);
    w.QuestMouseMove(to);
    QTimer::singleShot(0, &w, [&] {
        clock_.advance(20000);
        w.Timer1Timer();
        atFinish = answer(0);
    });
    w.QuestMouseUp(Qt::LeftButton, to);
    ASSERT_TRUE(atFinish.has_value()) << "the clock did not end the test during the glide";
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(atFinish->touched);
    EXPECT_EQ(atFinish->slots[0].number, 5);
    EXPECT_EQ(atFinish->slots[4].number, 1);
}

TEST_F(RunWindowTest, ListClicksPickOpenQuestionsInFreeOrderOnly) {
    start({question("A", 2), question("A", 2), question("A", 2), question("A", 2)}, 60000);
    TTopros& w = run();
    w.questionSet.questions[2].timeLeftMs = 500; // closed
    QListWidget* list = w.Stests;
    auto click = [&](int item) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(item)).center());
    };
    click(3);
    EXPECT_EQ(w.currentItem(), 3);
    EXPECT_EQ(list->currentRow(), 3);
    click(2);
    EXPECT_EQ(w.currentItem(), 3);
    // Below the last item: nothing, and answers stay markable.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      QPoint(5, list->viewport()->height() - 2));
    EXPECT_EQ(w.currentItem(), 3);
    QTest::mouseClick(w.Otvetbool1x[0], Qt::LeftButton);
    EXPECT_TRUE(answer(3).touched);

    app->runState().fixedOrder = true;
    start({question("A", 2), question("A", 2), question("A", 2)});
    EXPECT_TRUE(w.pProizvolno->isHidden());
    EXPECT_FALSE(w.pPoradok->isHidden());
    click(2);
    key(Qt::Key_PageDown);
    key(Qt::Key_PageUp);
    EXPECT_EQ(w.currentItem(), 1);
    w.Next2->click();
    EXPECT_EQ(w.currentItem(), 2);
}

TEST_F(RunWindowTest, ListDrawsTouchedSelectedAndTimeBars) {
    start({question("A", 2), question("A", 2), question("A", 2)}, 60000);
    TTopros& w = run();
    const QColor face = w.Stests->palette().color(QPalette::Active, QPalette::Button);
    const QColor base = w.Stests->palette().color(QPalette::Active, QPalette::Base);
    key(Qt::Key_1, QStringLiteral("1"));
    key(Qt::Key_PageDown); // item 0 left touched, with a second used
    for (int i = 0; i < 30; ++i)
        clock_.tick(w); // half of item 1's minute
    EXPECT_EQ(stestsPixel(0, 20), answeredItemFace(base, face));
    EXPECT_GE(std::abs(stestsPixel(0, 20).lightness() - base.lightness()), 48)
        << "an answered item is told from an open one at a glance";
    EXPECT_EQ(stestsPixel(1, 20), QColor(128, 128, 128));
    EXPECT_EQ(stestsPixel(2, 20), base);
    EXPECT_EQ(stestsPixel(2, 0), QColor(0, 128, 0));
    EXPECT_EQ(stestsPixel(2, 1), QColor(0, 128, 0));
    // Item 1 has used half its time: red down to the middle, green below.
    QListWidget* list = w.Stests;
    const QRect r = list->visualItemRect(list->item(1));
    const QImage shot = list->viewport()->grab().toImage();
    EXPECT_EQ(shot.pixelColor(r.left(), r.top() + 1), QColor(255, 0, 0));
    EXPECT_EQ(shot.pixelColor(r.left() + 1, r.bottom()), QColor(0, 128, 0));
    EXPECT_EQ(w.Panel5->text(), QStringLiteral("вопрос: 00:00:30"));
    EXPECT_EQ(w.Panel3->text(), QStringLiteral("тест: -"));
}

// A pupil flipping Next and Back faster than a second with the question clock on: the test
// clock and the time spent still count every second, and the clock wakes for whichever of the
// two clocks moves next.
TEST_F(RunWindowTest, FlippingBetweenQuestionsNeverHoldsTheTestClock) {
    start({question("A", 2), question("A", 2)}, 600000, 120000);
    TTopros& w = run();
    ASSERT_TRUE(w.Timer1.isActive());
    EXPECT_EQ(w.Timer1.interval(), 1000);
    auto flip = [&] { key(w.currentItem() == 0 ? Qt::Key_PageDown : Qt::Key_PageUp); };
    auto spent = [&] {
        return w.questionSet.questions[0].timeSpentMs + w.questionSet.questions[1].timeSpentMs;
    };
    for (int i = 0; i < 150; ++i) {
        clock_.advance(400);
        flip();
    }
    EXPECT_EQ(w.questionSet.testTimeLeftMs, 60000);
    EXPECT_EQ(w.Panel3->text(), QStringLiteral("тест: 00:01:00"));
    EXPECT_EQ(spent(), 60000);
    // Each question was left 75 times, each time within a second of arriving: only the
    // leaving cost was taken from it.
    EXPECT_EQ(w.questionSet.questions[0].timeLeftMs, 600000 - 75000);
    EXPECT_EQ(w.questionSet.questions[1].timeLeftMs, 600000 - 75000);
    // 300 ms into a question, 700 ms before the test's next second.
    clock_.advance(300);
    flip();
    EXPECT_EQ(w.Timer1.interval(), 700);
    for (int i = 0; i < 149; ++i) {
        clock_.advance(400);
        flip();
    }
    EXPECT_TRUE(w.isVisible());
    clock_.advance(100);
    flip(); // two minutes have gone: the run ends
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(app->resultats().isVisible());
    EXPECT_EQ(spent(), 120000);
}

// The clocks count the time that passed, read from a monotonic clock, not the timer's wakes: on a
// loaded machine the wakes come late or bunched, and the pupil must get no extra time from it nor
// see a slow clock.
TEST_F(RunWindowTest, TheClocksCountTimePassedNotTimerWakes) {
    const struct {
        const char* name;
        std::vector<std::int64_t> wakes; // ms passed before each wake
        std::int32_t spentMs;            // whole seconds the clocks have moved by
    } cases[] = {
        {"wakes with no time passed count nothing", {0, 0, 0, 0, 0}, 0},
        {"one wake, seven seconds late, counts seven", {7000}, 7000},
        {"wakes every quarter second count a second per four",
         {250, 250, 250, 250, 250, 250},
         1000},
        {"a late wake then early ones", {3400, 100, 300, 200}, 4000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        start({question("A", 2), question("A", 2)}, 30000, 60000);
        TTopros& w = run();
        for (const std::int64_t ms : c.wakes) {
            clock_.advance(ms);
            w.Timer1Timer();
        }
        EXPECT_EQ(w.questionSet.testTimeLeftMs, 60000 - c.spentMs);
        EXPECT_EQ(w.questionSet.questions[0].timeLeftMs, 30000 - c.spentMs);
        EXPECT_EQ(w.Panel3->text(),
                  QStringLiteral("тест: ") + QString::fromLatin1(FormatMs(60000 - c.spentMs)));
        EXPECT_EQ(w.Panel5->text(),
                  QStringLiteral("вопрос: ") + QString::fromLatin1(FormatMs(30000 - c.spentMs)));
        w.hide();
    }
}

TEST_F(RunWindowTest, ClocksOnScreenBlinkAndTheTestClockEndsTheRun) {
    start({question("A", 2), question("A", 2)}, 0, 20000);
    TTopros& w = run();
    EXPECT_TRUE(w.Timer1.isActive());
    EXPECT_EQ(w.Panel3->text(), QStringLiteral("тест: 00:00:20"));
    EXPECT_EQ(w.Panel5->text(), QStringLiteral("вопрос: -"));
    clock_.tick(w);
    EXPECT_EQ(w.Panel3->text(), QStringLiteral("тест: 00:00:19"));
    for (int i = 0; i < 4; ++i)
        clock_.tick(w);
    EXPECT_EQ(w.Panel3->palette().color(QPalette::Window), QColor(255, 0, 0)); // 15 s
    clock_.tick(w);
    EXPECT_NE(w.Panel3->palette().color(QPalette::Window), QColor(255, 0, 0));

    w.SaveResult(); // the prompt is up and the clock runs on
    TMessage1& prompt = app->message1();
    EXPECT_TRUE(prompt.isVisible());
    EXPECT_FALSE(prompt.isModal());
    clock::setNowForTesting([] { return 46001.25; });
    for (int i = 0; i < 14; ++i)
        clock_.tick(w);
    clock::setNowForTesting({});
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(prompt.isVisible());
    EXPECT_FALSE(w.Timer1.isActive());
    EXPECT_TRUE(app->resultats().isVisible());
    EXPECT_EQ(app->runState().finishTime, 46001.25);
}

TEST_F(RunWindowTest, FinishPromptAndItsButtons) {
    start({question("A", 2), question("B", 0)});
    TTopros& w = run();
    TMessage1& prompt = app->message1();
    w.N4->trigger();
    EXPECT_TRUE(prompt.isVisible());
    prompt.Button1->click();
    EXPECT_FALSE(prompt.isVisible());
    EXPECT_TRUE(w.isVisible());
    // Next on the last question asks too; the prompt's "Завершить" ends the test.
    key(Qt::Key_PageDown);
    w.otvetstr->setText(QStringLiteral("42"));
    key(Qt::Key_PageDown);
    EXPECT_TRUE(prompt.isVisible());
    prompt.Button2->click();
    EXPECT_FALSE(prompt.isVisible());
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(answer(1).text, "42") << "the answer on screen is saved at the finish";

    // F10 twice; Alt+F4 and closing leave the window up.
    start({question("A", 2)});
    QTest::keyClick(&w, Qt::Key_F4, Qt::AltModifier);
    w.close();
    EXPECT_TRUE(w.isVisible());
    key(Qt::Key_F10);
    EXPECT_TRUE(prompt.isVisible());
    key(Qt::Key_F10);
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(app->resultats().isVisible());

    // The prompt holds the keyboard once it is up: F10 there is the second press.
    start({question("A", 2)});
    key(Qt::Key_F10);
    ASSERT_TRUE(prompt.isVisible());
    QTest::keyClick(&prompt, Qt::Key_Escape);
    EXPECT_TRUE(prompt.isVisible());
    QTest::keyClick(&prompt, Qt::Key_F10);
    EXPECT_FALSE(prompt.isVisible());
    EXPECT_FALSE(w.isVisible());
}

TEST_F(RunWindowTest, ReviewShowsRightAnswersAndReturnsToTheResults) {
    TQuestionRec a = question("A", 3);
    a.rightChoice = {false, true, false, false, false};
    TQuestionRec b = question("B", 0);
    b.rightText = "abc";
    start({a, b, question("D", 8)}, 60000);
    TTopros& w = run();
    key(Qt::Key_2, QStringLiteral("2"));
    w.FinishTest();
    RunState& rs = app->runState();
    rs.verdicts = {app->messages().msg(22), app->messages().msg(23), app->messages().msg(23)};
    rs.textbookInReview = true;

    w.EnterReview();
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(app->resultats().isVisible());
    EXPECT_TRUE(w.N9->isVisible());
    EXPECT_FALSE(w.N4->isVisible());
    EXPECT_FALSE(w.pA2->isEnabled());
    EXPECT_FALSE(w.PRIOR1->isEnabled());
    EXPECT_TRUE(w.prav_Panel->isVisible() && w.Panel6->isVisible() && w.PUchebnik1->isVisible());
    EXPECT_TRUE(w.prav_pA2->isVisible());
    EXPECT_TRUE(w.prav_Otvetbool1x[1]->isChecked());
    // Disabled, yet as readable as a control one can use: dark text on a light field.
    auto contrast = [](QWidget* c, QPalette::ColorRole text, QPalette::ColorRole field) {
        const QPalette& p = c->palette();
        return std::abs(p.color(QPalette::Disabled, text).lightness() -
                        p.color(QPalette::Disabled, field).lightness());
    };
    for (QWidget* c :
         {static_cast<QWidget*>(w.Otvetbool1x[1]), static_cast<QWidget*>(w.prav_Otvetbool1x[1])}) {
        EXPECT_FALSE(c->isEnabled());
        EXPECT_GE(contrast(c, QPalette::WindowText, QPalette::Window), 150)
            << c->objectName().toStdString();
    }
    for (QWidget* c : {static_cast<QWidget*>(w.otvetstr), static_cast<QWidget*>(w.prav_otvetstr)})
        EXPECT_GE(contrast(c, QPalette::Text, QPalette::Base), 150)
            << c->objectName().toStdString();
    EXPECT_EQ(w.Label3->text(), QStringLiteral("Правильно"));
    EXPECT_EQ(w.Label3->palette().color(QPalette::WindowText), QColor(0, 128, 0));
    EXPECT_FALSE(w.Timer1.isActive());
    // No time runs in review, and the status line does not say it does.
    EXPECT_FALSE(w.Panel2->isVisible());
    EXPECT_FALSE(w.Panel3->isVisible());
    EXPECT_FALSE(w.Panel5->isVisible());
    // The selected right answer is green, the touched wrong one red.
    EXPECT_EQ(stestsPixel(0, 20), QColor(0, 128, 0));

    key(Qt::Key_1, QStringLiteral("1"));
    EXPECT_TRUE(w.Otvetbool1x[1]->isChecked()) << "review changes nothing";
    EXPECT_FALSE(w.Otvetbool1x[0]->isChecked());
    key(Qt::Key_PageDown);
    EXPECT_TRUE(w.prav_pB->isVisible());
    EXPECT_EQ(w.prav_otvetstr->text(), QStringLiteral("abc"));
    EXPECT_EQ(w.Label3->text(), QStringLiteral("Неправильно"));
    // A right answer left behind is lime.
    EXPECT_EQ(stestsPixel(0, 20), QColor(0, 255, 0));
    key(Qt::Key_PageDown);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(w.prav_CbOtvetOfset[std::size_t(i)]->currentText(),
                  QStringLiteral("0%1").arg(8 - i));
    EXPECT_EQ(w.prav_CbOtvetOfset[0]->count(), 8);
    EXPECT_FALSE(w.pD->isEnabled());

    key(Qt::Key_PageDown); // Next on the last item: the results again
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(app->resultats().isVisible());
    w.EnterReview();
    key(Qt::Key_F10);
    EXPECT_FALSE(w.isVisible());
    w.EnterReview();
    w.N9->trigger();
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(app->resultats().isVisible());

    // A repeated run leaves review behind.
    start({question("A", 2)});
    EXPECT_FALSE(w.N9->isVisible());
    EXPECT_TRUE(w.pA2->isEnabled());
    EXPECT_TRUE(w.prav_Panel->isHidden());
    EXPECT_TRUE(w.Panel2->isVisible());
    EXPECT_TRUE(w.Panel3->isVisible());
}

} // namespace
} // namespace kvz
