#include "ChoiceFixture.h"

#include "choice/TInform.h"
#include "choice/TPrepere.h"
#include "choice/TSerestf.h"
#include "shell/Settings.h"
#include "shell/TBasic.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QDialog>
#include <QFileInfo>
#include <QHelpEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>

using namespace kvz;
using namespace kvz::testing;

namespace {

QStringList items(const QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out.append(list->item(i)->text());
    return out;
}

QStringList items(const QComboBox* box) {
    QStringList out;
    for (int i = 0; i < box->count(); ++i)
        out.append(box->itemText(i));
    return out;
}

class PrepereTest : public ChoiceFixture {
protected:
    void SetUp() override {
        ChoiceFixture::SetUp();
        writeFile(QStringLiteral("Topic.ini"),
                  cp(QStringLiteral("[Klass]\r\n9=\r\n10=\r\n[Predmet]\r\nФизика=\r\n")));
        writeFile(QStringLiteral("Base/Механика.tst"),
                  withTrailer(cp(QStringLiteral("Законы Ньютона")), "9",
                              cp(QStringLiteral("Физика")), cp(QStringLiteral("Сила\r\nМасса"))));
        writeFile(QStringLiteral("Base/Органика.TST"),
                  withTrailer("", cp(QStringLiteral("11Х")), cp(QStringLiteral("Химия")), ""));
        writeFile(QStringLiteral("Base/broken.tst"), "no trailer here");
        writeFile(QStringLiteral("Base/notes.txt"), withTrailer("", "9", "", ""));
        start();
    }
    TPrepere& prepere() { return app->prepere(); }
};

} // namespace

TEST_F(PrepereTest, ListsFiltersAndFollowsTheSelectedTest) {
    TPrepere& w = prepere();
    EXPECT_EQ(items(w.ListBox1), (QStringList{QStringLiteral("broken"), QStringLiteral("Механика"),
                                              QStringLiteral("Органика")}));
    // Topic.ini, "Все" first; the first test is shown, but it has no trailer: nothing changes.
    EXPECT_EQ(items(w.Edit2),
              (QStringList{QStringLiteral("Все"), QStringLiteral("9"), QStringLiteral("10")}));
    EXPECT_EQ(w.ListBox1->currentRow(), 0);
    EXPECT_TRUE(w.Memo1->toPlainText().isEmpty());
    EXPECT_EQ(w.Edit2->currentText(), QStringLiteral("Все"));

    w.ListBox1->setCurrentRow(1);
    EXPECT_EQ(w.Memo1->toPlainText(), QStringLiteral("Законы Ньютона"));
    EXPECT_EQ(items(w.ListBox2), (QStringList{QStringLiteral("Масса"), QStringLiteral("Сила")}));
    EXPECT_EQ(w.Edit2->currentText(), QStringLiteral("9"));
    EXPECT_EQ(w.Edit3->currentText(), QStringLiteral("Физика"));

    // A class Topic.ini does not know joins the filter for good.
    w.ListBox1->setCurrentRow(2);
    EXPECT_EQ(w.Edit2->currentText(), QStringLiteral("11Х"));
    EXPECT_TRUE(items(w.Edit2).contains(QStringLiteral("11Х")));

    // "Отбор" with the followed filters lists only that test; broken archives drop out.
    w.Button4->click();
    EXPECT_EQ(items(w.ListBox1), QStringList{QStringLiteral("Органика")});

    // An archive copied in later appears only after the next "Отбор".
    writeFile(QStringLiteral("Base/Новый.tst"), withTrailer("", "9", "", ""));
    w.Edit2->setCurrentText(QStringLiteral("Все"));
    w.Edit3->setCurrentText(QStringLiteral("Все"));
    w.show();
    EXPECT_EQ(w.ListBox1->count(), 1);
    w.Button4->click();
    EXPECT_EQ(w.ListBox1->count(), 4);

    // Nothing matches: lists and comment are cleared.
    w.Edit2->setCurrentText(QStringLiteral("5"));
    w.Button4->click();
    EXPECT_EQ(w.ListBox1->count(), 0);
    EXPECT_EQ(w.ListBox2->count(), 0);
    EXPECT_TRUE(w.Memo1->toPlainText().isEmpty());
}

TEST_F(PrepereTest, ShuffleBoxIsStoredAtOnceAndReadOnShow) {
    TPrepere& w = prepere();
    w.show();
    EXPECT_FALSE(w.CheckBox1->isChecked());
    w.CheckBox1->click();
    EXPECT_TRUE(Settings(prog()).testDisorder());
    w.hide();
    Settings(prog()).writeTestDisorder(false);
    w.show();
    EXPECT_FALSE(w.CheckBox1->isChecked());
    EXPECT_EQ(w.Edit1->text(), QStringLiteral("/Results"));
}

