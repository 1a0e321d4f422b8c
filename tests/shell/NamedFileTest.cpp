#include "shell/NamedFile.h"

#include "choice/Catalogue.h"
#include "shell/IniFile.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace kvz {
namespace {

TEST(NamedFileTest, ReadsARegularFileWithinItsCapOnly) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("f"));
    struct Case {
        qsizetype size;
        qint64 cap;
        bool read;
    };
    for (const Case c : {Case{0, 0, true}, Case{10, 10, true}, Case{11, 10, false},
                         Case{100000, 200000, true}, Case{200001, 200000, false}}) {
        SCOPED_TRACE(c.size);
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        const QByteArray bytes(c.size, 'x');
        f.write(bytes);
        f.close();
        QString error;
        const auto got = readNamedFile(path, c.cap, &error);
        EXPECT_EQ(got.has_value(), c.read) << error.toStdString();
        if (got)
            EXPECT_EQ(*got, bytes);
        else
            EXPECT_TRUE(error.contains(QStringLiteral("larger than")));
    }
}

TEST(NamedFileTest, RefusesDevicesPipesFoldersAndMissingFiles) {
    QTemporaryDir dir;
    const QString pipe = dir.filePath(QStringLiteral("pipe"));
    const QString zero = dir.filePath(QStringLiteral("zero"));
    ASSERT_EQ(QProcess::execute(QStringLiteral("mkfifo"), {pipe}), 0);
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), zero));
    for (const QString& path : {pipe, zero, QStringLiteral("/dev/zero"), dir.path()}) {
        QString error;
        EXPECT_FALSE(readNamedFile(path, 1 << 20, &error)) << path.toStdString();
        EXPECT_EQ(error, QStringLiteral("not a regular file")) << path.toStdString();
    }
    QString error;
    EXPECT_FALSE(readNamedFile(dir.filePath(QStringLiteral("none")), 10, &error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("cannot be read"))) << error.toStdString();
}

TEST(NamedFileTest, OpensARegularFileKeepingItsName) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("f.tst"));
    QFile w(path);
    ASSERT_TRUE(w.open(QIODevice::WriteOnly));
    w.write("abc");
    w.close();
    QFile file;
    QString error;
    ASSERT_TRUE(openNamedFile(path, &file, &error)) << error.toStdString();
    EXPECT_EQ(file.fileName(), path); // the run journal records the test by this name
    EXPECT_EQ(file.readAll(), QByteArray("abc"));
}

// Every reader of a file someone else names turns a pipe, a device or a folder away at once: a
// pipe would block its open() for ever and /dev/zero never ends.
TEST(NamedFileTest, EveryReaderRefusesWhatIsNotARegularFile) {
    QTemporaryDir dir;
    const QString pipe = dir.filePath(QStringLiteral("pipe"));
    const QString zero = dir.filePath(QStringLiteral("zero"));
    ASSERT_EQ(QProcess::execute(QStringLiteral("mkfifo"), {pipe}), 0);
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), zero));
    for (const QString& path : {pipe, zero, dir.path()}) {
        SCOPED_TRACE(path.toStdString());
        QFile file;
        QString error;
        EXPECT_FALSE(openNamedFile(path, &file, &error));
        EXPECT_EQ(error, QStringLiteral("not a regular file"));
        EXPECT_FALSE(file.isOpen());
        EXPECT_FALSE(ReadCatalogueFile(path));
        const IniDocument ini = IniFile(path).load();
        EXPECT_FALSE(ini.complete()); // never written over
        EXPECT_TRUE(ini.text().empty());
    }
}

} // namespace
} // namespace kvz
