// A whole piece as the viewer gets it: header, compound file, presentation streams, picture.
#include "fuzz_docview_support.h"
#include "platform/docview/PageRenderer.h"

// Full unwinding on allocation, so that a leak inside libgsf (reached through GLib, which keeps no
// frame pointers) is seen with its caller and matched by its suppression.
extern "C" const char* __asan_default_options() {
    return "fast_unwind_on_malloc=0";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kvz::fuzz::ensureGuiApp();
    kvz::docview::PageRenderer renderer;
    QString error;
    if (renderer.loadPiece({data, size}, error))
        renderer.render(QSize(64, 48));
    return 0;
}
