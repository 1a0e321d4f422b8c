#include "choice/TSerestf.h"

#include "app/KvizorApp.h"
#include "choice/ResultsFolderPath.h"
#include "l10n/MessageTable.h"
#include "platform/Dialogs.h"
#include "shell/RunState.h"
#include "shell/TBasic.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace kvz {

namespace {

constexpr int kPathRole = Qt::UserRole;
// Bounds for a tree read from the disk: results folders are a handful, but a link farm or a
// huge tree must not stall the dialog.
constexpr int kMaxDepth = 32;
constexpr int kMaxFolders = 20000;

} // namespace

void FolderTree::finishEditing() {
    if (state() != QAbstractItemView::EditingState)
        return;
    if (QWidget* editor = indexWidget(currentIndex())) {
        commitData(editor);
        closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

TSerestf::TSerestf(KvizorApp& app) : app_(app) {
    setObjectName(QStringLiteral("Serestf"));
    setWindowTitle(QStringLiteral("Выбор папки для результатов"));
    // A tool window with a title but no title-bar buttons.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setModal(true);
    setMinimumSize(200, 100);
    resize(320, 360);

    ToolBar2 = new QToolBar(this);
    ToolBar2->setObjectName(QStringLiteral("ToolBar2"));
    ToolButton1 = new QToolButton(ToolBar2);
    ToolButton1->setObjectName(QStringLiteral("ToolButton1"));
    ToolButton1->setText(QStringLiteral("Новая папка"));
    ToolButton1->setToolButtonStyle(Qt::ToolButtonTextOnly);
    ToolBar2->addWidget(ToolButton1);

    ShellTreeView1 = new FolderTree(this);
    ShellTreeView1->setObjectName(QStringLiteral("ShellTreeView1"));
    ShellTreeView1->setColumnCount(1);
    ShellTreeView1->header()->hide();
    ShellTreeView1->setEditTriggers(QAbstractItemView::SelectedClicked |
                                    QAbstractItemView::EditKeyPressed);

    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    Button2 = new QPushButton(QStringLiteral("Отмена"), this);
    Button2->setObjectName(QStringLiteral("Button2"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(ToolBar2);
    layout->addWidget(ShellTreeView1, 1);
    layout->addLayout(buttons);

    connect(ToolButton1, &QToolButton::clicked, this, [this] { ToolButton1Click(); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    connect(ShellTreeView1, &QTreeWidget::itemChanged, this,
            [this](QTreeWidgetItem* item, int column) { ShellTreeView1Edited(item, column); });
}

QString TSerestf::rootPath() const {
    return app_.runState().programFolder + QStringLiteral("/Results");
}

void TSerestf::rebuild(int rootMessage) {
    rootMessage_ = rootMessage;
    filling_ = true;
    ShellTreeView1->clear();
    auto* root = new QTreeWidgetItem(ShellTreeView1);
    root->setText(0, app_.messages().text(rootMessage));
    root->setData(0, kPathRole, rootPath());
    int budget = kMaxFolders;
    fill(root, rootPath(), 0, budget);
    root->setExpanded(true);
    filling_ = false;
}

void TSerestf::fill(QTreeWidgetItem* parent, const QString& path, int depth, int& budget) {
    if (depth >= kMaxDepth)
        return;
    const QFileInfoList dirs = QDir(path).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot |
                                                            QDir::NoSymLinks | QDir::Hidden,
                                                        QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& dir : dirs) {
        if (--budget < 0)
            return;
        auto* item = new QTreeWidgetItem(parent);
        item->setText(0, dir.fileName());
        item->setData(0, kPathRole, dir.absoluteFilePath());
        item->setFlags(item->flags() | Qt::ItemIsEditable);
        fill(item, dir.absoluteFilePath(), depth + 1, budget);
    }
}

bool TSerestf::selectPath(const QString& fullPath) {
    const QString wanted = QDir::cleanPath(fullPath);
    for (QTreeWidgetItemIterator it(ShellTreeView1); *it; ++it) {
        if (QDir::cleanPath((*it)->data(0, kPathRole).toString()) == wanted) {
            for (QTreeWidgetItem* p = (*it)->parent(); p; p = p->parent())
                p->setExpanded(true);
            ShellTreeView1->setCurrentItem(*it);
            ShellTreeView1->scrollToItem(*it);
            return true;
        }
    }
    return false;
}

QString TSerestf::selectedPath() const {
    const QTreeWidgetItem* item = ShellTreeView1->currentItem();
    return item ? item->data(0, kPathRole).toString() : QString();
}

void TSerestf::ToolButton1Click() {
    ShellTreeView1->finishEditing();
    QString parent = selectedPath();
    if (parent.isEmpty())
        parent = rootPath();
    const QString folder = NewFolderPath(parent, app_.messages().msg(4),
                                         [](const QString& p) { return QFileInfo::exists(p); });
    // A folder that cannot be made simply does not appear.
    if (!folder.isEmpty())
        QDir().mkdir(folder);
    QCoreApplication::processEvents();
    rebuild(rootMessage_);
    selectPath(parent);
    if (QTreeWidgetItem* item = ShellTreeView1->currentItem())
        item->setExpanded(true);
}

void TSerestf::ShellTreeView1Edited(QTreeWidgetItem* item, int column) {
    if (filling_ || column != 0 || !item->parent())
        return;
    const QString oldPath = item->data(0, kPathRole).toString();
    const QString name = item->text(0);
    const QString oldName = QFileInfo(oldPath).fileName();
    if (name == oldName)
        return;
    const QString newPath = QFileInfo(oldPath).path() + QLatin1Char('/') + name;
    const bool valid = !name.trimmed().isEmpty() && !name.contains(QLatin1Char('/')) &&
                       name != QStringLiteral(".") && name != QStringLiteral("..") &&
                       !QFileInfo::exists(newPath);
    if (!valid || !QDir().rename(oldPath, newPath)) {
        // Refused names go back to what the disk holds.
        filling_ = true;
        item->setText(0, oldName);
        filling_ = false;
        return;
    }
    // The folder and everything below it moved: read the tree again.
    rebuild(rootMessage_);
    selectPath(newPath);
}

void TSerestf::Button1Click() {
    ShellTreeView1->finishEditing();
    accept();
}

void TSerestf::Button2Click() {
    ShellTreeView1->finishEditing();
    reject();
}

bool ChooseResultsFolder(KvizorApp& app, QLineEdit& field, int rootMessage) {
    const QString programFolder = app.runState().programFolder;
    TSerestf& dialog = app.serestf();
    // A folder that cannot be shown is said, with its path, rather than nothing happening.
    const auto cannotOpen = [&](const QString& path) {
        Dialogs::error(field.window(), app.messages().text(30) + QStringLiteral("\n") +
                                           QDir::toNativeSeparators(path));
        return false;
    };
    const QString root = dialog.rootPath();
    if (!QDir().mkpath(root) || !QFileInfo(root).isDir())
        return cannotOpen(root);
    // A folder below the Results folder is made when missing; one anywhere else (left in
    // Settings.ini by a program folder that was moved) is not touched: the tree opens at its
    // root.
    QString full = ResultsFieldToPath(programFolder, field.text());
    if (!PathIsInside(root, full)) {
        full = root;
    } else if (!QFileInfo(full).isDir()) {
        QDir().mkpath(full);
        QCoreApplication::processEvents();
    }
    dialog.rebuild(rootMessage);
    if (!dialog.selectPath(full))
        return cannotOpen(full);

    const QRect main = app.basic().frameGeometry();
    QRect box = dialog.frameGeometry();
    box.moveCenter(main.center());
    dialog.move(box.topLeft());
    if (dialog.exec() != QDialog::Accepted)
        return false;
    field.setText(ResultsPathToField(programFolder, dialog.selectedPath()));
    return true;
}

} // namespace kvz
