// LoadTest on the real windows: the wait window, the password prompt answered by the test, the
// examinee window shown on success and one error message on every failure.

#include "../test/ArchiveFixtures.h"
#include "app/KvizorApp.h"
#include "choice/TInform.h"
#include "l10n/Cp1251.h"
#include "l10n/MessageTable.h"
#include "platform/Dialogs.h"
#include "platform/docview/DocumentView.h"
#include "platform/docview/PieceWriter.h"
#include "run/TTopros.h"
#include "shell/Clock.h"
#include "shell/RunState.h"
#include "support/PromptAnswerer.h"
#include "support/TestPaths.h"
#include "windows/THelper.h"
#include "windows/TPas.h"
#include "windows/TProgres.h"

#include <QAction>
#include <QBuffer>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <deque>
#include <gtest/gtest.h>

namespace kvz {
namespace {

const QString kPassword = QStringLiteral("пароль");

QByteArray imagePiece(QColor colour) {
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(colour);
    return docview::pieceFromImage(image, QStringLiteral("test")).piece;
}

using testing::PromptAnswerer;

class LoadTestWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(program.isValid());
        app = std::make_unique<KvizorApp>(QStringList{}, program.path());
        app->createWindows();
        app->runState().testName = "\xD4\xE8\xE7\xE8\xEA\xE0"; // "Физика"
        Dialogs::startAnswering();
        Dialogs::clearShown();
        archive = testing::threeKinds();
        archive.introduction = imagePiece(Qt::red);
        archive.reference = imagePiece(Qt::blue);
        DocumentView probe;
        if (!probe.loadFromBytes(archive.introduction))
            GTEST_SKIP() << "the document viewer cannot show pieces yet";
    }
    void TearDown() override {
        Dialogs::stopAnswering();
        app.reset();
    }

    QByteArray build(const std::string& password) {
        auto bytes = writeTestArchive(archive, password, {"c", "9", "s", "t"});
        EXPECT_TRUE(bytes);
        return bytes.value_or(QByteArray());
    }
    bool load(const QByteArray& bytes) {
        QBuffer buffer;
        buffer.setData(bytes);
        buffer.open(QIODevice::ReadOnly);
        return app->topros().LoadTest(buffer);
    }
    int errorsShown() const {
        int n = 0;
        for (const auto& r : Dialogs::shown()) {
            EXPECT_EQ(r.kind, DialogKind::Error);
            EXPECT_EQ(r.text, QStringLiteral("Ошибка при открытии файла!"));
            ++n;
        }
        return n;
    }

    QTemporaryDir program;
    std::unique_ptr<KvizorApp> app;
    TestArchive archive;
};

TEST_F(LoadTestWindowTest, PasswordAskedUntilRightThenLoaded) {
    const QByteArray bytes = build(cp1251::fromUnicode(kPassword));
    app->pas().Edit1->clear();
    PromptAnswerer answers(app->pas(), {QStringLiteral("неверный"), kPassword});
    ASSERT_TRUE(load(bytes));
    EXPECT_EQ(answers.prompts, 2);
    EXPECT_EQ(answers.titles.value(0), QStringLiteral("Пароль для Физика?"));
    // The first prompt follows the empty try of a local run; the second a wrong password.
    EXPECT_EQ(answers.markedWrong, (QList<bool>{false, true}));
    EXPECT_EQ(errorsShown(), 0);

    TTopros& run = app->topros();
    const RunState& state = app->runState();
    ASSERT_EQ(run.Stests->count(), 3);
    EXPECT_EQ(run.Stests->item(0)->text(), QStringLiteral("A01"));
    EXPECT_EQ(run.Stests->item(2)->text(), QStringLiteral("D01"));
    EXPECT_EQ(run.questionSet.size(), 3);
    EXPECT_EQ(run.questionSet.questions[2].timeLimitMs, 120000);
    EXPECT_TRUE(state.fixedOrder && state.showMark && state.timeByDifficulty);
    EXPECT_FALSE(state.showIntroduction);
    EXPECT_EQ(state.markCount, 3);
    EXPECT_TRUE(run.N5->isVisible());
    EXPECT_FALSE(run.pPoradok->isHidden());
    EXPECT_TRUE(run.pProizvolno->isHidden());
    EXPECT_FALSE(app->inform().OleContainer1->isEmpty());
    EXPECT_FALSE(app->helper().OleContainer1->isEmpty());
    EXPECT_TRUE(app->inform().isVisible());
    EXPECT_FALSE(app->progres().isVisible());

    // A run of it: first item selected, clocks from the archive, start time from the clock.
    clock::setNowForTesting([] { return 46000.5; });
    run.StartRun();
    clock::setNowForTesting({});
    EXPECT_EQ(run.Stests->currentRow(), 0);
    EXPECT_EQ(run.questionSet.testTimeLeftMs, 240000);
    EXPECT_EQ(run.questionSet.questions[0].timeLeftMs, run.questionSet.questions[0].timeLimitMs);
    EXPECT_DOUBLE_EQ(state.startTime, 46000.5);
    EXPECT_TRUE(run.questionSet.hasNext);
}

