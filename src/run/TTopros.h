#pragma once

#include "run/MarkerBoard.h"
#include "run/RunDriver.h"
#include "run/RunJournal.h"
#include "test/QuestionSet.h"

#include <QCursor>
#include <QTimer>
#include <QWidget>
#include <array>
#include <memory>
#include <optional>
#include <vector>

class QAction;
class QPainter;
class QCheckBox;
class QComboBox;
class QFrame;
class QIODevice;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QMenuBar;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QToolBar;

namespace kvz {

class KvizorApp;
class RunContext;
struct TestArchive;
class DocumentView;
class JournalKeeper;
class StestsDelegate;
class TCalculator;
class TTextbookViewer;

// The test run window: one question at a time with its answer row, the question list, the two
// clocks, the finish prompt and the review of a finished test. The rules live in RunDriver and
// MarkerBoard; this class holds the controls and is split by concern over several files:
// TTopros.cpp (controls), TToprosLoad.cpp (loading and starting), TToprosNavigation.cpp (moving,
// clocks, finishing, review), TToprosAnswers.cpp (answer panels and keys). What it needs from
// around it comes through a RunContext: the examinee program, or the test editor's preview.
class TTopros : public QWidget, private RunHost {
    Q_OBJECT
public:
    explicit TTopros(RunContext& context);
    ~TTopros() override;

    // Reads a test archive from the stream's current position into the question set and the
    // run state, asking for the password through TPas (whose Edit1 holds the one known so far)
    // and showing progress in TProgres. On success shows TInform full screen and returns true;
    // on any failure shows msg[008] once and returns false, the caller's window untouched.
    bool LoadTest(QIODevice& stream);
    // A test already read and checked (the editor's preview): into the question set and the run
    // state, with no window of the program's. The introduction and the reference stay with the
    // caller.
    void TakeTest(TestArchive archive);
    // A new run of the loaded test: order, answers and clocks reset, the first question shown,
    // this window over the whole screen with its clock running.
    void StartRun();

    // Navigation: the buttons, the keys and the clocks come here.
    void Next1Click();
    void Prior1Click();
    // A click on the question list at y, in the list's own coordinates.
    void Panel4Click(int y);
    // The clock's event: the time since the last reading of the monotonic clock is counted,
    // and the clock waits for the next second of either clock.
    void Timer1Timer();
    // The clocks of the run on screen count from now (a new or resumed run once it is on screen,
    // the end of a pause); stopClock counts what has passed and holds them.
    void startClock();
    void stopClock();
    bool clockRunning() const { return clockOn_; }
    // The finish command ("Завершить!", F10, the prompt's "Завершить"): asks once, then ends.
    void SaveResult();
    // The prompt's "Продолжить".
    void Message1Continue();
    void FinishTest();
    // The results window's "Посмотреть ответы": the finished test read-only with the right
    // answers, this window shown and the results hidden.
    void EnterReview();
    // Leaves the review: the results again.
    void N9Click();
    bool inReview() const { return driver_.review(); }
    const RunDriver& driver() const { return driver_; }

    // The answer panels.
    void SetChoiceCount(int n);
    void ShowQuestion();
    void ShowAnswer();
    void SaveAnswer();
    void OtvetboolClick();
    void otvetstrChange();
    void lowerTypedAnswer(const QString& text);
    // Drop-down slot p (1..10) changed to the item index.
    void CbOtvetOfsetChange(int p, int index);
    // The question on screen, 0-based; -1 when the list is empty.
    int currentItem() const;

    // The run journal (TToprosJournal.cpp), which lets a run survive a crash or a power cut.
    // At start, before the main window: finds a run the program did not finish and brings it
    // back (same test, same examinee, same question, answers and clocks), or sets its journal
    // aside and tells the supervisor. True when a run was brought back and is on screen, or, for
    // a network run, when the client window is fetching its test from the server again (the run
    // is then pending until the archive arrives).
    // Also asked before another test begins from the main window, so a run whose resume was put
    // off is never overwritten without the same question and the supervisor's password.
    bool ResumeUnfinishedRun();
    // Only one copy of the program keeps a run for this user: false when another copy holds
    // the state folder (this copy must end). Asked at start, before anything else.
    bool ClaimJournal();
    // A network run waits for its test from the server: the saved journal, or null.
    const RunJournal* pendingResume() const { return pendingResume_ ? &*pendingResume_ : nullptr; }
    // The archive the server sent for the pending run. True when it is the saved test byte for
    // byte: the run comes back once the server has been told the download is over. False when
    // the test has changed: the journal is set aside and the client window stays for an
    // ordinary test.
    bool ResumeFromServer(QByteArray archive);
    // The pending run cannot come back (its test is not offered any more, or has changed): its
    // journal is set aside with the supervisor's message; the client window stays.
    void AbandonPendingResume(const QString& reason);
    // The pupil left the client window before the test came: the journal stays for the next
    // start (or the next test begun from the main window).
    void PutOffPendingResume();
    // The result of the run is stored (and sent, in a network run): its journal goes.
    void ResultStored();
    // A run brought back after it had ended may have stored its result just before the program
    // stopped: then the path of that result in folder (whose summary entry is this one).
    std::optional<QString> AlreadyStoredResult(const QString& folder,
                                               const QByteArray& summaryEntry) const;

