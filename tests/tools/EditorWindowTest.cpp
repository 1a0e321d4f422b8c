// The test editor on the offscreen platform: a small test made by its controls, one question of
// each kind with a page made each way, checked, saved, read back by the program's reader and
// previewed as the pupil sees it.

#include "TEditor.h"
#include "TPreview.h"
#include "choice/IntroductionPage.h"
#include "l10n/Cp1251.h"
#include "platform/Dialogs.h"
#include "platform/Lockdown.h"
#include "platform/docview/DocumentView.h"
#include "platform/docview/PageRenderer.h"
#include "run/JournalStore.h"
#include "run/TMessage1.h"
#include "run/TTopros.h"
#include "support/ManualClock.h"
#include "support/TestPaths.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPdfWriter>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>
#include <gtest/gtest.h>

namespace kvz::editor {
namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A two-page PDF: a portrait page, then a landscape one, each with a line of text.
QString makePdf(const QTemporaryDir& dir) {
    const QString path = dir.filePath(QStringLiteral("pages.pdf"));
    QPdfWriter pdf(path);
    pdf.setPageSize(QPageSize(QPageSize::A5));
    QPainter p(&pdf);
    p.drawText(QPointF(200, 400), QStringLiteral("first page"));
    pdf.setPageOrientation(QPageLayout::Landscape);
    pdf.newPage();
    p.drawText(QPointF(200, 400), QStringLiteral("second page"));
    p.end();
    return path;
}

QString makePicture(const QTemporaryDir& dir) {
    QImage image(800, 560, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.drawText(40, 60, QStringLiteral("1) red  2) green  3) blue"));
    p.end();
    const QString path = dir.filePath(QStringLiteral("choice.png"));
    image.save(path);
    return path;
}

QSizeF pageAspect(const QByteArray& piece) {
    docview::PageRenderer r;
    QString why;
    if (!r.loadPiece(docview::asBytes(piece.constData(), std::size_t(piece.size())), why))
        return {};
    return r.naturalSize(96, 96);
}

class EditorWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        Dialogs::startAnswering();
        editor = std::make_unique<TEditor>(testing::binaryDir() + QStringLiteral("/tools"));
        editor->prompts.openFile = [this](QWidget*, const QString&, const QString&) {
            return nextFile;
        };
        editor->prompts.saveFile = [this](QWidget*, const QString&, const QString&) {
            return nextFile;
        };
        editor->prompts.folder = [this](QWidget*, const QString&) { return nextFile; };
        editor->prompts.pdfPage = [this](QWidget*, const QString&, int max) {
            pdfPages = max;
            return std::optional<int>(1);
        };
        editor->prompts.typedPage = [this](QWidget*, const QString& html) {
            typedGiven << html;
            return std::optional<QString>(
                QStringLiteral("<p><b>Put in order</b> of <i>size</i>:</p>"
                               "<ol><li>an ant</li><li>a cat</li></ol>"));
        };
        editor->prompts.password = [this](QWidget*, const QString& text) {
            passwordAsked << text;
            return std::optional<QString>(QStringLiteral("secret"));
        };
        editor->prompts.saveChanges = [this](QWidget*, const QString&) {
            ++saveAsked;
            return saveAnswer;
        };
        editor->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(editor.get()));
    }
    void TearDown() override {
        saveAnswer = EditorPrompts::SaveAnswer::Discard;
        editor.reset();
        Dialogs::stopAnswering();
    }
    template <class T> T* child(const char* name) {
        T* w = editor->findChild<T*>(QLatin1String(name));
        EXPECT_TRUE(w) << name;
        return w;
    }
    void clickOnCell(GridCell cell) {
        const QPoint at = editor->slotBoard().cellRect(cell).center();
        QTest::mouseClick(editor->Page, Qt::LeftButton, {}, at);
    }

    QTemporaryDir dir;
    std::unique_ptr<TEditor> editor;
    QString nextFile;
    int pdfPages = 0;
    QStringList typedGiven; // the text each typing of a page began with
    QStringList passwordAsked;
    int saveAsked = 0;
    EditorPrompts::SaveAnswer saveAnswer = EditorPrompts::SaveAnswer::Discard;
};

