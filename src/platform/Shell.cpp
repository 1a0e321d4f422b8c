#include "platform/Shell.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

namespace kvz {

QString helpTopicPage(const QString& programFolder, const QString& topic) {
    const QString page = programFolder + QStringLiteral("/Help/") + topic + QStringLiteral(".html");
    return QFileInfo(page).isFile() ? page : QString();
}

void openUrl(const QString& url) {
    if (url.isEmpty())
        return;
    // A plain path is a file; anything with a scheme (http:, mailto:) goes as it is.
    const QUrl u = QFileInfo::exists(url) ? QUrl::fromLocalFile(url) : QUrl(url);
    QDesktopServices::openUrl(u);
}

bool startDetached(const QString& commandLine) {
    QStringList args = QProcess::splitCommand(commandLine);
    if (args.isEmpty())
        return false;
    QProcess p;
    p.setProgram(args.takeFirst());
    p.setArguments(args);
    p.setStandardInputFile(QProcess::nullDevice());
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(QProcess::nullDevice());
    return p.startDetached();
}

} // namespace kvz
