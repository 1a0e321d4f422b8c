#include "choice/ChoiceFixture.h"
#include "choice/TInform.h"
#include "l10n/MessageTable.h"
#include "net/ProtocolText.h"
#include "net/SimulatedWorkstation.h"
#include "net/TBlokator.h"
#include "net/TClient.h"
#include "net/TMessager.h"
#include "net/TSelectTest.h"
#include "platform/docview/PieceWriter.h"
#include "results/TResultats.h"
#include "run/TMessage1.h"
#include "run/TTopros.h"
#include "support/PupilWindow.h"
#include "windows/TProgres.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <string>

namespace kvz::testing {
namespace {

// A server that is only a socket: the test writes the bytes and reads what arrives.
struct WireServer {
    QTcpServer listener;
    QTcpSocket* peer = nullptr;
    QByteArray received;

    WireServer() {
        listener.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&listener, &QTcpServer::newConnection, [this] {
            peer = listener.nextPendingConnection();
            QObject::connect(peer, &QTcpSocket::readyRead, [this] { received += peer->readAll(); });
        });
    }
    void write(const std::string& bytes) {
        peer->write(bytes.data(), qint64(bytes.size()));
        peer->flush();
    }
    bool waitFor(const QByteArray& text) {
        return waitUntil([&] { return received.contains(text); }, 5000);
    }
    QByteArray take() {
        QByteArray r;
        r.swap(received);
        return r;
    }
};

const std::string kList = "REFR\r\n7\r\n45000.5\r\nRAZB\r\nAuto\r\n2\r\n29\r\n"
                          "<10, Physics>:20480*Optics\r\n"
                          "<11, Algebra>:10240*Equations\r\n";

class NetWindows : public ChoiceFixture {
protected:
    void SetUp() override {
        ChoiceFixture::SetUp();
        start();
        client = &app->client();
        client->endProgram = [this] { ++programEnds; };
    }
    void connectTo(WireServer& server) {
        client->Host1->setText(QStringLiteral("127.0.0.1"));
        client->Port1->setText(QString::number(server.listener.serverPort()));
        client->CheckBox1->setChecked(true);
        ASSERT_TRUE(waitUntil([&] { return server.peer && client->connectedToServer(); }));
    }
    QString logText() const { return client->Memo1->toPlainText(); }

