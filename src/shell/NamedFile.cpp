#include "shell/NamedFile.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kvz {

std::optional<QByteArray> readNamedFile(const QString& path, qint64 cap, QString* error) {
    auto fail = [&](const QString& why) -> std::optional<QByteArray> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return fail(QStringLiteral("cannot be read (%1)")
                        .arg(QString::fromLocal8Bit(std::strerror(errno))));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return fail(QStringLiteral("not a regular file"));
    }
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

} // namespace kvz
