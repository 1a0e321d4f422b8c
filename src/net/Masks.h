#pragma once

// Test name patterns of profile runs. Two kinds, as the two roads use them:
//  - the compiled star mask of the network choice ("*" any run, "?" one character), which
//    cannot be invalid;
//  - the file pattern of the local choice, which adds sets ("[abc]", ranges "[a-z]", a leading
//    "!" negates) and ignores letter case. A set that is never closed makes it invalid.
// Names and patterns are Windows-1251 bytes.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvz {

struct TELMaskInfo {
    bool startsWithStar = false;
    bool endsWithStar = false;
    std::vector<std::string> pieces; // runs between stars, empty runs not kept
    std::vector<int> pieceLengths;
    int pieceCount = 0;
    bool starsOnly = false; // the mask was one or more stars and nothing else
};

TELMaskInfo CompileMask(std::string_view text);
// Case is the caller's business: give both sides in lower case.
bool MatchMask(std::string_view name, const TELMaskInfo& mask);

// The local run's pattern with sets. Letter case is ignored (the code page's own case mapping).
class FilePattern {
public:
    // An invalid pattern gives nothing and, when error is given, the text
    // "'<pattern>' is an invalid mask at (<position>)", the position being 1-based: the "[" of
    // a set that is never closed.
    static std::optional<FilePattern> compile(std::string_view pattern,
                                              std::string* error = nullptr);
    bool matches(std::string_view name) const;

private:
    struct Element {
        enum Kind { Literal, AnyOne, AnyRun, Set } kind = Literal;
        unsigned char ch = 0;
        bool negated = false;
        std::vector<bool> members; // 256 entries for a set
    };
    std::vector<Element> elements_;
};

// The text of an invalid pattern, for any caller that reports one itself.
std::string invalidMaskText(std::string_view pattern, int position);

} // namespace kvz
