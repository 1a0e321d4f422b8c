#include "test/TestDescription.h"
#include "test/MarkScale.h"

#include "l10n/Cp1251.h"
#include "platform/docview/PieceWriter.h"
#include "shell/IniFile.h"
#include "shell/NamedFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <algorithm>
#include <memory>
#include <set>

namespace kvz::pack {

namespace {

constexpr qint64 kMaxDescriptionSize = 1 << 20;
// A page already made into a piece: as large as the page maker's own input may be.
constexpr qint64 kMaxPieceFileSize = 64 << 20;

// Thrown inside the reader only and turned into the error line at its edge.
struct Fault {
    QString text;
};

class Reader {
public:
    Reader(QString folder, IniDocument ini, SpooledPages* spool)
        : folder_(std::move(folder)), ini_(std::move(ini)), spool_(spool) {}

    static QString where(const std::string& section, const std::string& key) {
        QString w = QStringLiteral("test.ini: [%1]").arg(QString::fromStdString(section));
        if (!key.empty())
            w += QLatin1Char(' ') + QString::fromStdString(key);
        return w + QStringLiteral(": ");
    }

    [[noreturn]] void fail(const std::string& section, const std::string& key,
                           const QString& what) const {
        throw Fault{where(section, key) + what};
    }

    void note(const std::string& section, const std::string& key, const QString& what) {
        notes_ << where(section, key) + what;
    }
    const QStringList& notes() const { return notes_; }

    bool has(const std::string& section, const std::string& key) const {
        return ini_.value(section, key).has_value();
    }
    bool given(const std::string& section, const std::string& key) const {
        return !ini_.readString(section, key, "").empty();
    }

    // A text in Windows-1251, at most maxBytes long; UTF-8 in the description.
    std::string text(const std::string& section, const std::string& key, std::size_t maxBytes,
                     const std::string& def = {}) const {
        // Whole: a value longer than any setting holds is refused below, never cut silently.
        const std::optional<std::string> raw = ini_.wholeValue(section, key);
        if (!raw)
            return def;
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString u = utf8(QByteArray::fromStdString(*raw));
        if (utf8.hasError())
            fail(section, key, QStringLiteral("not UTF-8 text (save the description as UTF-8)"));
        for (QChar c : u)
            if (!cp1251::encodable(c))
                fail(section, key,
                     QStringLiteral("\"%1\" cannot be written in Windows-1251").arg(QString(c)));
        std::string out = cp1251::fromUnicode(u);
        if (out.size() > maxBytes)
            fail(section, key, QStringLiteral("longer than %1 characters").arg(maxBytes));
        return out;
    }

    bool flag(const std::string& section, const std::string& key, bool def) const {
        const std::optional<std::string> raw = ini_.value(section, key);
        if (!raw || raw->empty())
            return def;
        if (*raw == "1" || *raw == "yes" || *raw == "true")
            return true;
        if (*raw == "0" || *raw == "no" || *raw == "false")
            return false;
        fail(section, key, QStringLiteral("expected 1 or 0"));
    }

    int number(const std::string& section, const std::string& key, int lo, int hi, int def) const {
        const std::optional<std::string> raw = ini_.value(section, key);
        if (!raw || raw->empty())
            return def;
        const std::optional<int> v = parseIniInteger(*raw);
        if (!v || *v < lo || *v > hi)
            fail(section, key, QStringLiteral("expected a number from %1 to %2").arg(lo).arg(hi));
        return *v;
    }

    std::vector<int> numbers(const std::string& section, const std::string& key, int lo,
                             int hi) const {
        std::vector<int> out;
        const std::string raw = ini_.readString(section, key, "");
        const QStringList parts = QString::fromStdString(raw).split(
            QRegularExpression(QStringLiteral("[,;\\s]+")), Qt::SkipEmptyParts);
        for (const QString& p : parts) {
            bool ok = false;
            const int v = p.toInt(&ok);
            if (!ok || v < lo || v > hi)
                fail(section, key,
                     QStringLiteral("\"%1\" is not a number from %2 to %3").arg(p).arg(lo).arg(hi));
            out.push_back(v);
        }
        return out;
    }

    std::optional<DateTime> time(const std::string& section, const std::string& key) const {
        const std::string raw = ini_.readString(section, key, "");
        if (raw.empty())
            return std::nullopt;
        const std::optional<DateTime> t = parseTimeText(raw);
        if (!t)
            fail(section, key, QStringLiteral("expected a time such as 00:30:00"));
        return t;
    }

