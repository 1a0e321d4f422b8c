#include "l10n/Language.h"
#include "l10n/Cp1251.h"
#include "shell/IniFile.h"
#include "shell/RunState.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace kvz;

namespace {

std::string cp(const char* utf8) {
    return cp1251::fromUnicode(QString::fromUtf8(utf8));
}

std::string messagesFile(int col, int count, const std::string& prefix) {
    std::string s = "[Kvizor_msg]\r\ncol=" + std::to_string(col) + "\r\n";
    for (int n = 0; n < count; ++n) {
        char key[16];
        std::snprintf(key, sizeof key, "msg[%03d]", n);
        s += std::string(key) + "=" + prefix + std::to_string(n) + "\r\n";
    }
    return s;
}

void writeFile(const QString& path, const std::string& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes.data(), qint64(bytes.size()));
}

} // namespace

TEST(LoadLanguage, ValuesAreUnquotedAndBarsBecomeLineBreaks) {
    struct Case {
        const char* stored;
        std::string expected;
    };
    const Case cases[] = {
        {"plain text", "plain text"},
        {"\"quoted text\"", "quoted text"},
        {"\" spaces kept \"", " spaces kept "},
        {"one|two", "one\r\ntwo"},
        {"|", "\r\n"},
        {"\"a|b|\"", "a\r\nb\r\n"},
    };
    for (const Case& c : cases) {
        MessageTable table;
        loadLanguageText(table, std::string("[Kvizor_msg]\ncol=0\nmsg[000]=") + c.stored + "\n");
        EXPECT_EQ(table.msg(0), c.expected) << c.stored;
    }
}

TEST(LoadLanguage, ColLimitsWhatIsReadAndLeavesHigherSlots) {
    MessageTable table;
    loadLanguageText(table, messagesFile(70, 71, "first"));
    EXPECT_EQ(table.msg(70), "first70");

    // A second language with fewer messages leaves slots above its col as they were.
    loadLanguageText(table, messagesFile(10, 11, "second"));
    EXPECT_EQ(table.msg(0), "second0");
    EXPECT_EQ(table.msg(10), "second10");
    EXPECT_EQ(table.msg(11), "first11");
    EXPECT_EQ(table.msg(70), "first70");

    // col=2 with more keys present: only 0..2 are read.
    loadLanguageText(table, messagesFile(2, 6, "third"));
    EXPECT_EQ(table.msg(2), "third2");
    EXPECT_EQ(table.msg(3), "second3");

    // A slot up to col whose key is missing becomes empty.
    loadLanguageText(table, "[Kvizor_msg]\ncol=1\nmsg[000]=x\n");
    EXPECT_EQ(table.msg(1), "");

    // Key names in any letter case, the first occurrence counting; other spellings of a
    // number are other keys.
    loadLanguageText(table, "[Kvizor_msg]\ncol=3\nMSG[001]=one\nmsg[001]=later\nmsg[2]=no\n"
                            "msg[0003]=no\nmsg[003] = three\n");
    EXPECT_EQ(table.msg(1), "one");
    EXPECT_EQ(table.msg(2), "");
    EXPECT_EQ(table.msg(3), "three");
}

TEST(LoadLanguage, NegativeOrMissingColAndHugeCol) {
    MessageTable table;
    loadLanguageText(table, messagesFile(5, 6, "base"));

    loadLanguageText(table, "[Kvizor_msg]\ncol=-1\nmsg[000]=never\n");
    EXPECT_EQ(table.msg(0), "base0");

    // No [Kvizor_msg]: col is 0, so only slot 0 is touched (and emptied).
    loadLanguageText(table, "[Info]\nName=x\n");
    EXPECT_EQ(table.msg(0), "");
    EXPECT_EQ(table.msg(1), "base1");

    // col far beyond the table: every slot up to 999 is read, nothing beyond is written.
    loadLanguageText(table, "[Kvizor_msg]\ncol=2147483647\nmsg[999]=last\nmsg[1000]=beyond\n");
    EXPECT_EQ(table.msg(999), "last");
    EXPECT_EQ(table.msg(1000), "");
    EXPECT_EQ(table.msg(-1), "");
}

