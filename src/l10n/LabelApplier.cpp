#include "l10n/LabelApplier.h"

#include "l10n/Cp1251.h"
#include "l10n/Language.h"

#include <QAbstractButton>
#include <QAction>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMetaProperty>
#include <QWidget>

namespace kvz {

namespace {

bool setCaption(QObject* o, const QString& value) {
    if (auto* a = qobject_cast<QAction*>(o)) {
        a->setText(value);
        return true;
    }
    if (auto* m = qobject_cast<QMenu*>(o)) {
        m->setTitle(value);
        return true;
    }
    if (auto* g = qobject_cast<QGroupBox*>(o)) {
        g->setTitle(value);
        return true;
    }
    if (auto* b = qobject_cast<QAbstractButton*>(o)) {
        b->setText(value);
        return true;
    }
    if (auto* l = qobject_cast<QLabel*>(o)) {
        l->setText(value);
        return true;
    }
    // Other controls of ours expose their caption as a "text" or "title" property.
    for (const char* name : {"text", "title"}) {
        const int i = o->metaObject()->indexOfProperty(name);
        if (i >= 0 && o->metaObject()->property(i).isWritable() &&
            o->metaObject()->property(i).typeId() == QMetaType::QString)
            return o->setProperty(name, value);
    }
    return false;
}

bool setHint(QObject* o, const QString& value) {
    if (auto* a = qobject_cast<QAction*>(o)) {
        a->setToolTip(value);
        return true;
    }
    if (auto* w = qobject_cast<QWidget*>(o)) {
        w->setToolTip(value);
        return true;
    }
    return false;
}

bool setFilter(QObject* o, const QString& value) {
    if (auto* d = qobject_cast<QFileDialog*>(o)) {
        d->setNameFilters(fileDialogFilters(value));
        return true;
    }
    const int i = o->metaObject()->indexOfProperty("nameFilters");
    if (i >= 0 && o->metaObject()->property(i).isWritable())
        return o->setProperty("nameFilters", fileDialogFilters(value));
    return false;
}

} // namespace

QStringList fileDialogFilters(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        out << parts[i] + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    return out;
}

bool applyLabel(QWidget* window, const LabelLine& line) {
    if (!window || !line.complete)
        return false;
    const QString value = cp1251::toUnicode(line.value);
    if (line.component == "Caption") {
        window->setWindowTitle(value);
        return true;
    }
    QObject* target = window->findChild<QObject*>(
        QString::fromLatin1(line.component.data(), qsizetype(line.component.size())));
    if (!target)
        return false;
    if (line.property == "Caption")
        return setCaption(target, value);
    if (line.property == "Hint")
        return setHint(target, value);
    if (line.property == "Filter")
        return setFilter(target, value);
    return false;
}

} // namespace kvz
