// Every language file the program ships says everything the built-in Russian one says: each
// message, each label line, and so each control of each window, has a text of its own. A text
// missing in a language shows as an empty dialog or an empty button; one left in Russian shows
// as Russian in the middle of another language.

#include "../choice/ChoiceFixture.h"
#include "support/TestPaths.h"

#include "app/KvizorApp.h"
#include "choice/TInform.h"
#include "choice/TPrepere.h"
#include "choice/TSerestf.h"
#include "l10n/Language.h"
#include "l10n/MessageTable.h"
#include "l10n/TAbout.h"
#include "net/TBlokator.h"
#include "net/TClient.h"
#include "net/TMessager.h"
#include "net/TSelectTest.h"
#include "profile/TProfil.h"
#include "results/TResultats.h"
#include "run/TMessage1.h"
#include "run/TTopros.h"
#include "shell/IniFile.h"
#include "shell/TBasic.h"
#include "windows/THelper.h"
#include "windows/TPas.h"
#include "windows/TProgres.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QRegularExpression>
#include <map>
#include <set>

namespace kvz {
namespace {

bool hasCyrillic(const QString& s) {
    static const QRegularExpression cyrillic(QStringLiteral("[\\x{0400}-\\x{04FF}]"));
    return s.contains(cyrillic);
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

std::string_view view(const QByteArray& b) {
    return std::string_view(b.constData(), std::size_t(b.size()));
}

// The language files the program ships, the built-in one first.
QStringList shippedLanguages() {
    const QDir dir(testing::sourceDir() + QStringLiteral("/data/language"));
    QStringList out{QString::fromLatin1(kBuiltinLanguageFile)};
    for (const QString& f : dir.entryList({QStringLiteral("*.lng")}, QDir::Files, QDir::Name))
        if (f != out.front())
            out << f;
    return out;
}

QString languageSource(const QString& file) {
    return testing::sourceDir() + QStringLiteral("/data/language/") + file;
}

// "Window.Component.Property" -> value, of the label section.
std::map<std::string, std::string> labelKeys(const QByteArray& bytes) {
    std::map<std::string, std::string> out;
    for (const LabelLine& l : parseLabelLines(view(bytes)))
        out.emplace(std::string(l.window) + '.' + std::string(l.component) + '.' +
                        std::string(l.property),
                    std::string(l.value));
    return out;
}

TEST(ShippedLanguages, EveryMessageAndLabelHasItsOwnText) {
    const QByteArray builtin = builtinLanguageFile();
    ASSERT_FALSE(builtin.isEmpty());
    EXPECT_EQ(readAll(languageSource(QString::fromLatin1(kBuiltinLanguageFile))), builtin);
    MessageTable russian;
    loadLanguageText(russian, view(builtin));
    const auto russianLabels = labelKeys(builtin);

    const QStringList files = shippedLanguages();
    EXPECT_GE(files.size(), 2);
    for (const QString& file : files) {
        SCOPED_TRACE(file.toStdString());
        const bool isBuiltin = file == QLatin1String(kBuiltinLanguageFile);
        const QByteArray bytes = readAll(languageSource(file));
        ASSERT_FALSE(bytes.isEmpty());
        MessageTable table;
        loadLanguageText(table, view(bytes));
        for (int n = 0; n < MessageTable::kSize; ++n) {
            const QString ru = russian.text(n);
            if (ru.isEmpty())
                continue;
            const QString text = table.text(n);
            EXPECT_FALSE(text.isEmpty()) << "msg " << n << " has no text";
            if (!isBuiltin && hasCyrillic(ru)) {
                EXPECT_NE(text, ru) << "msg " << n << " is left in Russian";
            }
        }

        const auto labels = labelKeys(bytes);
        for (const auto& [key, value] : russianLabels) {
            const auto it = labels.find(key);
            if (it == labels.end()) {
                ADD_FAILURE() << key << " is missing";
                continue;
            }
            EXPECT_FALSE(it->second.empty()) << key << " has no text";
            if (!isBuiltin && hasCyrillic(cp1251::toUnicode(value))) {
                EXPECT_NE(it->second, value) << key << " is left in Russian";
            }
        }
        for (const auto& [key, value] : labels)
            EXPECT_TRUE(russianLabels.count(key)) << key << " is not in the built-in file";
    }
}

// One text a person sees: a window's title, a control's caption or its hint.
struct Shown {
    QString where;
    QString text;
};

class ShippedLanguagesWindows : public testing::ChoiceFixture {
protected:
    void SetUp() override {
        ChoiceFixture::SetUp();
        QDir().mkpath(prog() + QStringLiteral("/Language"));
        for (const QString& f : shippedLanguages())
            ASSERT_TRUE(QFile::copy(languageSource(f), prog() + QStringLiteral("/Language/") + f));
    }

    std::vector<QWidget*> windows() {
        return {&app->basic(),   &app->prepere(), &app->topros(),     &app->inform(),
                &app->helper(),  &app->progres(), &app->blokator(),   &app->resultats(),
                &app->serestf(), &app->client(),  &app->pas(),        &app->messager(),
                &app->about(),   &app->profil(),  &app->selectTest(), &app->message1()};
    }

    // Every text of every window, keyed by the object and what kind of text it is.
    std::map<std::pair<const QObject*, int>, Shown> texts() {
        std::map<std::pair<const QObject*, int>, Shown> out;
        auto add = [&out](const QObject* o, int kind, const QString& where, const QString& text) {
            out[{o, kind}] = Shown{where, text};
        };
        const QMenu* languageMenu = app->basic().PopupMenu2;
        for (QWidget* window : windows()) {
            const QString name = window->objectName();
            add(window, 0, name + QStringLiteral(" title"), window->windowTitle());
            for (QObject* o : window->findChildren<QObject*>()) {
                // The language menu names each language in that language.
                if (o->parent() == languageMenu)
                    continue;
                const QString where = name + QLatin1Char('.') +
                                      (o->objectName().isEmpty() && o->parent()
                                           ? o->parent()->objectName() + QLatin1Char('/')
                                           : QString()) +
                                      o->objectName() + QLatin1Char('(') +
                                      QLatin1String(o->metaObject()->className()) +
                                      QLatin1Char(')');
                if (auto* a = qobject_cast<QAction*>(o)) {
                    if (!a->isSeparator()) {
                        add(o, 0, where, a->text());
                        add(o, 1, where + QStringLiteral(" hint"),
                            a->toolTip() == a->text() ? QString() : a->toolTip());
                    }
                    continue;
                }
                auto* w = qobject_cast<QWidget*>(o);
                if (!w)
                    continue;
                if (auto* m = qobject_cast<QMenu*>(w))
                    add(o, 0, where, m->title());
                else if (auto* g = qobject_cast<QGroupBox*>(w))
                    add(o, 0, where, g->title());
                else if (auto* b = qobject_cast<QAbstractButton*>(w))
                    add(o, 0, where, b->text());
                else if (auto* l = qobject_cast<QLabel*>(w))
                    add(o, 0, where, l->text());
                // The fixed choices of a drop-down (editable ones hold the user's data).
                if (auto* box = qobject_cast<QComboBox*>(w); box && !box->isEditable())
                    for (int i = 0; i < box->count(); ++i)
                        add(o, 100 + i, where + QStringLiteral(" item ") + QString::number(i),
                            box->itemText(i));
                add(o, 1, where + QStringLiteral(" hint"), w->toolTip());
            }
        }
        const DialogButtonCaptions& c = Dialogs::captions();
        int n = 0;
        for (const QString* s : {&c.title, &c.yes, &c.no, &c.ok, &c.cancel, &c.abort, &c.ignore}) {
            add(nullptr, n, QStringLiteral("message dialog text ") + QString::number(n), *s);
            ++n;
        }
        return out;
    }
};

TEST_F(ShippedLanguagesWindows, EveryControlHasATextInEveryLanguage) {
    start();
    TBasic& basic = app->basic();
    basic.FormShow(); // builds the language menu
    ASSERT_TRUE(basic.switchLanguage(QStringLiteral("fyv_russian")));
    const auto russian = texts();
    int withText = 0;
    for (const auto& [key, shown] : russian)
        withText += !shown.text.isEmpty();
    EXPECT_GT(withText, 150);

    for (const QString& file : shippedLanguages()) {
        const QString name = QFileInfo(file).completeBaseName();
        SCOPED_TRACE(name.toStdString());
        ASSERT_TRUE(basic.switchLanguage(name));
        // Nothing of the language file went unapplied.
        EXPECT_TRUE(Dialogs::shown().empty());
        const bool isBuiltin = file == QLatin1String(kBuiltinLanguageFile);
        const auto now = texts();
        for (const auto& [key, ru] : russian) {
            if (ru.text.isEmpty())
                continue;
            const auto it = now.find(key);
            ASSERT_NE(it, now.end()) << ru.where.toStdString();
            EXPECT_FALSE(it->second.text.isEmpty()) << ru.where.toStdString() << " has no text";
            if (!isBuiltin && hasCyrillic(ru.text)) {
                EXPECT_NE(it->second.text, ru.text)
                    << ru.where.toStdString() << " is left in Russian: " << ru.text.toStdString();
            }
        }
        // The main window's title is the program's name in the language at once.
        EXPECT_EQ(basic.windowTitle(), app->messages().text(0));
    }
}

TEST_F(ShippedLanguagesWindows, TheLanguageChosenIsKeptAtOnce) {
    writeFile(QStringLiteral("Settings.ini"), "[Type]\r\nStudent=0\r\n");
    start();
    app->basic().FormShow();
    QAction* english = app->basic().PopupMenu2->findChild<QAction*>(QStringLiteral("fyv_english1"));
    ASSERT_TRUE(english);
    english->trigger();
    EXPECT_EQ(app->basic().windowTitle(), QStringLiteral("Kvizor"));
    EXPECT_EQ(IniFile(prog() + QStringLiteral("/Settings.ini")).readString("Type", "Language", ""),
              "fyv_english");
    // The program ends without its exit path (killed, power cut): the choice holds.
    app.reset();
    start();
    app->basic().FormShow();
    EXPECT_EQ(app->basic().checkedLanguage(), QStringLiteral("fyv_english"));
    EXPECT_EQ(app->basic().windowTitle(), QStringLiteral("Kvizor"));
}

} // namespace
} // namespace kvz
