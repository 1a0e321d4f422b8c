#include "test/EditableTest.h"

#include "l10n/Cp1251.h"
#include "shell/NamedFile.h"
#include "test/ArchiveSource.h"
#include "test/MarkScale.h"
#include "test/TestDescription.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <numeric>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace kvz {

namespace {

int kindRank(const TQuestionRec& q) {
    switch (q.kind()) {
    case 'A':
        return 0;
    case 'B':
        return 1;
    case 'D':
        return 2;
    default:
        return 3;
    }
}

QString u(const std::string& text) {
    return cp1251::toUnicode(text);
}

mode_t currentUmask() {
    // Read without changing it: umask() would set it for every thread for a moment.
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        const QByteArray text = status.read(4096);
        const qsizetype at = text.indexOf("\nUmask:");
        if (at >= 0) {
            bool ok = false;
            const uint v =
                text.mid(at + 7, text.indexOf('\n', at + 1) - at - 7).trimmed().toUInt(&ok, 8);
            if (ok)
                return mode_t(v);
        }
    }
    return 022;
}

bool writeAll(int fd, const QByteArray& bytes) {
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, std::size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= n;
    }
    return true;
}

QString percentText(int hundredths) {
    QString text = QString::number(hundredths / 100);
    if (hundredths % 100)
        text += QStringLiteral(".%1").arg(hundredths % 100, 2, 10, QLatin1Char('0'));
    return text;
}

QString argText(int v) {
    return QString::number(v);
}
QString argText(std::size_t v) {
    return QString::number(v);
}
QString argText(const QString& v) {
    return v;
}

// One fault: its English text, and the key and values the editor's language files word it by.
template <class... Args>
void addIssue(std::vector<TestIssue>& out, TestField field, int question, int item, const char* key,
              const QString& format, const Args&... args) {
    TestIssue issue{field, question, item, format, QString::fromLatin1(key), {argText(args)...}};
    for (const QString& a : issue.args)
        issue.text = issue.text.arg(a);
    out.push_back(std::move(issue));
}

void checkText(std::vector<TestIssue>& out, TestField field, int question, const std::string& text,
               std::size_t max) {
    if (text.size() > max)
        addIssue(out, field, question, -1, "IssueTooLong",
                 QStringLiteral("longer than %1 characters"), max);
}

