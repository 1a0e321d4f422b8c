// Runs started with a profile on the command line: the choice of the local test, the roads the
// profile's type selects, and each failure that ends the program.

#include "ProfileFixture.h"
#include "support/TestPaths.h"

#include "choice/TInform.h"
#include "l10n/MessageTable.h"
#include "profile/Profile.h"
#include "profile/ProfileRun.h"
#include "profile/ProfileRunner.h"
#include "run/TTopros.h"
#include "shell/Clock.h"
#include "shell/TBasic.h"
#include "windows/TPas.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <set>

namespace kvz {
namespace {

using testing::cp;
using testing::withTrailer;

const std::string kAll = "\xC2\xF1\xE5"; // "Все"

// What the program writes to its log while it lives.
class LogCapture {
public:
    LogCapture() {
        lines().clear();
        previous_ = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext&, const QString& text) { lines() << text; });
    }
    ~LogCapture() { qInstallMessageHandler(previous_); }
    static QStringList& lines() {
        static QStringList all;
        return all;
    }
    static bool has(const QString& part) {
        for (const QString& l : lines())
            if (l.contains(part))
                return true;
        return false;
    }

private:
    QtMessageHandler previous_ = nullptr;
};

class ProfileRunTest : public testing::ProfileFixture {
protected:
    void writeProfile(const QString& file, const Profile& p) {
        ASSERT_TRUE(kvz::writeProfile(prog() + QLatin1Char('/') + file, p));
    }
    // Starts the program as the command line would, with the profile at path (and the program
    // folder, when given, as the second parameter).
    void run(const QString& path, const QString& folder = {}) {
        QStringList parameters{path};
        if (!folder.isEmpty())
            parameters << folder;
        app = std::make_unique<KvizorApp>(parameters, prog());
        app->createWindows();
        ProfileRunner& runner = app->profileRunner();
        runner.hostName = [] { return QStringLiteral("ws07"); };
        runner.chooseTest = [this](const QStringList& names) {
            offered = names;
            return choice;
        };
        app->basic().FormShow();
    }

    QStringList offered;
    std::optional<int> choice;
};

TEST_F(ProfileRunTest, LocalCandidatesByPatternAndCatalogue) {
    writeFile(QStringLiteral("Base/Алгебра 7.tst"),
              withTrailer("", "7", cp(QStringLiteral("Алгебра")), ""));
    writeFile(QStringLiteral("Base/Алгебра 8.TST"),
              withTrailer("", "8", cp(QStringLiteral("Алгебра")), ""));
    writeFile(QStringLiteral("Base/Алгебра 9.tst"), "no trailer at all");
    writeFile(QStringLiteral("Base/Физика 9.tst"),
              withTrailer("", "9", cp(QStringLiteral("Физика")), ""));
    QDir().mkpath(prog() + QStringLiteral("/Base/Алгебра 10.tst")); // a folder is no test

    const struct {
        const char* name;
        QString pattern;
        std::string klass;
        std::string subject;
        QStringList expected;
        std::string error;
    } cases[] = {
        {"star, both all: no catalogue read",
         QStringLiteral("алгебра*"),
         kAll,
         kAll,
         {QStringLiteral("Алгебра 7"), QStringLiteral("Алгебра 8"), QStringLiteral("Алгебра 9")},
         ""},
        {"subject filter drops the unreadable one",
         QStringLiteral("*"),
         kAll,
         cp(QStringLiteral("Алгебра")),
         {QStringLiteral("Алгебра 7"), QStringLiteral("Алгебра 8")},
         ""},
        {"class filter", QStringLiteral("*"), "9", kAll, {QStringLiteral("Физика 9")}, ""},
        {"set with a range",
         QStringLiteral("Алгебра [7-8]"),
         kAll,
         kAll,
         {QStringLiteral("Алгебра 7"), QStringLiteral("Алгебра 8")},
         ""},
        {"negated set",
         QStringLiteral("Алгебра [!7]"),
         kAll,
         kAll,
         {QStringLiteral("Алгебра 8"), QStringLiteral("Алгебра 9")},
         ""},
        {"question mark",
         QStringLiteral("??????? 9"),
         kAll,
         kAll,
         {QStringLiteral("Алгебра 9")},
         ""},
        {"no match", QStringLiteral("Химия"), kAll, kAll, {}, ""},
        {"unclosed set",
         QStringLiteral("Алгебра [7"),
         kAll,
         kAll,
         {},
         cp(QStringLiteral("'Алгебра [7.tst' is an invalid mask at (9)"))},
    };
    for (const auto& c : cases) {
        LocalCandidates found =
            findLocalCandidates(prog(), cp(c.pattern), c.klass, c.subject, kAll);
        found.names.sort();
        QStringList expected = c.expected;
        expected.sort();
        EXPECT_EQ(found.names, expected) << c.name;
        EXPECT_EQ(found.error, c.error) << c.name;
    }
}

