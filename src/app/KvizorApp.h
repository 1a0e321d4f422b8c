#pragma once

// The application object: makes every window once (the main and run windows at start, the others
// when first needed), keeps them for the program's life and lets them reach each other and the
// run state. No other globals.

#include "run/RunContext.h"

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <memory>
#include <optional>
#include <vector>

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
class JournalKeeper;

class KvizorApp : public RunContext {
public:
    // parameters: the command-line parameters without the program name; executableFolder: the
    // folder holding the executable.
    KvizorApp(QStringList parameters, QString executableFolder);
    ~KvizorApp() override;
    KvizorApp(const KvizorApp&) = delete;
    KvizorApp& operator=(const KvizorApp&) = delete;

    // Makes what every start needs: the main window, whose creation step (folders, settings,
    // message table, run state) the windows made later rely on.
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
    // The windows below are made when first needed (most pupils never open most of them), with
    // the language of the moment; until then the program does not pay for them.
    TTopros& topros();
    TPrepere& prepere();
    TInform& inform();
    THelper& helper();
    TProgres& progres();
    TBlokator& blokator();
    TResultats& resultats();
    TSerestf& serestf();
    TClient& client();
    TPas& pas();
    TMessager& messager();
    TAbout& about();
    TProfil& profil();
    TSelectTest& selectTest();
    TMessage1& message1();
    bool toprosMade() const { return bool(topros_); }
    bool aboutMade() const { return bool(about_); }
    bool profilMade() const { return bool(profil_); }
    // The program's windows made so far, the main window first, in the order they were made.
    std::vector<QWidget*> madeWindows() const { return made_; }
    // True for the name of a window of this program that is made when first needed.
    static bool isLateWindowName(const QString& objectName);
    // The journal of the run against a crash, with this copy's lock on the state folder; made
    // on first use, so the state folder is the one of the environment the run sees.
    JournalKeeper& journal();
    JournalKeeper* journalMade() { return journal_.get(); }
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
    std::unique_ptr<JournalKeeper> journal_;
    std::optional<int> endCode_;
    std::vector<QWidget*> made_;
    bool ending_ = false;

    template <class Window> Window& made(std::unique_ptr<Window>& window) {
        return made(window, *this);
    }
    template <class Window, class Owner>
    Window& made(std::unique_ptr<Window>& window, Owner& owner);
};

} // namespace kvz
