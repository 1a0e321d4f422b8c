// The client window's wait for a test: the archive asked for and coming (the wait window with
// its progress, the bounded wait for each next piece, the load and what follows it), and the
// notice that a test set by the server waits for the supervisor's permission.

#include "net/TClient.h"

#include "app/KvizorApp.h"
#include "choice/TInform.h"
#include "l10n/Cp1251.h"
#include "l10n/MessageTable.h"
#include "net/ProtocolText.h"
#include "net/TSelectTest.h"
#include "platform/Dialogs.h"
#include "platform/Lockdown.h"
#include "results/TResultats.h"
#include "run/TTopros.h"
#include "shell/RunState.h"
#include "windows/TPas.h"
#include "windows/TProgres.h"

#include <QApplication>
#include <QBuffer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

namespace kvz {

namespace {

constexpr int kMsgNoArchive = 95; // "Сервер не прислал тест %s."
constexpr int kMsgAwaitingAllow = 96; // "Ожидается разрешение администратора..."

} // namespace

void TClient::ArchiveTimerTimer() {
    ArchiveTimer->stop();
    const QString why = cp1251::toUnicode(
        formatMessage(app_.messages().msg(kMsgNoArchive), {protocol_.offerFile()}));
    // A download that stopped half-way cannot be told from the next words: the connection goes,
    // and its loss ends the download.
    if (protocol_.readState() == ReadState::Downloading)
        socket_.socket().abort();
    if (!app_.runState().interactive) {
        giveUp(why);
        return;
    }
    log(cp1251::fromUnicode(why));
    qWarning("kvizor: %s", qPrintable(why));
    Dialogs::error(this, why);
}

bool TClient::testSetByServer() const {
    const std::string& file = protocol_.offerFile();
    return !protocol_.choiceShown() && file.size() > 4 &&
           cp1251::ansiLower(file.substr(file.size() - 4)) == ".tst";
}

bool TClient::awaitingProfileTest() const {
    if (app_.runState().interactive || app_.inform().isVisible() || app_.topros().isVisible() ||
        app_.resultats().isVisible())
        return false;
    return isVisible() || app_.selectTest().isVisible();
}

void TClient::showPermissionWait() {
    const QString text = msg(kMsgAwaitingAllow);
    if (!waitingForPermission_)
        log(app_.messages().msg(kMsgAwaitingAllow));
    waitingForPermission_ = true;
    TProgres& wait = app_.progres();
    wait.ProgressBar1->setRange(0, 0);
    wait.Panel1->setText(text);
    wait.startAnimation();
    showOverLock(&wait);
    wait.show();
    wait.raise();
    wait.activateWindow();
}

void TClient::endPermissionWait() {
    if (!waitingForPermission_)
        return;
    waitingForPermission_ = false;
    TProgres& wait = app_.progres();
    wait.stopAnimation();
    wait.ProgressBar1->setRange(0, 100);
    wait.hide();
}

void TClient::downloadBegun(std::int64_t size) {
    // The wait window now shows the download; a stalled one is given up like a missing one.
    waitingForPermission_ = false;
    ArchiveTimer->start();
    setEnabled(false);
    TProgres& wait = app_.progres();
    wait.ProgressBar1->setMaximum(int(size));
    wait.ProgressBar1->setValue(0);
    progressShown_.start();
    wait.Panel1->setText(msg(52));
    wait.startAnimation();
    showOverLock(&wait);
    wait.show();
    wait.repaint();
}

void TClient::downloadFirstPiece() {
    if (!busyCursor_) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        busyCursor_ = true;
    }
}

void TClient::downloadProgress(std::int64_t received) {
    ArchiveTimer->start();
    // Each step brings at most 10,000 bytes; repainting the bar for every one of them costs
    // more than reading them. The last piece ends the download, which closes the bar anyway.
    if (progressShown_.isValid() && progressShown_.elapsed() < 50)
        return;
    progressShown_.start();
    app_.progres().ProgressBar1->setValue(int(received));
}

bool TClient::loadTest(const std::string& archive) {
    // The archive is here; a password prompt may take the pupil any time.
    ArchiveTimer->stop();
    RunState& rs = app_.runState();
    TInform& inform = app_.inform();
    const MessageTable& m = app_.messages();
    inform.Label2->setText(m.text(11) + cp1251::toUnicode(rs.testName));
    inform.Label3->setText(m.text(rs.studentMode ? 12 : 13) +
                           cp1251::toUnicode(protocol_.offerClass()) + m.text(16) +
                           cp1251::toUnicode(protocol_.offerSubject()) + QStringLiteral("."));
    if (TTopros& run = app_.topros(); run.pendingResume()) {
        // The run brought back opens its test with the password saved with it.
        resumeRequested_ = false;
        const bool same =
            run.ResumeFromServer(QByteArray(archive.data(), qsizetype(archive.size())));
        if (same)
            hide();
        return same;
    }
    // A profile-driven run keeps the profile's password when the server gave none: otherwise a
    // pupil would be asked for a password the supervisor meant to spare them.
    const std::string& password = protocol_.testPassword().empty() && !rs.interactive
                                      ? rs.profilePassword
                                      : protocol_.testPassword();
    app_.pas().Edit1->setText(cp1251::toUnicode(password));
    // The archive stays in memory; it is never written to disk.
    QByteArray bytes = QByteArray::fromRawData(archive.data(), qsizetype(archive.size()));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    const bool loaded = app_.topros().LoadTest(buffer);
    if (!loaded) {
        // Once the download has ended and this window is usable again.
        QTimer::singleShot(0, this, [this] { backAfterFailedLoad(); });
        return false;
    }
    hide();
    if (!rs.interactive) {
        if (!inform.KlassName->text().isEmpty() && !inform.UserName->text().isEmpty()) {
            inform.Button2->click();
            inform.Button3->setEnabled(false);
        } else {
            inform.Button3->setEnabled(true);
            if (inform.UserName->text().isEmpty())
                inform.UserName->setFocus();
            if (inform.KlassName->text().isEmpty())
                inform.KlassName->setFocus();
        }
    }
    return true;
}

void TClient::backAfterFailedLoad() {
    const RunState& rs = app_.runState();
    QWidget* back = this;
    TSelectTest& select = app_.selectTest();
    // The choice was made in the choice window, or for the pupil when only one test matched:
    // either way the pupil may choose again there, or leave.
    if (!rs.interactive && rs.profileSelect != 0 && !isVisible() && select.ListBox1->count() > 0)
        back = &select;
    if (!back->isVisible() && back == this)
        return; // the window was left meanwhile
    showOverLock(back);
    back->show();
    back->raise();
    back->activateWindow();
}

void TClient::downloadEnded() {
    ArchiveTimer->stop();
    if (busyCursor_) {
        QApplication::restoreOverrideCursor();
        busyCursor_ = false;
    }
    TProgres& wait = app_.progres();
    const bool waited = wait.isVisible();
    if (waited)
        wait.hide();
    setEnabled(true);
    // The wait window held the keyboard; a download that brought no test gives it back here.
    if (waited && isVisible()) {
        raise();
        activateWindow();
    }
}

} // namespace kvz
