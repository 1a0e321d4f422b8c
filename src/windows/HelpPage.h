#pragma once

// Help pages: Help/<topic>.html beside the program, shown in the program's own page viewer. A
// bare session (the kiosk one) has no desktop browser to hand them to.

#include <QString>

class QWidget;

namespace kvz {

class MessageTable;
class TTextbookViewer;

// Shows the topic's page in a viewer over the window (one per window, reused). A missing or
// unreadable page is not an error: nothing is shown and null is returned.
TTextbookViewer* showHelpTopic(QWidget& over, const QString& programFolder, const QString& topic,
                               const MessageTable& messages);

} // namespace kvz
