#include "test/ZipMemory.h"

#include "test/ChunkFeed.h"
#include "test/LargeBuffer.h"
#include "test/PkwareCipher.h"

#include <zip.h>
#include <zlib.h>

#include <QFile>

#include <algorithm>
#include <cstring>
#include <ctime>

namespace kvz {

namespace {

constexpr std::uint64_t kRecordSize = 22;     // end-of-directory record without its comment
constexpr std::uint64_t kMaxComment = 0xFFFF; // the record's comment length is 16 bits
constexpr std::uint64_t kEntryHeaderSize = 46;
// A catalogue trailer is a few kilobytes; its start is looked for no further back than this.
constexpr std::uint64_t kMaxTrailerSearch = std::uint64_t(1) << 20;

const char kRecordSignature[] = "PK\x05\x06";
const char kEntrySignature[] = "PK\x01\x02";
const char kZip64LocatorSignature[] = "PK\x06\x07";

QString zipErrorText(int code) {
    zip_error_t e;
    zip_error_init_with_code(&e, code);
    QString text = QString::fromLocal8Bit(zip_error_strerror(&e));
    zip_error_fini(&e);
    return text;
}

// The commands a callback source answers, as libzip's bitmap. libzip's own builder is a C
// variadic function, which the pupil's program could not reach before libzip is loaded.
template <typename... Command> constexpr zip_int64_t commandBitmap(Command... command) {
    return (ZIP_SOURCE_MAKE_COMMAND_BITMASK(command) | ...);
}

std::string_view baseName(std::string_view name) {
    const auto cut = name.find_last_of("/\\");
    return cut == std::string_view::npos ? name : name.substr(cut + 1);
}

bool isPasswordError(int code) {
    // A wrong password passes the one-byte check about once in 256 times; the data then fails
    // to inflate or to match its checksum.
    return code == ZIP_ER_WRONGPASSWD || code == ZIP_ER_NOPASSWD || code == ZIP_ER_CRC ||
           code == ZIP_ER_ZLIB || code == ZIP_ER_COMPRESSED_DATA;
}

std::uint32_t le(const char* p, int size) {
    std::uint32_t v = 0;
    for (int i = size - 1; i >= 0; --i)
        v = v << 8 | static_cast<unsigned char>(p[i]);
    return v;
}

bool fail(QString* error, const char* text) {
    if (error)
        *error = QString::fromLatin1(text);
    return false;
}

// The start of the catalogue trailer: the fourth zero byte back from the end.
std::optional<std::uint64_t> trailerStart(ArchiveSource& source) {
    const std::uint64_t size = source.size();
    const std::uint64_t lowest = size > kMaxTrailerSearch ? size - kMaxTrailerSearch : 0;
    std::vector<char> buf(std::size_t(std::min<std::uint64_t>(size - lowest, 64 << 10)));
    int zeros = 0;
    for (std::uint64_t end = size; end > lowest;) {
        const std::size_t n = std::size_t(std::min<std::uint64_t>(end - lowest, buf.size()));
        if (!source.read(end - n, buf.data(), n))
            return std::nullopt;
        for (std::size_t i = n; i-- > 0;)
            if (buf[i] == '\0' && ++zeros == 4)
                return end - n + i;
        end -= n;
    }
    return std::nullopt;
}

// The end-of-directory record whose comment ends exactly at zipEnd (or, when exact is false,
// anywhere up to it), the nearest one first.
std::optional<std::uint64_t> recordEndingAt(ArchiveSource& source, std::uint64_t zipEnd,
                                            bool exact = true) {
    if (zipEnd < kRecordSize)
        return std::nullopt;
    const std::uint64_t lowest =
        zipEnd > kRecordSize + kMaxComment ? zipEnd - kRecordSize - kMaxComment : 0;
    std::vector<char> buf(std::size_t(zipEnd - lowest));
    if (!source.read(lowest, buf.data(), buf.size()))
        return std::nullopt;
    for (std::size_t at = buf.size() - kRecordSize + 1; at-- > 0;) {
        if (std::memcmp(buf.data() + at, kRecordSignature, 4) != 0)
            continue;
        const std::uint64_t end = lowest + at + kRecordSize + le(buf.data() + at + 20, 2);
        if (end == zipEnd || (!exact && end < zipEnd))
            return lowest + at;
    }
    return std::nullopt;
}

// libzip reads the archive through this: the bytes up to the end of the one central directory,
// then its end-of-directory record with a comment of zeros as long as a comment can be. libzip
// looks for records only in the last 64 KiB, so the one record is the only one it finds.
struct DirectoryView {
    std::shared_ptr<ArchiveSource> source;
    std::uint64_t directoryEnd = 0;
    char record[kRecordSize] = {};
    std::uint64_t pos = 0;
    zip_error_t error;

