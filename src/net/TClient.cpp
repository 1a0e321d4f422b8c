#include "net/TClient.h"

#include "app/KvizorApp.h"
#include "choice/ResultsFolderPath.h"
#include "choice/TInform.h"
#include "choice/TSerestf.h"
#include "l10n/Cp1251.h"
#include "l10n/MessageTable.h"
#include "net/Masks.h"
#include "net/ProtocolText.h"
#include "net/TBlokator.h"
#include "net/TMessager.h"
#include "net/TSelectTest.h"
#include "platform/Dialogs.h"
#include "platform/Lockdown.h"
#include "platform/Named.h"
#include "results/TResultats.h"
#include "run/TTopros.h"
#include "shell/RunState.h"
#include "shell/Settings.h"
#include "shell/TBasic.h"
#include "windows/HelpPage.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QHostAddress>
#include <QHostInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>
#include <algorithm>

namespace kvz {

namespace {

// The profile value that accepts any class or subject: / * _ - _ * backslash.
constexpr std::string_view kAnyValue = "/*_-_*\\";
constexpr int kLogLines = 5000;
constexpr int kHintMs = 5000;
constexpr int kMsgNoMatch = 93; // "Сервер не предлагает теста, подходящего профилю."
constexpr int kMsgNoServer = 94; // "Не удалось получить тест от сервера %s."
// "По выбору": the offer while the pupil chooses the test, no file of its own.
constexpr int kMsgByChoice = 48;

} // namespace

TClient::TClient(KvizorApp& app) : app_(app), protocol_(*this, app.runState(), app.messages()) {
    setObjectName(QStringLiteral("Client"));
    setWindowTitle(msg(28));

    GroupBox1 = named<QGroupBox>(this, "GroupBox1");
    GroupBox1->setTitle(QStringLiteral("Сервер:"));
    Label2 = named<QLabel>(GroupBox1, "Label2");
    Label2->setText(QStringLiteral("Адрес:"));
    Host1 = named<QLineEdit>(GroupBox1, "Host1");
    Label3 = named<QLabel>(GroupBox1, "Label3");
    Label3->setText(QStringLiteral("Порт:"));
    Port1 = named<QLineEdit>(GroupBox1, "Port1");
    Port1->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9.]*")), Port1));
    // Nothing can be pasted through a menu: the port's menu is empty.
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    Port1->setContextMenuPolicy(Qt::CustomContextMenu);
    CheckBox1 = named<QCheckBox>(GroupBox1, "CheckBox1");
    CheckBox1->setText(QStringLiteral("Соединиться"));
    auto* serverGrid = new QGridLayout(GroupBox1);
    serverGrid->addWidget(Label2, 0, 0);
    serverGrid->addWidget(Host1, 0, 1);
    serverGrid->addWidget(Label3, 1, 0);
    serverGrid->addWidget(Port1, 1, 1);
    serverGrid->addWidget(CheckBox1, 2, 0, 1, 2);

    CheckBox2 = named<QCheckBox>(this, "CheckBox2");
    CheckBox2->setText(QStringLiteral("Начать автоматически"));
    CheckBox2->setChecked(true);
    Memo1 = named<QPlainTextEdit>(this, "Memo1");
    Memo1->setReadOnly(true);
    Memo1->setMaximumBlockCount(kLogLines);
    Memo1->setToolTip(QStringLiteral("Информация о процессе тестирования."));
    Label5 = named<QLabel>(this, "Label5");
    Label5->setText(QStringLiteral("Сообщение для администратора тестирования:"));
    Edit1 = named<QLineEdit>(this, "Edit1");
    Edit1->setMaxLength(100);
    Button1 = named<QPushButton>(this, "Button1");
    Button1->setText(QStringLiteral("Отправить"));
    Label6 = named<QLabel>(this, "Label6");
    Label6->setText(QStringLiteral("Копию результата  сохранять в:"));
    Edit2 = named<QLineEdit>(this, "Edit2");
    Edit2->setReadOnly(true);
    Edit2->installEventFilter(this);
    Button2 = named<QPushButton>(this, "Button2");
    Button2->setText(QStringLiteral("..."));
    Button2->setFixedWidth(28);
    Button3 = named<QPushButton>(this, "Button3");
    Button3->setText(QStringLiteral("Назад"));
    Button4 = named<QPushButton>(this, "Button4");
    Button4->setText(QStringLiteral("Начать"));
    Button4->setEnabled(false);

