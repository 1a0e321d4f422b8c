#pragma once

// The plain-text description of a test (test.ini in the test's folder; docs/test-description.md)
// read into what the archive writer takes.

#include "test/TestArchive.h"

#include <QString>
#include <QStringList>
#include <optional>
#include <string>

namespace kvz::pack {

struct TestDescription {
    TestArchive archive;
    CatalogueInfo catalogue;
    std::string password; // Windows-1251
    // What the reader changed on the way in (for example a right answer put in lower case),
    // one line each, named by file, section and key as errors are.
    QStringList notes;
};

// Reads folder/test.ini and every page it names. On a fault returns nullopt and sets error to
// one line naming the file, section and key.
std::optional<TestDescription> readTestDescription(const QString& folder, QString& error);

// The page an archive gets for an introduction or a reference it does not have; empty on a fault,
// with error set.
QByteArray blankPagePiece(QString* error = nullptr);

} // namespace kvz::pack