    std::uint64_t size() const { return directoryEnd + kRecordSize + kMaxComment; }

    zip_int64_t read(char* out, std::uint64_t len) {
        len = std::min(len, size() - std::min(pos, size()));
        std::uint64_t done = 0;
        while (done < len) {
            const std::uint64_t at = pos + done;
            std::uint64_t n;
            if (at < directoryEnd) {
                n = std::min(len - done, directoryEnd - at);
                if (!source->read(at, out + done, std::size_t(n))) {
                    zip_error_set(&error, ZIP_ER_READ, 0);
                    return -1;
                }
            } else if (at < directoryEnd + kRecordSize) {
                n = std::min(len - done, directoryEnd + kRecordSize - at);
                std::memcpy(out + done, record + (at - directoryEnd), std::size_t(n));
            } else {
                n = len - done;
                std::memset(out + done, 0, std::size_t(n));
            }
            done += n;
        }
        pos += done;
        return zip_int64_t(done);
    }
};

zip_int64_t directoryViewCallback(void* state, void* data, zip_uint64_t len, zip_source_cmd_t cmd) {
    auto* view = static_cast<DirectoryView*>(state);
    switch (cmd) {
    case ZIP_SOURCE_OPEN:
        view->pos = 0;
        return 0;
    case ZIP_SOURCE_READ:
        return view->read(static_cast<char*>(data), len);
    case ZIP_SOURCE_CLOSE:
        return 0;
    case ZIP_SOURCE_STAT: {
        auto* st = static_cast<zip_stat_t*>(data);
        zip_stat_init(st);
        st->size = view->size();
        st->valid |= ZIP_STAT_SIZE;
        return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&view->error, data, len);
    case ZIP_SOURCE_FREE:
        zip_error_fini(&view->error);
        delete view;
        return 0;
    case ZIP_SOURCE_SEEK: {
        const zip_int64_t to =
            zip_source_seek_compute_offset(view->pos, view->size(), data, len, &view->error);
        if (to < 0)
            return -1;
        view->pos = std::uint64_t(to);
        return 0;
    }
    case ZIP_SOURCE_TELL:
        return zip_int64_t(view->pos);
    case ZIP_SOURCE_SUPPORTS:
        return commandBitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                             ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, ZIP_SOURCE_SEEK, ZIP_SOURCE_TELL,
                             ZIP_SOURCE_SUPPORTS);
    default:
        zip_error_set(&view->error, ZIP_ER_OPNOTSUPP, 0);
        return -1;
    }
}

// Every entry of the one directory, walked once; an entry with strong encryption (which
// libzip 1.7.3 leaks on, and cannot read anyway) refuses the archive.
std::optional<std::vector<MemoryZip::Entry>>
readDirectory(ArchiveSource& source, const ZipDirectoryPlace& place, QString* error) {
    std::vector<char> dir(std::size_t(place.directorySize));
    if (!source.read(place.directoryOffset, dir.data(), dir.size())) {
        fail(error, "the central directory cannot be read");
        return std::nullopt;
    }
    std::vector<MemoryZip::Entry> entries;
    entries.reserve(place.entryCount);
    std::uint64_t at = 0;
    for (std::uint32_t i = 0; i < place.entryCount; ++i) {
        const char* p = dir.data() + at;
        if (at + kEntryHeaderSize > dir.size() || std::memcmp(p, kEntrySignature, 4) != 0) {
            fail(error, "the central directory is damaged");
            return std::nullopt;
        }
        const std::uint64_t nameSize = le(p + 28, 2);
        const std::uint64_t next = at + kEntryHeaderSize + nameSize + le(p + 30, 2) + le(p + 32, 2);
        if (next > dir.size()) {
            fail(error, "the central directory is damaged");
            return std::nullopt;
        }
        MemoryZip::Entry e;
        e.flags = std::uint16_t(le(p + 8, 2));
        if (e.flags & 0x40) {
            fail(error, "an entry uses an encryption this program does not read");
            return std::nullopt;
        }
        e.method = std::uint16_t(le(p + 10, 2));
        e.dosTime = std::uint16_t(le(p + 12, 2));
        e.crc = le(p + 16, 4);
        e.compressedSize = le(p + 20, 4);
        e.size = le(p + 24, 4);
        e.name.assign(p + kEntryHeaderSize, std::size_t(nameSize));
        entries.push_back(std::move(e));
        at = next;
    }
    return entries;
}

struct InflateStream {
    z_stream z{};
    bool open = false;
    ~InflateStream() {
        if (open)
            inflateEnd(&z);
    }
};

} // namespace