    Label1 = named<QLabel>(this, "Label1");
    Label1->setText(QStringLiteral("Выберите тест:"));
    Files = named<QListWidget>(this, "Files");
    Files->viewport()->installEventFilter(this);
    Files->setMouseTracking(true);

    // The controls stand in a column of the narrow width; the choice list to their right.
    auto* left = new QWidget(this);
    left->setFixedWidth(kNarrowWidth - 16);
    auto* column = new QVBoxLayout(left);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(GroupBox1);
    column->addWidget(CheckBox2);
    column->addWidget(Memo1, 1);
    column->addWidget(Label5);
    auto* message = new QHBoxLayout;
    message->addWidget(Edit1, 1);
    message->addWidget(Button1);
    column->addLayout(message);
    column->addWidget(Label6);
    auto* folder = new QHBoxLayout;
    folder->addWidget(Edit2, 1);
    folder->addWidget(Button2);
    column->addLayout(folder);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Button3);
    buttons->addStretch();
    buttons->addWidget(Button4);
    column->addLayout(buttons);
    auto* right = new QVBoxLayout;
    right->addWidget(Label1);
    right->addWidget(Files, 1);
    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(8, 8, 8, 8);
    outer->addWidget(left);
    outer->addLayout(right, 1);
    Label1->hide();
    Files->hide();
    setFixedSize(kNarrowWidth, 420);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(500);
    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(10000);
    Timer3 = new QTimer(this);
    Timer3->setObjectName(QStringLiteral("Timer3"));
    Timer3->setInterval(3000);
    ArchiveTimer = new QTimer(this);
    ArchiveTimer->setObjectName(QStringLiteral("ArchiveTimer"));
    ArchiveTimer->setInterval(kArchiveWaitMs);
    ArchiveTimer->setSingleShot(true);

    endProgram = [this] {
        liftLockdown(app_.runState());
        app_.requestEnd(0);
    };

    // Creating the window.
    const RunState& rs = app_.runState();
    Settings settings(rs.programFolder);
    Host1->setText(cp1251::toUnicode(settings.netHost()));
    Port1->setText(cp1251::toUnicode(settings.netPort()));
    Edit2->setText(ResultsPathToField(rs.programFolder, rs.resultsFolder));
    protocol_.setComputerName(cp1251::fromUnicode(QHostInfo::localHostName()));
    socket_.setEngine(&protocol_);

    // Checking a box by program runs its action as a click does: the profile run connects by
    // checking CheckBox1, and the connection events uncheck it.
    connect(CheckBox1, &QCheckBox::toggled, this, &TClient::CheckBox1Click);
    connect(CheckBox2, &QCheckBox::toggled, this, &TClient::CheckBox2Click);
    connect(Button1, &QPushButton::clicked, this, &TClient::Button1Click);
    connect(Edit1, &QLineEdit::returnPressed, this, &TClient::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TClient::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TClient::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &TClient::Button4Click);
    connect(Files, &QListWidget::currentRowChanged, this,
            [this](int row) { protocol_.selectChoice(row); });
    connect(Files, &QListWidget::itemDoubleClicked, this, [this] {
        if (Button4->isEnabled())
            Button4Click();
    });
    connect(Timer1, &QTimer::timeout, this, &TClient::AutoChooseTest);
    connect(Timer2, &QTimer::timeout, this, &TClient::Timer2Timer);
    connect(Timer3, &QTimer::timeout, this, &TClient::Timer3Timer);
    connect(ArchiveTimer, &QTimer::timeout, this, &TClient::ArchiveTimerTimer);
    connect(&socket_, &ProtocolSocket::connected, this, &TClient::ClientSocket1Connect);
    connect(&socket_, &ProtocolSocket::disconnected, this, &TClient::ClientSocket1Disconnect);
    connect(&socket_, &ProtocolSocket::errorOccurred, this, &TClient::ClientSocket1Error);
}

