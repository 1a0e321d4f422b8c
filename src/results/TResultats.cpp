#include "results/TResultats.h"

#include "app/KvizorApp.h"
#include "choice/TInform.h"
#include "choice/TPrepere.h"
#include "l10n/Cp1251.h"
#include "l10n/MessageTable.h"
#include "net/TClient.h"
#include "platform/Dialogs.h"
#include "platform/Lockdown.h"
#include "platform/Named.h"
#include "platform/Shell.h"
#include "results/ClientLink.h"
#include "results/ResultArchive.h"
#include "results/ScorePie.h"
#include "run/Checking.h"
#include "run/TTopros.h"
#include "shell/Clock.h"
#include "shell/RunState.h"
#include "shell/TBasic.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

namespace kvz {

namespace {

constexpr int kPanelWidth = 560;
constexpr int kMarkTop = 8; // Label4's top inside the mark panel

QLabel* valueLabel(QWidget* parent, const char* name) {
    auto* l = named<QLabel>(parent, name);
    QFont f = l->font();
    f.setBold(true);
    l->setFont(f);
    return l;
}

QGroupBox* figureBox(QWidget* parent, const char* name, const QString& title, QLabel*& value,
                     const char* valueName) {
    auto* box = named<QGroupBox>(parent, name);
    box->setTitle(title);
    value = valueLabel(box, valueName);
    QFont f = value->font();
    f.setPointSize(f.pointSize() + 3);
    value->setFont(f);
    value->setAlignment(Qt::AlignCenter);
    auto* l = new QVBoxLayout(box);
    l->addWidget(value);
    return box;
}

// "2 из 3 (66.67%)"
QString countLine(const MessageTable& m, int count, int total, const std::string& percent) {
    return cp1251::toUnicode(std::to_string(count) + m.msg(26) + std::to_string(total) + " (" +
                             percent + "%)");
}

// The client window's state as it stands.
class ClientWindowLink : public ClientLink {
public:
    explicit ClientWindowLink(TClient& client) : client_(client) {}
    bool connectChecked() const override { return client_.CheckBox1->isChecked(); }
    bool automaticChoice() const override { return !client_.CheckBox2->isEnabled(); }
    bool connectionOpen() const override { return client_.connectedToServer(); }
    bool sendResultFile(const QString& path) override { return client_.SendResultFile(path); }
    void forbidTesting() override { client_.ForbidRepeat(); }

private:
    TClient& client_;
};

} // namespace

ClientLink& TResultats::clientLink() {
    if (client_)
        return *client_;
    // The client window is created after this one, so it is looked up when first needed.
    if (!clientWindowLink_)
        clientWindowLink_ = std::make_unique<ClientWindowLink>(app_.client());
    return *clientWindowLink_;
}

TResultats::TResultats(KvizorApp& app) : app_(app) {
    setObjectName(QStringLiteral("Resultats"));
    setWindowTitle(QStringLiteral("Результаты"));
    // Fills the screen without a border.
    setWindowFlag(Qt::FramelessWindowHint);

    Panel1 = named<QFrame>(this, "Panel1");
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setAutoFillBackground(true);

    Panel4 = named<QFrame>(Panel1, "Panel4");
    Label4 = named<QLabel>(Panel4, "Label4");
    QFont markFont = Label4->font();
    markFont.setBold(true);
    markFont.setPointSize(markFont.pointSize() + 6);
    Label4->setFont(markFont);
    Label4->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

    Panel5 = named<QWidget>(Panel1, "Panel5");
    Label1 = named<QLabel>(Panel5, "Label1");
    Label1->setText(QStringLiteral("Класс:"));
    Label5 = valueLabel(Panel5, "Label5");
    Label6 = named<QLabel>(Panel5, "Label6");
    Label6->setText(QStringLiteral("Ф.И.О.:"));
    Label10 = valueLabel(Panel5, "Label10");
    for (QLabel** leader : {&Label8, &Label9}) {
        *leader = named<QLabel>(Panel5, leader == &Label8 ? "Label8" : "Label9");
        (*leader)->setFixedHeight(2);
        (*leader)->setStyleSheet(QStringLiteral("border-top: 1px dotted gray;"));
    }
    GroupBox1 = figureBox(Panel5, "GroupBox1", QStringLiteral("Всего ответов:"), Label3, "Label3");
    GroupBox2 =
        figureBox(Panel5, "GroupBox2", QStringLiteral("Правильных ответов:"), Label2, "Label2");
    GroupBox3 = figureBox(Panel5, "GroupBox3", QStringLiteral("Баллов:"), Label7, "Label7");
    Image1 = named<QLabel>(Panel5, "Image1");
    Image1->setFixedSize(kPieWidth, kPieHeight);
    Button3 = named<QPushButton>(Panel5, "Button3");
    Button3->setText(QStringLiteral("Посмотреть ответы"));
    Button1 = named<QPushButton>(Panel5, "Button1");
    Button1->setText(QStringLiteral("Повторить"));
    Button2 = named<QPushButton>(Panel5, "Button2");
    Button2->setText(QStringLiteral("Выход"));

    auto* grid = new QGridLayout(Panel5);
    grid->setContentsMargins(16, 12, 16, 12);
    grid->setVerticalSpacing(4);
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(Label5, 0, 1, 1, 2);
    grid->addWidget(Label8, 1, 1, 1, 2);
    grid->addWidget(Label6, 2, 0);
    grid->addWidget(Label10, 2, 1, 1, 2);
    grid->addWidget(Label9, 3, 1, 1, 2);
    grid->setRowMinimumHeight(4, 8);
    grid->addWidget(GroupBox1, 5, 0, 1, 2);
    grid->addWidget(GroupBox2, 5, 2);
    grid->addWidget(GroupBox3, 6, 0, 1, 2);
    grid->addWidget(Image1, 6, 2, Qt::AlignCenter);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(6); // the grid around it has none; the buttons must not touch
    buttons->addWidget(Button3);
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    grid->setRowMinimumHeight(7, 8);
    grid->addLayout(buttons, 8, 0, 1, 3);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(2, 1);

    auto* panel = new QVBoxLayout(Panel1);
    panel->setContentsMargins(0, 0, 0, 0);
    panel->setSpacing(0);
    panel->addWidget(Panel4);
    panel->addWidget(Panel5, 1);
    Panel4->setFixedHeight(0);
    Panel4->hide();
    designedHeight_ = Panel5->sizeHint().height() + 2 * Panel1->frameWidth();
    Panel1->setFixedSize(kPanelWidth, designedHeight_);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    N1 = PopupMenu1->addAction(QStringLiteral("тот же тест"));
    N1->setObjectName(QStringLiteral("N1"));
    N2 = PopupMenu1->addAction(QStringLiteral("другой тест"));
    N2->setObjectName(QStringLiteral("N2"));

    // A menu never shown, holding the command that takes Alt+F4 so it closes nothing.
    MainMenu1 = named<QMenuBar>(this, "MainMenu1");
    MainMenu1->hide();
    AltF41 = new QAction(this);
    AltF41->setObjectName(QStringLiteral("AltF41"));
    AltF41->setShortcut(QKeySequence(Qt::ALT | Qt::Key_F4));
    AltF41->setShortcutContext(Qt::WindowShortcut);
    MainMenu1->addAction(AltF41);
    addAction(AltF41);

    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
    connect(N1, &QAction::triggered, this, [this] { N1Click(); });
    connect(N2, &QAction::triggered, this, [this] { N2Click(); });
}

void TResultats::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!(windowState() & Qt::WindowFullScreen))
        setWindowState(windowState() | Qt::WindowFullScreen);
    // Back from the review the window shows what it showed: nothing is checked, stored or
    // started again.
    if (!app_.runState().resultsShown)
        FormShow();
    placePanel();
}

