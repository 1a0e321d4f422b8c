#include <QGuiApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Logic that paints text needs fonts, and fonts need a GUI application; no widgets here.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