TClient::~TClient() {
    socket_.disconnect(this);
}

QString TClient::msg(int n) const {
    return app_.messages().text(n);
}

void TClient::setCaption(bool connected) {
    setWindowTitle(msg(28) + (connected ? QStringLiteral("*") : QString()));
}

// ---- connect box and socket events

void TClient::CheckBox1Click() {
    CheckBox1->setEnabled(false);
    const bool on = CheckBox1->isChecked();
    if (on)
        log(app_.messages().msg(31));
    const QAbstractSocket::SocketState state = socket_.socket().state();
    if (on && state == QAbstractSocket::UnconnectedState) {
        bool ok = false;
        const uint port = Port1->text().toUInt(&ok);
        if (!ok || port > 65535) {
            // A port that is not a number: the attempt is abandoned without a message.
            CheckBox1->setChecked(false);
            CheckBox1->setEnabled(true);
        } else {
            const QString host = Host1->text().trimmed();
            if (LooksLikeIPv4(cp1251::fromUnicode(host)))
                socket_.socket().connectToHost(QHostAddress(host), quint16(port));
            else
                socket_.connectTo(host, quint16(port));
        }
    } else if (!on) {
        if (state == QAbstractSocket::ConnectedState) {
            socket_.close(); // the disconnect event follows
        } else {
            socket_.socket().abort(); // an attempt in progress ends here
            CheckBox1->setEnabled(true);
        }
    } else {
        CheckBox1->setEnabled(true);
    }
    Settings settings(app_.runState().programFolder);
    settings.writeNetHostPort(cp1251::fromUnicode(Host1->text()),
                              cp1251::fromUnicode(Port1->text()));
}

void TClient::ClientSocket1Connect() {
    log(app_.messages().msg(32));
    setCaption(true);
    app_.runState().connectedToServer = true;
    protocol_.connectionMade();
    CheckBox1->setEnabled(true);
    Timer3->stop();
}

void TClient::ClientSocket1Error() {
    CheckBox1->setChecked(false);
    log(app_.messages().msg(30));
    CheckBox1->setEnabled(true);
}

void TClient::ClientSocket1Disconnect() {
    RunState& rs = app_.runState();
    rs.connectedToServer = false;
    CheckBox1->setChecked(false);
    log(app_.messages().msg(27));
    setCaption(false);
    protocol_.connectionLost(); // empties and hides the choice list, ends a download
    ArchiveTimer->stop();
    // A profile's run keeps trying until its test has come: nobody else can connect for the
    // pupil, whose window it is not. Whoever waits for the supervisor's permission goes on
    // waiting, told so.
    const bool keepTrying = !app_.topros().pendingResume() && awaitingProfileTest();
    if (!keepTrying)
        endPermissionWait();
    TTopros& run = app_.topros();
    TInform& inform = app_.inform();
    // A test in progress goes on locally; a pause is lifted.
    if (inform.isVisible()) {
        showInMessager(msg(29));
        uncoverPause();
    }
    if (run.isVisible()) {
        holdTestClock();
        showInMessager(msg(29));
        releaseTestClock();
        uncoverPause();
    }
    liftPause();
    CheckBox1->setEnabled(true);
    if (app_.topros().pendingResume()) {
        // The run waiting for its test must not be stranded by a server that went away.
        resumeRequested_ = false;
        Timer3->start();
    } else if (keepTrying) {
        chooseAgain_ = true;
        Timer3->start();
    }
}

