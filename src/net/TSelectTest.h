#pragma once

#include <QDialog>
#include <QStringList>

class QLabel;
class QListWidget;
class QPushButton;

namespace kvz {

class KvizorApp;

// Choosing one of several tests that match a profile. In a network run ("net") each OK asks
// the server for the selected test and the window stays; Exit ends the program. In a local run
// ("loc") it is shown modally and OK/Exit give its result.
class TSelectTest : public QDialog {
    Q_OBJECT
public:
    explicit TSelectTest(KvizorApp& app);

    QLabel* Label1 = nullptr;
    QListWidget* ListBox1 = nullptr;
    QPushButton* Button1 = nullptr; // "OK"
    QPushButton* Button2 = nullptr; // "Выход"
    // For each entry of ListBox1 in a network run: its position in the client's choice list.
    QStringList positions;

    void Button1Click();
    void Button2Click();
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool networkRun() const;
    KvizorApp& app_;
};

} // namespace kvz
