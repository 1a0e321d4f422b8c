#include "choice/ExamineeCheck.h"
#include "l10n/Cp1251.h"

#include <gtest/gtest.h>

using namespace kvz;

namespace {

std::string cp(const char16_t* s) {
    return cp1251::fromUnicode(QString::fromUtf16(s));
}

std::string msg(int n) {
    switch (n) {
    case 19:
        return cp(u"Ваше фамилия, имя и отчество:");
    case 20:
        return cp(u",\r\nа группа:");
    case 21:
        return cp(u",\r\nа класс:");
    default:
        return "msg" + std::to_string(n);
    }
}

} // namespace

TEST(ConfirmExaminee, Outcomes) {
    using Step = ExamineeOutcome::Step;
    struct Case {
        const char16_t* name;
        const char16_t* klass;
        Step step;
        int message;
        ExamineeField focus;
    };
    const Case cases[] = {
        {u"", u"9А", Step::Refused, 60, ExamineeField::Name},
        {u"Иванов", u"", Step::Refused, 60, ExamineeField::Class},
        {u"", u"", Step::Refused, 60, ExamineeField::Class},
        {u"Петров Пётррр", u"9А", Step::Refused, 58, ExamineeField::Name},
        {u"Иванов ёё", u"9А", Step::Refused, 58, ExamineeField::Name},
        {u"Иваннн", u"9А", Step::Refused, 58, ExamineeField::Name},
        {u"Ааа", u"9А", Step::Confirm, -1, ExamineeField::Name}, // a capital, then "аа"
        {u"Ёёжиков", u"9А", Step::Confirm, -1, ExamineeField::Name},
        {u"Иванов", u"9А", Step::Confirm, -1, ExamineeField::Name},
    };
    for (const Case& c : cases) {
        const ExamineeOutcome out = ConfirmExaminee(cp(c.name), cp(c.klass), true, false, msg);
        const std::string what = QString::fromUtf16(c.name).toStdString();
        EXPECT_EQ(out.step, c.step) << what;
        EXPECT_EQ(out.message, c.message) << what;
        if (c.step == Step::Refused) {
            EXPECT_EQ(out.focus, c.focus) << what;
        }
    }
}

TEST(ConfirmExaminee, TrailingBlankDroppedAndQuestionBuilt) {
    ExamineeOutcome out = ConfirmExaminee(cp(u"Иванов "), cp(u"9А "), true, false, msg);
    ASSERT_EQ(out.step, ExamineeOutcome::Step::Confirm);
    EXPECT_EQ(out.name, cp(u"Иванов"));
    EXPECT_EQ(out.klass, cp(u"9А"));
    EXPECT_EQ(out.question, cp(u"Ваше фамилия, имя и отчество:\r\nИванов,\r\nа класс: 9А?"));

    out = ConfirmExaminee(cp(u"Иванов"), cp(u"ИС-21"), true, true, msg);
    EXPECT_EQ(out.question, cp(u"Ваше фамилия, имя и отчество:\r\nИванов,\r\nа группа: ИС-21?"));

    // Driven by a profile: no question.
    out = ConfirmExaminee(cp(u"Иванов "), "9", false, false, msg);
    EXPECT_EQ(out.step, ExamineeOutcome::Step::GoOn);
    EXPECT_EQ(out.name, cp(u"Иванов"));
    EXPECT_TRUE(out.question.empty());
}
