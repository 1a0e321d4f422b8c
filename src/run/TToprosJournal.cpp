// The run journal of the run window: what is written while a run goes on, and bringing an
// unfinished run back when the program starts again after a crash or a power cut.

#include "run/TTopros.h"

#include "app/KvizorApp.h"
#include "choice/TInform.h"
#include "l10n/Cp1251.h"
#include "l10n/MessageTable.h"
#include "net/TClient.h"
#include "platform/Dialogs.h"
#include "platform/Lockdown.h"
#include "platform/docview/DocumentView.h"
#include "profile/ProfileRunner.h"
#include "run/JournalKeeper.h"
#include "run/RunContext.h"
#include "shell/NamedFile.h"
#include "shell/RunState.h"
#include "test/TestArchive.h"
#include "windows/THelper.h"
#include "windows/TPas.h"

#include <QAction>
#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileDevice>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>

namespace kvz {

namespace {

// SHA-256 of the whole archive the stream was opened on: a file is read again from its start,
// an archive in memory is hashed where it lies. Empty when neither.
QByteArray archiveHash(QIODevice& stream) {
    if (auto* file = qobject_cast<QFileDevice*>(&stream); file && !file->fileName().isEmpty()) {
        // Only the regular file it was: a name swapped for a pipe or a device meanwhile is
        // no test of ours.
        QFile again;
        QCryptographicHash hash(QCryptographicHash::Sha256);
        if (openNamedFile(file->fileName(), &again, nullptr) && hash.addData(&again))
            return hash.result();
        return {};
    }
    if (auto* buffer = qobject_cast<QBuffer*>(&stream))
        return sha256(buffer->data());
    return {};
}

bool loadPiece(DocumentView* view, const QByteArray& piece) {
    QBuffer buffer;
    buffer.setData(piece);
    return view && buffer.open(QIODevice::ReadOnly) && view->loadFromStream(buffer);
}

QString pathOf(QIODevice& stream) {
    if (auto* file = qobject_cast<QFileDevice*>(&stream))
        return QFileInfo(file->fileName()).absoluteFilePath();
    return {};
}

// Where a run's test is found again: the program's test folder.
QString testFolderOf(const RunState& rs) {
    return rs.programFolder + QStringLiteral("/Base");
}

// The file's name when it lies in folder, else empty: a test from anywhere else could not be
// found again by name.
QString nameIn(const QString& path, const QString& folder) {
    const QFileInfo file(path);
    const QString at = QFileInfo(file.absolutePath()).canonicalFilePath();
    if (at.isEmpty() || at != QFileInfo(folder).canonicalFilePath())
        return {};
    return file.fileName();
}

} // namespace

JournalKeeper& TTopros::journal() {
    return app_->journal();
}

JournalKeeper* TTopros::journalMade() const {
    return app_ ? app_->journalMade() : nullptr;
}

void TTopros::noteLoadedTest(QIODevice& stream, const std::string& typedPassword) {
    RunJournal id;
    id.archiveSha256 = archiveHash(stream);
    id.typedPassword = typedPassword;
    TClient& client = app_->client();
    if (client.connectedToServer()) {
        id.mode = JournalMode::Server;
        id.serverHost = client.Host1->text();
        id.serverPort = std::uint16_t(client.Port1->text().toUInt());
        id.offerFile = client.protocol().offerFile();
        id.offerClass = client.protocol().offerClass();
        id.offerSubject = client.protocol().offerSubject();
        id.offerSize = client.protocol().offerSize();
    } else {
        id.mode = app_->parameters().isEmpty() ? JournalMode::Local : JournalMode::Profile;
        id.testFile = nameIn(pathOf(stream), testFolderOf(context_.runState()));
    }
    loadedTest_ = std::move(id);
}

void TTopros::beginJournal() {
    // A run outside the program (the editor's preview) keeps no journal.
    if (!app_)
        return;
    RunJournal id = loadedTest_;
    // A test that cannot be found again (no file, no hash) gets no journal: it could not be
    // brought back anyway.
    if (id.archiveSha256.size() != 32 || (id.mode != JournalMode::Server && id.testFile.isEmpty()))
        return;
    // Held by another copy: begin() below keeps nothing and says so; that copy's journal is
    // never touched from here.
    if (!journal().active() && ClaimJournal()) {
        // The journal of a run this program is not keeping (one whose resume was put off) is
        // never written over: it is kept under another name, as a discarded one is.
        journal().flush();
        if (QFile::exists(journal().store().path())) {
            QString error;
            const std::optional<QString> aside = journal().store().setAside(&error);
            qWarning("kvizor: a new run begins while another is unfinished; its journal is kept "
                     "as %s",
                     qPrintable(aside ? *aside : error));
        }
    }
    id.sequence = 0;
    id.runNumber = 0; // a new run: the counter gives it the next number
    id.finished = false;
    id.examineeName = cp1251::fromUnicode(app_->inform().UserName->text());
    id.examineeClass = cp1251::fromUnicode(app_->inform().KlassName->text());
    resumedFinished_ = false;
    watchRun();
    journal().begin(std::move(id), questionSet, context_.runState(), 0);
    noteJournalFailure();
}

bool TTopros::ClaimJournal() {
    return journal().claim() != JournalLock::State::Busy;
}

void TTopros::noteJournalFailure() {
    JournalKeeper* journal = journalMade();
    if (!journal)
        return;
    const std::optional<QString> why = journal->takeFailure();
    if (!why)
        return;
    qWarning("kvizor: the run of %s by %s is not kept against a crash: %s",
             qPrintable(cp1251::toUnicode(context_.runState().testName)),
             qPrintable(app_->inform().UserName->text()), qPrintable(*why));
    showNotice(context_.messages().text(72));
}

void TTopros::applyStartValues() {
    RunState& rs = context_.runState();
    if (app_->parameters().isEmpty()) {
        // The results folder the settings gave at this start.
        rs.interactive = true;
        return;
    }
    app_->profileRunner().ApplyForResume();
}

void TTopros::watchRun() {
    driver_.setChangeListener([this](RunChange change) {
        const RunState& rs = context_.runState();
        switch (change) {
        case RunChange::Arrived:
            journal().record(questionSet, rs, driver_.current());
            noteJournalFailure();
            break;
        case RunChange::Ticked:
            journal().tick(questionSet, rs, driver_.current());
            noteJournalFailure();
            break;
        case RunChange::Finishing:
            journal().finishing(questionSet, rs, driver_.current());
            break;
        }
    });
}

void TTopros::journalAnswerChanged() {
    JournalKeeper* journal = journalMade();
    if (!journal || !journal->active() || !driver_.running())
        return;
    // The controls hold the change; the record is what the journal takes.
    SaveAnswer();
    journal->record(questionSet, context_.runState(), driver_.current());
    noteJournalFailure();
}

void TTopros::ResultStored() {
    if (JournalKeeper* journal = journalMade())
        journal->end();
    resumedFinished_ = false;
}

std::optional<QString> TTopros::AlreadyStoredResult(const QString& folder,
                                                    const QByteArray& summaryEntry) const {
    if (!resumedFinished_)
        return std::nullopt;
    return findStoredResult(folder, summaryEntry);
}

void TTopros::setJournalAside(const RunJournal* saved, const QString& reason) {
    const MessageTable& m = context_.messages();
    QString error;
    const std::optional<QString> aside = journal().store().setAside(&error);
    qWarning("kvizor: an unfinished run cannot be resumed (%s); its journal is kept as %s",
             qPrintable(reason), qPrintable(aside ? *aside : error));
    // A journal that does not read names nobody.
    const std::string test = saved && !saved->testName.empty() ? saved->testName : "?";
    const std::string pupil = saved && !saved->examineeName.empty() ? saved->examineeName : "?";
    const std::string where =
        cp1251::fromUnicode(QDir::toNativeSeparators(aside ? *aside : journal().store().path()));
    Dialogs::error(nullptr, cp1251::toUnicode(formatMessage(m.msg(70), {test, pupil, where})));
}

bool TTopros::confirmResume(const RunJournal& saved) {
    // The supervisor may discard the run, with the test's password; the pupil cannot.
    const MessageTable& m = context_.messages();
    TPas& pas = app_->pas();
    for (;;) {
        const QString question =
            cp1251::toUnicode(formatMessage(m.msg(68), {saved.testName, saved.examineeName}));
        if (Dialogs::confirm(nullptr, question))
            return true;
        if (saved.typedPassword.empty()) {
            // A test without a password has none for the supervisor either: the pupil cannot
            // throw the run away. A supervisor who wants it gone removes its journal.
            qInfo("kvizor: the unfinished run of %s by %s has no test password and is not "
                  "discarded",
                  qPrintable(cp1251::toUnicode(saved.testName)),
                  qPrintable(cp1251::toUnicode(saved.examineeName)));
            Dialogs::information(nullptr, m.text(74));
            return true;
        }
        pas.Edit1->clear();
        pas.setWindowTitle(cp1251::toUnicode(formatMessage(m.msg(5), {saved.testName})));
        const bool typed = pas.exec() == QDialog::Accepted;
        const std::string password = cp1251::fromUnicode(pas.Edit1->text());
        pas.Edit1->clear();
        if (typed && password == saved.typedPassword) {
            QString error;
            const std::optional<QString> aside = journal().store().setAside(&error);
            qWarning("kvizor: the unfinished run of %s by %s was discarded by the supervisor; "
                     "its journal is kept as %s",
                     qPrintable(cp1251::toUnicode(saved.testName)),
                     qPrintable(cp1251::toUnicode(saved.examineeName)),
                     qPrintable(aside ? *aside : error));
            return false;
        }
    }
}

bool TTopros::ResumeUnfinishedRun() {
    if (!app_)
        return false;
    RunState& rs = context_.runState();
    if (pendingResume_)
        return true;
    // What this program wrote last is on disk before it is read back.
    if (JournalKeeper* journal = journalMade())
        journal->flush();
    // Another copy's journal is never read from here, let alone resumed.
    if (!ClaimJournal())
        return false;
    UnfinishedRun waiting =
        checkUnfinishedRun(journal().store(), testFolderOf(rs), kMaxArchiveSize);
    if (waiting.verdict == UnfinishedRun::Verdict::None)
        return false;
    RunJournal& saved = waiting.journal;
    if (waiting.verdict == UnfinishedRun::Verdict::SetAside) {
        setJournalAside(&saved, waiting.reason);
        return false;
    }
    // A run that had the lock-down is locked before it is asked about: the question stands on
    // the run window, full screen, as the run will.
    const bool locked = !saved.rules.lockdownOff;
    if (locked) {
        rs.lockdownOff = false;
        prepareRunControls();
        showFullScreen(this);
        applyLockdown(rs, this);
    }
    const bool resume = confirmResume(saved);
    if (locked && (!resume || saved.mode == JournalMode::Server)) {
        // Discarded, or the test comes from the server first: the client window is the
        // pupil's until the run is back, as at any network start.
        liftLockdown(rs);
        hide();
    }
    if (!resume)
        return false;

    if (saved.mode == JournalMode::Server) {
        // The test comes from the server again: the client window connects with the saved
        // settings and asks for the same test; the run comes back when its bytes arrive.
        qInfo("kvizor: the unfinished run of %s by %s waits for its test from %s:%d",
              qPrintable(cp1251::toUnicode(saved.testName)),
              qPrintable(cp1251::toUnicode(saved.examineeName)), qPrintable(saved.serverHost),
              int(saved.serverPort));
        const QString host = saved.serverHost;
        const std::uint16_t port = saved.serverPort;
        pendingResume_ = std::move(saved);
        // The client window is the pupil's, never driven by a profile's choice meanwhile.
        rs.interactive = true;
        app_->client().BeginResume(host, port);
        return true;
    }
    return restoreSavedRun(saved, std::move(waiting.archive));
}

bool TTopros::restoreSavedRun(const RunJournal& saved, QByteArray archive) {
    RunState& rs = context_.runState();
    const MessageTable& m = context_.messages();
    const bool fromServer = saved.mode == JournalMode::Server;
    // The server's clock of its last poll stands for the local one from now on, not the saved.
    const DateTime serverNow = rs.serverStartTime;
    applyStartValues();
    QString reason;
    const std::optional<ResumedPieces> pieces =
        loadResumedRun(saved, std::move(archive), questionSet, rs, &reason);
    if (!pieces || !loadPiece(app_->inform().OleContainer1, pieces->introduction) ||
        !loadPiece(app_->helper().OleContainer1, pieces->reference)) {
        if (isVisible()) {
            // Locked for the question by the journal's rule, whatever the archive said.
            liftLockdown(RunState{});
            hide();
        }
        setJournalAside(&saved, reason.isEmpty() ? QStringLiteral("a page does not load") : reason);
        return false;
    }
    if (fromServer && rs.connectedToServer)
        rs.serverStartTime = serverNow;
    Stests->clear();
    for (const std::string& label : questionSet.labels)
        Stests->addItem(cp1251::toUnicode(label));
    N5->setVisible(questionSet.calculatorAllowed);
    // The names are the run's own; nobody is asked for them again.
    app_->inform().UserName->setText(cp1251::toUnicode(saved.examineeName));
    app_->inform().KlassName->setText(cp1251::toUnicode(saved.examineeClass));
    app_->pas().Edit1->setText(cp1251::toUnicode(saved.typedPassword));

    loadedTest_ = saved;
    loadedTest_.items.clear();
    prepareRunControls();
    watchRun();
    // The journal goes on where it stood (its count of writes, its finished mark).
    journal().begin(saved, questionSet, rs, saved.currentItem);
    qInfo("kvizor: resumed the run of %s by %s at item %d",
          qPrintable(cp1251::toUnicode(saved.testName)),
          qPrintable(cp1251::toUnicode(saved.examineeName)), saved.currentItem + 1);
    // The server sees the test as begun again, as at an ordinary start.
    if (fromServer)
        app_->client().SendStart();

    if (saved.finished) {
        // It had ended before its result was stored: the results come at once.
        resumedFinished_ = true;
        showFullScreen(this);
        applyLockdown(rs, this);
        driver_.finishResumed(saved.currentItem, saved.finishTime);
        questionSet.updating = false;
        noteJournalFailure();
        return true;
    }
    driver_.resume(saved.currentItem);
    showFullScreen(this);
    applyLockdown(rs, this);
    updateClockPanels();
    questionSet.updating = false;
    // Said on a line that blocks nothing: the clock runs from the moment the run is back on
    // screen, and nothing waits for the pupil (a clock that ends the run meanwhile ends it).
    showNotice(m.text(69));
    noteJournalFailure(); // the more urgent line, when there is one
    startClock();
    return true;
}

bool TTopros::ResumeFromServer(QByteArray archive) {
    if (!pendingResume_)
        return false;
    RunJournal saved = std::move(*pendingResume_);
    pendingResume_.reset();
    const bool same = sha256(archive) == saved.archiveSha256;
    if (same)
        app_->client().EndResume();
    else
        endPendingResume();
    // Both the run and the supervisor's message wait until the server has been told the
    // download is over: it expects nothing from this workstation before that.
    QTimer::singleShot(
        0, this, [this, same, saved = std::move(saved), archive = std::move(archive)]() mutable {
            if (!same) {
                setJournalAside(&saved, QStringLiteral("the test %1 on the server has changed")
                                            .arg(cp1251::toUnicode(saved.offerFile)));
                return;
            }
            if (!restoreSavedRun(saved, std::move(archive))) {
                // Set aside and told: the pupil may take a test as usual.
                context_.runState().interactive = true;
                TClient& client = app_->client();
                showOverLock(&client);
                client.show();
            }
        });
    return same;
}

void TTopros::endPendingResume() {
    pendingResume_.reset();
    context_.runState().interactive = true;
    app_->client().EndResume();
}

void TTopros::AbandonPendingResume(const QString& reason) {
    if (!pendingResume_)
        return;
    const RunJournal saved = std::move(*pendingResume_);
    endPendingResume();
    setJournalAside(&saved, reason);
}

void TTopros::PutOffPendingResume() {
    if (!pendingResume_)
        return;
    qInfo("kvizor: the resume of the run of %s by %s was put off; its journal stays",
          qPrintable(cp1251::toUnicode(pendingResume_->testName)),
          qPrintable(cp1251::toUnicode(pendingResume_->examineeName)));
    endPendingResume();
}

} // namespace kvz
