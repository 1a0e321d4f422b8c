#pragma once

// Every message dialog of the program goes through here: four kinds, button captions from the
// language file, and one seam a test can answer in advance instead of a person.

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>

class QWidget;

namespace kvz {

enum class DialogKind { Confirmation, Error, Information, Plain };

struct DialogButtonCaptions {
    QString title = QStringLiteral("Квизор"); // the program's name, msg[000]
    QString yes = QStringLiteral("Да");
    QString no = QStringLiteral("Нет");
    QString ok = QStringLiteral("OK");
    QString cancel = QStringLiteral("Отмена");
    QString abort = QStringLiteral("Продолжить");
    QString ignore = QStringLiteral("Завершить");
};

class Dialogs {
public:
    // Confirmation: true only for Yes.
    static bool confirm(QWidget* parent, const QString& text);
    static void error(QWidget* parent, const QString& text);
    static void information(QWidget* parent, const QString& text);
    static void plain(QWidget* parent, const QString& text);

    static DialogButtonCaptions& captions();

    // Test seam. While answering is on, no dialog is shown: each one is recorded in shown() and
    // a confirmation takes the next queued answer (No when the queue is empty).
    struct Record {
        DialogKind kind;
        QString text;
        bool underLockdown = false; // the lock-down was in force while it was up
    };
    static void startAnswering();
    static void stopAnswering();
    static void queueAnswer(bool yes);
    static const std::vector<Record>& shown();
    static void clearShown();

private:
    static bool show(QWidget* parent, DialogKind kind, const QString& text);
};

} // namespace kvz
