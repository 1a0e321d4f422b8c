#pragma once

#include <QWidget>

namespace kvz {

class KvizorApp;

class TTopros : public QWidget {
    Q_OBJECT
public:
    explicit TTopros(KvizorApp& app);

private:
    KvizorApp& app_;
};

} // namespace kvz
