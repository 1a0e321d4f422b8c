#pragma once

#include <QDialog>

namespace kvz {

class KvizorApp;

class TBlokator : public QDialog {
    Q_OBJECT
public:
    explicit TBlokator(KvizorApp& app);

private:
    KvizorApp& app_;
};

} // namespace kvz
