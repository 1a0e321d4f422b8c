#include "profile/Launcher.h"
#include "profile/Profile.h"
#include "shell/IniFile.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace kvz {
namespace {

std::string fileBytes(const QString& path) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
    return f.readAll().toStdString();
}

void writeBytes(const QString& path, std::string_view bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes.data(), qint64(bytes.size()));
}

TEST(ProfilePassword, ScramblesByTheSineTable) {
    // Offsets round(13 sin i) for i = 1..5 are 11, 12, 2, -10, -12.
    EXPECT_EQ(scramblePassword("AAAAA"),
              std::string({'A' - 11, 'A' - 12, 'A' - 2, 'A' + 10, 'A' + 12}));
    // Byte 5 wraps around modulo 256.
    EXPECT_EQ(scramblePassword(std::string(1, '\x05')), std::string(1, char(256 + 5 - 11)));
    EXPECT_EQ(unscramblePassword(std::string(1, char(250))), std::string(1, char(5)));
    // Position 17: 13 sin 17 = -12.498..., so -12 (not a tie; plain nearest).
    EXPECT_EQ(static_cast<unsigned char>(scramblePassword(std::string(17, 'a'))[16]), 'a' + 12);
}

TEST(ProfilePassword, RoundTripsThroughTheFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("p.pte"));
    const std::string passwords[] = {
        "",
        "a",
        "Seventeen-chars17", // the longest the editor takes
        // Cyrillic letters that scramble to a zero byte ("у" at 11) and to a space at 1 ("+").
        "\xF4\xE8\xE7\xE8\xEA\xE0\xF4\xE8\xE7\xE8\xF3\xEA\xE0",
        "+abc",
        "\"x\"",
        "ab ",
    };
    for (const std::string& pw : passwords) {
        Profile p;
        p.testName = "t";
        p.password = pw;
        ASSERT_TRUE(writeProfile(path, p));
        EXPECT_EQ(readProfile(path).password, pw) << pw;
    }
}

TEST(ProfileFile, WritesKeysInTheEditorsOrderAndReadsThemBack) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("net.pte"));
    Profile p;
    p.type = "net";
    p.host = "10.0.0.1";
    p.port = "32743";
    p.testName = "\xD4\xE8\xE7\xE8\xEA\xE0*";
    p.testClass = std::nullopt; // written as the marker
    p.subject = "\xD4\xE8\xE7\xE8\xEA\xE0";
    p.classGroup = "9\xC0";
    p.examineeName = "\xC8\xE2\xE0\xED\xEE\xE2";
    p.select = 1;
    p.password = "pw";
    p.result = "\\Results\\9\xC0";
    p.textResultFile = "/tmp/log.txt";
    p.commandAfterTest = "echo end";
    p.commandAtExit = "echo exit";
    p.shuffle = true;
    p.exitAfterTest = true;
    p.noRepeat = true;
    p.saveResult = false;
    ASSERT_TRUE(writeProfile(path, p));

    const IniDocument doc = IniDocument::parse(fileBytes(path));
    const std::vector<std::string> order = {
        "Type",        "Host",        "Port",    "Test Name", "TestClass", "Predmet",
        "Class/Group", "Name",        "Select",  "Password",  "Result",    "ResultTest",
        "CommandEnd",  "CommandExit", "Shuffle", "Exit",      "NotRepeat", "SaveResult"};
    EXPECT_EQ(doc.keys("TestInfo"), order);
    EXPECT_EQ(doc.value("TestInfo", "TestClass"), std::string("/*_-_*\\"));

    const Profile back = readProfile(path);
    EXPECT_EQ(back.type, "net");
    EXPECT_EQ(back.host, p.host);
    EXPECT_EQ(back.port, p.port);
    EXPECT_EQ(back.testName, p.testName);
    EXPECT_EQ(back.testClass, std::string(kAnyMarker));
    EXPECT_EQ(back.subject, p.subject);
    EXPECT_EQ(back.classGroup, p.classGroup);
    EXPECT_EQ(back.examineeName, p.examineeName);
    EXPECT_EQ(back.select, 1);
    EXPECT_EQ(back.password, "pw");
    EXPECT_EQ(back.result, p.result);
    EXPECT_EQ(back.textResultFile, p.textResultFile);
    EXPECT_EQ(back.commandAfterTest, p.commandAfterTest);
    EXPECT_EQ(back.commandAtExit, p.commandAtExit);
    EXPECT_TRUE(back.shuffle && back.exitAfterTest && back.noRepeat);
    EXPECT_FALSE(back.saveResult);
}

