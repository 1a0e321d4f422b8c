#pragma once

// The application object: creates every window once, in a fixed order, keeps them for the
// program's life and lets them reach each other and the run state. No other globals.

#include "run/RunContext.h"

#include <QPointer>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

namespace kvz {

struct RunState;
class MessageTable;
class TStart;
class TBasic;
class TPrepere;
class TTopros;
class TInform;
class THelper;
class TProgres;
class TBlokator;
class TResultats;
class TSerestf;
class TClient;
class TPas;
class TMessager;
class TAbout;
class TProfil;
class TSelectTest;
class TMessage1;
class ProfileRunner;

class KvizorApp : public RunContext {
public:
    // parameters: the command-line parameters without the program name; executableFolder: the
    // folder holding the executable.
    KvizorApp(QStringList parameters, QString executableFolder);
    ~KvizorApp() override;
    KvizorApp(const KvizorApp&) = delete;
    KvizorApp& operator=(const KvizorApp&) = delete;

    // Creates the windows in their order; the main window first, so the others can rely on its
    // creation step (folders, settings, message table, run state).
    void createWindows();

    const QStringList& parameters() const { return parameters_; }
    const QString& executableFolder() const { return executableFolder_; }
    RunState& runState() override;
    // The message table every window builds its texts from; filled by the main window.
    MessageTable& messages() override;
    // The run window's surroundings: the prompt, the help window with the reference, the
    // results window.
    TMessage1& finishPrompt() override;
    QWidget& referenceWindow() override;
    QWidget& resultsWindow() override;
    KvizorApp* program() override { return this; }

    // The splash while it exists (it deletes itself when closed).
    void setSplash(TStart* splash);
    TStart* splash() const;

    TBasic& basic() { return *basic_; }
    TPrepere& prepere() { return *prepere_; }
    TTopros& topros() { return *topros_; }
    TInform& inform() { return *inform_; }
    THelper& helper() { return *helper_; }
    TProgres& progres() { return *progres_; }
    TBlokator& blokator() { return *blokator_; }
    TResultats& resultats() { return *resultats_; }
    TSerestf& serestf() { return *serestf_; }
    TClient& client() { return *client_; }
    TPas& pas() { return *pas_; }
    TMessager& messager() { return *messager_; }
    // Made when first needed (most pupils never open them), with the language of the moment.
    TAbout& about();
    TProfil& profil();
    bool aboutMade() const { return bool(about_); }
    bool profilMade() const { return bool(profil_); }
    TSelectTest& selectTest() { return *selectTest_; }
    TMessage1& message1() { return *message1_; }
    ProfileRunner& profileRunner() { return *profileRunner_; }

    // Ends the program at once, without the exit path: leaves the event loop when it runs, and
    // tells the start-up not to enter it when it does not run yet.
    void requestEnd(int code);
    std::optional<int> endRequested() const { return endCode_; }

private:
    QStringList parameters_;
    QString executableFolder_;
    QPointer<TStart> splash_;
    std::unique_ptr<TBasic> basic_;
    std::unique_ptr<TPrepere> prepere_;
    std::unique_ptr<TTopros> topros_;
    std::unique_ptr<TInform> inform_;
    std::unique_ptr<THelper> helper_;
    std::unique_ptr<TProgres> progres_;
    std::unique_ptr<TBlokator> blokator_;
    std::unique_ptr<TResultats> resultats_;
    std::unique_ptr<TSerestf> serestf_;
    std::unique_ptr<TClient> client_;
    std::unique_ptr<TPas> pas_;
    std::unique_ptr<TMessager> messager_;
    std::unique_ptr<TAbout> about_;
    std::unique_ptr<TProfil> profil_;
    std::unique_ptr<TSelectTest> selectTest_;
    std::unique_ptr<TMessage1> message1_;
    std::unique_ptr<ProfileRunner> profileRunner_;
    std::optional<int> endCode_;
};

} // namespace kvz
