#include "run/JournalStore.h"

#include "shell/NamedFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QtGlobal>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kvz {

namespace {

std::atomic<void (*)(JournalStore::WriteStage)> writeHook{nullptr};

void stage(JournalStore::WriteStage s) {
    if (auto hook = writeHook.load())
        hook(s);
}

const QString kJournalName = QStringLiteral("run.journal");
const QString kNewName = QStringLiteral(".run.journal.new");
const QString kKeyName = QStringLiteral("journal.key");
const QString kCounterName = QStringLiteral("journal.counter");
constexpr qint64 kCounterSize = 8;

QString errnoText(const QString& what, int err) {
    return what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(err));
}

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= std::size_t(n);
    }
    return true;
}

bool syncFolder(const QString& folder) {
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

bool makeFolder(const QString& folder) {
    if (QDir(folder).exists())
        return true;
    if (!QDir().mkpath(folder))
        return false;
    // The journal says who sat which test with which answers: the user's eyes only.
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return true;
}

// Writes bytes under a fresh name in folder, flushed, then gives it the name target: replacing
// what is there, or (noReplace) only when nothing is. Mode 0600: both files are the user's alone.
bool placeFile(const QString& folder, const QString& target, const QByteArray& bytes,
               bool noReplace, QString* error) {
    auto fail = [&](const QString& what, int err) {
        if (error)
            *error = errnoText(what, err);
        return false;
    };
    if (!makeFolder(folder)) {
        if (error)
            *error = QStringLiteral("cannot create the folder ") + folder;
        return false;
    }
    const QString fresh = folder + QStringLiteral("/.") + QFileInfo(target).fileName() +
                          QLatin1Char('.') + QString::number(::getpid()) + QStringLiteral(".new");
    const QByteArray freshName = QFile::encodeName(fresh);
    const int fd =
        ::open(freshName.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return fail(fresh, errno);
    if (!writeAll(fd, bytes.constData(), std::size_t(bytes.size())) || ::fsync(fd) != 0) {
        const int err = errno;
        ::close(fd);
        ::unlink(freshName.constData());
        return fail(fresh, err);
    }
    ::close(fd);
    const QByteArray to = QFile::encodeName(target);
    const int placed = noReplace ? ::link(freshName.constData(), to.constData())
                                 : ::rename(freshName.constData(), to.constData());
    const int err = errno;
    if (noReplace || placed != 0)
        ::unlink(freshName.constData());
    if (placed != 0)
        return fail(target, err);
    syncFolder(folder);
    return true;
}

} // namespace

JournalStore::JournalStore(QString folder) : folder_(std::move(folder)) {}

QString JournalStore::defaultFolder() {
#if QT_VERSION >= QT_VERSION_CHECK(6, 7, 0)
    const QString state = QStandardPaths::writableLocation(QStandardPaths::GenericStateLocation);
    if (!state.isEmpty())
        return state + QStringLiteral("/kvizor");
#endif
    const QString xdg = qEnvironmentVariable("XDG_STATE_HOME");
    // The XDG rules ignore a relative path here.
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
        return xdg + QStringLiteral("/kvizor");
    return QDir::homePath() + QStringLiteral("/.local/state/kvizor");
}

QString JournalStore::path() const {
    return folder_ + QLatin1Char('/') + kJournalName;
}

bool JournalStore::write(const QByteArray& bytes, QString* error) const {
    auto fail = [&](const QString& text) {
        if (error)
            *error = text;
        return false;
    };
    if (!makeFolder(folder_))
        return fail(QStringLiteral("cannot create the folder ") + folder_);
    const QString fresh = folder_ + QLatin1Char('/') + kNewName;
    const QByteArray freshName = QFile::encodeName(fresh);
    const int fd = ::open(freshName.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return fail(errnoText(fresh, errno));
    const std::size_t half = std::size_t(bytes.size()) / 2;
    bool written = writeAll(fd, bytes.constData(), half);
    stage(WriteStage::HalfWritten);
    written = written && writeAll(fd, bytes.constData() + half, std::size_t(bytes.size()) - half);
    if (!written || ::fsync(fd) != 0) {
        const int err = errno;
        ::close(fd);
        ::unlink(freshName.constData());
        return fail(errnoText(fresh, err));
    }
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(freshName.constData());
        return fail(errnoText(fresh, err));
    }
    stage(WriteStage::Flushed);
    if (::rename(freshName.constData(), QFile::encodeName(path()).constData()) != 0) {
        const int err = errno;
        ::unlink(freshName.constData());
        return fail(errnoText(path(), err));
    }
    stage(WriteStage::Renamed);
    if (!syncFolder(folder_))
        return fail(errnoText(folder_, errno));
    return true;
}

std::optional<QByteArray> JournalStore::key(bool create, QString* error) const {
    const QString file = folder_ + QLatin1Char('/') + kKeyName;
    QString why;
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::optional<QByteArray> bytes = readNamedFile(file, qint64(kJournalKeySize), &why);
        if (bytes && std::size_t(bytes->size()) == kJournalKeySize)
            return bytes;
        const QFileInfo info(file);
        const bool missing = !info.exists() && !info.isSymLink();
        if (!create) {
            if (error)
                *error = missing ? QStringLiteral("there is no journal key")
                                 : QStringLiteral("the journal key %1")
                                       .arg(bytes ? QStringLiteral("is damaged") : why);
            return std::nullopt;
        }
        QByteArray fresh(qsizetype(kJournalKeySize), Qt::Uninitialized);
        QRandomGenerator::system()->generate(fresh.begin(), fresh.end());
        // A first key never replaces one another copy has just made; a damaged one is replaced.
        if (placeFile(folder_, file, fresh, missing, &why))
            return fresh;
        if (!missing)
            break; // else another copy made one first: it is read on the next round
    }
    if (error)
        *error = QStringLiteral("the journal key cannot be made: ") + why;
    return std::nullopt;
}

