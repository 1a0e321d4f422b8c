// The pupil's program links the libraries that read test archives (libzip, with OpenSSL
// behind it), their compound-document pages (libgsf, with GObject and GIO behind it) and EMF
// pictures (libemf2svg) through the functions below instead of directly: each resolves the real
// function on its first call. The main window then starts without mapping and relocating some
// twenty libraries a pupil needs only once a test is opened, and the idle program stays small.
//
// Only the program links this file; the tools and tests link the libraries directly. A function
// the code starts to use and that is missing here fails the program's link, not a run.

#include <QtGlobal>
#include <dlfcn.h>
#include <emf2svg.h>
#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-input.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-output.h>
#include <gsf/gsf-utils.h>
#include <mutex>
#include <zip.h>

namespace {

enum Library { Zip, Gsf, Emf2svg, LibraryCount };

// The versions the program was built against (Debian 12's packages).
constexpr const char* kSonames[LibraryCount] = {"libzip.so.4", "libgsf-1.so.114",
                                                "libemf2svg.so.1"};

// All three are loaded together, at the first call into any of them: that is the first test
// archive opened, before any run starts, so an installation missing one of them stops there
// and never in the middle of a test.
void* library(Library which) {
    static void* handles[LibraryCount] = {};
    static std::once_flag loaded;
    std::call_once(loaded, [] {
        for (int i = 0; i < LibraryCount; ++i) {
            handles[i] = dlopen(kSonames[i], RTLD_NOW | RTLD_LOCAL);
            if (!handles[i])
                qFatal("Kvizor cannot load %s (%s): reinstall the program.", kSonames[i],
                       dlerror());
        }
    });
    return handles[which];
}

void* resolve(Library which, const char* name) {
    void* function = dlsym(library(which), name);
    if (!function)
        qFatal("Kvizor cannot find %s in %s: reinstall the program.", name, kSonames[which]);
    return function;
}

} // namespace

