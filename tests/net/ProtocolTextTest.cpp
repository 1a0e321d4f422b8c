#include "net/ProtocolText.h"
#include "net/Masks.h"

#include <gtest/gtest.h>

namespace kvz {
namespace {

TEST(ProtocolText, UnscramblePassword) {
    // r(1..4) = 13, 14, 2, -11.
    EXPECT_EQ(UnscramblePassword(std::string("\0\0\0\x0b", 4)), std::string("\x0d\x0e\x02\x00", 4));
    EXPECT_EQ(UnscramblePassword(""), "");
    std::string all;
    for (int i = 0; i < 256; ++i)
        all.push_back(static_cast<char>(i));
    EXPECT_EQ(UnscramblePassword(ScramblePassword(all)), all);
    EXPECT_EQ(ScramblePassword("A"), "4"); // 'A' - 13
}

TEST(ProtocolText, SplitOfferItem) {
    struct Case {
        std::string item, name, testClass, subject;
    };
    const std::vector<Case> cases = {
        {"Optics <10, Physics>", "Optics", "10", "Physics"},
        {"Two words <11 A, Russian language>", "Two words", "11 A", "Russian language"},
        {"<5, Math>", "", "5", "Math"},
        {"NoBrackets", "", "NoBracket", ""},
        {"", "", "", ""},
    };
    for (const Case& c : cases) {
        const OfferItem item = SplitOfferItem(c.item);
        EXPECT_EQ(item.name, c.name) << c.item;
        EXPECT_EQ(item.testClass, c.testClass) << c.item;
        EXPECT_EQ(item.subject, c.subject) << c.item;
    }
}

TEST(ProtocolText, LooksLikeIPv4) {
    EXPECT_TRUE(LooksLikeIPv4("192.168.0.1"));
    EXPECT_TRUE(LooksLikeIPv4("..."));
    EXPECT_FALSE(LooksLikeIPv4("192.168.0"));
    EXPECT_FALSE(LooksLikeIPv4("10.0.0.1a"));
    EXPECT_FALSE(LooksLikeIPv4("server.school.local"));
    EXPECT_FALSE(LooksLikeIPv4("1.2.3.4.5"));
}

TEST(ProtocolText, LinesAndNumbers) {
    bool terminated = false;
    EXPECT_EQ(splitLines("a\r\nb\nc\rd", &terminated),
              (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_FALSE(terminated);
    EXPECT_EQ(splitLines("\r\n\r\nx\r\n", &terminated), (std::vector<std::string>{"", "", "x"}));
    EXPECT_TRUE(terminated);
    EXPECT_EQ(parseInt32("-1"), -1);
    EXPECT_EQ(parseInt32(" 42"), 42);
    EXPECT_EQ(parseInt32("-2147483648"), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(parseInt32("2147483648"), std::nullopt);
    EXPECT_EQ(parseInt32("12 "), std::nullopt);
    EXPECT_EQ(parseInt32(""), std::nullopt);
    EXPECT_EQ(parseReal("45000.5"), 45000.5);
    EXPECT_EQ(parseReal("45000"), 45000.0);
    EXPECT_EQ(parseReal("45000,5"), std::nullopt);
    EXPECT_EQ(parseReal("nan"), std::nullopt);
}

TEST(Masks, StarMask) {
    struct Case {
        std::string mask, name;
        bool match;
    };
    const std::vector<Case> cases = {
        {"*", "", true},
        {"***", "anything", true},
        {"", "", true},
        {"", "a", false},
        {"phys?", "physx", true},
        {"phys?", "phys", false},
        {"phys?", "physxy", false},
        {"a*b", "ab", true},
        {"a*b", "axxb", true},
        {"a*b", "axx", false},
        {"a*b", "abab", true},
        {"ab", "aXb", false},
        {"ab", "abab", false},
        {"*a", "aba", true},
        {"*a", "ab", false},
        {"a*", "ab", true},
        {"a**b*c", "abxc", true},
        {"*b*c*", "xbyc", true},
        {"*b*c*", "xcyb", false},
        {"a*?b", "ab", false},
        {"a*?b", "axb", true},
        {"te*t*", "test", true},
        {"?*", "", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MatchMask(c.name, CompileMask(c.mask)), c.match)
            << "mask " << c.mask << " name " << c.name;

    const TELMaskInfo info = CompileMask("**ab***c?*");
    EXPECT_TRUE(info.startsWithStar);
    EXPECT_TRUE(info.endsWithStar);
    EXPECT_EQ(info.pieces, (std::vector<std::string>{"ab", "c?"}));
    EXPECT_EQ(info.pieceLengths, (std::vector<int>{2, 2}));
    EXPECT_EQ(info.pieceCount, 2);
}

TEST(Masks, FilePattern) {
    struct Case {
        std::string pattern, name;
        bool match;
    };
    const std::vector<Case> cases = {
        {"*.tst", "Optics.TST", true},
        {"[a-c]*.tst", "Biology.tst", true},
        {"[a-c]*.tst", "delta.tst", false},
        {"[!a-c]*.tst", "delta.tst", true},
        {"[!a-c]*.tst", "alpha.tst", false},
        {"t?st.tst", "test.tst", true},
        {"t?st.tst", "tst.tst", false},
        {"[xyz]", "Y", true},
        {"\xc0*", "\xe0\xe1", true}, // Cyrillic А* against а..
        {"[\xc0-\xdf]*", "\xe6", true},
        {".tst", "a.tst", false},
        {"*a*a*a*a*a*a*b", std::string(200, 'a'), false},
    };
    for (const Case& c : cases) {
        const auto pattern = FilePattern::compile(c.pattern);
        ASSERT_TRUE(pattern) << c.pattern;
        EXPECT_EQ(pattern->matches(c.name), c.match) << c.pattern << " / " << c.name;
    }
    std::string error;
    EXPECT_FALSE(FilePattern::compile("ab[cd*", &error));
    EXPECT_EQ(error, "'ab[cd*' is an invalid mask at (3)");
}

} // namespace
} // namespace kvz
