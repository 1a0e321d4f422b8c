#include "results/ResultFolder.h"

#include "shell/NamedFile.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <optional>
#include <thread>

namespace kvz {

ResultFolder readResultFolder(const QString& folder, int threads) {
    // Walked from its absolute path, so the names given back are relative to the folder
    // itself whatever the working folder is.
    const QDir base(QFileInfo(folder).absoluteFilePath());
    QStringList files;
    QDirIterator it(base.path(), {QStringLiteral("*.rst")},
                    QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    files.sort();

    // Each file is decrypted and inflated on its own: the work shares nothing but the index.
    struct Slot {
        std::optional<ResultRecord> record;
        QString error;
    };
    std::vector<Slot> slots(std::size_t(files.size()));
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (std::size_t i = next++; i < slots.size(); i = next++) {
            QString error;
            const std::optional<QByteArray> bytes =
                readNamedFile(files[qsizetype(i)], kResultFileCap, &error);
            if (!bytes) {
                slots[i].error = error;
                continue;
            }
            ResultReadResult r = readResultArchive(*bytes);
            slots[i].record = std::move(r.record);
            slots[i].error = r.error;
        }
    };
    if (threads <= 0)
        threads = std::clamp(QThread::idealThreadCount(), 1, 4);
    threads = int(std::min<std::size_t>(std::size_t(threads), slots.size() / 64 + 1));
    std::vector<std::thread> pool;
    for (int t = 1; t < threads; ++t)
        pool.emplace_back(work);
    work();
    for (std::thread& t : pool)
        t.join();

    ResultFolder out;
    for (std::size_t i = 0; i < slots.size(); ++i) {
        const QString relative = base.relativeFilePath(files[qsizetype(i)]);
        if (slots[i].record) {
            out.paths.push_back(relative);
            out.records.push_back(std::move(*slots[i].record));
        } else {
            out.unread.push_back({relative, slots[i].error});
        }
    }
    return out;
}

} // namespace kvz
