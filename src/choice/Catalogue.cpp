#include "choice/Catalogue.h"

#include "shell/NamedFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <algorithm>

namespace kvz {

namespace {

constexpr std::int64_t kChunk = 4096;

// Sort key of one character: folded case, with ё/Ё just after е so the Cyrillic alphabet
// keeps its order.
std::uint32_t sortKey(QChar c) {
    const char16_t l = c.toLower().unicode();
    if (l == u'ё')
        return std::uint32_t(u'е') * 2 + 1;
    return std::uint32_t(l) * 2;
}

} // namespace

std::optional<CatalogueInfo> ReadCatalogueFile(const QString& path) {
    QFile file;
    if (!openNamedFile(path, &file, nullptr))
        return std::nullopt;
    return ReadCatalogue(file);
}

std::optional<CatalogueInfo> ReadCatalogue(QIODevice& file) {
    if (!file.isOpen() || file.isSequential())
        return std::nullopt;
    const std::int64_t size = file.size();
    const std::int64_t limit = std::min(size, kCatalogueTrailerMax);

    // Walk back from the end in chunks until the fourth zero byte, keeping what was read.
    std::string tail; // the last tail.size() bytes of the file
    std::int64_t zeros = 0;
    std::int64_t trailerStart = -1; // offset in tail of the fourth zero from the end
    while (trailerStart < 0 && std::int64_t(tail.size()) < limit) {
        const std::int64_t n = std::min<std::int64_t>(kChunk, limit - std::int64_t(tail.size()));
        const std::int64_t at = size - std::int64_t(tail.size()) - n;
        std::string chunk(std::size_t(n), '\0');
        if (!file.seek(at) || file.read(chunk.data(), n) != n)
            return std::nullopt;
        for (std::int64_t i = n - 1; i >= 0; --i) {
            if (chunk[std::size_t(i)] == '\0' && ++zeros == 4) {
                trailerStart = i;
                break;
            }
        }
        tail.insert(0, chunk);
    }
    if (trailerStart < 0)
        return std::nullopt;

    // Split the trailer at its four zero bytes.
    std::string fields[4];
    std::size_t pos = std::size_t(trailerStart) + 1;
    for (int f = 0; f < 4; ++f) {
        const std::size_t end = f < 3 ? tail.find('\0', pos) : tail.size();
        fields[f] = tail.substr(pos, end - pos);
        pos = end + 1;
    }
    return CatalogueInfo{std::move(fields[0]), std::move(fields[1]), std::move(fields[2]),
                         std::move(fields[3])};
}

std::optional<CatalogueInfo> ReadCatalogueInfo(const QString& programFolder,
                                               const QString& fileName) {
    return ReadCatalogueFile(programFolder + QStringLiteral("/Base/") + fileName);
}

bool MatchesFilter(const CatalogueInfo& info, const std::string& classFilter,
                   const std::string& subjectFilter, const std::string& allMarker) {
    return (subjectFilter == allMarker || subjectFilter == info.subject) &&
           (classFilter == allMarker || classFilter == info.klass);
}

bool MatchesFilter(const QString& programFolder, const QString& fileName,
                   const std::string& classFilter, const std::string& subjectFilter,
                   const std::string& allMarker) {
    const std::optional<CatalogueInfo> info = ReadCatalogueInfo(programFolder, fileName);
    return info && MatchesFilter(*info, classFilter, subjectFilter, allMarker);
}

QStringList ScanTests(const QString& programFolder, const std::string& classFilter,
                      const std::string& subjectFilter, const std::string& allMarker) {
    const QDir base(programFolder + QStringLiteral("/Base"));
    QStringList names;
    if (!base.exists())
        return names;
    const bool all = classFilter == allMarker && subjectFilter == allMarker;
    const QFileInfoList entries = base.entryInfoList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo& entry : entries) {
        // "*.tst" in any letter case, as on the system the archives come from.
        if (!entry.fileName().endsWith(QStringLiteral(".tst"), Qt::CaseInsensitive))
            continue;
        if (all ||
            MatchesFilter(programFolder, entry.fileName(), classFilter, subjectFilter, allMarker))
            names.append(entry.fileName());
    }
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        return CatalogueNameLess(StripExtension(a), StripExtension(b));
    });
    return names;
}

QString StripExtension(const QString& fileName) {
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? fileName : fileName.left(dot);
}

std::vector<std::string> TopicLines(const std::string& topics) {
    std::vector<std::string> lines;
    if (topics.empty())
        return lines;
    std::size_t pos = 0;
    while (true) {
        const std::size_t nl = topics.find('\n', pos);
        std::string line = topics.substr(pos, nl == std::string::npos ? nl : nl - pos);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(std::move(line));
        if (nl == std::string::npos)
            break;
        pos = nl + 1;
    }
    // A final line break ends the last line; it does not begin an empty one.
    if (lines.size() > 1 && lines.back().empty())
        lines.pop_back();
    return lines;
}

bool CatalogueNameLess(const QString& a, const QString& b) {
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const std::uint32_t ka = sortKey(a[i]);
        const std::uint32_t kb = sortKey(b[i]);
        if (ka != kb)
            return ka < kb;
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

} // namespace kvz
