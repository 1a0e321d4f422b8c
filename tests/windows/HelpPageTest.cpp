// Help pages open in the program's own page viewer, over the window that asked for them: a bare
// session has no desktop browser, and under the lock-down one would open behind the test.

#include "../choice/ChoiceFixture.h"
#include "support/TestPaths.h"

#include "choice/TPrepere.h"
#include "net/TClient.h"
#include "profile/TProfil.h"
#include "shell/TBasic.h"

#include <QAction>
#include <QDialog>
#include <QPushButton>
#include <QShortcut>
#include <QTextBrowser>

namespace kvz {
namespace {

class HelpPages : public testing::ChoiceFixture {
protected:
    void SetUp() override {
        ChoiceFixture::SetUp();
        QDir().mkpath(prog() + QStringLiteral("/Help"));
        const QDir help(testing::sourceDir() + QStringLiteral("/data/help"));
        for (const QString& f : help.entryList({QStringLiteral("*.html")}, QDir::Files))
            ASSERT_TRUE(QFile::copy(help.filePath(f), prog() + QStringLiteral("/Help/") + f));
    }
    // The page viewer the window opened, when it is up.
    static QDialog* viewer(QWidget& window) {
        for (auto* d : window.findChildren<QDialog*>())
            if (d->isVisible() && d->findChild<QTextBrowser*>())
                return d;
        return nullptr;
    }
    static QString shownPage(QDialog* d) {
        return d->findChild<QTextBrowser*>()->source().toLocalFile();
    }
};

TEST_F(HelpPages, EveryWindowShowsItsTopicInTheProgramsOwnViewer) {
    start();
    TBasic& basic = app->basic();
    QAction* f1 = nullptr;
    for (QAction* a : basic.actions())
        if (a->shortcut() == QKeySequence(Qt::Key_F1))
            f1 = a;
    ASSERT_TRUE(f1);
    TPrepere& prepere = app->prepere();
    TProfil& profil = app->profil();
    TClient& client = app->client();
    const struct {
        QWidget* window;
        std::function<void()> ask;
        const char* page;
        const char* title;
    } cases[] = {
        {&basic, [&] { f1->trigger(); }, "hc_O_programme_Kvizor", "О программе Квизор"},
        {&prepere, [&] { Q_EMIT prepere.findChild<QShortcut*>()->activated(); },
         "hc_Lokalnoe_testirovanie", "Локальное тестирование"},
        {&client, [&] { QTest::keyClick(&client, Qt::Key_F1); }, "hc_Setevoe_testirovanie",
         "Сетевое тестирование"},
        {&profil, [&] { profil.findChild<QPushButton*>(QStringLiteral("Button7"))->click(); },
         "hc_Profil_kvizora", "Профиль Квизора"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.page);
        c.window->show();
        c.ask();
        QDialog* d = viewer(*c.window);
        ASSERT_TRUE(d) << "no page viewer came up";
        EXPECT_EQ(QFileInfo(shownPage(d)).completeBaseName(), QLatin1String(c.page));
        // The page's own title, not its file name.
        EXPECT_EQ(d->windowTitle(), QString::fromUtf8(c.title));
        // A link to another topic stays in the viewer.
        QTextBrowser* browser = d->findChild<QTextBrowser*>();
        Q_EMIT browser->anchorClicked(QUrl(QStringLiteral("hc_Profil_kvizora.html")));
        EXPECT_EQ(QFileInfo(shownPage(d)).completeBaseName(), QStringLiteral("hc_Profil_kvizora"));
        EXPECT_EQ(d->windowTitle(), QStringLiteral("Профиль Квизора"));
        // Asked again: the same viewer, not a second one.
        c.ask();
        int viewers = 0;
        for (auto* other : c.window->findChildren<QDialog*>())
            viewers += other->findChild<QTextBrowser*>() != nullptr;
        EXPECT_EQ(viewers, 1);
        EXPECT_EQ(viewer(*c.window), d);
        d->close();
        c.window->hide();
    }

    // Without the page nothing opens, and nothing fails.
    QFile::remove(prog() + QStringLiteral("/Help/hc_O_programme_Kvizor.html"));
    basic.show();
    f1->trigger();
    EXPECT_FALSE(viewer(basic));
}

} // namespace
} // namespace kvz
