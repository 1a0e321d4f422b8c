#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

namespace {

// Runs leave journals in the state folder, and a journal found at start brings its run back:
// every test gets a state folder of its own, never the user's nor another test's.
class OwnStateFolder : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo&) override {
        folder_ = std::make_unique<QTemporaryDir>();
        qputenv("XDG_STATE_HOME", folder_->path().toLocal8Bit());
    }
    void OnTestEnd(const testing::TestInfo&) override { folder_.reset(); }
    std::unique_ptr<QTemporaryDir> folder_;
};

} // namespace

int main(int argc, char** argv) {
    // Window tests need no display: they run on Qt's offscreen platform unless told otherwise.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    testing::UnitTest::GetInstance()->listeners().Append(new OwnStateFolder);
    return RUN_ALL_TESTS();
}