TEST(LoadLanguage, HintsAndMissingFile) {
    MessageTable table;
    const LanguageHints hints = loadLanguageText(
        table, "[Info]\nWeb Page=http://example.org/\nSupport Mail=\"a@b.c\"\n[Kvizor_msg]\ncol=0\n"
               "msg[000]=Hello\n");
    EXPECT_EQ(hints.webPage, "http://example.org/");
    EXPECT_EQ(hints.supportMail, "a@b.c");

    // A file deleted while the program runs reads as empty.
    const LanguageHints none = loadLanguage(table, QStringLiteral("/nonexistent/x.lng"));
    EXPECT_EQ(table.msg(0), "");
    EXPECT_EQ(none.webPage, "");
    EXPECT_EQ(none.supportMail, "");
}

TEST(LanguageFilePath, BuiltinWhenFolderMissing) {
    RunState rs;
    rs.programFolder = QStringLiteral("/prog");
    rs.tempFolder = QStringLiteral("/tmp/x/");
    EXPECT_EQ(languageFilePath(rs, "english"), QStringLiteral("/prog/Language/english.lng"));
    rs.languageFolderMissing = true;
    EXPECT_EQ(languageFilePath(rs, "english"), QStringLiteral("/tmp/x/fyv_russian.lng"));
}

TEST(BuiltinLanguage, InfoAndEveryMessage) {
    const QByteArray bytes = builtinLanguageFile();
    ASSERT_FALSE(bytes.isEmpty());
    const IniDocument doc =
        IniDocument::parse(std::string_view(bytes.constData(), std::size_t(bytes.size())));
    EXPECT_EQ(doc.readString("Info", "Name", ""), cp("Русский"));
    EXPECT_EQ(doc.readString("Info", "Date", ""), "01.02.2002");
    EXPECT_EQ(doc.readString("Info", "Version", ""), "1.60b7");
    EXPECT_EQ(doc.readString("Info", "Translation based on", ""), cp("Русский"));
    EXPECT_EQ(doc.readString("Info", "Info", ""),
              cp("Является самым первым языковым файлом для ФЫВ!"));
    for (const char* key : {"Translated by", "Email", "Support Mail", "Web Page", "Thanks",
                            "Install", "Information", "Help"})
        EXPECT_TRUE(doc.value("Info", key).has_value()) << key;
    EXPECT_EQ(doc.readInteger("Kvizor_msg", "col", 0), 96);

    MessageTable table;
    loadLanguageText(table, std::string_view(bytes.constData(), std::size_t(bytes.size())));
    for (int n = 0; n <= 75; ++n)
        EXPECT_FALSE(table.msg(n).empty()) << n;
    for (int n = 90; n <= 96; ++n)
        EXPECT_FALSE(table.msg(n).empty()) << n;
    EXPECT_EQ(table.msg(0), cp("Квизор"));
    EXPECT_EQ(table.msg(4), cp("\\Новая папка "));
    EXPECT_EQ(table.msg(9), cp("Вы действительно хотите выйти?"));
    EXPECT_EQ(table.msg(16), cp(" , Предмет: "));
    EXPECT_EQ(table.msg(20), cp(",\r\nа группа:"));
    EXPECT_EQ(table.msg(26), cp(" из "));
    EXPECT_EQ(table.msg(40), cp("Все"));
    EXPECT_EQ(table.msg(44), cp(" > "));
    EXPECT_EQ(table.msg(61), cp("Выбирать методом случайных чисел\r\nПредлагать пользователю "
                                "выбрать"));
    EXPECT_EQ(table.msg(65), cp("Копию результата сохранять в:"));
    EXPECT_EQ(table.msg(67), cp("Этот файл нельзя открыть во время тестирования."));
    EXPECT_EQ(table.msg(69), cp("Тест продолжен с того места, где он прервался."));
}

