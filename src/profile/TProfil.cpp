#include "profile/TProfil.h"

#include "app/KvizorApp.h"
#include "choice/Catalogue.h"
#include "choice/TSerestf.h"
#include "l10n/Cp1251.h"
#include "l10n/LabelApplier.h"
#include "l10n/MessageTable.h"
#include "net/TClient.h"
#include "platform/Dialogs.h"
#include "platform/Named.h"
#include "profile/Launcher.h"
#include "profile/Profile.h"
#include "shell/IniFile.h"
#include "shell/RunState.h"
#include "shell/Settings.h"
#include "windows/HelpPage.h"
#include "windows/TPas.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QShowEvent>
#include <QThread>
#include <QVBoxLayout>

namespace kvz {

namespace {

QLabel* label(QWidget* parent, const char* name, const QString& text) {
    auto* l = named<QLabel>(parent, name);
    l->setText(text);
    return l;
}

template <typename T> T* captioned(QWidget* parent, const char* name, const QString& text) {
    auto* w = named<T>(parent, name);
    w->setText(text);
    return w;
}

const QString kFilter = QStringLiteral("Профиль для Квизора ФЫВ|*.pte|Все файлы|*");

// The program's icon beside the executable (staged and installed with it).
QString programIcon() {
    const QString icon = QCoreApplication::applicationDirPath() + QStringLiteral("/kvizor.svg");
    return QFileInfo::exists(icon) ? icon : QStringLiteral("kvizor");
}

} // namespace

LazyFileDialog::LazyFileDialog(QWidget* owner, const char* name, bool save)
    : QObject(owner), owner_(owner), save_(save), filters_(fileDialogFilters(kFilter)) {
    setObjectName(QLatin1String(name));
}

void LazyFileDialog::setNameFilters(const QStringList& filters) {
    filters_ = filters;
    if (dialog_)
        dialog_->setNameFilters(filters_);
}

void LazyFileDialog::setDirectory(const QString& folder) {
    folder_ = folder;
    if (dialog_)
        dialog_->setDirectory(folder_);
}

bool LazyFileDialog::isMade() const {
    return !dialog_.isNull();
}

QFileDialog& LazyFileDialog::dialog() {
    if (!dialog_) {
        dialog_ = new QFileDialog(owner_);
        // Our own dialog, so the language file's filter and a test can reach it.
        dialog_->setOption(QFileDialog::DontUseNativeDialog);
        dialog_->setNameFilters(filters_);
        dialog_->setDefaultSuffix(QStringLiteral("pte"));
        dialog_->setAcceptMode(save_ ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dialog_->setFileMode(save_ ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        if (!folder_.isEmpty())
            dialog_->setDirectory(folder_);
    }
    return *dialog_;
}

TProfil::TProfil(KvizorApp& app) : app_(app) {
    setObjectName(QStringLiteral("Profil"));
    setWindowTitle(QStringLiteral("Профиль"));
    setModal(true);

    GroupBox4 = named<QGroupBox>(this, "GroupBox4");
    GroupBox4->setTitle(QStringLiteral("Тип тестирования:"));
    RadioButton1 = captioned<QRadioButton>(GroupBox4, "RadioButton1", QStringLiteral("Сетевое"));
    RadioButton2 = captioned<QRadioButton>(GroupBox4, "RadioButton2", QStringLiteral("Локальное"));
    auto* modeBox = new QVBoxLayout(GroupBox4);
    modeBox->addWidget(RadioButton1);
    modeBox->addWidget(RadioButton2);

    GroupBox2 = named<QGroupBox>(this, "GroupBox2");
    GroupBox2->setTitle(QStringLiteral("Сервер:"));
    Label1 = label(GroupBox2, "Label1", QStringLiteral("Адрес:"));
    Host1 = named<QLineEdit>(GroupBox2, "Host1");
    Label10 = label(GroupBox2, "Label10", QStringLiteral("Порт:"));
    Port1 = named<QLineEdit>(GroupBox2, "Port1");
    Port1->setMaximumWidth(80);
    auto* serverBox = new QGridLayout(GroupBox2);
    serverBox->addWidget(Label1, 0, 0);
    serverBox->addWidget(Host1, 0, 1);
    serverBox->addWidget(Label10, 1, 0);
    serverBox->addWidget(Port1, 1, 1, Qt::AlignLeft);

    GroupBox1 = named<QGroupBox>(this, "GroupBox1");
    GroupBox1->setTitle(QStringLiteral("Использовать тест со следующими характеристиками:"));
    Label7 = label(GroupBox1, "Label7",
                   QStringLiteral("Имя теста (можно ввести шаблон с использованием * и ?):"));
    ComboBox1 = named<QComboBox>(GroupBox1, "ComboBox1");
    Label8 = label(GroupBox1, "Label8", QStringLiteral("Класс:"));
    Edit2 = named<QComboBox>(GroupBox1, "Edit2");
    Label9 = label(GroupBox1, "Label9", QStringLiteral("Предмет:"));
    Edit3 = named<QComboBox>(GroupBox1, "Edit3");
    Label13 = label(GroupBox1, "Label13", QStringLiteral("Если есть выбор:"));
    ComboBox2 = named<QComboBox>(GroupBox1, "ComboBox2");
    for (QComboBox* box : {ComboBox1, Edit2, Edit3}) {
        box->setEditable(true);
        box->setInsertPolicy(QComboBox::NoInsert);
    }
    auto* testBox = new QGridLayout(GroupBox1);
    testBox->addWidget(Label7, 0, 0, 1, 2);
    testBox->addWidget(ComboBox1, 1, 0, 1, 2);
    testBox->addWidget(Label8, 2, 0);
    testBox->addWidget(Edit2, 2, 1);
    testBox->addWidget(Label9, 3, 0);
    testBox->addWidget(Edit3, 3, 1);
    testBox->addWidget(Label13, 4, 0);
    testBox->addWidget(ComboBox2, 4, 1);
    testBox->setColumnStretch(1, 1);

    GroupBox5 = named<QGroupBox>(this, "GroupBox5");
    GroupBox5->setTitle(QStringLiteral("Информация о проходящем тестирование:"));
    Label2 = label(GroupBox5, "Label2", QStringLiteral("Класс:"));
    Edit1 = named<QLineEdit>(GroupBox5, "Edit1");
    Label3 = label(GroupBox5, "Label3", QStringLiteral("Имя:"));
    Edit7 = named<QLineEdit>(GroupBox5, "Edit7");
    Label12 = label(GroupBox5, "Label12", QStringLiteral("Пароль:"));
    Edit9 = named<QLineEdit>(GroupBox5, "Edit9");
    Edit9->setMaxLength(int(kProfilePasswordMax));
    CheckBox4 = captioned<QCheckBox>(GroupBox5, "CheckBox4", QStringLiteral("Скрывать"));
    auto* examineeBox = new QGridLayout(GroupBox5);
    examineeBox->addWidget(Label2, 0, 0);
    examineeBox->addWidget(Edit1, 0, 1, 1, 2);
    examineeBox->addWidget(Label3, 1, 0);
    examineeBox->addWidget(Edit7, 1, 1, 1, 2);
    examineeBox->addWidget(Label12, 2, 0);
    examineeBox->addWidget(Edit9, 2, 1);
    examineeBox->addWidget(CheckBox4, 2, 2);
    examineeBox->setColumnStretch(1, 1);

    Label11 = captioned<QCheckBox>(this, "Label11", QStringLiteral("Результат сохранять в:"));
    Edit8 = named<QLineEdit>(this, "Edit8");
    Edit8->setReadOnly(true);
    Button6 = captioned<QPushButton>(this, "Button6", QStringLiteral("..."));
    Button6->setFixedWidth(32);
    Label4 = label(this, "Label4",
                   QStringLiteral("Сохранять результат в виде текста в файл (Полный путь):"));
    Edit6 = named<QLineEdit>(this, "Edit6");
    Label6 = label(this, "Label6",
                   QStringLiteral("После тестирования запустить программу (Полный путь):"));
    Edit5 = named<QLineEdit>(this, "Edit5");
    Label5 = label(this, "Label5", QStringLiteral("При выходе запустить программу (Полный путь):"));
    Edit4 = named<QLineEdit>(this, "Edit4");
    CheckBox1 =
        captioned<QCheckBox>(this, "CheckBox1", QStringLiteral("Задания в случайном порядке"));
    CheckBox3 = captioned<QCheckBox>(
        this, "CheckBox3", QStringLiteral("Выйти из программы сразу по завершению тестирования"));
    CheckBox2 =
        captioned<QCheckBox>(this, "CheckBox2", QStringLiteral("Запретить повторение теста"));

    GroupBox3 = named<QGroupBox>(this, "GroupBox3");
    GroupBox3->setTitle(QStringLiteral("Создать ярлык к профилю"));
    Button4 = captioned<QPushButton>(GroupBox3, "Button4", QStringLiteral("на рабочем столе"));
    Button5 = captioned<QPushButton>(GroupBox3, "Button5", QStringLiteral("в меню приложений"));
    auto* launcherBox = new QHBoxLayout(GroupBox3);
    launcherBox->addWidget(Button4);
    launcherBox->addWidget(Button5);

    Button1 = captioned<QPushButton>(this, "Button1", QStringLiteral("Открыть"));
    Button3 = captioned<QPushButton>(this, "Button3", QStringLiteral("Сохранить"));
    Button2 = captioned<QPushButton>(this, "Button2", QStringLiteral("Выход"));
    Button7 = captioned<QPushButton>(this, "Button7", QStringLiteral("Помощь"));
    OpenDialog1 = new LazyFileDialog(this, "OpenDialog1", false);
    SaveDialog1 = new LazyFileDialog(this, "SaveDialog1", true);

    auto* top = new QHBoxLayout;
    top->addWidget(GroupBox4);
    top->addWidget(GroupBox2, 1);
    auto* results = new QHBoxLayout;
    results->addWidget(Label11);
    results->addWidget(Edit8, 1);
    results->addWidget(Button6);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Button1);
    buttons->addWidget(Button3);
    buttons->addStretch(1);
    buttons->addWidget(Button7);
    buttons->addWidget(Button2);
    // Two columns, so the editor fits a 1024 x 768 screen: what is tested on the left, what
    // happens with the results on the right.
    auto* left = new QVBoxLayout;
    left->addLayout(top);
    left->addWidget(GroupBox1);
    left->addWidget(GroupBox5);
    left->addStretch(1);
    auto* right = new QVBoxLayout;
    right->addLayout(results);
    for (QWidget* w : std::initializer_list<QWidget*>{Label4, Edit6, Label6, Edit5, Label5, Edit4,
                                                      CheckBox1, CheckBox3, CheckBox2, GroupBox3})
        right->addWidget(w);
    right->addStretch(1);
    auto* columns = new QHBoxLayout;
    columns->addLayout(left, 1);
    columns->addSpacing(8);
    columns->addLayout(right, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns);
    layout->addLayout(buttons);
    setMinimumWidth(860);

    runFileDialog = [](QFileDialog& d) { return d.exec(); };
    waitBetweenPrompts = [](int ms) {
        // The prompt is gone meanwhile; the windows keep painting but take no input.
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
            QThread::msleep(10);
        }
    };

    connect(RadioButton1, &QRadioButton::toggled, this, [this] { modeChanged(); });
    connect(RadioButton2, &QRadioButton::toggled, this, [this] { modeChanged(); });
    connect(ComboBox1, &QComboBox::editTextChanged, this,
            [this](const QString& t) { ComboBox1Change(t); });
    connect(CheckBox4, &QCheckBox::toggled, this, [this](bool hide) {
        Edit9->setEchoMode(hide ? QLineEdit::Password : QLineEdit::Normal);
    });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
    connect(Button4, &QPushButton::clicked, this, [this] { Button4Click(); });
    connect(Button5, &QPushButton::clicked, this, [this] { Button5Click(); });
    connect(Button6, &QPushButton::clicked, this, [this] { Button6Click(); });
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
    connect(Button7, &QPushButton::clicked, this, [this] { help(); });
    auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
    f1->setContext(Qt::WindowShortcut);
    connect(f1, &QShortcut::activated, this, [this] { help(); });

    // FormCreate: the two ways of choosing among several matching tests.
    QString choices = app_.messages().text(61);
    choices.remove(QLatin1Char('\r'));
    ComboBox2->addItems(choices.split(QLatin1Char('\n')));
    ComboBox2->setCurrentIndex(0);
    Edit9->setEchoMode(QLineEdit::Password);
    reset(false);
}

void TProfil::help() {
    showHelpTopic(*this, app_.runState().programFolder, QStringLiteral("hc_Profil_kvizora"),
                  app_.messages());
}

void TProfil::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TProfil::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    if (!event->spontaneous())
        reset(true);
}

