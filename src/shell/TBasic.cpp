#include "shell/TBasic.h"

#include "app/KvizorApp.h"
#include "choice/TInform.h"
#include "choice/TPrepere.h"
#include "choice/TSerestf.h"
#include "l10n/Cp1251.h"
#include "l10n/LabelApplier.h"
#include "l10n/Language.h"
#include "l10n/TAbout.h"
#include "net/TBlokator.h"
#include "net/TClient.h"
#include "net/TMessager.h"
#include "net/TSelectTest.h"
#include "platform/Dialogs.h"
#include "platform/Lockdown.h"
#include "platform/Shell.h"
#include "profile/ProfileRunner.h"
#include "profile/TProfil.h"
#include "results/TResultats.h"
#include "run/JournalKeeper.h"
#include "run/TMessage1.h"
#include "run/TTopros.h"
#include "shell/PngImage.h"
#include "shell/Settings.h"
#include "shell/StartUp.h"
#include "shell/TStart.h"
#include "windows/HelpPage.h"
#include "windows/THelper.h"
#include "windows/TPas.h"
#include "windows/TProgres.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <initializer_list>

namespace kvz {

namespace {

const QString kVersion = QStringLiteral("1.60");

QPushButton* namedButton(QWidget* parent, const char* name, const QString& text) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    return b;
}

QLabel* titleLabel(QWidget* parent, const char* name, const QColor& colour, QPoint offset) {
    auto* l = new QLabel(parent);
    l->setObjectName(QLatin1String(name));
    QFont f = l->font();
    f.setPointSize(20);
    f.setBold(true);
    l->setFont(f);
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, colour);
    l->setPalette(p);
    l->setAlignment(Qt::AlignCenter);
    l->setProperty("embossOffset", offset);
    return l;
}

// Keeps the three title labels stacked over each other with their small offsets.
class TitlePanel : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void resizeEvent(QResizeEvent*) override {
        for (QLabel* l : findChildren<QLabel*>(Qt::FindDirectChildrenOnly))
            l->setGeometry(rect().translated(l->property("embossOffset").toPoint()));
    }
};

void centreOnScreen(QWidget& w) {
    if (QScreen* screen = QGuiApplication::primaryScreen())
        w.move(screen->availableGeometry().center() - w.rect().center());
}

} // namespace

