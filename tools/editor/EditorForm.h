#pragma once

// What the editor's forms share: the text conversions and the one way a captioned row and a row
// of buttons are laid.

#include "l10n/Cp1251.h"

#include <QBoxLayout>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QString>
#include <string>

namespace kvz::editor {

inline std::string cp(const QString& text) {
    return cp1251::fromUnicode(text);
}
inline QString un(const std::string& text) {
    return cp1251::toUnicode(text);
}

// A row of a form: the caption, named after the field ("Comment" gives "CommentLabel") so the
// language files relabel it, the field (a control or a layout), and under it, when given, the
// label where the checks of that field are shown.
template <class Field>
void formRow(QFormLayout* form, const char* name, const QString& caption, Field* field,
             QLabel* issue = nullptr) {
    auto* label = new QLabel(caption, form->parentWidget());
    label->setObjectName(QLatin1String(name) + QStringLiteral("Label"));
    form->addRow(label, field);
    if (issue)
        form->addRow(QString(), issue);
}

// A button at the end of a row of buttons, named so the language files relabel it.
inline QPushButton* rowButton(QWidget* parent, QBoxLayout* row, const char* name,
                              const QString& text) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    row->addWidget(b);
    return b;
}

} // namespace kvz::editor
