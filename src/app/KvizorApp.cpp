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
}

RunState& KvizorApp::runState() {
    return basic_->runState();
}
MessageTable& KvizorApp::messages() {
    return basic_->messages();
}
TMessage1& KvizorApp::finishPrompt() {
    return *message1_;
}
QWidget& KvizorApp::referenceWindow() {
    return *helper_;
}
QWidget& KvizorApp::resultsWindow() {
    return *resultats_;
}
void KvizorApp::setSplash(TStart* splash) {
    splash_ = splash;
}
TStart* KvizorApp::splash() const {
    return splash_.data();
}

void KvizorApp::createWindows() {
    basic_ = std::make_unique<TBasic>(*this);
    prepere_ = std::make_unique<TPrepere>(*this);
    topros_ = std::make_unique<TTopros>(*this);
    inform_ = std::make_unique<TInform>(*this);
    helper_ = std::make_unique<THelper>(*this);
    progres_ = std::make_unique<TProgres>(*this);
    blokator_ = std::make_unique<TBlokator>(*this);
    resultats_ = std::make_unique<TResultats>(*this);
    serestf_ = std::make_unique<TSerestf>(*this);
    client_ = std::make_unique<TClient>(*this);
    pas_ = std::make_unique<TPas>(*this);
    messager_ = std::make_unique<TMessager>(*this);
    selectTest_ = std::make_unique<TSelectTest>(*this);
    message1_ = std::make_unique<TMessage1>(*topros_);
    profileRunner_ = std::make_unique<ProfileRunner>(*this);
}

TAbout& KvizorApp::about() {
    if (!about_) {
        about_ = std::make_unique<TAbout>(*this);
        basic_->languageToLateWindow(*about_);
    }
    return *about_;
}

TProfil& KvizorApp::profil() {
    if (!profil_) {
        profil_ = std::make_unique<TProfil>(*this);
        basic_->languageToLateWindow(*profil_);
    }
    return *profil_;
}

void KvizorApp::requestEnd(int code) {
    endCode_ = code;
    if (QThread::currentThread()->loopLevel() > 0)
        QCoreApplication::exit(code);
}

} // namespace kvz
