#include "results/ResultArchive.h"

#include "l10n/Cp1251.h"
#include "results/ResultPassword.h"
#include "run/Checking.h"
#include "test/ZipMemory.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QStandardPaths>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace kvz {

namespace {

void putText(QByteArray& out, const std::string& text) {
    // A zero byte inside a text would end it early for every reader.
    out.append(text.c_str());
    out.append('\0');
}
void putByte(QByteArray& out, unsigned v) {
    out.append(char(v & 0xFF));
}
void putLe(QByteArray& out, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.append(char(v >> (8 * i) & 0xFF));
}
void putDateTime(QByteArray& out, DateTime t) {
    std::uint64_t bits = 0;
    static_assert(sizeof bits == sizeof t);
    std::memcpy(&bits, &t, sizeof bits);
    putLe(out, bits, 8);
}

QString errnoText(const QString& what, const QString& path) {
    return QStringLiteral("%1 %2: %3")
        .arg(what, path, QString::fromLocal8Bit(std::strerror(errno)));
}

bool writeAll(int fd, const QByteArray& bytes) {
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, std::size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

bool syncFolder(const QByteArray& folder) {
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// The process's umask, read without changing it (setting it to read it back would race with
// files other threads create meanwhile).
mode_t currentUmask() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        const QByteArray text = status.read(4096);
        const qsizetype at = text.indexOf("\nUmask:");
        if (at >= 0) {
            bool ok = false;
            const QByteArray value =
                text.mid(at + 7, text.indexOf('\n', at + 1) - at - 7).trimmed();
            const unsigned mask = value.toUInt(&ok, 8);
            if (ok)
                return mode_t(mask);
        }
    }
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}

bool exists(const QByteArray& path) {
    struct stat st;
    return ::lstat(path.constData(), &st) == 0;
}

// Gives the flushed temporary file its final name unless that name exists. 0 on success, else
// the errno; EEXIST means "draw another name".
int linkNoReplace(const QByteArray& from, const QByteArray& to) {
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno == EEXIST)
        return EEXIST;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return errno;
    // A file system without the no-replace rename: a hard link never replaces either.
    if (::link(from.constData(), to.constData()) == 0) {
        ::unlink(from.constData());
        return 0;
    }
    return errno;
}

} // namespace

std::string rightAnswerText(const TQuestionRec& q) {
    switch (q.kind()) {
    case 'A': {
        std::string s(10, '0');
        for (int i = 0; i < kMaxChoices; ++i)
            s[std::size_t(i)] = q.rightChoice[std::size_t(i)] ? '1' : '0';
        return s;
    }
    case 'B':
        return q.rightText;
    case 'D': {
        std::string s;
        for (int i = 0; i < std::min<int>(q.choiceCount, kMaxSlots); ++i) {
            if (i > 0)
                s += ", ";
            s += std::to_string(q.rightSlots[std::size_t(i)].number);
        }
        return s;
    }
    default:
        return {};
    }
}

std::string givenAnswerText(const TQuestionRec& q, const TAnswerRec& a) {
    switch (q.kind()) {
    case 'A': {
        std::string s(10, '0');
        for (int i = 0; i < kMaxChoices; ++i)
            s[std::size_t(i)] = a.chosen[std::size_t(i)] ? '1' : '0';
        return s;
    }
    case 'B':
        return a.text;
    case 'D': {
        std::string s;
        for (int i = 0; i < std::min<int>(q.choiceCount, kMaxSlots); ++i) {
            if (i > 0)
                s += ", ";
            s += std::to_string(a.slots[std::size_t(i)].number);
        }
        return s;
    }
    default:
        return {};
    }
}

QByteArray BuildSummaryEntry(const ResultFacts& facts, const CheckSummary& summary) {
    QByteArray out;
    putText(out, facts.examineeName);
    putText(out, facts.group);
    putText(out, facts.subject);
    putText(out, facts.testName);
    putLe(out, std::uint64_t(percentHundredths(summary.rightPercentText)), 2);
    putByte(out, summary.rightCount);
    putByte(out, summary.answeredCount);
    putByte(out, unsigned(std::clamp(summary.questionCount, 0, 255)));
    putDateTime(out, facts.startTime);
    putDateTime(out, facts.finishTime);
    out.append(summary.verdictCode.data(), qsizetype(summary.verdictCode.size()));
    return out;
}

QByteArray BuildDetailEntry(const QuestionSet& set) {
    QByteArray out;
    putDateTime(out, set.questionTime);
    putDateTime(out, set.testTime);
    out.append(16, '\0');
    const int n = std::min(set.size(), int(set.answers.size()));
    for (int k = 0; k < n; ++k) {
        const TQuestionRec& q = set.questions[std::size_t(k)];
        const TAnswerRec& a = set.answers[std::size_t(k)];
        putLe(out, std::uint32_t(q.timeSpentMs), 4);
        putLe(out, std::uint32_t(q.sourceNo), 4);
        putText(out, q.topic);
        putByte(out, q.multiChoice ? 1 : 0);
        putByte(out, q.difficulty);
        putByte(out, unsigned(char(q.kind())));
        putByte(out, q.choiceCount);
        putText(out, rightAnswerText(q));
        putByte(out, a.touched ? 1 : 0);
        if (a.touched)
            putText(out, givenAnswerText(q, a));
    }
    return out;
}