void TProfil::FormShow() {
    const RunState& rs = app_.runState();
    const MessageTable& msg = app_.messages();
    const IniDocument topics = IniFile(rs.programFolder + QStringLiteral("/Topic.ini")).load();
    for (auto [box, section] : {std::pair{Edit3, "Predmet"}, std::pair{Edit2, "Klass"}}) {
        const QSignalBlocker quiet(box);
        box->clear();
        box->addItem(msg.text(40));
        for (const std::string& key : topics.keys(section))
            box->addItem(cp1251::toUnicode(key));
        box->setCurrentIndex(0);
    }
    Label11->setChecked(true);
    Label11->setText(msg.text(64));

    {
        const QSignalBlocker quiet(ComboBox1);
        ComboBox1->clear();
        QStringList names;
        const QDir base(rs.programFolder + QStringLiteral("/Base"));
        for (const QFileInfo& f :
             base.entryInfoList({QStringLiteral("*.tst")}, QDir::Files | QDir::Hidden))
            names << StripExtension(f.fileName());
        std::sort(names.begin(), names.end(), CatalogueNameLess);
        ComboBox1->addItems(names);
        ComboBox1->setEditText(QStringLiteral("*"));
    }
    for (LazyFileDialog* d : {OpenDialog1, SaveDialog1})
        d->setDirectory(rs.programFolder);
    setResultValue(resultValueForFolder(rs.resultsFolder, rs.programFolder));
    modeChanged();
}

