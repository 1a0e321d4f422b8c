// The editor's window: menus, the question list, opening and saving, the checks on screen.

#include "TEditor.h"

#include "TPreview.h"
#include "TTextPage.h"
#include "l10n/Cp1251.h"
#include "platform/Dialogs.h"
#include "platform/docview/DocumentView.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

namespace kvz::editor {

EditorPrompts EditorPrompts::dialogs(const EditorLanguage& language) {
    EditorPrompts p;
    p.openFile = [](QWidget* parent, const QString& title, const QString& filter) {
        return QFileDialog::getOpenFileName(parent, title, QString(), filter);
    };
    p.saveFile = [](QWidget* parent, const QString& title, const QString& filter) {
        return QFileDialog::getSaveFileName(parent, title, QString(), filter);
    };
    p.folder = [](QWidget* parent, const QString& title) {
        return QFileDialog::getExistingDirectory(parent, title);
    };
    p.password = [](QWidget* parent, const QString& text) -> std::optional<QString> {
        bool ok = false;
        const QString typed = QInputDialog::getText(parent, QStringLiteral("Kvizor"), text,
                                                    QLineEdit::Password, QString(), &ok);
        if (!ok)
            return std::nullopt;
        return typed;
    };
    p.saveChanges = [&language](QWidget* parent, const QString& text) {
        QMessageBox box(QMessageBox::Question, QStringLiteral("Kvizor"), text,
                        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, parent);
        box.button(QMessageBox::Save)
            ->setText(language.text(QStringLiteral("Save"), QStringLiteral("Сохранить")));
        box.button(QMessageBox::Discard)
            ->setText(language.text(QStringLiteral("Discard"), QStringLiteral("Не сохранять")));
        box.button(QMessageBox::Cancel)
            ->setText(language.text(QStringLiteral("Cancel"), QStringLiteral("Отмена")));
        switch (box.exec()) {
        case QMessageBox::Save:
            return SaveAnswer::Save;
        case QMessageBox::Discard:
            return SaveAnswer::Discard;
        default:
            return SaveAnswer::Cancel;
        }
    };
    p.pdfPage = [](QWidget* parent, const QString& text, int max) -> std::optional<int> {
        bool ok = false;
        const int page =
            QInputDialog::getInt(parent, QStringLiteral("Kvizor"), text, 1, 1, max, 1, &ok);
        if (!ok)
            return std::nullopt;
        return page - 1;
    };
    p.typedPage = [&language](QWidget* parent, const QString& html) -> std::optional<QString> {
        TTextPage dialog(language, parent);
        dialog.setHtml(html);
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        return dialog.html();
    };
    return p;
}

TEditor::TEditor(QString executableFolder, QWidget* parent)
    : QMainWindow(parent), executableFolder_(std::move(executableFolder)) {
    setObjectName(QStringLiteral("Editor"));
    prompts = EditorPrompts::dialogs(language);
    buildMenus();
    auto* split = new QSplitter(this);
    split->addWidget(buildQuestionList());
    Tabs = new QTabWidget(split);
    Tabs->setObjectName(QStringLiteral("Tabs"));
    Tabs->addTab(buildTestTab(), QStringLiteral("Тест"));
    Tabs->addTab(buildQuestionTab(), QStringLiteral("Вопрос"));
    split->addWidget(Tabs);
    split->setStretchFactor(1, 1);
    setCentralWidget(split);
    statusBar();
    relabel();
    setTest(EditableTest::makeNew(), QString());
    resize(1280, 1024);
}

TEditor::~TEditor() = default;

QString TEditor::msg(const char* key, const QString& fallback) const {
    return language.text(QLatin1String(key), fallback);
}

void TEditor::buildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("Файл"));
    file->setObjectName(QStringLiteral("FileMenu"));
    auto action = [&](QMenu* menu, QAction*& a, const char* name, const QString& text,
                      QKeySequence key, auto slot) {
        a = menu->addAction(text);
        a->setObjectName(QLatin1String(name));
        a->setShortcut(key);
        connect(a, &QAction::triggered, this, slot);
    };
    action(file, NewAction, "NewAction", QStringLiteral("Новый тест"), QKeySequence::New,
           [this] { NewClick(); });
    action(file, OpenAction, "OpenAction", QStringLiteral("Открыть..."), QKeySequence::Open,
           [this] { OpenClick(); });
    action(file, SaveAction, "SaveAction", QStringLiteral("Сохранить"), QKeySequence::Save,
           [this] { SaveClick(); });
    action(file, SaveAsAction, "SaveAsAction", QStringLiteral("Сохранить как..."),
           QKeySequence::SaveAs, [this] { SaveAsClick(); });
    file->addSeparator();
    action(file, ImportAction, "ImportAction", QStringLiteral("Импорт из папки kvizor-pack..."),
           QKeySequence(), [this] { ImportClick(); });
    action(file, ExportAction, "ExportAction", QStringLiteral("Экспорт в папку kvizor-pack..."),
           QKeySequence(), [this] { ExportClick(); });
    file->addSeparator();
    action(file, QuitAction, "QuitAction", QStringLiteral("Выход"), QKeySequence::Quit,
           [this] { close(); });

    QMenu* view = menuBar()->addMenu(QStringLiteral("Как увидит ученик"));
    view->setObjectName(QStringLiteral("PreviewMenu"));
    const QSize sizes[] = {{1024, 768}, {1280, 1024}, {1920, 1080}};
    for (const QSize& s : sizes) {
        QAction* a = view->addAction(QStringLiteral("%1 × %2").arg(s.width()).arg(s.height()));
        a->setObjectName(QStringLiteral("Preview%1").arg(s.width()));
        connect(a, &QAction::triggered, this, [this, s] { PreviewClick(s); });
    }

    QMenu* languages = menuBar()->addMenu(QStringLiteral("Язык"));
    languages->setObjectName(QStringLiteral("LanguageMenu"));
    QAction* russian = languages->addAction(QStringLiteral("Русский"));
    connect(russian, &QAction::triggered, this, [this] { SwitchLanguage(QString()); });
    for (const QString& folder : EditorLanguage::languageFolders(executableFolder_)) {
        for (const QFileInfo& f :
             QDir(folder).entryInfoList({QStringLiteral("*.lng")}, QDir::Files, QDir::Name)) {
            if (f.baseName() == QLatin1String("fyv_russian"))
                continue;
            QString name = f.baseName();
            name.remove(QStringLiteral("fyv_"));
            if (!name.isEmpty())
                name[0] = name[0].toUpper();
            QAction* a = languages->addAction(name);
            connect(a, &QAction::triggered, this,
                    [this, path = f.absoluteFilePath()] { SwitchLanguage(path); });
        }
        break; // the first folder found is the program's
    }
}

