// The client window's part in bringing back a network run cut short by a crash: it connects to
// the saved server and asks for the run's own test, and nothing else.

#include "net/TClient.h"

#include "app/KvizorApp.h"
#include "l10n/Cp1251.h"
#include "net/ResumeOffer.h"
#include "platform/Lockdown.h"
#include "run/RunJournal.h"
#include "run/TTopros.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

namespace kvz {

void TClient::BeginResume(const QString& host, std::uint16_t port) {
    Host1->setText(host);
    Port1->setText(QString::number(port));
    // Only the way back and the message to the supervisor stay for the pupil meanwhile.
    GroupBox1->setEnabled(false);
    Files->setEnabled(false);
    Button4->setEnabled(false);
    resumeRequested_ = false;
    showOverLock(this);
    show();
    raise();
    activateWindow();
    Timer3->start();
    if (!CheckBox1->isChecked())
        CheckBox1->setChecked(true);
}

void TClient::EndResume() {
    Timer3->stop();
    resumeRequested_ = false;
    GroupBox1->setEnabled(true);
    Files->setEnabled(true);
    Button4->setEnabled(protocol_.permitted());
}

void TClient::queueResumeStep() {
    if (resumeStepQueued_ || !app_.topros().pendingResume())
        return;
    // Once the read step is over: a list or an announcement is then whole.
    resumeStepQueued_ = true;
    QTimer::singleShot(0, this, [this] {
        resumeStepQueued_ = false;
        resumeStep();
    });
}

void TClient::resumeStep() {
    const RunJournal* saved = app_.topros().pendingResume();
    if (!saved || resumeRequested_ || !socket_.isActive())
        return;
    const ResumeStep step = NextResumeStep(
        protocol_, {saved->offerFile, saved->offerClass, saved->offerSubject, saved->offerSize});
    const QString file = cp1251::toUnicode(saved->offerFile);
    switch (step.kind) {
    case ResumeStep::Kind::Wait:
        return;
    case ResumeStep::Kind::NotOffered:
        app_.topros().AbandonPendingResume(
            QStringLiteral("the server does not offer the test %1").arg(file));
        return;
    case ResumeStep::Kind::OtherTest:
        app_.topros().AbandonPendingResume(
            QStringLiteral("the server sets the test %1, not %2")
                .arg(cp1251::toUnicode(protocol_.offerFile()), file));
        return;
    case ResumeStep::Kind::Changed:
        app_.topros().AbandonPendingResume(
            QStringLiteral("the test %1 on the server has changed").arg(file));
        return;
    case ResumeStep::Kind::Request:
        if (step.position >= 0) {
            protocol_.takeChoice(step.position);
            choiceListChanged();
        }
        resumeRequested_ = true;
        protocol_.requestTest();
        return;
    }
}

} // namespace kvz