// ---- actions

void TClient::CheckBox2Click() {
    const RunState& rs = app_.runState();
    if (rs.interactive) {
        Settings settings(rs.programFolder);
        settings.writeNetAuto(CheckBox2->isChecked());
    }
    if (CheckBox2->isChecked() && isVisible() && !protocol_.choiceShown())
        Button4Click();
}

void TClient::Button4Click() {
    if (app_.topros().pendingResume()) {
        // The run's own test, and only that one, is asked for.
        queueResumeStep();
        return;
    }
    RunState& rs = app_.runState();
    // A profile's run keeps the profile's results folder.
    if (rs.interactive)
        rs.resultsFolder = ResultsFieldToPath(rs.programFolder, Edit2->text());
    if (protocol_.choiceShown()) {
        const int row = Files->currentRow();
        if (row < 0 || !Files->item(row)->isSelected()) {
            Dialogs::error(this, msg(53));
            return;
        }
        protocol_.takeChoice(row);
    }
    askForTest();
}

void TClient::requestOffered(int position) {
    if (!protocol_.takeChoice(position))
        return;
    choiceListChanged();
    askForTest();
}

void TClient::askForTest() {
    protocol_.requestTest();
    // Asked before the permission, the test comes only after it, and then it is asked again.
    if (protocol_.permitted() && socket_.isActive())
        ArchiveTimer->start();
}

void TClient::Button1Click() {
    if (!socket_.isActive() || Edit1->text().isEmpty())
        return;
    const std::string text = cp1251::fromUnicode(Edit1->text());
    protocol_.sendMessage(text);
    const MessageTable& m = app_.messages();
    log(m.msg(28) + " " + m.msg(44) + " : " + text);
    Edit1->clear();
}

void TClient::Button2Click() {
    ChooseResultsFolder(app_, *Edit2, 110);
}

void TClient::Button3Click() {
    // The pupil is never held here: a run waiting for its test stays for the next start.
    app_.topros().PutOffPendingResume();
    app_.basic().show();
    CheckBox1->setChecked(false); // disconnects
    hide();
    Timer3->stop(); // after the loss of the connection: no retry for a window left
}

void TClient::SendStart() {
    protocol_.sendStart();
}

bool TClient::SendResultFile(const QString& path) {
    return socket_.sendFile(path);
}

void TClient::ForbidRepeat() {
    protocol_.setPermitted(false);
    log(app_.messages().msg(34));
    Button4->setEnabled(false);
    show();
}

// ---- the profile's timers

void TClient::Timer3Timer() {
    if (!CheckBox1->isChecked())
        CheckBox1->setChecked(true); // a new attempt
}

void TClient::Timer2Timer() {
    Timer2->stop();
    if (!isVisible() || autoChoiceDone_)
        return;
    // A test asked for, or coming: the archive's own wait decides.
    if (ArchiveTimer->isActive() || protocol_.readState() == ReadState::Downloading)
        return;
    // The server has set the test: the pupil waits for the supervisor, however long.
    if (testSetByServer()) {
        showPermissionWait();
        return;
    }
    const RunState& rs = app_.runState();
    giveUp(cp1251::toUnicode(
        formatMessage(app_.messages().msg(kMsgNoServer), {rs.profileHost + ":" + rs.profilePort})));
}

void TClient::giveUp(const QString& why) {
    ArchiveTimer->stop();
    Timer1->stop();
    Timer3->stop();
    endPermissionWait();
    log(cp1251::fromUnicode(why));
    qWarning("kvizor: the profile's network run ends: %s", qPrintable(why));
    // Nothing more comes while the pupil reads why.
    if (CheckBox1->isChecked())
        CheckBox1->setChecked(false);
    Dialogs::error(this, why);
    endProgram();
}

