#pragma once

#include <QWidget>

class QLabel;

namespace kvz {

// The splash: the start picture with the program's name and a status line, shown while the
// windows are built. A click or the main window's timer closes it; it deletes itself on close.
class TStart : public QWidget {
    Q_OBJECT
public:
    // programFolder decides Start.bmp and Settings.ini; languagePath is the file whose msg[000]
    // and msg[002] are shown as stored.
    TStart(const QString& programFolder, const QString& languagePath);

    QLabel* Image1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;

protected:
    void mousePressEvent(QMouseEvent* event) override;
};

} // namespace kvz
