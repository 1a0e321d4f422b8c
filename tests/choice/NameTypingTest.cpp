#include "choice/NameTyping.h"
#include "l10n/Cp1251.h"

#include <gtest/gtest.h>

using namespace kvz;

namespace {

// Types keys one by one at the end of the text (refused keys leave it unchanged).
QString typeAll(ExamineeField field, const QString& keys, std::string start = {}) {
    std::string text = std::move(start);
    for (QChar ch : keys) {
        if (auto r = TypeKey(field, text, int(text.size()), 0, ch))
            text = r->text;
    }
    return cp1251::toUnicode(text);
}

std::string cp(const QString& s) {
    return cp1251::fromUnicode(s);
}

} // namespace

TEST(NameTyping, SequencesAtTheEnd) {
    struct Case {
        ExamineeField field;
        const char16_t* keys;
        const char16_t* expected;
    };
    const Case cases[] = {
        // Caps Lock on: every letter arrives as a capital.
        {ExamineeField::Name, u"ИВАНОВ ИВАН-ПЕТРОВ", u"Иванов Иван-Петров"},
        {ExamineeField::Name, u"иванов иван-петров", u"Иванов Иван-Петров"},
        {ExamineeField::Name, u" иванов", u"Иванов"},
        {ExamineeField::Name, u"иванов  иван", u"Иванов Иван"},
        {ExamineeField::Name, u"иван--петров", u"Иван-Петров"},
        {ExamineeField::Name, u"smith john", u"Smith John"},
        // Begun with something other than a capital: all capitals from there on.
        {ExamineeField::Name, u"1иван", u"1ИВАН"},
        {ExamineeField::Name, u"ив\u4e2dан", u"Иван"}, // outside the code page: refused
        {ExamineeField::Name, u"ив\tан", u"Иван"},
        {ExamineeField::Class, u"9а", u"9А"},
        {ExamineeField::Class, u" 10б", u"10Б"},
        {ExamineeField::Class, u"11  а", u"11 А"},
        {ExamineeField::Class, u"9--а", u"9--А"}, // hyphens are not limited in the class
    };
    for (const Case& c : cases)
        EXPECT_EQ(typeAll(c.field, QString::fromUtf16(c.keys)), QString::fromUtf16(c.expected))
            << QString::fromUtf16(c.keys).toStdString();
}

TEST(NameTyping, CaretInTheMiddle) {
    // "Иванов" with the caret after "Ив": a blank there is accepted while the text does not end
    // in a blank, and the letter after it starts a word.
    const std::string name = cp(QStringLiteral("Иванов"));
    auto r = TypeKey(ExamineeField::Name, name, 2, 0, QLatin1Char(' '));
    ASSERT_TRUE(r);
    EXPECT_EQ(cp1251::toUnicode(r->text), QStringLiteral("Ив анов"));
    EXPECT_EQ(r->caret, 3);
    r = TypeKey(ExamineeField::Name, r->text, 3, 0, QChar(u'а'));
    ASSERT_TRUE(r);
    EXPECT_EQ(cp1251::toUnicode(r->text), QStringLiteral("Ив Аанов"));

    // Ending with a blank: a blank anywhere is refused; a hyphen before a trailing hyphen too.
    EXPECT_FALSE(TypeKey(ExamineeField::Name, cp(QStringLiteral("Ив ")), 1, 0, QLatin1Char(' ')));
    EXPECT_FALSE(TypeKey(ExamineeField::Name, cp(QStringLiteral("Ив-")), 1, 0, QLatin1Char('-')));
    // Caret at the start: a blank is refused, a letter is a capital.
    EXPECT_FALSE(TypeKey(ExamineeField::Name, name, 0, 0, QLatin1Char(' ')));
    r = TypeKey(ExamineeField::Name, cp(QStringLiteral("ванов")), 0, 0, QChar(u'и'));
    ASSERT_TRUE(r);
    EXPECT_EQ(cp1251::toUnicode(r->text), QStringLiteral("Иванов"));
    EXPECT_EQ(r->caret, 1);
}

TEST(NameTyping, SelectionIsReplacedAndLengthIsCapped) {
    auto r = TypeKey(ExamineeField::Class, "9A", 0, 2, QChar(u'б'));
    ASSERT_TRUE(r);
    EXPECT_EQ(cp1251::toUnicode(r->text), QStringLiteral("Б"));

    const std::string full(kClassMaxLength, '1');
    EXPECT_FALSE(TypeKey(ExamineeField::Class, full, kClassMaxLength, 0, QLatin1Char('1')));
    EXPECT_TRUE(TypeKey(ExamineeField::Class, full, 0, 1, QLatin1Char('2')));
    const std::string name = "A" + std::string(kNameMaxLength - 1, 'b');
    EXPECT_FALSE(TypeKey(ExamineeField::Name, name, kNameMaxLength, 0, QLatin1Char('b')));
    // A caret beyond the text is taken as its end.
    r = TypeKey(ExamineeField::Class, "9", 57, 9, QLatin1Char('a'));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->text, "9A");
    EXPECT_EQ(r->caret, 2);
}
