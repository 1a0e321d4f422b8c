#pragma once

// The teacher's test editor: the test's settings, the question list and the question on the
// page, open and save through the one archive reader and writer, the checks shown beside the
// fields they concern. The rules live in EditableTest; this window holds controls.

#include "EditorLanguage.h"
#include "run/MarkerBoard.h"
#include "test/EditableTest.h"

#include <QMainWindow>
#include <array>
#include <functional>
#include <memory>
#include <optional>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QStackedWidget;
class QTableWidget;
class QTabWidget;
class QTimeEdit;

namespace kvz {
class DocumentView;
}

namespace kvz::docview {
struct PieceResult;
}

namespace kvz::editor {

class TPreview;

// What the window asks a person; a test answers them in advance instead.
struct EditorPrompts {
    enum class SaveAnswer { Save, Discard, Cancel };
    std::function<QString(QWidget*, const QString& title, const QString& filter)> openFile;
    std::function<QString(QWidget*, const QString& title, const QString& filter)> saveFile;
    std::function<QString(QWidget*, const QString& title)> folder;
    // nullopt: cancelled.
    std::function<std::optional<QString>(QWidget*, const QString& text)> password;
    std::function<SaveAnswer(QWidget*, const QString& text)> saveChanges;
    std::function<std::optional<int>(QWidget*, const QString& text, int max)> pdfPage;
    // The typed page: the HTML the teacher made, nullopt when cancelled.
    std::function<std::optional<QString>(QWidget*, const QString& html)> typedPage;
    static EditorPrompts dialogs(const EditorLanguage& language);
};

class TEditor : public QMainWindow {
    Q_OBJECT
public:
    explicit TEditor(QString executableFolder, QWidget* parent = nullptr);
    ~TEditor() override;

    EditorPrompts prompts;
    EditorLanguage language;

    // Menu commands.
    void NewClick();
    bool OpenFile(const QString& path);
    void OpenClick();
    bool SaveClick();
    bool SaveAsClick();
    void ImportClick();
    void ExportClick();
    void PreviewClick(QSize size);
    void SwitchLanguage(const QString& path); // empty: the built-in Russian

    // Question list.
    void AddQuestion(char kind);
    void DuplicateClick();
    void DeleteClick();
    void MoveQuestion(int from, int to);
    void SelectQuestion(int k);
    int currentQuestion() const { return current_; }

    // The question's page.
    bool PageFromPicture(const QString& path);
    bool PageFromPdf(const QString& path, int page);
    bool PageFromText(const QString& html);
    // A click on the page while placing slots: the current slot goes to the cell under it.
    void PageClicked(QPoint pos);
    void SelectSlot(int slot);

    const EditableTest& test() const { return test_; }
    bool modified() const { return modified_; }
    const QString& filePath() const { return path_; }
    TPreview* preview() const { return preview_.get(); }
    const MarkerBoard& slotBoard() const { return board_; }

    // Controls, named for the language files and the tests.
    QListWidget* Questions = nullptr;
    QPushButton* AddA = nullptr;
    QPushButton* AddB = nullptr;
    QPushButton* AddD = nullptr;
    QPushButton* Duplicate = nullptr;
    QPushButton* Delete = nullptr;
    QTabWidget* Tabs = nullptr;

    // The test.
    QLineEdit* Comment = nullptr;
    QLineEdit* Klass = nullptr;
    QLineEdit* Subject = nullptr;
    QPlainTextEdit* Topics = nullptr;
    QLineEdit* Password = nullptr;
    QTimeEdit* TestTime = nullptr;
    QCheckBox* TestTimer = nullptr;
    QTimeEdit* QuestionTime = nullptr;
    QCheckBox* QuestionTimer = nullptr;
    QCheckBox* TimeByDifficulty = nullptr;
    QComboBox* Order = nullptr; // free, fixed, as the program has it
    QCheckBox* Lockdown = nullptr;
    QCheckBox* Calculator = nullptr;
    QCheckBox* AnswerReview = nullptr;
    QCheckBox* TextbookDuringTest = nullptr;
    QCheckBox* TextbookInReview = nullptr;
    QCheckBox* ShowIntroduction = nullptr;
    QCheckBox* ReferenceAllowed = nullptr;
    QCheckBox* ShowMark = nullptr;
    QTableWidget* Marks = nullptr;  // "from %", mark
    QLabel* MarksSummary = nullptr; // "0 % → 2   50 % → 3   85 % → 5"
    QPushButton* AddMark = nullptr;
    QPushButton* DeleteMark = nullptr;
    QPushButton* IntroPicture = nullptr;
    QPushButton* IntroText = nullptr;
    QPushButton* ReferencePicture = nullptr;
    QPushButton* ReferenceText = nullptr;
    QLabel* IntroState = nullptr;
    QLabel* ReferenceState = nullptr;

    // The question.
    QComboBox* Kind = nullptr; // A, B, D
    QLineEdit* Topic = nullptr;
    QSpinBox* Difficulty = nullptr;
    QLabel* TimeShown = nullptr;
    QLineEdit* Textbook = nullptr;
    QPushButton* PagePicture = nullptr;
    QPushButton* PagePdf = nullptr;
    QPushButton* PageText = nullptr;
    DocumentView* Page = nullptr;
    QStackedWidget* AnswerStack = nullptr;
    QSpinBox* ChoiceCount = nullptr;
    std::array<QCheckBox*, kMaxChoices> RightChoice{};
    QCheckBox* Multiple = nullptr;
    QLineEdit* Answer = nullptr;
    QLabel* AnswerNote = nullptr;
    QSpinBox* SlotCount = nullptr;
    QTableWidget* Slots = nullptr; // per slot: place, right number
    QLabel* SlotHint = nullptr;

    // Where the checks are shown, by field.
    QLabel* issueLabel(TestField field) const;
    // A fault in the chosen language.
    QString issueText(const TestIssue& issue) const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    QWidget* buildQuestionList();
    QWidget* buildTestTab();
    QWidget* buildQuestionTab();
    QWidget* buildAnswerStack(QWidget* page);
    // A label beside a field for the checks that concern it, hidden while there are none.
    QLabel* makeIssueLabel(TestField field, QWidget* parent);
    // A page made for the question on screen; a page that could not be made is reported.
    bool setPage(const docview::PieceResult& made);
    void relabel();
    QString msg(const char* key, const QString& fallback) const;

    // Everything on screen from the model.
    void showTest();
    void showQuestionList();
    void showQuestion();
    void showSlots();
    void showIssues();
    void changed();
    bool askToKeepChanges();
    bool saveTo(const QString& path);
    void setTest(EditableTest test, QString path);
    void updateTitle();
    TQuestionRec* question();
    // The introduction or reference page from a picture or text.
    void setSpecialPage(bool introduction, bool typed);
    void readMarks();
    void showMarksSummary();
    void paintSlots(QPainter& painter);

    QString executableFolder_;
    EditableTest test_;
    QString path_;
    bool modified_ = false;
    int current_ = -1;
    int currentSlot_ = 0;
    bool filling_ = false; // the window is filling its controls: no edits
    MarkerBoard board_;
    std::unique_ptr<TPreview> preview_;
    std::vector<std::pair<TestField, QLabel*>> issueLabels_;

    QAction* NewAction = nullptr;
    QAction* OpenAction = nullptr;
    QAction* SaveAction = nullptr;
    QAction* SaveAsAction = nullptr;
    QAction* ImportAction = nullptr;
    QAction* ExportAction = nullptr;
    QAction* QuitAction = nullptr;
};

} // namespace kvz::editor
