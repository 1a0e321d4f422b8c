#include "choice/Catalogue.h"
#include "l10n/Cp1251.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace kvz;

namespace {

const std::string kAll = cp1251::fromUnicode(QStringLiteral("Все"));

std::string trailer(const std::string& comment, const std::string& klass,
                    const std::string& subject, const std::string& topics) {
    return std::string(1, '\0') + comment + '\0' + klass + '\0' + subject + '\0' + topics;
}

QStringList scan(const QString& folder, const std::string& klass, const std::string& subject) {
    QStringList names;
    for (const QString& file : ScanTests(folder, klass, subject, kAll))
        names.append(StripExtension(file));
    return names;
}

std::string cp(const char16_t* s) {
    return cp1251::fromUnicode(QString::fromUtf16(s));
}

class CatalogueTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("Base")));
    }
    QString base(const QString& name) const { return dir.path() + QStringLiteral("/Base/") + name; }
    void write(const QString& name, const std::string& bytes) {
        QFile f(base(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(bytes.data(), qint64(bytes.size())), qint64(bytes.size()));
    }
    QTemporaryDir dir;
};

} // namespace

TEST_F(CatalogueTest, ReadsTheFourFieldsAfterTheArchive) {
    // The archive before the trailer holds zero bytes of its own; they must not count.
    const std::string archive = std::string("PK\x03\x04\0\0\0", 7) + std::string(5000, 'x');
    write(QStringLiteral("Физика 9.tst"),
          archive + trailer(cp(u"Механика"), "9", cp(u"Физика"), cp(u"Сила\r\nМасса\r\n")));
    const auto info = ReadCatalogueInfo(dir.path(), QStringLiteral("Физика 9.tst"));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->comment, cp(u"Механика"));
    EXPECT_EQ(info->klass, "9");
    EXPECT_EQ(info->subject, cp(u"Физика"));
    EXPECT_EQ(TopicLines(info->topics), (std::vector<std::string>{cp(u"Сила"), cp(u"Масса")}));
}

TEST_F(CatalogueTest, EmptyFieldsAreKept) {
    write(QStringLiteral("a.tst"), "zip" + trailer("", "9", "", ""));
    const auto info = ReadCatalogueInfo(dir.path(), QStringLiteral("a.tst"));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->comment, "");
    EXPECT_EQ(info->klass, "9");
    EXPECT_EQ(info->subject, "");
    EXPECT_TRUE(TopicLines(info->topics).empty());
}

TEST_F(CatalogueTest, TrailersThatAreNotOk) {
    struct Case {
        const char* name;
        std::string bytes;
    };
    const Case cases[] = {
        {"empty", ""},
        {"no zero at all", "just some text"},
        {"three zeros", std::string("\0a\0b\0c", 6)},
        // A trailer longer than the cap: the fourth zero lies too far back.
        {"too long", std::string(1, '\0') + std::string(kCatalogueTrailerMax, 'c') +
                         std::string("\0k\0s\0t", 6)},
    };
    for (const Case& c : cases) {
        write(QStringLiteral("t.tst"), c.bytes);
        EXPECT_FALSE(ReadCatalogueInfo(dir.path(), QStringLiteral("t.tst"))) << c.name;
    }
    EXPECT_FALSE(ReadCatalogueInfo(dir.path(), QStringLiteral("missing.tst")));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("Base/folder.tst")));
    EXPECT_FALSE(ReadCatalogueInfo(dir.path(), QStringLiteral("folder.tst")));
}

TEST_F(CatalogueTest, TrailerAcrossChunkBoundariesAndAtTheCap) {
    // Fields long enough that the zeros fall in different read chunks; the whole trailer just
    // fits the cap.
    const std::int64_t fixed = 4 + 1 + 1 + 1;
    const std::string comment(std::size_t(kCatalogueTrailerMax - fixed), 'c');
    write(QStringLiteral("big.tst"), "PK" + trailer(comment, "k", "s", "t"));
    const auto info = ReadCatalogueInfo(dir.path(), QStringLiteral("big.tst"));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->comment.size(), comment.size());
    EXPECT_EQ(info->topics, "t");
}