// Settings.ini keeps the results folder whole. After the program folder was moved it names a
// folder elsewhere: the field shows it whole, and taking a test keeps it as it is.
TEST_F(PrepereTest, ResultsFolderOutsideTheProgramFolderIsShownWhole) {
    TPrepere& w = prepere();
    RunState& rs = app->runState();
    rs.resultsFolder = QStringLiteral("/media/old-place/Results");
    w.show();
    EXPECT_EQ(w.Edit1->text(), QStringLiteral("/media/old-place/Results"));
    w.ListBox1->setCurrentRow(1);
    Dialogs::queueAnswer(false);
    w.Button1->click();
    EXPECT_EQ(rs.resultsFolder, QStringLiteral("/media/old-place/Results"));

    rs.resultsFolder = prog() + QStringLiteral("/Results/9А");
    w.hide();
    w.show();
    EXPECT_EQ(w.Edit1->text(), QStringLiteral("/Results/9А"));
    Dialogs::queueAnswer(false);
    w.Button1->click();
    EXPECT_EQ(rs.resultsFolder, prog() + QStringLiteral("/Results/9А"));
}

TEST_F(PrepereTest, OkAsksFirstAndDoesNothingWithoutSelection) {
    TPrepere& w = prepere();
    RunState& rs = app->runState();
    w.show();
    w.ListBox1->clearSelection();
    w.ListBox1->setCurrentRow(-1);
    w.Button1->click();
    EXPECT_TRUE(Dialogs::shown().empty());

    w.ListBox1->setCurrentRow(1);
    Dialogs::queueAnswer(false);
    w.Button1->click();
    ASSERT_EQ(Dialogs::shown().size(), 1u);
    EXPECT_EQ(Dialogs::shown()[0].text, QStringLiteral("Вы действительно выбрали тест Механика?"));
    EXPECT_TRUE(rs.testName.empty());
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(w.isEnabled());
}

TEST_F(PrepereTest, OnlyItemsTooLongForTheListShowAHint) {
    TPrepere& w = prepere();
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    w.ListBox2->clear();
    w.ListBox2->addItems({QStringLiteral("Сила"), QString(200, QLatin1Char('x'))});
    w.ListBox2->setFixedWidth(120);
    QCoreApplication::processEvents();
    const auto hintOver = [&](int row) {
        const QPoint pos = w.ListBox2->visualItemRect(w.ListBox2->item(row)).center();
        // The hint stays only while the pointer is over its item.
        QCursor::setPos(w.ListBox2->viewport()->mapToGlobal(pos));
        QHelpEvent help(QEvent::ToolTip, pos, w.ListBox2->viewport()->mapToGlobal(pos));
        QCoreApplication::sendEvent(w.ListBox2->viewport(), &help);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    EXPECT_TRUE(hintOver(0).isEmpty());
    EXPECT_EQ(hintOver(1), QString(200, QLatin1Char('x')));
}

TEST_F(PrepereTest, ProfileRunOnlyConfirms) {
    TPrepere& w = prepere();
    RunState& rs = app->runState();
    rs.interactive = false;
    w.ListBox1->setCurrentRow(1);
    QTimer::singleShot(0, [&] {
        Dialogs::queueAnswer(false);
        w.Button1->click(); // "No": the window stays
        Dialogs::queueAnswer(true);
        w.Button1->click();
    });
    EXPECT_EQ(w.runModal(), int(QDialog::Accepted));
    EXPECT_EQ(w.selectedTestName(), QStringLiteral("Механика"));
    EXPECT_EQ(Dialogs::shown().size(), 2u);
    EXPECT_FALSE(w.isVisible());
    // Nothing was loaded or set.
    EXPECT_TRUE(rs.testName.empty());
    EXPECT_FALSE(app->inform().isVisible());
}

TEST_F(PrepereTest, BackShowsTheMainWindowAndClosingEndsThroughIt) {
    TPrepere& w = prepere();
    app->basic().Button5->click();
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(app->basic().isVisible());
    w.Button2->click();
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(app->basic().isVisible());

    app->basic().Button5->click();
    // Closing asks the main window's exit question; "No" keeps everything.
    Dialogs::queueAnswer(false);
    w.close();
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(shownText(QStringLiteral("Вы действительно хотите выйти?")));
}

// The results folder dialog runs modally: each test acts inside it from a queued call.
class SerestfTest : public ChoiceFixture {
protected:
    void SetUp() override {
        ChoiceFixture::SetUp();
        start();
    }
    // Acts once the dialog is on screen (the dialog itself lets events through before that).
    bool choose(QLineEdit& field, const std::function<void(TSerestf&)>& inside) {
        QTimer poll;
        poll.setInterval(10);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (!app->serestf().isVisible())
                return;
            poll.stop();
            inside(app->serestf());
            // A test that forgot to close the dialog must not hang.
            if (app->serestf().isVisible())
                app->serestf().reject();
        });
        poll.start();
        return ChooseResultsFolder(*app, field);
    }
    QString results(const QString& sub = {}) const {
        return prog() + QStringLiteral("/Results") + sub;
    }
};

