#include "ConsoleRoom.h"

#include "Server.h"

#include "l10n/Cp1251.h"
#include "run/Checking.h"
#include "shell/NamedFile.h"
#include "test/TestArchive.h"

#include <QDir>
#include <QJsonDocument>
#include <algorithm>
#include <cmath>

namespace kvz::server {

namespace {

QString u(const std::string& cp1251Text) {
    return cp1251::toUnicode(cp1251Text);
}

// The test's file read for its settings; nothing when it changed size or cannot be read.
std::optional<QByteArray> testBytes(const OfferedTest& t) {
    QString error;
    std::optional<QByteArray> bytes = readNamedFile(t.path, t.size, &error);
    if (!bytes || bytes->size() != t.size)
        return std::nullopt;
    return bytes;
}

// The time from the start to the finish of a result, as the tool prints times spent.
QString spentText(const ResultFacts& f) {
    const double days = std::clamp(f.finishTime - f.startTime, 0.0, 20.0);
    return resultSpent(std::int32_t(std::llround(days * 86400000.0)));
}

bool inTest(const QString& state) {
    return state == QStringLiteral("testing") || state == QStringLiteral("paused");
}

} // namespace

ConsoleRoom::ConsoleRoom(Server& server) : server_(server) {}

ConsoleRoom::Grading* ConsoleRoom::gradingFor(const std::string& testStem) {
    const auto it = grading_.find(u(testStem));
    return it == grading_.end() ? nullptr : &it->second;
}

void ConsoleRoom::gradeTests() {
    for (const OfferedTest& t : server_.tests()) {
        Grading& g = grading_[u(t.stem)];
        if (g.file == u(t.file) && g.size == t.size)
            continue;
        g = Grading{};
        g.file = u(t.file);
        g.size = t.size;
        if (const auto bytes = testBytes(t)) {
            const TestGrading read = readTestGrading(*bytes, {});
            if (read.opened)
                g.hasPassword = false;
            else if (read.badPassword)
                g.hasPassword = true;
            if (read.settings139)
                g.scale = read.settings139->markScale;
        }
    }
}

void ConsoleRoom::passwordGiven(const QString& password) {
    const std::string typed = cp1251::fromUnicode(password);
    bool learned = false;
    for (const OfferedTest& t : server_.tests()) {
        Grading* g = gradingFor(t.stem);
        if (!g || g->hasPassword != std::optional<bool>(true) || !g->scale.empty())
            continue;
        if (const auto bytes = testBytes(t)) {
            const TestGrading read = readTestGrading(*bytes, typed);
            if (read.opened && read.settings139 && !read.settings139->markScale.empty()) {
                g->scale = read.settings139->markScale;
                learned = true;
            }
        }
    }
    if (!learned)
        return;
    for (Result& r : results_)
        if (r.mark.isEmpty())
            r = make(std::move(r.exported.file), std::move(r.exported.record));
}

QString ConsoleRoom::allowProblem(const QString& password) {
    if (server_.mode() != Server::Mode::Set)
        return {};
    const OfferedTest* t = server_.findTest(cp1251::fromUnicode(server_.setTestFile()));
    if (!t)
        return {};
    gradeTests();
    const Grading* g = gradingFor(t->stem);
    if (!g || g->hasPassword != std::optional<bool>(true))
        return {};
    if (password.isEmpty())
        return QStringLiteral("password-needed");
    const auto bytes = testBytes(*t);
    if (bytes && !readTestGrading(*bytes, cp1251::fromUnicode(password)).opened)
        return QStringLiteral("password-wrong");
    return {};
}

ConsoleRoom::Result ConsoleRoom::make(QString file, ResultRecord record) {
    Result r;
    std::int64_t gained = 0, total = 0;
    for (const ResultQuestion& q : record.questions) {
        total += q.difficulty;
        if (q.right)
            gained += q.difficulty;
    }
    r.score = QString::fromStdString(percentText(gained, total));
    if (Grading* g = gradingFor(record.facts.testName); g && !g->scale.empty()) {
        const int e = ChooseMark(gained, total, g->scale, int(g->scale.size()));
        if (e >= 0)
            r.mark =
                u(g->scale[std::size_t(e)].markText).replace(QLatin1Char('|'), QLatin1Char(' '));
    }
    r.exported = {std::move(file), std::move(record)};
    return r;
}

void ConsoleRoom::loadResultsFolder() {
    gradeTests();
    // The folder as kvizor-results reads it; files it cannot read are left out here as there.
    ResultFolder read = readResultFolder(server_.resultsFolder());
    for (std::size_t k = 0; k < read.records.size(); ++k) {
        Result r = make(read.paths[k], std::move(read.records[k]));
        r.id = nextResultId_++;
        results_.push_back(std::move(r));
    }
    if (results_.size() > kResultsKept)
        results_.erase(results_.begin(), results_.end() - qsizetype(kResultsKept));
}

std::optional<QJsonObject> ConsoleRoom::addResult(int number, const QString& path) {
    gradeTests();
    QString error;
    auto record = loadResultFile(path, &error);
    if (!record)
        return std::nullopt;
    Result r = make(QDir(server_.resultsFolder()).relativeFilePath(path), std::move(*record));
    r.id = nextResultId_++;
    for (auto& [key, row] : rows_)
        if (row.number == number && row.goneAt < 0) {
            row.resultId = r.id;
            row.finished = true;
        }
    results_.push_back(std::move(r));
    if (results_.size() > kResultsKept)
        results_.erase(results_.begin());
    return resultJson(results_.back());
}

const ConsoleRoom::Result* ConsoleRoom::findResult(int id) const {
    const auto it = std::lower_bound(results_.begin(), results_.end(), id,
                                     [](const Result& r, int v) { return r.id < v; });
    return it != results_.end() && it->id == id ? &*it : nullptr;
}

void ConsoleRoom::refresh(qint64 nowMs) {
    const int poll = server_.pollMs();
    // An answer is due every poll: one missing by more than half a period is a workstation that
    // stopped answering, shown within two periods.
    const qint64 silentAfter = poll * 3 / 2 + poll / 8;
    std::map<QString, bool> present;
    for (const StationView& v : server_.stationViews()) {
        const bool named = !v.host.isEmpty();
        const QString byNumber = QStringLiteral("#%1").arg(v.number);
        const QString key = named ? v.address + QLatin1Char('\n') + v.host : byNumber;
        if (named)
            rows_.erase(byNumber);
        present[key] = true;
        Row& r = rows_[key];
        if (r.firstSeen == 0)
            r.firstSeen = nowMs;
        r.named = named;
        r.number = v.number;
        r.goneAt = -1;
        if (v.state == QStringLiteral("downloading")) {
            r.finished = false; // a new test: the last result is history
            r.resultId = -1;
        }
        if (inTest(v.state) && !r.finished) {
            if (r.testingSince < 0)
                r.testingSince = nowMs;
        } else if (!r.finished) {
            r.testingSince = -1;
        }
        const bool silent = v.quietMs > silentAfter && !v.awaitingFree;
        QString state = r.finished && v.state != QStringLiteral("downloading")
                            ? QStringLiteral("finished")
                            : v.state;
        QJsonObject o{{QStringLiteral("number"), v.number},   {QStringLiteral("host"), v.host},
                      {QStringLiteral("address"), v.address}, {QStringLiteral("state"), state},
                      {QStringLiteral("test"), v.test},       {QStringLiteral("name"), v.name},
                      {QStringLiteral("percent"), v.percent}, {QStringLiteral("silent"), silent},
                      {QStringLiteral("allowed"), v.allowed}};
        if (r.testingSince >= 0)
            o[QStringLiteral("testingSince")] = double(r.testingSince);
        if (const Result* res = r.resultId >= 0 ? findResult(r.resultId) : nullptr) {
            o[QStringLiteral("score")] = res->score;
            o[QStringLiteral("mark")] = res->mark;
            o[QStringLiteral("resultId")] = res->id;
            const ResultFacts& f = res->exported.record.facts;
            o[QStringLiteral("spent")] = spentText(f);
            if (o[QStringLiteral("name")].toString().isEmpty())
                o[QStringLiteral("name")] = u(f.examineeName);
            if (o[QStringLiteral("test")].toString().isEmpty())
                o[QStringLiteral("test")] = u(f.testName);
        }
        r.view = o;
    }
    // Those that left: a named workstation stays as disconnected, a connection that never said
    // who it was goes; the oldest departures go first beyond the bound.
    std::vector<std::pair<qint64, QString>> gone;
    for (auto it = rows_.begin(); it != rows_.end();) {
        if (present.count(it->first)) {
            ++it;
            continue;
        }
        if (!it->second.named) {
            it = rows_.erase(it);
            continue;
        }
        if (it->second.goneAt < 0) {
            it->second.goneAt = nowMs;
            it->second.view[QStringLiteral("silent")] = false;
            if (it->second.view[QStringLiteral("state")] != QStringLiteral("finished"))
                it->second.view.remove(QStringLiteral("testingSince"));
        }
        gone.emplace_back(it->second.goneAt, it->first);
        ++it;
    }
    if (gone.size() > kGoneKept) {
        std::sort(gone.begin(), gone.end());
        for (std::size_t i = 0; i < gone.size() - kGoneKept; ++i)
            rows_.erase(gone[i].second);
    }
}

QJsonObject ConsoleRoom::stateJson() const {
    QJsonArray stations;
    for (const auto& [key, r] : rows_) {
        QJsonObject o = r.view;
        if (r.goneAt >= 0) {
            o[QStringLiteral("gone")] = true;
            o[QStringLiteral("goneAt")] = double(r.goneAt);
        }
        stations.append(o);
    }
    QJsonArray tests;
    for (const OfferedTest& t : server_.tests()) {
        QJsonObject o{{QStringLiteral("file"), u(t.file)},
                      {QStringLiteral("class"), u(t.klass)},
                      {QStringLiteral("subject"), u(t.subject)},
                      {QStringLiteral("size"), double(t.size)}};
        if (const auto g = grading_.find(u(t.stem)); g != grading_.end()) {
            if (g->second.hasPassword)
                o[QStringLiteral("password")] = *g->second.hasPassword;
            QJsonArray marks;
            for (const MarkEntry& e : g->second.scale)
                marks.append(u(e.markText).replace(QLatin1Char('|'), QLatin1Char(' ')));
            o[QStringLiteral("marks")] = marks;
        }
        tests.append(o);
    }
    const char* mode = server_.mode() == Server::Mode::Choice ? "choice"
                       : server_.mode() == Server::Mode::Set  ? "set"
                                                              : "none";
    return QJsonObject{{QStringLiteral("pollMs"), server_.pollMs()},
                       {QStringLiteral("mode"), QLatin1String(mode)},
                       {QStringLiteral("setTest"), server_.setTestFile()},
                       {QStringLiteral("shuffle"), server_.shuffle()},
                       {QStringLiteral("stations"), stations},
                       {QStringLiteral("tests"), tests}};
}

QJsonObject ConsoleRoom::resultJson(const Result& r) const {
    const ResultRecord& rec = r.exported.record;
    const ResultFacts& f = rec.facts;
    return QJsonObject{{QStringLiteral("id"), r.id},
                       {QStringLiteral("file"), r.exported.file},
                       {QStringLiteral("examinee"), u(f.examineeName)},
                       {QStringLiteral("class"), u(f.group)},
                       {QStringLiteral("subject"), u(f.subject)},
                       {QStringLiteral("test"), u(f.testName)},
                       {QStringLiteral("score"), r.score},
                       {QStringLiteral("mark"), r.mark},
                       {QStringLiteral("rightPercent"), resultPercent(rec.rightPercentHundredths)},
                       {QStringLiteral("right"), rec.rightCount},
                       {QStringLiteral("answered"), rec.answeredCount},
                       {QStringLiteral("questions"), rec.questionCount},
                       {QStringLiteral("started"), resultDateTime(f.startTime)},
                       {QStringLiteral("finished"), resultDateTime(f.finishTime)},
                       {QStringLiteral("spent"), spentText(f)}};
}

QJsonArray ConsoleRoom::resultsJson() const {
    QJsonArray out;
    for (const Result& r : results_)
        out.append(resultJson(r));
    return out;
}

QJsonObject ConsoleRoom::resultDetail(int id) const {
    const Result* r = findResult(id);
    if (!r)
        return {};
    QJsonObject o = resultJson(*r);
    QJsonArray items;
    for (const ResultQuestion& q : r->exported.record.questions)
        items.append(QJsonObject{{QStringLiteral("item"), u(q.label)},
                                 {QStringLiteral("topic"), u(q.topic)},
                                 {QStringLiteral("rightAnswer"), u(q.rightAnswer)},
                                 {QStringLiteral("answered"), q.answered},
                                 {QStringLiteral("given"), u(q.givenAnswer)},
                                 {QStringLiteral("time"), resultSpent(q.timeSpentMs)},
                                 {QStringLiteral("right"), q.right}});
    o[QStringLiteral("items")] = items;
    return o;
}

std::vector<ExportedResult> ConsoleRoom::exported() const {
    std::vector<ExportedResult> rows;
    rows.reserve(results_.size());
    for (const Result& r : results_)
        rows.push_back(r.exported);
    // In the order of their files, as kvizor-results export writes the folder.
    std::sort(rows.begin(), rows.end(),
              [](const ExportedResult& a, const ExportedResult& b) { return a.file < b.file; });
    return rows;
}

QByteArray ConsoleRoom::resultsCsv() const {
    return exportCsv(exported());
}

QByteArray ConsoleRoom::resultsJsonBytes() const {
    return QJsonDocument(exportJson(exported())).toJson(QJsonDocument::Indented);
}

} // namespace kvz::server
