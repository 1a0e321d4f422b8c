#include "app/KvizorApp.h"

#include "choice/TInform.h"
#include "choice/TPrepere.h"
#include "choice/TSerestf.h"
#include "l10n/TAbout.h"
#include "net/TBlokator.h"
#include "net/TClient.h"
#include "net/TMessager.h"
#include "net/TSelectTest.h"
#include "profile/ProfileRunner.h"
#include "profile/TProfil.h"
#include "results/TResultats.h"
#include "run/JournalKeeper.h"
#include "run/TMessage1.h"
#include "run/TTopros.h"
#include "shell/TBasic.h"
#include "shell/TStart.h"
#include "windows/THelper.h"
#include "windows/TPas.h"
#include "windows/TProgres.h"

#include <QCoreApplication>
#include <QThread>

namespace kvz {

KvizorApp::KvizorApp(QStringList parameters, QString executableFolder)
    : parameters_(std::move(parameters)), executableFolder_(std::move(executableFolder)) {}

KvizorApp::~KvizorApp() {
    // A window going may still reach another; none is made on the way out.
    ending_ = true;
    // Later windows may refer to earlier ones while they go, so they go in reverse order.
    profileRunner_.reset();
    message1_.reset();
    selectTest_.reset();
    profil_.reset();
    about_.reset();
    messager_.reset();
    pas_.reset();
    client_.reset();
    serestf_.reset();
    resultats_.reset();
    blokator_.reset();
    progres_.reset();
    helper_.reset();
    inform_.reset();
    topros_.reset();
    prepere_.reset();
    basic_.reset();
    journal_.reset();
}

RunState& KvizorApp::runState() {
    return basic_->runState();
}
MessageTable& KvizorApp::messages() {
    return basic_->messages();
}
TMessage1& KvizorApp::finishPrompt() {
    return message1();
}
QWidget& KvizorApp::referenceWindow() {
    return helper();
}
QWidget& KvizorApp::resultsWindow() {
    return resultats();
}
void KvizorApp::setSplash(TStart* splash) {
    splash_ = splash;
}
TStart* KvizorApp::splash() const {
    return splash_.data();
}

template <class Window, class Owner>
Window& KvizorApp::made(std::unique_ptr<Window>& window, Owner& owner) {
    if (!window) {
        window = std::make_unique<Window>(owner);
        // Gone before its owner lets it go (a window deleted on close): off the list then.
        QObject::connect(window.get(), &QObject::destroyed,
                         [this, w = static_cast<QWidget*>(window.get())] { std::erase(made_, w); });
        made_.push_back(window.get());
        if (!ending_)
            basic_->languageToLateWindow(*window);
    }
    return *window;
}

void KvizorApp::createWindows() {
    basic_ = std::make_unique<TBasic>(*this);
    made_.push_back(basic_.get());
    profileRunner_ = std::make_unique<ProfileRunner>(*this);
}

bool KvizorApp::isLateWindowName(const QString& objectName) {
    static const QStringList names{
        QStringLiteral("Topros"),    QStringLiteral("Prepere"),    QStringLiteral("Inform"),
        QStringLiteral("Helper"),    QStringLiteral("Progres"),    QStringLiteral("Blokator"),
        QStringLiteral("Resultats"), QStringLiteral("Serestf"),    QStringLiteral("Client"),
        QStringLiteral("Pas"),       QStringLiteral("Messager"),   QStringLiteral("About"),
        QStringLiteral("Profil"),    QStringLiteral("SelectTest"), QStringLiteral("Message1")};
    return names.contains(objectName);
}

JournalKeeper& KvizorApp::journal() {
    if (!journal_)
        journal_ = std::make_unique<JournalKeeper>(JournalStore(JournalStore::defaultFolder()));
    return *journal_;
}

TTopros& KvizorApp::topros() {
    return made(topros_);
}
TPrepere& KvizorApp::prepere() {
    return made(prepere_);
}
TInform& KvizorApp::inform() {
    return made(inform_);
}
THelper& KvizorApp::helper() {
    return made(helper_);
}
TProgres& KvizorApp::progres() {
    return made(progres_);
}
TBlokator& KvizorApp::blokator() {
    return made(blokator_);
}
TResultats& KvizorApp::resultats() {
    return made(resultats_);
}
TSerestf& KvizorApp::serestf() {
    return made(serestf_);
}
TClient& KvizorApp::client() {
    return made(client_);
}
TPas& KvizorApp::pas() {
    return made(pas_);
}
TMessager& KvizorApp::messager() {
    return made(messager_);
}
TAbout& KvizorApp::about() {
    return made(about_);
}
TProfil& KvizorApp::profil() {
    return made(profil_);
}
TSelectTest& KvizorApp::selectTest() {
    return made(selectTest_);
}
TMessage1& KvizorApp::message1() {
    // The prompt belongs to the run window, over which it stands.
    return made(message1_, topros());
}

void KvizorApp::requestEnd(int code) {
    endCode_ = code;
    if (QThread::currentThread()->loopLevel() > 0)
        QCoreApplication::exit(code);
}

} // namespace kvz
