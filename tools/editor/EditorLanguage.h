#pragma once

// The editor's labels from the program's language files: lines of [Kvizor_lab] whose window
// is one of the editor's ("Editor", "EditorText", ...) relabel its controls, and the lines of
// "EditorMsg" are its messages. Russian is built in; other files come from a Language folder.

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

class QWidget;

namespace kvz::editor {

class EditorLanguage {
public:
    // The built-in Russian file.
    EditorLanguage();
    // From a language file's bytes (Windows-1251).
    void load(const QByteArray& bytes);
    bool loadFile(const QString& path);

    // Relabels the window from the lines that name it; returns how many lines it took.
    int apply(QWidget* window) const;
    // A message of "EditorMsg": key names the line; fallback when the file has none.
    QString text(const QString& key, const QString& fallback) const;
    // The file as loaded, for the run window's message table in the preview.
    const QByteArray& bytes() const { return bytes_; }

    // Language folders to look in: beside the program, the installed program folder, the
    // build's stage folder.
    static QStringList languageFolders(const QString& executableFolder);

private:
    QByteArray bytes_;
    QHash<QString, QString> messages_;
};

} // namespace kvz::editor
