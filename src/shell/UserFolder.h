#pragma once

// An installed copy of the program lives in a folder the user may not write (/usr/lib/kvizor).
// The program then works in a folder of the user's own, in the XDG data folder, that shows the
// installed languages, help pages, Topic.ini and sample tests through links and holds the
// user's Settings.ini and Results itself.

#include <QString>

namespace kvz {

// The folder the program works in: installedFolder when the user may write it; otherwise the
// user's folder (dataHome + "/kvizor"), made ready. installedFolder when that cannot be made.
QString workingProgramFolder(const QString& installedFolder, const QString& dataHome);

// Makes userFolder show every entry of installedFolder except the executable, Settings.ini and
// Results, each as a link, unless the user has an entry of that name already (a Base folder of
// their own is kept). False when the folder cannot be made.
bool prepareUserFolder(const QString& installedFolder, const QString& userFolder);

} // namespace kvz