    QByteArray pieceOf(const std::string& section, const std::string& key, bool required) {
        const std::string name = ini_.readString(section, key, "");
        if (name.empty()) {
            if (required)
                fail(section, key, QStringLiteral("no page file given"));
            return blankPage();
        }
        const QString path = QDir(folder_).filePath(QString::fromUtf8(name));
        if (!QFileInfo(path).isFile())
            fail(section, key, QStringLiteral("%1: no such file").arg(path));
        if (path.endsWith(QLatin1String(".piece"), Qt::CaseInsensitive)) {
            // A page already turned into a piece (kvizor-pack page): taken as it is.
            QString why;
            const QByteArray piece =
                readNamedFile(path, kMaxPieceFileSize, &why).value_or(QByteArray());
            if (!why.isEmpty())
                fail(section, key, QStringLiteral("%1: %2").arg(path, why));
            if (!piece.startsWith("BDOC"))
                fail(section, key, QStringLiteral("%1: not a document piece").arg(path));
            return piece;
        }
        const docview::PieceResult r = docview::pieceFromPageFile(path);
        if (!r.ok())
            fail(section, key, r.error);
        return r.piece;
    }

    // The page's piece; with a spool it goes there and the page's number in it is lastPage().
    QByteArray page(const std::string& section, const std::string& key, bool required) {
        QByteArray piece = pieceOf(section, key, required);
        if (!spool_)
            return piece;
        QTemporaryFile& file = *spool_->file;
        const qint64 at = file.size();
        if (!file.seek(at) || file.write(piece) != piece.size())
            throw Fault{QStringLiteral("the pages cannot be kept in the temporary folder (%1)")
                            .arg(file.errorString())};
        spool_->ranges.push_back({at, piece.size()});
        return {};
    }
    int lastPage() const { return spool_ ? int(spool_->ranges.size()) - 1 : -1; }

    // The introduction and the reference always exist in an archive; a test without them gets
    // an empty page.
    QByteArray blankPage() {
        if (blank_.isEmpty()) {
            QString why;
            blank_ = blankPagePiece(&why);
            if (blank_.isEmpty())
                throw Fault{why};
        }
        return blank_;
    }