TEST_F(EditorWindowTest, MakesATestOfEachKindSavesAndPreviewsIt) {
    TEditor& e = *editor;
    e.resize(1280, 1024);
    // The test's catalogue and password, typed.
    QTest::keyClicks(e.Comment, QStringLiteral("Colours"));
    QTest::keyClicks(e.Klass, QStringLiteral("5"));
    QTest::keyClicks(e.Password, QStringLiteral("secret"));
    EXPECT_EQ(e.test().catalogue.comment, "Colours");
    EXPECT_TRUE(e.modified());

    // A: a picture page, three choices, the second right.
    ASSERT_EQ(e.Questions->count(), 1);
    e.Tabs->setCurrentIndex(1);
    EXPECT_TRUE(e.issueLabel(TestField::Page)->isVisibleTo(&e));
    nextFile = makePicture(dir);
    QTest::mouseClick(e.PagePicture, Qt::LeftButton);
    EXPECT_FALSE(e.issueLabel(TestField::Page)->isVisibleTo(&e));
    e.ChoiceCount->setValue(3);
    EXPECT_FALSE(e.RightChoice[3]->isVisibleTo(&e));
    e.RightChoice[0]->setChecked(false);
    EXPECT_TRUE(e.issueLabel(TestField::RightChoice)->isVisibleTo(&e));
    EXPECT_TRUE(e.issueLabel(TestField::RightChoice)
                    ->text()
                    .contains(QStringLiteral("ни один вариант не отмечен верным")));
    e.RightChoice[1]->click();
    EXPECT_FALSE(e.issueLabel(TestField::RightChoice)->isVisibleTo(&e));

    // B: the second page of a PDF; capitals typed become lower case.
    QTest::mouseClick(e.AddB, Qt::LeftButton);
    ASSERT_EQ(e.currentQuestion(), 1);
    EXPECT_EQ(e.Questions->item(1)->text(), QStringLiteral("B01"));
    EXPECT_TRUE(
        e.issueLabel(TestField::Answer)->text().contains(QStringLiteral("верный ответ не задан")));
    nextFile = makePdf(dir);
    QTest::mouseClick(e.PagePdf, Qt::LeftButton);
    EXPECT_EQ(pdfPages, 2);
    QTest::keyClicks(e.Answer, QStringLiteral("Green"));
    EXPECT_EQ(e.Answer->text(), QStringLiteral("green"));
    EXPECT_FALSE(e.issueLabel(TestField::Answer)->isVisibleTo(&e));

    // D: a typed page, two places clicked on the page, the right order 2, 1.
    QTest::mouseClick(e.AddD, Qt::LeftButton);
    ASSERT_EQ(e.currentQuestion(), 2);
    QTest::mouseClick(e.PageText, Qt::LeftButton);
    ASSERT_FALSE(e.Page->isEmpty());
    // Typed again, the page opens with the text it was typed as.
    ASSERT_EQ(typedGiven.size(), 1);
    EXPECT_TRUE(typedGiven[0].isEmpty());
    QTest::mouseClick(e.PageText, Qt::LeftButton);
    ASSERT_EQ(typedGiven.size(), 2);
    EXPECT_TRUE(typedGiven[1].contains(QStringLiteral("Put in order")));
    // So does a typed introduction.
    e.Tabs->setCurrentIndex(0);
    QTest::mouseClick(e.IntroText, Qt::LeftButton);
    QTest::mouseClick(e.IntroText, Qt::LeftButton);
    ASSERT_EQ(typedGiven.size(), 4);
    EXPECT_TRUE(typedGiven[2].isEmpty());
    EXPECT_TRUE(typedGiven[3].contains(QStringLiteral("Put in order")));
    e.Tabs->setCurrentIndex(1);
    e.SlotCount->setValue(2);
    ASSERT_GT(e.slotBoard().cellWidth(), 0);
    e.SelectSlot(0);
    clickOnCell({3, 3});
    clickOnCell({3, 6}); // the next slot follows by itself
    auto* first = e.findChild<QSpinBox*>(QStringLiteral("SlotNumber1"));
    auto* second = e.findChild<QSpinBox*>(QStringLiteral("SlotNumber2"));
    ASSERT_TRUE(first && second);
    first->setValue(2);
    EXPECT_TRUE(e.issueLabel(TestField::SlotOrder)->isVisibleTo(&e)); // 2, 2
    second->setValue(1);
    EXPECT_FALSE(e.issueLabel(TestField::SlotOrder)->isVisibleTo(&e));
    // A place whose cell runs off the page's edge is refused beside the places.
    clickOnCell({kLastColumnOnPage + 1, 6});
    EXPECT_TRUE(e.issueLabel(TestField::Slots)->isVisibleTo(&e));
    EXPECT_TRUE(
        e.issueLabel(TestField::Slots)->text().contains(QStringLiteral("за краем страницы")));
    clickOnCell({3, 6});
    EXPECT_FALSE(e.issueLabel(TestField::Slots)->isVisibleTo(&e));

    // The marks scale as bands, shown with the mark and checked.
    e.Tabs->setCurrentIndex(0);
    QTest::mouseClick(e.AddMark, Qt::LeftButton);
    e.Marks->item(0, 1)->setText(QStringLiteral("2"));
    QTest::mouseClick(e.AddMark, Qt::LeftButton);
    e.Marks->item(1, 0)->setText(QStringLiteral("60 %"));
    e.Marks->item(1, 1)->setText(QStringLiteral("5"));
    EXPECT_EQ(e.MarksSummary->text(), QStringLiteral("0 % → 2    60 % → 5"));
    e.Marks->item(0, 0)->setText(QStringLiteral("10"));
    EXPECT_TRUE(e.issueLabel(TestField::Marks)->text().contains(QStringLiteral("ниже 10 %")));
    e.Marks->item(0, 0)->setText(QStringLiteral("0"));
    e.ShowMark->setChecked(true);
    EXPECT_TRUE(e.test().check().empty()) << e.test().check().front().text.toStdString();

    // Saved where the teacher says, then read by the program's reader.
    nextFile = dir.filePath(QStringLiteral("colours"));
    e.findChild<QAction*>(QStringLiteral("SaveAsAction"))->trigger();
    const QString path = dir.filePath(QStringLiteral("colours.tst"));
    ASSERT_EQ(e.filePath(), path) << Dialogs::shown().size();
    EXPECT_FALSE(e.modified());
    ArchiveReadResult read = readTestArchive(readAll(path), "secret");
    ASSERT_TRUE(read.archive) << read.error.toStdString();
    const std::vector<TQuestionRec>& qs = read.archive->questions;
    ASSERT_EQ(qs.size(), 3u);
    EXPECT_EQ(makeLabels(qs), (std::vector<std::string>{"A01", "B01", "D01"}));
    EXPECT_EQ(qs[0].choiceCount, 3);
    EXPECT_EQ(qs[0].rightChoice, (std::array<bool, 5>{false, true, false, false, false}));
    EXPECT_FALSE(qs[0].multiChoice);
    EXPECT_EQ(qs[1].rightText, "green");
    const QSizeF pdfPage = pageAspect(qs[1].body);
    EXPECT_GT(pdfPage.width(), pdfPage.height()); // the landscape second page
    EXPECT_EQ(qs[2].choiceCount, 2);
    EXPECT_EQ(qs[2].rightSlots[0], (TSlotRec{3, 3, 2}));
    EXPECT_EQ(qs[2].rightSlots[1], (TSlotRec{3, 6, 1}));
    const QSizeF typed = pageAspect(qs[2].body);
    EXPECT_GT(typed.width(), 0);
    ASSERT_TRUE(read.archive->settings139);
    EXPECT_TRUE(read.archive->settings139->showMark);
    EXPECT_EQ(read.archive->settings139->markScale.size(), 2u);

    // The preview: the program's run window on the test as it stands, at each screen size, with
    // a clock, the finish prompt, the results and the review; it stores nothing, keeps no journal
    // and locks nothing.
    e.Tabs->setCurrentIndex(0);
    e.TestTimer->setChecked(true);
    e.TestTime->setTime(QTime(0, 10, 0));
    e.AnswerReview->setChecked(true);
    QTemporaryDir data;
    ASSERT_TRUE(data.isValid());
    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
    const QString stateFolder = JournalStore::defaultFolder();
    const QStringList before = QDir(dir.path()).entryList(QDir::Files);
    testing::ManualClock clock;
    for (const QSize size : {QSize(1024, 768), QSize(1280, 1024), QSize(1920, 1080)}) {
        SCOPED_TRACE(size.width());
        e.PreviewClick(size);
        TPreview* preview = e.preview();
        ASSERT_TRUE(preview);
        TTopros& run = preview->run();
        // The test's introduction comes first, as the pupil sees it, and nothing is locked; its
        // "Далее", or any key, goes on to the first question.
        IntroductionPage& intro = preview->introduction();
        ASSERT_TRUE(intro.isVisible());
        EXPECT_FALSE(run.isVisible());
        EXPECT_EQ(intro.size(), size);
        EXPECT_FALSE(intro.OleContainer1->isEmpty());
        EXPECT_TRUE(intro.Button4->isVisible());
        EXPECT_FALSE(intro.Button3->isVisible()); // nothing to go back to
        EXPECT_FALSE(lockdownInForce());
        if (size.width() == 1024)
            QTest::mouseClick(intro.Button4, Qt::LeftButton);
        else
            QTest::keyClick(intro.Button4, Qt::Key_X);
        EXPECT_FALSE(intro.isVisible());
        ASSERT_TRUE(run.isVisible());
        EXPECT_EQ(run.currentItem(), 0);
        EXPECT_EQ(run.size(), size);
        EXPECT_TRUE(run.driver().running());
        ASSERT_EQ(run.Stests->count(), 3);
        EXPECT_FALSE(run.Quest->isEmpty());
        // The test's clock runs down as the pupil's would.
        EXPECT_TRUE(run.Panel3->text().endsWith(QStringLiteral("00:10:00")))
            << run.Panel3->text().toStdString();
        clock.tick(run, 2);
        EXPECT_TRUE(run.Panel3->text().endsWith(QStringLiteral("00:09:58")))
            << run.Panel3->text().toStdString();
        QPushButton* next = run.pPoradok->isVisibleTo(&run) ? run.Next2 : run.Next1;

        EXPECT_TRUE(run.Otvetbool1x[1]->isVisibleTo(&run)); // one answer: radio buttons
        EXPECT_FALSE(run.Otvetbool1x[3]->isVisibleTo(&run));
        QTest::mouseClick(run.Otvetbool1x[1], Qt::LeftButton);
        QTest::mouseClick(next, Qt::LeftButton);
        ASSERT_EQ(run.currentItem(), 1);
        QTest::keyClicks(run.otvetstr, QStringLiteral("GREEN"));
        EXPECT_EQ(run.otvetstr->text(), QStringLiteral("green"));
        QTest::mouseClick(next, Qt::LeftButton);
        ASSERT_EQ(run.currentItem(), 2);
        // The typed page is tall enough for the numbers on its markers to be read.
        EXPECT_GE(MarkerBoard::markerDisc(run.markerBoard.cellRect({3, 3})).height(), 20.0)
            << int(run.markerBoard.cellWidth()) << "x" << int(run.markerBoard.cellHeight());
        // Markers start 1, 2 in the places; the pupil swaps them with a drop-down.
        EXPECT_EQ(run.markerBoard.numberAt(3, 3), 1);
        run.CbOtvetOfset[0]->activated(1);
        EXPECT_EQ(run.markerBoard.numberAt(3, 3), 2);
        EXPECT_EQ(run.markerBoard.numberAt(3, 6), 1);

        // Time is left: the prompt asks, and "Завершить" ends the test.
        run.N4->trigger();
        ASSERT_TRUE(preview->prompt().isVisible());
        QTest::mouseClick(preview->prompt().Button2, Qt::LeftButton);
        PreviewResults& results = preview->results();
        ASSERT_TRUE(results.isVisible());
        EXPECT_FALSE(run.isVisible());
        EXPECT_EQ(results.size(), size);
        EXPECT_TRUE(results.Label2->text().startsWith(QStringLiteral("3 из 3")))
            << results.Label2->text().toStdString();
        EXPECT_EQ(results.Label4->text(), QStringLiteral("5"));
        EXPECT_TRUE(results.PreviewNote->text().contains(QStringLiteral("не записывается")));

        // The review: the run window again, read-only, each answer with its verdict.
        ASSERT_TRUE(results.Button3->isEnabled());
        QTest::mouseClick(results.Button3, Qt::LeftButton);
        ASSERT_TRUE(run.isVisible());
        EXPECT_TRUE(run.inReview());
        EXPECT_FALSE(results.isVisible());
        EXPECT_EQ(run.currentItem(), 0);
        EXPECT_TRUE(run.Panel6->isVisibleTo(&run));
        EXPECT_EQ(run.Label3->text(), QStringLiteral("Правильно"))
            << run.Label3->text().toStdString();
        run.N9->trigger();
        EXPECT_TRUE(results.isVisible());
        QTest::mouseClick(results.Button2, Qt::LeftButton);
        EXPECT_FALSE(preview->isVisible());
        EXPECT_FALSE(lockdownInForce());
    }
    // "Повторить" begins again at the introduction, and the preview ends from there too.
    {
        e.PreviewClick(QSize(1024, 768));
        TPreview& preview = *e.preview();
        TTopros& run = preview.run();
        QTest::keyClick(preview.introduction().Button4, Qt::Key_Return);
        ASSERT_TRUE(run.isVisible());
        run.N4->trigger();
        run.N4->trigger();
        ASSERT_TRUE(preview.results().isVisible());
        QTest::mouseClick(preview.results().Button1, Qt::LeftButton);
        EXPECT_TRUE(preview.introduction().isVisible());
        EXPECT_FALSE(run.isVisible());
        EXPECT_FALSE(preview.results().isVisible());
        EXPECT_TRUE(preview.isVisible());
        preview.close();
        EXPECT_FALSE(preview.isVisible());
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), before);
    EXPECT_FALSE(QFileInfo::exists(stateFolder)) << stateFolder.toStdString();
    EXPECT_TRUE(QDir(data.path()).isEmpty());
    qunsetenv("XDG_DATA_HOME");

    // Opened again: the password is asked, every question is back.
    e.NewClick();
    EXPECT_EQ(e.Questions->count(), 1);
    ASSERT_TRUE(e.OpenFile(path));
    EXPECT_EQ(passwordAsked.size(), 1);
    EXPECT_EQ(e.Questions->count(), 3);
    EXPECT_EQ(e.Password->text(), QStringLiteral("secret"));
    EXPECT_EQ(e.Comment->text(), QStringLiteral("Colours"));
    // The typed page's text came through the file too; a picture page has none.
    e.SelectQuestion(2);
    QTest::mouseClick(e.PageText, Qt::LeftButton);
    EXPECT_TRUE(typedGiven.back().contains(QStringLiteral("Put in order")));
    EXPECT_TRUE(typedGiven.back().contains(QStringLiteral("a cat")));
    e.SelectQuestion(0);
    QTest::mouseClick(e.PageText, Qt::LeftButton);
    EXPECT_TRUE(typedGiven.back().isEmpty());
}

