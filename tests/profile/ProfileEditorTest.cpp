// The profile editor on the real windows: filling on show, saving and opening with the password
// prompt answered by the test, the mode buttons, and the launcher buttons.

#include "../choice/ChoiceFixture.h"
#include "l10n/MessageTable.h"
#include "profile/Launcher.h"
#include "profile/Profile.h"
#include "profile/TProfil.h"
#include "shell/IniFile.h"
#include "shell/TBasic.h"
#include "support/PromptAnswerer.h"
#include "windows/TPas.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <deque>

namespace kvz {
namespace {

using testing::cp;

using testing::PromptAnswerer;

class ProfileEditorTest : public testing::ChoiceFixture {
protected:
    void SetUp() override {
        ChoiceFixture::SetUp();
        writeFile(
            QStringLiteral("Topic.ini"),
            cp(QStringLiteral("[Klass]\r\n7=\r\n9=\r\n[Predmet]\r\nФизика=\r\nАлгебра=\r\n")));
        writeFile(QStringLiteral("Base/Физика 9.tst"),
                  testing::withTrailer("c", "9", cp(QStringLiteral("Физика")), "t"));
        writeFile(QStringLiteral("Base/Алгебра 7.tst"),
                  testing::withTrailer("c", "7", cp(QStringLiteral("Алгебра")), "t"));
        start();
        editor().runFileDialog = [this](QFileDialog& d) {
            if (nextFile.isEmpty())
                return int(QDialog::Rejected);
            d.selectFile(nextFile);
            return int(QDialog::Accepted);
        };
        editor().waitBetweenPrompts = [this](int ms) { waits.push_back(ms); };
    }
    TProfil& editor() { return app->profil(); }
    QString all() { return app->messages().text(40); }

