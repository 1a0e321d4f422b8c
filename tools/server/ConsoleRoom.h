#pragma once

// What the console shows: the classroom as rows (one per workstation, kept after it leaves),
// the tests on offer with their passwords and grading scales, and the results, those already
// in the results folder at start and every one that arrives. Read from the server; no sockets.

#include "results/ResultExport.h"
#include "shell/RunState.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <map>
#include <optional>
#include <vector>

namespace kvz::server {

class Server;

class ConsoleRoom {
public:
    explicit ConsoleRoom(Server& server);

    // Every result of the results folder, through the reader kvizor-results uses.
    void loadResultsFolder();
    // A result the server stored: it goes into the table and onto its workstation's row. The
    // new row of the table, or nothing when the file cannot be read back.
    std::optional<QJsonObject> addResult(int number, const QString& path);
    // A test password the supervisor gave: tests it opens show their marks from now on.
    void passwordGiven(const QString& password);
    // Why allowing with this password would fail (a set test it does not open), or empty.
    QString allowProblem(const QString& password);

    // Looks at the workstations again at nowMs (milliseconds since the epoch).
    void refresh(qint64 nowMs);
    // The classroom, the tests and the mode (without results).
    QJsonObject stateJson() const;
    QJsonArray resultsJson() const;
    // One result, question by question; an empty object when there is none with that id.
    QJsonObject resultDetail(int id) const;
    QByteArray resultsCsv() const;
    QByteArray resultsJsonBytes() const;
    std::size_t resultCount() const { return results_.size(); }

    // Rows no longer connected that are kept, at most.
    static constexpr std::size_t kGoneKept = 200;
    // Results kept in memory, at most (the folder keeps them all).
    static constexpr std::size_t kResultsKept = 5000;

private:
    struct Grading {
        QString file;
        qint64 size = -1;
        std::optional<bool> hasPassword; // unknown until the file was read
        std::vector<MarkEntry> scale;
    };
    struct Result {
        int id = 0;
        ExportedResult exported;
        QString score; // weighted by difficulty, "66.67"
        QString mark;
    };
    struct Row {
        QJsonObject view;
        int number = 0;
        qint64 firstSeen = 0;
        qint64 testingSince = -1;
        qint64 goneAt = -1;
        int resultId = -1;
        bool finished = false;
        bool named = false;
    };

    void gradeTests();
    Grading* gradingFor(const std::string& testStem);
    QJsonObject resultJson(const Result& r) const;
    const Result* findResult(int id) const;
    Result make(QString file, ResultRecord record);
    std::vector<ExportedResult> exported() const;

    Server& server_;
    std::map<QString, Row> rows_;        // by address and host name
    std::map<QString, Grading> grading_; // by test name without ".tst"
    std::vector<Result> results_;
    int nextResultId_ = 1;
};

} // namespace kvz::server
