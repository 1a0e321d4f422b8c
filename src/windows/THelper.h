#pragma once

#include <QWidget>

namespace kvz {

class KvizorApp;

class THelper : public QWidget {
    Q_OBJECT
public:
    explicit THelper(KvizorApp& app);

private:
    KvizorApp& app_;
};

} // namespace kvz