    TClient* client = nullptr;
    int programEnds = 0;
};

TEST_F(NetWindows, ConnectListChooseStartAndLoseTheServer) {
    client->show();
    EXPECT_EQ(client->width(), TClient::kNarrowWidth);
    EXPECT_EQ(client->windowTitle(), QStringLiteral("Клиент"));
    EXPECT_FALSE(client->Button4->isEnabled());
    WireServer server;
    connectTo(server);
    EXPECT_EQ(client->windowTitle(), QStringLiteral("Клиент*"));
    ASSERT_TRUE(server.waitFor("HOST"));
    EXPECT_TRUE(server.take().startsWith("HOST"));
    EXPECT_TRUE(logText().contains(QStringLiteral("Произошло соединение!")));

    server.write(kList);
    ASSERT_TRUE(server.waitFor("FRESH"));
    EXPECT_EQ(server.take(), QByteArray("FRESH\r\n7\r\n1\r\n?\r\n\r\n"));
    EXPECT_EQ(client->width(), TClient::kWideWidth);
    EXPECT_TRUE(client->Files->isVisible());
    EXPECT_FALSE(client->CheckBox2->isEnabled());
    ASSERT_EQ(client->Files->count(), 2);
    EXPECT_EQ(client->Files->item(1)->text(), QStringLiteral("Equations <11, Algebra>"));
    EXPECT_TRUE(client->Button4->isEnabled());

    // Start with nothing selected says so and asks for nothing.
    client->Button4->click();
    EXPECT_TRUE(shownText(app->messages().text(53)));
    client->Files->setCurrentRow(1);
    client->Button4->click();
    ASSERT_TRUE(server.waitFor("GIVEMETEST"));
    EXPECT_EQ(server.take(), QByteArray("GIVEMETESTEquations.tst"));

    // A message to the supervisor.
    client->Edit1->setText(QStringLiteral("Нужна помощь"));
    client->Button1->click();
    ASSERT_TRUE(server.waitFor("SEND"));
    EXPECT_EQ(server.take(),
              QByteArray("SEND") + QByteArray(cp(QStringLiteral("Нужна помощь")).c_str()));
    EXPECT_TRUE(client->Edit1->text().isEmpty());

    server.peer->disconnectFromHost();
    ASSERT_TRUE(waitUntil([&] { return !client->connectedToServer(); }));
    ASSERT_TRUE(waitUntil([&] { return client->windowTitle() == QStringLiteral("Клиент"); }));
    EXPECT_FALSE(client->CheckBox1->isChecked());
    EXPECT_TRUE(client->CheckBox1->isEnabled());
    EXPECT_FALSE(client->Files->isVisible());
    EXPECT_EQ(client->Files->count(), 0);
    EXPECT_EQ(client->width(), TClient::kNarrowWidth);
    EXPECT_TRUE(client->CheckBox2->isEnabled());
    EXPECT_FALSE(client->Button4->isEnabled());
    EXPECT_TRUE(logText().contains(QStringLiteral("Произошёл разрыв соединения!")));
}

// A test name longer than the usual width widens the list to it, so no name is cut short.
TEST_F(NetWindows, TheChoiceListIsAsWideAsItsLongestTest) {
    client->show();
    WireServer server;
    connectTo(server);
    const std::string last = "<11, Algebra>:10240*Quadratic equations and inequalities";
    server.write("REFR\r\n7\r\n45000.5\r\nRAZB\r\nAuto\r\n2\r\n" + std::to_string(last.size()) +
                 "\r\n<10, Physics>:20480*Optics\r\n" + last + "\r\n");
    ASSERT_TRUE(server.waitFor("FRESH"));
    ASSERT_EQ(client->Files->count(), 2);
    client->layout()->activate();
    const QString longest = client->Files->item(1)->text();
    EXPECT_GT(client->width(), TClient::kWideWidth);
    EXPECT_GE(client->Files->viewport()->width(),
              client->Files->fontMetrics().horizontalAdvance(longest));
    EXPECT_LE(client->width(), client->screen()->availableGeometry().width());
}

TEST_F(NetWindows, UnreachableServerAndPortField) {
    client->show();
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost, 0);
    const quint16 port = closed.serverPort();
    closed.close();
    client->Host1->setText(QStringLiteral("127.0.0.1"));
    client->Port1->setText(QString::number(port));
    client->CheckBox1->setChecked(true);
    EXPECT_FALSE(client->CheckBox1->isEnabled()); // connecting
    ASSERT_TRUE(waitUntil([&] { return logText().contains(QStringLiteral("Произошла ошибка!")); }));
    EXPECT_FALSE(client->CheckBox1->isChecked());
    EXPECT_TRUE(client->CheckBox1->isEnabled());

    // Letters cannot be typed into the port; digits and "." can.
    client->Port1->clear();
    QTest::keyClicks(client->Port1, QStringLiteral("3a2.7"));
    EXPECT_EQ(client->Port1->text(), QStringLiteral("32.7"));
    // A port that is no number is given up without a message.
    client->CheckBox1->setChecked(true);
    EXPECT_FALSE(client->CheckBox1->isChecked());
    EXPECT_TRUE(client->CheckBox1->isEnabled());
    EXPECT_TRUE(Dialogs::shown().empty());
}

