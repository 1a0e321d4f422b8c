#include "choice/TPrepere.h"

#include "app/KvizorApp.h"
#include "choice/Catalogue.h"
#include "choice/ResultsFolderPath.h"
#include "choice/TInform.h"
#include "choice/TSerestf.h"
#include "l10n/Cp1251.h"
#include "l10n/MessageTable.h"
#include "platform/Dialogs.h"
#include "platform/Named.h"
#include "run/TTopros.h"
#include "shell/IniFile.h"
#include "shell/NamedFile.h"
#include "shell/RunState.h"
#include "shell/Settings.h"
#include "shell/TBasic.h"
#include "windows/HelpPage.h"
#include "windows/TPas.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QToolTip>
#include <QVBoxLayout>
#include <algorithm>

namespace kvz {

namespace {

constexpr int kFileNameRole = Qt::UserRole;
constexpr int kHintMs = 5000;

QLabel* label(QWidget* parent, const char* name, const QString& text) {
    auto* l = named<QLabel>(parent, name);
    l->setText(text);
    return l;
}

QString filterText(const QComboBox* box) {
    return box->currentText();
}

// Adds text to the filter's items unless it is there already (exact comparison); selects it.
void follow(QComboBox* box, const QString& text) {
    if (box->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive) < 0)
        box->addItem(text);
    box->setCurrentText(text);
}

} // namespace

