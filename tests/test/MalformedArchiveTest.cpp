// Hostile and broken archives: each must fail with an error, never crash, hang or allocate
// without bound.

#include "ArchiveFixtures.h"
#include "test/ArchivePassword.h"
#include "test/TestArchive.h"

#include <gtest/gtest.h>

#include <functional>

namespace kvz {
namespace {

using Entries = std::vector<ZipEntry>;

QByteArray& entryRef(Entries& entries, const std::string& name) {
    for (ZipEntry& e : entries)
        if (e.name == name)
            return e.data;
    ADD_FAILURE() << "no entry " << name;
    static QByteArray none;
    return none;
}

void remove(Entries& entries, const std::string& name) {
    std::erase_if(entries, [&](const ZipEntry& e) { return e.name == name; });
}

void setLe32(QByteArray& b, qsizetype at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = char(v >> (8 * i) & 0xFF);
}

// Offset slot i of the WORD.doc table.
void setOffset(Entries& e, int i, std::int32_t v) {
    QByteArray& w = entryRef(e, "WORD.doc");
    setLe32(w, w.size() - 1025 + 4 * i, std::uint32_t(v));
}

std::int32_t offset(Entries& e, int i) {
    QByteArray& w = entryRef(e, "WORD.doc");
    const qsizetype at = w.size() - 1025 + 4 * i;
    return std::int32_t(uchar(w[at]) | uchar(w[at + 1]) << 8 | uchar(w[at + 2]) << 16 |
                        uchar(w[at + 3]) << 24);
}

QByteArray zipOf(const Entries& entries) {
    auto bytes = writeEncryptedZip(entries, archivePassword(""));
    EXPECT_TRUE(bytes);
    return bytes.value_or(QByteArray());
}

// Sets the uncompressed size the central directory declares for an entry.
void declareSize(QByteArray& zip, const QByteArray& name, std::uint32_t size) {
    qsizetype at = 0;
    while ((at = zip.indexOf("PK\x01\x02", at)) >= 0) {
        const auto nameLen = qsizetype(uchar(zip[at + 28]) | uchar(zip[at + 29]) << 8);
        if (zip.mid(at + 46, nameLen) == name) {
            setLe32(zip, at + 24, size);
            return;
        }
        at += 4;
    }
    ADD_FAILURE() << "no central entry " << name.constData();
}

struct Malformed {
    const char* name;
    std::function<void(Entries&)> mutate;
};

TEST(MalformedArchiveTest, EntryDefectsFailTheLoad) {
    const Malformed cases[] = {
        {"WORD.doc missing", [](Entries& e) { remove(e, "WORD.doc"); }},
        {"spisok.dat missing", [](Entries& e) { remove(e, "spisok.dat"); }},
        {"settings.dat missing", [](Entries& e) { remove(e, "settings.dat"); }},
        {"WORD.doc shorter than its trailer",
         [](Entries& e) { entryRef(e, "WORD.doc").truncate(1024); }},
        {"WORD.doc empty", [](Entries& e) { entryRef(e, "WORD.doc").clear(); }},
        {"no questions", [](Entries& e) { entryRef(e, "WORD.doc").back() = 0; }},
        {"N above 254", [](Entries& e) { entryRef(e, "WORD.doc").back() = char(255); }},
        {"N above what spisok.dat holds",
         [](Entries& e) {
             entryRef(e, "WORD.doc").back() = 4;
             setOffset(e, 3, offset(e, 254)); // a valid, empty fourth page
         }},
        {"offset negative", [](Entries& e) { setOffset(e, 0, -5); }},
        {"offset past the pages", [](Entries& e) { setOffset(e, 1, 1 << 30); }},
        {"offsets running backwards",
         [](Entries& e) {
             setOffset(e, 1, 40);
             setOffset(e, 2, 10);
         }},
        {"last page ends before it starts", [](Entries& e) { setOffset(e, 254, 0); }},
        {"introduction not at a piece", [](Entries& e) { setOffset(e, 254, offset(e, 255) - 1); }},
        {"reference outside", [](Entries& e) { setOffset(e, 255, -1); }},
        {"introduction without signature",
         [](Entries& e) {
             QByteArray& w = entryRef(e, "WORD.doc");
             w[w.indexOf("introduction") - 12] = 'X';
         }},
        {"reference data size beyond WORD.doc",
         [](Entries& e) {
             QByteArray& w = entryRef(e, "WORD.doc");
             setLe32(w, w.indexOf("reference") - 4, 0xFFFFFFF0u);
         }},
        {"spisok.dat one byte short", [](Entries& e) { entryRef(e, "spisok.dat").chop(1); }},
        {"empty kind text",
         [](Entries& e) { entryRef(e, "spisok.dat").replace(772 + 255, 1, "\0", 1); }},
        {"ordering question with eleven slots",
         [](Entries& e) { entryRef(e, "spisok.dat")[3 * 772 - 1] = 11; }},
        {"settings.dat short", [](Entries& e) { entryRef(e, "settings.dat").chop(1); }},
        {"time text not a time",
         [](Entries& e) { entryRef(e, "settings.dat").replace(6, 8, "ab:cd:ef"); }},
        {"hour out of range",
         [](Entries& e) { entryRef(e, "settings.dat").replace(14, 8, "24:00:00"); }},
        {"settings139.dat short", [](Entries& e) { entryRef(e, "settings139.dat").truncate(6); }},
        {"mark scale longer than its entry",
         [](Entries& e) { entryRef(e, "settings139.dat")[6] = char(200); }},
        {"mark text without its end",
         [](Entries& e) {
             QByteArray& s = entryRef(e, "settings139.dat");
             s.truncate(s.lastIndexOf('\r'));
         }},
        {"uchebniki.dat short", [](Entries& e) { entryRef(e, "uchebniki.dat").chop(1); }},
        {"ofset.dat short", [](Entries& e) { entryRef(e, "ofset.dat").chop(1); }},
        {"shown slot off the grid", [](Entries& e) { entryRef(e, "ofset.dat")[60] = 31; }},
        {"shown slot's row off the grid", [](Entries& e) { entryRef(e, "ofset.dat")[67] = 31; }},
        {"shown slot's marker above ten", [](Entries& e) { entryRef(e, "ofset.dat")[62] = 11; }},
        {"slojnost.dat without its switch",
         [](Entries& e) { entryRef(e, "slojnost.dat").chop(1); }},
    };
    for (const Malformed& c : cases) {
        SCOPED_TRACE(c.name);
        Entries entries = encodeTestEntries(testing::threeKinds());
        c.mutate(entries);
        ArchiveReadResult r = readTestArchive(zipOf(entries), "");
        EXPECT_FALSE(r.archive);
        EXPECT_FALSE(r.error.isEmpty());
        EXPECT_FALSE(r.cancelled);
    }
}

// Values that index nothing the program shows are no reason to refuse a test: counts of kinds
// that show no choices, choices past the five a choice question can show, slots that are never
// shown, blanks around a time.
TEST(MalformedArchiveTest, UnusedOddValuesStillLoad) {
    const Malformed cases[] = {
        {"typed-text question with eleven choices",
         [](Entries& e) { entryRef(e, "spisok.dat")[2 * 772 - 1] = 11; }},
        {"choice question with six choices",
         [](Entries& e) { entryRef(e, "spisok.dat")[771] = 6; }},
        {"choice question with 255 choices",
         [](Entries& e) { entryRef(e, "spisok.dat")[771] = char(255); }},
        {"choice question's slots off the grid",
         [](Entries& e) {
             QByteArray& s = entryRef(e, "ofset.dat");
             s[0] = char(200);
             s[1] = 31;
             s[2] = char(99);
         }},
        {"ordering question's unused slots off the grid",
         [](Entries& e) {
             QByteArray& s = entryRef(e, "ofset.dat");
             s[60 + 9] = 31;         // slot 4 of a three-slot question
             s[60 + 29] = char(255); // slot 10
         }},
        {"time texts with blanks around them",
         [](Entries& e) {
             entryRef(e, "settings.dat").replace(6, 8, " 0:04:00");
             entryRef(e, "settings.dat").replace(14, 8, "0:00:30 ");
         }},
    };
    for (const Malformed& c : cases) {
        SCOPED_TRACE(c.name);
        Entries entries = encodeTestEntries(testing::threeKinds());
        c.mutate(entries);
        ArchiveReadResult r = readTestArchive(zipOf(entries), "");
        ASSERT_TRUE(r.archive) << r.error.toStdString();
        EXPECT_EQ(r.archive->questions.size(), 3u);
        EXPECT_EQ(timeOfDayMs(*r.archive->settings.testTime), 240000);
        EXPECT_EQ(timeOfDayMs(*r.archive->settings.questionTime), 30000);
    }

    // The counts are kept as the archive has them (the result file reports them).
    Entries entries = encodeTestEntries(testing::threeKinds());
    entryRef(entries, "spisok.dat")[2 * 772 - 1] = 11;
    ArchiveReadResult r = readTestArchive(zipOf(entries), "");
    ASSERT_TRUE(r.archive);
    EXPECT_EQ(r.archive->questions[1].choiceCount, 11);

    // A marker number left past an ordering question's count is cleared: the pupil's answer
    // never holds one there, so it would make the question impossible to answer right.
    entries = encodeTestEntries(testing::threeKinds());
    entryRef(entries, "ofset.dat")[60 + 29] = 7;
    r = readTestArchive(zipOf(entries), "");
    ASSERT_TRUE(r.archive);
    EXPECT_EQ(r.archive->questions[2].rightSlots[9], (TSlotRec{0, 0, 0}));
    EXPECT_EQ(r.archive->questions[2].rightSlots[2], (TSlotRec{15, 30, 1}));

    // A time field of blanks only is an empty time: the previous value stays.
    entries = encodeTestEntries(testing::threeKinds());
    entryRef(entries, "settings.dat").replace(6, 8, "        ");
    r = readTestArchive(zipOf(entries), "");
    ASSERT_TRUE(r.archive) << r.error.toStdString();
    EXPECT_FALSE(r.archive->settings.testTime);
}

TEST(MalformedArchiveTest, BrokenContainersFail) {
    const QByteArray good = zipOf(encodeTestEntries(testing::threeKinds()));
    QByteArray hugeWord = good;
    declareSize(hugeWord, "WORD.doc", 0xF0000000u);
    QByteArray hugeOptional = good;
    declareSize(hugeOptional, "ofset.dat", 0xF0000000u);
    QByteArray strong = good; // strong encryption marked in the directory
    const qsizetype central = strong.indexOf(QByteArray("PK\x01\x02", 4));
    strong[central + 8] = char(strong[central + 8] | 0x40);
    QByteArray flipped = good;
    flipped[flipped.indexOf("WORD.doc") + 40] ^= 0x55; // inside the encrypted data
    const std::pair<const char*, QByteArray> cases[] = {
        {"empty file", QByteArray()},
        {"not a ZIP", QByteArray(5000, 'x')},
        {"cut in half", good.left(good.size() / 2)},
        {"WORD.doc declares 4 GB", hugeWord},
        {"an optional entry declares 4 GB", hugeOptional},
        {"a data byte flipped", flipped},
        {"strong encryption", strong},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        ArchiveReadResult r = readTestArchive(bytes, "");
        EXPECT_FALSE(r.archive);
        EXPECT_FALSE(r.error.isEmpty());
    }
}

// A wrong password and damage look alike to the reader at the byte level; neither may be taken
// for a loaded test, and damage must not make the prompt loop forever.
TEST(MalformedArchiveTest, DamagedDataEndsAfterTheLastPrompt) {
    QByteArray bytes = zipOf(encodeTestEntries(testing::threeKinds()));
    bytes[bytes.indexOf("WORD.doc") + 40] ^= 0x55;
    int prompts = 0;
    ArchiveReadHooks hooks;
    hooks.askPassword = [&]() -> std::optional<std::string> {
        ++prompts;
        return std::string();
    };
    ArchiveReadResult r = readTestArchive(bytes, "", hooks);
    EXPECT_FALSE(r.archive);
    EXPECT_LE(prompts, kMaxPasswordPrompts);
}

TEST(MalformedArchiveTest, DeflateBombStopsAtTheCap) {
    // An entry whose directory declares 22 bytes but whose data inflates past the cap: the
    // reader stops at the cap rather than trusting either figure.
    Entries entries = encodeTestEntries(testing::threeKinds());
    QByteArray& settings = entryRef(entries, "settings.dat");
    settings.append(QByteArray(qsizetype(kMaxSmallEntrySize) + 1, '\0'));
    QByteArray bytes = zipOf(entries);
    declareSize(bytes, "settings.dat", 22);
    ArchiveReadResult r = readTestArchive(bytes, "");
    EXPECT_FALSE(r.archive);
    EXPECT_NE(r.error.indexOf(QStringLiteral("settings.dat")), -1) << r.error.toStdString();
}

} // namespace
} // namespace kvz