TBasic::TBasic(KvizorApp& app) : app_(app) {
    setObjectName(QStringLiteral("Basic"));
    setWindowTitle(QStringLiteral("Квизор"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::WindowMinimizeButtonHint);

    Panel6 = new TitlePanel(this);
    Panel6->setObjectName(QStringLiteral("Panel6"));
    Panel6->setFixedHeight(48);
    // Grey shadow, white light and the face on top: an embossed title.
    Label1 = titleLabel(Panel6, "Label1", QColor(128, 128, 128), QPoint(2, 2));
    Label2 = titleLabel(Panel6, "Label2", QColor(255, 255, 255), QPoint(-1, -1));
    Label3 = titleLabel(Panel6, "Label3", palette().color(QPalette::Window), QPoint(0, 0));
    const QString title = QStringLiteral("Квизор ") + kVersion;
    for (QLabel* l : {Label1, Label2, Label3})
        l->setText(title);

    Panel5 = new QLabel(QStringLiteral("Выберите тип тестирования:"), this);
    Panel5->setObjectName(QStringLiteral("Panel5"));
    Panel5->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel5->setAlignment(Qt::AlignCenter);
    // Room around the words inside the sunken frame, in every language.
    Panel5->setMargin(6);
    Panel5->setMinimumHeight(32);

    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Image1 = new QLabel(Panel1);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setAlignment(Qt::AlignCenter);
    Image2 = new QLabel(Panel1);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setAlignment(Qt::AlignCenter);
    Button4 = namedButton(Panel1, "Button4", QStringLiteral("Сетевое"));
    Button5 = namedButton(Panel1, "Button5", QStringLiteral("Локальное"));
    auto* modes = new QGridLayout(Panel1);
    modes->addWidget(Image1, 0, 0);
    modes->addWidget(Image2, 0, 1);
    modes->addWidget(Button4, 1, 0);
    modes->addWidget(Button5, 1, 1);

    Button7 = namedButton(this, "Button7", QStringLiteral("Профиль"));
    Button6 = namedButton(this, "Button6", QStringLiteral("Language"));
    Button1 = namedButton(this, "Button1", QStringLiteral("Поддержка"));
    Button2 = namedButton(this, "Button2", QStringLiteral("О программе"));
    Button3 = namedButton(this, "Button3", QStringLiteral("Выход"));
    auto* tools = new QGridLayout;
    tools->addWidget(Button7, 0, 0);
    tools->addWidget(Button6, 0, 1);
    tools->addWidget(Button1, 1, 0);
    tools->addWidget(Button2, 1, 1);
    tools->addWidget(Button3, 2, 0, 1, 2);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Panel6);
    layout->addWidget(Panel5);
    layout->addWidget(Panel1);
    layout->addLayout(tools);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    PopupMenu1->setToolTipsVisible(true);
    zorkaweb1 = PopupMenu1->addAction(QStringLiteral("Письмо автору"));
    zorkaweb1->setObjectName(QStringLiteral("zorkaweb1"));
    wwwzorkaweb1 = PopupMenu1->addAction(QStringLiteral("Страничка в Internet"));
    wwwzorkaweb1->setObjectName(QStringLiteral("wwwzorkaweb1"));
    PopupMenu2 = new QMenu(this);
    PopupMenu2->setObjectName(QStringLiteral("PopupMenu2"));
    languageGroup_ = new QActionGroup(this);
    languageGroup_->setExclusive(true);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);

    // F1 reaches the window whichever control has the focus.
    auto* help = new QAction(this);
    help->setShortcut(Qt::Key_F1);
    help->setShortcutContext(Qt::WindowShortcut);
    addAction(help);
    connect(help, &QAction::triggered, this, [this] {
        showHelpTopic(*this, runState_.programFolder, QStringLiteral("hc_O_programme_Kvizor"),
                      messages_);
    });

    connect(Button4, &QPushButton::clicked, this, &TBasic::SpeedButton2Click);
    connect(Button5, &QPushButton::clicked, this, &TBasic::SpeedButton5Click);
    connect(Button7, &QPushButton::clicked, this, &TBasic::Button7Click);
    connect(Button6, &QPushButton::clicked, this, &TBasic::Button6Click);
    connect(Button1, &QPushButton::clicked, this, &TBasic::SpeedButton3Click);
    connect(Button2, &QPushButton::clicked, this, &TBasic::SpeedButton4Click);
    connect(Button3, &QPushButton::clicked, this, [this] { close(); });
    connect(zorkaweb1, &QAction::triggered, this, &TBasic::zorkaweb1Click);
    connect(wwwzorkaweb1, &QAction::triggered, this, &TBasic::wwwzorkaweb1Click);
    connect(Timer1, &QTimer::timeout, this, &TBasic::Timer1Timer);

    FormCreate();
}

TBasic::~TBasic() {
    // FormDestroy: the built-in language file written for this run goes with it.
    if (runState_.languageFolderMissing)
        QFile::remove(runState_.tempFolder + QLatin1String(kBuiltinLanguageFile));
}