TEST_F(LoadTestWindowTest, KnownPasswordOpensWithoutPrompt) {
    archive.settings.calculatorAllowed = false;
    archive.settings.fixedOrder = false;
    const QByteArray bytes = build(cp1251::fromUnicode(kPassword));
    app->pas().Edit1->setText(kPassword);
    PromptAnswerer answers(app->pas(), {std::nullopt});
    ASSERT_TRUE(load(bytes));
    EXPECT_EQ(answers.prompts, 0);
    EXPECT_FALSE(app->topros().N5->isVisible());
    EXPECT_TRUE(app->topros().pPoradok->isHidden());
    EXPECT_FALSE(app->topros().pProizvolno->isHidden());
}

TEST_F(LoadTestWindowTest, FailuresShowOneErrorAndLeaveTheExamineeWindowHidden) {
    const QByteArray locked = build(cp1251::fromUnicode(kPassword));
    TestArchive badIntro = archive;
    badIntro.introduction = testing::fakePiece("not a compound file");
    auto rejected = writeTestArchive(badIntro, "", {});
    ASSERT_TRUE(rejected);
    struct Case {
        const char* name;
        QByteArray bytes;
        std::deque<std::optional<QString>> answers;
        int prompts;
    };
    const Case cases[] = {
        {"cancel at the first prompt", locked, {std::nullopt}, 1},
        {"six wrong passwords", locked, {QStringLiteral("x")}, 6},
        {"not an archive", QByteArray(3000, 'z'), {std::nullopt}, 0},
        {"introduction the viewer rejects", *rejected, {std::nullopt}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Dialogs::clearShown();
        app->pas().Edit1->clear();
        PromptAnswerer answers(app->pas(), c.answers);
        EXPECT_FALSE(load(c.bytes));
        EXPECT_EQ(answers.prompts, c.prompts);
        EXPECT_EQ(errorsShown(), 1);
        EXPECT_FALSE(app->inform().isVisible());
        EXPECT_FALSE(app->progres().isVisible());
    }
}

// The staged sample from Base, read from a file as the local test choice hands it over.
TEST_F(LoadTestWindowTest, SampleFromBaseLoadsFromAFile) {
    QFile file(testing::stageDir() + QStringLiteral("/Base/Физика 9 класс.tst"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
    app->pas().Edit1->clear();
    PromptAnswerer answers(app->pas(), {QStringLiteral("физика")});
    ASSERT_TRUE(app->topros().LoadTest(file));
    EXPECT_EQ(answers.prompts, 1);
    EXPECT_EQ(errorsShown(), 0);
    EXPECT_EQ(app->topros().Stests->count(), 3);
    EXPECT_EQ(app->runState().markCount, 4);
    EXPECT_TRUE(app->topros().N5->isVisible());
}

} // namespace
} // namespace kvz
