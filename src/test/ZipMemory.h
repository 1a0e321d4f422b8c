#pragma once

// ZIP archives held in memory, with deflate and traditional PKWARE encryption: reading named
// entries with a size cap and telling a wrong password apart, and writing whole archives.
// Test archives and result archives both go through here.

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
    BadPassword, // the password check or the decrypted data failed
    TooLarge,    // declared or actual size above the cap
    Corrupt,     // any other read error
};

class MemoryZip {
public:
    // Opens the archive in bytes (not copied: they must outlive the object). Trailing bytes
    // after the archive are allowed. nullptr, with error set, when it is no ZIP archive.
    static std::unique_ptr<MemoryZip> open(const QByteArray& bytes, QString* error = nullptr);
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

private:
    explicit MemoryZip(::zip* za) : za_(za) {}
    ::zip* za_;
};

struct ZipEntry {
    std::string name;
    QByteArray data;
};

// A whole archive in memory: every entry deflated and, when password is not empty, encrypted
// with traditional PKWARE encryption. nullopt with error set when libzip refuses.
std::optional<QByteArray> writeEncryptedZip(const std::vector<ZipEntry>& entries,
                                            const std::string& password, QString* error = nullptr);

} // namespace kvz