// Defines NAME with the declared type, forwarding to the real function. The headers above
// declare every NAME, so a parameter list that differs from the library's does not compile.
#define KVZ_LAZY(LIB, RET, NAME, PARAMS, ARGS)                                                     \
    extern "C" RET NAME PARAMS {                                                                   \
        static const auto real = reinterpret_cast<decltype(&NAME)>(resolve(LIB, #NAME));           \
        return real ARGS;                                                                          \
    }

// libzip
KVZ_LAZY(Zip, int, zip_close, (zip_t * a), (a))
KVZ_LAZY(Zip, void, zip_discard, (zip_t * a), (a))
KVZ_LAZY(Zip, void, zip_error_clear, (zip_t * a), (a))
KVZ_LAZY(Zip, int, zip_error_code_zip, (const zip_error_t* a), (a))
KVZ_LAZY(Zip, void, zip_error_fini, (zip_error_t * a), (a))
KVZ_LAZY(Zip, void, zip_error_init, (zip_error_t * a), (a))
KVZ_LAZY(Zip, void, zip_error_init_with_code, (zip_error_t * a, int b), (a, b))
KVZ_LAZY(Zip, void, zip_error_set, (zip_error_t * a, int b, int c), (a, b, c))
KVZ_LAZY(Zip, const char*, zip_error_strerror, (zip_error_t * a), (a))
KVZ_LAZY(Zip, zip_int64_t, zip_error_to_data, (const zip_error_t* a, void* b, zip_uint64_t c),
         (a, b, c))
KVZ_LAZY(Zip, int, zip_fclose, (zip_file_t * a), (a))
KVZ_LAZY(Zip, zip_int64_t, zip_file_add, (zip_t * a, const char* b, zip_source_t* c, zip_flags_t d),
         (a, b, c, d))
KVZ_LAZY(Zip, zip_error_t*, zip_file_get_error, (zip_file_t * a), (a))
KVZ_LAZY(Zip, int, zip_file_set_encryption,
         (zip_t * a, zip_uint64_t b, zip_uint16_t c, const char* d), (a, b, c, d))
KVZ_LAZY(Zip, zip_file_t*, zip_fopen_index, (zip_t * a, zip_uint64_t b, zip_flags_t c), (a, b, c))
KVZ_LAZY(Zip, zip_int64_t, zip_fread, (zip_file_t * a, void* b, zip_uint64_t c), (a, b, c))
KVZ_LAZY(Zip, zip_error_t*, zip_get_error, (zip_t * a), (a))
KVZ_LAZY(Zip, zip_int64_t, zip_get_num_entries, (zip_t * a, zip_flags_t b), (a, b))
KVZ_LAZY(Zip, zip_t*, zip_open_from_source, (zip_source_t * a, int b, zip_error_t* c), (a, b, c))
KVZ_LAZY(Zip, int, zip_set_default_password, (zip_t * a, const char* b), (a, b))
KVZ_LAZY(Zip, int, zip_set_file_compression,
         (zip_t * a, zip_uint64_t b, zip_int32_t c, zip_uint32_t d), (a, b, c, d))
KVZ_LAZY(Zip, zip_source_t*, zip_source_buffer, (zip_t * a, const void* b, zip_uint64_t c, int d),
         (a, b, c, d))
KVZ_LAZY(Zip, zip_source_t*, zip_source_buffer_create,
         (const void* a, zip_uint64_t b, int c, zip_error_t* d), (a, b, c, d))
KVZ_LAZY(Zip, int, zip_source_close, (zip_source_t * a), (a))
KVZ_LAZY(Zip, zip_source_t*, zip_source_file_create,
         (const char* a, zip_uint64_t b, zip_int64_t c, zip_error_t* d), (a, b, c, d))
KVZ_LAZY(Zip, void, zip_source_free, (zip_source_t * a), (a))
KVZ_LAZY(Zip, zip_source_t*, zip_source_function, (zip_t * a, zip_source_callback b, void* c),
         (a, b, c))
KVZ_LAZY(Zip, zip_source_t*, zip_source_function_create,
         (zip_source_callback a, void* b, zip_error_t* c), (a, b, c))
KVZ_LAZY(Zip, void, zip_source_keep, (zip_source_t * a), (a))
KVZ_LAZY(Zip, int, zip_source_open, (zip_source_t * a), (a))
KVZ_LAZY(Zip, zip_int64_t, zip_source_read, (zip_source_t * a, void* b, zip_uint64_t c), (a, b, c))
KVZ_LAZY(Zip, int, zip_source_seek, (zip_source_t * a, zip_int64_t b, int c), (a, b, c))
KVZ_LAZY(Zip, zip_int64_t, zip_source_seek_compute_offset,
         (zip_uint64_t a, zip_uint64_t b, void* c, zip_uint64_t d, zip_error_t* e), (a, b, c, d, e))
KVZ_LAZY(Zip, zip_int64_t, zip_source_tell, (zip_source_t * a), (a))
KVZ_LAZY(Zip, int, zip_stat_index, (zip_t * a, zip_uint64_t b, zip_flags_t c, zip_stat_t* d),
         (a, b, c, d))
KVZ_LAZY(Zip, void, zip_stat_init, (zip_stat_t * a), (a))

// libgsf, and the GObject type checks its casting macros expand to (found through libgsf's own
// dependencies)
KVZ_LAZY(Gsf, void, gsf_init, (void), ())
KVZ_LAZY(Gsf, GType, gsf_infile_get_type, (void), ())
KVZ_LAZY(Gsf, GType, gsf_infile_msole_get_type, (void), ())
KVZ_LAZY(Gsf, GType, gsf_outfile_msole_get_type, (void), ())
KVZ_LAZY(Gsf, GType, gsf_output_get_type, (void), ())
KVZ_LAZY(Gsf, GType, gsf_output_memory_get_type, (void), ())
KVZ_LAZY(Gsf, GsfInput*, gsf_infile_child_by_name, (GsfInfile * a, const char* b), (a, b))
KVZ_LAZY(Gsf, gboolean, gsf_infile_msole_get_class_id, (const GsfInfileMSOle* a, guint8* b), (a, b))
KVZ_LAZY(Gsf, GsfInfile*, gsf_infile_msole_new, (GsfInput * a, GError** b), (a, b))
KVZ_LAZY(Gsf, const char*, gsf_infile_name_by_index, (GsfInfile * a, int b), (a, b))
KVZ_LAZY(Gsf, int, gsf_infile_num_children, (GsfInfile * a), (a))
KVZ_LAZY(Gsf, GsfInput*, gsf_input_memory_new, (const guint8* a, gsf_off_t b, gboolean c),
         (a, b, c))
KVZ_LAZY(Gsf, const guint8*, gsf_input_read, (GsfInput * a, size_t b, guint8* c), (a, b, c))
KVZ_LAZY(Gsf, gsf_off_t, gsf_input_size, (GsfInput * a), (a))
KVZ_LAZY(Gsf, GsfOutfile*, gsf_outfile_msole_new, (GsfOutput * a), (a))
KVZ_LAZY(Gsf, gboolean, gsf_outfile_msole_set_class_id, (GsfOutfileMSOle * a, const guint8* b),
         (a, b))
KVZ_LAZY(Gsf, GsfOutput*, gsf_outfile_new_child, (GsfOutfile * a, const char* b, gboolean c),
         (a, b, c))
KVZ_LAZY(Gsf, gboolean, gsf_output_close, (GsfOutput * a), (a))
KVZ_LAZY(Gsf, const guint8*, gsf_output_memory_get_bytes, (GsfOutputMemory * a), (a))
KVZ_LAZY(Gsf, GsfOutput*, gsf_output_memory_new, (void), ())
KVZ_LAZY(Gsf, gsf_off_t, gsf_output_size, (GsfOutput * a), (a))
KVZ_LAZY(Gsf, gboolean, gsf_output_write, (GsfOutput * a, size_t b, const guint8* c), (a, b, c))
KVZ_LAZY(Gsf, void, g_object_unref, (gpointer a), (a))
KVZ_LAZY(Gsf, GTypeInstance*, g_type_check_instance_cast, (GTypeInstance * a, GType b), (a, b))
KVZ_LAZY(Gsf, gboolean, g_type_check_instance_is_a, (GTypeInstance * a, GType b), (a, b))

// libemf2svg
KVZ_LAZY(Emf2svg, int, emf2svg, (char* a, size_t b, char** c, size_t* d, generatorOptions* e),
         (a, b, c, d, e))