TEST(ProfileFile, LocalSavedOverNetworkKeepsOtherKeys) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("p.pte"));
    writeBytes(path, "; made by hand\r\n[TestInfo]\r\nType=net\r\nHost=srv\r\nPort=1\r\n"
                     "Extra=kept\r\n[Other]\r\nx=1\r\n");
    Profile p;
    p.testName = "t";
    ASSERT_TRUE(writeProfile(path, p));
    const std::string bytes = fileBytes(path);
    const IniDocument doc = IniDocument::parse(bytes);
    EXPECT_EQ(doc.value("TestInfo", "Type"), std::string("loc"));
    EXPECT_EQ(doc.value("TestInfo", "Host"), std::string("srv"));
    EXPECT_EQ(doc.value("TestInfo", "Port"), std::string("1"));
    EXPECT_EQ(doc.value("TestInfo", "Extra"), std::string("kept"));
    EXPECT_EQ(doc.value("Other", "x"), std::string("1"));
    EXPECT_EQ(bytes.rfind("; made by hand\r\n", 0), 0u);
}

TEST(ProfileFile, DefaultsForAMissingOrEmptyProfile) {
    const Profile p = readProfile(QStringLiteral("/nonexistent/none.pte"));
    EXPECT_EQ(p.type, "loc");
    EXPECT_EQ(p.testName, "");
    EXPECT_FALSE(p.testClass.has_value());
    EXPECT_FALSE(p.subject.has_value());
    EXPECT_FALSE(p.result.has_value());
    EXPECT_EQ(p.password, "");
    EXPECT_EQ(p.select, 0);
    EXPECT_TRUE(p.saveResult);
    EXPECT_FALSE(p.shuffle || p.exitAfterTest || p.noRepeat);
}

TEST(ProfileFile, RefusedWriteIsReported) {
    // Refused even for a superuser, who may write read-only files.
    const QString path = QStringLiteral("/proc/kvizor/p.pte");
    Profile p;
    p.testName = "t";
    QString error;
    EXPECT_FALSE(writeProfile(path, p, &error));
    EXPECT_EQ(error, QStringLiteral("Unable to write to ") + path);
}

