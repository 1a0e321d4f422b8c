// Loading a test archive into the run window and preparing a run.

#include "run/TTopros.h"

#include "app/KvizorApp.h"
#include "choice/TInform.h"
#include "l10n/Cp1251.h"
#include "l10n/MessageTable.h"
#include "platform/Dialogs.h"
#include "platform/docview/DocumentView.h"
#include "shell/Clock.h"
#include "shell/RunState.h"
#include "test/TestArchive.h"
#include "windows/THelper.h"
#include "windows/TPas.h"
#include "windows/TProgres.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFileDevice>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QRadioButton>
#include <QScreen>

namespace kvz {

namespace {

// Copies what is left of the stream, refusing more than a test may hold.
std::optional<QByteArray> readStream(QIODevice& stream) {
    QByteArray bytes;
    if (!stream.isSequential()) {
        const qint64 left = stream.size() - stream.pos();
        if (left < 0 || std::size_t(left) > kMaxArchiveSize)
            return std::nullopt;
        bytes.reserve(qsizetype(left));
    }
    char buf[64 * 1024];
    for (;;) {
        const qint64 got = stream.read(buf, sizeof buf);
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            break;
        if (std::size_t(bytes.size()) + std::size_t(got) > kMaxArchiveSize)
            return std::nullopt;
        bytes.append(buf, qsizetype(got));
    }
    return bytes;
}

// What is left of the stream, as the archive reader takes it: a file is read in place and an
// archive already in memory is shared, so a large test is never held twice.
std::unique_ptr<ArchiveSource> archiveSourceOf(QIODevice& stream) {
    if (!stream.isOpen() || !stream.isReadable())
        return nullptr;
    if (auto* file = qobject_cast<QFileDevice*>(&stream); file && !file->isSequential())
        return fileSource(*file);
    if (auto* buffer = qobject_cast<QBuffer*>(&stream)) {
        const QByteArray& all = buffer->data();
        const qint64 pos = std::min(buffer->pos(), qint64(all.size()));
        return memorySource(pos == 0 ? all : all.sliced(pos));
    }
    std::optional<QByteArray> bytes = readStream(stream);
    return bytes ? memorySource(std::move(*bytes)) : nullptr;
}

bool loadPiece(DocumentView* view, const QByteArray& piece) {
    if (!view)
        return false;
    QBuffer buffer;
    buffer.setData(piece);
    return buffer.open(QIODevice::ReadOnly) && view->loadFromStream(buffer);
}

} // namespace

bool TTopros::failLoad() {
    TProgres& wait = app_.progres();
    wait.stopAnimation();
    wait.hide();
    Dialogs::error(QApplication::activeWindow(), app_.messages().text(8));
    return false;
}

bool TTopros::LoadTest(QIODevice& stream) {
    RunState& state = app_.runState();
    TProgres& wait = app_.progres();
    TPas& pas = app_.pas();
    const MessageTable& msg = app_.messages();
    questionSet.updating = true;
    wait.ProgressBar1->setMaximum(100);

    wait.Panel1->setText(msg.text(1));
    std::unique_ptr<ArchiveSource> source = archiveSourceOf(stream);
    if (!source)
        return failLoad();

    ArchiveReadHooks hooks;
    hooks.stage = [&](LoadStage stage) {
        if (stage == LoadStage::Loading) {
            wait.Panel1->setText(msg.text(2));
            wait.startAnimation();
            // Mapped and painted before the long unpacking starts.
            wait.showPainted();
        } else if (stage == LoadStage::Composing) {
            wait.Panel1->setText(msg.text(3));
            wait.refresh();
        }
    };
    QElapsedTimer painted;
    hooks.progress = [&](int percent) {
        // Painted at once rather than by running the event loop, so other windows' timers and
        // sockets do not run at every step of a load; and at most every 40 ms, which keeps the
        // bar and the animation moving without a repaint for every percent of every entry.
        if (percent != 100 && painted.isValid() && painted.elapsed() < 40)
            return;
        painted.start();
        wait.ProgressBar1->setValue(percent);
        wait.refresh();
    };
    std::string tried = cp1251::fromUnicode(pas.Edit1->text());
    hooks.askPassword = [&]() -> std::optional<std::string> {
        wait.stopAnimation();
        pas.setWindowTitle(cp1251::toUnicode(formatMessage(msg.msg(5), {state.testName})));
        // A password was given and did not open the test: the prompt says so. (The first, empty
        // try of a local run is nobody's mistake.)
        if (!tried.empty())
            pas.markWrong();
        const bool ok = pas.exec() == QDialog::Accepted;
        wait.startAnimation();
        if (!ok)
            return std::nullopt;
        tried = cp1251::fromUnicode(pas.Edit1->text());
        return tried;
    };

    ArchiveReadResult read = readTestArchive(std::move(source), tried, hooks);
    if (!read.archive)
        return failLoad();
    TestArchive& archive = *read.archive;

    // The introduction and the reference go to their windows now; a piece the viewer rejects
    // fails the load.
    if (!loadPiece(app_.inform().OleContainer1, archive.introduction) ||
        !loadPiece(app_.helper().OleContainer1, archive.reference))
        return failLoad();
    archive.introduction.clear();
    archive.reference.clear();

    applyTestArchive(std::move(archive), questionSet, state);
    noteLoadedTest(stream, read.typedPassword);
    Stests->clear();
    for (const std::string& label : questionSet.labels)
        Stests->addItem(cp1251::toUnicode(label));
    // The list scrolls rather than growing to the height of all its items: 254 of them would
    // not fit on any screen.
    N5->setVisible(questionSet.calculatorAllowed);
    showOrderPanels(state.fixedOrder);

    wait.Panel1->clear();
    TInform& inform = app_.inform();
    if (QScreen* screen = QGuiApplication::primaryScreen())
        inform.setGeometry(screen->geometry());
    inform.show();
    wait.hide();
    wait.stopAnimation();
    return true;
}

void TTopros::prepareRunControls() {
    const RunState& state = app_.runState();
    clockOn_ = false;
    Timer1.stop();
    NoticeLine->hide(); // a notice of the run before is no part of this one
    if (promptVisible())
        hidePrompt();
    questionSet.updating = true;
    for (QRadioButton* b : Otvetbool1x) {
        b->setAutoExclusive(false);
        b->setChecked(false);
        b->setAutoExclusive(true);
    }
    for (QCheckBox* b : Otvetbool)
        b->setChecked(false);
    otvetstr->clear();

    PUchebnik1->setVisible(state.textbookDuringTest);
    // The results window of the run before left the link as review wanted it.
    PUchebnik1->setEnabled(true);
    N6->setVisible(state.referenceAllowed);
    N9->setVisible(false);
    N4->setVisible(true);
    N3->setVisible(N6->isVisible() || N5->isVisible());
    // A review before a repeated run left the answer panels disabled.
    for (QWidget* w : {pB, pA1, pA2, pD})
        w->setEnabled(true);
    prav_Panel->hide();
    Panel6->hide();
    for (QWidget* w : {Panel2, Panel3, Panel5})
        w->show();
    showOrderPanels(state.fixedOrder);
}

void TTopros::StartRun() {
    RunState& state = app_.runState();
    prepareRunControls();
    startRunLogic(questionSet, state, clock::randomSeed());
    beginJournal();
    driver_.start();
    showFullScreen(this);
    startClock();
    updateClockPanels();
    questionSet.updating = false;
}

} // namespace kvz