void TBasic::FormCreate() {
    RunState& rs = runState_;
    rs.interactive = false;
    // Where the pointer cannot be moved (Wayland, no screen) the features that need input
    // blocking run without it.
    const QString platform = QGuiApplication::platformName();
    rs.limitedPlatform =
        platform.startsWith(QLatin1String("wayland")) || !QGuiApplication::primaryScreen();
    rs.blockInput = !rs.limitedPlatform;

    // Numbers are written and read with "." whatever the desktop's locale.
    QLocale::setDefault(QLocale::c());

    rs.programFolder = resolveProgramFolder(app_.parameters(), app_.executableFolder());
    rs.tempFolder = systemTempFolder();
    rs.languageFolderMissing = !QFileInfo(rs.programFolder + QStringLiteral("/Language")).isDir();
    // The splash normally wrote the built-in file; a run without it (or a file removed since)
    // still starts in the built-in language.
    if (rs.languageFolderMissing &&
        !QFileInfo::exists(rs.tempFolder + QLatin1String(kBuiltinLanguageFile)))
        writeBuiltinLanguage(rs.tempFolder);

    Settings settings(rs.programFolder);
    const LanguageHints hints = loadLanguage(messages_, languageFilePath(rs, settings.language()));
    setHints(hints.webPage, hints.supportMail);

    rs.verdicts.clear();
    QDir().mkdir(rs.programFolder + QStringLiteral("/Base"));
    QDir().mkdir(rs.programFolder + QStringLiteral("/Results"));
    rs.studentMode = settings.student();
    rs.resultsFolder = settings.resPatch();

    Image1->setPixmap(
        QPixmap::fromImage(readPngImage(QStringLiteral(":/kvizor/images/mode_a.png"))));
    Image2->setPixmap(
        QPixmap::fromImage(readPngImage(QStringLiteral(":/kvizor/images/mode_b.png"))));
    setWindowTitle(messages_.text(0));
    adjustSize();
    centreOnScreen(*this);
    Timer1->start();
}

void TBasic::setHints(const std::string& webPage, const std::string& supportMail) {
    wwwzorkaweb1->setToolTip(cp1251::toUnicode(webPage));
    zorkaweb1->setToolTip(cp1251::toUnicode(supportMail));
}

void TBasic::setTitle(const QString& title) {
    for (QLabel* l : {Label1, Label2, Label3})
        l->setText(title);
}

void TBasic::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

namespace {
constexpr int kSecondCopyMessageMs = 10000;
} // namespace

void TBasic::FormShow() {
    // The progress window, the pause window and the results take their part of this step
    // when they are made (firstMade).
    if (PopupMenu2->actions().isEmpty())
        buildLanguageMenu();

    if (app_.toprosMade())
        indentRunMenu();

    if (app_.splash())
        Timer1->start();

    if (!resumeChecked_) {
        // A run cut short by a crash or a power cut comes back before anything else, in the
        // language just applied.
        resumeChecked_ = true;
        if (app_.journal().claim() == JournalLock::State::Busy) {
            // Another copy of the program runs for this user, perhaps with a test under way:
            // two copies would keep, resume and store the same run twice.
            qWarning("kvizor: another copy of the program is running; this one ends");
            // Under the other copy's lock-down this box may never be seen: it goes by itself.
            QTimer::singleShot(kSecondCopyMessageMs, this, [] {
                if (QWidget* box = QApplication::activeModalWidget())
                    box->close();
            });
            Dialogs::error(nullptr, messages_.text(71));
            app_.requestEnd(0);
            return;
        }
        if (runMayWait() && app_.topros().ResumeUnfinishedRun()) {
            resumedRun_ = true;
            hide();
            return;
        }
    }
    if (runState_.interactive)
        return;
    if (!app_.parameters().isEmpty()) {
        // The profile named on the command line drives this run; it sets interactive itself
        // where the profile asks for the main window.
        app_.profileRunner().Run();
        return;
    }
    runState_.interactive = true;
}