std::optional<std::uint64_t> JournalStore::lastRunNumber(QString* error) const {
    const QString file = folder_ + QLatin1Char('/') + kCounterName;
    const QFileInfo info(file);
    if (!info.exists() && !info.isSymLink())
        return std::uint64_t(0);
    QString why;
    const std::optional<QByteArray> bytes = readNamedFile(file, kCounterSize, &why);
    if (!bytes || bytes->size() != kCounterSize) {
        if (error)
            *error = QStringLiteral("the run counter %1")
                         .arg(bytes ? QStringLiteral("is damaged") : why);
        return std::nullopt;
    }
    std::uint64_t n = 0;
    for (int i = 0; i < int(kCounterSize); ++i)
        n |= std::uint64_t(std::uint8_t((*bytes)[i])) << (8 * i);
    return n;
}

std::optional<std::uint64_t> JournalStore::takeRunNumber(QString* error) const {
    // The number also follows the wall clock, so a counter that was lost or damaged still never
    // gives a number an earlier run had.
    const std::uint64_t last = lastRunNumber().value_or(0);
    const std::uint64_t now =
        std::uint64_t(std::max<qint64>(0, QDateTime::currentMSecsSinceEpoch()));
    const std::uint64_t next = std::max(last + 1, now);
    QByteArray bytes(qsizetype(kCounterSize), Qt::Uninitialized);
    for (int i = 0; i < int(kCounterSize); ++i)
        bytes[i] = char(std::uint8_t(next >> (8 * i)));
    if (!placeFile(folder_, folder_ + QLatin1Char('/') + kCounterName, bytes, false, error))
        return std::nullopt;
    return next;
}

JournalStore::Loaded JournalStore::read() const {
    Loaded loaded;
    const QFileInfo info(path());
    if (!info.exists() && !info.isSymLink())
        return loaded;
    loaded.exists = true;
    // A pipe under the journal's name would hold the start for ever, a device feed it without
    // end: only a regular file is read, and it is set aside like a damaged one.
    QString why;
    const std::optional<QByteArray> bytes = readNamedFile(path(), qint64(kMaxJournalBytes), &why);
    if (!bytes) {
        if (why.startsWith(QLatin1String("larger")))
            loaded.error = JournalReadError::BadLength;
        else
            loaded.ioError = QStringLiteral("the journal %1").arg(why);
        return loaded;
    }
    const std::optional<QByteArray> signingKey = key(false);
    if (!signingKey) {
        loaded.error = JournalReadError::NoKey;
        return loaded;
    }
    JournalReadResult result = decodeJournal(*bytes, *signingKey);
    if (result.journal) {
        // Only the journal of the latest run begun: an older one, however genuine, would give
        // back time and answers that run had already spent or changed.
        const std::optional<std::uint64_t> latest = lastRunNumber();
        if (!latest || *latest != result.journal->runNumber) {
            loaded.error = JournalReadError::Replayed;
            return loaded;
        }
    }
    loaded.journal = std::move(result.journal);
    loaded.error = result.error;
    return loaded;
}

