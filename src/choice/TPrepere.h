#pragma once

// The local test choice window: the test archives of the Base folder, narrowed by class and
// subject, with the chosen test's comment and topics; OK loads the test.

#include <QString>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace kvz {

class KvizorApp;

class TPrepere : public QWidget {
    Q_OBJECT
public:
    explicit TPrepere(KvizorApp& app);

    // "Отбор": rebuilds ListBox1 with the current filters and shows the first test.
    void ScanTests();
    // Shows the selected test's comment and topics; the filters follow its class and subject.
    void ShowSelected();
    // OK, Enter and double click in ListBox1.
    void Button1Click();
    // "...", and a double click in Edit1: the results folder dialog.
    void Button3Click();

    // The test taken with OK, without ".tst".
    const QString& selectedTestName() const { return selectedTestName_; }
    // In a run driven by a profile, OK only confirms: the result is QDialog::Accepted then.
    int modalResult() const { return modalResult_; }
    // Shows the window modally and waits for OK (QDialog::Accepted) or for it to be closed.
    int runModal();

    QLabel* Label1 = nullptr; // "Комментарий:"
    QLabel* Label2 = nullptr; // "Результат сохранять в:"
    QLabel* Label3 = nullptr; // "Тесты:"
    QLabel* Label4 = nullptr; // "Класс:" / "Семестр: "
    QLabel* Label5 = nullptr; // "Предмет:"
    QLabel* Label6 = nullptr; // "Вопросы в тесте (темы):"
    QListWidget* ListBox1 = nullptr;
    QComboBox* Edit2 = nullptr;     // class filter
    QComboBox* Edit3 = nullptr;     // subject filter
    QPushButton* Button4 = nullptr; // "Отбор"
    QPlainTextEdit* Memo1 = nullptr;
    QListWidget* ListBox2 = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QLineEdit* Edit1 = nullptr;     // results folder, relative to the program folder
    QPushButton* Button3 = nullptr; // "..."
    QPushButton* Button1 = nullptr; // OK
    QPushButton* Button2 = nullptr; // "Назад"

Q_SIGNALS:
    void modalDone();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool placed_ = false; // centred on its first showing; later the examinee's place stays
    void FormCreate();
    void CheckBox1Click();
    void Button2Click();
    bool longItemHint(QListWidget* list, QEvent* event);

    KvizorApp& app_;
    QString selectedTestName_;
    int modalResult_ = 0;
};

} // namespace kvz