std::optional<ZipDirectoryPlace> findZipDirectory(ArchiveSource& source, QString* error) {
    const std::uint64_t size = source.size();
    std::optional<std::uint64_t> record;
    if (const auto trailer = trailerStart(source))
        record = recordEndingAt(source, *trailer);
    if (!record)
        record = recordEndingAt(source, size);
    // Bytes after the archive that are no catalogue (a result archive with something after
    // it): the nearest record that fits, as other readers take it; still just one directory.
    if (!record)
        record = recordEndingAt(source, size, false);
    if (!record) {
        fail(error, "no end of a ZIP archive where the archive ends");
        return std::nullopt;
    }
    char r[kRecordSize];
    if (!source.read(*record, r, sizeof r)) {
        fail(error, "the end of the archive cannot be read");
        return std::nullopt;
    }
    ZipDirectoryPlace place;
    place.recordOffset = *record;
    place.entryCount = le(r + 10, 2);
    place.directorySize = le(r + 12, 4);
    place.directoryOffset = le(r + 16, 4);
    if (le(r + 4, 2) != 0 || le(r + 6, 2) != 0 || le(r + 8, 2) != place.entryCount) {
        fail(error, "the archive spans several disks");
        return std::nullopt;
    }
    // Test archives are far below the sizes that need ZIP64.
    if (place.entryCount == 0xFFFF || place.directorySize == 0xFFFFFFFFu ||
        place.directoryOffset == 0xFFFFFFFFu) {
        fail(error, "ZIP64 archives are not test archives");
        return std::nullopt;
    }
    const std::uint64_t end = place.directoryOffset + place.directorySize;
    if (end > place.recordOffset) {
        fail(error, "the central directory lies outside the archive");
        return std::nullopt;
    }
    // libzip's look for the record starts a little before it: a record signature or a ZIP64
    // locator there would be taken for another directory. Only a forged directory holds one.
    char tail[24] = {};
    const std::size_t tailSize = std::size_t(std::min<std::uint64_t>(end, sizeof tail));
    if (!source.read(end - tailSize, tail, tailSize)) {
        fail(error, "the central directory cannot be read");
        return std::nullopt;
    }
    for (std::size_t i = 0; i + 4 <= tailSize; ++i)
        if (std::memcmp(tail + i, kRecordSignature, 4) == 0 ||
            std::memcmp(tail + i, kZip64LocatorSignature, 4) == 0) {
            fail(error, "the central directory is damaged");
            return std::nullopt;
        }
    return place;
}

std::unique_ptr<MemoryZip> MemoryZip::open(const QByteArray& bytes, QString* error) {
    return open(memorySource(bytes), error);
}

