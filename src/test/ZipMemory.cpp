#include "test/ZipMemory.h"

#include <zip.h>

#include <algorithm>

namespace kvz {

namespace {

QString zipErrorText(int code) {
    zip_error_t e;
    zip_error_init_with_code(&e, code);
    QString text = QString::fromLocal8Bit(zip_error_strerror(&e));
    zip_error_fini(&e);
    return text;
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

std::uint32_t le(const QByteArray& b, qsizetype at, int size) {
    std::uint32_t v = 0;
    for (int i = size - 1; i >= 0; --i)
        v = v << 8 | std::uint8_t(b[at + i]);
    return v;
}

// libzip 1.7.3 leaks while opening an archive whose central directory marks an entry with
// strong encryption (flag bit 6), which it cannot read anyway. Such archives are refused before
// libzip sees them: every end-of-directory record in the last megabyte is followed to its
// directory, and an entry with that flag refuses the archive. ZIP64 directories are left to
// libzip.
bool marksStrongEncryption(const QByteArray& bytes) {
    static const QByteArray endSignature("PK\x05\x06", 4);
    static const QByteArray entrySignature("PK\x01\x02", 4);
    const qsizetype size = bytes.size();
    const qsizetype lowest = std::max<qsizetype>(0, size - (qsizetype(1) << 20));
    for (qsizetype eocd = bytes.lastIndexOf(endSignature); eocd >= lowest;
         eocd = eocd > 0 ? bytes.lastIndexOf(endSignature, eocd - 1) : -1) {
        if (eocd + 22 > size)
            continue;
        const std::uint32_t count = le(bytes, eocd + 10, 2);
        const std::uint32_t offset = le(bytes, eocd + 16, 4);
        if (offset == 0xFFFFFFFFu || count == 0xFFFFu)
            continue;
        qsizetype at = qsizetype(offset);
        for (std::uint32_t i = 0; i < count; ++i) {
            if (at + 46 > size || bytes.mid(at, 4) != entrySignature)
                break;
            if (le(bytes, at + 8, 2) & 0x40)
                return true;
            at += 46 + qsizetype(le(bytes, at + 28, 2)) + qsizetype(le(bytes, at + 30, 2)) +
                  qsizetype(le(bytes, at + 32, 2));
        }
    }
    return false;
}

} // namespace

std::unique_ptr<MemoryZip> MemoryZip::open(const QByteArray& bytes, QString* error) {
    if (marksStrongEncryption(bytes)) {
        if (error)
            *error = QStringLiteral("an entry uses an encryption this program does not read");
        return nullptr;
    }
    zip_error_t err;
    zip_error_init(&err);
    zip_source_t* src =
        zip_source_buffer_create(bytes.constData(), zip_uint64_t(bytes.size()), 0, &err);
    if (!src) {
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
    return std::unique_ptr<MemoryZip>(new MemoryZip(za));
}

MemoryZip::~MemoryZip() {
    zip_discard(za_);
}

void MemoryZip::setPassword(const std::string& password) {
    zip_set_default_password(za_, password.c_str());
}

std::vector<std::string> MemoryZip::entryNames() const {
    std::vector<std::string> names;
    const zip_int64_t n = zip_get_num_entries(za_, 0);
    for (zip_int64_t i = 0; i < n; ++i) {
        const char* name = zip_get_name(za_, zip_uint64_t(i), ZIP_FL_ENC_RAW);
        names.push_back(name ? name : "");
    }
    return names;
}

ZipReadStatus MemoryZip::extract(std::string_view name, std::size_t cap, QByteArray& out,
                                 const std::function<void(int)>& progress) {
    out.clear();
    const zip_int64_t n = zip_get_num_entries(za_, 0);
    zip_int64_t index = -1;
    for (zip_int64_t i = 0; i < n && index < 0; ++i) {
        const char* entry = zip_get_name(za_, zip_uint64_t(i), ZIP_FL_ENC_RAW);
        if (entry && baseName(entry) == name)
            index = i;
    }
    if (index < 0)
        return ZipReadStatus::Missing;

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
    constexpr std::size_t kChunk = 1 << 20;
    int lastPercent = 0;
    ZipReadStatus status = ZipReadStatus::Ok;
    for (;;) {
        const std::size_t have = std::size_t(out.size());
        const std::size_t want = std::min(kChunk, cap + 1 - have);
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
    zip_source_keep(target); // it must outlive zip_close to hand back the bytes
    zip_t* za = zip_open_from_source(target, ZIP_TRUNCATE, &err);
    zip_error_fini(&err);
    auto fail = [&](int code) -> std::optional<QByteArray> {
        if (error)
            *error = zipErrorText(code);
        if (za)
            zip_discard(za);
        zip_source_free(target);
        return std::nullopt;
    };
    if (!za)
        return fail(ZIP_ER_INTERNAL);
    for (const ZipEntry& e : entries) {
        zip_source_t* s = zip_source_buffer(za, e.data.constData(), zip_uint64_t(e.data.size()), 0);
        if (!s)
            return fail(zip_error_code_zip(zip_get_error(za)));
        const zip_int64_t idx = zip_file_add(za, e.name.c_str(), s, ZIP_FL_ENC_RAW);
        if (idx < 0) {
            zip_source_free(s);
            return fail(zip_error_code_zip(zip_get_error(za)));
        }
        if (zip_set_file_compression(za, zip_uint64_t(idx), ZIP_CM_DEFLATE, 9) != 0)
            return fail(zip_error_code_zip(zip_get_error(za)));
        if (!password.empty() && zip_file_set_encryption(za, zip_uint64_t(idx), ZIP_EM_TRAD_PKWARE,
                                                         password.c_str()) != 0)
            return fail(zip_error_code_zip(zip_get_error(za)));
    }
    if (zip_close(za) != 0) {
        // A failed close leaves the archive open: fail() discards it.
        return fail(zip_error_code_zip(zip_get_error(za)));
    }
    za = nullptr;
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

} // namespace kvz
