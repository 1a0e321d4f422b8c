#pragma once

#include <QWidget>

namespace kvz {

class KvizorApp;

class TResultats : public QWidget {
    Q_OBJECT
public:
    explicit TResultats(KvizorApp& app);

private:
    KvizorApp& app_;
};

} // namespace kvz