std::unique_ptr<MemoryZip> MemoryZip::open(std::unique_ptr<ArchiveSource> owned, QString* error) {
    std::shared_ptr<ArchiveSource> source(std::move(owned));
    const std::optional<ZipDirectoryPlace> place = findZipDirectory(*source, error);
    if (!place)
        return nullptr;
    std::optional<std::vector<Entry>> entries = readDirectory(*source, *place, error);
    if (!entries)
        return nullptr;

    auto* view = new DirectoryView;
    view->source = source;
    view->directoryEnd = place->directoryOffset + place->directorySize;
    if (!source->read(place->recordOffset, view->record, kRecordSize)) {
        delete view;
        fail(error, "the end of the archive cannot be read");
        return nullptr;
    }
    view->record[20] = view->record[21] = '\xFF'; // the comment of zeros
    zip_error_init(&view->error);
    zip_error_t err;
    zip_error_init(&err);
    zip_source_t* src = zip_source_function_create(directoryViewCallback, view, &err);
    if (!src) {
        zip_error_fini(&view->error);
        delete view;
        if (error)
            *error = QString::fromLocal8Bit(zip_error_strerror(&err));
        zip_error_fini(&err);
        return nullptr;
    }
    // No ZIP_CHECKCONS: test archives carry their catalogue after the end of the ZIP.
    zip_t* za = zip_open_from_source(src, ZIP_RDONLY, &err);
    if (!za) {
        if (error)
            *error = QString::fromLocal8Bit(zip_error_strerror(&err));
        zip_source_free(src);
        zip_error_fini(&err);
        return nullptr;
    }
    zip_error_fini(&err);
    if (zip_get_num_entries(za, 0) != zip_int64_t(entries->size())) {
        zip_discard(za);
        fail(error, "the central directory is damaged");
        return nullptr;
    }
    return std::unique_ptr<MemoryZip>(new MemoryZip(za, std::move(source), std::move(*entries)));
}

MemoryZip::~MemoryZip() {
    zip_discard(za_);
}

void MemoryZip::setPassword(const std::string& password) {
    password_ = password.substr(0, password.find('\0'));
    zip_set_default_password(za_, password_.c_str());
}

std::vector<std::string> MemoryZip::entryNames() const {
    std::vector<std::string> names;
    for (const Entry& e : entries_)
        names.push_back(e.name);
    return names;
}

ZipReadStatus MemoryZip::extract(std::string_view name, std::size_t cap, QByteArray& out,
                                 const std::function<void(int)>& progress) {
    out.clear();
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (baseName(entries_[i].name) != name)
            continue;
        // Stored and deflated entries, plain or under traditional encryption (strong
        // encryption is refused at open), are read here; other methods are left to libzip.
        const std::uint16_t method = entries_[i].method;
        if (method == 0 || method == 8)
            return extractRaw(i, cap, out, progress);
        return extractThroughLibzip(i, cap, out, progress);
    }
    return ZipReadStatus::Missing;
}

bool MemoryZip::passwordProvenByOthers(std::size_t index) {
    // Each check passes a wrong password once in 128 times at most; a few of them together are
    // proof enough, and a directory of thousands of entries is not walked for it.
    constexpr int kEnough = 8;
    int proven = 0;
    for (std::size_t j = 0; j < entries_.size() && proven < kEnough; ++j) {
        const Entry& e = entries_[j];
        if (j == index || !(e.flags & 1))
            continue;
        zip_file_t* f = zip_fopen_index(za_, j, ZIP_FL_COMPRESSED | ZIP_FL_ENCRYPTED);
        if (!f)
            return false;
        unsigned char header[kPkwareHeaderSize];
        const bool read = zip_fread(f, header, sizeof header) == zip_int64_t(sizeof header);
        zip_fclose(f);
        PkwareDecryptor decryptor(password_);
        if (!read || !decryptor.acceptsHeader(header, e.crc, e.dosTime))
            return false;
        ++proven;
    }
    return proven > 0;
}