    QString nextFile;
    std::vector<int> waits;
};

TEST_F(ProfileEditorTest, ShowFillsListsFromTopicsAndBase) {
    TProfil& e = editor();
    e.show();
    ASSERT_EQ(e.Edit2->count(), 3);
    EXPECT_EQ(e.Edit2->itemText(0), all());
    EXPECT_EQ(e.Edit2->itemText(2), QStringLiteral("9"));
    EXPECT_EQ(e.Edit3->itemText(1), QStringLiteral("Физика"));
    EXPECT_EQ(e.Edit2->currentText(), all());
    EXPECT_EQ(e.ComboBox1->count(), 2);
    EXPECT_EQ(e.ComboBox1->currentText(), QStringLiteral("*"));
    // Shown as every window shows a results folder; kept in the profile as "\Results".
    EXPECT_EQ(e.Edit8->text(), QStringLiteral("/Results"));
    EXPECT_TRUE(e.Label11->isChecked());
    EXPECT_EQ(e.Label11->text(), app->messages().text(64));
    EXPECT_TRUE(e.RadioButton2->isChecked());
    EXPECT_FALSE(e.GroupBox2->isEnabled());

    // A full test name brings the test's class and subject; a pattern does not.
    e.ComboBox1->setEditText(QStringLiteral("Физика 9"));
    EXPECT_EQ(e.Edit2->currentText(), QStringLiteral("9"));
    EXPECT_EQ(e.Edit3->currentText(), QStringLiteral("Физика"));
    e.ComboBox1->setEditText(QStringLiteral("Алгебра*"));
    EXPECT_EQ(e.Edit2->currentText(), QStringLiteral("9"));

    e.RadioButton1->setChecked(true);
    EXPECT_TRUE(e.GroupBox2->isEnabled());
    EXPECT_EQ(e.Label11->text(), app->messages().text(65));
    e.hide();
}

TEST_F(ProfileEditorTest, SaveWithoutTestNameWritesNothing) {
    TProfil& e = editor();
    e.show();
    e.ComboBox1->setEditText(QString());
    nextFile = prog() + QStringLiteral("/none.pte");
    QTest::mouseClick(e.Button3, Qt::LeftButton);
    ASSERT_EQ(Dialogs::shown().size(), 1u);
    EXPECT_EQ(Dialogs::shown()[0].kind, DialogKind::Error);
    EXPECT_EQ(Dialogs::shown()[0].text, app->messages().text(60));
    EXPECT_FALSE(QFileInfo::exists(nextFile));
    e.hide();
}

TEST_F(ProfileEditorTest, SavedProfileOpensBackWithItsPassword) {
    TProfil& e = editor();
    e.show();
    const QString password = QStringLiteral("Пароль17символов!"); // 17 characters
    ASSERT_EQ(password.size(), 17);
    e.ComboBox1->setEditText(QStringLiteral("Физика*"));
    e.Edit2->setEditText(all());
    e.Edit3->setEditText(QStringLiteral("Физика"));
    e.Edit1->setText(QStringLiteral("9А"));
    e.Edit7->setText(QStringLiteral("Иванов Иван"));
    e.Edit9->setText(password);
    e.ComboBox2->setCurrentIndex(1);
    e.CheckBox3->setChecked(true);
    e.Label11->setChecked(false);
    e.Edit5->setText(QStringLiteral("/usr/bin/true after"));
    nextFile = prog() + QStringLiteral("/физика.pte");
    QTest::mouseClick(e.Button3, Qt::LeftButton);
    EXPECT_TRUE(Dialogs::shown().empty());

    const IniDocument doc = IniFile(nextFile).load();
    EXPECT_EQ(doc.value("TestInfo", "Type"), std::string("loc"));
    EXPECT_FALSE(doc.value("TestInfo", "Host").has_value());
    EXPECT_EQ(doc.value("TestInfo", "TestClass"), std::string(kAnyMarker));
    EXPECT_EQ(doc.value("TestInfo", "Result"), std::string("\\Results"));

    // Hiding resets all but the test name.
    e.hide();
    EXPECT_TRUE(e.Edit9->text().isEmpty());
    EXPECT_TRUE(e.Edit1->text().isEmpty());
    EXPECT_FALSE(e.CheckBox3->isChecked());
    EXPECT_EQ(e.ComboBox1->currentText(), QStringLiteral("Физика*"));

    e.show();
    PromptAnswerer answers(app->pas(),
                           {QStringLiteral("wrong"), QStringLiteral("again"), password});
    QTest::mouseClick(e.Button1, Qt::LeftButton);
    EXPECT_EQ(answers.prompts, 3);
    EXPECT_EQ(answers.titles.value(2), QStringLiteral("Пароль для физика.pte?"));
    EXPECT_EQ(waits, (std::vector<int>{100, 1100}));
    EXPECT_EQ(e.Edit9->text(), password);
    EXPECT_EQ(e.Edit2->currentText(), all());
    EXPECT_EQ(e.Edit3->currentText(), QStringLiteral("Физика"));
    EXPECT_EQ(e.Edit1->text(), QStringLiteral("9А"));
    EXPECT_EQ(e.Edit7->text(), QStringLiteral("Иванов Иван"));
    EXPECT_EQ(e.ComboBox2->currentIndex(), 1);
    EXPECT_TRUE(e.CheckBox3->isChecked());
    EXPECT_FALSE(e.Label11->isChecked());
    EXPECT_EQ(e.Edit5->text(), QStringLiteral("/usr/bin/true after"));
    EXPECT_TRUE(app->pas().Edit1->text().isEmpty()); // the prompt keeps no password
    e.hide();
}

TEST_F(ProfileEditorTest, OpenCancelledOrWithoutPassword) {
    TProfil& e = editor();
    writeFile(QStringLiteral("locked.pte"),
              "[TestInfo]\r\nTest Name=x\r\nPassword=" + scramblePassword("pw") + "\r\nName=N\r\n");
    writeFile(QStringLiteral("open.pte"),
              "[TestInfo]\r\nType=net\r\nHost=h\r\nPort=7\r\nTest Name=y\r\nPassword=\r\n");
    e.show();
    {
        PromptAnswerer answers(app->pas(), {std::nullopt});
        nextFile = prog() + QStringLiteral("/locked.pte");
        e.Edit7->setText(QStringLiteral("before"));
        QTest::mouseClick(e.Button1, Qt::LeftButton);
        EXPECT_EQ(answers.prompts, 1);
        EXPECT_TRUE(e.Edit7->text().isEmpty()); // stays reset
        EXPECT_TRUE(e.ComboBox1->currentText().isEmpty());
    }
    {
        PromptAnswerer answers(app->pas(), {std::nullopt});
        nextFile = prog() + QStringLiteral("/open.pte");
        QTest::mouseClick(e.Button1, Qt::LeftButton);
        EXPECT_EQ(answers.prompts, 0);
        EXPECT_TRUE(e.RadioButton1->isChecked());
        EXPECT_EQ(e.Host1->text(), QStringLiteral("h"));
        EXPECT_EQ(e.Port1->text(), QStringLiteral("7"));
        EXPECT_EQ(e.ComboBox1->currentText(), QStringLiteral("y"));
        EXPECT_EQ(e.Edit2->currentText(), all()); // absent key
        EXPECT_TRUE(e.Label11->isChecked());      // absent SaveResult
    }
    e.hide();
}

TEST_F(ProfileEditorTest, LauncherButtonsWriteIntoTheUsersFolders) {
    QTemporaryDir home;
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    const QByteArray oldData = qgetenv("XDG_DATA_HOME");
    QDir().mkpath(home.filePath(QStringLiteral("config")));
    QFile dirs(home.filePath(QStringLiteral("config/user-dirs.dirs")));
    ASSERT_TRUE(dirs.open(QIODevice::WriteOnly));
    dirs.write("XDG_DESKTOP_DIR=\"" + home.filePath(QStringLiteral("Рабочий стол")).toUtf8() +
               "\"\n");
    dirs.close();
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toUtf8());
    qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toUtf8());

