#include "run/RunJournal.h"

#include "platform/docview/ByteReader.h"

#include <QCryptographicHash>
#include <QMessageAuthenticationCode>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace kvz {

namespace {

using docview::ByteReader;

constexpr char kMagic[4] = {'K', 'V', 'Z', 'J'};

// The stored password is masked with a stream drawn from the journal key, so it does not lie in
// the pupil's folder as plain text. This is a mask, not encryption: the profile file keeps the
// same password scrambled, and the program has to open the archive again without a person.
std::string maskPassword(const std::string& text, const QByteArray& key) {
    std::string out = text;
    QByteArray stream;
    for (std::uint32_t block = 0; std::size_t(stream.size()) < out.size(); ++block) {
        QByteArray seed("password");
        seed.append(reinterpret_cast<const char*>(&block), sizeof block);
        stream += QMessageAuthenticationCode::hash(seed, key, QCryptographicHash::Sha256);
    }
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = char(std::uint8_t(out[i]) ^ std::uint8_t(stream[qsizetype(i)]));
    return out;
}

QByteArray mac(const char* data, std::size_t size, const QByteArray& key) {
    return QMessageAuthenticationCode::hash(QByteArray::fromRawData(data, qsizetype(size)), key,
                                            QCryptographicHash::Sha256);
}

class Writer {
public:
    void u8(std::uint8_t v) { out_.append(char(v)); }
    void u16(std::uint16_t v) { le(v, 2); }
    void u32(std::uint32_t v) { le(v, 4); }
    void i32(std::int32_t v) { le(std::uint32_t(v), 4); }
    void u64(std::uint64_t v) { le(v, 8); }
    void flag(bool v) { u8(v ? 1 : 0); }
    void time(DateTime t) {
        std::uint64_t bits;
        static_assert(sizeof bits == sizeof t);
        std::memcpy(&bits, &t, sizeof bits);
        u64(bits);
    }
    void bytes(const char* data, std::size_t size) {
        u32(std::uint32_t(size));
        out_.append(data, qsizetype(size));
    }
    void text(const std::string& s) { bytes(s.data(), s.size()); }
    void path(const QString& s) {
        const QByteArray utf8 = s.toUtf8();
        bytes(utf8.constData(), std::size_t(utf8.size()));
    }
    void blob(const QByteArray& b) { bytes(b.constData(), std::size_t(b.size())); }
    QByteArray& out() { return out_; }

private:
    void le(std::uint64_t v, int n) {
        for (int i = 0; i < n; ++i)
            out_.append(char(std::uint8_t(v >> (8 * i))));
    }
    QByteArray out_;
};

class Reader {
public:
    explicit Reader(docview::Bytes bytes) : r_(bytes) {}
    bool ok() const { return r_.ok() && ok_; }
    std::size_t remaining() const { return r_.remaining(); }
    std::uint8_t u8() { return r_.u8(); }
    std::uint16_t u16() { return r_.u16(); }
    std::uint32_t u32() { return r_.u32(); }
    std::int32_t i32() { return r_.i32(); }
    std::uint64_t u64() {
        const std::uint64_t lo = r_.u32();
        return lo | std::uint64_t(r_.u32()) << 32;
    }
    bool flag() {
        const std::uint8_t v = u8();
        if (v > 1)
            ok_ = false;
        return v == 1;
    }
    DateTime time() {
        const std::uint64_t bits = u64();
        DateTime t;
        std::memcpy(&t, &bits, sizeof t);
        if (!std::isfinite(t))
            ok_ = false;
        return t;
    }
    docview::Bytes bytes(std::size_t cap) {
        const std::uint32_t size = u32();
        if (!ok() || size > cap) {
            ok_ = false;
            return {};
        }
        return r_.bytes(size);
    }
    std::string text(std::size_t cap = kMaxJournalText) {
        const docview::Bytes b = bytes(cap);
        return std::string(reinterpret_cast<const char*>(b.data()), b.size());
    }
    QString path() {
        const docview::Bytes b = bytes(kMaxJournalPath);
        const QByteArray utf8(reinterpret_cast<const char*>(b.data()), qsizetype(b.size()));
        QString s = QString::fromUtf8(utf8);
        if (s.toUtf8() != utf8) // not UTF-8: we never wrote it
            ok_ = false;
        return s;
    }
    QByteArray blob(std::size_t cap) {
        const docview::Bytes b = bytes(cap);
        return QByteArray(reinterpret_cast<const char*>(b.data()), qsizetype(b.size()));
    }
    void fail() { ok_ = false; }

private:
    ByteReader r_;
    bool ok_ = true;
};

void writeRules(Writer& w, const JournalRules& r) {
    std::uint16_t flags = 0;
    int bit = 0;
    for (bool f :
         {r.fixedOrder, r.lockdownOff, r.testTimerOn, r.questionTimerOn, r.calculatorAllowed,
          r.textbookDuringTest, r.textbookInReview, r.answerReviewAllowed, r.referenceAllowed})
        flags |= std::uint16_t((f ? 1u : 0u) << bit++);
    w.u16(flags);
    w.time(r.testTime);
    w.time(r.questionTime);
}

constexpr int kRuleFlags = 9;

JournalRules readRules(Reader& r) {
    JournalRules rules;
    const std::uint16_t flags = r.u16();
    if (flags >> kRuleFlags)
        r.fail();
    int bit = 0;
    for (bool* f : {&rules.fixedOrder, &rules.lockdownOff, &rules.testTimerOn,
                    &rules.questionTimerOn, &rules.calculatorAllowed, &rules.textbookDuringTest,
                    &rules.textbookInReview, &rules.answerReviewAllowed, &rules.referenceAllowed})
        *f = (flags >> bit++) & 1u;
    rules.testTime = r.time();
    rules.questionTime = r.time();
    return rules;
}

void writePayload(Writer& w, const RunJournal& j, const QByteArray& key) {
    w.u8(std::uint8_t(j.mode));
    w.path(j.testFile);
    w.path(j.serverHost);
    w.u16(j.serverPort);
    w.text(j.offerFile);
    w.text(j.offerClass);
    w.text(j.offerSubject);
    w.u64(std::uint64_t(j.offerSize));
    w.blob(j.archiveSha256);
    w.text(maskPassword(j.typedPassword, key));
    w.text(j.testName);
    w.text(j.testSubject);
    w.text(j.examineeName);
    w.text(j.examineeClass);
    writeRules(w, j.rules);
    w.time(j.startTime);
    w.time(j.reportedStartTime);
    w.time(j.serverStartTime);
    w.time(j.savedAt);
    w.i32(j.testTimeLeftMs);
    w.i32(j.currentItem);
    w.flag(j.finished);
    w.time(j.finishTime);
    w.u64(j.sequence);
    w.u64(j.runNumber);
    w.u32(std::uint32_t(j.items.size()));
    for (const JournalItem& item : j.items) {
        w.i32(item.sourceNo);
        w.i32(item.timeLeftMs);
        w.i32(item.timeSpentMs);
        std::uint8_t chosen = 0;
        for (int i = 0; i < kMaxChoices; ++i)
            if (item.answer.chosen[std::size_t(i)])
                chosen |= std::uint8_t(1u << i);
        w.u8(chosen);
        w.flag(item.answer.touched);
        for (std::uint8_t n : item.answer.slotNumbers)
            w.u8(n);
        w.text(item.answer.text);
    }
}

// A file name in the test folder: nothing that leaves it or names a special file.
bool plainFileName(const QString& name) {
    return !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) &&
           name != QLatin1String(".") && name != QLatin1String("..") && !name.contains(QChar(0));
}