void checkQuestion(std::vector<TestIssue>& out, const TQuestionRec& q, int k,
                   bool timeByDifficulty) {
    if (q.body.isEmpty())
        addIssue(out, TestField::Page, k, -1, "IssueNoPage",
                 QStringLiteral("the question has no page"));
    checkText(out, TestField::Topic, k, q.topic, 255);
    checkText(out, TestField::Textbook, k, q.textbook, 255);
    if (timeByDifficulty && q.difficulty == 0)
        addIssue(out, TestField::Difficulty, k, -1, "IssueZeroDifficulty",
                 QStringLiteral("difficulty 0 gets no time when the test time is shared out by "
                                "difficulty"));
    switch (q.kind()) {
    case 'A': {
        if (q.choiceCount < 1 || q.choiceCount > kMaxChoices) {
            addIssue(out, TestField::Choices, k, -1, "IssueChoiceCount",
                     QStringLiteral("expected 1 to 5 choices"));
            break;
        }
        int right = 0;
        for (int i = 0; i < kMaxChoices; ++i)
            if (q.rightChoice[std::size_t(i)]) {
                if (i >= q.choiceCount)
                    addIssue(out, TestField::RightChoice, k, i, "IssueRightBeyond",
                             QStringLiteral("choice %1 is right but the question has only %2"),
                             i + 1, int(q.choiceCount));
                ++right;
            }
        if (right == 0)
            addIssue(out, TestField::RightChoice, k, -1, "IssueNoRightChoice",
                     QStringLiteral("no choice is marked right"));
        else if (right > 1 && !q.multiChoice)
            addIssue(out, TestField::RightChoice, k, -1, "IssueSeveralRight",
                     QStringLiteral("several choices are right: the pupil needs check boxes "
                                    "(several answers)"));
        break;
    }
    case 'B':
        if (q.rightText.empty())
            addIssue(out, TestField::Answer, k, -1, "IssueEmptyAnswer",
                     QStringLiteral("the right answer is empty"));
        else if (q.rightText != cp1251::ansiLower(q.rightText))
            addIssue(out, TestField::Answer, k, -1, "IssueAnswerCapitals",
                     QStringLiteral("the right answer has capitals: whatever the pupil types "
                                    "arrives in lower case, so it could never match"));
        checkText(out, TestField::Answer, k, q.rightText, 255);
        break;
    case 'D': {
        const int n = q.choiceCount;
        if (n < 1 || n > kMaxSlots) {
            addIssue(out, TestField::Slots, k, -1, "IssueSlotCount",
                     QStringLiteral("expected 1 to 10 slots"));
            break;
        }
        std::set<std::pair<int, int>> cells;
        std::set<int> numbers;
        for (int i = 0; i < n; ++i) {
            const TSlotRec& s = q.rightSlots[std::size_t(i)];
            if (s.col > kLastColumnOnPage || s.row > kLastRowOnPage)
                addIssue(out, TestField::Slots, k, i, "IssueSlotOffPage",
                         QStringLiteral("slot %1 (column %2, row %3) is off the page: columns go "
                                        "to %4, rows to %5"),
                         i + 1, int(s.col), int(s.row), kLastColumnOnPage, kLastRowOnPage);
            else if (!cells.insert({s.col, s.row}).second)
                addIssue(out, TestField::Slots, k, i, "IssueSlotShared",
                         QStringLiteral("slot %1 sits on the same place as another slot"), i + 1);
            if (s.number >= 1 && s.number <= n)
                numbers.insert(s.number);
        }
        if (int(numbers.size()) != n)
            addIssue(out, TestField::SlotOrder, k, -1, "IssueSlotOrder",
                     QStringLiteral("the right order needs the numbers 1 to %1, each once"), n);
        break;
    }
    default:
        addIssue(out, TestField::Kind, k, -1, "IssueUnknownKind",
                 QStringLiteral("kind \"%1\" is none of A, B, D: the pupil would never see it"),
                 u(q.kindText));
    }
}

void checkBands(std::vector<TestIssue>& out, const std::vector<MarkBand>& bands) {
    if (bands.size() > 255)
        addIssue(out, TestField::Marks, -1, -1, "IssueTooManyMarks",
                 QStringLiteral("at most 255 marks"));
    std::set<int> starts;
    for (std::size_t b = 0; b < bands.size(); ++b) {
        const MarkBand& m = bands[b];
        if (m.fromHundredths < 0 || m.fromHundredths > pack::kFullScoreHundredths)
            addIssue(out, TestField::Marks, -1, int(b), "IssueMarkRange",
                     QStringLiteral("a mark must start between 0 and 100 %"));
        else if (!starts.insert(m.fromHundredths).second)
            addIssue(out, TestField::Marks, -1, int(b), "IssueMarkTwice",
                     QStringLiteral("two marks start at %1 %"), percentText(m.fromHundredths));
        if (m.markText.find_first_of("\r\n") != std::string::npos)
            addIssue(out, TestField::Marks, -1, int(b), "IssueMarkLine",
                     QStringLiteral("a mark is one line"));
        if (m.markText.size() > 1000)
            addIssue(out, TestField::Marks, -1, int(b), "IssueTooLong",
                     QStringLiteral("longer than %1 characters"), 1000);
    }
    if (!bands.empty() && !starts.count(0)) {
        const int lowest =
            std::min_element(bands.begin(), bands.end(), [](const MarkBand& a, const MarkBand& b) {
                return a.fromHundredths < b.fromHundredths;
            })->fromHundredths;
        addIssue(out, TestField::Marks, -1, -1, "IssueScaleGap",
                 QStringLiteral("the scale does not cover 0 to 100 %: scores below %1 % get no "
                                "mark (the lowest mark must start at 0 %)"),
                 percentText(std::max(lowest, 0)));
    }
}

} // namespace

std::vector<MarkBand> bandsOfScale(const std::vector<MarkEntry>& scale) {
    std::vector<MarkBand> bands;
    for (int e = 0; e < int(scale.size()); ++e)
        if (const std::optional<pack::ScoreBand> band = pack::bandOfEntry(scale, e))
            bands.push_back({band->fromHundredths, scale[std::size_t(e)].markText});
    return bands;
}