std::optional<QString> JournalStore::setAside(QString* error) const {
    const QByteArray from = QFile::encodeName(path());
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    for (int n = 1; n < 1000; ++n) {
        QString name = QStringLiteral("run-") + stamp;
        if (n > 1)
            name += QLatin1Char('-') + QString::number(n);
        const QString target = folder_ + QLatin1Char('/') + name + QStringLiteral(".journal.aside");
        const QByteArray to = QFile::encodeName(target);
        // link + unlink never replaces a journal set aside before.
        if (::link(from.constData(), to.constData()) == 0) {
            ::unlink(from.constData());
            syncFolder(folder_);
            return target;
        }
        if (errno == EEXIST)
            continue;
        if (errno == ENOENT)
            break;
        // A file system without hard links: a plain rename after a look.
        if (QFile::exists(target))
            continue;
        if (::rename(from.constData(), to.constData()) == 0) {
            syncFolder(folder_);
            return target;
        }
        break;
    }
    if (error)
        *error = errnoText(path(), errno);
    return std::nullopt;
}

bool JournalStore::remove(QString* error) const {
    if (::unlink(QFile::encodeName(path()).constData()) != 0 && errno != ENOENT) {
        if (error)
            *error = errnoText(path(), errno);
        return false;
    }
    syncFolder(folder_);
    return true;
}

JournalLock::JournalLock(QString folder) : folder_(std::move(folder)) {}

JournalLock::~JournalLock() {
    if (fd_ >= 0)
        ::close(fd_);
}

JournalLock::State JournalLock::claim() {
    if (fd_ >= 0)
        return State::Held;
    if (!makeFolder(folder_))
        return State::Unavailable;
    // The folder itself is locked: nothing needs to be written for it, so a folder that has
    // become read-only still keeps a second copy out.
    const int fd =
        ::open(QFile::encodeName(folder_).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return State::Unavailable;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        return err == EWOULDBLOCK ? State::Busy : State::Unavailable;
    }
    fd_ = fd;
    return State::Held;
}

void JournalStore::setWriteHookForTesting(void (*hook)(WriteStage)) {
    writeHook = hook;
}

JournalWriter::JournalWriter(JournalStore store)
    : store_(std::move(store)), thread_([this] { run(); }) {}

JournalWriter::~JournalWriter() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void JournalWriter::save(QByteArray encoded) {
    {
        std::lock_guard lock(mutex_);
        pending_ = Op::Write;
        pendingBytes_ = std::move(encoded);
    }
    wake_.notify_all();
}

void JournalWriter::remove() {
    {
        std::lock_guard lock(mutex_);
        pending_ = Op::Remove;
        pendingBytes_.clear();
    }
    wake_.notify_all();
}

void JournalWriter::flush() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return pending_ == Op::None && !busy_; });
}

QString JournalWriter::lastError() const {
    std::lock_guard lock(mutex_);
    return lastError_;
}

void JournalWriter::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || pending_ != Op::None; });
        if (pending_ == Op::None) {
            if (stopping_)
                return;
            continue;
        }
        const Op op = pending_;
        const QByteArray bytes = std::move(pendingBytes_);
        pending_ = Op::None;
        pendingBytes_ = QByteArray();
        busy_ = true;
        lock.unlock();
        QString error;
        if (op == Op::Write)
            store_.write(bytes, &error);
        else
            store_.remove(&error);
        lock.lock();
        busy_ = false;
        lastError_ = error;
        idle_.notify_all();
    }
}

} // namespace kvz
