#pragma once

// Applies one label line of a language file to a window: Caption, Hint and Filter map to the
// widget's text (or title, or window title), tool tip and name filters.

#include <QStringList>

class QWidget;

namespace kvz {

struct LabelLine;

// False when the component is missing or the property is not a text it has.
bool applyLabel(QWidget* window, const LabelLine& line);

// "Profiles|*.pte|All files|*" as the name filters of a file dialog.
QStringList fileDialogFilters(const QString& filter);

} // namespace kvz
