#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Some logic uses Qt Core facilities (files, images) that want an application object.
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
