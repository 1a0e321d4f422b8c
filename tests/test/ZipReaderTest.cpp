// The ZIP reader on archives built to be slow or ambiguous: the one directory that counts is
// found without following the others, and damaged data is told from a wrong password.

#include "ArchiveFixtures.h"
#include "test/ArchivePassword.h"
#include "test/TestArchive.h"

#include <QTemporaryFile>
#include <gtest/gtest.h>

namespace kvz {
namespace {

std::uint32_t le(const QByteArray& b, qsizetype at, int size) {
    std::uint32_t v = 0;
    for (int i = size - 1; i >= 0; --i)
        v = v << 8 | uchar(b[at + i]);
    return v;
}

void putLe(QByteArray& b, std::uint32_t v, int size) {
    for (int i = 0; i < size; ++i)
        b.append(char(v >> (8 * i) & 0xFF));
}

// Counts what the reader asks of the archive, to show the work stays in proportion to it.
class CountingSource final : public ArchiveSource {
public:
    CountingSource(QByteArray bytes, std::uint64_t* counter)
        : inner_(memorySource(std::move(bytes))), counter_(counter) {}
    std::uint64_t size() const override { return inner_->size(); }
    bool read(std::uint64_t offset, char* out, std::size_t n) override {
        *counter_ += n;
        return inner_->read(offset, out, n);
    }

private:
    std::unique_ptr<ArchiveSource> inner_;
    std::uint64_t* counter_;
};

QByteArray goodZip() {
    auto zip = writeEncryptedZip(encodeTestEntries(testing::threeKinds()), archivePassword(""));
    EXPECT_TRUE(zip);
    return zip.value_or(QByteArray());
}

const CatalogueInfo kCatalogue{"comment", "9", "subject", "topic"};

// The good archive with a forged directory of 65,534 entries and, after it, as many
// end-of-directory records pointing at that directory as fit into a megabyte, then the real
// directory and its record, then the catalogue trailer: a reader that follows every record
// walks the forged directory tens of thousands of times.
QByteArray manyDirectories() {
    const QByteArray zip = goodZip();
    const qsizetype record = zip.lastIndexOf(QByteArray("PK\x05\x06", 4));
    const qsizetype dirOffset = le(zip, record + 16, 4);
    const QByteArray data = zip.left(dirOffset);
    const QByteArray directory = zip.mid(dirOffset, record - dirOffset);

    QByteArray forged;
    constexpr int kForged = 65534;
    for (int i = 0; i < kForged; ++i) {
        forged.append("PK\x01\x02", 4);
        forged.append(QByteArray(24, '\0'));
        putLe(forged, 1, 2); // name length
        forged.append(QByteArray(16, '\0'));
        forged.append('x');
    }
    QByteArray records;
    while (records.size() < (1 << 20)) {
        records.append("PK\x05\x06", 4);
        putLe(records, 0, 4);
        putLe(records, kForged, 2);
        putLe(records, kForged, 2);
        putLe(records, std::uint32_t(forged.size()), 4);
        putLe(records, std::uint32_t(data.size()), 4);
        putLe(records, 0, 2);
    }
    QByteArray out = data + forged + records;
    const auto realDirOffset = std::uint32_t(out.size());
    out.append(directory);
    QByteArray end = zip.mid(record, 22);
    for (int i = 0; i < 4; ++i)
        end[16 + i] = char(realDirOffset >> (8 * i) & 0xFF);
    out.append(end);
    return out + encodeCatalogueTrailer(kCatalogue);
}

TEST(ZipReaderTest, ManyDirectoriesAreNotFollowed) {
    const QByteArray bytes = manyDirectories();
    std::uint64_t read = 0;
    ArchiveReadResult r =
        readTestArchive(std::make_unique<CountingSource>(bytes, &read), std::string());
    ASSERT_TRUE(r.archive) << r.error.toStdString();
    EXPECT_EQ(r.archive->questions.size(), 3u);
    // The file once for the directory search and the entries, and a little more.
    EXPECT_LT(read, std::uint64_t(bytes.size()) * 2) << read << " of " << bytes.size();
}

TEST(ZipReaderTest, TheArchiveEndsWhereTheCatalogueBegins) {
    const QByteArray zip = goodZip();
    QByteArray commented = zip; // a record with a comment of its own, then the trailer
    commented[commented.size() - 2] = 5;
    commented.append("hello");
    QByteArray longTrailer = zip + encodeCatalogueTrailer({std::string(70000, 'c'), "9", "s", "t"});
    QByteArray junk = zip + QByteArray("junk without four zero bytes");
    const struct {
        const char* name;
        QByteArray bytes;
        bool loads;
    } cases[] = {
        {"plain ZIP", zip, true},
        {"ZIP and catalogue", zip + encodeCatalogueTrailer(kCatalogue), true},
        {"record comment and catalogue", commented + encodeCatalogueTrailer(kCatalogue), true},
        {"catalogue longer than 64 KiB", longTrailer, true},
        {"trailing bytes that are no catalogue", junk, true},
        {"no record at all", zip.left(zip.lastIndexOf(QByteArray("PK\x05\x06", 4))), false},
        {"record cut off", zip.left(zip.size() - 10), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ArchiveReadResult r = readTestArchive(c.bytes, std::string());
        EXPECT_EQ(bool(r.archive), c.loads) << r.error.toStdString();
    }
    // Our own writer never makes the long one: other readers would not find the archive's end.
    QString error;
    EXPECT_FALSE(
        writeTestArchive(testing::threeKinds(), "", {std::string(70000, 'c'), "", "", ""}, &error));
    EXPECT_NE(error.indexOf(QStringLiteral("catalogue")), -1);
}

QByteArray withDamagedWordDoc(const std::string& typed) {
    auto zip = writeEncryptedZip(encodeTestEntries(testing::threeKinds()), archivePassword(typed));
    EXPECT_TRUE(zip);
    QByteArray bytes = zip.value_or(QByteArray());
    bytes[bytes.indexOf("WORD.doc") + 40] ^= 0x55; // inside the encrypted data
    return bytes;
}

// Damage under the right password is damage: reported at once, no password prompt.
TEST(ZipReaderTest, DamagedDataIsNotTakenForAWrongPassword) {
    for (const std::string& typed : {std::string(), std::string("secret")}) {
        SCOPED_TRACE(typed);
        int prompts = 0;
        ArchiveReadHooks hooks;
        hooks.askPassword = [&]() -> std::optional<std::string> {
            ++prompts;
            return typed;
        };
        ArchiveReadResult r = readTestArchive(withDamagedWordDoc(typed), typed, hooks);
        EXPECT_FALSE(r.archive);
        EXPECT_FALSE(r.cancelled);
        EXPECT_EQ(prompts, 0);
        EXPECT_NE(r.error.indexOf(QStringLiteral("damaged")), -1) << r.error.toStdString();
    }
}

// Wrong passwords stay wrong passwords, also the few that pass the one-byte check of WORD.doc
// and then fail on its data.
TEST(ZipReaderTest, WrongPasswordsAreNeverTakenForDamage) {
    auto zip = writeEncryptedZip(encodeTestEntries(testing::threeKinds()), archivePassword("key"));
    ASSERT_TRUE(zip);
    std::unique_ptr<MemoryZip> reader = MemoryZip::open(*zip);
    ASSERT_TRUE(reader);
    QByteArray out;
    for (int i = 0; i < 2000; ++i) {
        reader->setPassword(archivePassword("wrong" + std::to_string(i)));
        ASSERT_EQ(reader->extract("WORD.doc", kMaxWordDocSize, out), ZipReadStatus::BadPassword)
            << i;
    }
    reader->setPassword(archivePassword("key"));
    EXPECT_EQ(reader->extract("WORD.doc", kMaxWordDocSize, out), ZipReadStatus::Ok);
}

// A test of many pages, several megabytes of WORD.doc: it is read ahead and decrypted on a
// second thread a chunk at a time while the pages are unpacked into one buffer, so every chunk
// boundary and the hand-over between the threads are crossed many times.
TestArchive bigTest(bool compressible) {
    TestArchive a = testing::threeKinds();
    std::uint32_t seed = compressible ? 3 : 5;
    auto page = [&](int k) {
        QByteArray data(200 * 1024 + k, '\0');
        for (qsizetype i = 0; i < data.size(); ++i) {
            seed = seed * 1664525u + 1013904223u;
            // Compressible pages: one random byte in five, enough for a few chunks still.
            data[i] = compressible && i % 5 != 0 ? char(k) : char(seed >> 24);
        }
        return testing::fakePiece(data);
    };
    for (int k = 0; k < 22; ++k)
        a.questions.push_back(testing::question(k % 2 ? "A" : "D", page(k)));
    a.hasSlots = a.hasTextbooks = a.hasDifficulties = false;
    return a;
}

TEST(ZipReaderTest, ManyChunksOfPagesComeOutByteForByte) {
    for (bool compressible : {false, true}) {
        SCOPED_TRACE(compressible ? "compressible pages" : "random pages");
        const TestArchive in = bigTest(compressible);
        const auto zip = writeTestArchive(in, "key", kCatalogue);
        ASSERT_TRUE(zip);
        ASSERT_GT(zip->size(), compressible ? 1 << 20 : 4 << 20);

        // From memory and from a file read in place, with the progress running to its end.
        QTemporaryFile file;
        ASSERT_TRUE(file.open());
        ASSERT_EQ(file.write(*zip), zip->size());
        for (bool fromFile : {false, true}) {
            SCOPED_TRACE(fromFile ? "file" : "memory");
            int last = -1;
            bool ordered = true;
            ArchiveReadHooks hooks;
            hooks.progress = [&](int p) {
                ordered = ordered && (p >= last || p == 0);
                last = p;
            };
            file.seek(0);
            ArchiveReadResult r = fromFile ? readTestArchive(fileSource(file), "key", hooks)
                                           : readTestArchive(*zip, "key", hooks);
            ASSERT_TRUE(r.archive) << r.error.toStdString();
            EXPECT_TRUE(ordered);
            EXPECT_EQ(last, 100);
            ASSERT_EQ(r.archive->questions.size(), in.questions.size());
            for (std::size_t k = 0; k < in.questions.size(); ++k)
                ASSERT_TRUE(r.archive->questions[k].body == in.questions[k].body) << k;
            EXPECT_EQ(r.archive->reference, in.reference);
        }

        // Damage half way through the pages, where the reader is chunks ahead of the unpacking:
        // told as damage (the other entries prove the password), and a wrong password as such.
        QByteArray damaged = *zip;
        damaged[damaged.size() / 2] ^= 0x20;
        ArchiveReadResult r = readTestArchive(damaged, "key");
        EXPECT_FALSE(r.archive);
        EXPECT_FALSE(r.cancelled);
        EXPECT_NE(r.error.indexOf(QStringLiteral("damaged")), -1) << r.error.toStdString();
        r = readTestArchive(*zip, "lock");
        EXPECT_FALSE(r.archive);
        EXPECT_TRUE(r.cancelled);

        // The same reader takes the pages after a read that failed: nothing of the failed read
        // is left in the result or in the reader.
        std::unique_ptr<MemoryZip> reader = MemoryZip::open(*zip);
        ASSERT_TRUE(reader);
        reader->setPassword(archivePassword("lock"));
        QByteArray word;
        EXPECT_EQ(reader->extract("WORD.doc", kMaxWordDocSize, word), ZipReadStatus::BadPassword);
        EXPECT_TRUE(word.isEmpty());
        reader->setPassword(archivePassword("key"));
        ASSERT_EQ(reader->extract("WORD.doc", kMaxWordDocSize, word), ZipReadStatus::Ok);
        EXPECT_TRUE(word == testing::entry(encodeTestEntries(in), "WORD.doc"));
    }
}

} // namespace
} // namespace kvz
