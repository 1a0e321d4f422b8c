#pragma once

#include <QDialog>

namespace kvz {

class KvizorApp;

class TPas : public QDialog {
    Q_OBJECT
public:
    explicit TPas(KvizorApp& app);

private:
    KvizorApp& app_;
};

} // namespace kvz