void TResultats::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placePanel();
}

void TResultats::closeEvent(QCloseEvent* event) {
    // The window system's close (Alt+F4 where the keyboard is not held) is not a way out; the
    // program ends through "Выход".
    if (event->spontaneous()) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void TResultats::FormShow() {
    RunState& rs = app_.runState();
    const MessageTable& m = app_.messages();
    Panel1->setVisible(rs.interactive || !rs.profileExitAfterTest);
    rs.resultsShown = true;
    Label5->setText(app_.inform().KlassName->text());
    Label10->setText(app_.inform().UserName->text());
    lastResultPath_.clear();
    pendingWarning_.clear();

    // The check and the store: a failure ends them, the display goes on with what was set.
    try {
        CheckAnswers(app_.topros().questionSet, m.msg(22), m.msg(23), rs.verdicts, rs.checkSummary);
        const CheckSummary& s = rs.checkSummary;
        Label2->setText(countLine(m, s.rightCount, s.questionCount, s.rightPercentText));
        Label3->setText(countLine(m, s.answeredCount, s.questionCount, s.answeredPercentText));
        StoreResult();
    } catch (const std::exception& e) {
        qWarning("kvizor: checking or storing the result failed: %s", e.what());
    }

    Button3->setEnabled(rs.answerReviewAllowed);
    Panel4->setVisible(rs.showMark);
    Label7->setText(cp1251::toUnicode(rs.checkSummary.scoreText));
    rs.checkSummary.markIndex =
        rs.showMark ? ChooseMark(rs.checkSummary.gainedWeight, rs.checkSummary.totalWeight,
                                 rs.markScale, rs.markCount)
                    : -1;
    sizeMarkPanel(rs.checkSummary.markIndex);
    const int designed = rs.resultsPanelHeight > 0 ? rs.resultsPanelHeight : designedHeight_;
    Panel1->setFixedHeight(designed + Panel4->height());
    placePanel();
    Button3->setEnabled(rs.answerReviewAllowed);
    if (QWidget* link = app_.topros().PUchebnik1)
        link->setEnabled(rs.textbookInReview);

    QPixmap pie = QPixmap::fromImage(drawScorePie(rs.checkSummary.score));
    pie.setMask(pie.createMaskFromColor(Qt::white));
    Image1->setPixmap(pie);

    // Messages and the after-test steps wait until the window is on screen, so a dialog never
    // opens under it.
    QTimer::singleShot(0, this, [this] { afterShowing(); });
}

void TResultats::sizeMarkPanel(int markIndex) {
    const RunState& rs = app_.runState();
    Panel4->setFixedHeight(0);
    if (!Panel4->isVisibleTo(Panel1))
        return;
    if (markIndex < 0 || markIndex >= int(rs.markScale.size())) {
        // A scale without entries has no mark to show.
        Panel4->hide();
        return;
    }
    const std::string& text = rs.markScale[std::size_t(markIndex)].markText;
    const int lines = 1 + int(std::count(text.begin(), text.end(), '|'));
    QString caption = cp1251::toUnicode(text);
    caption.replace(QLatin1Char('|'), QLatin1Char('\n'));
    Label4->setText(caption);
    const int labelHeight = Label4->fontMetrics().height() * lines + kMarkTop;
    Label4->setGeometry(kMarkTop, kMarkTop, kPanelWidth - 2 * kMarkTop, labelHeight);
    Panel4->setFixedHeight(labelHeight + 2 * kMarkTop);
}

void TResultats::placePanel() {
    Panel1->move(width() / 2 - Panel1->width() / 2, height() / 2 - Panel1->height() / 2);
}

ResultFacts TResultats::resultFacts() {
    const RunState& rs = app_.runState();
    const bool connected = clientLink().connectionOpen();
    ResultFacts f;
    f.examineeName = cp1251::fromUnicode(app_.inform().UserName->text());
    f.group = cp1251::fromUnicode(app_.inform().KlassName->text());
    f.subject = rs.testSubject;
    f.testName = rs.testName;
    f.startTime = connected ? rs.reportedStartTime : rs.startTime;
    f.finishTime = rs.finishTime;
    return f;
}

bool TResultats::writeInto(const QString& folder, const QByteArray& archive, QString* error) {
    const auto path = writeResultFile(folder, archive, clock::randomSeed(), error);
    if (!path)
        return false;
    lastResultPath_ = *path;
    return true;
}

void TResultats::StoreResult() {
    const RunState& rs = app_.runState();
    const MessageTable& m = app_.messages();
    const bool connected = clientLink().connectionOpen();
    const ResultDestination where =
        resultDestination(!app_.parameters().isEmpty(), rs.profileSaveResult, connected);
    TTopros& run = app_.topros();
    // A network profile run whose connection is gone has no server to send to: its result is
    // kept as a send that failed is, never dropped.
    const bool lostServer = where == ResultDestination::Nowhere && rs.profileType == "net";
    if (where == ResultDestination::Nowhere && !lostServer) {
        run.ResultStored(); // nothing is kept of this run: its journal goes too
        return;
    }
    QString error;
    const auto archive =
        BuildResultArchive(resultFacts(), rs.checkSummary, run.questionSet, &error);
    if (!archive) {
        qWarning("kvizor: the result archive could not be built: %s", qPrintable(error));
        pendingWarning_ = m.text(30);
        return;
    }
    // A run brought back after it had ended may have stored this very result just before the
    // program stopped: it is not stored a second time.
    const QByteArray summary = BuildSummaryEntry(resultFacts(), rs.checkSummary);
    for (const QString& folder : {rs.resultsFolder, fallbackResultsFolder()}) {
        if (const auto stored = run.AlreadyStoredResult(folder, summary)) {
            lastResultPath_ = *stored;
            if (connected && !clientLink().sendResultFile(lastResultPath_))
                qWarning("kvizor: the result could not be sent");
            run.ResultStored();
            return;
        }
    }

    if (where != ResultDestination::ResultsFolder) {
        // Only for the server. The copy is kept in the rescue folder, not a temporary one, and
        // stays there: the server never says that it has stored a result, so this copy is the
        // only one the workstation can be sure of.
        const QString rescue = fallbackResultsFolder();
        if (!writeInto(rescue, *archive, &error)) {
            qWarning("kvizor: the result could not be kept in %s: %s", qPrintable(rescue),
                     qPrintable(error));
            // Sent from a temporary file at least; the journal stays until it is sent.
            if (!lostServer && writeInto(QDir::tempPath(), *archive, &error)) {
                const bool sent = clientLink().sendResultFile(lastResultPath_);
                QFile::remove(lastResultPath_);
                lastResultPath_.clear();
                if (sent) {
                    run.ResultStored();
                    return;
                }
            }
            qWarning("kvizor: the result of %s by %s is stored nowhere; its journal is kept",
                     qPrintable(cp1251::toUnicode(rs.testName)),
                     qPrintable(app_.inform().UserName->text()));
            pendingWarning_ = cp1251::toUnicode(
                formatMessage(m.msg(73), {cp1251::fromUnicode(QDir::toNativeSeparators(rescue))}));
            return;
        }
        if (lostServer || !clientLink().sendResultFile(lastResultPath_)) {
            qWarning("kvizor: the result could not be sent; it is kept as %s",
                     qPrintable(lastResultPath_));
            pendingWarning_ = cp1251::toUnicode(
                formatMessage(m.msg(75), {cp1251::fromUnicode(QDir::toNativeSeparators(rescue))}));
        }
        run.ResultStored();
        return;
    }

    if (!writeInto(rs.resultsFolder, *archive, &error)) {
        // Never lose a pupil's result: keep it in the user's own folder and say where.
        qWarning("kvizor: the result could not be written into %s: %s",
                 qPrintable(rs.resultsFolder), qPrintable(error));
        const QString fallback = fallbackResultsFolder();
        if (writeInto(fallback, *archive, &error)) {
            pendingWarning_ = cp1251::toUnicode(formatMessage(
                m.msg(66), {cp1251::fromUnicode(QDir::toNativeSeparators(fallback))}));
        } else {
            qWarning("kvizor: the result could not be kept in %s either: %s; the run's journal "
                     "is kept so the next start can store it",
                     qPrintable(fallback), qPrintable(error));
            pendingWarning_ = cp1251::toUnicode(formatMessage(
                m.msg(73), {cp1251::fromUnicode(QDir::toNativeSeparators(fallback))}));
        }
    }
    if (connected && !lastResultPath_.isEmpty() && !clientLink().sendResultFile(lastResultPath_))
        qWarning("kvizor: the result could not be sent");
    // Stored somewhere: the run's journal goes. Stored nowhere: it stays, so the run can be
    // brought back and its result stored once the disk takes it.
    if (!lastResultPath_.isEmpty())
        run.ResultStored();
}

void TResultats::afterShowing() {
    if (!pendingWarning_.isEmpty()) {
        const QString text = pendingWarning_;
        pendingWarning_.clear();
        Dialogs::error(this, text);
    }
    const RunState& rs = app_.runState();
    if (rs.interactive)
        return;
    if (!rs.profileTextResultFile.empty() && !appendTextResultLog()) {
        Dialogs::error(this, app_.messages().text(8));
        return;
    }
    if (!rs.profileCommandAfterTest.empty())
        startDetached(cp1251::toUnicode(rs.profileCommandAfterTest));
    if (rs.profileExitAfterTest)
        app_.basic().close();
}

bool TResultats::appendTextResultLog() {
    const RunState& rs = app_.runState();
    QString path = cp1251::toUnicode(rs.profileTextResultFile);
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    const std::string block = textResultBlock(resultFacts(), rs.checkSummary);
    return f.write(block.data(), qint64(block.size())) == qint64(block.size()) && f.flush();
}

void TResultats::Button1Click() {
    const RunState& rs = app_.runState();
    if (!rs.interactive) {
        TInform& inform = app_.inform();
        if (rs.showIntroduction) {
            inform.show();
            inform.showSecondPage();
        } else {
            inform.StartTest();
        }
        hide();
        return;
    }
    ClientLink& client = clientLink();
    if (!client.connectChecked() || client.automaticChoice()) {
        PopupMenu1->popup(Button1->mapToGlobal(QPoint(0, Button1->height() - 2)));
        return;
    }
    // Network mode without the server's automatic choice: wait for the next permission.
    client.forbidTesting();
    liftLockdown(rs);
    app_.client().show();
    hide();
}

void TResultats::N1Click() {
    TInform& inform = app_.inform();
    inform.showFirstPage();
    inform.show();
    hide();
}

void TResultats::N2Click() {
    liftLockdown(app_.runState());
    if (clientLink().connectChecked())
        app_.client().show();
    else
        app_.prepere().show();
    hide();
}

void TResultats::Button3Click() {
    app_.topros().EnterReview();
    hide();
}

void TResultats::Button2Click() {
    app_.basic().close();
}

} // namespace kvz
