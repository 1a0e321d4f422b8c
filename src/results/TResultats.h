#pragma once

// The results window: on its first showing for a finished test it checks the answers, stores
// the result archive and shows the counts, the score with its pie and the mark; from here the
// examinee reviews the answers, repeats the test, takes another one or leaves.

#include <QString>
#include <QWidget>

class QAction;
class QFrame;
class QGroupBox;
class QLabel;
class QMenu;
class QMenuBar;
class QPushButton;

namespace kvz {

class KvizorApp;
class ClientLink;
struct ResultFacts;

class TResultats : public QWidget {
    Q_OBJECT
public:
    explicit TResultats(KvizorApp& app);

    // The network client registers itself here; nullptr (the default) means local runs only.
    void setClientLink(ClientLink* link) { client_ = link; }
    ClientLink* clientLink() const { return client_; }

    // The first showing for a finished test: check, store, display; the after-test steps follow
    // once the window is on screen. Runs from the show event while resultsShown is off.
    void FormShow();
    // Writes and/or sends the result archive of the checked test.
    void StoreResult();
    // The last result archive written for this test (empty when none), and the folder it went
    // to when the results folder could not take it (empty otherwise).
    const QString& lastResultPath() const { return lastResultPath_; }

    void Button1Click(); // "Повторить"
    void Button2Click(); // "Выход"
    void Button3Click(); // "Посмотреть ответы"
    void N1Click();      // "тот же тест"
    void N2Click();      // "другой тест"

    QFrame* Panel1 = nullptr; // main panel; its designed height is runState.resultsPanelHeight
    QFrame* Panel4 = nullptr; // mark panel
    QLabel* Label4 = nullptr; // the mark
    QWidget* Panel5 = nullptr;
    QLabel* Label1 = nullptr;  // "Класс:"
    QLabel* Label5 = nullptr;  // the examinee's class or group
    QLabel* Label6 = nullptr;  // "Ф.И.О.:"
    QLabel* Label10 = nullptr; // the examinee's name
    QLabel* Label8 = nullptr;  // dotted leaders under the two lines
    QLabel* Label9 = nullptr;
    QGroupBox* GroupBox1 = nullptr; // "Всего ответов:"
    QLabel* Label3 = nullptr;
    QGroupBox* GroupBox2 = nullptr; // "Правильных ответов:"
    QLabel* Label2 = nullptr;
    QGroupBox* GroupBox3 = nullptr; // "Баллов:"
    QLabel* Label7 = nullptr;
    QLabel* Image1 = nullptr; // the score pie
    QPushButton* Button3 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* N1 = nullptr;
    QAction* N2 = nullptr;
    QMenuBar* MainMenu1 = nullptr;
    QAction* AltF41 = nullptr; // swallows Alt+F4

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void sizeMarkPanel(int markIndex);
    void placePanel();
    void afterShowing();
    bool appendTextResultLog();
    ResultFacts resultFacts() const;
    // Writes the archive into folder; on success remembers the path.
    bool writeInto(const QString& folder, const QByteArray& archive, QString* error);

    KvizorApp& app_;
    ClientLink* client_ = nullptr;
    int designedHeight_ = 0;
    QString lastResultPath_;
    QString pendingWarning_; // told once the window is on screen
};

} // namespace kvz
