#pragma once

#include <QWidget>

namespace kvz {

class KvizorApp;

class TPrepere : public QWidget {
    Q_OBJECT
public:
    explicit TPrepere(KvizorApp& app);

private:
    KvizorApp& app_;
};

} // namespace kvz
