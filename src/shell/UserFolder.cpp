#include "shell/UserFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace kvz {

QString workingProgramFolder(const QString& installedFolder, const QString& dataHome) {
    if (QFileInfo(installedFolder).isWritable() || dataHome.isEmpty())
        return installedFolder;
    const QString user = dataHome + QStringLiteral("/kvizor");
    return prepareUserFolder(installedFolder, user) ? user : installedFolder;
}

bool prepareUserFolder(const QString& installedFolder, const QString& userFolder) {
    if (!QDir().mkpath(userFolder))
        return false;
    const QDir installed(installedFolder);
    for (const QFileInfo& entry :
         installed.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)) {
        const QString name = entry.fileName();
        // The user's own files, and the program itself (run from where it is installed).
        if (name == QLatin1String("Settings.ini") || name == QLatin1String("Results") ||
            (entry.isFile() && entry.isExecutable()))
            continue;
        const QString target = userFolder + QLatin1Char('/') + name;
        const QFileInfo existing(target);
        if (existing.exists() || existing.isSymLink()) {
            // A link left by an older installation that points nowhere now is renewed.
            if (!existing.isSymLink() || existing.exists())
                continue;
            QFile::remove(target);
        }
        QFile::link(entry.absoluteFilePath(), target);
    }
    QDir().mkpath(userFolder + QStringLiteral("/Results"));
    return true;
}

} // namespace kvz