std::vector<MarkEntry> scaleOfBands(const std::vector<MarkBand>& bands) {
    std::vector<pack::MarkFrom> marks;
    for (const MarkBand& b : bands)
        marks.push_back({b.fromHundredths, b.markText});
    return pack::storedScale(std::move(marks));
}

EditableTest EditableTest::makeNew() {
    EditableTest t;
    ArchiveSettings& s = t.archive.settings;
    s.testTime = parseTimeText("01:00:00");
    s.questionTime = parseTimeText("00:05:00");
    s.testTimerOn = true;
    s.questionTimerOn = false;
    s.fixedOrder = false;
    ArchiveSettings139 x;
    x.showIntroduction = false;
    x.referenceAllowed = false;
    t.archive.settings139 = x;
    t.addQuestion('A', -1);
    return t;
}

OpenResult EditableTest::open(const QString& path, const std::string& typedPassword,
                              const ArchiveReadHooks& hooks) {
    OpenResult result;
    // Only a regular file: a pipe or a device under the name would hold the window for ever.
    QFile file;
    QString why;
    if (!openNamedFile(path, &file, &why)) {
        result.error = QStringLiteral("%1: %2").arg(path, why);
        return result;
    }
    if (std::size_t(file.size()) > kMaxArchiveSize) {
        result.error = QStringLiteral("%1: larger than a test may be").arg(path);
        return result;
    }
    const std::optional<CatalogueInfo> catalogue = ReadCatalogue(file);
    file.seek(0);
    ArchiveReadResult read = readTestArchive(fileSource(file), typedPassword, hooks);
    if (!read.archive) {
        result.error = QStringLiteral("%1: %2").arg(path, read.error);
        result.cancelled = read.cancelled;
        return result;
    }
    EditableTest t;
    t.archive = std::move(*read.archive);
    t.catalogue = catalogue.value_or(CatalogueInfo{});
    t.password = read.typedPassword;
    result.test = std::move(t);
    return result;
}

std::optional<EditableTest> EditableTest::importFolder(const QString& folder, QString& error,
                                                       QStringList* notes) {
    std::optional<pack::TestDescription> d = pack::readTestDescription(folder, error);
    if (!d)
        return std::nullopt;
    if (notes)
        *notes = d->notes;
    EditableTest t;
    t.archive = std::move(d->archive);
    t.catalogue = std::move(d->catalogue);
    t.password = std::move(d->password);
    return t;
}

std::vector<MarkBand> EditableTest::bands() const {
    if (editedBands_)
        return *editedBands_;
    return archive.settings139 ? bandsOfScale(archive.settings139->markScale)
                               : std::vector<MarkBand>{};
}

void EditableTest::setBands(std::vector<MarkBand> bands) {
    settings139();
    editedBands_ = std::move(bands);
}

ArchiveSettings139& EditableTest::settings139() {
    if (!archive.settings139)
        archive.settings139.emplace();
    return *archive.settings139;
}

void EditableTest::regroup(int& tracked) {
    std::vector<TQuestionRec>& qs = archive.questions;
    std::vector<int> order(qs.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return kindRank(qs[a]) < kindRank(qs[b]); });
    std::vector<TQuestionRec> sorted;
    sorted.reserve(qs.size());
    int newTracked = tracked;
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (order[i] == tracked)
            newTracked = int(i);
        sorted.push_back(std::move(qs[std::size_t(order[i])]));
    }
    qs = std::move(sorted);
    for (std::size_t k = 0; k < qs.size(); ++k)
        qs[k].sourceNo = int(k + 1);
    tracked = newTracked;
}

int EditableTest::addQuestion(char kind, int after) {
    TQuestionRec q;
    q.kindText = std::string(1, kind);
    if (kind == 'A') {
        q.choiceCount = 4;
        q.rightChoice[0] = true;
    } else if (kind == 'D') {
        q.choiceCount = 3;
        for (int i = 0; i < 3; ++i)
            q.rightSlots[std::size_t(i)] = {2, std::uint8_t(2 + 3 * i), std::uint8_t(i + 1)};
    }
    std::vector<TQuestionRec>& qs = archive.questions;
    int at = std::clamp(after + 1, 0, int(qs.size()));
    qs.insert(qs.begin() + at, std::move(q));
    regroup(at);
    return at;
}

