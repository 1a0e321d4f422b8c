#include "shell/StartUp.h"
#include "l10n/Language.h"
#include "shell/Settings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace kvz;

TEST(ProgramFolder, TwoParameterRule) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString exe = QStringLiteral("/opt/kvizor");
    const QString folder = dir.path();
    struct Case {
        QStringList parameters;
        QString expected;
    };
    const Case cases[] = {
        {{}, exe},
        {{QStringLiteral("p.pte")}, exe},
        {{folder}, exe},
        {{QStringLiteral("p.pte"), folder}, folder},
        {{QStringLiteral("p.pte"), folder + QStringLiteral("/missing")}, exe},
        {{QStringLiteral("p.pte"), dir.filePath(QStringLiteral("file"))}, exe},
        {{QStringLiteral("p.pte"), QString()}, exe},
        {{QStringLiteral("p.pte"), folder, QStringLiteral("x")}, exe},
    };
    QFile f(dir.filePath(QStringLiteral("file")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    for (const Case& c : cases)
        EXPECT_EQ(resolveProgramFolder(c.parameters, exe), c.expected)
            << c.parameters.join(QLatin1Char(',')).toStdString();
}

class StartLanguageTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(program.isValid());
        ASSERT_TRUE(temp.isValid());
    }
    QString prog() const { return program.path(); }
    QString tmp() const { return temp.path() + QLatin1Char('/'); }
    void addLanguage(const QString& base) {
        QDir().mkpath(prog() + QStringLiteral("/Language"));
        QFile f(prog() + QStringLiteral("/Language/") + base + QStringLiteral(".lng"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[Kvizor_msg]\ncol=0\nmsg[000]=x\n");
    }
    QTemporaryDir program;
    QTemporaryDir temp;
};

TEST_F(StartLanguageTest, NoLanguageFolderWritesTheBuiltinFileWhateverTheSettings) {
    Settings(prog()).writeLanguage("english");
    const StartLanguage s = prepareStartLanguage(prog(), tmp());
    EXPECT_TRUE(s.ok);
    EXPECT_TRUE(s.folderMissing);
    EXPECT_EQ(s.path, tmp() + QStringLiteral("fyv_russian.lng"));
    QFile f(s.path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), builtinLanguageFile());
    EXPECT_EQ(Settings(prog()).language(), "english");
}

TEST_F(StartLanguageTest, NamedFileIsUsed) {
    addLanguage(QStringLiteral("english"));
    addLanguage(QStringLiteral("fyv_russian"));
    Settings(prog()).writeLanguage("english");
    const StartLanguage s = prepareStartLanguage(prog(), tmp());
    EXPECT_TRUE(s.ok);
    EXPECT_FALSE(s.folderMissing);
    EXPECT_EQ(s.path, prog() + QStringLiteral("/Language/english.lng"));
    EXPECT_FALSE(QFile::exists(tmp() + QStringLiteral("fyv_russian.lng")));
}

TEST_F(StartLanguageTest, MissingNamedFileFallsBackToRussianAndRewritesTheSetting) {
    addLanguage(QStringLiteral("fyv_russian"));
    Settings(prog()).writeLanguage("deutsch");
    const StartLanguage s = prepareStartLanguage(prog(), tmp());
    EXPECT_TRUE(s.ok);
    EXPECT_EQ(s.path, prog() + QStringLiteral("/Language/fyv_russian.lng"));
    EXPECT_EQ(Settings(prog()).language(), "fyv_russian");
}

TEST_F(StartLanguageTest, NoUsableFileFailsAndWritesNothing) {
    addLanguage(QStringLiteral("english"));
    const StartLanguage s = prepareStartLanguage(prog(), tmp());
    EXPECT_FALSE(s.ok);
    EXPECT_FALSE(QFile::exists(prog() + QStringLiteral("/Settings.ini")));
}
