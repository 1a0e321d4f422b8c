#include "platform/docview/CompoundFile.h"

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-utils.h>

#include <mutex>

namespace kvz::docview {
namespace {

void ensureGsf() {
    static std::once_flag once;
    std::call_once(once, [] { gsf_init(); });
}

struct Unref {
    void operator()(gpointer p) const {
        if (p)
            g_object_unref(p);
    }
};
template <class T> using GPtr = std::unique_ptr<T, Unref>;

// The first directory entry of a compound file is its root storage (type 5). libgsf warns about
// one that is not and then leaks the entries it has read, so such a file, which no writer
// makes, is turned away before libgsf sees it.
bool rootIsStorage(Bytes bytes) {
    constexpr std::size_t kEntrySize = 128;
    constexpr std::size_t kTypeOffset = 66;
    constexpr std::uint8_t kRootStorage = 5;
    const auto u16 = [&](std::size_t at) {
        return unsigned(bytes[at]) | unsigned(bytes[at + 1]) << 8;
    };
    const auto u32 = [&](std::size_t at) {
        return std::uint32_t(u16(at)) | std::uint32_t(u16(at + 2)) << 16;
    };
    const unsigned shift = u16(0x1E); // 9 (512-byte sectors) or 12 (4096)
    if (shift != 9 && shift != 12)
        return false;
    const std::uint64_t sector = u32(0x30);
    const std::uint64_t at = (sector + 1) << shift;
    return at + kEntrySize <= bytes.size() && bytes[at + kTypeOffset] == kRootStorage;
}

} // namespace

ClassId oleClassId(std::uint16_t low) {
    return {std::uint8_t(low & 0xFF),
            std::uint8_t(low >> 8),
            0,
            0,
            0,
            0,
            0,
            0,
            0xC0,
            0,
            0,
            0,
            0,
            0,
            0,
            0x46};
}

struct CompoundReader::Handles {
    GPtr<GsfInput> input;
    GPtr<GsfInfile> root;
};

CompoundReader::~CompoundReader() = default;

std::unique_ptr<CompoundReader> CompoundReader::open(Bytes bytes, QString& error) {
    ensureGsf();
    if (bytes.size() < 512) {
        error = QStringLiteral("the document is no compound file (too short)");
        return nullptr;
    }
    if (!rootIsStorage(bytes)) {
        error = QStringLiteral("the document is no compound file (its root is not a storage)");
        return nullptr;
    }
    std::unique_ptr<CompoundReader> r(new CompoundReader);
    r->h_ = std::make_unique<Handles>();
    r->inputSize_ = bytes.size();
    r->h_->input.reset(gsf_input_memory_new(bytes.data(), gsf_off_t(bytes.size()), FALSE));
    if (!r->h_->input) {
        error = QStringLiteral("the document cannot be read");
        return nullptr;
    }
    GError* gerr = nullptr;
    r->h_->root.reset(gsf_infile_msole_new(r->h_->input.get(), &gerr));
    if (!r->h_->root) {
        error = QStringLiteral("the document is no compound file");
        if (gerr) {
            error += QStringLiteral(": ") + QString::fromUtf8(gerr->message);
            g_error_free(gerr);
        }
        return nullptr;
    }
    if (gerr)
        g_error_free(gerr);
    gsf_infile_msole_get_class_id(GSF_INFILE_MSOLE(r->h_->root.get()), r->classId_.data());
    return r;
}

std::vector<std::string> CompoundReader::children() const {
    std::vector<std::string> out;
    const int n = gsf_infile_num_children(h_->root.get());
    for (int i = 0; i < n; ++i) {
        const char* name = gsf_infile_name_by_index(h_->root.get(), i);
        if (name)
            out.emplace_back(name);
    }
    return out;
}

std::optional<QByteArray> CompoundReader::stream(const std::string& name) const {
    GPtr<GsfInput> child(gsf_infile_child_by_name(h_->root.get(), name.c_str()));
    if (!child)
        return std::nullopt;
    if (GSF_IS_INFILE(child.get()) && gsf_infile_num_children(GSF_INFILE(child.get())) >= 0)
        return std::nullopt; // a storage, not a stream
    const gsf_off_t size = gsf_input_size(child.get());
    // A stream cannot hold more than the whole file; a directory entry claiming so lies.
    if (size < 0 || std::uint64_t(size) > inputSize_)
        return std::nullopt;
    QByteArray out(qsizetype(size), Qt::Uninitialized);
    if (size > 0 &&
        !gsf_input_read(child.get(), size_t(size), reinterpret_cast<guint8*>(out.data())))
        return std::nullopt;
    return out;
}

std::optional<QByteArray> writeCompound(const ClassId& rootClass,
                                        const std::vector<StreamEntry>& streams, QString& error) {
    ensureGsf();
    GPtr<GsfOutput> sink(gsf_output_memory_new());
    GPtr<GsfOutfile> root(gsf_outfile_msole_new(sink.get()));
    if (!root) {
        error = QStringLiteral("cannot create a compound file");
        return std::nullopt;
    }
    gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(root.get()), rootClass.data());
    bool ok = true;
    for (const StreamEntry& s : streams) {
        GPtr<GsfOutput> child(gsf_outfile_new_child(root.get(), s.name.c_str(), FALSE));
        if (!child) {
            ok = false;
            break;
        }
        if (!s.data.isEmpty())
            ok = gsf_output_write(child.get(), size_t(s.data.size()),
                                  reinterpret_cast<const guint8*>(s.data.constData()));
        ok = gsf_output_close(child.get()) && ok;
        if (!ok)
            break;
    }
    ok = gsf_output_close(GSF_OUTPUT(root.get())) && ok;
    if (!ok) {
        error = QStringLiteral("cannot write the compound file");
        return std::nullopt;
    }
    const guint8* bytes = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(sink.get()));
    const gsf_off_t size = gsf_output_size(sink.get());
    return QByteArray(reinterpret_cast<const char*>(bytes), qsizetype(size));
}

} // namespace kvz::docview
