#pragma once

// Cuts the bytes a workstation sends into its messages. The workstation frames nothing: words
// of varying length, "FRESH" as five lines, texts that run to the end of what was written, and
// the result archive bare. Texts without an end are taken when the stream falls quiet or when
// a word that can follow them begins; the archive ends with its ZIP end record.
//
// Every search stops where the message can end at the latest (a text at kMaxText, an archive
// at kMaxResult, and an archive's end record is searched for only in bytes not searched
// before), and what is taken is consumed by moving an offset; the buffer is compacted once per
// add(). So any stream, however hostile, is cut in time linear in its length.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace kvz::server {

// The views point into the stream's buffer: valid until its next add().
struct ClientMessage {
    enum Kind {
        Host,
        Fresh,
        GiveMeTest,
        Free,
        Send,
        Start,
        Result,
        Garbage,
        TooLong
    } kind = Garbage;
    std::string_view text;                 // Host, GiveMeTest, Send: the text after the word
    std::array<std::string_view, 4> lines; // Fresh: lines 2 to 5
    std::string_view bytes;                // Result: the archive; Garbage/TooLong: what was dropped
};

class ClientStream {
public:
    static constexpr std::size_t kMaxText = 4096;
    static constexpr std::size_t kMaxResult = 16 * 1024 * 1024;

    void add(std::string_view bytes);
    // The next whole message, or nothing while the rest may still be coming. quiet: nothing
    // has arrived for a while, so a text without an end is taken as it stands.
    bool next(ClientMessage& out, bool quiet);
    std::size_t buffered() const { return buffer_.size() - at_; }
    // What the buffer holds in memory, taken or not (for the bound on a workstation's memory).
    std::size_t capacity() const { return buffer_.capacity(); }

    // The end of a ZIP archive at the start of bytes: its length, 0 when it is not complete
    // (an end record whose directory does not fit is not taken for the end). from: where the
    // search for an end record begins, moved on to where the next search has to begin.
    static std::size_t zipLength(std::string_view bytes, std::size_t& from);
    static std::size_t zipLength(std::string_view bytes) {
        std::size_t from = 0;
        return zipLength(bytes, from);
    }

private:
    bool takeText(ClientMessage& out, ClientMessage::Kind kind, std::size_t wordLength, bool quiet);
    void consume(std::size_t n) {
        at_ += n;
        zipFrom_ = 0;
    }
    std::string buffer_;
    std::size_t at_ = 0;      // where the bytes not yet taken begin
    std::size_t zipFrom_ = 0; // how far the pending archive has been searched for its end
};

} // namespace kvz::server
