#pragma once

#include <QDialog>

namespace kvz {

class KvizorApp;

class TMessager : public QDialog {
    Q_OBJECT
public:
    explicit TMessager(KvizorApp& app);

private:
    KvizorApp& app_;
};

} // namespace kvz
