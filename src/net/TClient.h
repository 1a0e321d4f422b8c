#pragma once

#include <QWidget>

namespace kvz {

class KvizorApp;

class TClient : public QWidget {
    Q_OBJECT
public:
    explicit TClient(KvizorApp& app);

private:
    KvizorApp& app_;
};

} // namespace kvz
