#pragma once

#include <QWidget>

namespace kvz {

class KvizorApp;

class TInform : public QWidget {
    Q_OBJECT
public:
    explicit TInform(KvizorApp& app);

private:
    KvizorApp& app_;
};

} // namespace kvz
