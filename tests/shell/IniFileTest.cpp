#include "shell/IniFile.h"
#include "shell/Settings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace kvz {
namespace {

struct ReadCase {
    const char* name;
    std::string text;
    const char* section;
    const char* key;
    std::string expected; // "<none>" when the key must be missing
};

TEST(IniDocument, ReadsByThePrivateProfileRules) {
    const ReadCase cases[] = {
        {"plain", "[NET]\r\nHost=server\r\n", "NET", "Host", "server"},
        {"case-insensitive names", "[net]\nhOST=server\n", "NET", "Host", "server"},
        {"cyrillic names fold too", "[\xCA\xEB\xE0\xF1\xF1]\n\xC0=1\n", "\xEA\xEB\xE0\xF1\xF1",
         "\xE0", "1"},
        {"spaces around key and value", "[NET]\n  Host   =   server  \n", "NET", "Host", "server"},
        {"double quotes stripped", "[NET]\nHost=\"server\"\n", "NET", "Host", "server"},
        {"single quotes stripped", "[NET]\nHost='a b'\n", "NET", "Host", "a b"},
        {"unmatched quote kept", "[NET]\nHost=\"server\n", "NET", "Host", "\"server"},
        {"inner spaces kept in quotes", "[NET]\nHost=\" x \"\n", "NET", "Host", " x "},
        {"first occurrence wins", "[NET]\nHost=a\nHost=b\n", "NET", "Host", "a"},
        {"first section wins", "[NET]\nPort=1\n[NET]\nHost=b\n", "NET", "Host", "<none>"},
        {"comment is no key", "[NET]\n;Host=a\n", "NET", "Host", "<none>"},
        {"key in other section", "[A]\nHost=a\n[NET]\n", "NET", "Host", "<none>"},
        {"key before any section", "Host=a\n[NET]\n", "NET", "Host", "<none>"},
        {"empty value", "[NET]\nResPatch=\n", "NET", "ResPatch", ""},
        {"value with equals", "[X]\nk=a=b\n", "X", "k", "a=b"},
        {"no final line break", "[X]\nk=v", "X", "k", "v"},
        {"long value cut", "[X]\nk=" + std::string(3000, 'z') + "\n", "X", "k",
         std::string(2047, 'z')},
    };
    for (const ReadCase& c : cases) {
        const IniDocument doc = IniDocument::parse(c.text);
        const auto v = doc.value(c.section, c.key);
        EXPECT_EQ(v.value_or("<none>"), c.expected) << c.name;
    }
}

TEST(IniDocument, IntegersAndFlags) {
    const struct {
        const char* value;
        int expected;
    } cases[] = {
        {"128", 128}, {"0x80", 128}, {"$80", 128}, {"$ff", 255},      {"-5", -5},
        {"abc", 210}, {"", 210},     {"12a", 210}, {"0x", 210},       {"99999999999", 210},
        {"2", 2},     {" 7 ", 7},    {"\"9\"", 9}, {"$FFFFFFFF", -1}, {"0X1A", 26},
    };
    for (const auto& c : cases) {
        const IniDocument doc =
            IniDocument::parse(std::string("[Start]\nTransparency=") + c.value + "\n");
        EXPECT_EQ(doc.readInteger("Start", "Transparency", 210), c.expected) << c.value;
    }
    EXPECT_TRUE(IniDocument::parse("[T]\nStudent=2\n").readBool("T", "Student", false));
    EXPECT_FALSE(IniDocument::parse("[T]\nStudent=0\n").readBool("T", "Student", true));
    EXPECT_TRUE(IniDocument::parse("[T]\nStudent=yes\n").readBool("T", "Student", true));
}

TEST(IniDocument, WritesKeepEveryOtherLine) {
    const struct {
        const char* name;
        std::string before;
        const char* section;
        const char* key;
        const char* value;
        std::string after;
    } cases[] = {
        {"in place", "; top\r\n[NET]\r\nhost = old ; x\r\nPort=1\r\n", "NET", "Host", "new",
         "; top\r\n[NET]\r\nHost=new\r\nPort=1\r\n"},
        {"end of section", "[NET]\r\nPort=1\r\n\r\n[Type]\r\nLanguage=x\r\n", "NET", "Host", "h",
         "[NET]\r\nPort=1\r\nHost=h\r\n\r\n[Type]\r\nLanguage=x\r\n"},
        {"new section", "[NET]\nPort=1", "Test", "Disorder", "1",
         "[NET]\nPort=1\n[Test]\nDisorder=1\n"},
        {"empty file", "", "Test", "Disorder", "0", "[Test]\r\nDisorder=0\r\n"},
        {"value written as is", "[A]\n", "A", "k", "\"q\"", "[A]\nk=\"q\"\n"},
        {"only first duplicate replaced", "[A]\nk=1\nk=2\n", "A", "K", "3", "[A]\nK=3\nk=2\n"},
    };
    for (const auto& c : cases) {
        IniDocument doc = IniDocument::parse(c.before);
        doc.setValue(c.section, c.key, c.value);
        EXPECT_EQ(doc.serialize(), c.after) << c.name;
    }
}

TEST(IniFile, MissingFileReadsDefaultsAndFirstWriteCreatesIt) {
    QTemporaryDir dir;
    IniFile ini(dir.filePath(QStringLiteral("Settings.ini")));
    EXPECT_EQ(ini.readString("NET", "Host", "192.168.0.1"), "192.168.0.1");
    ASSERT_TRUE(ini.writeString("NET", "Host", "server"));
    QFile f(ini.path());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("[NET]\r\nHost=server\r\n"));
    EXPECT_EQ(ini.readString("net", "HOST", ""), "server");
}

