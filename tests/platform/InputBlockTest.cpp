#include "platform/InputBlock.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace kvz {
namespace {

TEST(InputBlock, SwallowsKeysAndClicksWhileInForceAndNests) {
    QWidget window;
    auto* edit = new QLineEdit(&window);
    auto* button = new QPushButton(QStringLiteral("b"), &window);
    button->move(0, 40);
    int clicks = 0;
    QObject::connect(button, &QPushButton::clicked, [&] { ++clicks; });
    window.show();
    edit->setFocus();

    {
        InputBlock outer;
        {
            InputBlock inner;
            EXPECT_TRUE(InputBlock::active());
        }
        EXPECT_TRUE(InputBlock::active()) << "the outer block still holds";
        QTest::keyClicks(edit, QStringLiteral("abc"));
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_EQ(edit->text(), QString());
        EXPECT_EQ(clicks, 0);
    }
    EXPECT_FALSE(InputBlock::active());
    QTest::keyClicks(edit, QStringLiteral("abc"));
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(edit->text(), QStringLiteral("abc"));
    EXPECT_EQ(clicks, 1);

    // Where the pointer cannot be moved nothing is blocked.
    InputBlock off(false);
    EXPECT_FALSE(InputBlock::active());
    QTest::keyClicks(edit, QStringLiteral("d"));
    EXPECT_EQ(edit->text(), QStringLiteral("abcd"));
}

} // namespace
} // namespace kvz