void TBasic::buildLanguageMenu() {
    const QString folder = runState_.languageFolderMissing
                               ? runState_.tempFolder
                               : runState_.programFolder + QStringLiteral("/Language");
    runState_.languages = listLanguages(folder);
    for (const LanguageEntry& e : runState_.languages) {
        auto* a = new QAction(cp1251::toUnicode(e.displayName), PopupMenu2);
        a->setObjectName(QFileInfo(e.fileName).completeBaseName() + QLatin1Char('1'));
        a->setCheckable(true);
        languageGroup_->addAction(a);
        PopupMenu2->addAction(a);
        connect(a, &QAction::triggered, this, [this, a] {
            Panel2Click(a);
            saveLanguageChoice();
        });
    }
    // The flags are decoded when the menu is first opened: decoding loads the image plugins.
    connect(PopupMenu2, &QMenu::aboutToShow, this, [this] {
        const QList<QAction*> actions = PopupMenu2->actions();
        for (qsizetype i = 0; i < actions.size() && i < qsizetype(runState_.languages.size()); ++i)
            if (actions[i]->icon().isNull())
                if (const QImage flag = decodeFlag(runState_.languages[std::size_t(i)].flagHex);
                    !flag.isNull())
                    actions[i]->setIcon(QIcon(QPixmap::fromImage(flag)));
    });
    const Settings settings(runState_.programFolder);
    switchLanguage(cp1251::toUnicode(settings.language()));
}

bool TBasic::switchLanguage(const QString& baseName) {
    for (QAction* a : PopupMenu2->actions())
        if (a->objectName() == baseName + QLatin1Char('1')) {
            Panel2Click(a);
            return true;
        }
    return false;
}

QString TBasic::checkedLanguage() const {
    for (QAction* a : PopupMenu2->actions())
        if (a->isChecked() && a->objectName().endsWith(QLatin1Char('1')))
            return a->objectName().chopped(1);
    return {};
}

void TBasic::Panel2Click(QAction* entry) {
    if (!entry || !entry->objectName().endsWith(QLatin1Char('1')))
        return;
    const std::string name = cp1251::fromUnicode(entry->objectName().chopped(1));
    const QString path = languageFilePath(runState_, name);
    const LanguageHints hints = loadLanguage(messages_, path);
    setHints(hints.webPage, hints.supportMail);

    // One read of the file serves the thanks and the labels (and the messages above).
    const IniDocument language = IniFile(path).load();
    thanks_ = cp1251::toUnicode(language.readString("Info", "Thanks", ""));
    languageText_ = std::string(language.text());
    if (app_.aboutMade())
        if (QObject* memo = app_.about().findChild<QObject*>(QStringLiteral("Memo1")))
            memo->setProperty("plainText", thanks_);

    DialogButtonCaptions& c = Dialogs::captions();
    c.title = messages_.text(0);
    c.yes = messages_.text(7);
    c.no = messages_.text(10);
    c.ok = messages_.text(25);
    c.cancel = messages_.text(24);
    c.abort = messages_.text(50);
    c.ignore = messages_.text(49);

    setTitle(messages_.text(0) + QLatin1Char(' ') + kVersion);
    relabelFromMessages();
    reportLabelFailures(applyLabelSection(languageText_));
    // The language's lines give the run menu's entries without their indent.
    if (app_.toprosMade())
        indentRunMenu();

    if (runState_.studentMode) {
        for (QWidget* w : app_.madeWindows())
            studentLabelsTo(*w);
    }
    entry->setChecked(true);
}

void TBasic::saveLanguageChoice() {
    // Kept when chosen, not only at a normal exit: a run that ends otherwise keeps it too.
    QString error;
    if (!Settings(runState_.programFolder)
             .writeLanguage(cp1251::fromUnicode(checkedLanguage()), &error))
        Dialogs::error(this, error);
}

void TBasic::relabelFromMessages() {
    for (QWidget* w : app_.madeWindows())
        messagesTo(*w);
}

