#pragma once

#include <QDialog>

class QLabel;

namespace kvz {

class KvizorApp;

class TBlokator : public QDialog {
    Q_OBJECT
public:
    explicit TBlokator(KvizorApp& app);

    QLabel* Panel1 = nullptr; // the pause text, msg[041]

private:
    KvizorApp& app_;
};

} // namespace kvz
