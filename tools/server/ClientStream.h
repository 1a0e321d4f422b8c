#pragma once

// Cuts the bytes a workstation sends into its messages. The workstation frames nothing: words
// of varying length, "FRESH" as five lines, texts that run to the end of what was written, and
// the result archive bare. Texts without an end are taken when the stream falls quiet or when
// a word that can follow them begins; the archive ends with its ZIP end record.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kvz::server {

struct ClientMessage {
    enum Kind { Host, Fresh, GiveMeTest, Free, Send, Start, Result, Garbage, TooLong } kind;
    std::string text;               // Host, GiveMeTest, Send: the text after the word
    std::vector<std::string> lines; // Fresh: lines 2 to 5
    std::string bytes;              // Result: the archive; Garbage/TooLong: what was dropped
};

class ClientStream {
public:
    static constexpr std::size_t kMaxText = 4096;
    static constexpr std::size_t kMaxResult = 16 * 1024 * 1024;

    void add(std::string_view bytes) { buffer_.append(bytes); }
    // The next whole message, or nothing while the rest may still be coming. quiet: nothing
    // has arrived for a while, so a text without an end is taken as it stands.
    bool next(ClientMessage& out, bool quiet);
    std::size_t buffered() const { return buffer_.size(); }

    // The end of a ZIP archive at the start of bytes: its length, 0 when it is not complete
    // (an end record whose directory does not fit is not taken for the end).
    static std::size_t zipLength(std::string_view bytes);

private:
    bool takeText(ClientMessage& out, ClientMessage::Kind kind, std::size_t wordLength, bool quiet);
    std::string buffer_;
};

} // namespace kvz::server
