#pragma once

// Typing a page: text with bold, italic, sizes, lists and pictures, which the editor then draws
// as the page picture.

#include "EditorLanguage.h"

#include <QDialog>

class QPushButton;
class QSpinBox;
class QTextEdit;

namespace kvz::editor {

class TTextPage : public QDialog {
    Q_OBJECT
public:
    TTextPage(const EditorLanguage& language, QWidget* parent = nullptr);

    void setHtml(const QString& html);
    QString html() const;
    // Puts a picture file at the cursor; false when it is no picture.
    bool insertPicture(const QString& path);

    QTextEdit* TextEdit = nullptr;
    QPushButton* Bold = nullptr;
    QPushButton* Italic = nullptr;
    QSpinBox* FontSize = nullptr;
    QPushButton* Bullets = nullptr;
    QPushButton* Numbers = nullptr;
    QPushButton* Picture = nullptr;
    QPushButton* OkButton = nullptr;
    QPushButton* CancelButton = nullptr;
};

} // namespace kvz::editor
