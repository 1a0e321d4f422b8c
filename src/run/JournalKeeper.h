#pragma once

// Keeps the journal of the run that is on: written when the run starts, after every change of
// an answer and every arrival at a question, every few ticks of the clock, and when the test
// ends; removed once the result is stored. The encoding happens here, the disk work on the
// writer's thread.
//
// At start, checkUnfinishedRun() says whether a journal is waiting and whether its test is
// still the one it was taken on.

#include "run/JournalStore.h"
#include "run/RunJournal.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>

namespace kvz {

class JournalKeeper {
public:
    // The clock writes the journal every this many ticks: a crash gives back at most as many
    // seconds, never takes any.
    static constexpr int kTicksPerWrite = 3;

    explicit JournalKeeper(JournalStore store);

    // Takes the state folder's lock for this copy of the program (see JournalLock); begin()
    // takes it too when nobody did before.
    JournalLock::State claim() { return lock_.claim(); }

    // A run begins (a new one, or one brought back): identity holds what names the test and
    // the examinee; the rest is taken from the set and the state now. A new run (runNumber 0)
    // is given the next number of the counter. The first write is on disk before it returns,
    // so a journal that cannot be kept is known at once (takeFailure).
    void begin(RunJournal identity, const QuestionSet& set, const RunState& state, int current);
    bool active() const { return active_; }
    // Why the run is not being kept, once per run: the first failure since begin(), and only
    // the first; nullopt while all is well or once it was taken.
    std::optional<QString> takeFailure();

    // An answer changed or the cursor moved: written at once.
    void record(const QuestionSet& set, const RunState& state, int current);
    // One tick of the clock: written every kTicksPerWrite ticks.
    void tick(const QuestionSet& set, const RunState& state, int current);
    // The test has ended (finishTime set), its result not yet stored. Returns once the record
    // is on disk.
    void finishing(const QuestionSet& set, const RunState& state, int current);
    // The result is stored (and sent): the journal goes.
    void end();

    // Blocks until what was asked is on disk; for the exit path and the tests.
    void flush() { writer_.flush(); }
    QString lastError() const { return writer_.lastError(); }

    const RunJournal& journal() const { return journal_; }
    const JournalStore& store() const { return writer_.store(); }

private:
    void write(const QuestionSet& set, const RunState& state, int current);

    JournalWriter writer_;
    JournalLock lock_;
    RunJournal journal_;
    QByteArray key_;
    bool active_ = false;
    // The run is not kept (no lock, no key, no number): nothing is written, nothing removed.
    bool broken_ = false;
    QString failure_;
    bool failureTaken_ = false;
    int ticks_ = 0;
};

struct UnfinishedRun {
    enum class Verdict {
        None,     // no journal: an ordinary start
        Resume,   // journal and test fit: bring the run back
        SetAside, // the journal cannot be used: keep it aside and tell the supervisor
    };
    Verdict verdict = Verdict::None;
    RunJournal journal;
    // Local and profile runs: the archive's bytes, already checked against the journal.
    QByteArray archive;
    // Why a journal is set aside, for the log (plain English, never shown to the pupil).
    QString reason;
};

// Reads the waiting journal and, for a local or profile run, the test file it names in
// testFolder (at most maxArchiveBytes of a regular file), checked against the saved SHA-256. A
// server run's archive comes from the server, so its journal is only read here.
UnfinishedRun checkUnfinishedRun(const JournalStore& store, const QString& testFolder,
                                 std::size_t maxArchiveBytes);

// Opens a checked archive with the saved password (never asking) and puts the saved run onto
// it: questions in the saved order, answers, clocks, names and times. Returns the archive's
// introduction and reference pieces for their windows; nullopt (with reason) when the archive
// does not open or the journal does not fit it.
struct ResumedPieces {
    QByteArray introduction;
    QByteArray reference;
};
std::optional<ResumedPieces> loadResumedRun(const RunJournal& journal, QByteArray archive,
                                            QuestionSet& set, RunState& state,
                                            QString* reason = nullptr);

// A run that had ended may have stored its result just before the program stopped. Before it
// is stored again, the results folder is searched for a result whose summary entry (examinee,
// test, counts, start and finish time to the millisecond) is this one; its path, or nullopt.
// At most maxFiles result files are opened.
std::optional<QString> findStoredResult(const QString& folder, const QByteArray& summaryEntry,
                                        int maxFiles = 10000);

} // namespace kvz