TEST(BuiltinLanguage, FlagIsA16By16TrueColourBmpWithMagentaCorner) {
    const QByteArray bytes = builtinLanguageFile();
    const IniDocument doc =
        IniDocument::parse(std::string_view(bytes.constData(), std::size_t(bytes.size())));
    const std::string hex = doc.readString("Info", "Flag", "");
    EXPECT_EQ(hex.size(), 1644u);
    const QByteArray bmp = decodeHexBytes(hex);
    ASSERT_EQ(bmp.size(), 822);
    EXPECT_EQ(bmp.left(2), QByteArray("BM"));
    QImage image;
    ASSERT_TRUE(image.loadFromData(bmp, "BMP"));
    EXPECT_EQ(image.size(), QSize(16, 16));
    EXPECT_EQ(image.depth() >= 24, true);
    EXPECT_EQ(QColor(image.pixel(0, 0)), QColor(255, 0, 255));
    // The menu picture treats the corner colour as transparent.
    const QImage flag = decodeFlag(hex);
    EXPECT_EQ(qAlpha(flag.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(flag.pixel(8, 8)), 255);
}

TEST(BuiltinLanguage, LabelSection) {
    const QByteArray bytes = builtinLanguageFile();
    // The program's own lines; the test editor's share the file.
    std::vector<LabelLine> lines;
    std::size_t editorLines = 0;
    for (const LabelLine& l :
         parseLabelLines(std::string_view(bytes.constData(), std::size_t(bytes.size())))) {
        if (labelOfOtherProgram(l.window))
            ++editorLines;
        else
            lines.push_back(l);
    }
    EXPECT_GT(editorLines, 0u);
    auto find = [&](const char* w, const char* c, const char* p) -> const LabelLine* {
        for (const LabelLine& l : lines)
            if (l.window == w && l.component == c && l.property == p)
                return &l;
        return nullptr;
    };
    ASSERT_EQ(lines.size(), 123u);
    for (const LabelLine& l : lines)
        EXPECT_TRUE(l.complete) << l.window << "." << l.component;
    ASSERT_TRUE(find("Basic", "Button4", "Caption"));
    EXPECT_EQ(find("Basic", "Button4", "Caption")->value, cp("Сетевое"));
    ASSERT_TRUE(find("Prepere", "Caption", ""));
    EXPECT_EQ(find("Prepere", "Caption", "")->value, cp("Выбор теста"));
    ASSERT_TRUE(find("Inform", "Panel3", "Caption"));
    EXPECT_EQ(find("Inform", "Panel3", "Caption")->value,
              cp("Для начала тестирования нажмите кнопку \"Далее\"."));
    ASSERT_TRUE(find("Client", "Label6", "Caption"));
    EXPECT_EQ(find("Client", "Label6", "Caption")->value, cp("Копию результата  сохранять в:"));
    ASSERT_TRUE(find("Profil", "OpenDialog1", "Filter"));
    EXPECT_EQ(find("Profil", "OpenDialog1", "Filter")->value,
              cp("Профиль для Квизора ФЫВ|*.pte|Все файлы|*"));
    ASSERT_TRUE(find("Client", "Host1", "Hint"));
    // The finish prompt takes its texts from the language file too.
    ASSERT_TRUE(find("Message1", "Button2", "Caption"));
    EXPECT_EQ(find("Message1", "Button2", "Caption")->value, cp("Завершить"));
}

TEST(LabelLines, OnlyLatinLinesAfterTheExactHeader) {
    const std::string text = "[Info]\nBasic.Early.Caption=no\n[kvizor_lab]\nBasic.Case.Caption=no\n"
                             "[Kvizor_lab]\r\n; comment\n\nBasic.A.Caption= spaced \"q\" \r\n"
                             "[Other]\nBasic.B.Hint=x=y\nBroken line\nW.C\n1.2.3=4\n";
    const auto lines = parseLabelLines(text);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].component, "A");
    EXPECT_EQ(lines[0].value, " spaced \"q\" ");
    EXPECT_TRUE(lines[0].complete);
    EXPECT_EQ(lines[1].property, "Hint");
    EXPECT_EQ(lines[1].value, "x=y");
    EXPECT_FALSE(lines[2].complete);
    EXPECT_EQ(lines[3].window, "W");
    EXPECT_FALSE(lines[3].complete);
}

