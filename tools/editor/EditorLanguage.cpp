#include "EditorLanguage.h"

#include "l10n/Cp1251.h"
#include "l10n/LabelApplier.h"
#include "l10n/Language.h"

#include <QDir>
#include <QFile>
#include <QWidget>

namespace kvz::editor {

namespace {

constexpr qint64 kMaxLanguageFile = 4 << 20;

std::string_view view(const QByteArray& b) {
    return std::string_view(b.constData(), std::size_t(b.size()));
}

} // namespace

EditorLanguage::EditorLanguage() {
    load(builtinLanguageFile());
}

void EditorLanguage::load(const QByteArray& bytes) {
    bytes_ = bytes;
    messages_.clear();
    forEachLabelLine(view(bytes_), [this](const LabelLine& line) {
        if (line.complete && line.window == "EditorMsg") {
            QString value = cp1251::toUnicode(line.value);
            value.replace(QLatin1Char('|'), QLatin1Char('\n'));
            messages_.insert(cp1251::toUnicode(line.component), value);
        }
    });
}

bool EditorLanguage::loadFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || f.size() > kMaxLanguageFile)
        return false;
    load(f.readAll());
    return true;
}

int EditorLanguage::apply(QWidget* window) const {
    int taken = 0;
    const QString name = window->objectName();
    forEachLabelLine(view(bytes_), [&](const LabelLine& line) {
        if (cp1251::toUnicode(line.window) == name && applyLabel(window, line))
            ++taken;
    });
    return taken;
}

QString EditorLanguage::text(const QString& key, const QString& fallback) const {
    return messages_.value(key, fallback);
}

QStringList EditorLanguage::languageFolders(const QString& executableFolder) {
    QStringList out;
    for (const QString& rel : {QStringLiteral("Language"), QStringLiteral("../lib/kvizor/Language"),
                               QStringLiteral("../kvizor/Language")}) {
        const QString path = QDir::cleanPath(executableFolder + QLatin1Char('/') + rel);
        if (QDir(path).exists())
            out << path;
    }
    const QString stage = qEnvironmentVariable("KVIZOR_STAGE_DIR");
    if (!stage.isEmpty() && QDir(stage + QStringLiteral("/Language")).exists())
        out << stage + QStringLiteral("/Language");
    return out;
}

} // namespace kvz::editor