std::optional<QByteArray> BuildResultArchive(const ResultFacts& facts, const CheckSummary& summary,
                                             const QuestionSet& set, QString* error) {
    return writeEncryptedZip({{kSummaryEntryName, BuildSummaryEntry(facts, summary)},
                              {kDetailEntryName, BuildDetailEntry(set)}},
                             resultPassword(), error);
}

std::optional<QString> writeResultFile(const QString& folder, const QByteArray& bytes,
                                       std::uint32_t seed, QString* error) {
    auto fail = [&](const QString& text) -> std::optional<QString> {
        if (error)
            *error = text;
        return std::nullopt;
    };
    if (folder.isEmpty())
        return fail(QStringLiteral("no results folder"));
    if (!QDir().mkpath(folder))
        return fail(QStringLiteral("cannot create the folder %1").arg(folder));
    const QByteArray dir = QFile::encodeName(QDir::cleanPath(folder));

    // A name that no result reader takes for a result while it is being written.
    QByteArray temp = dir + "/.kvizor-result-XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return fail(errnoText(QStringLiteral("cannot write into"), folder));
    // mkostemp makes the file private; a result is collected by the supervisor's account from a
    // shared folder, so it gets the mode any other new file would.
    const bool written =
        ::fchmod(fd, 0666 & ~currentUmask()) == 0 && writeAll(fd, bytes) && ::fsync(fd) == 0;
    const int writeErrno = errno;
    if (::close(fd) != 0 || !written) {
        ::unlink(temp.constData());
        errno = writeErrno;
        return fail(errnoText(QStringLiteral("cannot write into"), folder));
    }

    std::mt19937 random(seed);
    std::uniform_int_distribution<int> draw(0, 99999999);
    // Bounded: a folder holding most of the hundred million names is no folder to wait on.
    for (int attempt = 0; attempt < 100000; ++attempt) {
        char name[16];
        std::snprintf(name, sizeof name, "%08d.rst", draw(random));
        const QByteArray path = dir + '/' + name;
        if (exists(path))
            continue;
        const int rc = linkNoReplace(temp, path);
        if (rc == EEXIST)
            continue;
        if (rc != 0) {
            ::unlink(temp.constData());
            errno = rc;
            return fail(errnoText(QStringLiteral("cannot name the result in"), folder));
        }
        syncFolder(dir);
        return QFile::decodeName(path);
    }
    ::unlink(temp.constData());
    return fail(QStringLiteral("no free result name in %1").arg(folder));
}

QString fallbackResultsFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/kvizor/rescued-results");
}

ResultDestination resultDestination(bool startedWithParameters, bool profileSaveResult,
                                    bool connected) {
    if (!startedWithParameters || profileSaveResult)
        return ResultDestination::ResultsFolder;
    return connected ? ResultDestination::SendOnly : ResultDestination::Nowhere;
}

std::string dateTimeText(DateTime t) {
    const double days = std::floor(t);
    QDate date = QDate(1899, 12, 30).addDays(qint64(days));
    int ms = int(std::llround((t - days) * 86400000.0));
    if (ms >= 86400000) { // rounded up to the next midnight
        date = date.addDays(1);
        ms = 0;
    }
    const QLocale locale = QLocale::system();
    QString text = locale.toString(date, QLocale::ShortFormat);
    if (ms > 0 && ms < 86400000) {
        // The long time without its time zone: the log holds local times.
        QString format = locale.timeFormat(QLocale::LongFormat);
        format.remove(QLatin1Char('t'));
        text += QLatin1Char(' ') +
                locale.toString(QTime::fromMSecsSinceStartOfDay(ms), format.trimmed());
    }
    return cp1251::fromUnicode(text);
}

std::string textResultBlock(const ResultFacts& facts, const CheckSummary& summary) {
    const std::string lines[] = {">>  >> | <<  <<",
                                 facts.examineeName,
                                 facts.group,
                                 facts.subject,
                                 facts.testName,
                                 summary.rightPercentText,
                                 std::to_string(summary.rightCount),
                                 std::to_string(summary.answeredCount),
                                 std::to_string(summary.questionCount),
                                 dateTimeText(facts.startTime),
                                 dateTimeText(facts.finishTime),
                                 summary.verdictCode,
                                 summary.scoreText};
    std::string out;
    for (const std::string& line : lines)
        out += line + "\r\n";
    return out;
}

} // namespace kvz
