#include "test/ChunkFeed.h"

#include "test/LargeBuffer.h"

#include <algorithm>
#include <sys/mman.h>

namespace kvz {

namespace {

constexpr std::size_t kChunk = std::size_t(256) << 10;
constexpr std::size_t kPrefaultStep = kLargePageSize;

} // namespace

ChunkFeed::ChunkFeed(zip_file_t* f, std::uint64_t left, bool encrypted,
                     const PkwareDecryptor& decryptor, unsigned char* out, std::size_t outSize)
    : f_(f), left_(left), encrypted_(encrypted), decryptor_(decryptor), out_(out),
      outEnd_(out + outSize) {
    const std::size_t n = std::size_t(std::min<std::uint64_t>(kChunk, left));
    for (auto& slot : slots_)
        slot.resize(n);
    // Whole large pages inside the buffer only: the piece before the first one is the
    // caller's to map, and comes first anyway.
    prefaultAt_ = reinterpret_cast<unsigned char*>(
        (reinterpret_cast<std::uintptr_t>(out_) + kLargePageSize - 1) & ~(kLargePageSize - 1));
    thread_ = std::thread([this] { run(); });
}

std::span<unsigned char> ChunkFeed::next() {
    std::unique_lock lock(m_);
    if (holding_) {
        holding_ = false;
        ++taken_;
        cv_.notify_all();
    }
    cv_.wait(lock, [this] { return ready_ > taken_ || done_; });
    if (ready_ == taken_)
        return {};
    holding_ = true;
    const std::size_t slot = taken_ % kSlots;
    return {slots_[slot].data(), sizes_[slot]};
}

bool ChunkFeed::failed() {
    std::lock_guard lock(m_);
    return failed_;
}

void ChunkFeed::stop() {
    {
        std::lock_guard lock(m_);
        stopping_ = true;
    }
    cv_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void ChunkFeed::run() {
    while (left_ > 0) {
        std::unique_lock lock(m_);
        while (!stopping_ && ready_ - taken_ >= kSlots) {
            if (prefaultAt_ + kPrefaultStep > outEnd_ || !prefaultOk_) {
                cv_.wait(lock);
                continue;
            }
            // Nothing to do until the caller frees a chunk: map a piece of the output.
            unsigned char* at = prefaultAt_;
            prefaultAt_ += kPrefaultStep;
            lock.unlock();
            prefaultOk_ = ::madvise(at, kPrefaultStep, MADV_POPULATE_WRITE) == 0;
            lock.lock();
        }
        if (stopping_)
            break;
        auto& slot = slots_[ready_ % kSlots];
        lock.unlock();
        const std::size_t want = std::size_t(std::min<std::uint64_t>(slot.size(), left_));
        const zip_int64_t got = zip_fread(f_, slot.data(), want);
        if (got != zip_int64_t(want)) {
            std::lock_guard relock(m_);
            failed_ = true;
            break;
        }
        if (encrypted_)
            decryptor_.decrypt(slot.data(), want);
        left_ -= want;
        std::lock_guard relock(m_);
        sizes_[ready_ % kSlots] = want;
        ++ready_;
        cv_.notify_all();
    }
    std::lock_guard lock(m_);
    done_ = true;
    cv_.notify_all();
}

} // namespace kvz
