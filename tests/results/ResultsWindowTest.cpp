#include "choice/ChoiceFixture.h"

#include "choice/TInform.h"
#include "choice/TPrepere.h"
#include "net/TClient.h"
#include "results/ClientLink.h"
#include "results/ResultArchive.h"
#include "results/ResultPassword.h"
#include "results/TResultats.h"
#include "run/TTopros.h"
#include "shell/Clock.h"
#include "test/ZipMemory.h"

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>

using namespace kvz;
using namespace kvz::testing;

namespace {

// The client window's side of the results window, as a test sets it.
class FakeClient : public ClientLink {
public:
    bool checked = false;
    bool automatic = false;
    bool open = false;
    std::vector<QByteArray> sent;
    bool sendFails = false;
    int forbidden = 0;
    bool connectChecked() const override { return checked; }
    bool automaticChoice() const override { return automatic; }
    bool connectionOpen() const override { return open; }
    bool sendResultFile(const QString& path) override {
        if (sendFails)
            return false;
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return false;
        sent.push_back(f.readAll());
        return true;
    }
    void forbidTesting() override { ++forbidden; }
};

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray entryOf(const QByteArray& archive, const char* name) {
    auto zip = MemoryZip::open(archive);
    if (!zip)
        return {};
    zip->setPassword(resultPassword());
    QByteArray data;
    return zip->extract(name, 1 << 20, data) == ZipReadStatus::Ok ? data : QByteArray();
}

class ResultsWindowTest : public ChoiceFixture {
protected:
    void SetUp() override {
        ChoiceFixture::SetUp();
        oldData = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", temp.filePath(QStringLiteral("xdg-data")).toLocal8Bit());
        start();
        fillTest();
    }
    void TearDown() override {
        if (app)
            app->resultats().setClientLink(nullptr);
        qputenv("XDG_DATA_HOME", oldData);
        clock::setRandomSeedForTesting({});
        ChoiceFixture::TearDown();
    }
    TResultats& results() { return app->resultats(); }
    QString resultsFolder() const { return temp.filePath(QStringLiteral("Results/9A")); }

    // "A01 A02 B01": the first and the third answered right, the second never changed.
    void fillTest() {
        RunState& rs = app->runState();
        QuestionSet& set = app->topros().questionSet;
        set = QuestionSet{};
        for (const char* kind : {"A", "A", "B"}) {
            TQuestionRec q;
            q.kindText = kind;
            q.choiceCount = 3;
            q.rightChoice = {true};
            q.rightText = "\xEC\xE8\xF0";
            set.questions.push_back(q);
        }
        set.labels = makeLabels(set.questions);
        resetAnswers(set);
        set.answers[0].chosen = {true};
        set.answers[0].touched = true;
        set.answers[2].text = "\xEC\xE8\xF0";
        set.answers[2].touched = true;
        rs.testName = "test-1";
        rs.testSubject = "\xD4\xE8\xE7\xE8\xEA\xE0";
        rs.startTime = 46000.25;
        rs.reportedStartTime = 46000.125;
        rs.finishTime = 46000.5;
        rs.resultsFolder = resultsFolder();
        rs.answerReviewAllowed = true;
        rs.resultsShown = false;
        app->inform().UserName->setText(QStringLiteral("Иванов Иван"));
        app->inform().KlassName->setText(QStringLiteral("9А"));
    }
    void showResults() {
        results().show();
        QCoreApplication::processEvents();
    }
    QStringList resultFiles(const QString& folder) const {
        return QDir(folder).entryList({QStringLiteral("*.rst")}, QDir::Files);
    }
    bool centred() {
        const QRect p = results().Panel1->geometry();
        const QPoint c = results().rect().center();
        return std::abs(p.center().x() - c.x()) <= 1 && std::abs(p.center().y() - c.y()) <= 1;
    }

    QByteArray oldData;
};

} // namespace

