#pragma once

#include <QDialog>

namespace kvz {

class KvizorApp;

class TAbout : public QDialog {
    Q_OBJECT
public:
    explicit TAbout(KvizorApp& app);

private:
    KvizorApp& app_;
};

} // namespace kvz
