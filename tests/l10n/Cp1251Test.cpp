#include "l10n/Cp1251.h"

#include <gtest/gtest.h>

namespace kvz {
namespace {

TEST(Cp1251, EveryByteRoundTrips) {
    std::string all;
    for (int b = 1; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    EXPECT_EQ(cp1251::fromUnicode(cp1251::toUnicode(all)), all);
}

TEST(Cp1251, KnownLetters) {
    EXPECT_EQ(cp1251::toUnicode("\xCA\xE2\xE8\xE7\xEE\xF0"), QStringLiteral("Квизор"));
    EXPECT_EQ(cp1251::fromUnicode(QStringLiteral("Ёё№")), "\xA8\xB8\xB9");
    EXPECT_EQ(cp1251::fromUnicode(QStringLiteral("a€b")), "a\x88"
                                                          "b");
}

TEST(Cp1251, CharactersOutsideThePageBecomeQuestionMarks) {
    EXPECT_EQ(cp1251::fromUnicode(QStringLiteral("Ωx中")), "?x?");
    EXPECT_FALSE(cp1251::encodable(QChar(0x4E2D)));
    EXPECT_TRUE(cp1251::encodable(QChar(0x0451)));
}

TEST(Cp1251, AnsiCaseMapping) {
    struct Case {
        QString lower, upper;
    };
    const Case cases[] = {
        {QStringLiteral("абвгдеёжзийклмнопрстуфхцчшщъыьэюя"),
         QStringLiteral("АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ")},
        {QStringLiteral("abcxyz"), QStringLiteral("ABCXYZ")},
        {QStringLiteral("ђѓєѕіїјљњћќўџґ"), QStringLiteral("ЂЃЄЅІЇЈЉЊЋЌЎЏҐ")},
        {QStringLiteral("9 -_"), QStringLiteral("9 -_")},
    };
    for (const Case& c : cases) {
        const std::string lo = cp1251::fromUnicode(c.lower);
        const std::string up = cp1251::fromUnicode(c.upper);
        EXPECT_EQ(cp1251::ansiUpper(lo), up) << c.lower.toStdString();
        EXPECT_EQ(cp1251::ansiLower(up), lo) << c.upper.toStdString();
    }
}

} // namespace
} // namespace kvz