TEST_F(ResultsWindowTest, FirstShowingChecksStoresAndShows) {
    showResults();
    TResultats& w = results();
    const RunState& rs = app->runState();
    EXPECT_TRUE(rs.resultsShown);
    EXPECT_EQ(w.Label2->text(), QStringLiteral("2 из 3 (66.67%)"));
    EXPECT_EQ(w.Label3->text(), QStringLiteral("2 из 3 (66.67%)"));
    EXPECT_EQ(w.Label7->text(), QStringLiteral("66.67"));
    EXPECT_EQ(w.Label5->text(), QStringLiteral("9А"));
    EXPECT_EQ(w.Label10->text(), QStringLiteral("Иванов Иван"));
    EXPECT_EQ(rs.verdicts, (std::vector<std::string>{cp(QStringLiteral("Правильно")),
                                                     cp(QStringLiteral("Неправильно")),
                                                     cp(QStringLiteral("Правильно"))}));
    EXPECT_TRUE(w.Button3->isEnabled());
    ASSERT_FALSE(w.Image1->pixmap().isNull());
    EXPECT_EQ(w.Image1->pixmap().size(), QSize(161, 110));
    EXPECT_TRUE(Dialogs::shown().empty());

    // The archive is in the results folder, with the figures of the check and the local start.
    const QStringList files = resultFiles(resultsFolder());
    ASSERT_EQ(files.size(), 1);
    EXPECT_EQ(w.lastResultPath(), resultsFolder() + QLatin1Char('/') + files[0]);
    QFile f(w.lastResultPath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray summary = entryOf(f.readAll(), kSummaryEntryName);
    ASSERT_FALSE(summary.isEmpty());
    EXPECT_TRUE(summary.startsWith(QByteArray(cp(QStringLiteral("Иванов Иван")).c_str()) + '\0' +
                                   cp(QStringLiteral("9А")).c_str()));
    EXPECT_TRUE(summary.endsWith("A1A0B1"));
    const double start = 46000.25;
    EXPECT_EQ(summary.mid(summary.size() - 6 - 16, 8), QByteArray((const char*)&start, 8));

    // No mark: the panel has its designed height, centred on the screen.
    EXPECT_EQ(w.Panel4->height(), 0);
    EXPECT_FALSE(w.Panel4->isVisible());
    EXPECT_EQ(w.Panel1->height(),
              rs.resultsPanelHeight > 0 ? rs.resultsPanelHeight : w.Panel1->sizeHint().height());
    EXPECT_TRUE(centred());
}

TEST_F(ResultsWindowTest, TwoLineMarkMakesTheCentredPanelTaller) {
    showResults();
    const int plain = results().Panel1->height();
    results().hide();

    RunState& rs = app->runState();
    rs.showMark = true;
    rs.markScale = {{"4999", cp(QStringLiteral("Плохо|2"))},
                    {"8499", cp(QStringLiteral("Хорошо|4"))},
                    {"", cp(QStringLiteral("Отлично|5"))}};
    rs.markCount = 3;
    rs.resultsShown = false;
    showResults();
    TResultats& w = results();
    EXPECT_EQ(rs.checkSummary.markIndex, 1); // 66.67
    EXPECT_EQ(w.Label4->text(), QStringLiteral("Хорошо\n4"));
    EXPECT_TRUE(w.Panel4->isVisible());
    const int line = w.Label4->fontMetrics().height();
    EXPECT_EQ(w.Label4->height(), 2 * line + w.Label4->y());
    EXPECT_EQ(w.Panel4->height(), w.Label4->height() + 2 * w.Label4->y());
    EXPECT_EQ(w.Panel1->height(), plain + w.Panel4->height());
    EXPECT_TRUE(centred());
    // The second finished test got a name of its own.
    EXPECT_EQ(resultFiles(resultsFolder()).size(), 2);
}

TEST_F(ResultsWindowTest, ShowingAgainRecomputesAndStoresNothing) {
    FakeClient client;
    client.open = true;
    results().setClientLink(&client);
    showResults();
    const QString right = results().Label2->text();
    ASSERT_EQ(client.sent.size(), 1u);
    // Sent are the bytes of the written file; the start time is the server's.
    QFile f(results().lastResultPath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(client.sent[0], f.readAll());
    const QByteArray summary = entryOf(client.sent[0], kSummaryEntryName);
    const double reported = 46000.125;
    EXPECT_EQ(summary.mid(summary.size() - 6 - 16, 8), QByteArray((const char*)&reported, 8));

    // Answers changed behind the window's back do not show when it comes back.
    app->topros().questionSet.answers[1].chosen = {true};
    results().hide();
    showResults();
    EXPECT_EQ(results().Label2->text(), right);
    EXPECT_EQ(resultFiles(resultsFolder()).size(), 1);
    EXPECT_EQ(client.sent.size(), 1u);
}

TEST_F(ResultsWindowTest, UnwritableResultsFolderKeepsTheResultAndTells) {
    QFile plain(temp.filePath(QStringLiteral("plain")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    app->runState().resultsFolder = temp.filePath(QStringLiteral("plain/Results"));
    showResults();
    const QString kept = temp.filePath(QStringLiteral("xdg-data/kvizor/rescued-results"));
    ASSERT_EQ(resultFiles(kept).size(), 1);
    EXPECT_EQ(results().lastResultPath(), kept + QLatin1Char('/') + resultFiles(kept)[0]);
    ASSERT_EQ(Dialogs::shown().size(), 1u);
    EXPECT_EQ(Dialogs::shown()[0].kind, DialogKind::Error);
    EXPECT_TRUE(Dialogs::shown()[0].text.contains(kept)) << Dialogs::shown()[0].text.toStdString();
    EXPECT_TRUE(Dialogs::shown()[0].text.startsWith(QStringLiteral("Результат не удалось")));
    // The display went on.
    EXPECT_EQ(results().Label2->text(), QStringLiteral("2 из 3 (66.67%)"));
}

TEST_F(ResultsWindowTest, RepeatInLocalModeOnlyOpensTheMenu) {
    showResults();
    TResultats& w = results();
    w.Button1->click();
    EXPECT_TRUE(w.PopupMenu1->isVisible());
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(app->inform().isVisible());
    const QPoint below = w.Button1->mapToGlobal(QPoint(0, w.Button1->height() - 2));
    EXPECT_EQ(w.PopupMenu1->pos(), below);
    w.PopupMenu1->hide();

    // "тот же тест": the examinee window on its first page, name and class kept.
    w.N1->trigger();
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(app->inform().isVisible());
    EXPECT_FALSE(app->inform().onSecondPage());
    EXPECT_EQ(app->inform().UserName->text(), QStringLiteral("Иванов Иван"));
    app->inform().hide();

    // "другой тест": the test choice window.
    showResults();
    w.N2->trigger();
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(app->prepere().isVisible());
}

TEST_F(ResultsWindowTest, RepeatInNetworkMode) {
    FakeClient client;
    client.checked = true;
    results().setClientLink(&client);
    showResults();
    // The server's automatic choice: the menu, as in local mode.
    client.automatic = true;
    results().Button1->click();
    EXPECT_TRUE(results().PopupMenu1->isVisible());
    results().PopupMenu1->hide();
    EXPECT_EQ(client.forbidden, 0);
    // Otherwise the examinee waits for the server's next permission in the client window.
    client.automatic = false;
    results().Button1->click();
    EXPECT_EQ(client.forbidden, 1);
    EXPECT_FALSE(results().isVisible());
    EXPECT_TRUE(app->client().isVisible());
    app->client().hide();
    // "другой тест" with "Соединиться" checked goes to the client window too.
    showResults();
    results().N2->trigger();
    EXPECT_TRUE(app->client().isVisible());
    EXPECT_FALSE(app->prepere().isVisible());
}

TEST_F(ResultsWindowTest, ReviewAndBackWithoutRecomputation) {
    showResults();
    TResultats& w = results();
    const QString score = w.Label7->text();
    w.Button3->click();
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(app->topros().isVisible());
    EXPECT_TRUE(app->topros().N9->isVisible());
    app->topros().questionSet.answers[1].chosen = {true};
    app->topros().hide();
    showResults();
    EXPECT_EQ(w.Label7->text(), score);
    EXPECT_EQ(resultFiles(resultsFolder()).size(), 1);
    // A test that forbids review keeps the button off.
    w.hide();
    app->runState().answerReviewAllowed = false;
    app->runState().resultsShown = false;
    showResults();
    EXPECT_FALSE(w.Button3->isEnabled());
}

TEST_F(ResultsWindowTest, AltF4IsSwallowed) {
    showResults();
    TResultats& w = results();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    QSignalSpy swallowed(w.AltF41, &QAction::triggered);
    QTest::keyClick(&w, Qt::Key_F4, Qt::AltModifier);
    EXPECT_EQ(swallowed.count(), 1);
    EXPECT_TRUE(w.isVisible());
    // The window system's close request is refused too.
    QCloseEvent close;
    close.setAccepted(true);
    QCoreApplication::sendEvent(w.windowHandle(), &close);
    EXPECT_TRUE(w.isVisible());
}

TEST_F(ResultsWindowTest, ProfileRunWritesTheTextLogAndStartsTheCommand) {
    RunState& rs = app->runState();
    rs.interactive = false;
    const QString log = temp.filePath(QStringLiteral("log.txt"));
    const QString marker = temp.filePath(QStringLiteral("marker"));
    rs.profileTextResultFile = cp1251::fromUnicode(log);
    rs.profileCommandAfterTest = cp1251::fromUnicode(QStringLiteral("touch ") + marker);
    {
        QFile f(log);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("before\r\n");
    }
    showResults();
    QFile f(log);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    EXPECT_TRUE(text.startsWith("before\r\n>>  >> | <<  <<\r\n")) << text.toStdString();
    EXPECT_EQ(text.count("\r\n"), 14);
    EXPECT_TRUE(text.endsWith("A1A0B1\r\n66.67\r\n"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return QFile::exists(marker); }, 10000));
    EXPECT_TRUE(results().Panel1->isVisible());

    // A log that cannot be opened is reported, and the command is skipped.
    QFile::remove(marker);
    rs.profileTextResultFile = cp1251::fromUnicode(temp.filePath(QStringLiteral("none/log.txt")));
    rs.resultsShown = false;
    results().hide();
    Dialogs::clearShown();
    showResults();
    ASSERT_EQ(Dialogs::shown().size(), 1u);
    EXPECT_EQ(Dialogs::shown()[0].text, QStringLiteral("Ошибка при открытии файла!"));
    QTest::qWait(200);
    EXPECT_FALSE(QFile::exists(marker));
}

TEST_F(ResultsWindowTest, InteractiveRunIgnoresTheProfileSteps) {
    RunState& rs = app->runState();
    const QString log = temp.filePath(QStringLiteral("log.txt"));
    rs.profileTextResultFile = cp1251::fromUnicode(log);
    rs.profileExitAfterTest = true;
    showResults();
    EXPECT_FALSE(QFile::exists(log));
    EXPECT_TRUE(results().Panel1->isVisible());
}

// Started with a profile that keeps no results: only the server gets the archive, through a
// temporary file that is gone once handed over; without a connection nothing is written.
TEST_F(ResultsWindowTest, ProfileWithoutSavingOnlySends) {
    const QString xdg = temp.filePath(QStringLiteral("xdg-data"));
    app.reset();
    app = std::make_unique<KvizorApp>(QStringList{QStringLiteral("run.pte")}, prog());
    app->createWindows();
    fillTest();
    RunState& rs = app->runState();
    rs.interactive = false;
    rs.profileSaveResult = false;
    FakeClient client;
    client.checked = true;
    client.open = true;
    results().setClientLink(&client);
    showResults();
    ASSERT_EQ(client.sent.size(), 1u);
    EXPECT_FALSE(entryOf(client.sent[0], kDetailEntryName).isEmpty());
    EXPECT_TRUE(resultFiles(QDir::tempPath()).isEmpty());
    EXPECT_TRUE(resultFiles(resultsFolder()).isEmpty());

    client.open = false;
    rs.resultsShown = false;
    results().hide();
    showResults();
    EXPECT_EQ(client.sent.size(), 1u);
    EXPECT_TRUE(resultFiles(QDir::tempPath()).isEmpty());
    EXPECT_TRUE(resultFiles(resultsFolder()).isEmpty());
    EXPECT_TRUE(Dialogs::shown().empty());
}

// Started with a profile that keeps no results: when the server cannot be given the result
// (the send fails, or a network run lost its server), the copy kept in the rescue folder is all
// there is, and the pupil is told to tell the teacher.
TEST_F(ResultsWindowTest, ASendOnlyResultThatCannotBeSentIsKeptAndTold) {
    const QString kept = temp.filePath(QStringLiteral("xdg-data/kvizor/rescued-results"));
    struct Case {
        const char* what;
        bool open;
        bool sendFails;
        const char* profileType;
    };
    const Case cases[] = {
        {"the send fails", true, true, "net"},
        {"the network run lost its server", false, false, "net"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(kept).removeRecursively();
        Dialogs::clearShown();
        app.reset();
        app = std::make_unique<KvizorApp>(QStringList{QStringLiteral("run.pte")}, prog());
        app->createWindows();
        fillTest();
        RunState& rs = app->runState();
        rs.interactive = false;
        rs.profileSaveResult = false;
        rs.profileType = c.profileType;
        FakeClient client;
        client.checked = true;
        client.open = c.open;
        client.sendFails = c.sendFails;
        results().setClientLink(&client);
        showResults();
        QCoreApplication::processEvents();
        results().setClientLink(nullptr);
        EXPECT_TRUE(client.sent.empty());
        ASSERT_EQ(resultFiles(kept).size(), 1);
        EXPECT_FALSE(
            entryOf(readAll(kept + QLatin1Char('/') + resultFiles(kept)[0]), kDetailEntryName)
                .isEmpty());
        EXPECT_TRUE(resultFiles(resultsFolder()).isEmpty());
        ASSERT_EQ(Dialogs::shown().size(), 1u);
        EXPECT_EQ(Dialogs::shown()[0].kind, DialogKind::Error);
        EXPECT_TRUE(Dialogs::shown()[0].text.contains(kept))
            << Dialogs::shown()[0].text.toStdString();
        EXPECT_TRUE(Dialogs::shown()[0].text.contains(QStringLiteral("сервер")));
    }
}

// A send-only result that went out is kept too: the server never says it has stored it.
TEST_F(ResultsWindowTest, ASentSendOnlyResultStaysInTheRescueFolder) {
    app.reset();
    app = std::make_unique<KvizorApp>(QStringList{QStringLiteral("run.pte")}, prog());
    app->createWindows();
    fillTest();
    RunState& rs = app->runState();
    rs.interactive = false;
    rs.profileSaveResult = false;
    FakeClient client;
    client.checked = true;
    client.open = true;
    results().setClientLink(&client);
    showResults();
    const QString kept = temp.filePath(QStringLiteral("xdg-data/kvizor/rescued-results"));
    ASSERT_EQ(client.sent.size(), 1u);
    ASSERT_EQ(resultFiles(kept).size(), 1);
    EXPECT_EQ(readAll(kept + QLatin1Char('/') + resultFiles(kept)[0]), client.sent[0]);
    EXPECT_TRUE(Dialogs::shown().empty());
}

// Without a stand-in the window reads the client window itself.
TEST_F(ResultsWindowTest, RepeatReadsTheClientWindow) {
    showResults();
    TClient& client = app->client();
    client.CheckBox1->blockSignals(true); // checked, but no connection attempt
    client.CheckBox1->setChecked(true);
    client.CheckBox1->blockSignals(false);
    client.CheckBox2->setEnabled(true);
    client.Button4->setEnabled(true);
    results().Button1->click();
    EXPECT_FALSE(results().PopupMenu1->isVisible());
    EXPECT_FALSE(results().isVisible());
    EXPECT_TRUE(client.isVisible());
    EXPECT_FALSE(client.Button4->isEnabled());
    EXPECT_TRUE(
        client.Memo1->toPlainText().contains(QStringLiteral("Сервер запретил тестирование.")));
}