QWidget* TEditor::buildQuestionList() {
    auto* box = new QWidget(this);
    auto* v = new QVBoxLayout(box);
    Questions = new QListWidget(box);
    Questions->setObjectName(QStringLiteral("Questions"));
    Questions->setDragDropMode(QAbstractItemView::InternalMove);
    Questions->setDefaultDropAction(Qt::MoveAction);
    Questions->setMinimumWidth(220);
    v->addWidget(Questions, 1);
    connect(Questions, &QListWidget::currentRowChanged, this, [this](int row) {
        if (!filling_)
            SelectQuestion(row);
    });
    connect(Questions->model(), &QAbstractItemModel::rowsMoved, this,
            [this](const QModelIndex&, int start, int, const QModelIndex&, int row) {
                if (filling_)
                    return;
                // Shown after the drop has finished: the list is rebuilt from the model.
                const int to = row > start ? row - 1 : row;
                QMetaObject::invokeMethod(
                    this, [this, start, to] { MoveQuestion(start, to); }, Qt::QueuedConnection);
            });
    auto button = [&](QPushButton*& b, const char* name, const QString& text, auto slot) {
        b = new QPushButton(text, box);
        b->setObjectName(QLatin1String(name));
        connect(b, &QPushButton::clicked, this, slot);
    };
    auto* adds = new QHBoxLayout;
    button(AddA, "AddA", QStringLiteral("+ Выбор"), [this] { AddQuestion('A'); });
    button(AddB, "AddB", QStringLiteral("+ Ввод"), [this] { AddQuestion('B'); });
    button(AddD, "AddD", QStringLiteral("+ Порядок"), [this] { AddQuestion('D'); });
    adds->addWidget(AddA);
    adds->addWidget(AddB);
    adds->addWidget(AddD);
    v->addLayout(adds);
    auto* edits = new QHBoxLayout;
    button(Duplicate, "Duplicate", QStringLiteral("Копия"), [this] { DuplicateClick(); });
    button(Delete, "Delete", QStringLiteral("Удалить"), [this] { DeleteClick(); });
    edits->addWidget(Duplicate);
    edits->addWidget(Delete);
    v->addLayout(edits);
    return box;
}