    const IniDocument& ini() const { return ini_; }

private:
    QString folder_;
    IniDocument ini_;
    QByteArray blank_;
    QStringList notes_;
    SpooledPages* spool_;
};

TQuestionRec readQuestion(Reader& in, const std::string& s) {
    TQuestionRec q;
    const std::string kind = in.text(s, "Kind", 255);
    if (kind != "A" && kind != "B" && kind != "D")
        in.fail(s, "Kind", QStringLiteral("expected A, B or D"));
    q.kindText = kind;
    q.body = in.page(s, "Page", true);
    q.topic = in.text(s, "Topic", 255);
    q.textbook = in.text(s, "Textbook", 255);
    q.difficulty = std::uint8_t(in.number(s, "Difficulty", 0, 255, kDefaultDifficulty));
    if (kind == "A") {
        q.choiceCount = std::uint8_t(in.number(s, "Choices", 1, kMaxChoices, 0));
        if (q.choiceCount == 0)
            in.fail(s, "Choices", QStringLiteral("the number of choices (1 to 5) is missing"));
        const std::vector<int> right = in.numbers(s, "Right", 1, q.choiceCount);
        if (right.empty())
            in.fail(s, "Right", QStringLiteral("no right choice given"));
        for (int r : right)
            q.rightChoice[std::size_t(r - 1)] = true;
        const int rightCount = int(std::count(q.rightChoice.begin(), q.rightChoice.end(), true));
        q.multiChoice = in.flag(s, "Multiple", rightCount > 1);
        if (!q.multiChoice && rightCount > 1)
            in.fail(s, "Multiple", QStringLiteral("several right choices need Multiple=1"));
    } else if (kind == "B") {
        if (!in.has(s, "Answer"))
            in.fail(s, "Answer", QStringLiteral("the right answer is missing"));
        const std::string answer = in.text(s, "Answer", 255);
        if (answer.empty())
            in.fail(s, "Answer", QStringLiteral("the right answer is empty"));
        // Whatever the pupil types arrives in lower case, so a capital could never match.
        q.rightText = cp1251::ansiLower(answer);
        if (q.rightText != answer)
            in.note(s, "Answer",
                    QStringLiteral("stored as \"%1\": typed answers are always in lower case")
                        .arg(cp1251::toUnicode(q.rightText)));
    } else {
        const std::vector<int> cells = in.numbers(s, "Slots", 0, 30);
        if (cells.empty() || cells.size() % 2 != 0 || cells.size() > 2 * kMaxSlots)
            in.fail(s, "Slots", QStringLiteral("expected 1 to 10 places as column,row pairs"));
        const std::vector<int> right = in.numbers(s, "Right", 1, kMaxSlots);
        const std::size_t n = cells.size() / 2;
        if (right.size() != n)
            in.fail(s, "Right",
                    QStringLiteral("expected one number for each of the %1 slots").arg(n));
        if (std::set<int>(right.begin(), right.end()).size() != n ||
            *std::max_element(right.begin(), right.end()) > int(n))
            in.fail(s, "Right", QStringLiteral("expected the numbers 1 to %1, each once").arg(n));
        q.choiceCount = std::uint8_t(n);
        for (std::size_t i = 0; i < n; ++i)
            q.rightSlots[i] = {std::uint8_t(cells[2 * i]), std::uint8_t(cells[2 * i + 1]),
                               std::uint8_t(right[i])};
    }
    return q;
}

// [Marks]: "percentage=mark", each mark with the least percentage that earns it, in any order.
std::vector<MarkEntry> readMarks(Reader& in) {
    const std::string m = "Marks";
    std::vector<MarkFrom> marks;
    for (const std::string& key : in.ini().keys(m)) {
        const std::optional<int> from = parsePercent(key);
        if (!from)
            in.fail(m, key, QStringLiteral("expected the least percentage for the mark, 0 to 100"));
        for (const MarkFrom& other : marks)
            if (other.fromHundredths == *from)
                in.fail(m, key, QStringLiteral("two marks start at the same percentage"));
        const std::string mark = in.text(m, key, 1000);
        if (mark.find_first_of("\r\n") != std::string::npos)
            in.fail(m, key, QStringLiteral("a mark is one line"));
        marks.push_back({*from, mark});
    }
    if (marks.size() > 255)
        in.fail(m, "", QStringLiteral("at most 255 marks"));
    if (!marks.empty() && std::none_of(marks.begin(), marks.end(),
                                       [](const MarkFrom& x) { return x.fromHundredths == 0; }))
        in.fail(m, "",
                QStringLiteral("the lowest mark must start at 0: it is given to every score "
                               "below the next one"));
    return storedScale(std::move(marks));
}

TestDescription readDescription(Reader& in) {
    TestDescription d;
    TestArchive& a = d.archive;
    const std::string t = "Test";
    if (!in.ini().hasSection(t))
        in.fail(t, "", QStringLiteral("the section is missing"));

    // Questions: [Question1], [Question2], ... without gaps.
    int count = 0;
    while (in.ini().hasSection("Question" + std::to_string(count + 1)))
        ++count;
    if (count == 0)
        in.fail("Question1", "", QStringLiteral("a test needs at least one question"));
    if (in.ini().hasSection("Question" + std::to_string(count + 2)))
        in.fail("Question" + std::to_string(count + 1), "",
                QStringLiteral("the section is missing between its neighbours"));
    if (count > kMaxQuestions)
        in.fail("Question" + std::to_string(count), "",
                QStringLiteral("a test holds at most %1 questions").arg(kMaxQuestions));
    std::vector<TQuestionRec> read;
    std::vector<int> pages; // each question's page in the spool
    for (int k = 1; k <= count; ++k) {
        read.push_back(readQuestion(in, "Question" + std::to_string(k)));
        pages.push_back(in.lastPage());
    }
    // The archive lists A, then B, then D questions.
    std::vector<std::size_t> sorted(read.size());
    for (std::size_t i = 0; i < sorted.size(); ++i)
        sorted[i] = i;
    std::stable_sort(sorted.begin(), sorted.end(), [&](std::size_t x, std::size_t y) {
        auto rank = [](char c) { return c == 'A' ? 0 : c == 'B' ? 1 : 2; };
        return rank(read[x].kind()) < rank(read[y].kind());
    });
    for (std::size_t i : sorted) {
        a.questions.push_back(std::move(read[i]));
        d.archiveOrder.push_back(pages[i]);
    }
    for (std::size_t k = 0; k < a.questions.size(); ++k)
        a.questions[k].sourceNo = int(k + 1);

    // The password prompt takes at most 17 characters: a longer password could never be typed.
    d.password = in.text(t, "Password", 17);
    d.catalogue.comment = in.text(t, "Comment", 2000);
    d.catalogue.klass = in.text(t, "Class", 255);
    d.catalogue.subject = in.text(t, "Subject", 255);
    if (in.has(t, "Topics")) {
        std::string topics = in.text(t, "Topics", 4000);
        std::string lines;
        for (char c : topics)
            lines += c == '|' ? std::string("\r\n") : std::string(1, c);
        d.catalogue.topics = lines;
    } else {
        std::vector<std::string> seen;
        for (const TQuestionRec& q : a.questions)
            if (!q.topic.empty() && std::find(seen.begin(), seen.end(), q.topic) == seen.end())
                seen.push_back(q.topic);
        for (std::size_t i = 0; i < seen.size(); ++i)
            d.catalogue.topics += (i ? "\r\n" : "") + seen[i];
    }

    // The catalogue sits at the end of the archive, where readers look for it and for the end of
    // the ZIP only so far back: a longer one would make an archive nobody can open.
    const std::size_t trailer = std::size_t(encodeCatalogueTrailer(d.catalogue).size());
    if (trailer > kMaxCatalogueTrailerSize) {
        const std::pair<const char*, std::size_t> fields[] = {
            {"Comment", d.catalogue.comment.size()},
            {"Class", d.catalogue.klass.size()},
            {"Subject", d.catalogue.subject.size()},
            {"Topics", d.catalogue.topics.size()}};
        const auto longest =
            std::max_element(std::begin(fields), std::end(fields),
                             [](const auto& x, const auto& y) { return x.second < y.second; });
        in.fail("Test", longest->first,
                QStringLiteral("the catalogue (comment, class, subject and topics%1) takes %2 "
                               "bytes, at most %3 fit; shorten it")
                    .arg(in.has(t, "Topics") ? QString()
                                             : QStringLiteral(", here the questions' topics"))
                    .arg(trailer)
                    .arg(kMaxCatalogueTrailerSize));
    }

    a.introduction = in.page(t, "Introduction", false);
    d.archiveOrder.push_back(in.lastPage());
    a.reference = in.page(t, "Reference", false);
    d.archiveOrder.push_back(in.lastPage());

    ArchiveSettings& s = a.settings;
    // Both times are always written: an empty time would keep whatever the previous test left.
    const std::optional<DateTime> testTime = in.time(t, "TestTime");
    const std::optional<DateTime> questionTime = in.time(t, "QuestionTime");
    s.testTime = testTime.value_or(*parseTimeText("01:00:00"));
    s.questionTime = questionTime.value_or(*parseTimeText("00:05:00"));
    s.testTimerOn = in.flag(t, "TestTimer", testTime.has_value());
    s.questionTimerOn = in.flag(t, "QuestionTimer", questionTime.has_value());
    s.lockdownOff = in.flag(t, "NoLockdown", false);
    s.calculatorAllowed = in.flag(t, "Calculator", false);
    const std::string order = in.text(t, "Order", 20);
    if (order == "fixed")
        s.fixedOrder = true;
    else if (order == "free")
        s.fixedOrder = false;
    else if (!order.empty())
        in.fail(t, "Order", QStringLiteral("expected fixed or free"));

    // Always written: the program's defaults show an introduction and allow a reference page
    // even when the test has none, which would put an empty page before the pupil.
    const bool marks = in.ini().hasSection("Marks");
    ArchiveSettings139 x;
    x.answerReviewAllowed = in.flag(t, "AnswerReview", false);
    x.textbookDuringTest = in.flag(t, "TextbookDuringTest", false);
    x.textbookInReview = in.flag(t, "TextbookInReview", false);
    x.showIntroduction = in.flag(t, "ShowIntroduction", in.given(t, "Introduction"));
    if (x.showIntroduction && !in.given(t, "Introduction"))
        in.fail(t, "ShowIntroduction", QStringLiteral("there is no Introduction page to show"));
    x.referenceAllowed = in.flag(t, "ReferenceAllowed", in.given(t, "Reference"));
    if (x.referenceAllowed && !in.given(t, "Reference"))
        in.fail(t, "ReferenceAllowed", QStringLiteral("there is no Reference page to show"));
    x.showMark = in.flag(t, "ShowMark", marks);
    x.markScale = readMarks(in);
    if (x.showMark && x.markScale.empty())
        in.fail(t, "ShowMark", QStringLiteral("there is no [Marks] scale to show a mark from"));
    a.settings139 = std::move(x);

    a.hasTextbooks = std::any_of(a.questions.begin(), a.questions.end(),
                                 [](const TQuestionRec& q) { return !q.textbook.empty(); });
    a.hasSlots = std::any_of(a.questions.begin(), a.questions.end(),
                             [](const TQuestionRec& q) { return q.kind() == 'D'; });
    a.timeByDifficulty = in.flag(t, "TimeByDifficulty", false);
    bool weights = a.timeByDifficulty;
    for (int k = 1; k <= count; ++k)
        weights |= in.has("Question" + std::to_string(k), "Difficulty");
    a.hasDifficulties = weights;
    if (a.timeByDifficulty && !testTime)
        in.fail(t, "TestTime", QStringLiteral("TimeByDifficulty shares out the test time: set it"));
    return d;
}

} // namespace

QByteArray blankPagePiece(QString* error) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("blank.txt"));
    QFile f(path);
    if (!dir.isValid() || !f.open(QIODevice::WriteOnly)) {
        if (error)
            *error = QStringLiteral("cannot make an empty page in the temporary folder");
        return {};
    }
    f.write(" ");
    f.close();
    const docview::PieceResult r = docview::pieceFromPageFile(path);
    if (!r.ok()) {
        if (error)
            *error = r.error;
        return {};
    }
    return r.piece;
}

