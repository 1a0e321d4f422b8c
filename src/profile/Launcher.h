#pragma once

// Launchers for profiles: freedesktop ".desktop" files that start this program with one
// profile, on the desktop ("Kvizor.<name>.desktop") or in the applications menu below
// "FYV/Kvizor" ("<name>.desktop").

#include <QString>
#include <QStringList>
#include <optional>

namespace kvz {

struct LauncherEntry {
    QString name;       // shown under the icon
    QString executable; // full path of the program
    QStringList arguments;
    QString workingFolder;
    QString icon; // a full path or an icon theme name
};

// The Exec value of a launcher: each word in double quotes with '"', '`', '$' and '\' escaped,
// '%' doubled, and the whole escaped once more as a string value ("\" written as "\\").
QString desktopExecLine(const QString& executable, const QStringList& arguments);
// The words of an Exec value as the program will receive them; nullopt when the value is not
// well formed (an unclosed quote, a bad escape, a field code).
std::optional<QStringList> parseDesktopExec(const QString& value);

// The whole launcher file (UTF-8).
QByteArray desktopEntry(const LauncherEntry& entry);

// The file name of a profile's launcher: the profile's name without folder and last extension.
QString profileBaseName(const QString& profilePath);

// Writes the launcher atomically into folder (created with its parents), replacing one of the
// same name; executable bits set so that desktops start it. Returns the written path, or an
// empty string with error filled.
QString writeLauncher(const QString& folder, const QString& fileName, const LauncherEntry& entry,
                      QString* error = nullptr);

// Where launchers go: the XDG desktop folder, and the applications menu folder + "FYV/Kvizor".
QString desktopFolder();
QString menuFolder();

// The launcher of a profile for this program: the profile, then the program folder the run
// works in (its tests, its results), which is also the launcher's working folder.
LauncherEntry profileLauncher(const QString& profilePath, const QString& executable,
                              const QString& programFolder, const QString& icon);

} // namespace kvz