// A file of millions of bad label lines gives one message of a few short lines.
TEST(LabelLines, FailureReportStaysSmall) {
    LabelFailureReport report;
    EXPECT_TRUE(report.empty());
    report.add(QString(5000, QLatin1Char('w')) + QStringLiteral(" Button1"));
    for (int i = 0; i < 100000; ++i)
        report.add(QStringLiteral("Basic Missing%1").arg(i));
    EXPECT_EQ(report.count(), 100001);
    const QStringList lines = report.text().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), LabelFailureReport::kShownLines + 1);
    for (const QString& line : lines)
        EXPECT_LE(line.size(), LabelFailureReport::kLineChars);
    EXPECT_EQ(lines[1], QStringLiteral("Basic Missing0"));
    EXPECT_EQ(lines.back(),
              QStringLiteral("... (+%1)").arg(100001 - LabelFailureReport::kShownLines));

    LabelFailureReport few;
    few.add(QStringLiteral("Basic X"));
    EXPECT_EQ(few.text(), QStringLiteral("Basic X"));
}

TEST(HexBytes, StopsAtTheFirstBadPair) {
    EXPECT_EQ(decodeHexBytes("00ffAB"), QByteArray("\x00\xff\xab", 3));
    EXPECT_EQ(decodeHexBytes("0102zz03"), QByteArray("\x01\x02", 2));
    EXPECT_EQ(decodeHexBytes("010"), QByteArray("\x01", 1));
    EXPECT_EQ(decodeHexBytes("g1"), QByteArray());
    EXPECT_TRUE(decodeFlag("424D00").isNull());

    // Only small pictures are flags: a well-formed 300x1 bitmap is refused, so a header
    // claiming a huge one never gets decoded.
    QByteArray bmp(54 + 900, '\0');
    bmp[0] = 'B';
    bmp[1] = 'M';
    bmp[10] = 54;
    bmp[14] = 40;
    bmp[18] = char(0x2C); // width 300
    bmp[19] = char(0x01);
    bmp[22] = 1; // height 1
    bmp[26] = 1;
    bmp[28] = 24;
    QImage plain;
    ASSERT_TRUE(plain.loadFromData(bmp, "BMP"));
    EXPECT_TRUE(decodeFlag(bmp.toHex().toStdString()).isNull());
}

TEST(ListLanguages, NameAndVersionRules) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString d = dir.path() + QLatin1Char('/');
    writeFile(d + QStringLiteral("fyv_russian.lng"), "[Info]\nName=R\nVersion=1.60b7\n");
    writeFile(d + QStringLiteral("en-GB.lng"), "[Info]\nName=E\nVersion=1.60 final\n");
    writeFile(d + QStringLiteral("old.lng"), "[Info]\nName=O\nVersion=1.50\n");
    writeFile(d + QStringLiteral("noversion.lng"), "[Info]\nName=N\n");
    writeFile(d + QString::fromUtf8("рус.lng"), "[Info]\nName=C\nVersion=1.60\n");
    writeFile(d + QStringLiteral("has space.lng"), "[Info]\nName=S\nVersion=1.60\n");
    writeFile(d + QStringLiteral("other.txt"), "[Info]\nName=T\nVersion=1.60\n");
    QDir(dir.path()).mkdir(QStringLiteral("folder.lng"));

    const auto entries = listLanguages(dir.path());
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].fileName, QStringLiteral("en-GB.lng"));
    EXPECT_EQ(entries[0].translator, "-");
    EXPECT_EQ(entries[1].fileName, QStringLiteral("fyv_russian.lng"));
    EXPECT_EQ(entries[1].displayName, "R");
}

TEST(FormatMessage, FillsPlacesInOrderAndNothingElse) {
    struct Case {
        const char* format;
        std::vector<std::string> args;
        const char* expected;
    };
    const Case cases[] = {
        {"Password for %s?", {"math"}, "Password for math?"},
        {"%s and %s", {"a", "b"}, "a and b"},
        {"%s and %s", {"a"}, "a and %s"},
        {"100%% %d %n %x %", {"unused"}, "100% %d %n %x %"},
        {"%s", {"%s%n"}, "%s%n"},
        {"", {"a"}, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(formatMessage(c.format, c.args), c.expected) << c.format;
}
