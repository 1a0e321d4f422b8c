#include "run/Calculator.h"

#include <gtest/gtest.h>

#include <string>

namespace kvz {
namespace {

using Key = Calculator::Key;

// Typed characters as the keyboard gives them, plus letters for the other keys:
// C clear, E clear entry, B backspace, ~ sign, i reciprocal,
// s memory store, r recall, p M+, n M-, c memory clear.
void type(Calculator& calc, const std::string& keys) {
    for (char ch : keys) {
        if (auto k = Calculator::keyForCharacter(ch)) {
            calc.press(*k);
            continue;
        }
        switch (ch) {
        case 'C':
            calc.press(Key::Clear);
            break;
        case 'E':
            calc.press(Key::ClearEntry);
            break;
        case 'B':
            calc.press(Key::Backspace);
            break;
        case '~':
            calc.press(Key::Sign);
            break;
        case 'i':
            calc.press(Key::Reciprocal);
            break;
        case 's':
            calc.press(Key::MemoryStore);
            break;
        case 'r':
            calc.press(Key::MemoryRecall);
            break;
        case 'p':
            calc.press(Key::MemoryAdd);
            break;
        case 'n':
            calc.press(Key::MemorySubtract);
            break;
        case 'c':
            calc.press(Key::MemoryClear);
            break;
        case ' ':
            break;
        default:
            ADD_FAILURE() << "no key for " << ch;
        }
    }
}

TEST(Calculator, KeySequences) {
    struct Case {
        const char* keys;
        const char* display; // "" while an error is shown
    };
    const Case cases[] = {
        {"", "0"},
        {"12+7=", "19"},
        {"2+3*4=", "20"}, // a desk calculator works left to right
        {"10/4=", "2.5"},
        {"7-10=", "-3"},
        {"5+=", "10"},
        {"5+3===", "14"},
        {"5++3=", "8"},
        {"5+-3=", "2"},
        {"0.1+0.2=", "0.3"},
        {",5*2=", "1"},
        {"1.2.3", "1.23"},
        {"007", "7"},
        {"12345678901234567890", "1234567890123456"},
        {"12~", "-12"},
        {"12~3", "-123"},
        {"5+3=~", "-8"},
        {"123B", "12"},
        {"1BB", "0"},
        {"5+3E4=", "9"},
        {"9@", "3"},
        {"2+9@=", "5"},
        {"4i", "0.25"},
        {"200+10%", "20"},
        {"200+10%=", "220"},
        {"200-10%=", "180"},
        {"50*10%=", "5"},
        {"1/0=", ""},
        {"0i", ""},
        {"9~@", ""},
        {"1/0=+=@%s", ""}, // nothing goes on from an error
        {"1/0=C", "0"},
        {"1/0=E", "0"},
        {"1/0=7+1=", "8"},                              // a new number starts afresh
        {"9999999999999999*=====================", ""}, // overflow
        {"7sCr", "7"},
        {"7s2+r=", "9"},
        {"5p3pr", "8"},
        {"5p2nr", "3"},
        {"5scr", "0"},
        {"12s3", "3"}, // a memory key ends the number being typed
    };
    for (const Case& c : cases) {
        Calculator calc;
        type(calc, c.keys);
        EXPECT_EQ(calc.display(), c.display) << c.keys;
        EXPECT_EQ(calc.error(), std::string(c.display).empty()) << c.keys;
    }
}

TEST(Calculator, MemorySignAndClearing) {
    Calculator calc;
    EXPECT_FALSE(calc.hasMemory());
    type(calc, "42s");
    EXPECT_TRUE(calc.hasMemory());
    type(calc, "C1/0=C"); // clearing keeps the memory
    EXPECT_TRUE(calc.hasMemory());
    type(calc, "r+1=");
    EXPECT_EQ(calc.display(), "43");
    type(calc, "c");
    EXPECT_FALSE(calc.hasMemory());
}

TEST(Calculator, TypedCharacters) {
    EXPECT_EQ(Calculator::keyForCharacter('0'), Key::D0);
    EXPECT_EQ(Calculator::keyForCharacter('9'), Key::D9);
    EXPECT_EQ(Calculator::keyForCharacter(','), Key::Point);
    EXPECT_EQ(Calculator::keyForCharacter('@'), Key::Sqrt);
    EXPECT_EQ(Calculator::keyForCharacter('x'), std::nullopt);
    EXPECT_EQ(Calculator::keyForCharacter('\0'), std::nullopt);
}

} // namespace
} // namespace kvz
