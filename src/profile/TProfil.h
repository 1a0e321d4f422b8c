#pragma once

#include <QDialog>

namespace kvz {

class KvizorApp;

class TProfil : public QDialog {
    Q_OBJECT
public:
    explicit TProfil(KvizorApp& app);

private:
    KvizorApp& app_;
};

} // namespace kvz
