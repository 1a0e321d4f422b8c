#pragma once

// Start-up decisions made before any window exists: the program folder and the language file.

#include <QString>
#include <QStringList>

namespace kvz {

// Exactly two parameters whose second names an existing folder: that folder, as written.
// Otherwise the folder holding the executable.
QString resolveProgramFolder(const QStringList& parameters, const QString& executableFolder);

// The system's temporary folder, ending with a separator.
QString systemTempFolder();

struct StartLanguage {
    bool ok = false;            // false: no language file at all; the program must end
    bool folderMissing = false; // no Language folder: the built-in file is used from tempFolder
    QString path;               // the file the program starts with
};

// No Language folder: the built-in file is written to tempFolder + "fyv_russian.lng" and used
// whatever Settings.ini names. Otherwise the file [Type] Language names; when it is missing
// but fyv_russian.lng is there, the setting is rewritten to "fyv_russian".
StartLanguage prepareStartLanguage(const QString& programFolder, const QString& tempFolder);

// Writes the built-in language file to tempFolder unchanged; false when it cannot.
bool writeBuiltinLanguage(const QString& tempFolder);

} // namespace kvz