int EditableTest::duplicateQuestion(int k) {
    std::vector<TQuestionRec>& qs = archive.questions;
    if (k < 0 || k >= int(qs.size()))
        return -1;
    TQuestionRec copy = qs[std::size_t(k)];
    int at = k + 1;
    qs.insert(qs.begin() + at, std::move(copy));
    regroup(at);
    return at;
}

void EditableTest::removeQuestion(int k) {
    std::vector<TQuestionRec>& qs = archive.questions;
    if (k < 0 || k >= int(qs.size()))
        return;
    qs.erase(qs.begin() + k);
    int none = -1;
    regroup(none);
}

int EditableTest::moveQuestion(int from, int to) {
    std::vector<TQuestionRec>& qs = archive.questions;
    if (from < 0 || from >= int(qs.size()))
        return -1;
    to = std::clamp(to, 0, int(qs.size()) - 1);
    TQuestionRec q = std::move(qs[std::size_t(from)]);
    qs.erase(qs.begin() + from);
    qs.insert(qs.begin() + to, std::move(q));
    regroup(to);
    return to;
}

int EditableTest::setKind(int k, char kind) {
    std::vector<TQuestionRec>& qs = archive.questions;
    if (k < 0 || k >= int(qs.size()))
        return -1;
    TQuestionRec& q = qs[std::size_t(k)];
    if (q.kind() == kind)
        return k;
    q.kindText = std::string(1, kind);
    // What the other kind's answer was means nothing to this one.
    q.rightChoice = {};
    q.rightSlots = {};
    q.rightText.clear();
    q.multiChoice = false;
    q.choiceCount = 0;
    if (kind == 'A')
        setChoiceCount(k, 4);
    else if (kind == 'D')
        setChoiceCount(k, 3);
    return moveQuestion(k, k);
}

void EditableTest::setChoiceCount(int k, int n) {
    if (k < 0 || k >= int(archive.questions.size()))
        return;
    TQuestionRec& q = archive.questions[std::size_t(k)];
    if (q.kind() == 'A') {
        n = std::clamp(n, 1, kMaxChoices);
        for (int i = n; i < kMaxChoices; ++i)
            q.rightChoice[std::size_t(i)] = false;
    } else if (q.kind() == 'D') {
        n = std::clamp(n, 1, kMaxSlots);
        const int old = q.choiceCount;
        for (int i = n; i < kMaxSlots; ++i)
            q.rightSlots[std::size_t(i)] = {};
        // A new slot gets a place below the last one and the next number.
        for (int i = old; i < n; ++i) {
            const TSlotRec prev = i > 0 ? q.rightSlots[std::size_t(i - 1)] : TSlotRec{2, 0, 0};
            q.rightSlots[std::size_t(i)] = {
                prev.col, std::uint8_t(std::min<int>(prev.row + 2, kLastRowOnPage)),
                std::uint8_t(i + 1)};
        }
        // Numbers beyond the new count would leave the order impossible: 1..n again.
        std::set<int> seen;
        bool whole = true;
        for (int i = 0; i < n; ++i) {
            const int v = q.rightSlots[std::size_t(i)].number;
            whole &= v >= 1 && v <= n && seen.insert(v).second;
        }
        if (!whole)
            for (int i = 0; i < n; ++i)
                q.rightSlots[std::size_t(i)].number = std::uint8_t(i + 1);
    } else {
        return;
    }
    q.choiceCount = std::uint8_t(n);
}

std::int32_t EditableTest::budgetMs(int k) const {
    if (k < 0 || k >= int(archive.questions.size()))
        return 0;
    QuestionSet set;
    set.questions.reserve(archive.questions.size());
    for (const TQuestionRec& q : archive.questions) {
        TQuestionRec light;
        light.difficulty = q.difficulty;
        set.questions.push_back(light);
    }
    set.testTime = archive.settings.testTime.value_or(0);
    set.questionTime = archive.settings.questionTime.value_or(0);
    computeTimeBudgets(set, archive.timeByDifficulty);
    return set.questions[std::size_t(k)].timeLimitMs;
}

