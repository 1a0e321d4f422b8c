#include "shell/NamedFile.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kvz {

namespace {

// A descriptor of the regular file under path, opened without waiting on a pipe, or -1 with
// *error set.
int openRegular(const QString& path, struct stat* st, QString* error) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (error)
            *error = QStringLiteral("cannot be read (%1)")
                         .arg(QString::fromLocal8Bit(std::strerror(errno)));
        return -1;
    }
    if (::fstat(fd, st) != 0 || !S_ISREG(st->st_mode)) {
        ::close(fd);
        if (error)
            *error = QStringLiteral("not a regular file");
        return -1;
    }
    return fd;
}

} // namespace

std::optional<QByteArray> readNamedFile(const QString& path, qint64 cap, QString* error) {
    auto fail = [&](const QString& why) -> std::optional<QByteArray> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    struct stat st {};
    const int fd = openRegular(path, &st, error);
    if (fd < 0)
        return std::nullopt;
    if (st.st_size > cap) {
        ::close(fd);
        return fail(QStringLiteral("larger than %1 bytes").arg(cap));
    }
    // The size may change while it is read: read to the end, but never past the cap.
    QByteArray bytes(qsizetype(st.st_size), Qt::Uninitialized);
    qint64 got = 0;
    for (;;) {
        if (got == bytes.size()) {
            if (got > cap)
                break;
            bytes.resize(qsizetype(std::min<qint64>(cap + 1, got + 64 * 1024)));
            if (got == bytes.size())
                break;
        }
        const ssize_t n = ::read(fd, bytes.data() + got, std::size_t(bytes.size() - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int e = errno;
            ::close(fd);
            return fail(QStringLiteral("cannot be read (%1)")
                            .arg(QString::fromLocal8Bit(std::strerror(e))));
        }
        if (n == 0)
            break;
        got += n;
    }
    ::close(fd);
    if (got > cap)
        return fail(QStringLiteral("larger than %1 bytes").arg(cap));
    bytes.resize(qsizetype(got));
    return bytes;
}

bool openNamedFile(const QString& path, QFile* file, QString* error) {
    struct stat st {};
    const int fd = openRegular(path, &st, error);
    if (fd < 0)
        return false;
    // Opened again by name so that the file keeps its name (the run journal records it); the
    // name is checked to still be the file just looked at.
    file->setFileName(path);
    const bool opened = file->open(QIODevice::ReadOnly);
    struct stat again {};
    const bool same = opened && ::fstat(file->handle(), &again) == 0 && again.st_dev == st.st_dev &&
                      again.st_ino == st.st_ino;
    ::close(fd);
    if (same)
        return true;
    if (error)
        *error = opened ? QStringLiteral("changed while it was opened") : file->errorString();
    file->close();
    return false;
}

} // namespace kvz