void TProfil::reset(bool keepTestName) {
    RadioButton2->setChecked(true);
    CheckBox4->setChecked(true);
    // The server as the client window shows it; before that window has its fields, the
    // settings it would take them from.
    const TClient& client = app_.client();
    const auto* host = client.findChild<QLineEdit*>(QStringLiteral("Host1"));
    const auto* port = client.findChild<QLineEdit*>(QStringLiteral("Port1"));
    const Settings settings(app_.runState().programFolder);
    Host1->setText(host ? host->text() : cp1251::toUnicode(settings.netHost()));
    Port1->setText(port ? port->text() : cp1251::toUnicode(settings.netPort()));
    if (!keepTestName)
        ComboBox1->setEditText(QString());
    for (QComboBox* box : {Edit2, Edit3})
        box->setEditText(QString());
    for (QLineEdit* e : {Edit9, Edit1, Edit7, Edit6, Edit5, Edit4})
        e->clear();
    for (QCheckBox* c : {CheckBox1, CheckBox2, CheckBox3})
        c->setChecked(false);
    modeChanged();
}

void TProfil::modeChanged() {
    const bool net = RadioButton1->isChecked();
    GroupBox2->setEnabled(net);
    for (QLineEdit* e : {Host1, Port1}) {
        QPalette p = e->palette();
        p.setColor(QPalette::Base, palette().color(net ? QPalette::Base : QPalette::Button));
        e->setPalette(p);
    }
    Label11->setText(app_.messages().text(net ? 65 : 64));
}

