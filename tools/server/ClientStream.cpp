#include "ClientStream.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace kvz::server {

namespace {

constexpr std::string_view kZipLocal("PK\x03\x04", 4);
constexpr std::string_view kZipEnd("PK\x05\x06", 4);

// Words that can begin a message, and where a text without an end is cut when one follows it.
constexpr std::array<std::string_view, 7> kWords = {"FRESH\r\n", "GIVEMETEST", "FREE",   "START",
                                                    "HOST",      "SEND",       kZipLocal};
constexpr std::array<std::string_view, 3> kTextFollowers = {"FRESH\r\n", "GIVEMETEST", kZipLocal};

std::uint32_t le32(std::string_view b, std::size_t at) {
    return std::uint32_t(std::uint8_t(b[at])) | std::uint32_t(std::uint8_t(b[at + 1])) << 8 |
           std::uint32_t(std::uint8_t(b[at + 2])) << 16 |
           std::uint32_t(std::uint8_t(b[at + 3])) << 24;
}
std::uint16_t le16(std::string_view b, std::size_t at) {
    return std::uint16_t(std::uint8_t(b[at]) | std::uint8_t(b[at + 1]) << 8);
}

bool isPrefixOfWord(std::string_view b) {
    return std::any_of(kWords.begin(), kWords.end(), [&](std::string_view w) {
        return b.size() < w.size() && w.substr(0, b.size()) == b;
    });
}

} // namespace

std::size_t ClientStream::zipLength(std::string_view bytes) {
    for (std::size_t at = bytes.find(kZipEnd); at != std::string_view::npos;
         at = bytes.find(kZipEnd, at + 1)) {
        if (bytes.size() < at + 22)
            return 0;
        const std::uint32_t directorySize = le32(bytes, at + 12);
        const std::uint32_t directoryOffset = le32(bytes, at + 16);
        const std::uint16_t commentLength = le16(bytes, at + 20);
        if (std::uint64_t(directoryOffset) + directorySize != at)
            continue; // the signature inside compressed data, not the end record
        if (bytes.size() < at + 22 + commentLength)
            return 0;
        return at + 22 + commentLength;
    }
    return 0;
}

bool ClientStream::takeText(ClientMessage& out, ClientMessage::Kind kind, std::size_t wordLength,
                            bool quiet) {
    std::size_t end = std::string::npos;
    for (std::string_view follower : kTextFollowers)
        end = std::min(end, buffer_.find(follower, wordLength));
    if (kind == ClientMessage::GiveMeTest) {
        // A request names a test file: it ends with its extension.
        for (std::size_t at = wordLength; at + 4 <= buffer_.size(); ++at) {
            std::string ext = buffer_.substr(at, 4);
            std::transform(ext.begin(), ext.end(), ext.begin(),
                           [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; });
            if (ext == ".tst") {
                end = std::min(end, at + 4);
                break;
            }
        }
    }
    if (end == std::string::npos) {
        if (!quiet && buffer_.size() <= kMaxText)
            return false;
        end = std::min(buffer_.size(), kMaxText);
    }
    out.kind = kind;
    out.text = buffer_.substr(wordLength, end - wordLength);
    buffer_.erase(0, end);
    return true;
}

bool ClientStream::next(ClientMessage& out, bool quiet) {
    out = {};
    if (buffer_.empty())
        return false;
    const std::string_view b(buffer_);
    if (b.starts_with(kZipLocal)) {
        const std::size_t length = zipLength(b);
        if (length == 0) {
            if (buffer_.size() <= kMaxResult)
                return false;
            out.kind = ClientMessage::TooLong;
            out.bytes = std::move(buffer_);
            buffer_.clear();
            return true;
        }
        out.kind = ClientMessage::Result;
        out.bytes = buffer_.substr(0, length);
        buffer_.erase(0, length);
        return true;
    }
    if (b.starts_with("FRESH")) {
        std::vector<std::string> lines;
        std::size_t at = 0;
        for (int i = 0; i < 5; ++i) {
            const std::size_t crlf = b.find("\r\n", at);
            if (crlf == std::string_view::npos) {
                if (buffer_.size() <= kMaxText)
                    return false;
                out.kind = ClientMessage::TooLong;
                out.bytes = std::move(buffer_);
                buffer_.clear();
                return true;
            }
            lines.emplace_back(b.substr(at, crlf - at));
            at = crlf + 2;
        }
        out.kind = ClientMessage::Fresh;
        out.lines.assign(lines.begin() + 1, lines.end());
        buffer_.erase(0, at);
        return true;
    }
    if (b.starts_with("FREE")) {
        out.kind = ClientMessage::Free;
        buffer_.erase(0, 4);
        return true;
    }
    if (b.starts_with("START")) {
        out.kind = ClientMessage::Start;
        buffer_.erase(0, 5);
        return true;
    }
    if (b.starts_with("GIVEMETEST"))
        return takeText(out, ClientMessage::GiveMeTest, 10, quiet);
    if (b.starts_with("HOST"))
        return takeText(out, ClientMessage::Host, 4, quiet);
    if (b.starts_with("SEND"))
        return takeText(out, ClientMessage::Send, 4, quiet);
    if (isPrefixOfWord(b) && !quiet)
        return false;
    // Nothing we know: drop up to where a known word begins.
    std::size_t skip = b.size();
    for (std::string_view w : kWords)
        skip = std::min(skip, b.find(w, 1));
    out.kind = ClientMessage::Garbage;
    out.bytes = buffer_.substr(0, skip);
    buffer_.erase(0, skip);
    return true;
}

} // namespace kvz::server