void TBasic::messagesTo(QWidget& window) {
    const QString& name = window.objectName();
    // The program's name is the title of the windows that carry no title of their own.
    if (&window == this || name == QLatin1String("Inform") || name == QLatin1String("Topros") ||
        name == QLatin1String("Blokator") || name == QLatin1String("Message1"))
        window.setWindowTitle(messages_.text(0));
    if (name == QLatin1String("Resultats"))
        window.setWindowTitle(messages_.text(51));
    if (name == QLatin1String("Client"))
        window.setWindowTitle(messages_.text(28) + (window.windowTitle().endsWith(QLatin1Char('*'))
                                                        ? QStringLiteral("*")
                                                        : QString()));
    // Texts the windows otherwise take from the table only when they are next shown.
    if (name == QLatin1String("Inform"))
        if (auto* l = window.findChild<QLabel*>(QStringLiteral("Label5")))
            l->setText(messages_.text(runState_.studentMode ? 15 : 14));
    if (name == QLatin1String("Blokator"))
        if (auto* pause = app_.blokator().Panel1)
            pause->setText(messages_.text(41));
    if (name != QLatin1String("Profil"))
        return;
    TProfil& profil = app_.profil();
    if (auto* l = profil.findChild<QAbstractButton*>(QStringLiteral("Label11")))
        l->setText(messages_.text(profil.RadioButton1->isChecked() ? 65 : 64));
    // The two ways of choosing among several tests, in their order.
    QString choices = messages_.text(61);
    choices.remove(QLatin1Char('\r'));
    const QStringList ways = choices.split(QLatin1Char('\n'));
    for (int i = 0; i < std::min(int(ways.size()), profil.ComboBox2->count()); ++i)
        profil.ComboBox2->setItemText(i, ways[i]);
}

void TBasic::firstMade(QWidget& window) {
    const QString& name = window.objectName();
    if (name == QLatin1String("Progres"))
        centreOnScreen(window);
    else if (name == QLatin1String("Blokator"))
        if (auto* pause = app_.blokator().Panel1)
            pause->setText(messages_.text(41));
    if (name == QLatin1String("Resultats"))
        if (QWidget* panel = app_.resultats().Panel1)
            runState_.resultsPanelHeight = panel->height();
}

void TBasic::reportLabelFailures(const LabelFailureReport& failures) {
    if (failures.empty())
        return;
    // The lines that name something missing, in one message rather than one box per line;
    // shown once the windows are up, so the main window is not left unpainted.
    QTimer::singleShot(0, this, [this, text = failures.text()] { Dialogs::plain(this, text); });
}

void TBasic::studentLabelsTo(QWidget& window) {
    const QString& name = window.objectName();
    std::vector<std::pair<const char*, int>> labels;
    if (name == QLatin1String("Prepere"))
        labels = {{"Label4", 12}};
    else if (name == QLatin1String("Resultats"))
        labels = {{"Label1", 56}};
    else if (name == QLatin1String("Profil"))
        labels = {{"Label8", 12}, {"Label2", 56}};
    for (const auto& [component, message] : labels)
        if (auto* l = window.findChild<QLabel*>(QLatin1String(component)))
            l->setText(messages_.text(message));
}

void TBasic::languageToLateWindow(QWidget& window) {
    firstMade(window);
    // Made before the language is first applied: that step gives it its texts.
    if (languageText_.empty())
        return;
    if (window.objectName() == QLatin1String("About"))
        if (QObject* memo = window.findChild<QObject*>(QStringLiteral("Memo1")))
            memo->setProperty("plainText", thanks_);
    messagesTo(window);
    reportLabelFailures(applyLabelSection(languageText_, &window));
    if (runState_.studentMode)
        studentLabelsTo(window);
    if (window.objectName() == QLatin1String("Topros"))
        indentRunMenu();
}