std::optional<RunJournal> readPayload(Reader& r, const QByteArray& key) {
    RunJournal j;
    const std::uint8_t mode = r.u8();
    if (mode > std::uint8_t(JournalMode::Server))
        return std::nullopt;
    j.mode = JournalMode(mode);
    j.testFile = r.path();
    if (!plainFileName(j.testFile) || (j.mode != JournalMode::Server && j.testFile.isEmpty()))
        return std::nullopt;
    j.serverHost = r.path();
    j.serverPort = r.u16();
    j.offerFile = r.text();
    j.offerClass = r.text();
    j.offerSubject = r.text();
    j.offerSize = std::int64_t(r.u64());
    j.archiveSha256 = r.blob(32);
    j.typedPassword = maskPassword(r.text(), key);
    j.testName = r.text();
    j.testSubject = r.text();
    j.examineeName = r.text();
    j.examineeClass = r.text();
    j.rules = readRules(r);
    j.startTime = r.time();
    j.reportedStartTime = r.time();
    j.serverStartTime = r.time();
    j.savedAt = r.time();
    j.testTimeLeftMs = r.i32();
    j.currentItem = r.i32();
    j.finished = r.flag();
    j.finishTime = r.time();
    j.sequence = r.u64();
    j.runNumber = r.u64();
    const std::uint32_t count = r.u32();
    if (!r.ok() || count > std::uint32_t(kMaxQuestions) || j.archiveSha256.size() != 32)
        return std::nullopt;
    j.items.resize(count);
    for (JournalItem& item : j.items) {
        item.sourceNo = r.i32();
        item.timeLeftMs = r.i32();
        item.timeSpentMs = r.i32();
        const std::uint8_t chosen = r.u8();
        if (chosen >> kMaxChoices)
            r.fail();
        for (int i = 0; i < kMaxChoices; ++i)
            item.answer.chosen[std::size_t(i)] = (chosen >> i) & 1u;
        item.answer.touched = r.flag();
        for (std::uint8_t& n : item.answer.slotNumbers) {
            n = r.u8();
            if (n > kMaxSlots)
                r.fail();
        }
        item.answer.text = r.text();
        if (!r.ok())
            return std::nullopt;
    }
    if (!r.ok() || r.remaining() != 0)
        return std::nullopt;
    if (j.items.empty() || j.currentItem < 0 || j.currentItem >= int(j.items.size()))
        return std::nullopt;
    return j;
}

} // namespace