// A refused test is reported in a dialog; the dialog's event loop must not run inside the read
// step that found the fault, and the protocol is still read while it is up.
TEST_F(NetWindows, ARefusedTestIsReportedAfterItsReadStep) {
    client->show();
    WireServer server;
    connectTo(server);
    server.write("TSTNbig.tst\r\n5\r\nMath\r\n0\r\n");
    ASSERT_TRUE(waitUntil([&] { return client->protocol().offerFile() == "big.tst"; }));
    Dialogs::stopAnswering();
    int dialogs = 0;
    bool shownInsideAStep = false;
    bool readWhileShown = false;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        if (dialogs++ == 0) {
            shownInsideAStep = client->ClientSocket1().reading();
            server.write("NMAY");
            return;
        }
        if (client->Memo1->toPlainText().contains(app->messages().text(34)) || dialogs > 100) {
            readWhileShown = dialogs <= 100;
            modal->close();
        }
    });
    closer.start(20);
    server.write("TSTF");
    ASSERT_TRUE(waitUntil([&] { return dialogs > 0 && !QApplication::activeModalWidget(); }));
    closer.stop();
    Dialogs::startAnswering();
    EXPECT_FALSE(shownInsideAStep);
    EXPECT_TRUE(readWhileShown);
}

TEST_F(NetWindows, AutoStartAsksForTheSetTestAtOnce) {
    client->show();
    WireServer server;
    connectTo(server);
    ASSERT_TRUE(server.waitFor("HOST"));
    server.take();
    server.write("TSTNOptics.tst\r\n10\r\nPhysics\r\n20480\r\n");
    ASSERT_TRUE(waitUntil([&] { return client->protocol().offerFile() == "Optics.tst"; }));
    client->CheckBox2->setChecked(false);
    client->CheckBox2->setChecked(true); // checked while connected: asks even before permission
    ASSERT_TRUE(server.waitFor("GIVEMETEST"));
    EXPECT_EQ(server.take(), QByteArray("GIVEMETESTOptics.tst"));
}

TEST_F(NetWindows, ServerLostDuringDownloadLeavesTheWindowUsable) {
    client->show();
    WireServer server;
    connectTo(server);
    server.write("TSTNOptics.tst\r\n10\r\nPhysics\r\n20480\r\n");
    ASSERT_TRUE(waitUntil([&] { return client->protocol().offerSize() == 20480; }));
    server.write("TSTF" + std::string(5000, 'x'));
    ASSERT_TRUE(waitUntil([&] { return client->protocol().downloadedBytes() == 5000; }));
    EXPECT_TRUE(app->progres().isVisible());
    EXPECT_FALSE(client->isEnabled());
    server.peer->abort();
    ASSERT_TRUE(waitUntil([&] { return !client->connectedToServer(); }));
    ASSERT_TRUE(waitUntil([&] { return client->isEnabled(); }));
    EXPECT_FALSE(app->progres().isVisible());
    EXPECT_EQ(client->protocol().readState(), ReadState::Idle);
    EXPECT_EQ(client->protocol().downloadedBytes(), 0);
}

TEST_F(NetWindows, PauseCoversTheExamineeWindowAndCannotBeClosed) {
    client->show();
    WireServer server;
    connectTo(server);
    app->inform().show();
    server.write("NMAY");
    TBlokator& pause = app->blokator();
    ASSERT_TRUE(waitUntil([&] { return pause.isVisible(); }));
    EXPECT_FALSE(app->inform().isEnabled());
    EXPECT_FALSE(app->topros().isEnabled());
    EXPECT_EQ(pause.Panel1->text(), QStringLiteral("Сервер приостановил тест!"));
    // Alt+F4, Escape and closing by the window manager leave it open.
    QTest::keyClick(&pause, Qt::Key_F4, Qt::AltModifier);
    QTest::keyClick(&pause, Qt::Key_Escape);
    pause.close();
    EXPECT_TRUE(pause.isVisible());
    server.write("_MAY");
    ASSERT_TRUE(waitUntil([&] { return !pause.isVisible(); }));
    EXPECT_TRUE(app->inform().isEnabled());

    // The server vanishes under a pause: the examinee is told, the pause is lifted.
    server.write("NMAY");
    ASSERT_TRUE(waitUntil([&] { return pause.isVisible(); }));
    QString told;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (app->messager().isVisible()) {
            told = app->messager().Memo1->toPlainText();
            app->messager().Button1->click();
        }
    });
    answer.start(10);
    server.peer->abort();
    ASSERT_TRUE(waitUntil([&] { return !client->connectedToServer(); }));
    ASSERT_TRUE(waitUntil([&] { return !pause.isVisible() && !told.isEmpty(); }));
    EXPECT_EQ(told, app->messages().text(29));
    EXPECT_TRUE(app->inform().isEnabled());
    app->inform().hide();
}