void TClient::listMessageSeen() {
    if (app_.topros().pendingResume())
        return;
    if ((!autoChoiceDone_ || chooseAgain_) && !Timer1->isActive())
        Timer1->start();
}

void TClient::AutoChooseTest() {
    const std::vector<std::string>& items = protocol_.choiceItems();
    if (!protocol_.choiceShown() || items.empty())
        return;
    autoChoiceDone_ = true;
    chooseAgain_ = false;
    Timer1->stop();
    const RunState& rs = app_.runState();
    TSelectTest& select = app_.selectTest();
    select.positions.clear();
    const TELMaskInfo mask = CompileMask(cp1251::ansiLower(rs.profileTestName));
    std::vector<std::string> candidates;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const OfferItem item = SplitOfferItem(items[i]);
        if (!MatchMask(cp1251::ansiLower(item.name), mask))
            continue;
        if (item.testClass != rs.profileTestClass && rs.profileTestClass != kAnyValue)
            continue;
        if (item.subject != rs.profileSubject && rs.profileSubject != kAnyValue)
            continue;
        candidates.push_back(items[i]);
        select.positions << QString::number(i);
    }
    endPermissionWait();
    if (candidates.empty()) {
        giveUp(msg(kMsgNoMatch));
        return;
    }
    if (rs.profileSelect != 0) {
        select.ListBox1->clear();
        for (const std::string& c : candidates)
            select.ListBox1->addItem(cp1251::toUnicode(SplitOfferItem(c).name));
        select.ListBox1->setCurrentRow(0);
        if (candidates.size() == 1) {
            select.Button1Click();
        } else {
            showOverLock(&select);
            select.show();
        }
        hide();
        return;
    }
    const std::string& chosen =
        candidates[QRandomGenerator::global()->bounded(quint32(candidates.size()))];
    int position = -1;
    for (std::size_t i = 0; i < items.size(); ++i)
        if (items[i] == chosen)
            position = int(i); // the last of equal items
    protocol_.takeChoice(position);
    choiceListChanged();
    askForTest();
}

// ---- window events

void TClient::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    autoChoiceDone_ = false;
    chooseAgain_ = false;
    app_.blokator().Panel1->setText(msg(41));
    if (protocol_.choiceShown())
        protocol_.setOfferFile(app_.messages().msg(kMsgByChoice));
}

void TClient::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
}

void TClient::closeEvent(QCloseEvent* event) {
    // The main window decides whether the program ends; this window stays.
    event->ignore();
    app_.basic().close();
}

void TClient::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1) {
        showHelpTopic(*this, app_.runState().programFolder,
                      QStringLiteral("hc_Setevoe_testirovanie"), app_.messages());
        return;
    }
    QWidget::keyPressEvent(event);
}

bool TClient::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Edit2 && event->type() == QEvent::MouseButtonDblClick) {
        Button2Click();
        return true;
    }
    if (watched == Files->viewport() && event->type() == QEvent::ToolTip)
        return longItemHint(event);
    return QWidget::eventFilter(watched, event);
}

bool TClient::longItemHint(QEvent* event) {
    const auto* help = static_cast<QHelpEvent*>(event);
    const QListWidgetItem* item = Files->itemAt(help->pos());
    if (!item) {
        QToolTip::hideText();
        return true;
    }
    const QRect rect = Files->visualItemRect(item);
    const int needed = Files->fontMetrics().horizontalAdvance(item->text());
    const int shown = std::min(rect.right(), Files->viewport()->width()) - rect.left();
    if (needed <= shown - 2) {
        QToolTip::hideText();
        return true;
    }
    // The whole text over the cut item: one pixel right of its left edge, one above its top.
    const QPoint at = Files->viewport()->mapToGlobal(rect.topLeft() + QPoint(1, -1));
    QToolTip::showText(at, item->text(), Files->viewport(), rect, kHintMs);
    return true;
}

// ---- what the protocol asks of the window

void TClient::send(std::string_view bytes) {
    socket_.send(bytes);
}