TPrepere::TPrepere(KvizorApp& app) : app_(app) {
    setObjectName(QStringLiteral("Prepere"));
    setWindowTitle(QStringLiteral("Выбор теста"));

    Label3 = label(this, "Label3", QStringLiteral("Тесты:"));
    ListBox1 = named<QListWidget>(this, "ListBox1");
    Label4 = label(this, "Label4", QStringLiteral("Класс:"));
    Edit2 = named<QComboBox>(this, "Edit2");
    Label5 = label(this, "Label5", QStringLiteral("Предмет:"));
    Edit3 = named<QComboBox>(this, "Edit3");
    for (QComboBox* box : {Edit2, Edit3}) {
        box->setEditable(true);
        box->setInsertPolicy(QComboBox::NoInsert);
        box->setMinimumWidth(120);
    }
    Button4 = named<QPushButton>(this, "Button4");
    Button4->setText(QStringLiteral("Отбор"));
    Label1 = label(this, "Label1", QStringLiteral("Комментарий:"));
    Memo1 = named<QPlainTextEdit>(this, "Memo1");
    Memo1->setReadOnly(true);
    Label6 = label(this, "Label6", QStringLiteral("Вопросы в тесте (темы):"));
    ListBox2 = named<QListWidget>(this, "ListBox2");
    CheckBox1 = named<QCheckBox>(this, "CheckBox1");
    CheckBox1->setText(QStringLiteral("Задания в случайном порядке"));
    Label2 = label(this, "Label2", QStringLiteral("Результат сохранять в:"));
    Edit1 = named<QLineEdit>(this, "Edit1");
    Edit1->setReadOnly(true);
    Button3 = named<QPushButton>(this, "Button3");
    Button3->setText(QStringLiteral("..."));
    Button3->setFixedWidth(32);
    Button1 = named<QPushButton>(this, "Button1");
    Button1->setText(QStringLiteral("OK"));
    Button2 = named<QPushButton>(this, "Button2");
    Button2->setText(QStringLiteral("Назад"));

    auto* left = new QVBoxLayout;
    left->addWidget(Label3);
    left->addWidget(ListBox1, 1);
    auto* filters = new QGridLayout;
    filters->addWidget(Label4, 0, 0);
    filters->addWidget(Edit2, 0, 1);
    filters->addWidget(Label5, 1, 0);
    filters->addWidget(Edit3, 1, 1);
    filters->addWidget(Button4, 0, 2, 2, 1);
    auto* right = new QVBoxLayout;
    right->addLayout(filters);
    right->addWidget(Label1);
    right->addWidget(Memo1, 1);
    right->addWidget(Label6);
    right->addWidget(ListBox2, 1);
    auto* lists = new QHBoxLayout;
    lists->addLayout(left, 1);
    lists->addLayout(right, 1);
    auto* folder = new QHBoxLayout;
    folder->addWidget(Label2);
    folder->addWidget(Edit1, 1);
    folder->addWidget(Button3);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(CheckBox1);
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(lists, 1);
    layout->addLayout(folder);
    layout->addLayout(buttons);
    resize(620, 440);

    connect(Button4, &QPushButton::clicked, this, [this] { ScanTests(); });
    connect(ListBox1, &QListWidget::currentRowChanged, this, [this] { ShowSelected(); });
    connect(ListBox1, &QListWidget::itemDoubleClicked, this, [this] { Button1Click(); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
    connect(CheckBox1, &QCheckBox::toggled, this, [this] { CheckBox1Click(); });
    ListBox1->installEventFilter(this);
    ListBox1->viewport()->installEventFilter(this);
    ListBox2->viewport()->installEventFilter(this);
    Edit1->installEventFilter(this);
    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    help->setContext(Qt::WindowShortcut);
    connect(help, &QShortcut::activated, this, [this] {
        showHelpTopic(*this, app_.runState().programFolder,
                      QStringLiteral("hc_Lokalnoe_testirovanie"), app_.messages());
    });

    FormCreate();
}

void TPrepere::FormCreate() {
    const RunState& rs = app_.runState();
    const QString all = app_.messages().text(40);
    const IniDocument topics = IniFile(rs.programFolder + QStringLiteral("/Topic.ini")).load();
    for (auto [box, section] : {std::pair{Edit3, "Predmet"}, std::pair{Edit2, "Klass"}}) {
        box->clear();
        box->addItem(all);
        for (const std::string& key : topics.keys(section))
            box->addItem(cp1251::toUnicode(key));
        box->setCurrentIndex(0);
    }
    ScanTests();
    if (rs.studentMode)
        Label4->setText(app_.messages().text(12));
}

void TPrepere::ScanTests() {
    const RunState& rs = app_.runState();
    const std::string all = app_.messages().msg(40);
    // Each item keeps its real file name: "A.TST" is not "A.tst" on this system.
    const QStringList files =
        kvz::ScanTests(rs.programFolder, cp1251::fromUnicode(filterText(Edit2)),
                       cp1251::fromUnicode(filterText(Edit3)), all);
    ListBox1->blockSignals(true);
    ListBox1->clear();
    for (const QString& file : files) {
        auto* item = new QListWidgetItem(StripExtension(file), ListBox1);
        item->setData(kFileNameRole, file);
    }
    ListBox1->blockSignals(false);
    if (ListBox1->count() == 0) {
        ListBox2->clear();
        Memo1->clear();
        return;
    }
    ListBox1->setCurrentRow(0);
    ShowSelected();
}

void TPrepere::ShowSelected() {
    const QListWidgetItem* item = ListBox1->currentItem();
    if (!item)
        return;
    const std::optional<CatalogueInfo> info =
        ReadCatalogueInfo(app_.runState().programFolder, item->data(kFileNameRole).toString());
    if (!info)
        return;
    Memo1->setPlainText(cp1251::toUnicode(info->comment));
    follow(Edit2, cp1251::toUnicode(info->klass));
    follow(Edit3, cp1251::toUnicode(info->subject));
    QStringList topics;
    for (const std::string& line : TopicLines(info->topics))
        topics.append(cp1251::toUnicode(line));
    std::sort(topics.begin(), topics.end(), CatalogueNameLess);
    ListBox2->clear();
    ListBox2->addItems(topics);
}

void TPrepere::Button1Click() {
    const QListWidgetItem* item = ListBox1->currentItem();
    if (!item || !item->isSelected())
        return;
    selectedTestName_ = item->text();
    RunState& rs = app_.runState();
    const MessageTable& messages = app_.messages();
    const QString question = messages.text(54).replace(QStringLiteral("%s"), selectedTestName_);
    if (!rs.interactive) {
        if (Dialogs::confirm(this, question)) {
            modalResult_ = QDialog::Accepted;
            Q_EMIT modalDone();
        }
        return;
    }

    rs.resultsFolder = ResultsFieldToPath(rs.programFolder, Edit1->text());
    app_.pas().Edit1->clear();
    if (!Dialogs::confirm(this, question))
        return;
    rs.shuffleQuestions = CheckBox1->isChecked();
    const QString path =
        rs.programFolder + QStringLiteral("/Base/") + item->data(kFileNameRole).toString();
    if (!QFileInfo(path).isFile())
        return; // gone since the list was made
    rs.testSubject = cp1251::fromUnicode(filterText(Edit3));
    rs.testName = cp1251::fromUnicode(selectedTestName_);
    TInform& inform = app_.inform();
    inform.Label2->setText(messages.text(11) + selectedTestName_);
    inform.Label3->setText(messages.text(rs.studentMode ? 12 : 13) + filterText(Edit2) +
                           messages.text(16) + filterText(Edit3) + QStringLiteral("."));

    QFile file;
    if (!openNamedFile(path, &file, nullptr)) {
        Dialogs::error(this, messages.text(8));
        return;
    }
    setEnabled(false);
    const bool loaded = app_.topros().LoadTest(file);
    if (loaded)
        hide();
    file.close();
    setEnabled(true);
}

void TPrepere::Button3Click() {
    ChooseResultsFolder(app_, *Edit1);
}

void TPrepere::Button2Click() {
    app_.basic().show();
    hide();
}

void TPrepere::CheckBox1Click() {
    QString error;
    if (!Settings(app_.runState().programFolder).writeTestDisorder(CheckBox1->isChecked(), &error))
        Dialogs::error(this, error);
}

int TPrepere::runModal() {
    modalResult_ = 0;
    const Qt::WindowModality before = windowModality();
    setWindowModality(Qt::ApplicationModal);
    show();
    QEventLoop loop;
    connect(this, &TPrepere::modalDone, &loop, &QEventLoop::quit);
    loop.exec();
    hide();
    setWindowModality(before);
    return modalResult_;
}

void TPrepere::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!placed_) {
        placed_ = true;
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - frameGeometry().center() + pos());
    }
    const RunState& rs = app_.runState();
    const QSignalBlocker quiet(CheckBox1);
    CheckBox1->setChecked(Settings(rs.programFolder).testDisorder());
    Edit1->setText(ResultsPathToField(rs.programFolder, rs.resultsFolder));
}