TEST_F(NetWindows, MessageWindowCountsDownByLines) {
    TMessager& m = app->messager();
    struct Case {
        QString text;
        int ms;
    };
    // A second a line, at least five.
    for (const Case& c : {Case{QString(), 5000}, Case{QStringLiteral("one"), 5000},
                          Case{QStringLiteral("a\nb\nc"), 5000},
                          Case{QStringLiteral("1\n2\n3\n4\n5\n6\n7"), 7000}}) {
        int seen = -1;
        QTimer::singleShot(0, [&] {
            seen = m.countdownMs();
            EXPECT_TRUE(m.Timer1->isActive());
            // In the middle of the screen, not with its corner there.
            const QPoint off = m.frameGeometry().center() - m.screen()->geometry().center();
            EXPECT_LE(off.manhattanLength(), 2) << off.x() << "," << off.y();
            // A second message while it is open replaces the text and starts again.
            m.showText(QStringLiteral("x\ny"));
            EXPECT_EQ(m.countdownMs(), 5000);
            QTest::keyClick(m.Memo1, Qt::Key_Return);
        });
        m.showText(c.text);
        EXPECT_EQ(seen, c.ms) << c.text.toStdString();
        EXPECT_FALSE(m.isVisible());
    }
    // The countdown closes it by itself.
    m.showText(QStringLiteral("bye"));
    EXPECT_FALSE(m.isVisible());
}

TEST_F(NetWindows, ProfileChoiceAmongOfferedTests) {
    RunState& rs = app->runState();
    rs.interactive = false;
    rs.profileType = "net";
    rs.profileTestName = "E*";
    rs.profileTestClass = "/*_-_*\\";
    rs.profileSubject = "/*_-_*\\";
    rs.profileSelect = 1;
    client->show();
    WireServer server;
    connectTo(server);
    server.write(
        "REFR\r\n1\r\n45000\r\nNO\r\nAuto\r\n4\r\n22\r\n"
        "<5, Math>:10*Eq\r\n<6, Art>:20*Zebra\r\n<7, Music>:30*Ex\r\n<7, Math>:40*Equations\r\n");
    TSelectTest& select = app->selectTest();
    ASSERT_TRUE(waitUntil([&] { return select.isVisible(); }));
    EXPECT_FALSE(client->isVisible());
    ASSERT_EQ(select.ListBox1->count(), 3);
    EXPECT_EQ(select.positions,
              (QStringList{QStringLiteral("0"), QStringLiteral("2"), QStringLiteral("3")}));
    server.take();
    select.ListBox1->setCurrentRow(1);
    select.Button1->click();
    ASSERT_TRUE(server.waitFor("GIVEMETEST"));
    EXPECT_EQ(server.take(), QByteArray("GIVEMETESTEx.tst"));
    EXPECT_TRUE(select.isVisible()); // each OK asks again; the window stays
    select.Button2->click();         // Exit ends the program
    EXPECT_EQ(programEnds, 1);
    // Escape is a close: it ends the program too, never just hides the window.
    QTest::keyClick(select.ListBox1, Qt::Key_Escape);
    EXPECT_EQ(programEnds, 2);
    EXPECT_TRUE(select.isVisible());
    select.close();
    EXPECT_EQ(programEnds, 3);
    select.hide();

    // No offered test matches: the program ends.
    rs.profileTestName = "nothing*";
    client->show();
    server.write("REFR\r\n1\r\n45000\r\nNO\r\nAuto\r\n1\r\n15\r\n<5, Math>:10*Eq\r\n");
    ASSERT_TRUE(waitUntil([&] { return programEnds == 4; }));
}