void TClient::log(const std::string& line) {
    Memo1->appendPlainText(cp1251::toUnicode(line));
}

// The engine reports from inside a read step; a dialog's own event loop there would run further
// read steps under it. Reports and messages are shown once the step is over.
void TClient::reportError(const std::string& text) {
    QTimer::singleShot(0, this,
                       [this, shown = cp1251::toUnicode(text)] { Dialogs::error(this, shown); });
}

void TClient::setStartEnabled(bool enabled) {
    // Permission withdrawn before the test came: it comes only after a new permission.
    if (!enabled && protocol_.readState() != ReadState::Downloading)
        ArchiveTimer->stop();
    const bool resuming = app_.topros().pendingResume() != nullptr;
    Button4->setEnabled(enabled && !resuming);
    if (resuming)
        queueResumeStep();
}

void TClient::setChoiceListShown(bool shown) {
    if (shown == choiceShownNow_)
        return;
    choiceShownNow_ = shown;
    Label1->setVisible(shown);
    Files->setVisible(shown);
    CheckBox2->setEnabled(!shown);
    setFixedWidth(shown ? choiceWidth() : kNarrowWidth);
}

int TClient::choiceWidth() const {
    // The list is as wide as its widest test name, within the screen: a name cut short can be
    // mistaken for another test.
    int widest = 0;
    const QFontMetrics metrics = Files->fontMetrics();
    for (int i = 0; i < Files->count(); ++i)
        widest = std::max(widest, metrics.horizontalAdvance(Files->item(i)->text()));
    const int itemPadding = 2 * Files->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 8;
    const int list = widest + itemPadding + 2 * Files->frameWidth() +
                     Files->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const int spacing = std::max(0, layout()->spacing());
    int width = std::max(kWideWidth, kNarrowWidth + spacing + list);
    if (const QScreen* s = screen())
        width = std::min(width, s->availableGeometry().width());
    return width;
}

void TClient::fitChoiceWidth() {
    if (!choiceShownNow_)
        return;
    setFixedWidth(choiceWidth());
    // A window grown past the screen's right edge comes back onto it.
    if (const QScreen* s = screen()) {
        const QRect area = s->availableGeometry();
        if (isVisible() && frameGeometry().right() > area.right())
            move(std::max(area.left(), area.right() - frameGeometry().width() + 1), y());
    }
}

void TClient::choiceListChanged() {
    const std::vector<std::string>& items = protocol_.choiceItems();
    const QSignalBlocker blocker(Files);
    while (Files->count() > int(items.size()))
        delete Files->takeItem(Files->count() - 1);
    for (std::size_t i = 0; i < items.size(); ++i) {
        const QString text = cp1251::toUnicode(items[i]);
        if (int(i) >= Files->count())
            Files->addItem(text);
        else if (Files->item(int(i))->text() != text)
            Files->item(int(i))->setText(text);
    }
    const int selected = protocol_.choiceSelected();
    Files->clearSelection();
    Files->setCurrentRow(selected, selected >= 0 ? QItemSelectionModel::ClearAndSelect
                                                 : QItemSelectionModel::Clear);
    setChoiceListShown(protocol_.choiceShown());
    fitChoiceWidth();
    queueResumeStep();
}

bool TClient::clientVisible() const {
    return isVisible();
}
bool TClient::runWindowVisible() const {
    return app_.topros().isVisible();
}
bool TClient::informVisible() const {
    return app_.inform().isVisible();
}
bool TClient::resultsVisible() const {
    return app_.resultats().isVisible();
}
bool TClient::autoStartChecked() const {
    return CheckBox2->isChecked();
}

std::string TClient::examineeName() const {
    return cp1251::fromUnicode(app_.inform().UserName->text());
}

void TClient::performStart() {
    Button4Click();
}

