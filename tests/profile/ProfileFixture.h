#pragma once

// A whole application on a temporary program folder that is also the current folder, as a
// profile run started from a launcher finds it.

#include "choice/ChoiceFixture.h"
#include "shell/Clock.h"
#include "support/TestPaths.h"

namespace kvz::testing {

class ProfileFixture : public ChoiceFixture {
protected:
    void SetUp() override {
        ChoiceFixture::SetUp();
        oldCurrent = QDir::currentPath();
        QDir::setCurrent(prog());
    }
    void TearDown() override {
        QDir::setCurrent(oldCurrent);
        clock::setRandomSeedForTesting({});
        ChoiceFixture::TearDown();
    }
    // A sample test of the staged program into folder (by default the program's Base).
    void copySample(const QString& file, QString folder = {}) {
        if (folder.isEmpty())
            folder = prog() + QStringLiteral("/Base");
        const QString from = stageDir() + QStringLiteral("/Base/") + file;
        ASSERT_TRUE(QFile::copy(from, folder + QLatin1Char('/') + file)) << from.toStdString();
    }

    QString oldCurrent;
};

} // namespace kvz::testing
