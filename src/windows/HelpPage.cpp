#include "windows/HelpPage.h"

#include "l10n/MessageTable.h"
#include "platform/Shell.h"
#include "run/TTextbookViewer.h"

namespace kvz {

namespace {

constexpr int kMsgOk = 25; // "OK", the viewer's close button
const QString kViewerName = QStringLiteral("helpViewer");

} // namespace

TTextbookViewer* showHelpTopic(QWidget& over, const QString& programFolder, const QString& topic,
                               const MessageTable& messages) {
    const QString page = helpTopicPage(programFolder, topic);
    if (page.isEmpty())
        return nullptr;
    auto* viewer = over.findChild<TTextbookViewer*>(kViewerName, Qt::FindDirectChildrenOnly);
    if (!viewer) {
        viewer = new TTextbookViewer(&over, messages.text(kMsgOk));
        viewer->setObjectName(kViewerName);
    }
    return viewer->open(page) ? viewer : nullptr;
}

} // namespace kvz
