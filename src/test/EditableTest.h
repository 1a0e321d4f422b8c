#pragma once

// A test open in the editor: the archive's records as the reader gives them, the catalogue and
// the password, with the edits a teacher makes (questions added, duplicated, moved, changed; the
// marks scale as percent bands), the checks that stop a faulty test from being saved, and saving
// through the one archive writer without ever destroying the old file first. Plain logic: the
// editor's windows hold controls and call this.

#include "choice/Catalogue.h"
#include "test/TestArchive.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <string>
#include <vector>

namespace kvz {

// One band of the marks scale as the teacher writes it: "from 85 % the mark is 5".
struct MarkBand {
    int fromHundredths = 0; // the least score that earns the mark, hundredths of a percent
    std::string markText;   // Windows-1251
    bool operator==(const MarkBand&) const = default;
};

// The bands the program gives for a stored scale, in stored order; an entry that can never be
// given (its band is empty) is left out.
std::vector<MarkBand> bandsOfScale(const std::vector<MarkEntry>& scale);
// The stored form of bands given in any order (from the lowest up, each with the highest score
// it covers, the last one the default).
std::vector<MarkEntry> scaleOfBands(const std::vector<MarkBand>& bands);

// What a check found, named by the field it concerns so the window can show it beside it.
enum class TestField {
    Questions,
    Password,
    Comment,
    Klass,
    Subject,
    Topics,
    TestTime,
    QuestionTime,
    Introduction,
    Reference,
    Marks,
    Kind,
    Page,
    Topic,
    Textbook,
    Difficulty,
    Choices,
    RightChoice,
    Answer,
    Slots,
    SlotOrder,
};

struct TestIssue {
    TestField field = TestField::Questions;
    int question = -1; // 0-based, -1 for the test's own fields
    int item = -1;     // a slot or a band, 0-based, when the issue concerns one
    QString text;      // in English
    QString key;       // names the wording in the editor's language files
    QStringList args;  // its values, %1, %2, ... in order
};

// Cells of the marker grid that lie wholly on the page: the grid has 22.97 columns across the
// page and 16.17 rows down it, whatever the page's shape.
inline constexpr int kLastColumnOnPage = 21;
inline constexpr int kLastRowOnPage = 15;

struct OpenResult;

class EditableTest {
public:
    // A new test: one question of kind A, the usual times, no marks, the blank pages added on save.
    static EditableTest makeNew();
    // From a .tst: hooks ask for the password when the one given does not open it.
    static OpenResult open(const QString& path, const std::string& typedPassword,
                           const ArchiveReadHooks& hooks = {});
    // From a folder of kvizor-pack build (test.ini and its pages); notes: what the reader changed.
    static std::optional<EditableTest> importFolder(const QString& folder, QString& error,
                                                    QStringList* notes = nullptr);

    TestArchive archive; // questions in list order (A, then B, then D)
    CatalogueInfo catalogue;
    std::string password; // the typed test password, Windows-1251

    // The marks scale. Until the bands are changed the stored scale is kept as it was read.
    std::vector<MarkBand> bands() const;
    void setBands(std::vector<MarkBand> bands);
    bool bandsChanged() const { return editedBands_.has_value(); }
    // The stored settings139 entry, made when a test had none and one of its fields is set.
    ArchiveSettings139& settings139();

    // Questions. Each change keeps the kinds grouped as the run asks them (A, B, D, each group in
    // the teacher's order) and returns where the question touched now stands.
    int addQuestion(char kind, int after);
    int duplicateQuestion(int k);
    void removeQuestion(int k);
    int moveQuestion(int from, int to);
    int setKind(int k, char kind);
    // Choices (A) or slots (D): the count, keeping what still fits.
    void setChoiceCount(int k, int n);
    std::vector<std::string> labels() const { return makeLabels(archive.questions); }
    // The question's time as the run gives it (by difficulty or the question time), in ms.
    std::int32_t budgetMs(int k) const;

    // Everything that stops a save, by field; empty when the test can be saved.
    std::vector<TestIssue> check() const;
    // The whole .tst as the writer makes it; nullopt with the reason when a check fails.
    std::optional<QByteArray> encode(QString* error = nullptr) const;
    // The archive as it will be written, less the blank pages: the bands made into the stored
    // scale, the optional entries kept whenever they carry something. The preview runs this.
    TestArchive archiveAsSaved() const;
    // Checks, writes a temporary file beside path, syncs it and renames it over path.
    bool save(const QString& path, QString* error = nullptr);
    // The folder format of kvizor-pack build: test.ini and one .piece per page.
    bool exportFolder(const QString& folder, QString* error = nullptr) const;

private:
    void regroup(int& tracked);
    // archiveAsSaved with blank introduction and reference pages where there are none.
    TestArchive archiveToWrite(QString* error) const;

    std::optional<std::vector<MarkBand>> editedBands_;
};

struct OpenResult {
    std::optional<EditableTest> test;
    QString error;
    bool cancelled = false;
};

// Writes bytes to path through a temporary file in the same folder, synced before it takes the
// name; an existing file keeps its mode. The old file stays whole on any failure.
bool writeFileAtomically(const QString& path, const QByteArray& bytes, QString* error);

} // namespace kvz
