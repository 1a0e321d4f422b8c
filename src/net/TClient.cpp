#include "net/TClient.h"

#include "app/KvizorApp.h"

namespace kvz {

TClient::TClient(KvizorApp& app) : app_(app) {
    setObjectName(QStringLiteral("Client"));
    setWindowTitle(QStringLiteral("Клиент"));
}

} // namespace kvz
