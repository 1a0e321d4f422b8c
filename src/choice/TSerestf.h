#pragma once

#include <QDialog>

namespace kvz {

class KvizorApp;

class TSerestf : public QDialog {
    Q_OBJECT
public:
    explicit TSerestf(KvizorApp& app);

private:
    KvizorApp& app_;
};

} // namespace kvz
