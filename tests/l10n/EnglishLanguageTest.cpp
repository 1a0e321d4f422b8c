// Switching the whole program to English and back: every label line of the English file
// reaches its control, no message stays Russian, and the choice survives a restart.

#include "../choice/ChoiceFixture.h"
#include "support/TestPaths.h"

#include "l10n/LabelApplier.h"
#include "l10n/Language.h"
#include "l10n/MessageTable.h"
#include "profile/TProfil.h"
#include "shell/IniFile.h"
#include "shell/TBasic.h"

#include <QAbstractButton>
#include <QAction>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QRegularExpression>

namespace kvz {
namespace {

bool hasCyrillic(const QString& s) {
    static const QRegularExpression cyrillic(QStringLiteral("[\\x{0400}-\\x{04FF}]"));
    return s.contains(cyrillic);
}

QString displayedText(QObject* o, std::string_view property) {
    if (property == "Hint") {
        if (auto* a = qobject_cast<QAction*>(o))
            return a->toolTip();
        return qobject_cast<QWidget*>(o)->toolTip();
    }
    if (property == "Filter") {
        // A file dialog not opened yet stands in for itself with the same property.
        if (auto* d = qobject_cast<QFileDialog*>(o))
            return d->nameFilters().join(QLatin1Char('|'));
        return o->property("nameFilters").toStringList().join(QLatin1Char('|'));
    }
    if (auto* a = qobject_cast<QAction*>(o))
        return a->text();
    if (auto* g = qobject_cast<QGroupBox*>(o))
        return g->title();
    if (auto* b = qobject_cast<QAbstractButton*>(o))
        return b->text();
    if (auto* l = qobject_cast<QLabel*>(o))
        return l->text();
    return o->property("text").toString();
}

class EnglishLanguageTest : public testing::ChoiceFixture {
protected:
    void SetUp() override {
        ChoiceFixture::SetUp();
        QDir().mkpath(prog() + QStringLiteral("/Language"));
        for (const char* f : {"fyv_russian.lng", "fyv_english.lng"})
            ASSERT_TRUE(QFile::copy(testing::sourceDir() + QStringLiteral("/data/language/") +
                                        QLatin1String(f),
                                    prog() + QStringLiteral("/Language/") + QLatin1String(f)));
    }
    std::vector<QWidget*> windows() {
        std::vector<QWidget*> out;
        for (QWidget* w : QApplication::topLevelWidgets())
            out.push_back(w);
        return out;
    }
};

TEST_F(EnglishLanguageTest, EveryLabelAndMessageBecomesEnglishAndTheChoiceIsKept) {
    writeFile(QStringLiteral("Settings.ini"), "[Type]\r\nStudent=0\r\n");
    start();
    TBasic& basic = app->basic();
    basic.FormShow(); // builds the language menu
    ASSERT_TRUE(basic.switchLanguage(QStringLiteral("fyv_english")));
    EXPECT_EQ(basic.checkedLanguage(), QStringLiteral("fyv_english"));
    // Every window but the main one is made when first needed, here after the switch: they
    // come up in the language of the moment.
    ASSERT_EQ(app->madeWindows(), std::vector<QWidget*>{&basic});
    ASSERT_FALSE(app->aboutMade());
    ASSERT_FALSE(app->profilMade());
    app->topros();
    app->prepere();
    app->inform();
    app->helper();
    app->progres();
    app->blokator();
    app->resultats();
    app->serestf();
    app->client();
    app->pas();
    app->messager();
    app->about();
    app->profil();
    app->selectTest();
    app->message1();

    for (int n = 0; n < MessageTable::kSize; ++n)
        EXPECT_FALSE(hasCyrillic(app->messages().text(n))) << "msg " << n;

    QFile f(prog() + QStringLiteral("/Language/fyv_english.lng"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    int checked = 0;
    QStringList missing;
    for (const LabelLine& line :
         parseLabelLines(std::string_view(bytes.constData(), std::size_t(bytes.size())))) {
        if (labelOfOtherProgram(line.window))
            continue; // the test editor's
        const QString windowName =
            QString::fromLatin1(line.window.data(), qsizetype(line.window.size()));
        const QString component =
            QString::fromLatin1(line.component.data(), qsizetype(line.component.size()));
        QWidget* window = nullptr;
        for (QWidget* w : windows())
            if (w->objectName() == windowName)
                window = w;
        if (!window) {
            missing << windowName;
            continue;
        }
        if (component == QLatin1String("Caption")) {
            EXPECT_FALSE(hasCyrillic(window->windowTitle())) << windowName.toStdString();
            ++checked;
            continue;
        }
        QObject* target = window->findChild<QObject*>(component);
        if (!target) {
            missing << windowName + QLatin1Char('.') + component;
            continue;
        }
        const QString text = displayedText(target, line.property);
        EXPECT_FALSE(hasCyrillic(text))
            << (windowName + QLatin1Char('.') + component + QStringLiteral(": ") + text)
                   .toStdString();
        ++checked;
    }
    // Every line of the file reaches a control of a window that exists.
    EXPECT_TRUE(missing.isEmpty()) << missing.join(QLatin1Char(' ')).toStdString();
    EXPECT_GT(checked, 60);
    EXPECT_EQ(app->profil().windowTitle(), QStringLiteral("Profile"));

    // Leaving an interactive run writes the choice; the next start comes up in English.
    app->runState().interactive = true;
    app->runState().resultsShown = true;
    basic.close();
    EXPECT_EQ(IniFile(prog() + QStringLiteral("/Settings.ini")).readString("Type", "Language", ""),
              "fyv_english");
    app.reset();
    start();
    app->basic().FormShow();
    EXPECT_EQ(app->basic().checkedLanguage(), QStringLiteral("fyv_english"));
    EXPECT_EQ(app->messages().text(9), QStringLiteral("Do you really want to quit?"));

    // And back to Russian.
    ASSERT_TRUE(app->basic().switchLanguage(QStringLiteral("fyv_russian")));
    EXPECT_EQ(app->profil().windowTitle(), QStringLiteral("Профиль"));
    EXPECT_EQ(app->messages().text(9), QStringLiteral("Вы действительно хотите выйти?"));
}

} // namespace
} // namespace kvz