LabelFailureReport TBasic::applyLabelSection(std::string_view languageText, QWidget* only) {
    LabelFailureReport failures;
    const std::vector<QWidget*> windows = only ? std::vector<QWidget*>{only} : app_.madeWindows();
    // Windows made when first needed take their lines then.
    auto later = [&](const QString& name) { return KvizorApp::isLateWindowName(name); };
    forEachLabelLine(languageText, [&](const LabelLine& line) {
        if (labelOfOtherProgram(line.window))
            return;
        QWidget* window = nullptr;
        const QString windowName = cp1251::toUnicode(line.window);
        for (QWidget* w : windows)
            if (w->objectName() == windowName)
                window = w;
        if (!window && (only || later(windowName)))
            return;
        if (!window && windowName == QLatin1String("Start"))
            window = app_.splash();
        // A window whose controls are still being built says so; its missing names are not
        // the language file's fault and are not reported.
        if (!applyLabel(window, line) && !(window && window->property(kLabelsPending).toBool()))
            failures.add(windowName + QLatin1Char(' ') + cp1251::toUnicode(line.component));
    });
    return failures;
}

void TBasic::indentRunMenu() {
    for (QAction* a : {app_.topros().N4, app_.topros().N9})
        if (a && !a->text().startsWith(QLatin1Char(' ')))
            a->setText(QStringLiteral("  ") + a->text());
}

bool TBasic::runMayWait() {
    // The run window decides once it is made; before, only a journal on disk can hold a run.
    if (app_.toprosMade())
        return true;
    const QFileInfo journal(app_.journal().store().path());
    return journal.exists() || journal.isSymLink();
}

bool TBasic::resumeWaitingRun() {
    if (!runMayWait() || !app_.topros().ResumeUnfinishedRun())
        return false;
    hide();
    return true;
}

void TBasic::SpeedButton2Click() {
    if (resumeWaitingRun())
        return;
    app_.client().show();
    hide();
}

void TBasic::SpeedButton5Click() {
    if (resumeWaitingRun())
        return;
    app_.prepere().show();
    hide();
}

void TBasic::Button7Click() {
    app_.profil().exec();
}

void TBasic::Button6Click() {
    PopupMenu2->popup(Button6->mapToGlobal(QPoint(0, Button6->height() - 2)));
}

void TBasic::SpeedButton3Click() {
    PopupMenu1->popup(Button1->mapToGlobal(QPoint(0, Button1->height() - 2)));
}

void TBasic::SpeedButton4Click() {
    app_.about().exec();
}

void TBasic::zorkaweb1Click() {
    openUrl(QStringLiteral("mailto:") + zorkaweb1->toolTip());
}

void TBasic::wwwzorkaweb1Click() {
    openUrl(wwwzorkaweb1->toolTip());
}

void TBasic::Timer1Timer() {
    if (TStart* splash = app_.splash())
        splash->close();
    Timer1->stop();
}

void TBasic::closeEvent(QCloseEvent* event) {
    if (!FormClose()) {
        event->ignore();
        return;
    }
    event->accept();
    // Closing the main window ends the program, also when it was never shown, and from any event
    // loop: one of a dialog that runs before the main loop (which then never starts) as well.
    app_.requestEnd(0);
}

bool TBasic::FormClose() {
    RunState& rs = runState_;
    if (app_.toprosMade() && app_.topros().isVisible() && !rs.resultsShown) {
        app_.topros().SaveResult();
        return false;
    }
    if (!rs.resultsShown && !Dialogs::confirm(this, messages_.text(9)))
        return false;

    if (!rs.lockdownOff)
        liftLockdown(rs);
    rs.verdicts.clear();
    rs.verdicts.shrink_to_fit();
    if (app_.toprosMade())
        app_.topros().questionSet = QuestionSet{};

    if (rs.interactive) {
        Settings settings(rs.programFolder);
        QString error;
        bool written = settings.writeResPatch(rs.resultsFolder, &error);
        const QString language = checkedLanguage();
        if (written && !language.isEmpty())
            written = settings.writeLanguage(cp1251::fromUnicode(language), &error);
        // The program still exits: a read-only settings file must not keep it running.
        if (!written)
            Dialogs::error(this, error);
    }
    if (!rs.interactive && !rs.profileCommandAtExit.empty())
        startDetached(cp1251::toUnicode(rs.profileCommandAtExit));
    return true;
}

} // namespace kvz