TEST(ProfileRun, ResultFolderRule) {
    const QString prog = QStringLiteral("/opt/kvizor");
    const struct {
        const char* name;
        std::optional<std::string> result;
        QString expected;
    } cases[] = {
        {"absent", std::nullopt, QStringLiteral("/opt/kvizor/Results")},
        {"empty", std::string(), QStringLiteral("/opt/kvizor/Results")},
        {"one backslash", std::string("\\Results\\9A"), QStringLiteral("/opt/kvizor/Results/9A")},
        {"share", std::string("\\\\server\\res"), QStringLiteral("//server/res")},
        {"absolute", std::string("/srv/results"), QStringLiteral("/srv/results")},
        {"drive letter", std::string("C:\\Results"), QStringLiteral("C:/Results")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(resolveResultFolder(c.result, prog), c.expected) << c.name;

    EXPECT_EQ(resultValueForFolder(QStringLiteral("/opt/kvizor/Results/9A"), prog),
              "\\Results\\9A");
    EXPECT_EQ(resultValueForFolder(QStringLiteral("/opt/kvizorX/Results"), prog),
              "/opt/kvizorX/Results");
    // What the editor writes, a run reads back to the same folder.
    EXPECT_EQ(
        resolveResultFolder(resultValueForFolder(prog + QStringLiteral("/Results"), prog), prog),
        prog + QStringLiteral("/Results"));
}

TEST(ProfileRun, HostMarkerReplacedOnce) {
    EXPECT_EQ(substituteHost(QStringLiteral("/srv/p/?host?.pte"), QStringLiteral("ws07")),
              QStringLiteral("/srv/p/ws07.pte"));
    EXPECT_EQ(substituteHost(QStringLiteral("?host?/?host?.pte"), QStringLiteral("a")),
              QStringLiteral("a/?host?.pte"));
    EXPECT_EQ(substituteHost(QStringLiteral("/p/x.pte"), QStringLiteral("a")),
              QStringLiteral("/p/x.pte"));
}

TEST(Launcher, ExecLineQuotesAndParsesBack) {
    const QStringList paths = {
        QStringLiteral("/home/u/Profiles/math.pte"),
        QStringLiteral("/home/u/Мои профили/физика 9.pte"),
        QStringLiteral("/odd/$HOME `x` \"q\" back\\slash 100%.pte"),
    };
    for (const QString& path : paths) {
        const QString exec = desktopExecLine(QStringLiteral("/opt/kvizor/kvizor"), {path});
        const auto words = parseDesktopExec(exec);
        ASSERT_TRUE(words.has_value()) << exec.toStdString();
        EXPECT_EQ(*words, (QStringList{QStringLiteral("/opt/kvizor/kvizor"), path}));
    }
    EXPECT_FALSE(parseDesktopExec(QStringLiteral("\"open")).has_value());
    EXPECT_FALSE(parseDesktopExec(QStringLiteral("kvizor %f")).has_value());
}

TEST(Launcher, FilesAreValidAndReplaceTheOldOne) {
    const QString validator =
        QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (validator.isEmpty())
        GTEST_SKIP() << "desktop-file-validate is not installed";
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("Мои профили"));
    QDir().mkpath(folder);
    const QString profile = folder + QStringLiteral("/физика 9.pte");
    writeBytes(profile, "[TestInfo]\r\n");
    const QString menu = dir.filePath(QStringLiteral("applications/FYV/Kvizor"));
    writeBytes(dir.filePath(QStringLiteral("stale")), "");
    QDir().mkpath(menu);
    writeBytes(menu + QStringLiteral("/физика 9.desktop"), "old");

    const QString programFolder = dir.filePath(QStringLiteral("Квизор"));
    const LauncherEntry entry =
        profileLauncher(profile, QStringLiteral("/opt/kvizor/kvizor"), programFolder,
                        QStringLiteral("/opt/kvizor/kvizor.svg"));
    QString error;
    const QString written =
        writeLauncher(menu, profileBaseName(profile) + QStringLiteral(".desktop"), entry, &error);
    ASSERT_FALSE(written.isEmpty()) << error.toStdString();

    QProcess p;
    p.start(validator, {written});
    ASSERT_TRUE(p.waitForFinished());
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardOutput().toStdString()
                               << p.readAllStandardError().toStdString();

    const QString text = QString::fromUtf8(QByteArray::fromStdString(fileBytes(written)));
    QString exec, path;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("Exec=")))
            exec = line.mid(5);
        if (line.startsWith(QLatin1String("Path=")))
            path = line.mid(5);
    }
    // The program folder goes with the profile: the run works there wherever the profile lies.
    EXPECT_EQ(parseDesktopExec(exec),
              (QStringList{QStringLiteral("/opt/kvizor/kvizor"), profile, programFolder}));
    EXPECT_EQ(path, programFolder);
    EXPECT_TRUE(QFileInfo(written).isExecutable());
}

TEST(Launcher, UnwritableFolderIsReported) {
    QString error;
    EXPECT_TRUE(writeLauncher(QStringLiteral("/proc/none"), QStringLiteral("x.desktop"),
                              LauncherEntry{}, &error)
                    .isEmpty());
    EXPECT_TRUE(error.startsWith(QStringLiteral("Unable to write to ")));
}

} // namespace
} // namespace kvz
