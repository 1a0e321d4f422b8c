#pragma once

// "Как увидит ученик": the test being edited in the program's own run window, at a chosen
// screen size, with its clocks, its finish prompt, the results and the answer review. A preview:
// the results are shown and never stored, no journal is kept and nothing is locked down. This
// class is the run window's surroundings in the editor, in place of the examinee program.

#include "EditorLanguage.h"
#include "l10n/MessageTable.h"
#include "run/RunContext.h"
#include "shell/RunState.h"

#include <QByteArray>
#include <QWidget>
#include <functional>
#include <memory>

class QGroupBox;
class QLabel;
class QPushButton;

namespace kvz {
class DocumentView;
class EditableTest;
class IntroductionPage;
class TMessage1;
class TTopros;
} // namespace kvz

namespace kvz::editor {

// The results of a preview run: the program's figures from the run's own check, the review and
// a repeat, and a word that nothing was stored.
class PreviewResults : public QWidget {
    Q_OBJECT
public:
    // repeat begins the run again as the preview began it.
    PreviewResults(RunContext& context, TTopros& run, std::function<void()> repeat);

    QLabel* Label3 = nullptr; // answers given, "2 из 3 (66.67%)"
    QLabel* Label2 = nullptr; // right answers
    QLabel* Label7 = nullptr; // the score
    QLabel* Label4 = nullptr; // the mark, when the test shows it
    QLabel* Image1 = nullptr; // the score pie
    QLabel* PreviewNote = nullptr;
    QPushButton* Button3 = nullptr; // "Посмотреть ответы"
    QPushButton* Button1 = nullptr; // "Повторить"
    QPushButton* Button2 = nullptr; // "Выход": ends the preview

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // The first showing for a run: the run's check, into the run state the review reads.
    void check();

    RunContext& context_;
    TTopros& run_;
    std::function<void()> repeat_;
};

class TPreview : public RunContext {
public:
    explicit TPreview(const EditorLanguage& language);
    ~TPreview() override;
    TPreview(const TPreview&) = delete;
    TPreview& operator=(const TPreview&) = delete;

    // Takes the test as it would be saved and starts a run of it on a screen of that size.
    void showTest(const EditableTest& test, QSize screen);
    // Every window of the preview goes.
    void close();
    bool isVisible() const;

    TTopros& run() { return *run_; }
    // The test's introduction, before the run when the test shows one, as the pupil sees it.
    IntroductionPage& introduction() { return *intro_; }
    PreviewResults& results() { return *results_; }
    TMessage1& prompt() { return *prompt_; }

    // RunContext
    RunState& runState() override { return state_; }
    MessageTable& messages() override { return messages_; }
    TMessage1& finishPrompt() override { return *prompt_; }
    QWidget& referenceWindow() override { return *reference_; }
    QWidget& resultsWindow() override { return *results_; }
    QRect screenRect() const override { return screen_; }
    bool runWindowClosable() const override { return true; }
    KvizorApp* program() override { return nullptr; }

private:
    // The run begins: with the introduction page first when the test shows it.
    void begin();

    const EditorLanguage& language_;
    RunState state_;
    MessageTable messages_;
    QRect screen_;
    std::unique_ptr<TTopros> run_;
    std::unique_ptr<IntroductionPage> intro_;
    std::unique_ptr<TMessage1> prompt_;
    std::unique_ptr<PreviewResults> results_;
    std::unique_ptr<QWidget> reference_;
    DocumentView* referencePage_ = nullptr;
};

} // namespace kvz::editor