void TEditor::relabel() {
    language.apply(this);
    Tabs->setTabText(0, msg("TestTab", QStringLiteral("Тест")));
    Tabs->setTabText(1, msg("QuestionTab", QStringLiteral("Вопрос")));
    // Lists and headings have no label line of their own.
    const QString orders[] = {msg("OrderFree", QStringLiteral("произвольный (вперёд и назад)")),
                              msg("OrderFixed", QStringLiteral("строгий (только вперёд)")),
                              msg("OrderProgram", QStringLiteral("как настроена программа"))};
    for (int i = 0; i < 3; ++i)
        Order->setItemText(i, orders[i]);
    const QString kinds[] = {msg("KindA", QStringLiteral("A — выбор ответа")),
                             msg("KindB", QStringLiteral("B — ввод ответа")),
                             msg("KindD", QStringLiteral("D — порядок (номера на странице)"))};
    for (int i = 0; i < 3; ++i)
        Kind->setItemText(i, kinds[i]);
    Marks->setHorizontalHeaderLabels(
        {msg("MarkFrom", QStringLiteral("от, %")), msg("MarkText", QStringLiteral("→ оценка"))});
    Slots->setHorizontalHeaderLabels({msg("SlotPlaceHeader", QStringLiteral("место")),
                                      msg("SlotNumberHeader", QStringLiteral("верный номер"))});
    for (int i = 0; i < kMaxChoices; ++i)
        RightChoice[std::size_t(i)]->setText(
            msg("RightChoice", QStringLiteral("%1 — верный")).arg(i + 1));
    Dialogs::captions().title = QStringLiteral("Kvizor");
}

void TEditor::SwitchLanguage(const QString& path) {
    if (path.isEmpty())
        language = EditorLanguage();
    else if (!language.loadFile(path))
        return;
    relabel();
    showTest();
    showQuestion();
    showIssues();
    updateTitle();
}

void TEditor::setTest(EditableTest test, QString path) {
    test_ = std::move(test);
    path_ = std::move(path);
    modified_ = false;
    current_ = test_.archive.questions.empty() ? -1 : 0;
    showTest();
    showQuestionList();
    showQuestion();
    showIssues();
    updateTitle();
}

void TEditor::updateTitle() {
    const QString name = path_.isEmpty() ? msg("Untitled", QStringLiteral("Новый тест"))
                                         : QFileInfo(path_).completeBaseName();
    setWindowTitle(QStringLiteral("%1%2 — %3")
                       .arg(name, modified_ ? QStringLiteral(" *") : QString(),
                            msg("Title", QStringLiteral("Kvizor — редактор тестов"))));
}

void TEditor::changed() {
    if (filling_)
        return;
    modified_ = true;
    updateTitle();
    showIssues();
}

bool TEditor::askToKeepChanges() {
    if (!modified_)
        return true;
    switch (prompts.saveChanges(
        this, msg("SaveChanges", QStringLiteral("Тест изменён. Сохранить изменения?")))) {
    case EditorPrompts::SaveAnswer::Save:
        return SaveClick();
    case EditorPrompts::SaveAnswer::Discard:
        return true;
    case EditorPrompts::SaveAnswer::Cancel:
        return false;
    }
    return false;
}

void TEditor::closeEvent(QCloseEvent* event) {
    if (askToKeepChanges()) {
        if (preview_)
            preview_->close();
        event->accept();
    } else {
        event->ignore();
    }
}

void TEditor::NewClick() {
    if (askToKeepChanges())
        setTest(EditableTest::makeNew(), QString());
}