    // The loaded test: questions, answers, list labels, times.
    QuestionSet questionSet;
    // The marker grid of the ordering question on screen.
    MarkerBoard markerBoard;

    QMenuBar* MainMenu1 = nullptr; // hidden; its items carry the window's keys
    QAction* N1 = nullptr;         // "Файл"
    QAction* N2 = nullptr;         // "Выход": Alt+F4, does nothing
    QMenu* N31 = nullptr;          // "Помощь": the help menu
    QAction* N5 = nullptr;         // "Калькулятор"
    QAction* N6 = nullptr;         // "Справочная информация"
    QToolBar* ToolBar1 = nullptr;
    QAction* N3 = nullptr; // "Помощь": drops N31
    QAction* N4 = nullptr; // "Завершить!"
    QAction* N9 = nullptr; // "Выйти из режима просмотра ответов"

    QFrame* Panel1 = nullptr; // the examinee's answer row
    QFrame* Panel13 = nullptr;
    QLabel* Label2 = nullptr; // "Ваш ответ:"
    QFrame* pA1 = nullptr;    // check boxes: several may be right
    std::array<QCheckBox*, kMaxChoices> Otvetbool{};
    QFrame* pA2 = nullptr;                                // radio buttons: one is right
    std::array<QRadioButton*, kMaxChoices> Otvetbool1x{}; // Otvetbool11..Otvetbool15
    QFrame* pB = nullptr;
    QLineEdit* otvetstr = nullptr;
    QFrame* pD = nullptr;
    std::array<QLabel*, kMaxSlots> LbOtvetOfset{};
    std::array<QComboBox*, kMaxSlots> CbOtvetOfset{};
    QWidget* pProizvolno = nullptr; // free order: back and next
    QPushButton* PRIOR1 = nullptr;
    QPushButton* Next1 = nullptr;
    QWidget* pPoradok = nullptr; // fixed order: next only
    QPushButton* Next2 = nullptr;

    QFrame* prav_Panel = nullptr; // review: the right answer
    QFrame* prav_Panel2 = nullptr;
    QLabel* Label1 = nullptr; // "Правильно:"
    QFrame* prav_pA1 = nullptr;
    std::array<QCheckBox*, kMaxChoices> prav_Otvetbool{};
    QFrame* prav_pA2 = nullptr;
    std::array<QRadioButton*, kMaxChoices> prav_Otvetbool1x{};
    QFrame* prav_pB = nullptr;
    QLineEdit* prav_otvetstr = nullptr;
    QFrame* prav_pD = nullptr;
    std::array<QLabel*, kMaxSlots> prav_LbOtvetOfset{};
    std::array<QComboBox*, kMaxSlots> prav_CbOtvetOfset{};
    QFrame* Panel6 = nullptr; // review: the verdict
    QLabel* Label3 = nullptr;

    QScrollArea* ScrollBox1 = nullptr; // holds the question page
    DocumentView* Quest = nullptr;
    QFrame* Panel4 = nullptr;      // at the right edge, holding the list
    QListWidget* Stests = nullptr; // A01, A02, ..., B01, ..., D01; owner-drawn

    QFrame* StatusLine = nullptr;
    QLabel* Panel2 = nullptr; // "Осталось времени на"
    QLabel* Panel3 = nullptr; // the test clock
    QLabel* Panel5 = nullptr; // the question clock
    QFrame* PUchebnik1 = nullptr;
    QLabel* LUchebnik1 = nullptr; // "Учебник по теме вопроса"

    QTimer Timer1; // the clock: wakes when the test's or the question's next second is due

    // A line over the question page for what the pupil should know but need not answer (the run
    // came back after a stop): it blocks nothing, the run goes on, and it goes by itself.
    void showNotice(const QString& text);
    QLabel* NoticeLine = nullptr;
    static constexpr int kNoticeMs = 20000;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class StestsDelegate;

