#pragma once

// ZIP archives with deflate and traditional PKWARE encryption: reading named entries with a size
// cap and telling a wrong password from damaged data, and writing whole archives in memory.
// Test archives and result archives both go through here.
//
// Reading takes the one central directory that ends where the archive ends (a test archive
// carries its catalogue after it) and hands libzip only that directory, so no input makes the
// open walk directory after directory. Entries are read raw through libzip and decrypted and
// inflated here, straight into their buffer.

#include "test/ArchiveSource.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct zip;

namespace kvz {

enum class ZipReadStatus {
    Ok,
    Missing,     // no entry of that name
    BadPassword, // the password check failed, or the data failed and the password is unproven
    TooLarge,    // declared or actual size above the cap
    Corrupt,     // damaged data (also under a password the other entries prove right), any
                 // other read error
};

// Where the archive's one central directory is. Found without trusting any count or offset:
// the archive ends where the catalogue trailer begins (or at the end of the bytes), and its
// end-of-directory record ends exactly there; failing both, the nearest record that fits.
struct ZipDirectoryPlace {
    std::uint64_t recordOffset = 0;    // the end-of-directory record
    std::uint64_t directoryOffset = 0; // the central directory
    std::uint64_t directorySize = 0;
    std::uint32_t entryCount = 0;
};
std::optional<ZipDirectoryPlace> findZipDirectory(ArchiveSource& source, QString* error = nullptr);

class MemoryZip {
public:
    // Opens the archive in bytes (shared, not copied). Bytes after the archive (a catalogue
    // trailer) are allowed. nullptr, with error set, when it is no ZIP archive this program
    // reads.
    static std::unique_ptr<MemoryZip> open(const QByteArray& bytes, QString* error = nullptr);
    static std::unique_ptr<MemoryZip> open(std::unique_ptr<ArchiveSource> source,
                                           QString* error = nullptr);
    ~MemoryZip();
    MemoryZip(const MemoryZip&) = delete;
    MemoryZip& operator=(const MemoryZip&) = delete;

    // The password for every entry; a zero byte ends it.
    void setPassword(const std::string& password);

    // Extracts the first entry whose name, without folders, equals name, into out, reading it
    // to its end so its checksum is checked. Never takes more than cap bytes. progress gets
    // 0..100 as the entry is read.
    ZipReadStatus extract(std::string_view name, std::size_t cap, QByteArray& out,
                          const std::function<void(int)>& progress = {});

    std::vector<std::string> entryNames() const;

    struct Entry {
        std::string name;
        std::uint16_t flags = 0;
        std::uint16_t method = 0;
        std::uint16_t dosTime = 0;
        std::uint32_t crc = 0;
        std::uint64_t compressedSize = 0;
        std::uint64_t size = 0;
    };

private:
    MemoryZip(::zip* za, std::shared_ptr<ArchiveSource> source, std::vector<Entry> entries)
        : za_(za), source_(std::move(source)), entries_(std::move(entries)) {}
    ZipReadStatus extractRaw(std::size_t index, std::size_t cap, QByteArray& out,
                             const std::function<void(int)>& progress);
    ZipReadStatus extractThroughLibzip(std::size_t index, std::size_t cap, QByteArray& out,
                                       const std::function<void(int)>& progress);
    // True when the password passes the check of the other encrypted entries (at least one,
    // up to eight).
    bool passwordProvenByOthers(std::size_t index);

    ::zip* za_;
    std::shared_ptr<ArchiveSource> source_; // read by libzip through za_
    std::vector<Entry> entries_;
    std::string password_;
};

struct ZipEntry {
    std::string name;
    QByteArray data;
};

// An entry whose bytes are not held: open() starts them (again) from the beginning, read() gives
// the next ones (0 at the end, -1 on a fault); size is how many there are.
struct ZipStreamEntry {
    std::string name;
    std::uint64_t size = 0;
    std::function<bool()> open;
    std::function<qint64(char* to, qint64 most)> read;
};

// A whole archive in memory: every entry deflated and, when password is not empty, encrypted
// with traditional PKWARE encryption. nullopt with error set when libzip refuses.
std::optional<QByteArray> writeEncryptedZip(const std::vector<ZipEntry>& entries,
                                            const std::string& password, QString* error = nullptr);
// The same written to the file at path (replaced only when the archive is whole), the streamed
// entries first, each read once as the archive is written: nothing but a chunk of each is held.
// For the same entries the bytes are those writeEncryptedZip makes.
bool writeEncryptedZipFile(const QString& path, std::vector<ZipStreamEntry> streamed,
                           const std::vector<ZipEntry>& entries, const std::string& password,
                           QString* error = nullptr);

} // namespace kvz