void TPrepere::closeEvent(QCloseEvent* event) {
    // The window stays; closing it is a request to end the program.
    event->ignore();
    if (windowModality() == Qt::ApplicationModal) {
        Q_EMIT modalDone();
        return;
    }
    app_.basic().close();
}

bool TPrepere::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ListBox1 && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            Button1Click();
            return true;
        }
    }
    if (watched == Edit1 && event->type() == QEvent::MouseButtonDblClick) {
        Button3Click();
        return true;
    }
    if (event->type() == QEvent::ToolTip) {
        if (watched == ListBox1->viewport())
            return longItemHint(ListBox1, event);
        if (watched == ListBox2->viewport())
            return longItemHint(ListBox2, event);
    }
    return false;
}

bool TPrepere::longItemHint(QListWidget* list, QEvent* event) {
    const auto* help = static_cast<QHelpEvent*>(event);
    const QListWidgetItem* item = list->itemAt(help->pos());
    if (!item) {
        QToolTip::hideText();
        return true;
    }
    const QRect rect = list->visualItemRect(item);
    const int needed = list->fontMetrics().horizontalAdvance(item->text());
    // An item's rectangle grows with the longest text; what shows of it is the viewport's width.
    const int shown = std::min(rect.right(), list->viewport()->width()) - rect.left();
    if (needed <= shown - 2) {
        QToolTip::hideText();
        return true;
    }
    // The whole text, right over the item.
    QToolTip::showText(list->viewport()->mapToGlobal(rect.topLeft()), item->text(),
                       list->viewport(), rect, kHintMs);
    return true;
}

} // namespace kvz
