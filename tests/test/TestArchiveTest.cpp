#include "test/TestArchive.h"
#include "ArchiveFixtures.h"
#include "test/ArchivePassword.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>

namespace kvz {
namespace {

std::optional<CatalogueInfo> catalogueOf(const QByteArray& file) {
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/t.tst");
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(file) != file.size())
        return std::nullopt;
    f.close();
    return ReadCatalogueFile(path);
}

void expectCatalogue(const std::optional<CatalogueInfo>& got, const CatalogueInfo& want) {
    ASSERT_TRUE(got);
    EXPECT_EQ(got->comment, want.comment);
    EXPECT_EQ(got->klass, want.klass);
    EXPECT_EQ(got->subject, want.subject);
    EXPECT_EQ(got->topics, want.topics);
}

using testing::fakePiece;
using testing::threeKinds;

const std::string kSecret = "\xF1\xE5\xEA\xF0\xE5\xF2"; // "секрет"

QByteArray build(const TestArchive& a, const std::string& password = {},
                 const CatalogueInfo& info = {}) {
    QString error;
    auto bytes = writeTestArchive(a, password, info, &error);
    EXPECT_TRUE(bytes) << error.toStdString();
    return bytes.value_or(QByteArray());
}

TEST(ArchivePasswordTest, ConstantsAreTenHighBytesWithoutZero) {
    for (const char* c : {kArchivePasswordPrefix, kArchivePasswordSuffix}) {
        const std::string s(c);
        ASSERT_EQ(s.size(), 10u);
        EXPECT_TRUE(std::any_of(s.begin(), s.end(), [](char b) { return (unsigned char)b > 127; }));
    }
    EXPECT_EQ(archivePassword("ab"),
              std::string(kArchivePasswordPrefix) + "ab" + kArchivePasswordSuffix);
    // A zero byte ends the typed part, as it would in any C string.
    EXPECT_EQ(archivePassword(std::string("ab\0cd", 5)), archivePassword("ab"));
}

TEST(TestArchiveTest, RoundTripKeepsEveryField) {
    const TestArchive in = threeKinds();
    const CatalogueInfo info{"comment", "9", "\xD4\xE8\xE7\xE8\xEA\xE0", "T1\r\nT2"};
    const QByteArray bytes = build(in, kSecret, info);
    int progressCalls = 0;
    std::vector<LoadStage> stages;
    ArchiveReadHooks hooks;
    hooks.progress = [&](int p) {
        EXPECT_GE(p, 0);
        EXPECT_LE(p, 100);
        ++progressCalls;
    };
    hooks.stage = [&](LoadStage s) { stages.push_back(s); };
    ArchiveReadResult r = readTestArchive(bytes, kSecret, hooks);
    ASSERT_TRUE(r.archive) << r.error.toStdString();
    EXPECT_EQ(stages, (std::vector<LoadStage>{LoadStage::Preparing, LoadStage::Loading,
                                              LoadStage::Composing}));
    EXPECT_GE(progressCalls, 7 * 2); // 0 and 100 for each of the seven entries at least
    const TestArchive& out = *r.archive;
    ASSERT_EQ(out.questions.size(), 3u);
    for (std::size_t k = 0; k < 3; ++k) {
        const TQuestionRec& a = in.questions[k];
        const TQuestionRec& b = out.questions[k];
        SCOPED_TRACE(k);
        EXPECT_EQ(b.body, a.body);
        EXPECT_EQ(b.rightChoice, a.rightChoice);
        EXPECT_EQ(b.rightSlots, a.rightSlots);
        EXPECT_EQ(b.multiChoice, a.multiChoice);
        EXPECT_EQ(b.rightText, a.rightText);
        EXPECT_EQ(b.kindText, a.kindText);
        EXPECT_EQ(b.topic, a.topic);
        EXPECT_EQ(b.textbook, a.textbook);
        EXPECT_EQ(b.choiceCount, a.choiceCount);
        EXPECT_EQ(b.difficulty, a.difficulty);
        EXPECT_EQ(b.sourceNo, int(k + 1));
    }
    EXPECT_EQ(out.introduction, in.introduction);
    EXPECT_EQ(out.reference, in.reference);
    EXPECT_TRUE(out.settings.testTimerOn);
    EXPECT_TRUE(out.settings.questionTimerOn);
    EXPECT_FALSE(out.settings.lockdownOff);
    EXPECT_TRUE(out.settings.calculatorAllowed);
    EXPECT_EQ(out.settings.fixedOrder, std::optional<bool>(true));
    EXPECT_EQ(timeOfDayMs(*out.settings.testTime), 240000);
    EXPECT_EQ(timeOfDayMs(*out.settings.questionTime), 30000);
    ASSERT_TRUE(out.settings139);
    EXPECT_TRUE(out.settings139->answerReviewAllowed);
    EXPECT_TRUE(out.settings139->textbookDuringTest);
    EXPECT_FALSE(out.settings139->textbookInReview);
    EXPECT_FALSE(out.settings139->showIntroduction);
    EXPECT_TRUE(out.settings139->showMark);
    ASSERT_EQ(out.settings139->markScale.size(), 3u);
    EXPECT_EQ(out.settings139->markScale[2].markText, "\xEF\xEB\xEE\xF5\xEE");
    EXPECT_TRUE(out.hasTextbooks && out.hasSlots && out.hasDifficulties && out.timeByDifficulty);
    expectCatalogue(catalogueOf(bytes), info);
}

TEST(TestArchiveTest, EmptyPasswordOpensWithoutPrompt) {
    int prompts = 0;
    ArchiveReadHooks hooks;
    hooks.askPassword = [&]() -> std::optional<std::string> {
        ++prompts;
        return std::nullopt;
    };
    ArchiveReadResult r = readTestArchive(build(threeKinds()), "", hooks);
    EXPECT_TRUE(r.archive) << r.error.toStdString();
    EXPECT_EQ(prompts, 0);
}

// answers: what the prompt returns each time (nullopt = Cancel); the last repeats.
struct PasswordCase {
    const char* name;
    std::string initial;
    std::vector<std::optional<std::string>> answers;
    bool loads;
    int prompts;
};

TEST(TestArchiveTest, PasswordRetries) {
    const QByteArray bytes = build(threeKinds(), kSecret);
    const PasswordCase cases[] = {
        {"right at once", kSecret, {}, true, 0},
        {"right on the third prompt", "x", {"a", "b", kSecret}, true, 3},
        {"right on the sixth prompt", "", {"1", "2", "3", "4", "5", kSecret}, true, 6},
        {"six wrong prompts fail", "", {"wrong"}, false, 6},
        {"cancel at the first prompt", "", {std::nullopt}, false, 1},
        {"cancel after a wrong one", "", {"wrong", std::nullopt}, false, 2},
    };
    for (const PasswordCase& c : cases) {
        SCOPED_TRACE(c.name);
        int prompts = 0;
        ArchiveReadHooks hooks;
        hooks.askPassword = [&]() {
            const auto& a = c.answers;
            ++prompts;
            return a.empty() ? std::nullopt : a[std::min<std::size_t>(prompts - 1, a.size() - 1)];
        };
        ArchiveReadResult r = readTestArchive(bytes, c.initial, hooks);
        EXPECT_EQ(bool(r.archive), c.loads) << r.error.toStdString();
        EXPECT_EQ(prompts, c.prompts);
        EXPECT_EQ(r.cancelled, !c.loads);
        if (c.loads) {
            EXPECT_EQ(r.typedPassword, kSecret);
        }
    }
}

// The one-byte password check lets about one wrong password in 256 through; those must still be
// told apart by the data failing, not taken as a broken archive or, worse, as loaded.
TEST(TestArchiveTest, EveryWrongPasswordIsToldApart) {
    const QByteArray bytes = build(threeKinds(), kSecret);
    auto zip = MemoryZip::open(bytes);
    ASSERT_TRUE(zip);
    for (int i = 0; i < 2000; ++i) {
        zip->setPassword(archivePassword("w" + std::to_string(i)));
        QByteArray out;
        ASSERT_EQ(zip->extract("WORD.doc", kMaxWordDocSize, out), ZipReadStatus::BadPassword) << i;
        ASSERT_TRUE(out.isEmpty());
    }
}

TEST(TestArchiveTest, SingleQuestionRunsToTheIntroduction) {
    TestArchive a = threeKinds();
    a.questions.resize(1);
    ArchiveReadResult r = readTestArchive(build(a), "");
    ASSERT_TRUE(r.archive) << r.error.toStdString();
    ASSERT_EQ(r.archive->questions.size(), 1u);
    EXPECT_EQ(r.archive->questions[0].body, fakePiece("page one"));
}

TEST(TestArchiveTest, AbsentOptionalEntriesGiveDefaults) {
    TestArchive a = threeKinds();
    a.settings139.reset();
    a.hasTextbooks = a.hasSlots = a.hasDifficulties = false;
    ArchiveReadResult r = readTestArchive(build(a), "");
    ASSERT_TRUE(r.archive) << r.error.toStdString();
    EXPECT_FALSE(r.archive->settings139);
    EXPECT_FALSE(r.archive->timeByDifficulty);

    QuestionSet set;
    RunState state;
    state.showMark = state.textbookDuringTest = state.answerReviewAllowed = true;
    state.textbookInReview = true;
    state.showIntroduction = state.referenceAllowed = false;
    state.markScale = {{"50", "old"}};
    applyTestArchive(std::move(*r.archive), set, state);
    EXPECT_FALSE(state.answerReviewAllowed || state.textbookDuringTest || state.textbookInReview ||
                 state.showMark || state.timeByDifficulty);
    EXPECT_TRUE(state.showIntroduction && state.referenceAllowed);
    ASSERT_EQ(state.markScale.size(), 1u); // the scale keeps what it had
    for (const TQuestionRec& q : set.questions) {
        EXPECT_EQ(q.difficulty, 50);
        EXPECT_EQ(q.timeLimitMs, 30000);
        EXPECT_TRUE(q.textbook.empty());
        EXPECT_EQ(q.rightSlots, (std::array<TSlotRec, 10>{}));
    }
}

TEST(TestArchiveTest, ApplyFillsLabelsAnswersAndSettings) {
    TestArchive a = threeKinds();
    a.settings.lockdownOff = true;
    QuestionSet set;
    RunState state;
    applyTestArchive(std::move(a), set, state);
    EXPECT_EQ(set.labels, (std::vector<std::string>{"A01", "B01", "D01"}));
    EXPECT_TRUE(state.lockdownOff && state.fixedOrder && state.showMark);
    EXPECT_TRUE(set.calculatorAllowed && set.testTimerOn && set.questionTimerOn);
    EXPECT_EQ(state.markCount, 3);
    EXPECT_EQ(set.answers[2].slots[0].number, 1);
    EXPECT_EQ(set.answers[2].slots[2].number, 3);
    EXPECT_EQ(set.answers[2].slots[3].number, 0);
    EXPECT_EQ(set.answers[2].slots[2].col, 15);
}

TEST(TestArchiveTest, TimeSharedOutByDifficulty) {
    QuestionSet set;
    RunState state;
    applyTestArchive(threeKinds(), set, state); // difficulties 1, 1, 2 and 00:04:00
    ASSERT_TRUE(state.timeByDifficulty);
    EXPECT_EQ(set.questions[0].timeLimitMs, 60000);
    EXPECT_EQ(set.questions[1].timeLimitMs, 60000);
    EXPECT_EQ(set.questions[2].timeLimitMs, 120000);

    // Odd shares round to the nearest millisecond; a zero weight gets nothing; all zero weights
    // share equally instead of dividing by zero.
    TestArchive b = threeKinds();
    b.settings.testTime = 100.0 / 86400;
    b.questions[0].difficulty = 0;
    b.questions[1].difficulty = 1;
    b.questions[2].difficulty = 2;
    applyTestArchive(std::move(b), set, state);
    EXPECT_EQ(set.questions[0].timeLimitMs, 0);
    EXPECT_EQ(set.questions[1].timeLimitMs, 33333);
    EXPECT_EQ(set.questions[2].timeLimitMs, 66667);
    TestArchive c = threeKinds();
    for (TQuestionRec& q : c.questions)
        q.difficulty = 0;
    applyTestArchive(std::move(c), set, state);
    EXPECT_EQ(set.questions[0].timeLimitMs, 80000);
}

TEST(TestArchiveTest, EmptyTimeTextKeepsThePreviousValue) {
    QuestionSet set;
    RunState state;
    applyTestArchive(threeKinds(), set, state);
    TestArchive next = threeKinds();
    next.settings.testTime.reset();
    next.settings.questionTime.reset();
    next.hasDifficulties = false;
    ArchiveReadResult r = readTestArchive(build(next), "");
    ASSERT_TRUE(r.archive);
    EXPECT_FALSE(r.archive->settings.testTime);
    applyTestArchive(std::move(*r.archive), set, state);
    EXPECT_EQ(timeOfDayMs(set.testTime), 240000);
    EXPECT_EQ(set.questions[0].timeLimitMs, 30000);
}

// 10000 means 100.00 %; read as "100" it would be taken for 1.00 % when the mark is chosen.
TEST(TestArchiveTest, ThresholdsKeepTheirStoredValue) {
    TestArchive a = threeKinds();
    a.settings139->markScale = {{"10000", "5"}, {"9999", "4"}, {"65535", "3"}};
    ArchiveReadResult r = readTestArchive(build(a), "");
    ASSERT_TRUE(r.archive);
    const auto& scale = r.archive->settings139->markScale;
    EXPECT_EQ(scale[0].threshold, "10000");
    EXPECT_EQ(scale[1].threshold, "9999");
    EXPECT_EQ(scale[2].threshold, "65535");
}

// A server learns from the settings alone whether a test needs a password and what its marks
// are, and never takes a wrong password for a right one.
TEST(TestArchiveTest, GradingIsReadFromTheSettingsAlone) {
    TestArchive a = threeKinds();
    a.settings139->markScale = {{"5000", "2"}, {"10000", "5"}};
    const QByteArray open = build(a);
    const QByteArray locked = build(a, kSecret);
    const struct {
        const char* what;
        const QByteArray& bytes;
        std::string typed;
        bool opened, badPassword;
    } cases[] = {
        {"no password", open, "", true, false},
        {"password needed", locked, "", false, true},
        {"wrong password", locked, "wrong", false, true},
        {"right password", locked, kSecret, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const TestGrading g = readTestGrading(c.bytes, c.typed);
        EXPECT_EQ(g.opened, c.opened);
        EXPECT_EQ(g.badPassword, c.badPassword);
        EXPECT_EQ(bool(g.settings139), c.opened);
        if (g.settings139) {
            ASSERT_EQ(g.settings139->markScale.size(), 2u);
            EXPECT_EQ(g.settings139->markScale[1].markText, "5");
        }
    }
    const TestGrading junk = readTestGrading(QByteArray("not an archive"), "");
    EXPECT_FALSE(junk.opened);
    EXPECT_FALSE(junk.error.isEmpty());
}

TEST(TestArchiveTest, UnknownKindsDroppedAndGroupsRestored) {
    TestArchive a = threeKinds();
    TQuestionRec odd = testing::question("C", "odd");
    TQuestionRec late = testing::question("A", "late");
    a.questions = {a.questions[1], odd, a.questions[0], late, a.questions[2]};
    for (int k = 0; k < 5; ++k)
        a.questions[std::size_t(k)].sourceNo = k + 1;
    QuestionSet set;
    RunState state;
    applyTestArchive(std::move(a), set, state);
    EXPECT_EQ(set.labels, (std::vector<std::string>{"A01", "A02", "B01", "D01"}));
    ASSERT_EQ(set.questions.size(), 4u);
    EXPECT_EQ(set.questions[0].sourceNo, 3);
    EXPECT_EQ(set.questions[1].sourceNo, 4);
    EXPECT_EQ(set.questions[2].sourceNo, 1);
    EXPECT_EQ(set.answers.size(), 4u);
}

TEST(TestArchiveTest, LongerKindTextStaysWholeInItsLabel) {
    TestArchive a = threeKinds();
    a.questions[0].kindText = "Ax";
    QuestionSet set;
    RunState state;
    applyTestArchive(std::move(a), set, state);
    EXPECT_EQ(set.labels[0], "Ax01");
}

TEST(CatalogueTrailerTest, EmptyFieldsAndZeroBytes) {
    // An empty comment still leaves its zero byte; a zero inside a field cannot survive.
    const CatalogueInfo empty{"", "10", "", ""};
    expectCatalogue(catalogueOf("PK..." + encodeCatalogueTrailer(empty)), empty);
    const CatalogueInfo zero{std::string("a\0b", 3), "9", "s", "t"};
    expectCatalogue(catalogueOf("PK..." + encodeCatalogueTrailer(zero)), {"ab", "9", "s", "t"});
}

} // namespace
} // namespace kvz

