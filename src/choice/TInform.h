#pragma once

// The examinee information window: after a test is loaded, the examinee types a class and a
// full name, may read the test's introduction page, and starts the run.

#include "choice/NameTyping.h"

#include <QWidget>

class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kvz {

class KvizorApp;
class DocumentView;
class IntroductionPage;

class TInform : public QWidget {
    Q_OBJECT
public:
    explicit TInform(KvizorApp& app);

    // "Далее" of the first page and Enter in the name field: checks the two fields, asks the
    // examinee to confirm them, then shows the introduction page or starts the run.
    void ConfirmExaminee();
    // "Далее" of the introduction page (and any key there): starts the run, hides this window
    // and puts it back on its first page for the next time.
    void StartTest();
    void showFirstPage();
    void showSecondPage();
    bool onSecondPage() const;

    QFrame* Panel1 = nullptr; // first page
    QLabel* Label4 = nullptr; // "Вам предстоит отвечать на"
    QLabel* Label2 = nullptr; // "Тест: " + test name, set by whoever loaded the test
    QLabel* Label3 = nullptr; // class and subject of the test, likewise
    QLabel* Label5 = nullptr; // "Введите ваш класс:" / "Введите вашу группу:"
    QLineEdit* KlassName = nullptr;
    QLabel* Label1 = nullptr; // "Введите ваше Ф.И.О.:"
    QLineEdit* UserName = nullptr;
    QPushButton* Button1 = nullptr; // "Выход"
    QPushButton* Button2 = nullptr; // "Далее"
    // The second page: the test's introduction and the bar under it.
    IntroductionPage* Introduction = nullptr;
    QFrame* Panel2 = nullptr; // introduction page
    DocumentView* OleContainer1 = nullptr;
    QLabel* Panel3 = nullptr;       // bottom bar with its caption
    QPushButton* Button3 = nullptr; // "Назад"
    QPushButton* Button4 = nullptr; // "Далее"

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool fieldKey(QLineEdit* edit, ExamineeField field, QKeyEvent* key);

    KvizorApp& app_;
    QWidget* firstPage_ = nullptr;
};

} // namespace kvz
