#pragma once

// The result archive: the record of a checked test as two entries ("inform.dat", the summary,
// then "inform160.dat", the detail), deflated and encrypted under the result password, and its
// safe writing into a results folder under a new eight-digit name. Plain logic: the results
// window, the tools and the tests use it alike.

#include "shell/RunState.h"
#include "test/QuestionSet.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>
#include <string>

namespace kvz {

inline constexpr char kSummaryEntryName[] = "inform.dat";
inline constexpr char kDetailEntryName[] = "inform160.dat";

// What the record says beside the check: Windows-1251 texts and the two times of the run.
struct ResultFacts {
    std::string examineeName;
    std::string group; // class or group
    std::string subject;
    std::string testName; // without ".tst"
    DateTime startTime = 0;
    DateTime finishTime = 0;
};

QByteArray BuildSummaryEntry(const ResultFacts& facts, const CheckSummary& summary);
// The questions in list order; answered flags as the check left them.
QByteArray BuildDetailEntry(const QuestionSet& set);

// A question's answer as the record writes it: kind A "0100100000", kind B the text itself,
// kind D the slot numbers joined by ", ", other kinds empty.
std::string rightAnswerText(const TQuestionRec& question);
std::string givenAnswerText(const TQuestionRec& question, const TAnswerRec& answer);

// The whole archive in memory; nullopt with error set when it cannot be built.
std::optional<QByteArray> BuildResultArchive(const ResultFacts& facts, const CheckSummary& summary,
                                             const QuestionSet& set, QString* error = nullptr);

// Writes bytes into folder (created with its parents when missing) as "NNNNNNNN.rst", eight
// digits drawn at random from seed, never replacing a file: the bytes go to a temporary file
// that is flushed to disk and then given the new name, and the folder is flushed too, so a crash
// never leaves a half-written result under a real name. Returns the path written, or nullopt
// with error set (nothing is left behind then).
std::optional<QString> writeResultFile(const QString& folder, const QByteArray& bytes,
                                       std::uint32_t seed, QString* error = nullptr);

// Where a result goes when its results folder cannot take it: the user's own data folder
// ($XDG_DATA_HOME/kvizor/rescued-results, by default
// ~/.local/share/kvizor/rescued-results), apart from the Results folder of a user's own copy.
QString fallbackResultsFolder();

// Where StoreResult puts the archive. Without command-line parameters, or when the profile
// asks to keep results, it is written into the results folder (and sent when connected);
// otherwise it is only sent, through a temporary file, and only when connected.
enum class ResultDestination { ResultsFolder, SendOnly, Nowhere };
ResultDestination resultDestination(bool startedWithParameters, bool profileSaveResult,
                                    bool connected);

// The 13-line block the text result log gets per finished test, CR LF after each line.
// score is the weighted score; dates in the system's short date format, then the long time
// (left out at exactly midnight).
std::string textResultBlock(const ResultFacts& facts, const CheckSummary& summary);
std::string dateTimeText(DateTime t);

} // namespace kvz
