#include "run/JournalKeeper.h"

#include "results/ResultArchive.h"
#include "results/ResultPassword.h"
#include "shell/Clock.h"
#include "shell/NamedFile.h"
#include "test/TestArchive.h"
#include "test/ZipMemory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace kvz {

JournalKeeper::JournalKeeper(JournalStore store)
    : writer_(std::move(store)), lock_(writer_.store().folder()) {}

void JournalKeeper::begin(RunJournal identity, const QuestionSet& set, const RunState& state,
                          int current) {
    // A resumed journal keeps its finished flag: a run that had ended never opens again.
    journal_ = std::move(identity);
    active_ = true;
    broken_ = false;
    failure_.clear();
    failureTaken_ = false;
    ticks_ = 0;
    const JournalStore& store = writer_.store();
    QString error;
    if (lock_.claim() == JournalLock::State::Busy) {
        // Another copy keeps its run in this folder: its journal is never touched from here.
        broken_ = true;
        failure_ = QStringLiteral("another copy of the program holds ") + store.folder();
        return;
    }
    std::optional<QByteArray> key = key_.isEmpty() ? store.key(true, &error) : key_;
    std::optional<std::uint64_t> number;
    if (key && journal_.runNumber == 0)
        number = store.takeRunNumber(&error);
    else if (key)
        number = journal_.runNumber;
    if (!key || !number) {
        broken_ = true;
        failure_ = error;
        return;
    }
    key_ = *key;
    journal_.runNumber = *number;
    write(set, state, current);
    writer_.flush();
}

std::optional<QString> JournalKeeper::takeFailure() {
    if (!active_ || failureTaken_)
        return std::nullopt;
    QString why = failure_;
    if (why.isEmpty() && !broken_)
        why = writer_.lastError();
    if (why.isEmpty())
        return std::nullopt;
    failureTaken_ = true;
    return why;
}

void JournalKeeper::record(const QuestionSet& set, const RunState& state, int current) {
    if (!active_)
        return;
    ticks_ = 0;
    write(set, state, current);
}

void JournalKeeper::tick(const QuestionSet& set, const RunState& state, int current) {
    if (!active_ || ++ticks_ < kTicksPerWrite)
        return;
    ticks_ = 0;
    write(set, state, current);
}

void JournalKeeper::finishing(const QuestionSet& set, const RunState& state, int current) {
    if (!active_ || broken_)
        return;
    journal_.finished = true;
    journal_.finishTime = state.finishTime;
    write(set, state, current);
    // On disk before the result is stored, so a crash after storing it is known as such.
    writer_.flush();
}

void JournalKeeper::end() {
    if (!active_)
        return;
    active_ = false;
    if (!broken_)
        writer_.remove();
}

void JournalKeeper::write(const QuestionSet& set, const RunState& state, int current) {
    if (broken_)
        return;
    captureRun(journal_, set, state, current);
    journal_.savedAt = clock::now();
    ++journal_.sequence;
    writer_.save(encodeJournal(journal_, key_));
}

UnfinishedRun checkUnfinishedRun(const JournalStore& store, const QString& testFolder,
                                 std::size_t maxArchiveBytes) {
    UnfinishedRun run;
    JournalStore::Loaded loaded = store.read();
    if (!loaded.exists)
        return run;
    run.verdict = UnfinishedRun::Verdict::SetAside;
    if (!loaded.journal) {
        run.reason = loaded.ioError.isEmpty() ? QString::fromLatin1(journalErrorText(loaded.error))
                                              : loaded.ioError;
        return run;
    }
    run.journal = std::move(*loaded.journal);
    if (run.journal.mode == JournalMode::Server) {
        run.verdict = UnfinishedRun::Verdict::Resume;
        return run;
    }
    // The test is looked for where tests are now, by its name there: the journal names no path.
    const QString testPath = testFolder + QLatin1Char('/') + run.journal.testFile;
    if (!QFileInfo::exists(testPath)) {
        run.reason = QStringLiteral("the test file %1 is gone").arg(testPath);
        return run;
    }
    QString why;
    std::optional<QByteArray> read = readNamedFile(testPath, qint64(maxArchiveBytes), &why);
    if (!read) {
        run.reason = QStringLiteral("the test file %1 cannot be read: %2").arg(testPath, why);
        return run;
    }
    QByteArray bytes = std::move(*read);
    if (sha256(bytes) != run.journal.archiveSha256) {
        run.reason = QStringLiteral("the test file %1 has changed").arg(testPath);
        return run;
    }
    run.archive = std::move(bytes);
    run.verdict = UnfinishedRun::Verdict::Resume;
    return run;
}

std::optional<QString> findStoredResult(const QString& folder, const QByteArray& summaryEntry,
                                        int maxFiles) {
    const QDir dir(folder);
    // Newest first: a result stored just before a crash is among the last ones.
    const QStringList names = dir.entryList({QStringLiteral("*.rst")}, QDir::Files, QDir::Time);
    int opened = 0;
    for (const QString& name : names) {
        if (++opened > maxFiles)
            break;
        // A result archive is small and a regular file; anything else is not ours (a pipe or a
        // device planted under a result's name is passed by at once).
        const QString path = dir.filePath(name);
        const std::optional<QByteArray> bytes = readNamedFile(path, qint64(4) << 20, nullptr);
        if (!bytes)
            continue;
        auto zip = MemoryZip::open(*bytes);
        if (!zip)
            continue;
        zip->setPassword(resultPassword());
        QByteArray summary;
        if (zip->extract(kSummaryEntryName, std::size_t(summaryEntry.size()) + 1, summary) ==
                ZipReadStatus::Ok &&
            summary == summaryEntry)
            return path;
    }
    return std::nullopt;
}

std::optional<ResumedPieces> loadResumedRun(const RunJournal& journal, QByteArray archive,
                                            QuestionSet& set, RunState& state, QString* reason) {
    ArchiveReadResult read = readTestArchive(std::move(archive), journal.typedPassword);
    if (!read.archive) {
        if (reason)
            *reason = QStringLiteral("the test archive does not open: ") + read.error;
        return std::nullopt;
    }
    ResumedPieces pieces{std::move(read.archive->introduction), std::move(read.archive->reference)};
    applyTestArchive(std::move(*read.archive), set, state);
    if (!restoreRun(journal, set, state)) {
        if (reason)
            *reason = QStringLiteral("the journal does not fit its test");
        return std::nullopt;
    }
    return pieces;
}

} // namespace kvz
