#pragma once

#include <QDialog>

namespace kvz {

class KvizorApp;

class TMessage1 : public QDialog {
    Q_OBJECT
public:
    explicit TMessage1(KvizorApp& app);

private:
    KvizorApp& app_;
};

} // namespace kvz
