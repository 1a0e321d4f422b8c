#pragma once

// The client window: where a network run begins. It owns the connection to the testing server
// and the protocol engine (which does the protocol; this window holds the controls and does
// what the engine asks), shows the log, the server's choice list, the message to the
// supervisor, the results folder, and drives a profile's network run with its three timers.

#include "net/ClientProtocol.h"
#include "net/ProtocolSocket.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <vector>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace kvz {

class KvizorApp;

class TClient : public QWidget, public ProtocolHost {
    Q_OBJECT
public:
    static constexpr int kNarrowWidth = 344;
    static constexpr int kWideWidth = 541;

    explicit TClient(KvizorApp& app);
    ~TClient() override;

    QGroupBox* GroupBox1 = nullptr; // "Сервер:"
    QLabel* Label2 = nullptr;       // "Адрес:"
    QLineEdit* Host1 = nullptr;
    QLabel* Label3 = nullptr; // "Порт:"
    QLineEdit* Port1 = nullptr;
    QMenu* PopupMenu1 = nullptr;     // Port1's empty context menu
    QCheckBox* CheckBox1 = nullptr;  // "Соединиться"
    QCheckBox* CheckBox2 = nullptr;  // "Начать автоматически"
    QPlainTextEdit* Memo1 = nullptr; // the log
    QLabel* Label1 = nullptr;        // "Выберите тест:"
    QListWidget* Files = nullptr;    // the server's choice list
    QLabel* Label5 = nullptr; // "Сообщение для администратора тестирования:"
    QLineEdit* Edit1 = nullptr;
    QPushButton* Button1 = nullptr; // "Отправить"
    QLabel* Label6 = nullptr;       // "Копию результата  сохранять в:"
    QLineEdit* Edit2 = nullptr;
    QPushButton* Button2 = nullptr; // "..."
    QPushButton* Button3 = nullptr; // "Назад"
    QPushButton* Button4 = nullptr; // "Начать"
    QTimer* Timer1 = nullptr;       // the profile's choice (500 ms)
    QTimer* Timer2 = nullptr;       // the profile run's give-up (10 s, once)
    QTimer* Timer3 = nullptr;       // the profile run's connection retry (3 s)
    // The longest wait for a test asked for with the server's permission: for its download to
    // begin, and then for each next piece of it.
    QTimer* ArchiveTimer = nullptr;
    static constexpr int kArchiveWaitMs = 30000;

    ClientProtocol& protocol() { return protocol_; }
    ProtocolSocket& ClientSocket1() { return socket_; }

    // The connection is active.
    bool connectedToServer() const { return socket_.isActive(); }
    // "START" when the examinee starts the test (nothing when not connected).
    void SendStart();
    // The result file, bare, right after it was written; false when not connected or the file
    // cannot be opened. The interface never waits for it.
    bool SendResultFile(const QString& path);

    // Repeating a test in a network run: not permitted until the server allows again.
    void ForbidRepeat();
    // The choice window's OK in a network run: ask for the test at this list position.
    void requestOffered(int position);

    // Bringing back a network run cut short: connect to the saved server (retrying every few
    // seconds until it answers) and ask, once permitted, for the saved test and nothing else.
    // The run window's pending journal says which; the archive goes to its ResumeFromServer.
    void BeginResume(const QString& host, std::uint16_t port);
    // The pending run came back or will not: the window is the ordinary one again.
    void EndResume();

    // Ends the program at once (profile runs that cannot get a test). A test replaces it.
    std::function<void()> endProgram;

    // Actions, as their controls run them.
    void CheckBox1Click();
    void CheckBox2Click();
    void Button1Click(); // send the message
    void Button2Click(); // results folder
    void Button3Click(); // back
    void Button4Click(); // Start
    void AutoChooseTest();
    void Timer2Timer();
    void Timer3Timer();
    void ArchiveTimerTimer();
    // The server set a test and the pupil waits for the supervisor's permission: a notice says
    // so until the test comes, the server offers a choice, or the connection is gone.
    bool waitingForPermission() const { return waitingForPermission_; }

    // ProtocolHost.
    void send(std::string_view bytes) override;
    void log(const std::string& line) override;
    void reportError(const std::string& text) override;
    void setStartEnabled(bool enabled) override;
    void choiceListChanged() override;
    bool clientVisible() const override;
    bool runWindowVisible() const override;
    bool informVisible() const override;
    bool resultsVisible() const override;
    bool autoStartChecked() const override;
    std::string examineeName() const override;
    void performStart() override;
    void pauseTest() override;
    void resumeTest() override;
    void permissionGiven() override;
    void showServerMessage(const std::string& text) override;
    void downloadBegun(std::int64_t size) override;
    void downloadFirstPiece() override;
    void downloadProgress(std::int64_t received) override;
    bool loadTest(const std::string& archive) override;
    void downloadEnded() override;
    void listMessageSeen() override;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ClientSocket1Connect();
    void ClientSocket1Disconnect();
    void ClientSocket1Error();
    void setCaption(bool connected);
    // The window's width with the choice list shown: the list as wide as its widest item.
    int choiceWidth() const;
    void fitChoiceWidth();
    void setChoiceListShown(bool shown);
    void showInMessager(const QString& text);
    void holdTestClock();
    void releaseTestClock();
    void liftPause();
    // A pause disables every window of the run the pupil could act in, and only those; the
    // resume enables them again and gives the keyboard back where it was.
    void coverWithPause();
    void uncoverPause();
    // Asks for the chosen test; with the server's permission the archive is waited for boundedly.
    void askForTest();
    // A profile run that cannot get its test: the pupil is told why, the log says it too, and
    // the program ends.
    void giveUp(const QString& why);
    bool testSetByServer() const;
    // A profile's network run that has not got its test yet (the client or the choice window is
    // the pupil's window).
    bool awaitingProfileTest() const;
    void showPermissionWait();
    void endPermissionWait();
    // After a test that did not load: the window the pupil chose it in comes back, with the
    // keyboard (a single candidate was chosen without showing the choice window).
    void backAfterFailedLoad();
    bool longItemHint(QEvent* event);
    // After a read step has changed what the server offers: asks for the pending run's test
    // when it is offered and permitted, or gives the run up when it is not offered.
    void queueResumeStep();
    void resumeStep();
    QString msg(int n) const;

    KvizorApp& app_;
    ProtocolSocket socket_;
    ClientProtocol protocol_;
    bool choiceShownNow_ = false;
    bool busyCursor_ = false;
    // When the progress bar was last moved: it follows the download at most every 50 ms.
    QElapsedTimer progressShown_;
    bool autoChoiceDone_ = false; // the tag of Timer1: the profile's choice has run
    // The connection went before the profile's test came: the next list is chosen from again.
    bool chooseAgain_ = false;
    bool pausedByServer_ = false; // a pause holds the test clock
    int clockHolds_ = 0;
    bool clockRanBeforeHold_ = false;
    bool resumeStepQueued_ = false;
    bool resumeRequested_ = false; // the pending run's test was asked for on this connection
    bool waitingForPermission_ = false;
    bool pauseCovers_ = false;
    std::vector<QPointer<QWidget>> pauseDisabled_;
    QPointer<QWidget> keyboardBeforePause_;
};

} // namespace kvz
