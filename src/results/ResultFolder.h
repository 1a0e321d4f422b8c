#pragma once

// A folder of result archives, subfolders included, read once each: the records that decode
// and, apart, the files that do not (damaged, foreign, not regular files), with the reason.

#include "results/ResultReader.h"

#include <QString>
#include <vector>

namespace kvz {

// A result archive is a few kilobytes; anything far larger is no result.
inline constexpr qint64 kResultFileCap = 64 * 1024 * 1024;

struct UnreadResult {
    QString path; // relative to the folder
    QString error;
};

struct ResultFolder {
    std::vector<QString> paths; // relative to the folder, one per record
    std::vector<ResultRecord> records;
    std::vector<UnreadResult> unread;
};

// Every "*.rst" below folder, in path order. The files are read on up to threads threads (0:
// as many as the machine has cores, at most four); the order of the answer does not depend on
// it.
ResultFolder readResultFolder(const QString& folder, int threads = 0);

} // namespace kvz
