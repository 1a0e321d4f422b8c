#include "test/TestArchive.h"

#include "test/ArchivePassword.h"

#include <QFile>
#include <QTemporaryFile>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <unistd.h>

namespace kvz {

namespace {

const unsigned char* ubytes(const QByteArray& b) {
    return reinterpret_cast<const unsigned char*>(b.constData());
}

// A text field: its non-zero bytes in order; zero bytes anywhere are skipped.
std::string textField(const QByteArray& b, qsizetype offset, qsizetype size) {
    std::string s;
    for (qsizetype i = offset; i < offset + size; ++i)
        if (b[i] != '\0')
            s.push_back(b[i]);
    return s;
}

std::int32_t le32(const QByteArray& b, qsizetype offset) {
    const unsigned char* p = ubytes(b) + offset;
    return std::int32_t(std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
                        std::uint32_t(p[3]) << 24);
}

QString entryError(const char* name, ZipReadStatus st) {
    const QString n = QLatin1String(name);
    switch (st) {
    case ZipReadStatus::Missing:
        return QStringLiteral("the archive has no %1").arg(n);
    case ZipReadStatus::BadPassword:
        return QStringLiteral("%1 cannot be decrypted with the test's password").arg(n);
    case ZipReadStatus::TooLarge:
        return QStringLiteral("%1 is larger than a test may be").arg(n);
    case ZipReadStatus::Corrupt:
    case ZipReadStatus::Ok:
        break;
    }
    return QStringLiteral("%1 is damaged").arg(n);
}

// A whole piece at offset: 12-byte header with "BDOC" and the data size, all inside end.
std::optional<QByteArray> pieceAt(const QByteArray& word, std::int32_t offset, qsizetype end) {
    if (offset < 0 || qsizetype(offset) + 12 > end)
        return std::nullopt;
    if (std::memcmp(word.constData() + offset, "BDOC", 4) != 0)
        return std::nullopt;
    const std::uint32_t dataSize = std::uint32_t(le32(word, offset + 8));
    if (std::uint64_t(offset) + 12 + dataSize > std::uint64_t(end))
        return std::nullopt;
    return word.mid(offset, qsizetype(12 + dataSize));
}

std::optional<DateTime> timeField(const QByteArray& b, qsizetype offset, bool* bad) {
    std::string text = textField(b, offset, 8);
    // Blanks around the time (" 0:30:00" fills the field) are padding, not part of it.
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return std::nullopt;
    text = text.substr(first, text.find_last_not_of(' ') - first + 1);
    if (text.empty())
        return std::nullopt;
    auto t = parseTimeText(text);
    if (!t)
        *bad = true;
    return t;
}

// settings139.dat: the review and textbook switches and the grading scale. An error text, or
// empty when x holds it.
QString parseSettings139(const QByteArray& s139, ArchiveSettings139& x) {
    if (s139.size() < 7)
        return QStringLiteral("settings139.dat is shorter than its layout");
    const unsigned char* s = ubytes(s139);
    x.answerReviewAllowed = s[0] == 1;
    x.textbookDuringTest = s[1] == 1;
    x.textbookInReview = s[2] == 1;
    x.showIntroduction = s[3] == 1;
    x.referenceAllowed = s[4] == 1;
    x.showMark = s[5] == 1;
    const int m = s[6];
    qsizetype pos = 7 + 2 * qsizetype(m);
    if (pos > s139.size())
        return QStringLiteral("settings139.dat: the grading scale is cut short");
    for (int i = 0; i < m; ++i) {
        const unsigned value = unsigned(s[7 + 2 * i]) | unsigned(s[8 + 2 * i]) << 8;
        MarkEntry e;
        // Kept as stored: thresholds are hundredths of a percent, and writing "100" for 10000
        // would turn a 100.00 % limit into 1.00 % and write it back as 100.
        e.threshold = std::to_string(value);
        const qsizetype cr = s139.indexOf('\r', pos);
        if (cr < 0)
            return QStringLiteral("settings139.dat: mark %1 has no end").arg(i + 1);
        e.markText.assign(s139.constData() + pos, std::size_t(cr - pos));
        pos = std::min(cr + 2, s139.size()); // the line feed after it
        x.markScale.push_back(std::move(e));
    }
    return {};
}

} // namespace

ArchiveReadResult readTestArchive(QByteArray bytes, const std::string& typedPassword,
                                  const ArchiveReadHooks& hooks) {
    return readTestArchive(memorySource(std::move(bytes)), typedPassword, hooks);
}

ArchiveReadResult readTestArchive(std::unique_ptr<ArchiveSource> input,
                                  const std::string& typedPassword, const ArchiveReadHooks& hooks) {
    ArchiveReadResult r;
    auto fail = [&r](QString error) {
        r.error = std::move(error);
        r.archive.reset();
        return r;
    };
    auto stage = [&hooks](LoadStage s) {
        if (hooks.stage)
            hooks.stage(s);
    };

    stage(LoadStage::Preparing);
    if (!input || input->size() > kMaxArchiveSize)
        return fail(QStringLiteral("the file is larger than a test may be"));
    QString zipError;
    std::unique_ptr<MemoryZip> zip = MemoryZip::open(std::move(input), &zipError);
    if (!zip)
        return fail(QStringLiteral("not a test archive: %1").arg(zipError));

    stage(LoadStage::Loading);
    std::string typed = typedPassword;
    QByteArray word;
    ZipReadStatus st;
    for (int prompts = 0;; ++prompts) {
        zip->setPassword(archivePassword(typed));
        st = zip->extract("WORD.doc", kMaxWordDocSize, word, hooks.progress);
        if (st != ZipReadStatus::BadPassword)
            break;
        if (prompts == kMaxPasswordPrompts || !hooks.askPassword) {
            r.cancelled = true;
            return fail(QStringLiteral("wrong password"));
        }
        std::optional<std::string> next = hooks.askPassword();
        if (!next) {
            r.cancelled = true;
            return fail(QStringLiteral("the password was not given"));
        }
        typed = *next;
    }
    if (st != ZipReadStatus::Ok)
        return fail(entryError("WORD.doc", st));
    r.typedPassword = typed;

    // The offset table and the question count sit at the end of WORD.doc.
    if (word.size() < kWordDocTrailerSize)
        return fail(QStringLiteral("WORD.doc is shorter than its offset table"));
    const qsizetype contentEnd = word.size() - kWordDocTrailerSize;
    std::array<std::int32_t, 256> off{};
    for (int i = 0; i < 256; ++i)
        off[std::size_t(i)] = le32(word, contentEnd + 4 * i);
    const int n = ubytes(word)[word.size() - 1];
    stage(LoadStage::Composing);
    if (n == 0)
        return fail(QStringLiteral("the test has no questions"));
    if (n > kMaxQuestions)
        return fail(QStringLiteral("WORD.doc counts %1 questions, at most %2 fit")
                        .arg(n)
                        .arg(kMaxQuestions));
    for (int k = 0; k < n; ++k) {
        const std::int32_t start = off[std::size_t(k)];
        const std::int32_t end = k + 1 < n ? off[std::size_t(k + 1)] : off[254];
        if (start < 0 || end < start || qsizetype(end) > contentEnd)
            return fail(
                QStringLiteral("WORD.doc: the page of question %1 lies outside it").arg(k + 1));
    }

    TestArchive a;
    auto intro = pieceAt(word, off[254], contentEnd);
    auto ref = pieceAt(word, off[255], contentEnd);
    if (!intro)
        return fail(QStringLiteral("WORD.doc: the introduction is no document piece"));
    if (!ref)
        return fail(QStringLiteral("WORD.doc: the reference page is no document piece"));

    // The small entries, read before the pages are cut so that the archive is no longer needed.
    QByteArray spisok, settings, s139, books, slots, weights;
    st = zip->extract("spisok.dat", kMaxSmallEntrySize, spisok, hooks.progress);
    if (st != ZipReadStatus::Ok)
        return fail(entryError("spisok.dat", st));
    st = zip->extract("settings.dat", kMaxSmallEntrySize, settings, hooks.progress);
    if (st != ZipReadStatus::Ok)
        return fail(entryError("settings.dat", st));
    struct Optional {
        const char* name;
        QByteArray* out;
        bool present = false;
    } optional[] = {{"settings139.dat", &s139},
                    {"uchebniki.dat", &books},
                    {"ofset.dat", &slots},
                    {"slojnost.dat", &weights}};
    for (Optional& o : optional) {
        st = zip->extract(o.name, kMaxSmallEntrySize, *o.out, hooks.progress);
        if (st == ZipReadStatus::Ok)
            o.present = true;
        else if (st != ZipReadStatus::Missing)
            return fail(entryError(o.name, st));
    }
    zip.reset(); // the archive (and a file it reads) is let go before the pages are cut

    // spisok.dat: one 772-byte entry per question.
    if (spisok.size() < qsizetype(n) * kQuestionEntrySize)
        return fail(QStringLiteral("spisok.dat holds fewer than %1 questions").arg(n));
    a.questions.resize(std::size_t(n));
    for (int k = 0; k < n; ++k) {
        TQuestionRec& q = a.questions[std::size_t(k)];
        const qsizetype base = qsizetype(k) * kQuestionEntrySize;
        q.sourceNo = k + 1;
        q.rightText = textField(spisok, base, 255);
        q.kindText = textField(spisok, base + 255, 255);
        q.topic = textField(spisok, base + 510, 255);
        for (int i = 0; i < kMaxChoices; ++i)
            q.rightChoice[std::size_t(i)] = ubytes(spisok)[base + 765 + i] == 1;
        q.multiChoice = ubytes(spisok)[base + 770] == 1;
        q.choiceCount = ubytes(spisok)[base + 771];
        if (q.kindText.empty())
            return fail(QStringLiteral("spisok.dat: question %1 has no kind").arg(k + 1));
        // Only an ordering question's count indexes anything (its slots, markers and drop-down
        // items); a choice question never shows more than five, the other kinds none.
        if (q.kind() == 'D' && q.choiceCount > kMaxSlots)
            return fail(QStringLiteral("spisok.dat: question %1 has %2 slots")
                            .arg(k + 1)
                            .arg(q.choiceCount));
    }

    // settings.dat
    if (settings.size() < kSettingsSize)
        return fail(QStringLiteral("settings.dat is shorter than its layout"));
    {
        const unsigned char* s = ubytes(settings);
        ArchiveSettings& as = a.settings;
        as.testTimerOn = s[0] == 1;
        as.questionTimerOn = s[1] == 1;
        as.lockdownOff = s[2] == 1;
        as.calculatorAllowed = s[3] == 1;
        if (s[4] == 1)
            as.fixedOrder = true;
        else if (s[5] == 1)
            as.fixedOrder = false;
        bool badTime = false;
        as.testTime = timeField(settings, 6, &badTime);
        as.questionTime = timeField(settings, 14, &badTime);
        if (badTime)
            return fail(QStringLiteral("settings.dat: a time limit is no time of day"));
    }

    if (optional[0].present) {
        ArchiveSettings139 x;
        if (QString why = parseSettings139(s139, x); !why.isEmpty())
            return fail(why);
        a.settings139 = std::move(x);
    }

    if (optional[1].present) {
        if (books.size() < qsizetype(n) * kTextbookEntrySize)
            return fail(QStringLiteral("uchebniki.dat holds fewer than %1 links").arg(n));
        a.hasTextbooks = true;
        for (int k = 0; k < n; ++k)
            a.questions[std::size_t(k)].textbook =
                textField(books, qsizetype(k) * kTextbookEntrySize, kTextbookEntrySize);
    }

    if (optional[2].present) {
        if (slots.size() < qsizetype(n) * kSlotEntrySize)
            return fail(QStringLiteral("ofset.dat holds fewer than %1 slot tables").arg(n));
        a.hasSlots = true;
        for (int k = 0; k < n; ++k) {
            const unsigned char* p = ubytes(slots) + qsizetype(k) * kSlotEntrySize;
            for (int i = 0; i < kMaxSlots; ++i) {
                TSlotRec& s = a.questions[std::size_t(k)].rightSlots[std::size_t(i)];
                s.col = p[3 * i];
                s.row = p[3 * i + 1];
                s.number = p[3 * i + 2];
            }
        }
    }
    // The slots an ordering question shows index the marker grid and the marker pictures; the
    // rest of the table (other kinds, slots past the count) is never shown. A marker number left
    // in a slot past the count would make the question impossible to answer right (the check
    // compares all ten, and the pupil's answer holds no marker there), so it is cleared.
    if (a.hasSlots) {
        for (int k = 0; k < n; ++k) {
            TQuestionRec& q = a.questions[std::size_t(k)];
            if (q.kind() != 'D')
                continue;
            for (int i = 0; i < kMaxSlots; ++i) {
                TSlotRec& s = q.rightSlots[std::size_t(i)];
                if (i >= q.choiceCount)
                    s.number = 0;
                else if (s.col > kMaxGridCell || s.row > kMaxGridCell || s.number > kMaxSlots)
                    return fail(QStringLiteral("ofset.dat: slot %1 of question %2 is off the page")
                                    .arg(i + 1)
                                    .arg(k + 1));
            }
        }
    }

    if (optional[3].present) {
        if (weights.size() < qsizetype(n) + 1)
            return fail(QStringLiteral("slojnost.dat holds fewer than %1 weights").arg(n));
        a.hasDifficulties = true;
        for (int k = 0; k < n; ++k)
            a.questions[std::size_t(k)].difficulty = ubytes(weights)[k];
        a.timeByDifficulty = ubytes(weights)[n] == 1;
    }

    // The pages are views into WORD.doc, which each question keeps alive: no page is copied.
    for (int k = 0; k < n; ++k) {
        const std::int32_t start = off[std::size_t(k)];
        const std::int32_t end = k + 1 < n ? off[std::size_t(k + 1)] : off[254];
        TQuestionRec& q = a.questions[std::size_t(k)];
        q.bodyStore = word;
        q.body = QByteArray::fromRawData(word.constData() + start, end - start);
    }
    a.introduction = std::move(*intro);
    a.reference = std::move(*ref);
    r.archive = std::move(a);
    return r;
}

namespace {

void putLe32(QByteArray& b, std::int32_t v) {
    const auto u = std::uint32_t(v);
    const char bytes[4] = {char(u & 0xFF), char(u >> 8 & 0xFF), char(u >> 16 & 0xFF),
                           char(u >> 24 & 0xFF)};
    b.append(bytes, 4);
}

void putTextField(QByteArray& b, const std::string& text, int size) {
    QByteArray field(size, '\0');
    std::memcpy(field.data(), text.data(), std::min<std::size_t>(text.size(), std::size_t(size)));
    b.append(field);
}

int archivedQuestionCount(const TestArchive& a) {
    return std::min<int>(int(a.questions.size()), 255);
}

// The end of WORD.doc: where each page begins (questions, then the introduction at 254 and the
// reference at 255), and the number of questions.
QByteArray wordDocTable(const std::vector<qint64>& pageSizes, int n) {
    std::array<std::int32_t, 256> off{};
    qint64 at = 0;
    for (int k = 0; k < n; ++k) {
        off[std::size_t(k)] = std::int32_t(at);
        at += pageSizes[std::size_t(k)];
    }
    off[254] = std::int32_t(at);
    at += pageSizes[std::size_t(n)];
    off[255] = std::int32_t(at);
    QByteArray table;
    for (std::int32_t o : off)
        putLe32(table, o);
    table.append(char(n));
    return table;
}

// Every entry but WORD.doc.
std::vector<ZipEntry> encodeSmallEntries(const TestArchive& a);

} // namespace

std::vector<ZipEntry> encodeTestEntries(const TestArchive& a) {
    const int n = archivedQuestionCount(a);
    std::vector<qint64> sizes;
    QByteArray word;
    for (int k = 0; k < n; ++k) {
        word.append(a.questions[std::size_t(k)].body);
        sizes.push_back(a.questions[std::size_t(k)].body.size());
    }
    word.append(a.introduction);
    word.append(a.reference);
    sizes.push_back(a.introduction.size());
    sizes.push_back(a.reference.size());
    word.append(wordDocTable(sizes, n));
    std::vector<ZipEntry> entries{{"WORD.doc", word}};
    for (ZipEntry& e : encodeSmallEntries(a))
        entries.push_back(std::move(e));
    return entries;
}

namespace {

std::vector<ZipEntry> encodeSmallEntries(const TestArchive& a) {
    const int n = archivedQuestionCount(a);
    std::vector<ZipEntry> entries;
    QByteArray spisok;
    for (int k = 0; k < n; ++k) {
        const TQuestionRec& q = a.questions[std::size_t(k)];
        putTextField(spisok, q.rightText, 255);
        putTextField(spisok, q.kindText, 255);
        putTextField(spisok, q.topic, 255);
        for (bool right : q.rightChoice)
            spisok.append(char(right ? 1 : 0));
        spisok.append(char(q.multiChoice ? 1 : 0));
        spisok.append(char(q.choiceCount));
    }
    entries.push_back({"spisok.dat", spisok});

    QByteArray settings;
    const ArchiveSettings& s = a.settings;
    settings.append(char(s.testTimerOn));
    settings.append(char(s.questionTimerOn));
    settings.append(char(s.lockdownOff));
    settings.append(char(s.calculatorAllowed));
    settings.append(char(s.fixedOrder == true));
    settings.append(char(s.fixedOrder == false));
    putTextField(settings, s.testTime ? formatTimeText(*s.testTime) : std::string(), 8);
    putTextField(settings, s.questionTime ? formatTimeText(*s.questionTime) : std::string(), 8);
    entries.push_back({"settings.dat", settings});

    if (a.settings139) {
        const ArchiveSettings139& x = *a.settings139;
        QByteArray b;
        for (bool f : {x.answerReviewAllowed, x.textbookDuringTest, x.textbookInReview,
                       x.showIntroduction, x.referenceAllowed, x.showMark})
            b.append(char(f));
        const int m = std::min<int>(int(x.markScale.size()), 255);
        b.append(char(m));
        for (int i = 0; i < m; ++i) {
            unsigned v = 0;
            for (char c : x.markScale[std::size_t(i)].threshold)
                if (c >= '0' && c <= '9')
                    v = std::min(65535u, v * 10 + unsigned(c - '0'));
            b.append(char(v & 0xFF));
            b.append(char(v >> 8));
        }
        for (int i = 0; i < m; ++i) {
            b.append(x.markScale[std::size_t(i)].markText.c_str());
            b.append("\r\n");
        }
        entries.push_back({"settings139.dat", b});
    }
    if (a.hasTextbooks) {
        QByteArray b;
        for (int k = 0; k < n; ++k)
            putTextField(b, a.questions[std::size_t(k)].textbook, kTextbookEntrySize);
        entries.push_back({"uchebniki.dat", b});
    }
    if (a.hasSlots) {
        QByteArray b;
        for (int k = 0; k < n; ++k)
            for (const TSlotRec& slot : a.questions[std::size_t(k)].rightSlots) {
                b.append(char(slot.col));
                b.append(char(slot.row));
                b.append(char(slot.number));
            }
        entries.push_back({"ofset.dat", b});
    }
    if (a.hasDifficulties) {
        QByteArray b;
        for (int k = 0; k < n; ++k)
            b.append(char(a.questions[std::size_t(k)].difficulty));
        b.append(char(a.timeByDifficulty ? 1 : 0));
        entries.push_back({"slojnost.dat", b});
    }
    return entries;
}

} // namespace

QByteArray encodeCatalogueTrailer(const CatalogueInfo& info) {
    QByteArray b;
    for (const std::string* field : {&info.comment, &info.klass, &info.subject, &info.topics}) {
        b.append('\0');
        for (char c : *field)
            if (c != '\0') // a zero byte would end the field early
                b.append(c);
    }
    return b;
}

std::optional<QByteArray> writeTestArchive(const TestArchive& archive,
                                           const std::string& typedPassword,
                                           const CatalogueInfo& catalogue, QString* error) {
    const QByteArray trailer = encodeCatalogueTrailer(catalogue);
    if (std::size_t(trailer.size()) > kMaxCatalogueTrailerSize) {
        if (error)
            *error = QStringLiteral("the catalogue takes %1 bytes, at most %2 can be found")
                         .arg(trailer.size())
                         .arg(kMaxCatalogueTrailerSize);
        return std::nullopt;
    }
    auto zip = writeEncryptedZip(encodeTestEntries(archive), archivePassword(typedPassword), error);
    if (!zip)
        return std::nullopt;
    zip->append(trailer);
    return zip;
}

std::optional<QString> writeTestArchiveFile(const QString& path, const TestArchive& archive,
                                            const ArchivePages& pages,
                                            const std::string& typedPassword,
                                            const CatalogueInfo& catalogue) {
    const QByteArray trailer = encodeCatalogueTrailer(catalogue);
    if (std::size_t(trailer.size()) > kMaxCatalogueTrailerSize)
        return QStringLiteral("the catalogue takes %1 bytes, at most %2 can be found")
            .arg(trailer.size())
            .arg(kMaxCatalogueTrailerSize);
    const int n = archivedQuestionCount(archive);
    if (pages.sizes.size() != std::size_t(n) + 2)
        return QStringLiteral("the pages do not match the questions");

    // WORD.doc: the pages one after another as the source gives them, then the table.
    struct WordDoc {
        const ArchivePages* pages;
        QByteArray table;
        std::size_t page = 0;
        qint64 left = 0;
        qint64 tableAt = -1;
    };
    auto word = std::make_shared<WordDoc>(WordDoc{&pages, wordDocTable(pages.sizes, n)});
    qint64 total = word->table.size();
    for (qint64 size : pages.sizes)
        total += size;
    ZipStreamEntry entry;
    entry.name = "WORD.doc";
    entry.size = std::uint64_t(total);
    entry.open = [word] {
        word->page = 0;
        word->left = word->pages->sizes.empty() ? 0 : word->pages->sizes[0];
        word->tableAt = -1;
        return word->pages->rewind();
    };
    entry.read = [word](char* to, qint64 most) -> qint64 {
        WordDoc& w = *word;
        while (w.tableAt < 0 && w.left == 0) {
            if (++w.page < w.pages->sizes.size())
                w.left = w.pages->sizes[w.page];
            else
                w.tableAt = 0;
        }
        if (w.tableAt >= 0) {
            const qint64 n = std::min<qint64>(most, w.table.size() - w.tableAt);
            std::memcpy(to, w.table.constData() + w.tableAt, std::size_t(n));
            w.tableAt += n;
            return n;
        }
        const qint64 got = w.pages->read(to, std::min(most, w.left));
        // A page shorter than it was measured is a fault, never a shifted table.
        if (got <= 0)
            return -1;
        w.left -= got;
        return got;
    };

    // Written beside the target and put in its place only when whole, trailer included.
    QTemporaryFile part(path + QStringLiteral(".XXXXXX.part"));
    if (!part.open())
        return QStringLiteral("cannot be written (%1)").arg(part.errorString());
    part.close();
    QString why;
    std::vector<ZipStreamEntry> streamed;
    streamed.push_back(std::move(entry));
    if (!writeEncryptedZipFile(part.fileName(), std::move(streamed), encodeSmallEntries(archive),
                               archivePassword(typedPassword), &why))
        return QStringLiteral("the archive cannot be made (%1)").arg(why);
    QFile out(part.fileName());
    if (!out.open(QIODevice::Append) || out.write(trailer) != trailer.size() || !out.flush() ||
        ::fsync(out.handle()) != 0)
        return QStringLiteral("cannot be written (%1)").arg(out.errorString());
    out.close();
    if (std::rename(QFile::encodeName(part.fileName()).constData(),
                    QFile::encodeName(path).constData()) != 0)
        return QStringLiteral("cannot be written (%1)")
            .arg(QString::fromLocal8Bit(std::strerror(errno)));
    part.setAutoRemove(false);
    return std::nullopt;
}

void applyTestArchive(TestArchive&& a, QuestionSet& set, RunState& state) {
    state.textbookDuringTest = state.textbookInReview = false;
    state.answerReviewAllowed = state.showMark = false;
    state.showIntroduction = state.referenceAllowed = true;

    // Only the three known kinds are asked, grouped A, B, D as the list and the shuffling
    // expect; an archive that mixes the groups is put in order rather than mis-shuffled.
    auto rank = [](const TQuestionRec& q) {
        return q.kind() == 'A' ? 0 : q.kind() == 'B' ? 1 : q.kind() == 'D' ? 2 : 3;
    };
    std::erase_if(a.questions, [&](const TQuestionRec& q) { return rank(q) == 3; });
    std::stable_sort(
        a.questions.begin(), a.questions.end(),
        [&](const TQuestionRec& x, const TQuestionRec& y) { return rank(x) < rank(y); });
    set.questions = std::move(a.questions);
    set.labels = makeLabels(set.questions);
    set.answers.assign(set.questions.size(), TAnswerRec{});
    resetAnswers(set);

    set.testTimerOn = a.settings.testTimerOn;
    set.questionTimerOn = a.settings.questionTimerOn;
    set.calculatorAllowed = a.settings.calculatorAllowed;
    state.lockdownOff = a.settings.lockdownOff;
    if (a.settings.fixedOrder)
        state.fixedOrder = *a.settings.fixedOrder;
    if (a.settings.testTime)
        set.testTime = *a.settings.testTime;
    if (a.settings.questionTime)
        set.questionTime = *a.settings.questionTime;

    if (a.settings139) {
        const ArchiveSettings139& x = *a.settings139;
        state.answerReviewAllowed = x.answerReviewAllowed;
        state.textbookDuringTest = x.textbookDuringTest;
        state.textbookInReview = x.textbookInReview;
        state.showIntroduction = x.showIntroduction;
        state.referenceAllowed = x.referenceAllowed;
        state.showMark = x.showMark;
        state.markScale = x.markScale;
        state.markCount = std::uint8_t(x.markScale.size());
    }
    state.timeByDifficulty = a.hasDifficulties && a.timeByDifficulty;
    computeTimeBudgets(set, state.timeByDifficulty);
}

TestGrading readTestGrading(const QByteArray& bytes, const std::string& typedPassword) {
    TestGrading g;
    std::unique_ptr<MemoryZip> zip = MemoryZip::open(bytes, &g.error);
    if (!zip)
        return g;
    zip->setPassword(archivePassword(typedPassword));
    // The settings are small and in every test: they prove the password without the pages.
    QByteArray settings, s139;
    ZipReadStatus st = zip->extract("settings.dat", kMaxSmallEntrySize, settings);
    if (st != ZipReadStatus::Ok) {
        g.badPassword = st == ZipReadStatus::BadPassword;
        g.error = entryError("settings.dat", st);
        return g;
    }
    g.opened = true;
    st = zip->extract("settings139.dat", kMaxSmallEntrySize, s139);
    if (st == ZipReadStatus::Ok) {
        ArchiveSettings139 x;
        if (QString why = parseSettings139(s139, x); why.isEmpty())
            g.settings139 = std::move(x);
        else
            g.error = why;
    } else if (st != ZipReadStatus::Missing) {
        g.error = entryError("settings139.dat", st);
    }
    return g;
}

} // namespace kvz
