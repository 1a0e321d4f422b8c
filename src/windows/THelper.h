#pragma once

#include <QWidget>

class QPushButton;

namespace kvz {

class KvizorApp;
class DocumentView;

// The help window: the test's reference document, full screen; any click hides it.
class THelper : public QWidget {
    Q_OBJECT
public:
    explicit THelper(KvizorApp& app);

    DocumentView* OleContainer1 = nullptr;
    QWidget* Panel2 = nullptr;
    QWidget* Panel3 = nullptr;
    QPushButton* Button2 = nullptr;

private:
    KvizorApp& app_;
};

} // namespace kvz
