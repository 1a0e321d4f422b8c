#pragma once

// A large buffer that is about to be filled from start to end (an unpacked page store, a
// downloaded archive) takes a page fault for every 4 KB it touches, and on a busy machine those
// faults cost as much as the copying. Asking for 2 MB pages on it lets one fault map 512 times
// as much.

#include <cstddef>

namespace kvz {

// Asks for large pages on the whole 2 MB pieces of [data, data + size); small buffers and
// kernels that do not offer them are left as they are. The contents are not touched.
void adviseLargePages(void* data, std::size_t size);

// The size of a large page (2 MB): the step in which a buffer is best mapped in ahead.
inline constexpr std::size_t kLargePageSize = std::size_t(2) << 20;

} // namespace kvz
