#pragma once

// The plain-text description of a test (test.ini in the test's folder; docs/test-description.md)
// read into what the archive writer takes.

#include "test/TestArchive.h"

#include <QString>
#include <QStringList>
#include <QTemporaryFile>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kvz::pack {

// Pages kept in a temporary file instead of memory, one after another as they were read.
struct SpooledPages {
    std::unique_ptr<QTemporaryFile> file;
    std::vector<std::pair<qint64, qint64>> ranges; // offset and size of each page
};

struct TestDescription {
    TestArchive archive;
    CatalogueInfo catalogue;
    std::string password; // Windows-1251
    // What the reader changed on the way in (for example a right answer put in lower case),
    // one line each, named by file, section and key as errors are.
    QStringList notes;
    // With spooled pages: the pages are in spool, not in archive, and archiveOrder gives the spool
    // page of each question in archive order, then of the introduction and the reference.
    std::shared_ptr<SpooledPages> spool;
    std::vector<int> archiveOrder;
    // The spooled pages for writeTestArchiveFile.
    ArchivePages archivePages() const;
};

// Reads folder/test.ini and every page it names. On a fault returns nullopt and sets error to
// one line naming the file, section and key. With spoolPages the pages go to a temporary file
// as they are read (see TestDescription::spool), so a large test is never held in memory.
std::optional<TestDescription> readTestDescription(const QString& folder, QString& error,
                                                   bool spoolPages = false);

// The page an archive gets for an introduction or a reference it does not have; empty on a fault,
// with error set.
QByteArray blankPagePiece(QString* error = nullptr);

} // namespace kvz::pack