    TProfil& e = editor();
    writeFile(QStringLiteral("math.pte"), "[TestInfo]\r\n");
    nextFile = prog() + QStringLiteral("/math.pte");
    QTest::mouseClick(e.Button4, Qt::LeftButton);
    QTest::mouseClick(e.Button5, Qt::LeftButton);
    nextFile.clear(); // a cancelled dialog writes nothing
    QTest::mouseClick(e.Button4, Qt::LeftButton);

    const QString desktop = home.filePath(QStringLiteral("Рабочий стол/Kvizor.math.desktop"));
    const QString menu = home.filePath(QStringLiteral("data/applications/FYV/Kvizor/math.desktop"));
    for (const QString& path : {desktop, menu}) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
        const QString text = QString::fromUtf8(f.readAll());
        const qsizetype at = text.indexOf(QStringLiteral("\nExec="));
        ASSERT_GE(at, 0);
        const QString exec = text.mid(at + 6, text.indexOf(QLatin1Char('\n'), at + 1) - at - 6);
        const auto words = parseDesktopExec(exec);
        ASSERT_TRUE(words.has_value());
        EXPECT_EQ(words->value(1), prog() + QStringLiteral("/math.pte"));
        EXPECT_TRUE(text.contains(QStringLiteral("\nPath=") + prog() + QLatin1Char('\n')));
    }
    EXPECT_TRUE(Dialogs::shown().empty());
    qputenv("XDG_CONFIG_HOME", oldConfig);
    qputenv("XDG_DATA_HOME", oldData);
}

TEST_F(ProfileEditorTest, StudentModeRelabelsClassFields) {
    app->runState().studentMode = true;
    app->basic().FormShow(); // builds the language menu and applies the chosen language
    EXPECT_EQ(editor().Label8->text(), app->messages().text(12));
    EXPECT_EQ(editor().Label2->text(), app->messages().text(56));
}

} // namespace
} // namespace kvz
