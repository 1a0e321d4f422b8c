#pragma once

// Test archives (.tst): the seven entries inside the encrypted ZIP, read into question records
// and settings, and written back from them. The reader takes the archive's bytes and never
// trusts a size or offset it finds there.

#include "choice/Catalogue.h"
#include "shell/RunState.h"
#include "test/QuestionSet.h"
#include "test/ZipMemory.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kvz {

// Sizes of the fixed layouts.
inline constexpr int kWordDocTrailerSize = 1025;
inline constexpr int kQuestionEntrySize = 772;
inline constexpr int kSettingsSize = 22;
inline constexpr int kTextbookEntrySize = 255;
inline constexpr int kSlotEntrySize = 30;
// Caps on what one entry may unpack to; a test holds at most 254 pages.
inline constexpr std::size_t kMaxWordDocSize = std::size_t(512) << 20;
inline constexpr std::size_t kMaxSmallEntrySize = std::size_t(1) << 20;
inline constexpr std::size_t kMaxArchiveSize = std::size_t(768) << 20;
// Readers look for the end of the ZIP no further back than 64 KiB from the end of the file,
// where the catalogue trailer sits: a longer trailer makes an archive they cannot open.
inline constexpr std::size_t kMaxCatalogueTrailerSize = 0xFFFF;

// settings.dat
struct ArchiveSettings {
    bool testTimerOn = false;
    bool questionTimerOn = false;
    bool lockdownOff = false;
    bool calculatorAllowed = false;
    std::optional<bool> fixedOrder;   // unset: the order setting stays as it was
    std::optional<DateTime> testTime; // unset: the previous value stays
    std::optional<DateTime> questionTime;
};

// settings139.dat
struct ArchiveSettings139 {
    bool answerReviewAllowed = false;
    bool textbookDuringTest = false;
    bool textbookInReview = false;
    bool showIntroduction = true;
    bool referenceAllowed = true;
    bool showMark = false;
    std::vector<MarkEntry> markScale; // threshold as decimal text, hundredths of a percent
};

// Everything an archive holds. The reader fills it; the writer takes the same thing, so a
// round trip compares field by field.
struct TestArchive {
    std::vector<TQuestionRec> questions; // archive order; body, kind, answers, links, slots
    QByteArray introduction;             // whole pieces (header included)
    QByteArray reference;
    ArchiveSettings settings;
    std::optional<ArchiveSettings139> settings139;
    bool hasTextbooks = false;    // uchebniki.dat present
    bool hasSlots = false;        // ofset.dat present
    bool hasDifficulties = false; // slojnost.dat present
    bool timeByDifficulty = false;
};

enum class LoadStage { Preparing, Loading, Composing };

struct ArchiveReadHooks {
    // Called when the password failed: the new typed password, or nullopt for Cancel.
    std::function<std::optional<std::string>()> askPassword;
    std::function<void(int percent)> progress; // per entry, 0..100
    std::function<void(LoadStage)> stage;
};

struct ArchiveReadResult {
    std::optional<TestArchive> archive;
    QString error;             // for logs and kvizor-pack; the program shows its own message
    std::string typedPassword; // the password that opened it
    bool cancelled = false;    // the password prompt was cancelled or exhausted
};

inline constexpr int kMaxPasswordPrompts = 6;

// Reads a whole .tst file (archive plus catalogue trailer). typedPassword: the test password
// known so far (Windows-1251). The source is let go half way through, before the pages are
// cut; the pages share one buffer, that of WORD.doc.
ArchiveReadResult readTestArchive(std::unique_ptr<ArchiveSource> source,
                                  const std::string& typedPassword,
                                  const ArchiveReadHooks& hooks = {});
// The same from bytes in memory. Pass them moved in.
ArchiveReadResult readTestArchive(QByteArray bytes, const std::string& typedPassword,
                                  const ArchiveReadHooks& hooks = {});

// What a server needs of a test it offers, read from the small settings entries only: whether
// typedPassword opens it, and its grading scale.
struct TestGrading {
    bool opened = false;      // the password opens the archive
    bool badPassword = false; // it does not
    std::optional<ArchiveSettings139> settings139;
    QString error;
};
TestGrading readTestGrading(const QByteArray& bytes, const std::string& typedPassword);

// The seven entries (optional ones only when present in the archive), in the reader's layout.
std::vector<ZipEntry> encodeTestEntries(const TestArchive& archive);

// The whole .tst file: encrypted ZIP of the entries plus the catalogue trailer. Refused when the
// trailer is longer than kMaxCatalogueTrailerSize.
std::optional<QByteArray> writeTestArchive(const TestArchive& archive,
                                           const std::string& typedPassword,
                                           const CatalogueInfo& catalogue,
                                           QString* error = nullptr);

// Pages the file writer reads as it writes, in archive order: the questions', then the
// introduction and the reference. sizes gives each page's size; rewind() goes back to the first
// page, read() gives the next bytes (fewer than asked only at a fault or the end).
struct ArchivePages {
    std::vector<qint64> sizes;
    std::function<bool()> rewind;
    std::function<qint64(char* to, qint64 most)> read;
};

// The whole .tst file written to path with the pages streamed in from pages (the questions'
// bodies, the introduction and the reference in archive are not used): the bytes
// writeTestArchive makes, never more than a chunk of a page held. The file at path is replaced
// only by a whole archive. nullopt when written, else what went wrong.
std::optional<QString> writeTestArchiveFile(const QString& path, const TestArchive& archive,
                                            const ArchivePages& pages,
                                            const std::string& typedPassword,
                                            const CatalogueInfo& catalogue);

// The trailer: zero byte, comment, zero byte, class, zero byte, subject, zero byte, topics.
QByteArray encodeCatalogueTrailer(const CatalogueInfo& info);

// Puts a read archive into the run window's question set and the run state: the reset of the
// previous test, labels, settings, answers and time budgets.
void applyTestArchive(TestArchive&& archive, QuestionSet& set, RunState& state);

} // namespace kvz
