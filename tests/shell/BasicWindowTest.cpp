#include "app/KvizorApp.h"
#include "l10n/Cp1251.h"
#include "l10n/Language.h"
#include "l10n/TAbout.h"
#include "platform/Dialogs.h"
#include "results/TResultats.h"
#include "run/TTopros.h"
#include "shell/IniFile.h"
#include "shell/Settings.h"
#include "shell/TBasic.h"
#include "shell/TStart.h"

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace kvz;

namespace {

// A program folder and a private temporary folder for one whole application.
class AppFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(program.isValid());
        ASSERT_TRUE(temp.isValid());
        oldTmp = qgetenv("TMPDIR");
        qputenv("TMPDIR", temp.path().toLocal8Bit());
        Dialogs::startAnswering();
    }
    void TearDown() override {
        app.reset();
        Dialogs::stopAnswering();
        qputenv("TMPDIR", oldTmp);
    }
    QString prog() const { return program.path(); }
    QString tmpFile() const { return temp.path() + QStringLiteral("/fyv_russian.lng"); }
    void installRussian() {
        QDir().mkpath(prog() + QStringLiteral("/Language"));
        QFile f(prog() + QStringLiteral("/Language/fyv_russian.lng"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(builtinLanguageFile());
    }
    void addLanguage(const QString& base, const std::string& text) {
        QFile f(prog() + QStringLiteral("/Language/") + base + QStringLiteral(".lng"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text.data(), qint64(text.size()));
    }
    // No parameters: the program folder is the "executable's" folder.
    void start(QStringList parameters = {}, TStart* splash = nullptr) {
        app = std::make_unique<KvizorApp>(parameters, prog());
        app->setSplash(splash);
        app->createWindows();
    }
    bool confirmationAsked() const {
        for (const auto& r : Dialogs::shown())
            if (r.kind == DialogKind::Confirmation)
                return true;
        return false;
    }
    QTemporaryDir program;
    QTemporaryDir temp;
    QByteArray oldTmp;
    std::unique_ptr<KvizorApp> app;
};

std::string cp(const char* utf8) {
    return cp1251::fromUnicode(QString::fromUtf8(utf8));
}

} // namespace

TEST_F(AppFixture, CreationSettlesFoldersAndLanguage) {
    installRussian();
    start();
    const RunState& rs = app->runState();
    EXPECT_EQ(rs.programFolder, prog());
    EXPECT_FALSE(rs.languageFolderMissing);
    EXPECT_FALSE(rs.interactive);
    EXPECT_TRUE(QDir(prog() + QStringLiteral("/Base")).exists());
    EXPECT_TRUE(QDir(prog() + QStringLiteral("/Results")).exists());
    EXPECT_EQ(rs.resultsFolder, prog() + QStringLiteral("/Results"));
    EXPECT_TRUE(rs.studentMode);
    EXPECT_EQ(app->basic().windowTitle(), QString::fromUtf8("Квизор"));
    EXPECT_EQ(app->basic().wwwzorkaweb1->toolTip().isEmpty(), false);
    EXPECT_FALSE(app->basic().Image1->pixmap().isNull());
}

TEST_F(AppFixture, WithoutLanguageFolderTheBuiltinFileIsUsedAndRemovedAtExit) {
    Settings(prog()).writeLanguage("english");
    start();
    EXPECT_TRUE(app->runState().languageFolderMissing);
    EXPECT_TRUE(QFile::exists(tmpFile()));
    EXPECT_EQ(app->messages().msg(9), cp("Вы действительно хотите выйти?"));

    app->basic().show();
    // The menu offers the built-in language, found in the temporary folder.
    ASSERT_EQ(app->basic().PopupMenu2->actions().size(), 1);
    EXPECT_EQ(app->basic().PopupMenu2->actions()[0]->objectName(), QStringLiteral("fyv_russian1"));
    app.reset();
    EXPECT_FALSE(QFile::exists(tmpFile()));
}

TEST_F(AppFixture, ShowingAgainKeepsCaptionSpacesAndPanelHeight) {
    installRussian();
    start();
    TBasic& basic = app->basic();
    basic.show();
    EXPECT_TRUE(app->runState().interactive);
    // The results window is made when first needed; its designed height is kept then.
    EXPECT_EQ(app->runState().resultsPanelHeight, 0);
    TResultats& results = app->resultats();
    const int height = app->runState().resultsPanelHeight;
    EXPECT_GT(height, 0);
    results.Panel1->setFixedHeight(height + 50);
    for (int i = 0; i < 3; ++i) {
        basic.hide();
        basic.show();
    }
    EXPECT_EQ(app->topros().N4->text(), QString::fromUtf8("  Завершить!"));
    EXPECT_EQ(app->topros().N9->text(), QString::fromUtf8("  Выйти из режима просмотра ответов"));
    EXPECT_EQ(app->runState().resultsPanelHeight, height);
}

TEST_F(AppFixture, ExitAsksAndWritesSettingsInAnInteractiveRun) {
    installRussian();
    start();
    TBasic& basic = app->basic();
    basic.show();
    app->runState().resultsFolder = QStringLiteral("/srv/results");

    Dialogs::queueAnswer(false);
    EXPECT_FALSE(basic.close());
    EXPECT_TRUE(confirmationAsked());
    EXPECT_EQ(Dialogs::shown().back().text, QString::fromUtf8("Вы действительно хотите выйти?"));
    EXPECT_FALSE(QFile::exists(prog() + QStringLiteral("/Settings.ini")));

    Dialogs::queueAnswer(true);
    EXPECT_TRUE(basic.close());
    const Settings settings(prog());
    EXPECT_EQ(settings.resPatch(), QStringLiteral("/srv/results"));
    EXPECT_EQ(settings.language(), "fyv_russian");
}

TEST_F(AppFixture, ExitWhileATestIsOnScreenGoesToTheTest) {
    installRussian();
    start();
    app->basic().show();
    app->topros().show();
    EXPECT_FALSE(app->basic().close());
    EXPECT_FALSE(confirmationAsked());

    // Once its results were shown the program exits without asking.
    app->runState().resultsShown = true;
    EXPECT_TRUE(app->basic().close());
    EXPECT_FALSE(confirmationAsked());
}

// The program can be ended inside the event loop of a dialog that runs before the main loop
// (a resumed profile run whose clock ends it with Exit while a notice is up): that loop ends,
// and the start-up is told not to enter the main loop, which the ending could not reach.
TEST_F(AppFixture, ClosingInsideAnEventLoopBeforeTheMainOneEndsTheProgram) {
    installRussian();
    start({QStringLiteral("run.pte"), prog()});
    app->runState().resultsShown = true;
    QEventLoop dialogLoop;
    bool stuck = false;
    QTimer::singleShot(0, [&] { app->basic().close(); });
    // Tied to the loop: once the test has ended, the timer must not touch its stack.
    QTimer::singleShot(5000, &dialogLoop, [&] {
        stuck = true;
        dialogLoop.exit(7);
    });
    EXPECT_EQ(dialogLoop.exec(), 0);
    EXPECT_FALSE(stuck);
    EXPECT_EQ(app->endRequested(), std::optional<int>(0));
}

TEST_F(AppFixture, ProfileRunWritesNoSettingsAndStartsTheExitCommand) {
    installRussian();
    start({QStringLiteral("run.pte"), prog()});
    TBasic& basic = app->basic();
    basic.FormShow();
    EXPECT_FALSE(app->runState().interactive);
    EXPECT_FALSE(basic.isVisible());

    const QString marker = prog() + QStringLiteral("/exit ran");
    app->runState().profileCommandAtExit =
        cp1251::fromUnicode(QStringLiteral("touch \"") + marker + QLatin1Char('"'));
    app->runState().resultsShown = true;
    EXPECT_TRUE(basic.close());
    QElapsedTimer t;
    t.start();
    while (!QFile::exists(marker) && t.elapsed() < 10000)
        QTest::qWait(20);
    EXPECT_TRUE(QFile::exists(marker));
    EXPECT_FALSE(QFile::exists(prog() + QStringLiteral("/Settings.ini")));
}

TEST_F(AppFixture, LanguageSwitchRelabelsAndKeepsHigherMessages) {
    installRussian();
    addLanguage(QStringLiteral("english"),
                "[Info]\r\nName=English\r\nVersion=1.60\r\nWeb Page=http://en.example/\r\n"
                "[Kvizor_msg]\r\ncol=10\r\nmsg[000]=Quizzer\r\nmsg[007]=Yes\r\n"
                "msg[009]=Really quit?\r\n"
                "[Kvizor_lab]\r\nBasic.Button4.Caption= Network \r\nBasic.Caption.=Main\r\n"
                "Basic.Button5.Hint=\"quoted\"\r\nBasic.Nothing.Caption=x\r\n"
                "Nowhere.Button1.Caption=x\r\nBasic.Panel6.Caption=x\r\n");
    Settings(prog()).writeLanguage("english");
    start();
    EXPECT_EQ(app->messages().msg(0), "Quizzer");
    TBasic& basic = app->basic();
    basic.show();
    QCoreApplication::processEvents();

    EXPECT_EQ(basic.checkedLanguage(), QStringLiteral("english"));
    EXPECT_EQ(basic.Button4->text(), QStringLiteral(" Network "));
    EXPECT_EQ(basic.Button5->toolTip(), QStringLiteral("\"quoted\""));
    EXPECT_EQ(basic.windowTitle(), QStringLiteral("Main"));
    EXPECT_EQ(basic.Label3->text(), QStringLiteral("Quizzer 1.60"));
    EXPECT_EQ(basic.wwwzorkaweb1->toolTip(), QStringLiteral("http://en.example/"));
    EXPECT_EQ(Dialogs::captions().yes, QStringLiteral("Yes"));
    // The lines naming missing things are reported together; the rest still apply.
    ASSERT_FALSE(Dialogs::shown().empty());
    const QString report = Dialogs::shown().back().text;
    EXPECT_TRUE(report.contains(QStringLiteral("Basic Nothing")));
    EXPECT_TRUE(report.contains(QStringLiteral("Nowhere Button1")));
    EXPECT_TRUE(report.contains(QStringLiteral("Basic Panel6")));

    // Back to Russian: col=70 overwrites everything English defined.
    Dialogs::clearShown();
    EXPECT_TRUE(basic.switchLanguage(QStringLiteral("fyv_russian")));
    EXPECT_EQ(basic.checkedLanguage(), QStringLiteral("fyv_russian"));
    EXPECT_EQ(basic.Button4->text(), QString::fromUtf8("Сетевое"));
    EXPECT_EQ(app->messages().msg(9), cp("Вы действительно хотите выйти?"));
    EXPECT_EQ(Dialogs::captions().yes, QString::fromUtf8("Да"));

    // And English again: messages above its col keep the Russian texts.
    EXPECT_TRUE(basic.switchLanguage(QStringLiteral("english")));
    EXPECT_EQ(app->messages().msg(9), "Really quit?");
    EXPECT_EQ(app->messages().msg(41), cp("Сервер приостановил тест!"));
    EXPECT_FALSE(basic.switchLanguage(QStringLiteral("deutsch")));
}

TEST_F(AppFixture, RefusedSettingsWriteIsReportedAndTheProgramStillExits) {
    installRussian();
    // A folder where the settings file should be: every write is refused.
    QDir().mkpath(prog() + QStringLiteral("/Settings.ini"));
    start();
    app->basic().show();
    Dialogs::queueAnswer(true);
    EXPECT_TRUE(app->basic().close());
    ASSERT_FALSE(Dialogs::shown().empty());
    EXPECT_EQ(Dialogs::shown().back().kind, DialogKind::Error);
    EXPECT_TRUE(Dialogs::shown().back().text.startsWith(QStringLiteral("Unable to write to ")));
}

TEST_F(AppFixture, AboutWindowListsLanguagesAndTheirDetails) {
    installRussian();
    start();
    app->basic().show();
    TAbout& about = app->about();
    about.show();
    ASSERT_EQ(about.RxDrawGrid1->rowCount(), 2);
    EXPECT_EQ(about.RxDrawGrid1->item(0, 0)->text(), QString::fromUtf8("Язык"));
    EXPECT_EQ(about.RxDrawGrid1->item(1, 0)->text(), QString::fromUtf8("Русский"));
    EXPECT_FALSE(about.Memo1->toPlainText().isEmpty());
    EXPECT_TRUE(about.languageDetails(0).isEmpty());
    const QString details = about.languageDetails(1);
    EXPECT_TRUE(details.startsWith(QString::fromUtf8("Язык: Русский\r\nВерсия: 1.60b7\r\n")))
        << details.toStdString();
    EXPECT_TRUE(
        details.endsWith(QString::fromUtf8("Является самым первым языковым файлом для ФЫВ!")));
    about.hide();
}

TEST_F(AppFixture, SplashFollowsTheStartSettings) {
    installRussian();
    const QString lng = prog() + QStringLiteral("/Language/fyv_russian.lng");
    {
        TStart splash(prog(), lng);
        EXPECT_DOUBLE_EQ(splash.windowOpacity(), 210 / 255.0);
        EXPECT_FALSE(splash.Label1->isHidden());
        EXPECT_EQ(splash.Label1->text(), QString::fromUtf8("Квизор"));
        EXPECT_EQ(splash.Label2->text(), QString::fromUtf8("Загрузка..."));
        EXPECT_FALSE(splash.Image1->pixmap().isNull());
    }
    Settings settings(prog());
    settings.file().writeString("Start", "Transparency", "255");
    settings.file().writeString("Start", "Text", "0");
    QImage own(40, 30, QImage::Format_RGB32);
    own.fill(Qt::green);
    ASSERT_TRUE(own.save(prog() + QStringLiteral("/Start.bmp"), "BMP"));
    TStart splash(prog(), lng);
    EXPECT_DOUBLE_EQ(splash.windowOpacity(), 1.0);
    EXPECT_TRUE(splash.Label1->isHidden());
    EXPECT_TRUE(splash.Label2->isHidden());
    EXPECT_EQ(splash.size(), QSize(40, 30));
}

TEST_F(AppFixture, SplashGoesAfterTheTimerOrOnAClick) {
    installRussian();
    const QString lng = prog() + QStringLiteral("/Language/fyv_russian.lng");
    QPointer<TStart> splash = new TStart(prog(), lng);
    splash->show();
    start({}, splash);
    app->basic().show();
    EXPECT_TRUE(app->basic().Timer1->isActive());
    QTest::qWait(1300);
    EXPECT_TRUE(splash.isNull());
    EXPECT_FALSE(app->basic().Timer1->isActive());

    QPointer<TStart> clicked = new TStart(prog(), lng);
    clicked->show();
    QTest::mouseClick(clicked.data(), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(clicked.isNull());
}
