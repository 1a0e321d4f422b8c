#pragma once

// Applies one label line of a language file to a window: Caption, Hint and Filter map to the
// widget's text (or title, or window title), tool tip and name filters.

#include <QStringList>

class QWidget;

namespace kvz {

struct LabelLine;

// Dynamic property of a window whose controls are not all built yet: label lines naming its
// missing controls are skipped quietly instead of being reported as faults of the language file.
inline constexpr const char* kLabelsPending = "kvizorLabelsPending";

// False when the component is missing or the property is not a text it has.
bool applyLabel(QWidget* window, const LabelLine& line);

// "Profiles|*.pte|All files|*" as the name filters of a file dialog.
QStringList fileDialogFilters(const QString& filter);

} // namespace kvz
