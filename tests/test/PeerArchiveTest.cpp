// An archive made by Info-ZIP from entries written here must load: the reader follows the ZIP
// format, not our writer's habits.

#include "ArchiveFixtures.h"
#include "test/ArchivePassword.h"
#include "test/TestArchive.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace kvz {
namespace {

// Runs Info-ZIP zip with the password passed as raw bytes: Python's subprocess takes bytes for
// argv, where QProcess would re-encode them as UTF-8.
bool infoZip(const QString& folder, const QString& zipPath, const std::string& password,
             const QStringList& names, QString* error) {
    const QString script =
        QStringLiteral("import subprocess, sys\n"
                       "pwd = bytes.fromhex(sys.argv[1])\n"
                       "args = [b'zip', b'-q', b'-X', b'-9', b'-P', pwd, sys.argv[2].encode()]\n"
                       "args += [n.encode() for n in sys.argv[3:]]\n"
                       "sys.exit(subprocess.run(args).returncode)\n");
    QProcess py;
    py.setWorkingDirectory(folder);
    QStringList args{QStringLiteral("-c"), script,
                     QString::fromLatin1(QByteArray::fromStdString(password).toHex()), zipPath};
    args += names;
    py.start(QStringLiteral("/usr/bin/python3"), args);
    if (!py.waitForFinished(60000) || py.exitCode() != 0) {
        *error = QString::fromUtf8(py.readAllStandardError());
        return false;
    }
    return true;
}

TEST(PeerArchiveTest, InfoZipArchiveLoads) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const TestArchive source = testing::threeKinds();
    QStringList names;
    for (const ZipEntry& e : encodeTestEntries(source)) {
        // In a folder inside the archive: names are compared without folders.
        QDir().mkpath(dir.filePath(QStringLiteral("t")));
        QFile f(dir.filePath(QStringLiteral("t/") + QString::fromStdString(e.name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(e.data);
        names << QStringLiteral("t/") + QString::fromStdString(e.name);
    }
    const std::string typed = "\xEF\xE0\xF0\xEE\xEB\xFC"; // "пароль"
    const QString zipPath = dir.filePath(QStringLiteral("peer.zip"));
    QString error;
    ASSERT_TRUE(infoZip(dir.path(), zipPath, archivePassword(typed), names, &error))
        << error.toStdString();
    QFile f(zipPath);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QByteArray bytes = f.readAll() + encodeCatalogueTrailer({"c", "9", "s", "t"});

    int prompts = 0;
    ArchiveReadHooks hooks;
    hooks.askPassword = [&]() -> std::optional<std::string> {
        ++prompts;
        return typed;
    };
    ArchiveReadResult r = readTestArchive(bytes, "", hooks);
    ASSERT_TRUE(r.archive) << r.error.toStdString();
    EXPECT_EQ(prompts, 1);
    ASSERT_EQ(r.archive->questions.size(), 3u);
    for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_EQ(r.archive->questions[k].body, source.questions[k].body);
        EXPECT_EQ(r.archive->questions[k].kindText, source.questions[k].kindText);
        EXPECT_EQ(r.archive->questions[k].rightSlots, source.questions[k].rightSlots);
    }
    EXPECT_EQ(r.archive->settings139->markScale.size(), 3u);
    EXPECT_EQ(r.archive->introduction, source.introduction);
}

} // namespace
} // namespace kvz
