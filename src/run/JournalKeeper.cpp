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

JournalKeeper::JournalKeeper(JournalStore store) : writer_(std::move(store)) {}

void JournalKeeper::begin(RunJournal identity, const QuestionSet& set, const RunState& state,
                          int current) {
    // A resumed journal keeps its finished flag: a run that had ended never opens again.
    journal_ = std::move(identity);
    active_ = true;
    ticks_ = 0;
    write(set, state, current);
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
    if (!active_)
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
    writer_.remove();
}

void JournalKeeper::write(const QuestionSet& set, const RunState& state, int current) {
    captureRun(journal_, set, state, current);
    journal_.savedAt = clock::now();
    ++journal_.sequence;
    writer_.save(encodeJournal(journal_));
}

UnfinishedRun checkUnfinishedRun(const JournalStore& store, std::size_t maxArchiveBytes) {
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
    if (!QFileInfo::exists(run.journal.testPath)) {
        run.reason = QStringLiteral("the test file %1 is gone").arg(run.journal.testPath);
        return run;
    }
    QString why;
    std::optional<QByteArray> read =
        readNamedFile(run.journal.testPath, qint64(maxArchiveBytes), &why);
    if (!read) {
        run.reason =
            QStringLiteral("the test file %1 cannot be read: %2").arg(run.journal.testPath, why);
        return run;
    }
    QByteArray bytes = std::move(*read);
    if (sha256(bytes) != run.journal.archiveSha256) {
        run.reason = QStringLiteral("the test file %1 has changed").arg(run.journal.testPath);
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
        QFile file(dir.filePath(name));
        // A result archive is small; anything large is not ours.
        if (file.size() > (qint64(4) << 20) || !file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray bytes = file.readAll();
        auto zip = MemoryZip::open(bytes);
        if (!zip)
            continue;
        zip->setPassword(resultPassword());
        QByteArray summary;
        if (zip->extract(kSummaryEntryName, std::size_t(summaryEntry.size()) + 1, summary) ==
                ZipReadStatus::Ok &&
            summary == summaryEntry)
            return file.fileName();
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