void TEditor::OpenClick() {
    if (!askToKeepChanges())
        return;
    const QString path = prompts.openFile(this, msg("OpenTitle", QStringLiteral("Открыть тест")),
                                          msg("TestFilter", QStringLiteral("Тесты (*.tst)")));
    if (!path.isEmpty())
        OpenFile(path);
}

bool TEditor::OpenFile(const QString& path) {
    ArchiveReadHooks hooks;
    const QString name = QFileInfo(path).completeBaseName();
    hooks.askPassword = [this, name]() -> std::optional<std::string> {
        const std::optional<QString> typed = prompts.password(
            this, msg("PasswordFor", QStringLiteral("Пароль теста %1:")).arg(name));
        if (!typed)
            return std::nullopt;
        return cp1251::fromUnicode(*typed);
    };
    QApplication::setOverrideCursor(Qt::WaitCursor);
    OpenResult r = EditableTest::open(path, std::string(), hooks);
    QApplication::restoreOverrideCursor();
    if (!r.test) {
        if (!r.cancelled)
            Dialogs::error(this,
                           msg("OpenFailed", QStringLiteral("Тест не открыт:\n%1")).arg(r.error));
        return false;
    }
    setTest(std::move(*r.test), path);
    return true;
}

bool TEditor::saveTo(const QString& path) {
    const std::vector<TestIssue> issues = test_.check();
    if (!issues.empty()) {
        showIssues();
        // The first fault on screen, beside its field.
        const TestIssue& first = issues.front();
        if (first.question >= 0) {
            SelectQuestion(first.question);
            Tabs->setCurrentIndex(1);
        } else {
            Tabs->setCurrentIndex(0);
        }
        QStringList lines;
        for (const TestIssue& i : issues)
            lines << (i.question >= 0
                          ? QStringLiteral("%1: %2").arg(
                                QString::fromStdString(test_.labels()[std::size_t(i.question)]),
                                issueText(i))
                          : issueText(i));
        if (lines.size() > 12) {
            const qsizetype more = lines.size() - 12;
            lines = lines.mid(0, 12);
            lines << QStringLiteral("... (%1)").arg(more);
        }
        Dialogs::error(this, msg("NotSaved", QStringLiteral("Тест не сохранён, исправьте:\n%1"))
                                 .arg(lines.join(QLatin1Char('\n'))));
        return false;
    }
    QString why;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool ok = test_.save(path, &why);
    QApplication::restoreOverrideCursor();
    if (!ok) {
        Dialogs::error(this, msg("SaveFailed", QStringLiteral("Тест не сохранён:\n%1")).arg(why));
        return false;
    }
    path_ = path;
    modified_ = false;
    updateTitle();
    return true;
}

bool TEditor::SaveClick() {
    if (path_.isEmpty())
        return SaveAsClick();
    return saveTo(path_);
}

bool TEditor::SaveAsClick() {
    QString path = prompts.saveFile(this, msg("SaveTitle", QStringLiteral("Сохранить тест")),
                                    msg("TestFilter", QStringLiteral("Тесты (*.tst)")));
    if (path.isEmpty())
        return false;
    if (!path.endsWith(QLatin1String(".tst"), Qt::CaseInsensitive))
        path += QStringLiteral(".tst");
    return saveTo(path);
}

void TEditor::ImportClick() {
    if (!askToKeepChanges())
        return;
    const QString folder =
        prompts.folder(this, msg("ImportTitle", QStringLiteral("Папка с test.ini")));
    if (folder.isEmpty())
        return;
    QString why;
    QStringList notes;
    std::optional<EditableTest> t = EditableTest::importFolder(folder, why, &notes);
    if (!t) {
        Dialogs::error(this,
                       msg("ImportFailed", QStringLiteral("Папка не прочитана:\n%1")).arg(why));
        return;
    }
    setTest(std::move(*t), QString());
    modified_ = true;
    updateTitle();
    if (!notes.isEmpty())
        Dialogs::information(this, notes.join(QLatin1Char('\n')));
}

void TEditor::ExportClick() {
    const QString folder =
        prompts.folder(this, msg("ExportTitle", QStringLiteral("Папка для test.ini и страниц")));
    if (folder.isEmpty())
        return;
    QString why;
    if (!test_.exportFolder(folder, &why))
        Dialogs::error(this,
                       msg("ExportFailed", QStringLiteral("Папка не записана:\n%1")).arg(why));
}

