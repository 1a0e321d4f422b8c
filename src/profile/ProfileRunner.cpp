#include "profile/ProfileRunner.h"

#include "app/KvizorApp.h"
#include "choice/Catalogue.h"
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
#include <QHostInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

namespace kvz {

ProfileRunner::ProfileRunner(KvizorApp& app) : app_(app) {
    chooseTest = [this](const QStringList& names) { return chooseInWindow(names); };
    hostName = [] { return QHostInfo::localHostName(); };
}

void ProfileRunner::end() {
    app_.requestEnd(1);
}

void ProfileRunner::Run() {
    RunState& rs = app_.runState();
    const QString path = substituteHost(app_.parameters().value(0), hostName());
    rs.programFolder = QDir::currentPath();
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
    const std::string all = msg.msg(40);
    if (rs.profileSubject == kAnyMarker)
        rs.profileSubject = all;
    if (rs.profileTestClass == kAnyMarker)
        rs.profileTestClass = all;

    const LocalCandidates found = findLocalCandidates(rs.programFolder, rs.profileTestName,
                                                      rs.profileTestClass, rs.profileSubject, all);
    if (!found.error.empty()) {
        Dialogs::error(nullptr, cp1251::toUnicode(found.error));
        end();
        return;
    }
    const QString base = rs.programFolder + QStringLiteral("/Base/");
    QDir::setCurrent(base);
    if (found.names.isEmpty()) {
        end();
        return;
    }
    int chosen = 0;
    if (rs.profileSelect == 0) {
        chosen = randomCandidate(int(found.names.size()), clock::randomSeed());
    } else if (found.names.size() > 1) {
        const std::optional<int> pick = chooseTest(found.names);
        if (!pick || *pick < 0 || *pick >= found.names.size()) {
            end();
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

    const std::optional<CatalogueInfo> info = ReadCatalogueInfo(rs.programFolder, file);
    if (!info) {
        end();
        return;
    }
    rs.testSubject = info->subject;
    rs.testName = cp1251::fromUnicode(name);

    TInform& inform = app_.inform();
    inform.Label2->setText(msg.text(11) + name);
    inform.Label3->setText(msg.text(rs.studentMode ? 12 : 13) + cp1251::toUnicode(info->klass) +
                           msg.text(16) + cp1251::toUnicode(info->subject) + QStringLiteral("."));
    QFile archive;
    if (!openNamedFile(base + file, &archive, nullptr)) {
        end();
        return;
    }
    TPrepere& choice = app_.prepere();
    choice.setEnabled(false);
    const bool bothSet = !inform.KlassName->text().isEmpty() && !inform.UserName->text().isEmpty();
    // With both fields given the examinee never types here: the fields are not flashed.
    inform.Panel1->setVisible(!bothSet);
    if (!app_.topros().LoadTest(archive)) {
        end();
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
