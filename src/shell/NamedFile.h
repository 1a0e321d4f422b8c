#pragma once

// Reading a file named by someone else (a pupil, a teacher, a command line): only a regular file
// is read, and never more than its reader can use. A device such as /dev/zero never ends and a
// pipe may never open, so the name is opened without waiting and looked at before reading.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <optional>

namespace kvz {

// The whole file, or nullopt with *error saying why (not a regular file, larger than cap bytes,
// unreadable).
std::optional<QByteArray> readNamedFile(const QString& path, qint64 cap, QString* error);

// Opens a regular file for reading into *file, for readers that take only part of a large file
// (a test archive's catalogue, the archive itself); false with *error saying why otherwise.
bool openNamedFile(const QString& path, QFile* file, QString* error);

} // namespace kvz