void TProfil::ComboBox1Change(const QString& text) {
    if (text.contains(QLatin1Char('?')) || text.contains(QLatin1Char('*')) || text.isEmpty())
        return;
    const QString file = text + QStringLiteral(".tst");
    if (!QFileInfo(app_.runState().programFolder + QStringLiteral("/Base/") + file).isFile())
        return;
    const std::optional<CatalogueInfo> info =
        ReadCatalogueInfo(app_.runState().programFolder, file);
    if (!info)
        return;
    Edit2->setEditText(cp1251::toUnicode(info->klass));
    Edit3->setEditText(cp1251::toUnicode(info->subject));
}

std::string TProfil::filterValue(const QComboBox* box) const {
    if (box->currentText() == app_.messages().text(40))
        return std::string(kAnyMarker);
    return cp1251::fromUnicode(box->currentText());
}

void TProfil::setAllText(QComboBox* box, const std::string& value) {
    box->setEditText(value == kAnyMarker ? app_.messages().text(40) : cp1251::toUnicode(value));
}

void TProfil::Button3Click() {
    if (ComboBox1->currentText().isEmpty()) {
        ComboBox1->setFocus();
        Dialogs::error(this, app_.messages().text(60));
        return;
    }
    QFileDialog& saver = SaveDialog1->dialog();
    if (runFileDialog(saver) != QDialog::Accepted || saver.selectedFiles().isEmpty())
        return;
    const QString path = saver.selectedFiles().constFirst();

    Profile p;
    p.type = RadioButton1->isChecked() ? "net" : "loc";
    p.host = cp1251::fromUnicode(Host1->text());
    p.port = cp1251::fromUnicode(Port1->text());
    p.testName = cp1251::fromUnicode(ComboBox1->currentText());
    p.testClass = filterValue(Edit2);
    p.subject = filterValue(Edit3);
    p.classGroup = cp1251::fromUnicode(Edit1->text());
    p.examineeName = cp1251::fromUnicode(Edit7->text());
    p.select = ComboBox2->currentIndex() < 0 ? 0 : ComboBox2->currentIndex();
    p.password = cp1251::fromUnicode(Edit9->text());
    p.result = resultValue_;
    p.textResultFile = cp1251::fromUnicode(Edit6->text());
    p.commandAfterTest = cp1251::fromUnicode(Edit5->text());
    p.commandAtExit = cp1251::fromUnicode(Edit4->text());
    p.shuffle = CheckBox1->isChecked();
    p.exitAfterTest = CheckBox3->isChecked();
    p.noRepeat = CheckBox2->isChecked();
    p.saveResult = Label11->isChecked();
    QString error;
    if (!writeProfile(path, p, &error))
        Dialogs::error(this, error);
}

