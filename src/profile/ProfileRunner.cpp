#include "profile/ProfileRunner.h"

#include "app/KvizorApp.h"
#include "choice/Catalogue.h"
#include "choice/ResultsFolderPath.h"
#include "choice/TInform.h"
#include "choice/TPrepere.h"
#include "l10n/Cp1251.h"
#include "l10n/MessageTable.h"
#include "net/TClient.h"
#include "net/TSelectTest.h"
#include "platform/Dialogs.h"
#include "platform/Lockdown.h"
#include "profile/Profile.h"
#include "profile/ProfileRun.h"
#include "results/TResultats.h"
#include "run/TTopros.h"
#include "shell/Clock.h"
#include "shell/NamedFile.h"
#include "shell/RunState.h"
#include "shell/TBasic.h"
#include "windows/TPas.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

namespace kvz {

namespace {

constexpr int kMsgAll = 40;
constexpr int kMsgNoProfile = 90; // "Профиль %s не найден."
constexpr int kMsgNoTest = 91; // "В папке %s нет теста, подходящего профилю %s."
constexpr int kMsgTestUnreadable = 92; // "Не удалось открыть тест %s."

} // namespace

ProfileRunner::ProfileRunner(KvizorApp& app) : app_(app), startFolder_(QDir::currentPath()) {
    chooseTest = [this](const QStringList& names) { return chooseInWindow(names); };
    hostName = [] { return QHostInfo::localHostName(); };
}

void ProfileRunner::end(const QString& why, const QString& logged) {
    const QString line = logged.isEmpty() ? why : logged;
    qWarning("kvizor: the profile %s cannot run: %s", qPrintable(profilePath_),
             qPrintable(line.isEmpty() ? QStringLiteral("no reason given") : line));
    if (!why.isEmpty())
        Dialogs::error(nullptr, why);
    app_.requestEnd(1);
}

void ProfileRunner::Run() {
    RunState& rs = app_.runState();
    QString path = substituteHost(app_.parameters().value(0), hostName());
    if (!path.isEmpty())
        path = QDir(startFolder_).absoluteFilePath(path);
    profilePath_ = path;
    // The program works in its own folder (its own location, or the second parameter), wherever
    // it was started from: Base, Results and the profile's "\" paths are below it. Every path
    // of the run is built from the folder itself, so a refusal is only noted.
    if (!QDir::setCurrent(rs.programFolder))
        qWarning("kvizor: cannot change into the program folder %s", qPrintable(rs.programFolder));
    // A profile that names no file reads as an empty one: a local run that finds no test.
    applyProfile(rs, readProfile(path));

    TInform& inform = app_.inform();
    inform.KlassName->setText(cp1251::toUnicode(rs.profileClassGroup));
    inform.UserName->setText(cp1251::toUnicode(rs.profileExamineeName));
    app_.pas().Edit1->setText(cp1251::toUnicode(rs.profilePassword));
    TResultats& results = app_.resultats();
    results.N2->setVisible(rs.profileTestName.empty());
    results.Button1->setEnabled(!rs.profileNoRepeat);

    if (rs.profileType == "loc")
        LocalRun();
    else if (rs.profileType == "net")
        NetRun();
    else
        rs.interactive = true; // the main window is shown; the values above stay
}

void ProfileRunner::ApplyForResume() {
    RunState& rs = app_.runState();
    applyProfile(rs, readProfile(substituteHost(app_.parameters().value(0), hostName())));
    TResultats& results = app_.resultats();
    results.N2->setVisible(rs.profileTestName.empty());
    results.Button1->setEnabled(!rs.profileNoRepeat);
    rs.interactive = rs.profileType != "loc" && rs.profileType != "net";
}

void ProfileRunner::LocalRun() {
    RunState& rs = app_.runState();
    const MessageTable& msg = app_.messages();
    const std::string all = msg.msg(kMsgAll);
    if (rs.profileSubject == kAnyMarker)
        rs.profileSubject = all;
    if (rs.profileTestClass == kAnyMarker)
        rs.profileTestClass = all;

    const LocalCandidates found = findLocalCandidates(rs.programFolder, rs.profileTestName,
                                                      rs.profileTestClass, rs.profileSubject, all);
    if (!found.error.empty()) {
        end(cp1251::toUnicode(found.error));
        return;
    }
    const QString base = rs.programFolder + QStringLiteral("/Base/");
    QDir::setCurrent(base);
    if (found.names.isEmpty()) {
        const bool noProfile = !QFileInfo(profilePath_).isFile();
        const std::string text =
            noProfile ? formatMessage(msg.msg(kMsgNoProfile), {cp1251::fromUnicode(profilePath_)})
                      : formatMessage(msg.msg(kMsgNoTest), {cp1251::fromUnicode(base),
                                                            cp1251::fromUnicode(profilePath_)});
        end(cp1251::toUnicode(text));
        return;
    }
    int chosen = 0;
    if (rs.profileSelect == 0) {
        chosen = randomCandidate(int(found.names.size()), clock::randomSeed());
    } else if (found.names.size() > 1) {
        const std::optional<int> pick = chooseTest(found.names);
        if (!pick || *pick < 0 || *pick >= found.names.size()) {
            // The pupil's own choice: nothing to tell them.
            end({}, QStringLiteral("the test choice was left without OK"));
            return;
        }
        chosen = *pick;
    }
    const QString name = found.names[chosen];
    // The file as the folder holds it: a pattern ignores letter case, the disk does not.
    QString file = name + QStringLiteral(".tst");
    for (const QString& f : QDir(base).entryList({name + QStringLiteral(".*")}, QDir::Files))
        if (f.compare(file, Qt::CaseInsensitive) == 0)
            file = f;

    const QString unreadable = cp1251::toUnicode(
        formatMessage(msg.msg(kMsgTestUnreadable), {cp1251::fromUnicode(base + file)}));
    const std::optional<CatalogueInfo> info = ReadCatalogueInfo(rs.programFolder, file);
    if (!info) {
        end(unreadable, unreadable + QStringLiteral(" (its catalogue cannot be read)"));
        return;
    }
    rs.testSubject = info->subject;
    rs.testName = cp1251::fromUnicode(name);

    TInform& inform = app_.inform();
    inform.Label2->setText(msg.text(11) + name);
    inform.Label3->setText(msg.text(rs.studentMode ? 12 : 13) + cp1251::toUnicode(info->klass) +
                           msg.text(16) + cp1251::toUnicode(info->subject) + QStringLiteral("."));
    QFile archive;
    QString openError;
    if (!openNamedFile(base + file, &archive, &openError)) {
        end(unreadable, unreadable + QStringLiteral(": ") + openError);
        return;
    }
    TPrepere& choice = app_.prepere();
    choice.setEnabled(false);
    const bool bothSet = !inform.KlassName->text().isEmpty() && !inform.UserName->text().isEmpty();
    // With both fields given the examinee never types here: the fields are not flashed.
    inform.Panel1->setVisible(!bothSet);
    if (!app_.topros().LoadTest(archive)) {
        // The loader has told the pupil already.
        end({}, QStringLiteral("the test %1 did not load").arg(base + file));
        return;
    }
    inform.Panel1->setVisible(true);
    choice.hide();
    choice.setEnabled(true);
    if (bothSet) {
        inform.ConfirmExaminee();
        inform.Button3->setEnabled(false);
    } else {
        inform.Button3->setEnabled(true);
        (inform.KlassName->text().isEmpty() ? inform.KlassName : inform.UserName)->setFocus();
    }
}

void ProfileRunner::NetRun() {
    const RunState& rs = app_.runState();
    TClient& client = app_.client();
    client.setEnabled(false);
    client.Host1->setText(cp1251::toUnicode(rs.profileHost));
    client.Port1->setText(cp1251::toUnicode(rs.profilePort));
    // The field was filled from the settings before the profile was read: the results go
    // where the profile says, and the window shows that folder.
    client.Edit2->setText(ResultsPathToField(rs.programFolder, rs.resultsFolder));
    client.Button2->setEnabled(false);
    client.show();
    client.CheckBox2->setChecked(true);
    client.Timer3->start();
    client.Timer2->start();
    client.CheckBox1->setChecked(true);
}

std::optional<int> ProfileRunner::chooseInWindow(const QStringList& names) {
    TSelectTest& window = app_.selectTest();
    window.ListBox1->clear();
    window.ListBox1->addItems(names);
    window.ListBox1->setCurrentRow(0);
    showOverLock(&window);
    if (window.exec() != QDialog::Accepted || !window.ListBox1->currentItem())
        return std::nullopt;
    return window.ListBox1->currentRow();
}

} // namespace kvz