TEST_F(ProfileRunTest, RandomChoiceReachesEveryCandidate) {
    std::set<int> seen;
    for (std::uint32_t seed = 0; seed < 64; ++seed) {
        const int i = randomCandidate(3, seed);
        ASSERT_TRUE(i >= 0 && i < 3);
        seen.insert(i);
    }
    EXPECT_EQ(seen.size(), 3u);
    EXPECT_EQ(randomCandidate(1, 5), 0);
}

TEST_F(ProfileRunTest, ClassAndNameSetGoStraightPastTheExamineeWindow) {
    copySample(QStringLiteral("Физика 9 класс.tst")); // locked with "физика"
    Profile p;
    p.testName = cp(QStringLiteral("Физ*"));
    p.testClass = std::string(kAnyMarker);
    p.subject = std::string(kAnyMarker);
    p.classGroup = cp(QStringLiteral("9А"));
    p.examineeName = cp(QStringLiteral("Петрова Анна"));
    p.password = cp(QStringLiteral("физика"));
    p.result = "\\Results\\9\xC0";
    p.noRepeat = true;
    writeProfile(QStringLiteral("ws07.pte"), p);

    run(prog() + QStringLiteral("/?host?.pte"));
    const RunState& rs = app->runState();
    EXPECT_FALSE(app->endRequested().has_value());
    EXPECT_FALSE(rs.interactive);
    EXPECT_EQ(rs.programFolder, prog());
    EXPECT_EQ(rs.testName, cp(QStringLiteral("Физика 9 класс")));
    EXPECT_EQ(rs.resultsFolder, prog() + QStringLiteral("/Results/9А"));
    EXPECT_TRUE(rs.profileNoRepeat);
    EXPECT_EQ(QDir::currentPath(), QDir(prog() + QStringLiteral("/Base")).absolutePath());
    // Not one question: no password prompt, no confirmation, no message.
    EXPECT_TRUE(Dialogs::shown().empty());
    TInform& inform = app->inform();
    EXPECT_FALSE(inform.Button3->isEnabled());
    EXPECT_EQ(inform.KlassName->text(), QStringLiteral("9А"));
    EXPECT_TRUE(inform.onSecondPage() || !inform.isVisible())
        << "the examinee window waits for the examinee";
    EXPECT_GT(app->topros().questionSet.questions.size(), 0u);
}

TEST_F(ProfileRunTest, MissingNameLeavesTheExamineeWindowToTheExaminee) {
    copySample(QStringLiteral("Алгебра 7 класс.tst"));
    Profile p;
    p.testName = cp(QStringLiteral("Алгебра 7 класс"));
    p.select = 1; // one match: no choice window
    p.classGroup = "7";
    writeProfile(QStringLiteral("p.pte"), p);
    run(prog() + QStringLiteral("/p.pte"));
    EXPECT_FALSE(app->endRequested().has_value());
    EXPECT_TRUE(offered.isEmpty());
    TInform& inform = app->inform();
    ASSERT_TRUE(inform.isVisible());
    EXPECT_FALSE(inform.onSecondPage());
    EXPECT_TRUE(inform.Panel1->isVisible());
    EXPECT_TRUE(inform.Button3->isEnabled());
    EXPECT_EQ(inform.Label2->text(), QStringLiteral("Тест: Алгебра 7 класс"));
    EXPECT_EQ(app->runState().testSubject, cp(QStringLiteral("Алгебра")));
    EXPECT_TRUE(Dialogs::shown().empty());
}