    // RunHost
    void saveAnswer() override { SaveAnswer(); }
    void arrived() override;
    bool promptVisible() const override;
    void showPrompt() override;
    void hidePrompt() override;
    void finished() override;
    void leaveReview() override;
    // Counts the time since the clock was read last into the run; every command that moves the
    // cursor or ends the run comes here first, so the time up to the command is the question's.
    void catchUpClock();
    void armClock();

    bool failLoad();
    // The loaded test into the question set, the run state and the list.
    void applyTest(TestArchive archive);
    // The run window's controls as a new or resumed run starts.
    void prepareRunControls();
    // Journal: what names the loaded test, taken when it loads; a run's journal begins at its
    // start; every change of an answer is written.
    void noteLoadedTest(QIODevice& stream, const std::string& typedPassword);
    void beginJournal();
    void watchRun();
    void journalAnswerChanged();
    JournalKeeper& journal();
    // The program's journal when one has been made; none in a run outside the program.
    JournalKeeper* journalMade() const;
    void setJournalAside(const RunJournal* journal, const QString& reason);
    // A journal that cannot be written: the pupil is told once on the notice line, the
    // supervisor in the log; the run goes on.
    void noteJournalFailure();
    // A run brought back takes where its result goes and what follows it from the start it is
    // brought back in (the profile on the command line, else the settings), never from the
    // journal.
    void applyStartValues();
    // The continue-or-discard question of a waiting run; false when the supervisor discarded it.
    bool confirmResume(const RunJournal& saved);
    // Puts a checked archive and its journal back on screen: the shared part of every resume.
    bool restoreSavedRun(const RunJournal& saved, QByteArray archive);
    // What the program does when a pending network run will not come back: the ordinary client
    // window, interactive.
    void endPendingResume();
    void showOrderPanels(bool fixed);
    void showFullScreen(QWidget* window);
    AnswerPanel visiblePanel() const;
    void updateClockPanels();
    void setPanelRed(QLabel* panel, bool red);
    // The window's key rules; true when the key was taken.
    bool FormKeyDown(QObject* receiver, QKeyEvent* key);
    bool FormKeyPress(QObject* receiver, QKeyEvent* key);

    RunContext& context_;
    // The examinee program around the run; null in a preview, which keeps no journal.
    KvizorApp* app_;
    RunDriver driver_;
    bool clockOn_ = false;
    QTimer noticeTimer_;
    std::int64_t clockReadMs_ = 0; // the monotonic clock when last read
    StestsDelegate* stestsDelegate_ = nullptr;

    // Markers on the page (TToprosMarkers.cpp) and the aids (TToprosAids.cpp).
public:
    // Mouse over the page or its scroll box; pos in Quest's coordinates.
    void QuestMouseDown(Qt::MouseButton button, QPoint pos);
    void QuestMouseMove(QPoint pos);
    void QuestMouseUp(Qt::MouseButton button, QPoint pos);
    // Drops the marker in hand without a change (the page went away).
    void cancelMarkerDrag();
    void LUchebnik1MouseEnter();
    void LUchebnik1MouseLeave();
    void LUchebnik1Click();
    void N5Click(); // the calculator, F2
    void N3Click(); // the reference document, F1
    TCalculator* calculatorWindow() const { return calculator_; }
    // The aid window that is up (calculator, textbook), which has the keyboard while it is.
    QWidget* shownAid() const;
    TTextbookViewer* textbookViewer() const { return textbookViewer_; }

private:
    void setupMarkers();
    // The event filters of the page and of the link label go before the widgets are torn down:
    // their last Hide and Leave events must not reach a window that is half destroyed.
    void teardownMarkers();
    void teardownAids();
    void setupAids();
    bool markersOnPage() const;
    void syncMarkerCells();
    const QCursor& markerCursor(int number);
    void paintMarkers(QPainter& painter);
    void setMarkerCursor(int number);
    void endMarkerDrag();
    void focusSlotOfNumber(int number);

    QPoint markerDownPoint_; // on the screen, where the drag began
    bool markerGliding_ = false;
    bool markerCursorSet_ = false;
    std::vector<QCursor> markerCursors_; // 0: the arrow, 1..10: the markers
    TCalculator* calculator_ = nullptr;
    TTextbookViewer* textbookViewer_ = nullptr;

    RunJournal loadedTest_; // identity of the loaded test, for the journal of its runs
    bool resumedFinished_ = false;
    std::optional<RunJournal> pendingResume_;
};

} // namespace kvz
