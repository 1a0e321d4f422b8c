#include "choice/ResultsFolderPath.h"

#include "l10n/Cp1251.h"

#include <QDir>

namespace kvz {

namespace {

constexpr int kNewFolderTries = 10000;

QString slashes(QString s) {
    return s.replace(QLatin1Char('\\'), QLatin1Char('/'));
}

} // namespace

namespace {

const QString kResults = QStringLiteral("Results");

} // namespace

QString ResultsFieldToPath(const QString& programFolder, const QString& field) {
    QString rel = slashes(field);
    const bool absolute = field.startsWith(QLatin1Char('/'));
    if (absolute) {
        const QString first = rel.section(QLatin1Char('/'), 1, 1);
        if (first != kResults)
            return QDir::cleanPath(rel);
    }
    if (!rel.isEmpty() && !rel.startsWith(QLatin1Char('/')))
        rel.prepend(QLatin1Char('/'));
    return programFolder + rel;
}

bool PathIsInside(const QString& root, const QString& path) {
    const QString r = QDir::cleanPath(root);
    const QString p = QDir::cleanPath(path);
    if (p == r)
        return true;
    const QString prefix = r.endsWith(QLatin1Char('/')) ? r : r + QLatin1Char('/');
    return p.startsWith(prefix);
}

QString ResultsPathToField(const QString& programFolder, const QString& fullPath) {
    if (PathIsInside(programFolder + QLatin1Char('/') + kResults, fullPath))
        return QDir::cleanPath(fullPath).mid(QDir::cleanPath(programFolder).size());
    return fullPath;
}

QString NewFolderPath(const QString& parent, const std::string& newFolderText,
                      const std::function<bool(const QString&)>& exists) {
    QString stem = slashes(cp1251::toUnicode(newFolderText));
    if (!stem.startsWith(QLatin1Char('/')))
        stem.prepend(QLatin1Char('/'));
    QString base = parent;
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    for (int n = 0; n < kNewFolderTries; ++n) {
        const QString candidate = base + stem + QString::number(n);
        if (!exists(candidate))
            return candidate;
    }
    return {};
}

} // namespace kvz
