// Packed DIBs and .bmp files.
#include "platform/docview/DibDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kvz::docview::decodeDib({data, size});
    kvz::docview::decodeBmpFile({data, size});
    return 0;
}