ZipReadStatus MemoryZip::extractRaw(std::size_t index, std::size_t cap, QByteArray& out,
                                    const std::function<void(int)>& progress) {
    const Entry& e = entries_[index];
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(za_, index, 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE) ||
        !(st.valid & ZIP_STAT_COMP_SIZE))
        return ZipReadStatus::Corrupt;
    if (st.size > cap)
        return ZipReadStatus::TooLarge;
    const bool encrypted = e.flags & 1;
    std::uint64_t left = st.comp_size;
    if (encrypted && left < kPkwareHeaderSize)
        return ZipReadStatus::Corrupt;
    const std::uint64_t dataSize = left - (encrypted ? kPkwareHeaderSize : 0);
    // Deflate cannot unpack more than about 1032 bytes per stored byte, and stored data is as
    // long as it says: a declared size beyond that is a damaged directory.
    if ((e.method == 0 && st.size != dataSize) ||
        (e.method == 8 && st.size > dataSize * 1032 + 1024))
        return ZipReadStatus::Corrupt;

    zip_file_t* f = zip_fopen_index(za_, index, ZIP_FL_COMPRESSED | ZIP_FL_ENCRYPTED);
    if (!f)
        return ZipReadStatus::Corrupt;
    struct Closer {
        zip_file_t* f;
        ~Closer() { zip_fclose(f); }
    } closer{f};

    PkwareDecryptor decryptor(password_);
    if (encrypted) {
        unsigned char header[kPkwareHeaderSize];
        if (zip_fread(f, header, sizeof header) != zip_int64_t(sizeof header))
            return ZipReadStatus::Corrupt;
        if (!decryptor.acceptsHeader(header, e.crc, e.dosTime))
            return ZipReadStatus::BadPassword;
        left -= kPkwareHeaderSize;
    }

    const std::size_t size = std::size_t(st.size);
    out.resize(qsizetype(size));
    auto* dest = reinterpret_cast<unsigned char*>(out.data());
    adviseLargePages(dest, size);
    std::optional<ChunkFeed> feed;
    if (left > 0)
        feed.emplace(f, left, encrypted, decryptor, dest, size);

    auto dataFault = [&] {
        // The reader goes first: the password check below reads the archive too.
        if (feed)
            feed->stop();
        out.clear();
        out.squeeze();
        // Under a password every other entry accepts, the data itself is damaged.
        return encrypted && !passwordProvenByOthers(index) ? ZipReadStatus::BadPassword
                                                           : ZipReadStatus::Corrupt;
    };

    InflateStream inflater;
    if (e.method == 8) {
        if (inflateInit2(&inflater.z, -MAX_WBITS) != Z_OK)
            return ZipReadStatus::Corrupt;
        inflater.open = true;
    }
    if (progress)
        progress(0);
    int lastPercent = 0;
    const std::uint64_t total = left;
    std::size_t produced = 0;
    uLong crc = crc32(0, nullptr, 0);
    bool ended = e.method == 0;
    while (left > 0 && !(e.method == 8 && ended)) {
        const std::span<unsigned char> chunk = feed->next();
        if (chunk.empty())
            return dataFault();
        const std::size_t want = chunk.size();
        left -= want;
        const std::size_t before = produced;
        if (e.method == 0) {
            std::memcpy(dest + produced, chunk.data(), want);
            produced += want;
        } else {
            inflater.z.next_in = chunk.data();
            inflater.z.avail_in = uInt(want);
            while (inflater.z.avail_in > 0 && !ended) {
                inflater.z.next_out = dest + produced;
                inflater.z.avail_out = uInt(std::min<std::size_t>(size - produced, 1u << 30));
                const int rc = inflate(&inflater.z, Z_NO_FLUSH);
                produced = std::size_t(inflater.z.next_out - dest);
                if (rc == Z_STREAM_END)
                    ended = true;
                else if (rc != Z_OK) // damaged data, or more of it than the entry declares
                    return dataFault();
            }
        }
        crc = crc32_z(crc, dest + before, produced - before);
        if (progress && total > 0) {
            const int percent = int((total - left) * 100 / total);
            if (percent != lastPercent) {
                lastPercent = percent;
                progress(percent);
            }
        }
    }
    if (feed)
        feed->stop();
    if (!ended || produced != size || crc != e.crc)
        return dataFault();
    if (progress)
        progress(100);
    return ZipReadStatus::Ok;
}