// The test asked for with the server's permission never comes, or stops coming half-way: the
// wait ends with a message; an interactive run keeps its window, a profile's run ends.
TEST_F(NetWindows, ARequestedTestThatNeverComesIsGivenUp) {
    client->ArchiveTimer->setInterval(300);
    client->show();
    WireServer server;
    connectTo(server);
    server.write(kList);
    ASSERT_TRUE(server.waitFor("FRESH"));
    server.take();
    const QString notSent =
        cp1251::toUnicode(formatMessage(app->messages().msg(95), {"Optics.tst"}));
    ASSERT_FALSE(notSent.isEmpty());
    client->Files->setCurrentRow(0);
    client->Button4->click();
    ASSERT_TRUE(server.waitFor("GIVEMETEST"));
    ASSERT_TRUE(waitUntil([&] { return shownText(notSent); }, 5000));
    EXPECT_EQ(programEnds, 0);
    EXPECT_TRUE(logText().contains(notSent));
    EXPECT_TRUE(pupilHasAWindow(client));

    // Half of it, then nothing: the connection goes, and the window is usable again.
    Dialogs::clearShown();
    server.take();
    client->Button4->click();
    ASSERT_TRUE(server.waitFor("GIVEMETEST"));
    server.write("TSTF" + std::string(5000, 'x'));
    ASSERT_TRUE(waitUntil([&] { return client->protocol().downloadedBytes() == 5000; }));
    ASSERT_TRUE(waitUntil([&] { return shownText(notSent); }, 5000));
    EXPECT_FALSE(client->connectedToServer());
    EXPECT_FALSE(app->progres().isVisible());
    EXPECT_EQ(programEnds, 0);
    EXPECT_TRUE(pupilHasAWindow(client));

    // A profile's run says so and ends.
    Dialogs::clearShown();
    RunState& rs = app->runState();
    rs.interactive = false;
    rs.profileType = "net";
    rs.profileTestName = "optics";
    rs.profileTestClass = "/*_-_*\\";
    rs.profileSubject = "/*_-_*\\";
    rs.profileSelect = 0;
    client->hide();
    client->show();
    WireServer second;
    connectTo(second);
    second.write(kList);
    ASSERT_TRUE(second.waitFor("GIVEMETEST"));
    ASSERT_TRUE(waitUntil([&] { return programEnds == 1; }, 5000));
    EXPECT_TRUE(shownText(notSent));
}

// A pause while the finish prompt is open covers the prompt too: the test cannot be finished
// under it. The resume gives back what it took, the keyboard included.
TEST_F(NetWindows, PauseCoversTheFinishPromptAndResumeGivesItBack) {
    client->show();
    WireServer server;
    connectTo(server);
    client->hide();
    TTopros& run = app->topros();
    QuestionSet& set = run.questionSet;
    set = QuestionSet{};
    for (int i = 0; i < 2; ++i) {
        QImage image(64, 48, QImage::Format_RGB32);
        image.fill(Qt::white);
        TQuestionRec q;
        q.kindText = "A";
        q.choiceCount = 2;
        q.body = docview::pieceFromImage(image, QStringLiteral("page")).piece;
        set.questions.push_back(q);
    }
    set.labels = makeLabels(set.questions);
    computeTimeBudgets(set, false);
    run.Stests->clear();
    for (const std::string& l : set.labels)
        run.Stests->addItem(QString::fromLatin1(l));
    run.StartRun();
    ASSERT_TRUE(run.isVisible());
    TMessage1& prompt = app->message1();
    run.N4->trigger();
    ASSERT_TRUE(prompt.isVisible());
    ASSERT_TRUE(pupilHasAWindow(&prompt));

    server.write("NMAY");
    TBlokator& pause = app->blokator();
    ASSERT_TRUE(waitUntil([&] { return pause.isVisible(); }));
    EXPECT_FALSE(prompt.isEnabled());
    EXPECT_FALSE(run.isEnabled());
    prompt.Button2->click();
    QTest::keyClick(&prompt, Qt::Key_F10);
    QTest::keyClick(&run, Qt::Key_F10);
    EXPECT_TRUE(run.isVisible()) << "the test was finished under the pause";
    EXPECT_FALSE(app->resultats().isVisible());

    server.write("_MAY");
    ASSERT_TRUE(waitUntil([&] { return !pause.isVisible(); }));
    EXPECT_TRUE(prompt.isEnabled());
    EXPECT_TRUE(run.isEnabled());
    EXPECT_TRUE(pupilHasAWindow(&prompt));
    prompt.Button2->click();
    EXPECT_TRUE(app->resultats().isVisible());
    EXPECT_FALSE(run.isVisible());
}