TEST_F(SerestfTest, OkKeepsTheSelectedFolder) {
    QLineEdit field(QStringLiteral("/Results"));
    QString selected;
    QString rootLabel;
    EXPECT_TRUE(choose(field, [&](TSerestf& d) {
        selected = d.selectedPath();
        rootLabel = d.ShellTreeView1->topLevelItem(0)->text(0);
        d.Button1->click();
    }));
    EXPECT_EQ(selected, results());
    EXPECT_EQ(rootLabel, QStringLiteral("Результаты"));
    EXPECT_EQ(field.text(), QStringLiteral("/Results"));
}

TEST_F(SerestfTest, MissingFolderIsCreatedAndSelected) {
    QLineEdit field(QStringLiteral("\\Results\\9А"));
    EXPECT_TRUE(choose(field, [](TSerestf& d) { d.Button1->click(); }));
    EXPECT_TRUE(QDir(results(QStringLiteral("/9А"))).exists());
    EXPECT_EQ(field.text(), QStringLiteral("/Results/9А"));
}

TEST_F(SerestfTest, NewFoldersAreNumberedAndStayAfterCancel) {
    QDir().mkpath(results(QStringLiteral("/Новая папка 1")));
    QLineEdit field(QStringLiteral("/Results"));
    EXPECT_FALSE(choose(field, [](TSerestf& d) {
        d.ToolButton1->click();
        d.ToolButton1->click();
        d.Button2->click();
    }));
    EXPECT_EQ(field.text(), QStringLiteral("/Results"));
    for (const char* n : {"0", "1", "2"})
        EXPECT_TRUE(QDir(results(QStringLiteral("/Новая папка ") + QLatin1String(n))).exists())
            << n;
    EXPECT_FALSE(QDir(results(QStringLiteral("/Новая папка 3"))).exists());
}

TEST_F(SerestfTest, RenamingInPlaceRenamesTheFolder) {
    QDir().mkpath(results(QStringLiteral("/old/inner")));
    QLineEdit field(QStringLiteral("/Results/old"));
    EXPECT_TRUE(choose(field, [&](TSerestf& d) {
        QTreeWidgetItem* item = d.ShellTreeView1->currentItem();
        ASSERT_NE(item, nullptr);
        item->setText(0, QStringLiteral("10Б"));
        // A name that cannot be a folder name goes back to what is on the disk.
        d.ShellTreeView1->currentItem()->setText(0, QStringLiteral("a/b"));
        EXPECT_EQ(d.ShellTreeView1->currentItem()->text(0), QStringLiteral("10Б"));
        d.Button1->click();
    }));
    EXPECT_EQ(field.text(), QStringLiteral("/Results/10Б"));
    EXPECT_TRUE(QDir(results(QStringLiteral("/10Б/inner"))).exists());
    EXPECT_FALSE(QDir(results(QStringLiteral("/old"))).exists());
}

// A folder outside the Results tree (a foreign path left by a program folder that was moved,
// or another folder of the program) is not made: the dialog opens at the Results root.
TEST_F(SerestfTest, FolderOutsideTheTreeOpensAtTheRoot) {
    for (const QString& text : {QStringLiteral("/elsewhere/Results"), QStringLiteral("\\Other")}) {
        SCOPED_TRACE(text.toStdString());
        QLineEdit field(text);
        QString selected;
        EXPECT_FALSE(choose(field, [&](TSerestf& d) {
            selected = d.selectedPath();
            d.Button2->click();
        }));
        EXPECT_EQ(selected, results());
        EXPECT_EQ(field.text(), text); // cancelled: left as it was
        EXPECT_FALSE(QFileInfo::exists(prog() + QStringLiteral("/elsewhere")));
        EXPECT_FALSE(QFileInfo::exists(prog() + QStringLiteral("/Other")));
        EXPECT_TRUE(choose(field, [](TSerestf& d) { d.Button1->click(); }));
        EXPECT_EQ(field.text(), QStringLiteral("/Results"));
    }
    EXPECT_TRUE(Dialogs::shown().empty());
}

// A folder that cannot be made is reported with its path, and the dialog stays closed.
TEST_F(SerestfTest, FolderThatCannotBeMadeIsReported) {
    QDir().mkpath(results());
    writeFile(QStringLiteral("Results/blocked"), "a file, not a folder");
    QLineEdit field(QStringLiteral("/Results/blocked/9А"));
    bool opened = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] {
        opened = app->serestf().isVisible();
        if (opened)
            app->serestf().reject();
    });
    guard.start(0);
    EXPECT_FALSE(ChooseResultsFolder(*app, field));
    EXPECT_FALSE(opened);
    EXPECT_EQ(field.text(), QStringLiteral("/Results/blocked/9А"));
    ASSERT_EQ(Dialogs::shown().size(), 1u);
    EXPECT_EQ(Dialogs::shown()[0].kind, DialogKind::Error);
    EXPECT_EQ(Dialogs::shown()[0].text,
              QStringLiteral("Произошла ошибка!\n") + results(QStringLiteral("/blocked/9А")));
}
