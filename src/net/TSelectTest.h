#pragma once

#include <QDialog>

namespace kvz {

class KvizorApp;

class TSelectTest : public QDialog {
    Q_OBJECT
public:
    explicit TSelectTest(KvizorApp& app);

private:
    KvizorApp& app_;
};

} // namespace kvz
