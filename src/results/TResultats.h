#pragma once

#include <QWidget>

namespace kvz {

class KvizorApp;

class TResultats : public QWidget {
    Q_OBJECT
public:
    explicit TResultats(KvizorApp& app);

    // The main panel; its designed height is remembered in runState.resultsPanelHeight.
    QWidget* Panel1 = nullptr;

private:
    KvizorApp& app_;
};

} // namespace kvz