std::vector<TestIssue> EditableTest::check() const {
    std::vector<TestIssue> out;
    const std::vector<TQuestionRec>& qs = archive.questions;
    if (qs.empty())
        addIssue(out, TestField::Questions, -1, -1, "IssueNoQuestions",
                 QStringLiteral("a test needs at least one question"));
    if (int(qs.size()) > kMaxQuestions)
        addIssue(out, TestField::Questions, -1, -1, "IssueTooManyQuestions",
                 QStringLiteral("a test holds at most %1 questions"), kMaxQuestions);
    for (std::size_t k = 1; k < qs.size(); ++k)
        if (kindRank(qs[k]) < kindRank(qs[k - 1])) {
            addIssue(out, TestField::Questions, int(k), -1, "IssueNotGrouped",
                     QStringLiteral("the questions are not grouped by kind (A, then B, then D)"));
            break;
        }
    if (password.size() > 17)
        addIssue(out, TestField::Password, -1, -1, "IssuePasswordLong",
                 QStringLiteral("the password is longer than 17 characters: the prompt takes no "
                                "more"));
    if (password.find('\0') != std::string::npos)
        addIssue(out, TestField::Password, -1, -1, "IssuePasswordZero",
                 QStringLiteral("the password holds a zero byte"));
    checkText(out, TestField::Comment, -1, catalogue.comment, 2000);
    checkText(out, TestField::Klass, -1, catalogue.klass, 255);
    checkText(out, TestField::Subject, -1, catalogue.subject, 255);
    const std::size_t trailer = std::size_t(encodeCatalogueTrailer(catalogue).size());
    if (trailer > kMaxCatalogueTrailerSize)
        addIssue(out, TestField::Topics, -1, -1, "IssueCatalogue",
                 QStringLiteral("the comment, class, subject and topics take %1 bytes, at most %2 "
                                "fit; shorten them"),
                 trailer, kMaxCatalogueTrailerSize);

    const ArchiveSettings& s = archive.settings;
    if (s.testTimerOn && s.testTime && timeOfDayMs(*s.testTime) < kOpenQuestionMs)
        addIssue(out, TestField::TestTime, -1, -1, "IssueTestTimeZero",
                 QStringLiteral("the test is timed but its time is zero"));
    if (s.questionTimerOn && !archive.timeByDifficulty && s.questionTime &&
        timeOfDayMs(*s.questionTime) < kOpenQuestionMs)
        addIssue(out, TestField::QuestionTime, -1, -1, "IssueQuestionTimeZero",
                 QStringLiteral("each question is timed but its time is zero"));
    if (archive.timeByDifficulty && (!s.testTime || timeOfDayMs(*s.testTime) < kOpenQuestionMs))
        addIssue(out, TestField::TestTime, -1, -1, "IssueSharedTime",
                 QStringLiteral("the time shared out by difficulty is the test time: set it"));

    const ArchiveSettings139 x = archive.settings139.value_or(ArchiveSettings139{});
    // A test made here without pages gets blank ones, which nobody should be shown.
    if (archive.introduction.isEmpty() && x.showIntroduction)
        addIssue(out, TestField::Introduction, -1, -1, "IssueNoIntroduction",
                 QStringLiteral("the introduction is to be shown but there is no page"));
    if (archive.reference.isEmpty() && x.referenceAllowed)
        addIssue(out, TestField::Reference, -1, -1, "IssueNoReference",
                 QStringLiteral("the reference page is allowed but there is no page"));
    const std::vector<MarkBand> marks = bands();
    if (editedBands_)
        checkBands(out, *editedBands_);
    if (x.showMark && marks.empty())
        addIssue(out, TestField::Marks, -1, -1, "IssueNoScale",
                 QStringLiteral("the mark is to be shown but there is no marks scale"));

    for (std::size_t k = 0; k < qs.size(); ++k)
        checkQuestion(out, qs[k], int(k), archive.timeByDifficulty);
    return out;
}

TestArchive EditableTest::archiveToWrite(QString* error) const {
    TestArchive a = archiveAsSaved();
    for (QByteArray* page : {&a.introduction, &a.reference})
        if (page->isEmpty()) {
            *page = pack::blankPagePiece(error);
            if (page->isEmpty())
                return a;
        }
    return a;
}