TEST_F(CatalogueTest, HugeSparseFileIsAnsweredFromItsEnd) {
    QFile f(base(QStringLiteral("huge.tst")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    const qint64 size = qint64(6) << 30;
    if (!f.resize(size))
        GTEST_SKIP() << "the file system refuses a sparse 6 GB file";
    const std::string t = trailer("c", "9", "s", "t");
    ASSERT_TRUE(f.seek(size));
    ASSERT_EQ(f.write(t.data(), qint64(t.size())), qint64(t.size()));
    f.close();
    const auto info = ReadCatalogueInfo(dir.path(), QStringLiteral("huge.tst"));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->comment, "c");

    // The same size ending in more non-zero bytes than the cap: not ok, found without reading
    // back through gigabytes of zeros.
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.resize(size));
    const std::string noZeros(std::size_t(kCatalogueTrailerMax) + 10, 'x');
    ASSERT_TRUE(f.seek(size - qint64(noZeros.size())));
    ASSERT_EQ(f.write(noZeros.data(), qint64(noZeros.size())), qint64(noZeros.size()));
    f.close();
    EXPECT_FALSE(ReadCatalogueInfo(dir.path(), QStringLiteral("huge.tst")));
}

TEST_F(CatalogueTest, ScanListsTstInAnyCaseSortedAndSkipsOthers) {
    write(QStringLiteral("b.tst"), "no trailer");
    write(QStringLiteral("A.TST"), "no trailer");
    write(QStringLiteral("c.txt"), trailer("", "9", "s", ""));
    write(QStringLiteral("Ёлка.tst"), "");
    write(QStringLiteral("Ель.tst"), "");
    write(QStringLiteral("Жук.tst"), "");
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("Base/d.tst")));
    EXPECT_EQ(scan(dir.path(), kAll, kAll),
              (QStringList{QStringLiteral("A"), QStringLiteral("b"), QStringLiteral("Ель"),
                           QStringLiteral("Ёлка"), QStringLiteral("Жук")}));
}

TEST_F(CatalogueTest, FilterComparesExactly) {
    const std::string phys = cp(u"Физика");
    write(QStringLiteral("nine.tst"), trailer("", "9", phys, ""));
    write(QStringLiteral("nineblank.tst"), trailer("", "9 ", phys, ""));
    write(QStringLiteral("nineA.tst"), trailer("", cp(u"9А"), phys, ""));
    write(QStringLiteral("chem.tst"), trailer("", "9", cp(u"Химия"), ""));
    write(QStringLiteral("broken.tst"), "no trailer");

    struct Case {
        std::string klass, subject;
        QStringList expected;
    };
    const Case cases[] = {
        {"9", kAll, {QStringLiteral("chem"), QStringLiteral("nine")}},
        {"9", phys, {QStringLiteral("nine")}},
        {kAll,
         phys,
         {QStringLiteral("nine"), QStringLiteral("nineA"), QStringLiteral("nineblank")}},
        {cp(u"9а"), kAll, {}}, // case-sensitive
        {kAll,
         kAll,
         {QStringLiteral("broken"), QStringLiteral("chem"), QStringLiteral("nine"),
          QStringLiteral("nineA"), QStringLiteral("nineblank")}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(scan(dir.path(), c.klass, c.subject), c.expected)
            << c.klass << " / " << c.subject;
}

TEST(CatalogueNames, NoBaseFolderGivesNothing) {
    QTemporaryDir dir;
    EXPECT_TRUE(scan(dir.path(), kAll, kAll).isEmpty());
}

TEST(CatalogueNames, StripExtension) {
    EXPECT_EQ(StripExtension(QStringLiteral("Физика 9.tst")), QStringLiteral("Физика 9"));
    EXPECT_EQ(StripExtension(QStringLiteral("a.b.TST")), QStringLiteral("a.b"));
    EXPECT_EQ(StripExtension(QStringLiteral("plain")), QStringLiteral("plain"));
}
