#include "net/Masks.h"

#include "l10n/Cp1251.h"

#include <cstddef>

namespace kvz {

TELMaskInfo CompileMask(std::string_view text) {
    TELMaskInfo mask;
    if (text.empty())
        return mask;
    mask.startsWithStar = text.front() == '*';
    mask.endsWithStar = text.back() == '*';
    std::string piece;
    for (char c : text) {
        if (c == '*') {
            if (!piece.empty())
                mask.pieces.push_back(std::move(piece));
            piece.clear();
        } else {
            piece.push_back(c);
        }
    }
    if (!piece.empty())
        mask.pieces.push_back(std::move(piece));
    for (const std::string& p : mask.pieces)
        mask.pieceLengths.push_back(static_cast<int>(p.size()));
    mask.pieceCount = static_cast<int>(mask.pieces.size());
    mask.starsOnly = mask.pieceCount == 0;
    return mask;
}

namespace {

// Whether piece matches name at pos ("?" is any one character that exists).
bool pieceAt(std::string_view name, std::size_t pos, std::string_view piece) {
    if (pos > name.size() || name.size() - pos < piece.size())
        return false;
    for (std::size_t i = 0; i < piece.size(); ++i)
        if (piece[i] != '?' && piece[i] != name[pos + i])
            return false;
    return true;
}

} // namespace

bool MatchMask(std::string_view name, const TELMaskInfo& mask) {
    if (mask.pieceCount == 0)
        return mask.starsOnly ? true : name.empty();
    std::size_t pos = 0; // end of the previous match
    for (int i = 0; i < mask.pieceCount; ++i) {
        const std::string& piece = mask.pieces[static_cast<std::size_t>(i)];
        const bool first = i == 0;
        const bool last = i == mask.pieceCount - 1;
        if (last && !mask.endsWithStar) {
            // Anchored at the end: the only place it can stand.
            if (name.size() < piece.size())
                return false;
            const std::size_t at = name.size() - piece.size();
            if (at < pos || (first && !mask.startsWithStar && at != 0))
                return false;
            return pieceAt(name, at, piece);
        }
        if (first && !mask.startsWithStar) {
            if (!pieceAt(name, 0, piece))
                return false;
            pos = piece.size();
            continue;
        }
        // Leftmost occurrence after the previous match leaves the most room for the rest.
        bool found = false;
        for (std::size_t at = pos; at + piece.size() <= name.size(); ++at) {
            if (pieceAt(name, at, piece)) {
                pos = at + piece.size();
                found = true;
                break;
            }
        }
        if (!found)
            return false;
    }
    return true; // the last piece was followed by a star
}

std::string invalidMaskText(std::string_view pattern, int position) {
    return "'" + std::string(pattern) + "' is an invalid mask at (" + std::to_string(position) +
           ")";
}

std::optional<FilePattern> FilePattern::compile(std::string_view pattern, std::string* error) {
    FilePattern result;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const auto c = static_cast<unsigned char>(pattern[i]);
        Element e;
        if (c == '*') {
            if (!result.elements_.empty() && result.elements_.back().kind == Element::AnyRun)
                continue;
            e.kind = Element::AnyRun;
        } else if (c == '?') {
            e.kind = Element::AnyOne;
        } else if (c == '[') {
            const std::size_t open = i;
            std::size_t j = i + 1;
            e.kind = Element::Set;
            e.members.assign(256, false);
            if (j < pattern.size() && pattern[j] == '!') {
                e.negated = true;
                ++j;
            }
            bool closed = false;
            while (j < pattern.size()) {
                const auto from = static_cast<unsigned char>(pattern[j]);
                if (from == ']') {
                    closed = true;
                    break;
                }
                if (j + 2 < pattern.size() && pattern[j + 1] == '-' && pattern[j + 2] != ']') {
                    const auto to = static_cast<unsigned char>(pattern[j + 2]);
                    for (unsigned v = cp1251::ansiLower(from); v <= cp1251::ansiLower(to); ++v)
                        e.members[v] = true;
                    // A range given in capitals covers the same letters as in small ones.
                    for (unsigned v = from; v <= to; ++v)
                        e.members[cp1251::ansiLower(static_cast<unsigned char>(v))] = true;
                    j += 3;
                } else {
                    e.members[cp1251::ansiLower(from)] = true;
                    ++j;
                }
            }
            if (!closed) {
                if (error)
                    *error = invalidMaskText(pattern, static_cast<int>(open) + 1);
                return std::nullopt;
            }
            i = j;
        } else {
            e.kind = Element::Literal;
            e.ch = cp1251::ansiLower(c);
        }
        result.elements_.push_back(std::move(e));
    }
    return result;
}

bool FilePattern::matches(std::string_view name) const {
    // Iterative wildcard matching with one backtrack point for the last star: linear in
    // practice and never recursive, whatever the pattern.
    const std::string lower = cp1251::ansiLower(name);
    std::size_t n = 0, p = 0;
    std::size_t starP = std::string::npos, starN = 0;
    auto one = [&](const Element& e, unsigned char c) {
        switch (e.kind) {
        case Element::Literal:
            return e.ch == c;
        case Element::AnyOne:
            return true;
        case Element::Set:
            return e.members[c] != e.negated;
        case Element::AnyRun:
            break;
        }
        return false;
    };
    while (n < lower.size()) {
        if (p < elements_.size() && elements_[p].kind == Element::AnyRun) {
            starP = p++;
            starN = n;
        } else if (p < elements_.size() &&
                   one(elements_[p], static_cast<unsigned char>(lower[n]))) {
            ++p;
            ++n;
        } else if (starP != std::string::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < elements_.size() && elements_[p].kind == Element::AnyRun)
        ++p;
    return p == elements_.size();
}

} // namespace kvz