TEST_F(ProfileRunTest, RoadsThatEndTheProgramOrOpenTheMainWindow) {
    for (const char* f : {"A 1.tst", "A 2.tst", "A 3.tst"})
        writeFile(QStringLiteral("Base/") + QLatin1String(f), withTrailer("", "1", "s", ""));
    const struct {
        const char* name;
        std::string type;
        std::string testName;
        int select;
        std::optional<int> choice;
        bool ends;
        bool interactive;
        QString message;
        int offered;
    } cases[] = {
        {"upper-case LOC is interactive", "LOC", "A*", 0, {}, false, true, {}, 0},
        {"no candidate",
         "loc",
         "B*",
         0,
         {},
         true,
         false,
         QStringLiteral("В папке %1/Base/ нет теста, подходящего профилю %1/p.pte.").arg(prog()),
         0},
        {"choice window left without OK", "loc", "A*", 1, std::nullopt, true, false, {}, 3},
        {"invalid pattern",
         "loc",
         "[A",
         0,
         {},
         true,
         false,
         QStringLiteral("'[A.tst' is an invalid mask at (1)"),
         0},
        {"chosen test does not load", "loc", "A*", 1, 2, true, false, {}, 3},
    };
    for (const auto& c : cases) {
        const LogCapture log;
        Dialogs::clearShown();
        offered.clear();
        choice = c.choice;
        QDir::setCurrent(prog());
        Profile p;
        p.type = c.type;
        p.testName = c.testName;
        p.select = c.select;
        writeProfile(QStringLiteral("p.pte"), p);
        run(prog() + QStringLiteral("/p.pte"));
        EXPECT_EQ(app->endRequested().has_value(), c.ends) << c.name;
        EXPECT_EQ(app->runState().interactive, c.interactive) << c.name;
        EXPECT_EQ(int(offered.size()), c.offered) << c.name;
        if (c.message.isEmpty()) {
            // "does not load" shows the loader's own error; the pupil's own choice says nothing.
            if (c.choice != 2) {
                EXPECT_TRUE(Dialogs::shown().empty()) << c.name;
            }
        } else {
            ASSERT_EQ(Dialogs::shown().size(), 1u) << c.name;
            EXPECT_EQ(Dialogs::shown()[0].text, c.message) << c.name;
        }
        // Every end says why in the log, for the supervisor.
        if (c.ends) {
            EXPECT_TRUE(LogCapture::has(QStringLiteral("cannot run"))) << c.name;
            if (!c.message.isEmpty()) {
                EXPECT_TRUE(LogCapture::has(c.message)) << c.name;
            }
        }
        app.reset();
    }
}

TEST_F(ProfileRunTest, MissingProfileIsAnEmptyLocalProfileThatSaysSo) {
    const LogCapture log;
    run(prog() + QStringLiteral("/none.pte"));
    EXPECT_EQ(app->endRequested(), std::optional<int>(1));
    EXPECT_EQ(app->runState().profileType, "loc");
    const QString told = QStringLiteral("Профиль %1/none.pte не найден.").arg(prog());
    ASSERT_EQ(Dialogs::shown().size(), 1u);
    EXPECT_EQ(Dialogs::shown()[0].text, told);
    EXPECT_TRUE(LogCapture::has(told));
}

// The program works in its own folder, found from its own location or named by the second
// parameter, wherever it was started from; a relative profile path is read from where it was.
TEST_F(ProfileRunTest, TheProgramWorksInItsOwnFolderWhereverItIsStarted) {
    QTemporaryDir elsewhere;
    QTemporaryDir named;
    ASSERT_TRUE(elsewhere.isValid() && named.isValid());
    Profile p;
    p.testName = cp(QStringLiteral("Алгебра 7 класс"));
    p.classGroup = "7";
    p.result = "\\Results\\7";
    ASSERT_TRUE(kvz::writeProfile(elsewhere.filePath(QStringLiteral("p.pte")), p));
    copySample(QStringLiteral("Алгебра 7 класс.tst"));
    QDir().mkpath(named.filePath(QStringLiteral("Base")));
    copySample(QStringLiteral("Алгебра 7 класс.tst"), named.filePath(QStringLiteral("Base")));

    const struct {
        const char* name;
        QString folderParameter;
        QString programFolder;
    } cases[] = {
        {"the program's own folder", {}, prog()},
        {"the folder the second parameter names", named.path(), named.path()},
    };
    for (const auto& c : cases) {
        Dialogs::clearShown();
        QDir::setCurrent(elsewhere.path());
        run(QStringLiteral("p.pte"), c.folderParameter);
        EXPECT_FALSE(app->endRequested().has_value()) << c.name;
        const RunState& rs = app->runState();
        EXPECT_EQ(rs.programFolder, c.programFolder) << c.name;
        EXPECT_EQ(rs.resultsFolder, c.programFolder + QStringLiteral("/Results/7")) << c.name;
        EXPECT_EQ(QDir::currentPath(),
                  QDir(c.programFolder + QStringLiteral("/Base")).absolutePath())
            << c.name;
        EXPECT_TRUE(app->inform().isVisible()) << c.name;
        EXPECT_TRUE(Dialogs::shown().empty()) << c.name;
        app.reset();
    }
}

} // namespace
} // namespace kvz
