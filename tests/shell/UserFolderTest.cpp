#include "shell/UserFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace kvz {
namespace {

void touch(const QString& path, QFile::Permissions extra = {}) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("x");
    f.close();
    if (extra)
        f.setPermissions(f.permissions() | extra);
}

TEST(UserFolder, ShowsTheInstalledFilesAndKeepsTheUsersOwn) {
    QTemporaryDir root;
    const QString installed = root.filePath(QStringLiteral("lib/kvizor"));
    for (const char* d : {"Language", "Help", "Base", "Results"})
        QDir().mkpath(installed + QLatin1Char('/') + QLatin1String(d));
    touch(installed + QStringLiteral("/Topic.ini"));
    touch(installed + QStringLiteral("/Settings.ini"));
    touch(installed + QStringLiteral("/kvizor"), QFile::ExeOwner);
    touch(installed + QStringLiteral("/Language/fyv_russian.lng"));

    const QString user = root.filePath(QStringLiteral("home/.local/share/kvizor"));
    QDir().mkpath(user + QStringLiteral("/Base")); // the teacher's own tests
    ASSERT_TRUE(prepareUserFolder(installed, user));
    ASSERT_TRUE(prepareUserFolder(installed, user)); // a second start changes nothing

    EXPECT_TRUE(QFileInfo(user + QStringLiteral("/Language")).isSymLink());
    EXPECT_TRUE(QFileInfo(user + QStringLiteral("/Language/fyv_russian.lng")).isFile());
    EXPECT_TRUE(QFileInfo(user + QStringLiteral("/Help")).isSymLink());
    EXPECT_TRUE(QFileInfo(user + QStringLiteral("/Topic.ini")).isSymLink());
    EXPECT_FALSE(QFileInfo(user + QStringLiteral("/Base")).isSymLink());
    const QFileInfo results(user + QStringLiteral("/Results"));
    EXPECT_TRUE(results.isDir() && !results.isSymLink());
    EXPECT_FALSE(QFileInfo::exists(user + QStringLiteral("/Settings.ini")));
    EXPECT_FALSE(QFileInfo::exists(user + QStringLiteral("/kvizor")));

    // A link that points nowhere after an upgrade is made anew.
    QDir(installed + QStringLiteral("/Help")).removeRecursively();
    QDir().mkpath(installed + QStringLiteral("/Help2"));
    QFile::remove(user + QStringLiteral("/Help"));
    QFile::link(installed + QStringLiteral("/Gone"), user + QStringLiteral("/Help2"));
    ASSERT_TRUE(prepareUserFolder(installed, user));
    EXPECT_TRUE(QFileInfo(user + QStringLiteral("/Help2")).isDir());
}

TEST(UserFolder, WritableInstallationIsUsedAsItIs) {
    QTemporaryDir root;
    EXPECT_EQ(workingProgramFolder(root.path(), root.filePath(QStringLiteral("data"))),
              root.path());
    EXPECT_FALSE(QFileInfo::exists(root.filePath(QStringLiteral("data"))));
}

} // namespace
} // namespace kvz
