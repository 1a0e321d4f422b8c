#include "test/ArchiveSource.h"

#include <QFileDevice>
#include <cstring>

namespace kvz {

namespace {

class MemorySource final : public ArchiveSource {
public:
    explicit MemorySource(QByteArray bytes) : bytes_(std::move(bytes)) {}
    std::uint64_t size() const override { return std::uint64_t(bytes_.size()); }
    bool read(std::uint64_t offset, char* out, std::size_t n) override {
        if (offset > size() || n > size() - offset)
            return false;
        // An empty read may come with no buffer at all (an empty directory).
        if (n != 0)
            std::memcpy(out, bytes_.constData() + offset, n);
        return true;
    }

private:
    QByteArray bytes_;
};

class FileSource final : public ArchiveSource {
public:
    explicit FileSource(QFileDevice& file)
        : file_(file), base_(file.pos()),
          size_(std::uint64_t(std::max<qint64>(0, file.size() - file.pos()))) {}
    std::uint64_t size() const override { return size_; }
    bool read(std::uint64_t offset, char* out, std::size_t n) override {
        if (offset > size_ || n > size_ - offset)
            return false;
        if (!file_.seek(base_ + qint64(offset)))
            return false;
        while (n > 0) {
            const qint64 got = file_.read(out, qint64(n));
            if (got <= 0)
                return false;
            out += got;
            n -= std::size_t(got);
        }
        return true;
    }

private:
    QFileDevice& file_;
    qint64 base_;
    std::uint64_t size_;
};

} // namespace

std::unique_ptr<ArchiveSource> memorySource(QByteArray bytes) {
    return std::make_unique<MemorySource>(std::move(bytes));
}

std::unique_ptr<ArchiveSource> fileSource(QFileDevice& file) {
    return std::make_unique<FileSource>(file);
}

} // namespace kvz
