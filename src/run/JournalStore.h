#pragma once

// Where the run journal lives and how it reaches the disk: the user's XDG state folder, never
// the program or results folder (those may be shared or read-only). A write is atomic: a new
// file in the same folder, flushed, renamed over the old one, the folder flushed; a power cut
// leaves the old journal or the new one. Nothing here deletes a journal that was not finished:
// one that cannot be used is set aside under another name for the supervisor.
//
// Beside the journal: the user's journal key (32 random bytes, made at first use, readable by
// the user alone) that signs it, and the counter of runs that numbers each new run, so that
// only the latest run's journal reads. The key keeps a journal copied from elsewhere or edited
// from being taken as ours; it cannot keep out the user who owns the folder.

#include "run/RunJournal.h"

#include <QByteArray>
#include <QString>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>

namespace kvz {

class JournalStore {
public:
    // folder: where the journal lives; created (private to the user) on the first write.
    explicit JournalStore(QString folder);

    // $XDG_STATE_HOME/kvizor, or ~/.local/state/kvizor.
    static QString defaultFolder();

    const QString& folder() const { return folder_; }
    QString path() const;

    bool write(const QByteArray& bytes, QString* error = nullptr) const;

    // The user's journal key; made (with the folder) when create and there is none yet. A key
    // file that is not a regular file of kJournalKeySize bytes is no key: with create it is
    // replaced by a new one (a journal signed with the old one no longer reads).
    std::optional<QByteArray> key(bool create, QString* error = nullptr) const;
    // The number of the latest run begun (0 before the first).
    std::optional<std::uint64_t> lastRunNumber(QString* error = nullptr) const;
    // Counts a new run and returns its number, on disk before it is returned.
    std::optional<std::uint64_t> takeRunNumber(QString* error = nullptr) const;

    struct Loaded {
        bool exists = false; // a journal file is there
        std::optional<RunJournal> journal;
        JournalReadError error = JournalReadError::None;
        QString ioError; // the file is there but could not be read
    };
    // Reads at most kMaxJournalBytes of a regular file; a larger file counts as damaged, one
    // signed with another key as edited, one of an earlier run than the latest as replayed.
    Loaded read() const;

    // Renames the journal to "run-<date>-<time>[-n].journal.aside" beside it, replacing
    // nothing; returns the new path, or nullopt (with error) when it could not.
    std::optional<QString> setAside(QString* error = nullptr) const;

    // The run ended and its result is stored: the journal goes. True also when there was none.
    bool remove(QString* error = nullptr) const;

    // Test seam for the crash test: called at each stage of a write (on the writing thread).
    enum class WriteStage { HalfWritten, Flushed, Renamed };
    static void setWriteHookForTesting(void (*hook)(WriteStage));

private:
    QString folder_;
};

// Only one copy of the program keeps a run for a user: a lock on the state folder, held while
// the copy runs, released by the system when the copy ends however it ends.
class JournalLock {
public:
    enum class State {
        Held,       // this copy holds it
        Busy,       // another copy holds it
        Unavailable // the folder cannot be made or locked: nothing to share, nothing kept
    };
    explicit JournalLock(QString folder);
    ~JournalLock();
    JournalLock(const JournalLock&) = delete;
    JournalLock& operator=(const JournalLock&) = delete;
    // Takes the lock without waiting; once held it stays held.
    State claim();
    bool held() const { return fd_ >= 0; }

private:
    QString folder_;
    int fd_ = -1;
};

// Writes journals on a thread of its own so a slow disk never holds the clock or a paint. Only
// the latest state matters: a write still waiting is replaced by a newer one, and remove()
// drops a waiting write, so a finished run's journal never comes back after it was removed.
class JournalWriter {
public:
    explicit JournalWriter(JournalStore store);
    ~JournalWriter(); // finishes what is waiting
    JournalWriter(const JournalWriter&) = delete;
    JournalWriter& operator=(const JournalWriter&) = delete;

    const JournalStore& store() const { return store_; }

    void save(QByteArray encoded);
    void remove();
    // Waits until everything asked for so far is on disk (or failed).
    void flush();
    // The last failure of a write or a removal, empty when the last one went well.
    QString lastError() const;

private:
    enum class Op { None, Write, Remove };
    void run();

    JournalStore store_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    Op pending_ = Op::None;
    QByteArray pendingBytes_;
    bool busy_ = false;
    bool stopping_ = false;
    QString lastError_;
    std::thread thread_;
};

} // namespace kvz
