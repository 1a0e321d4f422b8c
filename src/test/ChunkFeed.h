#pragma once

// An entry's stored bytes, read and decrypted on a second thread a few chunks ahead of the
// caller, who inflates them: the cipher is serial within an entry, but it need not wait for
// inflate. While the caller is the slower one, the reader maps in the pages of the output
// buffer ahead of it instead of idling, so inflate does not stop for a page fault every 4 KB.

#include "test/PkwareCipher.h"

#include <zip.h>

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

namespace kvz {

class ChunkFeed {
public:
    // Reads left stored bytes of f (after the encryption header, if any) in chunks of 256 KB;
    // [out, out + outSize) is the buffer the caller unpacks into.
    ChunkFeed(zip_file_t* f, std::uint64_t left, bool encrypted, const PkwareDecryptor& decryptor,
              unsigned char* out, std::size_t outSize);
    ~ChunkFeed() { stop(); }
    ChunkFeed(const ChunkFeed&) = delete;
    ChunkFeed& operator=(const ChunkFeed&) = delete;

    // The next chunk, valid until the following call; empty at the end or when reading failed.
    std::span<unsigned char> next();
    bool failed();
    // Ends the reader; the archive may be used again afterwards.
    void stop();

private:
    static constexpr std::size_t kSlots = 4;

    void run();

    zip_file_t* f_;
    std::uint64_t left_;
    const bool encrypted_;
    PkwareDecryptor decryptor_;
    unsigned char* const out_;
    unsigned char* const outEnd_;
    unsigned char* prefaultAt_;
    bool prefaultOk_ = true; // the kernel can map pages in ahead

    std::mutex m_;
    std::condition_variable cv_;
    std::array<std::vector<unsigned char>, kSlots> slots_;
    std::array<std::size_t, kSlots> sizes_{};
    std::size_t ready_ = 0; // chunks decrypted so far
    std::size_t taken_ = 0; // chunks the caller is done with
    bool holding_ = false;  // the caller works on chunk taken_
    bool done_ = false;
    bool failed_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace kvz