void TProfil::Button1Click() {
    QFileDialog& opener = OpenDialog1->dialog();
    if (runFileDialog(opener) != QDialog::Accepted || opener.selectedFiles().isEmpty())
        return;
    const QString path = opener.selectedFiles().constFirst();
    reset(false);

    const IniDocument doc = IniFile(path).load();
    const Profile p = parseProfile(doc);
    if (!p.password.empty()) {
        TPas& pas = app_.pas();
        const std::string title = formatMessage(app_.messages().msg(5),
                                                {cp1251::fromUnicode(QFileInfo(path).fileName())});
        pas.setWindowTitle(cp1251::toUnicode(title));
        const QString expected = cp1251::toUnicode(p.password);
        int wait = 100;
        for (;;) {
            pas.Edit1->clear();
            if (pas.exec() != QDialog::Accepted) {
                pas.Edit1->clear();
                return;
            }
            if (pas.Edit1->text() == expected)
                break;
            waitBetweenPrompts(wait);
            wait += 1000;
        }
        pas.Edit1->clear();
    }

    // A type other than the two is kept as local, as after a reset.
    (p.type == "net" ? RadioButton1 : RadioButton2)->setChecked(true);
    Host1->setText(cp1251::toUnicode(p.host));
    Port1->setText(cp1251::toUnicode(p.port));
    ComboBox1->setEditText(cp1251::toUnicode(p.testName));
    Edit9->setText(cp1251::toUnicode(p.password));
    setAllText(Edit2, p.testClass.value_or(std::string(kAnyMarker)));
    setAllText(Edit3, p.subject.value_or(std::string(kAnyMarker)));
    Edit1->setText(cp1251::toUnicode(p.classGroup));
    Edit7->setText(cp1251::toUnicode(p.examineeName));
    Edit6->setText(cp1251::toUnicode(p.textResultFile));
    setResultValue(p.result.value_or(std::string()));
    Edit5->setText(cp1251::toUnicode(p.commandAfterTest));
    Edit4->setText(cp1251::toUnicode(p.commandAtExit));
    ComboBox2->setCurrentIndex(p.select == 0 ? 0 : 1);
    CheckBox1->setChecked(p.shuffle);
    CheckBox3->setChecked(p.exitAfterTest);
    CheckBox2->setChecked(p.noRepeat);
    Label11->setChecked(p.saveResult);
}