ZipReadStatus MemoryZip::extractThroughLibzip(std::size_t index, std::size_t cap, QByteArray& out,
                                              const std::function<void(int)>& progress) {
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(za_, zip_uint64_t(index), 0, &st) != 0)
        return ZipReadStatus::Corrupt;
    const bool sizeKnown = (st.valid & ZIP_STAT_SIZE) != 0;
    if (sizeKnown && st.size > cap)
        return ZipReadStatus::TooLarge;

    zip_file_t* f = zip_fopen_index(za_, zip_uint64_t(index), 0);
    if (!f) {
        const int code = zip_error_code_zip(zip_get_error(za_));
        zip_error_clear(za_);
        return isPasswordError(code) ? ZipReadStatus::BadPassword : ZipReadStatus::Corrupt;
    }
    // The declared size only sizes the first allocation, and no more than deflate could unpack
    // from the stored bytes; the data decides how much is read.
    const std::size_t expected = sizeKnown ? std::size_t(st.size) : 0;
    std::size_t reserve = std::min(expected, cap);
    if (st.valid & ZIP_STAT_COMP_SIZE)
        reserve = std::min<std::uint64_t>(reserve, std::uint64_t(st.comp_size) * 1032 + 1024);
    out.reserve(qsizetype(reserve));
    if (progress)
        progress(0);
    // Read straight into the result, a chunk at a time, one byte past the cap at most.
    constexpr std::size_t kLibzipChunk = 1 << 20;
    int lastPercent = 0;
    ZipReadStatus status = ZipReadStatus::Ok;
    for (;;) {
        const std::size_t have = std::size_t(out.size());
        const std::size_t want = std::min(kLibzipChunk, cap + 1 - have);
        out.resize(qsizetype(have + want));
        const zip_int64_t got = zip_fread(f, out.data() + have, want);
        out.resize(qsizetype(have + std::size_t(std::max<zip_int64_t>(got, 0))));
        if (got < 0) {
            const int code = zip_error_code_zip(zip_file_get_error(f));
            status = isPasswordError(code) ? ZipReadStatus::BadPassword : ZipReadStatus::Corrupt;
            break;
        }
        if (got == 0)
            break;
        if (std::size_t(out.size()) > cap) {
            status = ZipReadStatus::TooLarge;
            break;
        }
        if (progress && expected > 0) {
            const int percent =
                int(std::min<std::size_t>(100, std::size_t(out.size()) * 100 / expected));
            if (percent != lastPercent) {
                lastPercent = percent;
                progress(percent);
            }
        }
    }
    zip_fclose(f);
    if (status != ZipReadStatus::Ok) {
        out.clear();
        out.squeeze();
        return status;
    }
    if (progress)
        progress(100);
    return ZipReadStatus::Ok;
}

namespace {

// An entry's bytes handed to libzip as they are asked for. Its description (size, time, kind)
// is the one libzip gives an entry from memory, so both make the same bytes.
struct StreamedEntrySource {
    ZipStreamEntry entry;
    std::time_t mtime = 0;
    zip_error_t error{};
};

zip_int64_t streamedEntryCallback(void* state, void* data, zip_uint64_t len, zip_source_cmd_t cmd) {
    auto* s = static_cast<StreamedEntrySource*>(state);
    switch (cmd) {
    case ZIP_SOURCE_OPEN:
        if (!s->entry.open()) {
            zip_error_set(&s->error, ZIP_ER_READ, 0);
            return -1;
        }
        return 0;
    case ZIP_SOURCE_READ: {
        const qint64 got =
            s->entry.read(static_cast<char*>(data), qint64(std::min<zip_uint64_t>(len, 1 << 30)));
        if (got < 0) {
            zip_error_set(&s->error, ZIP_ER_READ, 0);
            return -1;
        }
        return got;
    }
    case ZIP_SOURCE_CLOSE:
        return 0;
    case ZIP_SOURCE_STAT: {
        auto* st = static_cast<zip_stat_t*>(data);
        zip_stat_init(st);
        st->mtime = s->mtime;
        st->size = s->entry.size;
        st->comp_size = st->size;
        st->comp_method = ZIP_CM_STORE;
        st->encryption_method = ZIP_EM_NONE;
        st->valid = ZIP_STAT_MTIME | ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_COMP_METHOD |
                    ZIP_STAT_ENCRYPTION_METHOD;
        return sizeof(*st);
    }
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&s->error, data, len);
    case ZIP_SOURCE_FREE:
        zip_error_fini(&s->error);
        delete s;
        return 0;
    case ZIP_SOURCE_SUPPORTS:
        return commandBitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                             ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE);
    default:
        zip_error_set(&s->error, ZIP_ER_OPNOTSUPP, 0);
        return -1;
    }
}

