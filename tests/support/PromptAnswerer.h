#pragma once

// Answers the password prompt whenever it is up, as a pupil or a supervisor would: each queued
// entry is a password to type and accept, or nullopt to cancel; the last entry repeats. What
// each showing looked like is kept.

#include "windows/TPas.h"

#include <QLineEdit>
#include <QTimer>
#include <deque>
#include <optional>

namespace kvz::testing {

class PromptAnswerer {
public:
    PromptAnswerer(TPas& pas, std::deque<std::optional<QString>> answers)
        : pas_(pas), answers_(std::move(answers)) {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
        timer_.start();
    }
    int prompts = 0;
    QStringList titles;
    QList<bool> markedWrong;

private:
    void poll() {
        if (!pas_.isVisible())
            return;
        ++prompts;
        titles << pas_.windowTitle();
        markedWrong << pas_.markedWrong();
        const std::optional<QString> a = answers_.front();
        if (answers_.size() > 1)
            answers_.pop_front();
        if (a) {
            pas_.Edit1->setText(*a);
            pas_.accept();
        } else {
            pas_.reject();
        }
    }
    TPas& pas_;
    std::deque<std::optional<QString>> answers_;
    QTimer timer_;
};

} // namespace kvz::testing