QByteArray sha256(const QByteArray& bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

QByteArray encodeJournal(const RunJournal& journal, const QByteArray& key) {
    Writer payload;
    writePayload(payload, journal, key);
    return sealJournalPayload(payload.out(), key);
}

QByteArray sealJournalPayload(const QByteArray& payload, const QByteArray& key) {
    Writer w;
    w.out().reserve(payload.size() + qsizetype(kJournalHeaderSize + kJournalMacSize));
    w.out().append(kMagic, 4);
    w.u16(kJournalVersion);
    w.u16(0);
    w.u32(std::uint32_t(payload.size()));
    w.out().append(payload);
    w.out().append(mac(w.out().constData(), std::size_t(w.out().size()), key));
    return w.out();
}

JournalReadResult decodeJournal(const QByteArray& bytes, const QByteArray& key) {
    if (std::size_t(key.size()) != kJournalKeySize)
        return {std::nullopt, JournalReadError::NoKey};
    const std::size_t size = std::size_t(bytes.size());
    if (size < kJournalHeaderSize + kJournalMacSize)
        return {std::nullopt, JournalReadError::TooShort};
    if (std::memcmp(bytes.constData(), kMagic, 4) != 0)
        return {std::nullopt, JournalReadError::BadMagic};
    Reader header(docview::asBytes(bytes.constData(), kJournalHeaderSize));
    header.u32(); // magic
    const std::uint16_t version = header.u16();
    header.u16();
    const std::uint32_t length = header.u32();
    if (version != kJournalVersion)
        return {std::nullopt, JournalReadError::NewerVersion};
    if (size > kMaxJournalBytes ||
        std::size_t(length) != size - kJournalHeaderSize - kJournalMacSize)
        return {std::nullopt, JournalReadError::BadLength};
    const std::size_t signedSize = kJournalHeaderSize + length;
    const QByteArray expected = mac(bytes.constData(), signedSize, key);
    if (std::memcmp(expected.constData(), bytes.constData() + signedSize, kJournalMacSize) != 0)
        return {std::nullopt, JournalReadError::BadChecksum};
    Reader payload(docview::asBytes(bytes.constData() + kJournalHeaderSize, length));
    std::optional<RunJournal> journal = readPayload(payload, key);
    if (!journal)
        return {std::nullopt, JournalReadError::BadContent};
    return {std::move(journal), JournalReadError::None};
}

const char* journalErrorText(JournalReadError error) {
    switch (error) {
    case JournalReadError::None:
        return "no error";
    case JournalReadError::TooShort:
        return "the journal is cut short";
    case JournalReadError::BadMagic:
        return "not a run journal";
    case JournalReadError::NewerVersion:
        return "a journal of another program version";
    case JournalReadError::BadLength:
        return "the journal's length does not match its header";
    case JournalReadError::BadChecksum:
        return "the journal's checksum does not match (damaged or edited)";
    case JournalReadError::BadContent:
        return "the journal's content is out of range";
    case JournalReadError::NoKey:
        return "the journal key is missing or damaged";
    case JournalReadError::Replayed:
        return "an older journal than the latest run's (put back in its place)";
    }
    return "unknown error";
}

void captureRun(RunJournal& journal, const QuestionSet& set, const RunState& state,
                int currentItem) {
    journal.testName = state.testName;
    journal.testSubject = state.testSubject;
    JournalRules& rules = journal.rules;
    rules.fixedOrder = state.fixedOrder;
    rules.lockdownOff = state.lockdownOff;
    rules.testTimerOn = set.testTimerOn;
    rules.questionTimerOn = set.questionTimerOn;
    rules.calculatorAllowed = set.calculatorAllowed;
    rules.textbookDuringTest = state.textbookDuringTest;
    rules.textbookInReview = state.textbookInReview;
    rules.answerReviewAllowed = state.answerReviewAllowed;
    rules.referenceAllowed = state.referenceAllowed;
    rules.testTime = set.testTime;
    rules.questionTime = set.questionTime;
    journal.startTime = state.startTime;
    journal.reportedStartTime = state.reportedStartTime;
    journal.serverStartTime = state.serverStartTime;
    journal.testTimeLeftMs = set.testTimeLeftMs;
    journal.currentItem = currentItem;
    const std::size_t count = std::min(set.questions.size(), set.answers.size());
    journal.items.resize(count);
    for (std::size_t k = 0; k < count; ++k) {
        const TQuestionRec& q = set.questions[k];
        const TAnswerRec& a = set.answers[k];
        JournalItem& item = journal.items[k];
        item.sourceNo = q.sourceNo;
        item.timeLeftMs = q.timeLeftMs;
        item.timeSpentMs = q.timeSpentMs;
        item.answer.chosen = a.chosen;
        item.answer.text = a.text;
        item.answer.touched = a.touched;
        for (std::size_t i = 0; i < std::size_t(kMaxSlots); ++i)
            item.answer.slotNumbers[i] = a.slots[i].number;
    }
}

bool restoreRun(const RunJournal& journal, QuestionSet& set, RunState& state) {
    const std::size_t count = set.questions.size();
    if (journal.items.size() != count || count == 0 || set.labels.size() != count ||
        journal.currentItem < 0 || std::size_t(journal.currentItem) >= count)
        return false;
    // The times the run started with (perhaps inherited from the test before), and the
    // question budgets they give.
    const JournalRules& rules = journal.rules;
    const std::int32_t testTimeMs = timeOfDayMs(rules.testTime);
    const std::int32_t questionTimeMs = timeOfDayMs(rules.questionTime);
    QuestionSet budgets;
    budgets.questions = set.questions;
    budgets.testTime = rules.testTime;
    budgets.questionTime = rules.questionTime;
    computeTimeBudgets(budgets, state.timeByDifficulty);
    if (journal.testTimeLeftMs > testTimeMs)
        return false;

    // The loader leaves the questions in archive order (only the known kinds, grouped); each
    // saved item names its question by its place in the archive.
    std::vector<int> indexOf(256, -1);
    for (std::size_t k = 0; k < count; ++k) {
        const std::int32_t s = set.questions[k].sourceNo;
        if (s < 1 || s >= int(indexOf.size()) || indexOf[std::size_t(s)] >= 0)
            return false;
        indexOf[std::size_t(s)] = int(k);
    }
    std::vector<bool> seen(count, false);
    for (std::size_t k = 0; k < count; ++k) {
        const JournalItem& item = journal.items[k];
        if (item.sourceNo < 1 || item.sourceNo >= int(indexOf.size()) ||
            indexOf[std::size_t(item.sourceNo)] < 0)
            return false;
        const std::size_t from = std::size_t(indexOf[std::size_t(item.sourceNo)]);
        if (seen[from])
            return false;
        seen[from] = true;
        const TQuestionRec& q = set.questions[from];
        if (set.labels[k].empty() || q.kind() != set.labels[k].front())
            return false; // shuffling never moves a question out of its kind
        const std::int32_t budget =
            state.timeByDifficulty ? budgets.questions[from].timeLimitMs : questionTimeMs;
        if (item.timeLeftMs > budget || item.timeSpentMs < 0)
            return false;
        for (int i = 0; i < kMaxSlots; ++i) {
            const std::uint8_t n = item.answer.slotNumbers[std::size_t(i)];
            if (n > q.choiceCount || (i >= q.choiceCount && n != 0))
                return false;
        }
    }

    for (std::size_t k = 0; k < count; ++k)
        set.questions[k].timeLimitMs = budgets.questions[k].timeLimitMs;
    std::vector<TQuestionRec> ordered;
    ordered.reserve(count);
    for (const JournalItem& item : journal.items)
        ordered.push_back(
            std::move(set.questions[std::size_t(indexOf[std::size_t(item.sourceNo)])]));
    set.questions = std::move(ordered);
    set.answers.assign(count, TAnswerRec{});
    for (std::size_t k = 0; k < count; ++k) {
        const JournalItem& item = journal.items[k];
        TQuestionRec& q = set.questions[k];
        TAnswerRec& a = set.answers[k];
        q.timeLeftMs = item.timeLeftMs;
        q.timeSpentMs = item.timeSpentMs;
        a.chosen = item.answer.chosen;
        a.text = item.answer.text;
        a.touched = item.answer.touched;
        for (std::size_t i = 0; i < std::size_t(kMaxSlots); ++i)
            a.slots[i] = {q.rightSlots[i].col, q.rightSlots[i].row, item.answer.slotNumbers[i]};
    }
    set.testTime = rules.testTime;
    set.questionTime = rules.questionTime;
    set.testTimerOn = rules.testTimerOn;
    set.questionTimerOn = rules.questionTimerOn;
    set.calculatorAllowed = rules.calculatorAllowed;
    set.testTimeMs = testTimeMs;
    set.testTimeLeftMs = journal.testTimeLeftMs;
    set.questionTimeMs = questionTimeMs;
    set.updating = false;
    set.hasNext = false;
    for (std::size_t k = std::size_t(journal.currentItem) + 1; k < count; ++k)
        if (!set.questionTimerOn || set.questions[k].timeLeftMs >= kOpenQuestionMs)
            set.hasNext = true;

    state.testName = journal.testName;
    state.testSubject = journal.testSubject;
    state.fixedOrder = rules.fixedOrder;
    state.lockdownOff = rules.lockdownOff;
    state.textbookDuringTest = rules.textbookDuringTest;
    state.textbookInReview = rules.textbookInReview;
    state.answerReviewAllowed = rules.answerReviewAllowed;
    state.referenceAllowed = rules.referenceAllowed;
    state.startTime = journal.startTime;
    state.reportedStartTime = journal.reportedStartTime;
    state.serverStartTime = journal.serverStartTime;
    state.resultsShown = false;
    if (journal.finished)
        state.finishTime = journal.finishTime;
    return true;
}

} // namespace kvz