std::optional<TestDescription> readTestDescription(const QString& folder, QString& error,
                                                   bool spoolPages) {
    const QString path = QDir(folder).filePath(QStringLiteral("test.ini"));
    QString why;
    std::optional<QByteArray> read = readNamedFile(path, kMaxDescriptionSize, &why);
    if (!read) {
        error = QStringLiteral("%1: %2").arg(path, why);
        return std::nullopt;
    }
    QByteArray bytes = std::move(*read);
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    std::shared_ptr<SpooledPages> spool;
    if (spoolPages) {
        spool = std::make_shared<SpooledPages>();
        spool->file = std::make_unique<QTemporaryFile>();
        if (!spool->file->open()) {
            error = QStringLiteral("the pages cannot be kept in the temporary folder (%1)")
                        .arg(spool->file->errorString());
            return std::nullopt;
        }
    }
    Reader in(folder, IniDocument::parse(std::string_view(bytes.constData(), bytes.size())),
              spool.get());
    try {
        std::optional<TestDescription> d = readDescription(in);
        d->notes = in.notes();
        if (spool) {
            d->spool = spool;
            if (!spool->file->flush())
                throw Fault{QStringLiteral("the pages cannot be kept in the temporary folder (%1)")
                                .arg(spool->file->errorString())};
        }
        return d;
    } catch (const Fault& fault) {
        error = fault.text;
        return std::nullopt;
    }
}

ArchivePages TestDescription::archivePages() const {
    ArchivePages pages;
    if (!spool)
        return pages;
    struct Reading {
        std::shared_ptr<SpooledPages> spool;
        std::vector<int> order;
        std::size_t page = 0;
        qint64 done = 0; // of that page
    };
    auto r = std::make_shared<Reading>(Reading{spool, archiveOrder});
    for (int p : archiveOrder)
        pages.sizes.push_back(spool->ranges[std::size_t(p)].second);
    pages.rewind = [r] {
        r->page = 0;
        r->done = 0;
        return true;
    };
    pages.read = [r](char* to, qint64 most) -> qint64 {
        while (r->page < r->order.size() &&
               r->done == r->spool->ranges[std::size_t(r->order[r->page])].second) {
            ++r->page;
            r->done = 0;
        }
        if (r->page == r->order.size())
            return 0;
        const auto [at, size] = r->spool->ranges[std::size_t(r->order[r->page])];
        QTemporaryFile& file = *r->spool->file;
        if (!file.seek(at + r->done))
            return -1;
        const qint64 got = file.read(to, std::min(most, size - r->done));
        if (got <= 0)
            return -1;
        r->done += got;
        return got;
    };
    return pages;
}

} // namespace kvz::pack
