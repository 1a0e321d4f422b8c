#include "ClientStream.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace kvz::server {

namespace {

constexpr std::string_view kZipLocal("PK\x03\x04", 4);
constexpr std::string_view kZipEnd("PK\x05\x06", 4);

// Words that can begin a message, and where a text without an end is cut when one follows it.
constexpr std::array<std::string_view, 7> kWords = {"FRESH\r\n", "GIVEMETEST", "FREE",   "START",
                                                    "HOST",      "SEND",       kZipLocal};
constexpr std::array<std::string_view, 3> kTextFollowers = {"FRESH\r\n", "GIVEMETEST", kZipLocal};
constexpr std::size_t kShrinkAbove = 256 * 1024;

std::uint32_t le32(std::string_view b, std::size_t at) {
    return std::uint32_t(std::uint8_t(b[at])) | std::uint32_t(std::uint8_t(b[at + 1])) << 8 |
           std::uint32_t(std::uint8_t(b[at + 2])) << 16 |
           std::uint32_t(std::uint8_t(b[at + 3])) << 24;
}
std::uint16_t le16(std::string_view b, std::size_t at) {
    return std::uint16_t(std::uint8_t(b[at]) | std::uint8_t(b[at + 1]) << 8);
}

// A word begins at b's start, or b is the beginning of one cut off by the end of what arrived.
// Called at every byte of garbage, so it looks at the first byte before anything else.
bool wordAt(std::string_view b) {
    auto starts = [&](std::string_view w) {
        const std::size_t n = std::min(w.size(), b.size());
        return std::memcmp(b.data(), w.data(), n) == 0;
    };
    switch (b[0]) {
    case 'F':
        return starts("FRESH\r\n") || starts("FREE");
    case 'G':
        return starts("GIVEMETEST");
    case 'S':
        return starts("START") || starts("SEND");
    case 'H':
        return starts("HOST");
    case 'P':
        return starts(kZipLocal);
    default:
        return false;
    }
}

bool isPrefixOfWord(std::string_view b) {
    return std::any_of(kWords.begin(), kWords.end(), [&](std::string_view w) {
        return b.size() < w.size() && w.substr(0, b.size()) == b;
    });
}

// The end of the last ".tst" (any case) in b, 0 when there is none.
std::size_t endOfLastTst(std::string_view b) {
    for (std::size_t at = b.size(); at >= 4; --at) {
        const std::string_view t = b.substr(at - 4, 4);
        if (t[0] == '.' && (t[1] | 0x20) == 't' && (t[2] | 0x20) == 's' && (t[3] | 0x20) == 't')
            return at;
    }
    return 0;
}

} // namespace

void ClientStream::add(std::string_view bytes) {
    if (at_ > 0) {
        buffer_.erase(0, at_);
        at_ = 0;
        if (buffer_.capacity() > kShrinkAbove && buffer_.size() * 4 < buffer_.capacity())
            buffer_.shrink_to_fit(); // a big archive has gone: give its memory back
    }
    buffer_.append(bytes);
}

std::size_t ClientStream::zipLength(std::string_view bytes, std::size_t& from) {
    for (std::size_t at = bytes.find(kZipEnd, from); at != std::string_view::npos;
         at = bytes.find(kZipEnd, at + 1)) {
        if (bytes.size() < at + 22) {
            from = at;
            return 0;
        }
        const std::uint32_t directorySize = le32(bytes, at + 12);
        const std::uint32_t directoryOffset = le32(bytes, at + 16);
        const std::uint16_t commentLength = le16(bytes, at + 20);
        if (std::uint64_t(directoryOffset) + directorySize != at)
            continue; // the signature inside compressed data, not the end record
        if (bytes.size() < at + 22 + commentLength) {
            from = at;
            return 0;
        }
        return at + 22 + commentLength;
    }
    // A signature may be cut by the end of what has arrived.
    from = std::max(from, bytes.size() >= kZipEnd.size() ? bytes.size() - kZipEnd.size() + 1 : 0);
    return 0;
}

bool ClientStream::takeText(ClientMessage& out, ClientMessage::Kind kind, std::size_t wordLength,
                            bool quiet) {
    const std::string_view all = std::string_view(buffer_).substr(at_);
    // The text can run to kMaxText bytes at most: nothing beyond is searched.
    const std::string_view region = all.substr(0, wordLength + kMaxText);
    std::size_t end = std::string_view::npos;
    for (std::string_view follower : kTextFollowers)
        end = std::min(end, region.find(follower, wordLength));
    const bool full = region.size() == wordLength + kMaxText;
    std::size_t textEnd = end;
    if (kind == ClientMessage::GiveMeTest) {
        // A request names a test file: it ends with the last ".tst" of its text. Bytes after
        // that are read again as words.
        const std::size_t stop = end == std::string_view::npos ? region.size() : end;
        const std::size_t tst = endOfLastTst(region.substr(0, stop));
        if (end == std::string_view::npos && tst != 0 && tst == all.size())
            textEnd = tst; // what arrived ends with the name
        else if (end != std::string_view::npos || quiet || full)
            textEnd = tst >= wordLength + 4 ? tst : stop;
    }
    if (textEnd == std::string_view::npos) {
        if (!quiet && !full)
            return false;
        textEnd = region.size();
    }
    out.kind = kind;
    out.text = all.substr(wordLength, textEnd - wordLength);
    consume(textEnd);
    return true;
}

bool ClientStream::next(ClientMessage& out, bool quiet) {
    out.kind = ClientMessage::Garbage;
    out.text = {};
    out.bytes = {};
    if (at_ == buffer_.size())
        return false;
    const std::string_view b = std::string_view(buffer_).substr(at_);
    if (b.starts_with(kZipLocal)) {
        const std::size_t length = zipLength(b, zipFrom_);
        if (length == 0) {
            if (b.size() <= kMaxResult)
                return false;
            out.kind = ClientMessage::TooLong;
            out.bytes = b;
            consume(b.size());
            return true;
        }
        out.kind = ClientMessage::Result;
        out.bytes = b.substr(0, length);
        consume(length);
        return true;
    }
    if (b.starts_with("FRESH")) {
        const std::string_view region = b.substr(0, kMaxText);
        std::size_t at = 0;
        for (int i = 0; i < 5; ++i) {
            const std::size_t crlf = region.find("\r\n", at);
            if (crlf == std::string_view::npos) {
                if (b.size() <= kMaxText)
                    return false;
                out.kind = ClientMessage::TooLong;
                out.bytes = region;
                consume(region.size());
                return true;
            }
            if (i > 0)
                out.lines[std::size_t(i - 1)] = region.substr(at, crlf - at);
            at = crlf + 2;
        }
        out.kind = ClientMessage::Fresh;
        consume(at);
        return true;
    }
    if (b.starts_with("FREE")) {
        out.kind = ClientMessage::Free;
        consume(4);
        return true;
    }
    if (b.starts_with("START")) {
        out.kind = ClientMessage::Start;
        consume(5);
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
    // Nothing we know: drop up to where a known word begins (or may begin, cut off by the end
    // of what arrived).
    std::size_t skip = 1;
    while (skip < b.size() && !wordAt(b.substr(skip)))
        ++skip;
    out.kind = ClientMessage::Garbage;
    out.bytes = b.substr(0, skip);
    consume(skip);
    return true;
}

} // namespace kvz::server
