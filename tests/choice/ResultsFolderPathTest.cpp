#include "choice/ResultsFolderPath.h"
#include "l10n/Cp1251.h"

#include <QSet>
#include <gtest/gtest.h>

using namespace kvz;

TEST(ResultsFolderPath, NewFolderTakesTheFirstFreeNumber) {
    const std::string text = cp1251::fromUnicode(QStringLiteral("\\Новая папка "));
    QSet<QString> existing;
    const auto exists = [&](const QString& p) { return existing.contains(p); };
    const QString root = QStringLiteral("/p/Results");

    EXPECT_EQ(NewFolderPath(root, text, exists), QStringLiteral("/p/Results/Новая папка 0"));
    existing.insert(QStringLiteral("/p/Results/Новая папка 0"));
    EXPECT_EQ(NewFolderPath(root, text, exists), QStringLiteral("/p/Results/Новая папка 1"));
    existing.insert(QStringLiteral("/p/Results/Новая папка 2"));
    existing.insert(QStringLiteral("/p/Results/Новая папка 1"));
    EXPECT_EQ(NewFolderPath(root + QLatin1Char('/'), text, exists),
              QStringLiteral("/p/Results/Новая папка 3"));
    // A translation without the leading separator still names a folder inside the parent.
    EXPECT_EQ(NewFolderPath(root, "New folder ", exists),
              QStringLiteral("/p/Results/New folder 0"));
    // Nothing free: no name rather than an endless search.
    EXPECT_TRUE(NewFolderPath(root, "x", [](const QString&) { return true; }).isEmpty());
}

TEST(ResultsFolderPath, FieldAndPath) {
    const QString prog = QStringLiteral("/opt/kvizor");
    EXPECT_EQ(ResultsFieldToPath(prog, QStringLiteral("\\Results\\9А")),
              QStringLiteral("/opt/kvizor/Results/9А"));
    EXPECT_EQ(ResultsFieldToPath(prog, QStringLiteral("/Results")),
              QStringLiteral("/opt/kvizor/Results"));
    EXPECT_EQ(ResultsPathToField(prog, QStringLiteral("/opt/kvizor/Results/9А")),
              QStringLiteral("/Results/9А"));
    EXPECT_EQ(ResultsFieldToPath(prog, QStringLiteral("\\Other")),
              QStringLiteral("/opt/kvizor/Other"));

    // Anywhere but below the Results folder a path is shown whole and reads back as itself: the
    // tail of a foreign path ("esults") would name nothing.
    for (const char* full : {"/media/old/kvizor/Results", "/opt/kvizor/Other",
                             "/opt/kvizorX/Results", "/opt/kvizor/ResultsOld"}) {
        const QString path = QString::fromUtf8(full);
        EXPECT_EQ(ResultsPathToField(prog, path), path) << full;
        EXPECT_EQ(ResultsFieldToPath(prog, ResultsPathToField(prog, path)), path) << full;
    }
    EXPECT_EQ(ResultsPathToField(prog, QStringLiteral("/opt/kvizor/Results")),
              QStringLiteral("/Results"));
    EXPECT_TRUE(PathIsInside(QStringLiteral("/a/b"), QStringLiteral("/a/b/c/../d")));
    EXPECT_FALSE(PathIsInside(QStringLiteral("/a/b"), QStringLiteral("/a/b/../c")));
    EXPECT_FALSE(PathIsInside(QStringLiteral("/a/b"), QStringLiteral("/a/bc")));
}
