#include "shell/Settings.h"

#include "l10n/Cp1251.h"

namespace kvz {

Settings::Settings(const QString& programFolder)
    : programFolder_(programFolder), file_(programFolder + QStringLiteral("/Settings.ini")) {}

QString Settings::resPatch() const {
    const std::string value = file_.readString("NET", "ResPatch", "");
    if (value.empty())
        return programFolder_ + QStringLiteral("/Results");
    // Written on Windows it may use "\\"; either separator is read.
    return cp1251::toUnicode(value).replace(QLatin1Char('\\'), QLatin1Char('/'));
}

bool Settings::writeResPatch(const QString& folder, QString* error) {
    return file_.writeString("NET", "ResPatch", cp1251::fromUnicode(folder), error);
}

} // namespace kvz
