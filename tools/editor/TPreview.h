#pragma once

// "Как увидит ученик": the test being edited as the pupil meets it, at a chosen screen size:
// the page, the answer row of its kind, the numbered markers on the page, the question list and
// the clocks, moving between questions and checking at the end by the run's own logic. A
// preview: no result is written, no journal is kept and nothing is locked down.

#include "EditorLanguage.h"
#include "run/MarkerBoard.h"
#include "shell/RunState.h"
#include "test/EditableTest.h"
#include "test/QuestionSet.h"

#include <QWidget>
#include <array>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QStackedWidget;

namespace kvz {
class DocumentView;
}

namespace kvz::editor {

class TPreview : public QWidget {
    Q_OBJECT
public:
    TPreview(const EditorLanguage& language, QWidget* parent = nullptr);

    // Loads the test as the program would and shows its first question at screen size.
    void showTest(const EditableTest& test, QSize screen);
    void Next1Click();
    void Prior1Click();
    void SelectQuestion(int k);
    void FinishClick();

    const QuestionSet& questionSet() const { return set_; }
    int current() const { return current_; }
    const CheckSummary& summary() const { return summary_; }
    const MarkerBoard& board() const { return board_; }

    DocumentView* Quest = nullptr;
    QListWidget* Stests = nullptr;
    QLabel* Label2 = nullptr; // "Ваш ответ:"
    QStackedWidget* Answers = nullptr;
    std::array<QCheckBox*, kMaxChoices> Otvetbool{};
    std::array<QRadioButton*, kMaxChoices> Otvetbool1x{};
    QLineEdit* otvetstr = nullptr;
    std::array<QComboBox*, kMaxSlots> CbOtvetOfset{};
    std::array<QLabel*, kMaxSlots> LbOtvetOfset{};
    QPushButton* PRIOR1 = nullptr;
    QPushButton* Next1 = nullptr;
    QPushButton* Finish = nullptr;
    QLabel* Panel3 = nullptr; // the test clock
    QLabel* Panel5 = nullptr; // the question clock
    QLabel* Verdict = nullptr;

private:
    void showQuestion();
    void saveAnswer();
    void paintMarkers(QPainter& p);
    void markersChanged();

    const EditorLanguage& language_;
    QuestionSet set_;
    RunState state_;
    int current_ = -1;
    bool filling_ = false;
    bool finished_ = false;
    MarkerBoard board_;
    CheckSummary summary_;
};

} // namespace kvz::editor
