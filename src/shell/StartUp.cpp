#include "shell/StartUp.h"

#include "l10n/Cp1251.h"
#include "l10n/Language.h"
#include "shell/Settings.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace kvz {

QString resolveProgramFolder(const QStringList& parameters, const QString& executableFolder) {
    if (parameters.size() == 2 && !parameters[1].isEmpty() && QFileInfo(parameters[1]).isDir())
        return parameters[1];
    return executableFolder;
}

QString systemTempFolder() {
    QString t = QDir::tempPath();
    if (!t.endsWith(QLatin1Char('/')))
        t += QLatin1Char('/');
    return t;
}

bool writeBuiltinLanguage(const QString& tempFolder) {
    const QByteArray bytes = builtinLanguageFile();
    if (bytes.isEmpty())
        return false;
    QSaveFile f(tempFolder + QLatin1String(kBuiltinLanguageFile));
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.write(bytes);
    return f.commit();
}

StartLanguage prepareStartLanguage(const QString& programFolder, const QString& tempFolder) {
    StartLanguage out;
    const QString languageFolder = programFolder + QStringLiteral("/Language");
    if (!QFileInfo(languageFolder).isDir()) {
        out.folderMissing = true;
        out.path = tempFolder + QLatin1String(kBuiltinLanguageFile);
        out.ok = writeBuiltinLanguage(tempFolder);
        return out;
    }
    Settings settings(programFolder);
    auto fileFor = [&](const std::string& name) {
        return languageFolder + QLatin1Char('/') + cp1251::toUnicode(name) + QStringLiteral(".lng");
    };
    std::string name = settings.language();
    if (!QFileInfo(fileFor(name)).isFile()) {
        if (!QFileInfo(fileFor(kDefaultLanguage)).isFile())
            return out;
        // A refused write changes nothing here: the default file is used all the same.
        settings.writeLanguage(kDefaultLanguage);
        name = kDefaultLanguage;
    }
    out.path = fileFor(name);
    out.ok = true;
    return out;
}

} // namespace kvz
