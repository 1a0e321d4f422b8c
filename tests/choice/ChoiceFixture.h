#pragma once

// A whole application on a temporary program folder, for the choice windows' tests.

#include "app/KvizorApp.h"
#include "l10n/Cp1251.h"
#include "platform/Dialogs.h"
#include "platform/Lockdown.h"
#include "shell/RunState.h"
#include "support/TestPaths.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace kvz::testing {

inline std::string cp(const QString& s) {
    return cp1251::fromUnicode(s);
}

// An archive stand-in: some bytes, then the catalogue trailer.
inline std::string withTrailer(const std::string& comment, const std::string& klass,
                               const std::string& subject, const std::string& topics) {
    return std::string("PK\x05\x06", 4) + std::string(18, '\0') + '\0' + comment + '\0' + klass +
           '\0' + subject + '\0' + topics;
}

class ChoiceFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(program.isValid());
        ASSERT_TRUE(temp.isValid());
        oldTmp = qgetenv("TMPDIR");
        qputenv("TMPDIR", temp.path().toLocal8Bit());
        QDir().mkpath(prog() + QStringLiteral("/Base"));
        Dialogs::startAnswering();
    }
    void TearDown() override {
        // The lock belongs to the application object, which outlives each test's windows.
        liftLockdown(RunState{});
        app.reset();
        Dialogs::stopAnswering();
        qputenv("TMPDIR", oldTmp);
    }
    QString prog() const { return program.path(); }
    void writeFile(const QString& relative, const std::string& bytes) {
        QFile f(prog() + QLatin1Char('/') + relative);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes.data(), qint64(bytes.size()));
    }
    // A sample test of the staged program into folder (by default the program's Base).
    void copySample(const QString& file, QString folder = {}) {
        if (folder.isEmpty())
            folder = prog() + QStringLiteral("/Base");
        const QString from = stageDir() + QStringLiteral("/Base/") + file;
        ASSERT_TRUE(QFile::copy(from, folder + QLatin1Char('/') + file)) << from.toStdString();
    }
    void start() {
        app = std::make_unique<KvizorApp>(QStringList{}, prog());
        app->createWindows();
        app->runState().interactive = true;
    }
    static bool shownText(const QString& text) {
        for (const auto& r : Dialogs::shown())
            if (r.text == text)
                return true;
        return false;
    }
    // Cyrillic through QTest::keyClicks aborts; one key event per character does not.
    static void typeText(QWidget* w, const QString& text) {
        for (QChar ch : text)
            QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(ch), Qt::NoModifier);
    }

    QTemporaryDir program;
    QTemporaryDir temp;
    QByteArray oldTmp;
    std::unique_ptr<KvizorApp> app;
};

} // namespace kvz::testing
