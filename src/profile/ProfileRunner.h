#pragma once

// A run started with a profile on the command line: reads the profile into the run state and
// goes the profile's road (local, network, or the main window) with as few questions to the
// examinee as possible.

#include <QStringList>
#include <functional>
#include <optional>

namespace kvz {

class KvizorApp;

class ProfileRunner {
public:
    explicit ProfileRunner(KvizorApp& app);

    // The profile step of the main window's show step; runs again whenever the main window is
    // shown in a run that is not interactive.
    void Run();
    // A run brought back at this start takes the profile's values (where the result goes, what
    // follows the test) without going the profile's road; interactive unless the profile is a
    // local or network one.
    void ApplyForResume();

    // Test seams. chooseTest: the examinee's choice among several local tests (an index into
    // names, nullopt when the choice window is left without OK); by default the test choice
    // window, modal. hostName: this workstation's name.
    std::function<std::optional<int>(const QStringList& names)> chooseTest;
    std::function<QString()> hostName;

private:
    void LocalRun();
    void NetRun();
    // Ends the program at once: no message, no settings written, no command at exit.
    void end();
    std::optional<int> chooseInWindow(const QStringList& names);

    KvizorApp& app_;
};

} // namespace kvz
