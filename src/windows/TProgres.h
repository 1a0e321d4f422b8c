#pragma once

#include <QDialog>

namespace kvz {

class KvizorApp;

class TProgres : public QDialog {
    Q_OBJECT
public:
    explicit TProgres(KvizorApp& app);

private:
    KvizorApp& app_;
};

} // namespace kvz
