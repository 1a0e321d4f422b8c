#include "run/JournalStore.h"

#include "shell/NamedFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QtGlobal>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
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
    JournalReadResult result = decodeJournal(*bytes);
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
