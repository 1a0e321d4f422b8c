#pragma once

#include "l10n/Language.h"
#include "l10n/MessageTable.h"
#include "shell/RunState.h"

#include <QStringList>
#include <QWidget>
#include <string>
#include <string_view>

class QAction;
class QActionGroup;
class QLabel;
class QMenu;
class QPushButton;
class QTimer;

namespace kvz {

class KvizorApp;

// The main window: owns the run state and the message table; closing it is the program's only
// way out.
class TBasic : public QWidget {
    Q_OBJECT
public:
    explicit TBasic(KvizorApp& app);
    ~TBasic() override;

    RunState& runState() { return runState_; }
    MessageTable& messages() { return messages_; }

    // Runs on every show; the start-up runs it once directly when parameters are given.
    void FormShow();
    // The first show step brought back a run the program had not finished (its window is on
    // screen); the main window then stays hidden.
    bool resumedRun() const { return resumedRun_; }

    // Switches to a language menu entry (identity: base name + "1").
    void Panel2Click(QAction* entry);
    // Switches to the language with this base name when the menu offers it; false otherwise.
    bool switchLanguage(const QString& baseName);
    // The base name of the checked language entry, empty when none is checked.
    QString checkedLanguage() const;
    // Gives a window just made its part of the start step and, when the language was chosen
    // already, that language's titles, lines, thanks and student-mode labels.
    void languageToLateWindow(QWidget& window);

    QPushButton* Button1 = nullptr; // support menu
    QPushButton* Button2 = nullptr; // about
    QPushButton* Button3 = nullptr; // exit
    QPushButton* Button4 = nullptr; // network
    QPushButton* Button5 = nullptr; // local
    QPushButton* Button6 = nullptr; // language menu
    QPushButton* Button7 = nullptr; // profile editor
    QLabel* Panel5 = nullptr;
    QWidget* Panel6 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QWidget* Panel1 = nullptr;
    QLabel* Image1 = nullptr;
    QLabel* Image2 = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* zorkaweb1 = nullptr;
    QAction* wwwzorkaweb1 = nullptr;
    QMenu* PopupMenu2 = nullptr;
    QTimer* Timer1 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    // The exit path; true when the program is to end.
    bool FormClose();
    void SpeedButton2Click();
    void SpeedButton5Click();
    // A run left waiting (its resume put off with Back) is asked about before another test
    // begins; true when it came back (or is being fetched from its server) instead.
    bool resumeWaitingRun();
    void Button7Click();
    void Button6Click();
    void SpeedButton3Click();
    void SpeedButton4Click();
    void zorkaweb1Click();
    void wwwzorkaweb1Click();
    void Timer1Timer();
    void buildLanguageMenu();
    // The lines that could not be applied, as "Window Component".
    // Only to one window when `only` is given; otherwise to every window made so far.
    LabelFailureReport applyLabelSection(std::string_view languageText, QWidget* only = nullptr);
    void reportLabelFailures(const LabelFailureReport& failures);
    // The student-mode labels of the choice window, the results and the profile editor.
    void studentLabelsTo(QWidget& window);
    void setTitle(const QString& title);
    // The titles and texts that come from the message table, after a language switch: to every
    // window made so far, or to one.
    void relabelFromMessages();
    void messagesTo(QWidget& window);
    // What the start step gives a window, done when it is made.
    void firstMade(QWidget& window);
    // The run window's menu entries that stand indented under their heading.
    void indentRunMenu();
    // False when no unfinished run can be waiting (no run window yet, no journal on disk).
    bool runMayWait();
    // Writes the checked language to Settings.ini.
    void saveLanguageChoice();
    void setHints(const std::string& webPage, const std::string& supportMail);

    KvizorApp& app_;
    RunState runState_;
    MessageTable messages_;
    QActionGroup* languageGroup_ = nullptr;
    // The chosen language file's text and thanks, kept for windows made later.
    std::string languageText_;
    QString thanks_;
    bool resumeChecked_ = false;
    bool resumedRun_ = false;
};

} // namespace kvz
