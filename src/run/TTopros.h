#pragma once

#include "test/QuestionSet.h"

#include <QWidget>

class QAction;
class QIODevice;
class QListWidget;
class QMenuBar;
class QToolBar;

namespace kvz {

class KvizorApp;
class DocumentView;

// The test run window: one question at a time, the question list, the clocks.
class TTopros : public QWidget {
    Q_OBJECT
public:
    explicit TTopros(KvizorApp& app);

    // Reads a test archive from the stream's current position into the question set and the
    // run state, asking for the password through TPas (whose Edit1 holds the one known so far)
    // and showing progress in TProgres. On success shows TInform full screen and returns true;
    // on any failure shows msg[008] once and returns false, the caller's window untouched.
    bool LoadTest(QIODevice& stream);
    // Prepares a new run of the loaded test: order, answers, clocks; selects the first item.
    // Showing the window and starting its clock are the run driver's.
    void StartRun();

    // The loaded test: questions, answers, list labels, times.
    QuestionSet questionSet;

    DocumentView* Quest = nullptr; // the question page
    QListWidget* Stests = nullptr; // question list: A01, A02, ..., B01, ..., D01
    QMenuBar* MainMenu1 = nullptr;
    QAction* N1 = nullptr; // "Файл"
    QAction* N2 = nullptr; // "Выход"
    QAction* N3 = nullptr; // "Помощь"
    QAction* N5 = nullptr; // "Калькулятор"
    QAction* N6 = nullptr; // "Справочная информация"
    QToolBar* ToolBar1 = nullptr;
    QAction* N4 = nullptr;       // "Завершить!"
    QAction* N9 = nullptr;       // "Выйти из режима просмотра ответов"
    QWidget* pPoradok = nullptr; // shown for tests in fixed order
    QWidget* pProizvolno = nullptr; // shown for tests in free order

    // The finish command: the main window's exit path hands over here while a test is on
    // screen and its results have not been shown. The run driver fills it in.
    void SaveResult();

    // Review mode of the finished test, entered from the results window.
    void EnterReview();
    QWidget* PUchebnik1 = nullptr; // textbook link

private:
    bool failLoad();
    void showOrderPanels();
    KvizorApp& app_;
};

} // namespace kvz
