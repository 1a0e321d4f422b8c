#pragma once

// The program's own window for a textbook page: HTML with its pictures, plain text, a picture
// or a PDF document, shown over the run window (above it under the lock-down, with the
// keyboard) so that the examinee never leaves the program to read it.

#include "run/TextbookLink.h"

#include <QDialog>

class QPushButton;
class QVBoxLayout;

namespace kvz {

class TTextbookViewer : public QDialog {
    Q_OBJECT
public:
    TTextbookViewer(QWidget* over, const QString& closeText);

    // Shows the file (its kind by its extension) at the place given (an HTML anchor, a PDF
    // page) and brings the window up over its parent. False, with the window left as it was,
    // when the file cannot be read or shown.
    bool open(const QString& path, const TextbookPlace& place = {});
    // The widget showing the current file: a QTextBrowser, QPlainTextEdit, QScrollArea or
    // QPdfView; null before the first file.
    QWidget* content() const { return content_; }

    // Pages larger than this are not read into memory.
    static constexpr qint64 kMaxTextBytes = 32 * 1024 * 1024;

private:
    QWidget* makeContent(const QString& path);
    void popUp();

    QVBoxLayout* layout_ = nullptr;
    QWidget* content_ = nullptr;
    QPushButton* closeButton_ = nullptr;
};

} // namespace kvz
