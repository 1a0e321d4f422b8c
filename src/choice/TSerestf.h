#pragma once

// The results folder dialog: a tree of the folders below programFolder + "/Results" in which
// the user picks, renames and creates folders for the result files.

#include <QDialog>
#include <QTreeWidget>

class QLineEdit;
class QPushButton;
class QToolBar;
class QToolButton;

namespace kvz {

class KvizorApp;

// The folder tree; editing of a name can be finished from outside (OK and Отмена accept it).
class FolderTree : public QTreeWidget {
    Q_OBJECT
public:
    using QTreeWidget::QTreeWidget;
    void finishEditing();
};

class TSerestf : public QDialog {
    Q_OBJECT
public:
    explicit TSerestf(KvizorApp& app);

    // Builds the tree anew from the disk, the root labelled with message rootMessage.
    void rebuild(int rootMessage);
    // Selects the folder at fullPath; false when it is not in the tree.
    bool selectPath(const QString& fullPath);
    // The selected folder's full path ("" when nothing is selected).
    QString selectedPath() const;
    QString rootPath() const;

    FolderTree* ShellTreeView1 = nullptr;
    QToolBar* ToolBar2 = nullptr;
    QToolButton* ToolButton1 = nullptr; // new folder
    QPushButton* Button1 = nullptr;     // OK
    QPushButton* Button2 = nullptr;     // Отмена

private:
    void ToolButton1Click();
    void Button1Click();
    void Button2Click();
    void ShellTreeView1Edited(QTreeWidgetItem* item, int column);
    void fill(QTreeWidgetItem* parent, const QString& path, int depth, int& budget);

    KvizorApp& app_;
    int rootMessage_ = 51;
    bool filling_ = false;
};

// Opens the results folder dialog for the caller's field, which holds a path relative to the
// program folder ("/Results/9А"); a missing folder is created first. On OK the field gets the
// chosen folder; on cancel, or when the field names a folder outside the tree, it is left as
// it was. rootMessage: the message that labels the root (51 "Результаты"). True on OK.
bool ChooseResultsFolder(KvizorApp& app, QLineEdit& field, int rootMessage = 51);

} // namespace kvz
