#pragma once

// A whole application on a temporary program folder that is also the current folder, as a
// profile run started from a launcher finds it.

#include "choice/ChoiceFixture.h"
#include "shell/Clock.h"

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

    QString oldCurrent;
};

} // namespace kvz::testing
