#pragma once

#include "shell/RunState.h"

#include <QWidget>

namespace kvz {

class KvizorApp;

// The main window: owns the run state; closing it is the program's only way out.
class TBasic : public QWidget {
    Q_OBJECT
public:
    explicit TBasic(KvizorApp& app);

    RunState& runState() { return runState_; }

private:
    KvizorApp& app_;
    RunState runState_;
};

} // namespace kvz
