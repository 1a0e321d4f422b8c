#pragma once

#include <QDialog>
#include <QPointer>
#include <QStringList>
#include <functional>

class QCheckBox;
class QComboBox;
class QFileDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace kvz {

class KvizorApp;
struct LauncherEntry;

// A file dialog made only when it is first opened: building one costs more than the rest of
// the editor, and most pupils never open it. Until then this object stands in for it under its
// name, keeping the filter the language file gives and the folder to start in.
class LazyFileDialog : public QObject {
    Q_OBJECT
    Q_PROPERTY(QStringList nameFilters READ nameFilters WRITE setNameFilters)
public:
    LazyFileDialog(QWidget* owner, const char* name, bool save);

    QStringList nameFilters() const { return filters_; }
    void setNameFilters(const QStringList& filters);
    void setDirectory(const QString& folder);
    bool isMade() const;
    QFileDialog& dialog();

private:
    QWidget* owner_;
    bool save_;
    QStringList filters_;
    QString folder_;
    QPointer<QFileDialog> dialog_;
};

// The profile editor: prepares a ".pte" file and launchers that start the program with it.
class TProfil : public QDialog {
    Q_OBJECT
public:
    explicit TProfil(KvizorApp& app);

    QGroupBox* GroupBox4 = nullptr;       // test type
    QRadioButton* RadioButton1 = nullptr; // network
    QRadioButton* RadioButton2 = nullptr; // local
    QGroupBox* GroupBox2 = nullptr;       // server
    QLabel* Label1 = nullptr;
    QLineEdit* Host1 = nullptr;
    QLabel* Label10 = nullptr;
    QLineEdit* Port1 = nullptr;
    QGroupBox* GroupBox1 = nullptr; // the test
    QLabel* Label7 = nullptr;
    QComboBox* ComboBox1 = nullptr; // test name or pattern
    QLabel* Label8 = nullptr;
    QComboBox* Edit2 = nullptr; // class
    QLabel* Label9 = nullptr;
    QComboBox* Edit3 = nullptr; // subject
    QLabel* Label13 = nullptr;
    QComboBox* ComboBox2 = nullptr; // random choice or the examinee's
    QGroupBox* GroupBox5 = nullptr; // the examinee
    QLabel* Label2 = nullptr;
    QLineEdit* Edit1 = nullptr; // class or group
    QLabel* Label3 = nullptr;
    QLineEdit* Edit7 = nullptr; // name
    QLabel* Label12 = nullptr;
    QLineEdit* Edit9 = nullptr;     // password
    QCheckBox* CheckBox4 = nullptr; // hide the password
    QCheckBox* Label11 = nullptr;   // save the result
    QLineEdit* Edit8 = nullptr;     // results folder
    QPushButton* Button6 = nullptr;
    QLabel* Label4 = nullptr;
    QLineEdit* Edit6 = nullptr; // text log
    QLabel* Label6 = nullptr;
    QLineEdit* Edit5 = nullptr; // command after the test
    QLabel* Label5 = nullptr;
    QLineEdit* Edit4 = nullptr;     // command at exit
    QCheckBox* CheckBox1 = nullptr; // shuffle
    QCheckBox* CheckBox3 = nullptr; // exit after the test
    QCheckBox* CheckBox2 = nullptr; // no repeat
    QGroupBox* GroupBox3 = nullptr; // launchers
    QPushButton* Button4 = nullptr; // on the desktop
    QPushButton* Button5 = nullptr; // in the applications menu
    QPushButton* Button1 = nullptr; // open
    QPushButton* Button3 = nullptr; // save
    QPushButton* Button2 = nullptr; // close
    QPushButton* Button7 = nullptr; // help
    LazyFileDialog* OpenDialog1 = nullptr;
    LazyFileDialog* SaveDialog1 = nullptr;

    // Test seams: how a file dialog runs (returns its result code) and how the editor waits
    // between two wrong passwords.
    std::function<int(QFileDialog&)> runFileDialog;
    std::function<void(int ms)> waitBetweenPrompts;

    void Button1Click();
    void Button3Click();
    void Button4Click();
    void Button5Click();
    void Button6Click();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void FormShow();
    void reset(bool keepTestName);
    void modeChanged();
    void ComboBox1Change(const QString& text);
    void help();
    // Asks for a profile and writes its launcher; Button4 and Button5 differ only in where.
    void makeLauncher(bool desktop);
    void setAllText(QComboBox* box, const std::string& value);
    std::string filterValue(const QComboBox* box) const;
    // The profile's Result value; Edit8 shows it.
    void setResultValue(const std::string& value);

    KvizorApp& app_;
    std::string resultValue_;
};

} // namespace kvz