namespace kvz {
namespace {

// The pages of an archive in memory, handed out as the file writer asks for them; failAfter
// makes the source break after that many bytes.
ArchivePages pagesOf(const TestArchive& a, qint64 failAfter = -1) {
    struct State {
        QByteArray all;
        qint64 at = 0;
        qint64 failAfter;
    };
    auto state = std::make_shared<State>(State{{}, 0, failAfter});
    ArchivePages pages;
    auto add = [&](const QByteArray& page) {
        state->all += page;
        pages.sizes.push_back(page.size());
    };
    for (const TQuestionRec& q : a.questions)
        add(q.body);
    add(a.introduction);
    add(a.reference);
    pages.rewind = [state] {
        state->at = 0;
        return true;
    };
    pages.read = [state](char* to, qint64 most) -> qint64 {
        if (state->failAfter >= 0 && state->at >= state->failAfter)
            return -1;
        const qint64 n = std::min(most, state->all.size() - state->at);
        std::memcpy(to, state->all.constData() + state->at, std::size_t(n));
        state->at += n;
        return n;
    };
    return pages;
}

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST(TestArchiveFileTest, StreamedArchiveHoldsWhatTheMemoryWriterWrites) {
    TestArchive in = threeKinds();
    // A page over the writer's chunk size, so pages are read in several steps.
    in.questions[1].body = fakePiece(QByteArray(300000, 'x') + QByteArray(70000, 'y'));
    const CatalogueInfo info{"comment", "9", "subject", "T1"};
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.tst"));
    ASSERT_EQ(writeTestArchiveFile(path, in, pagesOf(in), kSecret, info), std::nullopt);
    const QByteArray streamed = fileBytes(path);
    const QByteArray memory = build(in, kSecret, info);

    // The same layout (the encryption headers alone are random) and the same trailer.
    ASSERT_EQ(streamed.size(), memory.size());
    const QByteArray trailer = encodeCatalogueTrailer(info);
    EXPECT_TRUE(streamed.endsWith(trailer));
    auto a = MemoryZip::open(streamed), b = MemoryZip::open(memory);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->entryNames(), b->entryNames());
    a->setPassword(archivePassword(kSecret));
    b->setPassword(archivePassword(kSecret));
    for (const std::string& name : b->entryNames()) {
        QByteArray x, y;
        ASSERT_EQ(a->extract(name, kMaxWordDocSize, x), ZipReadStatus::Ok) << name;
        ASSERT_EQ(b->extract(name, kMaxWordDocSize, y), ZipReadStatus::Ok) << name;
        EXPECT_EQ(x, y) << name;
    }
    ArchiveReadResult r = readTestArchive(streamed, kSecret);
    ASSERT_TRUE(r.archive) << r.error.toStdString();
    ASSERT_EQ(r.archive->questions.size(), in.questions.size());
    for (std::size_t k = 0; k < in.questions.size(); ++k)
        EXPECT_EQ(r.archive->questions[k].body, in.questions[k].body) << k;
    EXPECT_EQ(r.archive->reference, in.reference);
}

TEST(TestArchiveFileTest, AFailedWriteLeavesTheFormerFileAlone) {
    const TestArchive in = threeKinds();
    struct Case {
        const char* what;
        ArchivePages pages;
        CatalogueInfo info;
    };
    ArchivePages shortOfPages = pagesOf(in);
    shortOfPages.sizes.pop_back();
    const Case cases[] = {
        {"a page source that breaks half way", pagesOf(in, 10), {}},
        {"fewer pages than questions", shortOfPages, {}},
        {"a catalogue too long to be found", pagesOf(in), {std::string(70000, 'c'), "", "", ""}},
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("t.tst"));
        QFile former(path);
        ASSERT_TRUE(former.open(QIODevice::WriteOnly));
        former.write("the former test");
        former.close();
        const std::optional<QString> why = writeTestArchiveFile(path, in, c.pages, "", c.info);
        EXPECT_TRUE(why) << c.what;
        EXPECT_EQ(fileBytes(path), QByteArray("the former test")) << c.what;
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("t.tst")})
            << c.what << ": nothing left beside it";
    }
}

} // namespace
} // namespace kvz
