#pragma once

// Shell services: opening files, pages and mail addresses with the desktop, the help pages, and
// commands started in the background.

#include <QString>

namespace kvz {

// The help page of a topic, Help/<topic>.html below the program folder; empty when it is missing.
QString helpTopicPage(const QString& programFolder, const QString& topic);

// A file, a web page or a "mailto:" address, opened by the desktop; failures are not reported.
void openUrl(const QString& url);

// Starts a command line split as a shell would, without waiting and with its standard streams
// on /dev/null. False when the line is empty or the program cannot be started.
bool startDetached(const QString& commandLine);

} // namespace kvz
