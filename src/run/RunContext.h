#pragma once

// What the run window needs from around it: the run state, the message table, the prompt,
// the reference page and the results window, and where its windows stand. The examinee program
// gives all of it through its application object; the test editor's preview gives its own
// (a results view that stores nothing), so the pupil's run window is the one it shows.

#include <QRect>

class QWidget;

namespace kvz {

struct RunState;
class MessageTable;
class TMessage1;
class KvizorApp;

class RunContext {
public:
    virtual ~RunContext() = default;

    virtual RunState& runState() = 0;
    virtual MessageTable& messages() = 0;
    // The continue-or-finish prompt over the run window.
    virtual TMessage1& finishPrompt() = 0;
    // The reference document (F1); it enables the run window again when it hides.
    virtual QWidget& referenceWindow() = 0;
    // The results of a finished run: on its first showing for a run it checks the answers
    // (and, in the program, stores them).
    virtual QWidget& resultsWindow() = 0;
    // The rectangle the run window and the results fill: the whole screen in the program.
    virtual QRect screenRect() const;
    // Whether the window system may close the run window: never in the program, where only
    // finishing the test leaves it.
    virtual bool runWindowClosable() const { return false; }
    // The examinee program around the run (loading through its windows, the journal, bringing a
    // run back, the network). Null where there is none: such a run keeps no journal.
    virtual KvizorApp* program() = 0;
};

} // namespace kvz
