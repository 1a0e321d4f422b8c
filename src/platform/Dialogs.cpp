#include "platform/Dialogs.h"

#include "platform/Lockdown.h"

#include <QMessageBox>
#include <QPushButton>

namespace kvz {

namespace {

struct Answering {
    bool on = false;
    std::deque<bool> answers;
    std::vector<Dialogs::Record> shown;
};

Answering& answering() {
    static Answering a;
    return a;
}

} // namespace

DialogButtonCaptions& Dialogs::captions() {
    static DialogButtonCaptions c;
    return c;
}

bool Dialogs::show(QWidget* parent, DialogKind kind, const QString& text) {
    Answering& a = answering();
    if (a.on) {
        a.shown.push_back({kind, text, lockdownInForce()});
        if (kind != DialogKind::Confirmation)
            return true;
        if (a.answers.empty())
            return false;
        const bool yes = a.answers.front();
        a.answers.pop_front();
        return yes;
    }

    // Under the lock, a box owned by a hidden window would open beneath the locked window.
    QMessageBox box(dialogOwner(parent));
    box.setText(text);
    box.setStyleSheet(QStringLiteral("QMessageBox { background-color: white; }"));
    const DialogButtonCaptions& c = captions();
    box.setWindowTitle(c.title);
    // A title and a close box only: a message cannot be minimised or maximised.
    box.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                       Qt::WindowCloseButtonHint);
    switch (kind) {
    case DialogKind::Confirmation: {
        box.setIcon(QMessageBox::Question);
        QPushButton* yes = box.addButton(c.yes, QMessageBox::YesRole);
        box.addButton(c.no, QMessageBox::NoRole);
        box.setDefaultButton(yes);
        box.exec();
        return box.clickedButton() == yes;
    }
    case DialogKind::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    case DialogKind::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case DialogKind::Plain:
        box.setIcon(QMessageBox::NoIcon);
        break;
    }
    box.addButton(c.ok, QMessageBox::AcceptRole);
    box.exec();
    return true;
}

bool Dialogs::confirm(QWidget* parent, const QString& text) {
    return show(parent, DialogKind::Confirmation, text);
}
void Dialogs::error(QWidget* parent, const QString& text) {
    show(parent, DialogKind::Error, text);
}
void Dialogs::information(QWidget* parent, const QString& text) {
    show(parent, DialogKind::Information, text);
}
void Dialogs::plain(QWidget* parent, const QString& text) {
    show(parent, DialogKind::Plain, text);
}

void Dialogs::startAnswering() {
    answering() = Answering{};
    answering().on = true;
}
void Dialogs::stopAnswering() {
    answering() = Answering{};
}
void Dialogs::queueAnswer(bool yes) {
    answering().answers.push_back(yes);
}
const std::vector<Dialogs::Record>& Dialogs::shown() {
    return answering().shown;
}
void Dialogs::clearShown() {
    answering().shown.clear();
}

} // namespace kvz