TEST_F(EditorWindowTest, QuestionListReordersDuplicatesAndDeletes) {
    TEditor& e = *editor;
    QTest::mouseClick(e.AddB, Qt::LeftButton);
    QTest::keyClicks(e.Topic, QStringLiteral("words"));
    QTest::mouseClick(e.Duplicate, Qt::LeftButton);
    QTest::mouseClick(e.AddA, Qt::LeftButton);
    ASSERT_EQ(e.Questions->count(), 4);
    EXPECT_EQ(e.Questions->item(2)->text(), QStringLiteral("B01  words"));
    EXPECT_EQ(e.Questions->item(3)->text(), QStringLiteral("B02  words"));
    // A drag of the first A question to the end keeps it with the A questions.
    e.MoveQuestion(0, 3);
    EXPECT_EQ(e.currentQuestion(), 1);
    EXPECT_EQ(e.test().labels(), (std::vector<std::string>{"A01", "A02", "B01", "B02"}));
    e.SelectQuestion(2);
    QTest::mouseClick(e.Delete, Qt::LeftButton);
    EXPECT_EQ(e.Questions->count(), 3);
    // Changing the kind moves the question into its group.
    e.SelectQuestion(0);
    e.Kind->activated(2);
    EXPECT_EQ(e.currentQuestion(), 2);
    EXPECT_EQ(e.test().labels(), (std::vector<std::string>{"A01", "B01", "D01"}));
    EXPECT_EQ(e.AnswerStack->currentIndex(), 2);
}

