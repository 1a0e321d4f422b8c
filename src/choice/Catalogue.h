#pragma once

// The catalogue of local tests: every test archive ends with four zero-led texts (comment,
// class, subject, topics) that describe it without opening the archive or knowing its
// password.

#include <QString>
#include <QStringList>

class QIODevice;
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kvz {

struct CatalogueInfo {
    std::string comment;
    std::string klass; // in student mode: the semester
    std::string subject;
    std::string topics; // one per line, CR LF between lines
};

// How far back from the end of a file a trailer is looked for. Real trailers are a few
// hundred bytes; a longer one is taken for a broken file rather than read without bound.
inline constexpr std::int64_t kCatalogueTrailerMax = 64 * 1024;

// The trailer of the file at path; nullopt when the file is missing, unreadable, or does not
// end with four zero-led texts within kCatalogueTrailerMax bytes. Reads only the end of the
// file, in bounded chunks.
std::optional<CatalogueInfo> ReadCatalogueFile(const QString& path);
// The same from an open random-access device (a file, a buffer).
std::optional<CatalogueInfo> ReadCatalogue(QIODevice& device);

// The trailer of fileName (for example "Физика 9.tst") in programFolder + "/Base".
std::optional<CatalogueInfo> ReadCatalogueInfo(const QString& programFolder,
                                               const QString& fileName);

// A test passes the filter when its trailer is readable and each filter is either the "all"
// marker or equal to the test's field, byte for byte.
bool MatchesFilter(const CatalogueInfo& info, const std::string& classFilter,
                   const std::string& subjectFilter, const std::string& allMarker);
bool MatchesFilter(const QString& programFolder, const QString& fileName,
                   const std::string& classFilter, const std::string& subjectFilter,
                   const std::string& allMarker);

// The file names of the archives in programFolder + "/Base" that pass the filter, sorted by
// their names without ".tst" as the list shows them. With both filters at the marker no trailer
// is read, so broken archives are listed too. No Base folder gives an empty list.
QStringList ScanTests(const QString& programFolder, const std::string& classFilter,
                      const std::string& subjectFilter, const std::string& allMarker);

// "Физика 9.tst" gives "Физика 9"; a name without a dot stays as it is.
QString StripExtension(const QString& fileName);

// The topics text split into its lines (CR LF, or a lone LF from files made elsewhere).
std::vector<std::string> TopicLines(const std::string& topics);

// The list order: case-insensitive, Ё beside Е, then by exact text so the order is total.
bool CatalogueNameLess(const QString& a, const QString& b);

} // namespace kvz
