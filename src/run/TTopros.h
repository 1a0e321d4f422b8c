#pragma once

#include <QWidget>

class QAction;
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

    DocumentView* Quest = nullptr; // the question page
    QListWidget* Stests = nullptr; // question list: A01, A02, ..., B01, ..., D01
    QMenuBar* MainMenu1 = nullptr;
    QAction* N1 = nullptr; // "Файл"
    QAction* N2 = nullptr; // "Выход"
    QAction* N3 = nullptr; // "Помощь"
    QAction* N5 = nullptr; // "Калькулятор"
    QAction* N6 = nullptr; // "Справочная информация"
    QToolBar* ToolBar1 = nullptr;
    QAction* N4 = nullptr; // "Завершить!"
    QAction* N9 = nullptr; // "Выйти из режима просмотра ответов"

    // The finish command: the main window's exit path hands over here while a test is on
    // screen and its results have not been shown. The run driver fills it in.
    void SaveResult();

private:
    KvizorApp& app_;
};

} // namespace kvz