TEST_F(EditorWindowTest, UnsavedChangesAreAskedAboutOnClose) {
    TEditor& e = *editor;
    QTest::keyClicks(e.Comment, QStringLiteral("x"));
    saveAnswer = EditorPrompts::SaveAnswer::Cancel;
    EXPECT_FALSE(e.close());
    EXPECT_EQ(saveAsked, 1);
    EXPECT_TRUE(e.isVisible());
    // Save with a faulty test: nothing is written and the window stays.
    saveAnswer = EditorPrompts::SaveAnswer::Save;
    nextFile = dir.filePath(QStringLiteral("x.tst"));
    EXPECT_FALSE(e.close());
    EXPECT_FALSE(QFile::exists(nextFile));
    ASSERT_FALSE(Dialogs::shown().empty());
    EXPECT_TRUE(Dialogs::shown().back().text.contains(QStringLiteral("у вопроса нет страницы")));
    saveAnswer = EditorPrompts::SaveAnswer::Discard;
    EXPECT_TRUE(e.close());
    EXPECT_EQ(saveAsked, 3);
}

TEST_F(EditorWindowTest, LabelsComeFromTheLanguageFiles) {
    TEditor& e = *editor;
    EXPECT_EQ(e.AddA->text(), QStringLiteral("+ Выбор"));
    e.SwitchLanguage(testing::sourceDir() + QStringLiteral("/data/language/fyv_english.lng"));
    EXPECT_EQ(e.AddA->text(), QStringLiteral("+ Choice"));
    EXPECT_EQ(e.Lockdown->text(), QStringLiteral("lock the workstation during the test"));
    EXPECT_EQ(e.Order->itemText(1), QStringLiteral("fixed (forward only)"));
    EXPECT_TRUE(e.windowTitle().endsWith(QStringLiteral("Kvizor test editor")));
    // The faults beside the fields are worded by the language file too.
    e.Tabs->setCurrentIndex(1);
    EXPECT_EQ(e.issueLabel(TestField::Page)->text(), QStringLiteral("the question has no page"));
    e.SwitchLanguage(QString());
    EXPECT_EQ(e.AddA->text(), QStringLiteral("+ Выбор"));
    EXPECT_EQ(e.issueLabel(TestField::Page)->text(), QStringLiteral("у вопроса нет страницы"));
}

} // namespace
} // namespace kvz::editor