TestArchive EditableTest::archiveAsSaved() const {
    TestArchive a = archive;
    if (editedBands_) {
        if (!a.settings139)
            a.settings139.emplace();
        a.settings139->markScale = scaleOfBands(*editedBands_);
    }
    for (const TQuestionRec& q : a.questions) {
        a.hasTextbooks |= !q.textbook.empty();
        a.hasSlots |= q.kind() == 'D';
        a.hasDifficulties |= q.difficulty != kDefaultDifficulty;
    }
    a.hasDifficulties |= a.timeByDifficulty;
    return a;
}

std::optional<QByteArray> EditableTest::encode(QString* error) const {
    const std::vector<TestIssue> issues = check();
    if (!issues.empty()) {
        if (error)
            *error = issues.front().question >= 0 ? QStringLiteral("question %1: %2")
                                                        .arg(issues.front().question + 1)
                                                        .arg(issues.front().text)
                                                  : issues.front().text;
        return std::nullopt;
    }
    QString why;
    const TestArchive a = archiveToWrite(&why);
    if (a.introduction.isEmpty() || a.reference.isEmpty()) {
        if (error)
            *error = why;
        return std::nullopt;
    }
    return writeTestArchive(a, password, catalogue, error);
}

bool EditableTest::save(const QString& path, QString* error) {
    const std::optional<QByteArray> bytes = encode(error);
    if (!bytes)
        return false;
    return writeFileAtomically(path, *bytes, error);
}

bool EditableTest::exportFolder(const QString& folder, QString* error) const {
    auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    if (const std::vector<TestIssue> issues = check(); !issues.empty())
        return fail(issues.front().text);
    QDir dir(folder);
    if (!dir.mkpath(QStringLiteral(".")))
        return fail(QStringLiteral("%1: cannot be made").arg(folder));
    QString ini;
    bool oneLine = true;
    auto line = [&ini](const QString& key, const QString& value) {
        ini += key + QLatin1Char('=') + value + QLatin1Char('\n');
    };
    auto text = [&oneLine](const std::string& t) {
        oneLine &= t.find_first_of("\r\n") == std::string::npos;
        return u(t);
    };
    auto flag = [](bool b) { return b ? QStringLiteral("1") : QStringLiteral("0"); };
    auto writePage = [&](const QString& name, const QByteArray& piece) {
        QString why;
        if (!writeFileAtomically(dir.filePath(name), piece, &why))
            return fail(why);
        return true;
    };

    const ArchiveSettings& s = archive.settings;
    const ArchiveSettings139 x = archive.settings139.value_or(ArchiveSettings139{});
    ini += QStringLiteral("[Test]\n");
    line(QStringLiteral("Comment"), text(catalogue.comment));
    line(QStringLiteral("Class"), text(catalogue.klass));
    line(QStringLiteral("Subject"), text(catalogue.subject));
    QStringList topics;
    for (const std::string& t : TopicLines(catalogue.topics))
        topics << text(t);
    line(QStringLiteral("Topics"), topics.join(QLatin1Char('|')));
    if (!password.empty())
        line(QStringLiteral("Password"), text(password));
    if (s.testTime)
        line(QStringLiteral("TestTime"), QString::fromStdString(formatTimeText(*s.testTime)));
    line(QStringLiteral("TestTimer"), flag(s.testTimerOn));
    if (s.questionTime)
        line(QStringLiteral("QuestionTime"),
             QString::fromStdString(formatTimeText(*s.questionTime)));
    line(QStringLiteral("QuestionTimer"), flag(s.questionTimerOn));
    line(QStringLiteral("TimeByDifficulty"), flag(archive.timeByDifficulty));
    if (s.fixedOrder)
        line(QStringLiteral("Order"),
             *s.fixedOrder ? QStringLiteral("fixed") : QStringLiteral("free"));
    line(QStringLiteral("NoLockdown"), flag(s.lockdownOff));
    line(QStringLiteral("Calculator"), flag(s.calculatorAllowed));
    if (!archive.introduction.isEmpty()) {
        line(QStringLiteral("Introduction"), QStringLiteral("intro.piece"));
        if (!writePage(QStringLiteral("intro.piece"), archive.introduction))
            return false;
    }
    if (!archive.reference.isEmpty()) {
        line(QStringLiteral("Reference"), QStringLiteral("reference.piece"));
        if (!writePage(QStringLiteral("reference.piece"), archive.reference))
            return false;
    }
    line(QStringLiteral("ShowIntroduction"), flag(x.showIntroduction));
    line(QStringLiteral("ReferenceAllowed"), flag(x.referenceAllowed));
    line(QStringLiteral("AnswerReview"), flag(x.answerReviewAllowed));
    line(QStringLiteral("TextbookDuringTest"), flag(x.textbookDuringTest));
    line(QStringLiteral("TextbookInReview"), flag(x.textbookInReview));
    line(QStringLiteral("ShowMark"), flag(x.showMark));
    const std::vector<MarkBand> marks = bands();
    if (!marks.empty()) {
        ini += QStringLiteral("\n[Marks]\n");
        for (const MarkBand& m : marks)
            line(percentText(m.fromHundredths), text(m.markText));
    }
    const bool difficulties = archive.hasDifficulties || archive.timeByDifficulty;
    for (std::size_t k = 0; k < archive.questions.size(); ++k) {
        const TQuestionRec& q = archive.questions[k];
        const QString page = QStringLiteral("q%1.piece").arg(k + 1);
        ini += QStringLiteral("\n[Question%1]\n").arg(k + 1);
        line(QStringLiteral("Kind"), text(q.kindText));
        line(QStringLiteral("Page"), page);
        if (!writePage(page, q.body))
            return false;
        if (!q.topic.empty())
            line(QStringLiteral("Topic"), text(q.topic));
        if (!q.textbook.empty())
            line(QStringLiteral("Textbook"), text(q.textbook));
        if (difficulties || q.difficulty != kDefaultDifficulty)
            line(QStringLiteral("Difficulty"), QString::number(q.difficulty));
        QStringList parts;
        if (q.kind() == 'A') {
            line(QStringLiteral("Choices"), QString::number(q.choiceCount));
            for (int i = 0; i < q.choiceCount; ++i)
                if (q.rightChoice[std::size_t(i)])
                    parts << QString::number(i + 1);
            line(QStringLiteral("Right"), parts.join(QLatin1Char(',')));
            line(QStringLiteral("Multiple"), flag(q.multiChoice));
        } else if (q.kind() == 'B') {
            line(QStringLiteral("Answer"), text(q.rightText));
        } else {
            QStringList numbers;
            for (int i = 0; i < q.choiceCount; ++i) {
                const TSlotRec& slot = q.rightSlots[std::size_t(i)];
                parts << QStringLiteral("%1,%2").arg(slot.col).arg(slot.row);
                numbers << QString::number(slot.number);
            }
            line(QStringLiteral("Slots"), parts.join(QLatin1Char(' ')));
            line(QStringLiteral("Right"), numbers.join(QLatin1Char(',')));
        }
    }
    if (!oneLine)
        return fail(QStringLiteral("a text holds a line break, which the description cannot"));
    QString why;
    if (!writeFileAtomically(dir.filePath(QStringLiteral("test.ini")), ini.toUtf8(), &why))
        return fail(why);
    return true;
}

