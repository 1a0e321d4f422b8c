#pragma once

// The run journal: what a run has come to, kept on disk while it goes on, so that a power cut,
// a frozen workstation or a killed program costs the pupil neither answers nor time.
//
// The journal names the test (its file name in the test folder, or what the server offered)
// with a SHA-256 of the archive bytes, the examinee, the rules the run started under, the
// presented order of the questions, every answer and clock and the current item. It never holds
// a right answer: the question records are rebuilt from the archive itself when the run is
// resumed. Nor does it hold what the profile or the settings give again at the next start
// (where the result goes, what runs after the test): a journal is data, never a command.
//
// The bytes: "KVZJ", format version (u16), reserved (u16), payload length (u32), payload, then
// an HMAC-SHA256 of everything before it under the user's own journal key. A journal that is
// cut short, damaged, edited by hand or signed with another key fails the check and is set
// aside, never half read.

#include "shell/RunState.h"
#include "test/QuestionSet.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kvz {

enum class JournalMode : std::uint8_t { Local = 0, Profile = 1, Server = 2 };

struct JournalAnswer {
    std::array<bool, kMaxChoices> chosen{};
    std::string text;
    std::array<std::uint8_t, kMaxSlots> slotNumbers{};
    bool touched = false;
    bool operator==(const JournalAnswer&) const = default;
};

// One list position: which archive question is shown there, its clocks and its answer.
struct JournalItem {
    std::int32_t sourceNo = 0;
    std::int32_t timeLeftMs = 0;
    std::int32_t timeSpentMs = 0;
    JournalAnswer answer;
    bool operator==(const JournalItem&) const = default;
};

// The rules the run started under. A test that sets no order or no times inherits them from
// the test taken before it in the same program, which a fresh start does not know: the run
// comes back under these, not under what the archive alone would give.
struct JournalRules {
    bool fixedOrder = false;
    bool lockdownOff = false;
    bool testTimerOn = false;
    bool questionTimerOn = false;
    bool calculatorAllowed = false;
    bool textbookDuringTest = false;
    bool textbookInReview = false;
    bool answerReviewAllowed = false;
    bool referenceAllowed = false;
    DateTime testTime = 0;
    DateTime questionTime = 0;
    bool operator==(const JournalRules&) const = default;
};

struct RunJournal {
    JournalMode mode = JournalMode::Local;
    // Local and profile runs: the archive's file name in the test folder, never a path.
    QString testFile;
    // Server runs: where the server was and what it offered (Windows-1251 texts).
    QString serverHost;
    std::uint16_t serverPort = 0;
    std::string offerFile;
    std::string offerClass;
    std::string offerSubject;
    std::int64_t offerSize = 0;
    QByteArray archiveSha256; // 32 bytes

    // The test password that opened the archive, so a resumed run opens it without asking
    // again. Stored masked (see the .cpp); the journal lives in the pupil's own folder.
    std::string typedPassword;

    std::string testName;
    std::string testSubject;
    std::string examineeName;
    std::string examineeClass;
    JournalRules rules;

    DateTime startTime = 0;
    DateTime reportedStartTime = 0;
    DateTime serverStartTime = 0;
    DateTime savedAt = 0; // wall clock of the write, for the supervisor's messages only

    std::int32_t testTimeLeftMs = 0;
    std::int32_t currentItem = 0; // 0-based list position
    // The test ended (FinishTest ran) and its result was not yet known to be stored: a resumed
    // run goes straight to the results with the saved finish time.
    bool finished = false;
    DateTime finishTime = 0;
    std::uint64_t sequence = 0; // counts the writes of this run
    // The number this run was given at its start from the counter beside the key: only the
    // journal of the latest run reads, so an older journal put back in its place does not.
    std::uint64_t runNumber = 0;

    std::vector<JournalItem> items; // list order

    bool operator==(const RunJournal&) const = default;
};

inline constexpr std::uint16_t kJournalVersion = 2;
// Caps that bound what a reader allocates, whatever the file says.
inline constexpr std::size_t kMaxJournalBytes = std::size_t(16) << 20;
inline constexpr std::size_t kMaxJournalText = 64 * 1024; // one answer or name
inline constexpr std::size_t kMaxJournalPath = 32 * 1024; // a path, in UTF-8 bytes
inline constexpr std::size_t kJournalHeaderSize = 4 + 2 + 2 + 4;
inline constexpr std::size_t kJournalMacSize = 32;
inline constexpr std::size_t kJournalKeySize = 32;

// key: the user's journal key (kJournalKeySize bytes).
QByteArray encodeJournal(const RunJournal& journal, const QByteArray& key);
// Wraps payload bytes in the header and the checksum, as encodeJournal does with its own: for
// the fuzzer and the tests, which need the reader to look past the checksum.
QByteArray sealJournalPayload(const QByteArray& payload, const QByteArray& key);

enum class JournalReadError {
    None,
    TooShort,
    BadMagic,
    NewerVersion,
    BadLength,
    BadChecksum,
    BadContent,
    NoKey,
    Replayed
};
struct JournalReadResult {
    std::optional<RunJournal> journal;
    JournalReadError error = JournalReadError::None;
};
// Never trusts a size or count it finds; any fault gives an error, never a partial journal.
JournalReadResult decodeJournal(const QByteArray& bytes, const QByteArray& key);
const char* journalErrorText(JournalReadError error);

QByteArray sha256(const QByteArray& bytes);

// What a run has come to, taken from the question set and the run state. The identity fields
// (mode, test, server, password, examinee, run number) are the caller's; the rules are taken
// here too (they do not change during a run).
void captureRun(RunJournal& journal, const QuestionSet& set, const RunState& state,
                int currentItem);

// Puts a journal back onto a freshly loaded test (questions in archive order, as the loader
// leaves them): the saved rules, order, answers and clocks, the run state's times and names. Time
// while the program was not running does not count: the clocks stand exactly as saved, and
// nothing is taken off for the gap between the last write and now.
// Returns false, changing nothing, when the journal does not fit this test (another question
// count, an order that is not a permutation of it or moves a question out of its kind, a clock
// beyond its budget, a marker number out of range).
bool restoreRun(const RunJournal& journal, QuestionSet& set, RunState& state);

} // namespace kvz