void TEditor::PreviewClick(QSize size) {
    if (!preview_)
        preview_ = std::make_unique<TPreview>(language);
    preview_->showTest(test_, size);
}

void TEditor::showQuestionList() {
    filling_ = true;
    Questions->clear();
    const std::vector<std::string> labels = test_.labels();
    const std::vector<TQuestionRec>& qs = test_.archive.questions;
    for (std::size_t k = 0; k < qs.size(); ++k) {
        QString text = k < labels.size() ? QString::fromStdString(labels[k]) : QStringLiteral("?");
        if (!qs[k].topic.empty())
            text += QStringLiteral("  ") + cp1251::toUnicode(qs[k].topic);
        Questions->addItem(text);
    }
    Questions->setCurrentRow(current_);
    filling_ = false;
}

void TEditor::SelectQuestion(int k) {
    if (k < 0 || k >= int(test_.archive.questions.size()))
        k = test_.archive.questions.empty() ? -1 : 0;
    current_ = k;
    currentSlot_ = 0;
    filling_ = true;
    Questions->setCurrentRow(k);
    filling_ = false;
    showQuestion();
    showIssues();
}

void TEditor::AddQuestion(char kind) {
    current_ = test_.addQuestion(kind, current_);
    showQuestionList();
    SelectQuestion(current_);
    Tabs->setCurrentIndex(1);
    changed();
}

void TEditor::DuplicateClick() {
    if (current_ < 0)
        return;
    current_ = test_.duplicateQuestion(current_);
    showQuestionList();
    SelectQuestion(current_);
    changed();
}

void TEditor::DeleteClick() {
    if (current_ < 0)
        return;
    test_.removeQuestion(current_);
    current_ = std::min(current_, int(test_.archive.questions.size()) - 1);
    showQuestionList();
    SelectQuestion(current_);
    changed();
}

void TEditor::MoveQuestion(int from, int to) {
    current_ = test_.moveQuestion(from, to);
    showQuestionList();
    SelectQuestion(current_);
    changed();
}

TQuestionRec* TEditor::question() {
    if (current_ < 0 || current_ >= int(test_.archive.questions.size()))
        return nullptr;
    return &test_.archive.questions[std::size_t(current_)];
}

QLabel* TEditor::makeIssueLabel(TestField field, QWidget* parent) {
    auto* l = new QLabel(parent);
    l->setObjectName(QStringLiteral("Issue%1").arg(int(field)));
    l->setStyleSheet(QStringLiteral("color: #c00000;"));
    l->setWordWrap(true);
    l->hide();
    issueLabels_.push_back({field, l});
    return l;
}

QLabel* TEditor::issueLabel(TestField field) const {
    for (const auto& [f, label] : issueLabels_)
        if (f == field)
            return label;
    return nullptr;
}

QString TEditor::issueText(const TestIssue& issue) const {
    QString text = language.text(issue.key, QString());
    if (text.isEmpty())
        return issue.text;
    for (const QString& a : issue.args)
        text = text.arg(a);
    return text;
}

void TEditor::showIssues() {
    const std::vector<TestIssue> issues = test_.check();
    for (const auto& [field, label] : issueLabels_) {
        QStringList texts;
        for (const TestIssue& i : issues)
            if (i.field == field && (i.question < 0 || i.question == current_))
                texts << issueText(i);
        label->setText(texts.join(QLatin1Char('\n')));
        label->setVisible(!texts.isEmpty());
    }
    // The list shows which questions need work.
    for (int k = 0; k < Questions->count(); ++k) {
        QStringList texts;
        for (const TestIssue& i : issues)
            if (i.question == k)
                texts << issueText(i);
        QListWidgetItem* item = Questions->item(k);
        item->setForeground(texts.isEmpty() ? palette().text().color() : QColor(200, 0, 0));
        item->setToolTip(texts.join(QLatin1Char('\n')));
    }
    statusBar()->showMessage(
        issues.empty()
            ? msg("Ready", QStringLiteral("Тест готов к сохранению"))
            : msg("Faults", QStringLiteral("Исправьте, чтобы сохранить: %1")).arg(issues.size()));
}

} // namespace kvz::editor
