#include "Commands.h"
#include "test/MarkScale.h"

#include "choice/Catalogue.h"
#include "l10n/Cp1251.h"
#include "platform/docview/PieceReader.h"
#include "test/TestArchive.h"

#include <QFile>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kvz::pack {

namespace {

int usage() {
    return printUsage("kvizor-pack inspect NAME.tst [--password P]");
}

void out(const QString& line) {
    std::printf("%s\n", line.toUtf8().constData());
}
QString u(const std::string& cp1251Text) {
    return cp1251::toUnicode(cp1251Text);
}
QString yesNo(bool b) {
    return b ? QStringLiteral("yes") : QStringLiteral("no");
}

QString pageText(const QByteArray& piece) {
    QString text = QStringLiteral("%1 bytes").arg(piece.size());
    const docview::ReadResult r =
        docview::readPiece(docview::asBytes(piece.constData(), std::size_t(piece.size())));
    if (!r.error.isEmpty())
        return text + QStringLiteral(" (rejected: %1)").arg(r.error);
    if (r.picture && r.picture->extentHimetric)
        text += QStringLiteral(", %1 x %2 mm")
                    .arg(r.picture->extentHimetric->width() / 100.0, 0, 'f', 1)
                    .arg(r.picture->extentHimetric->height() / 100.0, 0, 'f', 1);
    return text;
}

QString rightAnswer(const TQuestionRec& q) {
    QStringList parts;
    switch (q.kind()) {
    case 'A':
        for (int i = 0; i < kMaxChoices; ++i)
            if (q.rightChoice[std::size_t(i)])
                parts << QString::number(i + 1);
        return QStringLiteral("choices %1 of %2 (%3)")
            .arg(parts.join(QLatin1Char(',')))
            .arg(q.choiceCount)
            .arg(q.multiChoice ? QStringLiteral("several may be right")
                               : QStringLiteral("one answer"));
    case 'B':
        return QStringLiteral("text \"%1\"").arg(u(q.rightText));
    case 'D':
        for (int i = 0; i < q.choiceCount && i < kMaxSlots; ++i) {
            const TSlotRec& s = q.rightSlots[std::size_t(i)];
            parts << QStringLiteral("%1@%2,%3").arg(s.number).arg(s.col).arg(s.row);
        }
        return QStringLiteral("slots %1").arg(parts.join(QLatin1Char(' ')));
    default:
        return QStringLiteral("unknown kind");
    }
}

} // namespace