// Choice mode: "NMAY" takes the permission back and "_MAY" or "!MAY" gives it again. In the
// pupil's own run the Start button follows it and only Start asks; in a profile's run (nobody
// presses Start there) the profile's choice is asked for again once allowed.
TEST_F(NetWindows, PermissionGivenAgainInChoiceMode) {
    const struct {
        const char* name;
        bool profile;
        std::string allow;
    } cases[] = {
        {"the pupil's run, _MAY", false, "_MAY"},
        {"the pupil's run, !MAY", false, "!MAY" + std::string(4, '\x40')},
        {"a profile's run, _MAY", true, "_MAY"},
        {"a profile's run, !MAY", true, "!MAY" + std::string(4, '\x40')},
    };
    RunState& rs = app->runState();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        rs.interactive = !c.profile;
        rs.profileType = c.profile ? "net" : "";
        rs.profileTestName = "equations";
        rs.profileTestClass = "/*_-_*\\";
        rs.profileSubject = "/*_-_*\\";
        rs.profileSelect = 0;
        client->hide();
        client->show();
        WireServer server;
        connectTo(server);
        ASSERT_TRUE(server.waitFor("HOST"));
        server.take();
        server.write(kList);
        ASSERT_TRUE(server.waitFor("FRESH"));
        if (c.profile) {
            ASSERT_TRUE(server.waitFor("GIVEMETEST"));
        } else {
            client->Files->setCurrentRow(1);
            client->Button4->click();
            ASSERT_TRUE(server.waitFor("GIVEMETEST"));
        }
        EXPECT_TRUE(server.take().endsWith("GIVEMETESTEquations.tst"));

        server.write("NMAY");
        ASSERT_TRUE(waitUntil([&] { return !client->protocol().permitted(); }));
        EXPECT_FALSE(client->Button4->isEnabled());
        EXPECT_TRUE(client->Files->isVisible());

        server.write(c.allow);
        ASSERT_TRUE(waitUntil([&] { return client->protocol().permitted(); }));
        EXPECT_TRUE(client->Button4->isEnabled());
        if (c.profile) {
            ASSERT_TRUE(server.waitFor("GIVEMETEST")) << "the profile's test was not asked again";
            EXPECT_EQ(server.take(), QByteArray("GIVEMETESTEquations.tst"));
        } else {
            QTest::qWait(200);
            EXPECT_FALSE(server.take().contains("GIVEMETEST")) << "asked without the pupil";
            EXPECT_EQ(client->Files->currentRow(), 1);
            client->Button4->click();
            ASSERT_TRUE(server.waitFor("GIVEMETEST"));
            EXPECT_EQ(server.take(), QByteArray("GIVEMETESTEquations.tst"));
        }
        EXPECT_EQ(programEnds, 0);
        client->CheckBox1->setChecked(false);
        ASSERT_TRUE(waitUntil([&] { return !client->connectedToServer(); }));
    }
}

} // namespace
} // namespace kvz::testing