void TProfil::Button6Click() {
    const RunState& rs = app_.runState();
    // The results dialog works on the program folder's own sub-folders, written with "/".
    QString relative = cp1251::toUnicode(resultValue_);
    const bool below =
        relative.startsWith(QLatin1Char('\\')) && !relative.startsWith(QStringLiteral("\\\\"));
    relative =
        below ? relative.replace(QLatin1Char('\\'), QLatin1Char('/')) : QStringLiteral("/Results");
    QLineEdit field(relative);
    if (!ChooseResultsFolder(app_, field, 110))
        return;
    setResultValue(resultValueForFolder(rs.programFolder + field.text(), rs.programFolder));
}

void TProfil::setResultValue(const std::string& value) {
    resultValue_ = value;
    // The profile keeps a folder below the program folder as "\Results\9А"; the field shows it as
    // every other window shows a results folder, with "/".
    QString shown = cp1251::toUnicode(value);
    if (shown.startsWith(QLatin1Char('\\')) && !shown.startsWith(QStringLiteral("\\\\")))
        shown.replace(QLatin1Char('\\'), QLatin1Char('/'));
    Edit8->setText(shown);
}

void TProfil::Button4Click() {
    makeLauncher(true);
}

void TProfil::Button5Click() {
    makeLauncher(false);
}

void TProfil::makeLauncher(bool desktop) {
    QFileDialog& opener = OpenDialog1->dialog();
    if (runFileDialog(opener) != QDialog::Accepted || opener.selectedFiles().isEmpty())
        return;
    const QString profile = QFileInfo(opener.selectedFiles().constFirst()).absoluteFilePath();
    // The launcher's run works in this program's folder, wherever the profile lies.
    const LauncherEntry entry = profileLauncher(profile, QCoreApplication::applicationFilePath(),
                                                app_.runState().programFolder, programIcon());
    const QString base = profileBaseName(profile);
    QString error;
    const QString written =
        desktop ? writeLauncher(desktopFolder(),
                                QStringLiteral("Kvizor.") + base + QStringLiteral(".desktop"),
                                entry, &error)
                : writeLauncher(menuFolder(), base + QStringLiteral(".desktop"), entry, &error);
    if (written.isEmpty())
        Dialogs::error(this, error);
}

} // namespace kvz
