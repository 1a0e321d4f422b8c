#pragma once

// A whole application on a temporary program folder, driven over loopback against
// kvizor-server (ServerProcess): from the client window to the running test.

#include "choice/ChoiceFixture.h"
#include "choice/TInform.h"
#include "net/ServerProcess.h"
#include "net/SimulatedWorkstation.h"
#include "net/TClient.h"
#include "net/TMessager.h"
#include "run/TTopros.h"
#include "windows/TProgres.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

namespace kvz::testing {

inline const QString kTest = QStringLiteral("Физика 9 класс");

class NetRoad : public ChoiceFixture {
protected:
    void SetUp() override {
        ChoiceFixture::SetUp();
        writeFile(QStringLiteral("Settings.ini"), "[Type]\r\nStudent=0\r\n");
        start();
        client = &app->client();
        // The message window is answered as it appears, and what it said is kept.
        QObject::connect(&answerer, &QTimer::timeout, [this] {
            if (!app)
                return; // between two runs of the program
            TMessager& m = app->messager();
            if (m.isVisible()) {
                told << m.Memo1->toPlainText();
                clockDuringMessage << app->topros().Timer1.isActive();
                m.Button1->click();
            }
        });
        answerer.start(20);
    }

    // From the client window to the running test: connect, list, allow with the password,
    // choose, download, load, the examinee's data, start.
    void toTheRunningTest(ServerProcess& server) {
        client->show();
        client->Host1->setText(QStringLiteral("127.0.0.1"));
        client->Port1->setText(QString::number(server.port));
        client->CheckBox1->setChecked(true);
        ASSERT_TRUE(server.waitFor(QStringLiteral("fresh 1 ")));
        ASSERT_TRUE(waitUntil([&] { return client->Files->count() == 1; }));
        EXPECT_EQ(client->Files->item(0)->text(), kTest + QStringLiteral(" <9, Физика>"));

        server.command(QStringLiteral("allow 1 физика"));
        ASSERT_TRUE(waitUntil(
            [&] { return client->protocol().testPassword() == cp(QStringLiteral("физика")); }));
        client->Files->setCurrentRow(0);
        client->Button4->click();
        TInform& inform = app->inform();
        ASSERT_TRUE(waitUntil([&] { return inform.isVisible(); })) << "the test did not load";
        ASSERT_TRUE(server.waitFor(QStringLiteral("free 1")));
        EXPECT_FALSE(client->isVisible());
        EXPECT_FALSE(app->progres().isVisible());
        EXPECT_EQ(inform.Label2->text(), QStringLiteral("Тест: ") + kTest);
        EXPECT_EQ(inform.Label3->text(), QStringLiteral("Класс: 9 , Предмет: Физика."));
        for (const auto& r : Dialogs::shown())
            EXPECT_NE(r.kind, DialogKind::Error) << r.text.toStdString();

        typeText(inform.KlassName, QStringLiteral("9б"));
        typeText(inform.UserName, QStringLiteral("Сидоров Иван"));
        app->runState().showIntroduction = false;
        Dialogs::queueAnswer(true);
        QTest::keyClick(inform.UserName, Qt::Key_Return);
        ASSERT_TRUE(app->topros().isVisible());
        // The start time is the server's, from its last poll.
        EXPECT_EQ(app->runState().reportedStartTime, app->runState().serverStartTime);
        ASSERT_TRUE(server.waitFor(QStringLiteral("start 1")));
    }

    TClient* client = nullptr;
    QTimer answerer;
    QStringList told;
    QList<bool> clockDuringMessage;
};

} // namespace kvz::testing