TEST(IniFile, RefusedWriteReportsThePath) {
    QTemporaryDir dir;
    // A folder where the file should be: no user, not even root, can write it.
    const QString path = dir.filePath(QStringLiteral("Settings.ini"));
    ASSERT_TRUE(QDir().mkdir(path));
    IniFile ini(path);
    QString error;
    EXPECT_FALSE(ini.writeString("Type", "Language", "x", &error));
    EXPECT_EQ(error, QStringLiteral("Unable to write to ") + path);
}

TEST(IniDocument, KeyNamesOfALongSectionInOrderOnce) {
    std::string text = "[Klass]\n";
    for (int i = 0; i < 40000; ++i)
        text += "k" + std::to_string(i) + "=\n";
    text += "K7=again\nk39999\n[Predmet]\nx=1\n";
    const std::vector<std::string> keys = IniDocument::parse(text).keys("klass");
    ASSERT_EQ(keys.size(), 40000u);
    EXPECT_EQ(keys.front(), "k0");
    EXPECT_EQ(keys[7], "k7");
    EXPECT_EQ(keys.back(), "k39999");
}

// A file larger than the reader takes is read as far as it goes, but never written back: the
// write would drop the part that was not read.
TEST(IniFile, AFileNotReadWholeIsNeverWrittenBack) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Settings.ini"));
    QByteArray big("[NET]\r\nHost=server\r\n");
    big.append(QByteArray(17 * 1024 * 1024, '\n'));
    big.append("[Test]\r\nDisorder=1\r\n");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(big), big.size());
    }
    IniFile ini(path);
    EXPECT_EQ(ini.readString("NET", "Host", ""), "server");
    QString error;
    EXPECT_FALSE(ini.writeString("NET", "Host", "other", &error));
    EXPECT_EQ(error, QStringLiteral("Unable to write to ") + path);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), big);
}

// Reads follow the file: a change made by someone else is seen at the next read, also when the
// new text has the same length and comes within the same second.
TEST(IniFile, EveryReadSeesTheFileAsItIsNow) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Settings.ini"));
    auto put = [&](const char* text) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    };
    IniFile ini(path);
    put("[NET]\nHost=aaaa\n");
    EXPECT_EQ(ini.readString("NET", "Host", ""), "aaaa");
    put("[NET]\nHost=bbbb\n");
    EXPECT_EQ(ini.readString("NET", "Host", ""), "bbbb");
    ASSERT_TRUE(ini.writeString("NET", "Host", "cc"));
    EXPECT_EQ(IniFile(path).readString("NET", "Host", ""), "cc");
    ASSERT_TRUE(QFile::remove(path));
    EXPECT_EQ(ini.readString("NET", "Host", "gone"), "gone");
}

TEST(Settings, DefaultsOfEveryKey) {
    QTemporaryDir dir;
    Settings s(dir.path());
    EXPECT_TRUE(s.startText());
    EXPECT_EQ(s.startTransparency(), 210);
    EXPECT_EQ(s.language(), "fyv_russian");
    EXPECT_TRUE(s.student());
    EXPECT_EQ(s.resPatch(), dir.path() + QStringLiteral("/Results"));
    EXPECT_EQ(s.netHost(), "192.168.0.1");
    EXPECT_EQ(s.netPort(), "32743");
    EXPECT_FALSE(s.testDisorder());
}

TEST(Settings, EmptyResPatchIsTheResultsFolderAndBackslashesAreRead) {
    QTemporaryDir dir;
    Settings s(dir.path());
    ASSERT_TRUE(s.file().writeString("NET", "ResPatch", ""));
    EXPECT_EQ(s.resPatch(), dir.path() + QStringLiteral("/Results"));
    ASSERT_TRUE(s.file().writeString("NET", "ResPatch", "/opt/k\\Results\\9\xC0"));
    EXPECT_EQ(s.resPatch(), QStringLiteral("/opt/k/Results/9А"));
}

} // namespace
} // namespace kvz