// The test clock is the run window's clock. A pause and an open message each hold
// it; it runs again when the last hold is released, and only if it ran when the first began
// (in review it does not run at all).
void TClient::holdTestClock() {
    TTopros& run = app_.topros();
    if (clockHolds_++ == 0)
        clockRanBeforeHold_ = run.clockRunning();
    run.stopClock();
}

void TClient::releaseTestClock() {
    if (clockHolds_ == 0)
        return;
    if (--clockHolds_ == 0 && clockRanBeforeHold_)
        app_.topros().startClock();
}

void TClient::pauseTest() {
    TTopros& run = app_.topros();
    TInform& inform = app_.inform();
    if (run.isVisible() || inform.isVisible()) {
        if (run.isVisible() && !pausedByServer_) {
            pausedByServer_ = true;
            holdTestClock();
        }
        coverWithPause();
    }
}

void TClient::coverWithPause() {
    TBlokator& pause = app_.blokator();
    if (!pauseCovers_) {
        pauseCovers_ = true;
        keyboardBeforePause_ = QApplication::activeWindow();
    }
    // An open menu would still act on the window under it.
    while (QWidget* popup = QApplication::activePopupWidget()) {
        if (!popup->close())
            break;
    }
    auto cover = [this](QWidget* w) {
        if (!w->isEnabled())
            return; // disabled by someone else, who also enables it again
        w->setEnabled(false);
        pauseDisabled_.emplace_back(w);
    };
    cover(&app_.topros());
    cover(&app_.inform());
    // The finish prompt, an aid, a dialog: whatever of the run is on screen.
    for (QWidget* w : QApplication::topLevelWidgets()) {
        const Qt::WindowType type = w->windowType();
        if (w == &pause || w == &app_.messager() || !w->isVisible() ||
            (type != Qt::Window && type != Qt::Dialog))
            continue;
        cover(w);
    }
    showOverLock(&pause);
    pause.show();
    pause.raise();
    pause.activateWindow();
}

void TClient::uncoverPause() {
    app_.blokator().hide();
    for (const QPointer<QWidget>& w : pauseDisabled_)
        if (w)
            w->setEnabled(true);
    pauseDisabled_.clear();
    if (!pauseCovers_)
        return;
    pauseCovers_ = false;
    if (QWidget* back = keyboardBeforePause_; back && back->isVisible()) {
        back->raise();
        back->activateWindow();
    }
    keyboardBeforePause_ = nullptr;
}

void TClient::liftPause() {
    if (pausedByServer_) {
        pausedByServer_ = false;
        releaseTestClock();
    }
}

void TClient::resumeTest() {
    TTopros& run = app_.topros();
    TInform& inform = app_.inform();
    if (run.isVisible() || inform.isVisible() || pauseCovers_)
        uncoverPause();
    liftPause();
}

void TClient::permissionGiven() {
    // Nobody presses Start in a profile's run: the test its choice asked for (refused while
    // testing was forbidden, or withdrawn before it came) is asked for again once allowed.
    if (app_.runState().interactive || !autoChoiceDone_ || !isVisible() ||
        !protocol_.choiceShown() || app_.topros().pendingResume())
        return;
    const std::string& file = protocol_.offerFile();
    if (file.empty() || file == app_.messages().msg(kMsgByChoice))
        return;
    // Asked with the permission already and on its way: once is enough.
    if (ArchiveTimer->isActive() || protocol_.readState() == ReadState::Downloading)
        return;
    askForTest();
}

void TClient::showInMessager(const QString& text) {
    TMessager& messager = app_.messager();
    showOverLock(&messager);
    messager.showText(text);
}

void TClient::showServerMessage(const std::string& text) {
    QTimer::singleShot(0, this, [this, shown = cp1251::toUnicode(text)] {
        if (app_.inform().isVisible())
            showInMessager(shown);
        if (app_.topros().isVisible()) {
            holdTestClock();
            showInMessager(shown);
            releaseTestClock();
        }
    });
}

} // namespace kvz
