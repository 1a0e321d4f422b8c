#include "choice/ResultsFolderPath.h"

#include "l10n/Cp1251.h"

namespace kvz {

namespace {

constexpr int kNewFolderTries = 10000;

QString slashes(QString s) {
    return s.replace(QLatin1Char('\\'), QLatin1Char('/'));
}

} // namespace

QString ResultsFieldToPath(const QString& programFolder, const QString& field) {
    QString rel = slashes(field);
    if (!rel.isEmpty() && !rel.startsWith(QLatin1Char('/')))
        rel.prepend(QLatin1Char('/'));
    return programFolder + rel;
}

QString ResultsPathToField(const QString& programFolder, const QString& fullPath) {
    return fullPath.mid(programFolder.size());
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
