#include "results/ResultReader.h"

#include "results/ResultPassword.h"
#include "test/ZipMemory.h"

#include <cmath>
#include <cstring>

namespace kvz {

namespace {

// Entries of a real result are a few kilobytes: 254 questions of short texts.
constexpr std::size_t kEntryCap = 16 * 1024 * 1024;

class Cursor {
public:
    explicit Cursor(const QByteArray& b) : b_(b) {}
    bool text(std::string& out) {
        const qsizetype end = b_.indexOf('\0', pos_);
        if (end < 0)
            return false;
        out.assign(b_.constData() + pos_, std::size_t(end - pos_));
        pos_ = end + 1;
        return true;
    }
    bool number(std::uint64_t& out, int bytes) {
        if (b_.size() - pos_ < bytes)
            return false;
        out = 0;
        for (int i = 0; i < bytes; ++i)
            out |= std::uint64_t(static_cast<unsigned char>(b_[pos_ + i])) << (8 * i);
        pos_ += bytes;
        return true;
    }
    bool byte(int& out) {
        std::uint64_t v;
        if (!number(v, 1))
            return false;
        out = int(v);
        return true;
    }
    bool dateTime(DateTime& out) {
        std::uint64_t bits;
        if (!number(bits, 8))
            return false;
        std::memcpy(&out, &bits, 8);
        // Not a time the program can write; shown as the epoch rather than as garbage.
        if (!std::isfinite(out) || std::fabs(out) > 3e6)
            out = 0;
        return true;
    }
    bool skip(qsizetype n) {
        if (b_.size() - pos_ < n)
            return false;
        pos_ += n;
        return true;
    }
    qsizetype left() const { return b_.size() - pos_; }
    QByteArray rest() const { return b_.mid(pos_); }

private:
    const QByteArray& b_;
    qsizetype pos_ = 0;
};

ResultReadResult failed(const QString& text) {
    return {std::nullopt, text};
}

} // namespace

ResultReadResult parseResultEntries(const QByteArray& summary, const QByteArray& detail) {
    ResultRecord r;
    Cursor s(summary);
    std::uint64_t percent = 0;
    if (!s.text(r.facts.examineeName) || !s.text(r.facts.group) || !s.text(r.facts.subject) ||
        !s.text(r.facts.testName) || !s.number(percent, 2) || !s.byte(r.rightCount) ||
        !s.byte(r.answeredCount) || !s.byte(r.questionCount) || !s.dateTime(r.facts.startTime) ||
        !s.dateTime(r.facts.finishTime))
        return failed(QStringLiteral("inform.dat is cut short"));
    r.rightPercentHundredths = int(percent);
    if (s.left() != 2 * r.questionCount)
        return failed(QStringLiteral("inform.dat: the verdict code does not match %1 questions")
                          .arg(r.questionCount));
    r.verdictCode = s.rest().toStdString();

    Cursor d(detail);
    if (!d.dateTime(r.questionTime) || !d.dateTime(r.testTime) || !d.skip(16))
        return failed(QStringLiteral("inform160.dat is cut short"));
    int running[256] = {};
    for (int k = 0; k < r.questionCount; ++k) {
        ResultQuestion q;
        std::uint64_t spent = 0, source = 0;
        int multi = 0, difficulty = 0, kind = 0, count = 0, answered = 0;
        if (!d.number(spent, 4) || !d.number(source, 4) || !d.text(q.topic) || !d.byte(multi) ||
            !d.byte(difficulty) || !d.byte(kind) || !d.byte(count) || !d.text(q.rightAnswer) ||
            !d.byte(answered) || (answered == 1 && !d.text(q.givenAnswer)))
            return failed(QStringLiteral("inform160.dat: question %1 is cut short").arg(k + 1));
        q.timeSpentMs = std::int32_t(std::uint32_t(spent));
        q.sourceNo = std::int32_t(std::uint32_t(source));
        q.multiChoice = multi == 1;
        q.difficulty = std::uint8_t(difficulty);
        q.kind = char(kind);
        q.choiceCount = std::uint8_t(count);
        q.answered = answered == 1;
        const char letter = r.verdictCode[std::size_t(2 * k)];
        char number[16]; // room for any int
        std::snprintf(number, sizeof number, "%02d", ++running[static_cast<unsigned char>(letter)]);
        q.label = std::string(1, letter) + number;
        q.right = r.verdictCode[std::size_t(2 * k + 1)] == '1';
        r.questions.push_back(std::move(q));
    }
    if (d.left() != 0)
        return failed(
            QStringLiteral("inform160.dat has %1 bytes after its last question").arg(d.left()));
    return {std::move(r), QString()};
}

ResultReadResult readResultArchive(const QByteArray& bytes) {
    QString error;
    auto zip = MemoryZip::open(bytes, &error);
    if (!zip)
        return failed(QStringLiteral("not a ZIP archive (%1)").arg(error));
    zip->setPassword(resultPassword());
    QByteArray entries[2];
    const char* names[2] = {kSummaryEntryName, kDetailEntryName};
    for (int i = 0; i < 2; ++i) {
        switch (zip->extract(names[i], kEntryCap, entries[i])) {
        case ZipReadStatus::Ok:
            break;
        case ZipReadStatus::Missing:
            return failed(
                QStringLiteral("no %1 inside: not a result archive").arg(QLatin1String(names[i])));
        case ZipReadStatus::BadPassword:
            return failed(QStringLiteral("%1 does not open with the result password: not a "
                                         "result archive of this program, or damaged")
                              .arg(QLatin1String(names[i])));
        case ZipReadStatus::TooLarge:
            return failed(
                QStringLiteral("%1 is far larger than any result").arg(QLatin1String(names[i])));
        case ZipReadStatus::Corrupt:
            return failed(QStringLiteral("%1 is damaged").arg(QLatin1String(names[i])));
        }
    }
    return parseResultEntries(entries[0], entries[1]);
}

} // namespace kvz