bool writeFileAtomically(const QString& path, const QByteArray& bytes, QString* error) {
    auto fail = [&](const QString& why) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, why);
        return false;
    };
    const QFileInfo info(path);
    const QByteArray target = QFile::encodeName(info.absoluteFilePath());
    mode_t mode = 0666 & ~currentUmask();
    struct stat st {};
    if (::stat(target.constData(), &st) == 0) {
        if (!S_ISREG(st.st_mode))
            return fail(QStringLiteral("not a regular file"));
        mode = st.st_mode & 07777;
    }
    const QByteArray folder = QFile::encodeName(info.absolutePath());
    QByteArray temp = folder + "/." + QFile::encodeName(info.fileName()) + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    const bool written = ::fchmod(fd, mode) == 0 && writeAll(fd, bytes) && ::fsync(fd) == 0;
    const int writeErrno = errno;
    if (::close(fd) != 0 || !written) {
        ::unlink(temp.constData());
        return fail(QString::fromLocal8Bit(std::strerror(written ? errno : writeErrno)));
    }
    if (::rename(temp.constData(), target.constData()) != 0) {
        const int renameErrno = errno;
        ::unlink(temp.constData());
        return fail(QString::fromLocal8Bit(std::strerror(renameErrno)));
    }
    // The new name itself must survive a power cut.
    const int dirFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

} // namespace kvz