// The one writer: every entry deflated at level 9 and, with a password, encrypted, into target
// (which it keeps). False with error set when libzip refuses.
bool writeZipInto(zip_source_t* target, const std::vector<ZipEntry>& entries,
                  std::vector<ZipStreamEntry> streamed, const std::string& password,
                  QString* error) {
    zip_error_t err;
    zip_error_init(&err);
    zip_t* za = zip_open_from_source(target, ZIP_TRUNCATE, &err);
    zip_error_fini(&err);
    auto fail = [&](int code) {
        if (error)
            *error = zipErrorText(code);
        if (za)
            zip_discard(za);
        return false;
    };
    if (!za)
        return fail(ZIP_ER_INTERNAL);
    const std::time_t now = std::time(nullptr);
    auto add = [&](const std::string& name, zip_source_t* s) {
        if (!s)
            return fail(zip_error_code_zip(zip_get_error(za)));
        const zip_int64_t idx = zip_file_add(za, name.c_str(), s, ZIP_FL_ENC_RAW);
        if (idx < 0) {
            zip_source_free(s);
            return fail(zip_error_code_zip(zip_get_error(za)));
        }
        if (zip_set_file_compression(za, zip_uint64_t(idx), ZIP_CM_DEFLATE, 9) != 0)
            return fail(zip_error_code_zip(zip_get_error(za)));
        if (!password.empty() && zip_file_set_encryption(za, zip_uint64_t(idx), ZIP_EM_TRAD_PKWARE,
                                                         password.c_str()) != 0)
            return fail(zip_error_code_zip(zip_get_error(za)));
        return true;
    };
    for (ZipStreamEntry& e : streamed) {
        const std::string name = e.name;
        auto* state = new StreamedEntrySource{std::move(e), now, {}};
        zip_error_init(&state->error);
        zip_source_t* s = zip_source_function(za, streamedEntryCallback, state);
        if (!s) {
            zip_error_fini(&state->error);
            delete state;
        }
        if (!add(name, s))
            return false;
    }
    for (const ZipEntry& e : entries)
        if (!add(e.name, zip_source_buffer(za, e.data.constData(), zip_uint64_t(e.data.size()), 0)))
            return false;
    if (zip_close(za) != 0) {
        // A failed close leaves the archive open: fail() discards it.
        return fail(zip_error_code_zip(zip_get_error(za)));
    }
    return true;
}

} // namespace

std::optional<QByteArray> writeEncryptedZip(const std::vector<ZipEntry>& entries,
                                            const std::string& password, QString* error) {
    zip_error_t err;
    zip_error_init(&err);
    zip_source_t* target = zip_source_buffer_create(nullptr, 0, 0, &err);
    if (!target) {
        if (error)
            *error = QString::fromLocal8Bit(zip_error_strerror(&err));
        zip_error_fini(&err);
        return std::nullopt;
    }
    zip_error_fini(&err);
    zip_source_keep(target); // it must outlive zip_close to hand back the bytes
    if (!writeZipInto(target, entries, {}, password, error)) {
        zip_source_free(target);
        return std::nullopt;
    }
    QByteArray out;
    if (zip_source_open(target) == 0) {
        zip_source_seek(target, 0, SEEK_END);
        const zip_int64_t size = zip_source_tell(target);
        zip_source_seek(target, 0, SEEK_SET);
        if (size > 0) {
            out.resize(qsizetype(size));
            if (zip_source_read(target, out.data(), zip_uint64_t(size)) != size)
                out.clear();
        }
        zip_source_close(target);
    }
    zip_source_free(target);
    if (out.isEmpty()) {
        if (error)
            *error = QStringLiteral("the archive could not be written to memory");
        return std::nullopt;
    }
    return out;
}

bool writeEncryptedZipFile(const QString& path, std::vector<ZipStreamEntry> streamed,
                           const std::vector<ZipEntry>& entries, const std::string& password,
                           QString* error) {
    zip_error_t err;
    zip_error_init(&err);
    zip_source_t* target = zip_source_file_create(QFile::encodeName(path).constData(), 0, -1, &err);
    if (!target) {
        if (error)
            *error = QString::fromLocal8Bit(zip_error_strerror(&err));
        zip_error_fini(&err);
        return false;
    }
    zip_error_fini(&err);
    zip_source_keep(target);
    const bool ok = writeZipInto(target, entries, std::move(streamed), password, error);
    zip_source_free(target);
    return ok;
}

} // namespace kvz