int runInspect(const QStringList& args) {
    const std::optional<CommandLine> line =
        parseCommandLine(args, {QStringLiteral("--password")}, {});
    if (!line)
        return usage();
    const QString path = line->input;
    const std::string password = cp1251::fromUnicode(line->option(QStringLiteral("--password")));
    // Only a regular file is read: a device never ends and a pipe may never open. The check is
    // made on the opened file, without waiting for a pipe's writer.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        if (fd >= 0)
            ::close(fd);
        printError(QStringLiteral("%1: cannot be read").arg(path));
        return 1;
    }
    QFile f;
    if (!S_ISREG(st.st_mode) || !f.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        printError(QStringLiteral("%1: not a regular file").arg(path));
        return 1;
    }
    const qint64 fileSize = f.size();
    if (std::size_t(fileSize) > kMaxArchiveSize) {
        printError(QStringLiteral("%1: larger than a test may be").arg(path));
        return 1;
    }

    out(QStringLiteral("file: %1 (%2 bytes)").arg(path).arg(fileSize));
    if (const std::optional<CatalogueInfo> c = ReadCatalogue(f)) {
        out(QStringLiteral("comment: %1").arg(u(c->comment)));
        out(QStringLiteral("class: %1").arg(u(c->klass)));
        out(QStringLiteral("subject: %1").arg(u(c->subject)));
        for (const std::string& t : TopicLines(c->topics))
            out(QStringLiteral("topic: %1").arg(u(t)));
    } else {
        out(QStringLiteral("catalogue: none"));
    }

    f.seek(0); // the catalogue was read from the end
    ArchiveReadResult r = readTestArchive(fileSource(f), password);
    if (!r.archive) {
        printError(QStringLiteral("%1: %2").arg(path, r.error));
        return 1;
    }
    const TestArchive a = *r.archive;
    const ArchiveSettings& s = a.settings;
    auto timeText = [](const std::optional<DateTime>& t) {
        return t ? QString::fromStdString(formatTimeText(*t)) : QStringLiteral("(not set)");
    };
    out(QStringLiteral("questions: %1").arg(a.questions.size()));
    out(QStringLiteral("test time: %1, timer %2").arg(timeText(s.testTime), yesNo(s.testTimerOn)));
    out(QStringLiteral("question time: %1, timer %2")
            .arg(timeText(s.questionTime), yesNo(s.questionTimerOn)));
    out(QStringLiteral("lock-down off: %1").arg(yesNo(s.lockdownOff)));
    out(QStringLiteral("calculator: %1").arg(yesNo(s.calculatorAllowed)));
    out(QStringLiteral("order: %1")
            .arg(!s.fixedOrder   ? QStringLiteral("unchanged")
                 : *s.fixedOrder ? QStringLiteral("fixed")
                                 : QStringLiteral("free")));
    if (a.settings139) {
        const ArchiveSettings139& x = *a.settings139;
        out(QStringLiteral("answer review: %1").arg(yesNo(x.answerReviewAllowed)));
        out(QStringLiteral("textbook during test: %1, in review: %2")
                .arg(yesNo(x.textbookDuringTest), yesNo(x.textbookInReview)));
        out(QStringLiteral("show introduction: %1").arg(yesNo(x.showIntroduction)));
        out(QStringLiteral("reference allowed: %1").arg(yesNo(x.referenceAllowed)));
        out(QStringLiteral("show mark: %1").arg(yesNo(x.showMark)));
        // Each stored entry with the scores the program gives it for, from the lowest band up.
        auto percent = [](int hundredths) { return QString::number(hundredths / 100.0, 'f', 2); };
        for (int e = 0; e < int(x.markScale.size()); ++e) {
            const MarkEntry& m = x.markScale[std::size_t(e)];
            const bool last = e + 1 == int(x.markScale.size());
            const QString stored =
                last ? QStringLiteral("the default")
                     : QStringLiteral("threshold %1").arg(QString::fromStdString(m.threshold));
            const std::optional<ScoreBand> band = bandOfEntry(x.markScale, e);
            const QString scores =
                band ? QStringLiteral("%1 to %2 %")
                           .arg(percent(band->fromHundredths), percent(band->toHundredths))
                     : QStringLiteral("never given");
            out(QStringLiteral("mark %1: %2 -> %3 (%4)").arg(e).arg(scores, u(m.markText), stored));
        }
    } else {
        out(QStringLiteral("settings139.dat: absent (defaults)"));
    }
    out(QStringLiteral("time by difficulty: %1%2")
            .arg(yesNo(a.timeByDifficulty),
                 a.hasDifficulties ? QString() : QStringLiteral(" (slojnost.dat absent)")));
    out(QStringLiteral("introduction: %1").arg(pageText(a.introduction)));
    out(QStringLiteral("reference: %1").arg(pageText(a.reference)));

    // The questions as the program lists them, with their time budgets.
    QuestionSet set;
    RunState state;
    applyTestArchive(TestArchive(a), set, state);
    for (int k = 0; k < set.size(); ++k) {
        const TQuestionRec& q = set.questions[std::size_t(k)];
        out(QStringLiteral("%1 #%2 kind %3: %4; difficulty %5; time %6 ms; page %7")
                .arg(QString::fromStdString(set.labels[std::size_t(k)]))
                .arg(q.sourceNo)
                .arg(u(q.kindText), rightAnswer(q))
                .arg(q.difficulty)
                .arg(q.timeLimitMs)
                .arg(pageText(q.body)));
        if (!q.topic.empty())
            out(QStringLiteral("    topic: %1").arg(u(q.topic)));
        if (!q.textbook.empty())
            out(QStringLiteral("    textbook: %1").arg(u(q.textbook)));
    }
    if (set.size() < int(a.questions.size()))
        out(QStringLiteral("not asked (unknown kind): %1")
                .arg(int(a.questions.size()) - set.size()));
    return 0;
}

} // namespace kvz::pack
