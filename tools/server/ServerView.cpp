// The console's view of the workstations: read from the state the protocol keeps.

#include "Server.h"

#include "l10n/Cp1251.h"

namespace kvz::server {

std::vector<StationView> Server::stationViews() const {
    std::vector<StationView> out;
    out.reserve(stations_.size());
    for (const auto& [number, w] : stations_) {
        StationView v;
        v.number = number;
        v.host = cp1251::toUnicode(w->host);
        v.address = w->address;
        v.test = cp1251::toUnicode(w->testLine).trimmed();
        v.name = cp1251::toUnicode(w->nameLine).trimmed();
        v.unanswered = w->unanswered;
        v.allowed = w->allowed;
        v.quietMs = now() - w->lastInput;
        v.awaitingFree = w->gate == Workstation::Free;
        if (!w->downloading.empty()) {
            v.state = QStringLiteral("downloading");
            for (const Outgoing& o : w->queue)
                if (!o.body.isEmpty()) {
                    v.percent = int(o.sent * 100 / o.body.size());
                    break;
                }
            if (v.percent < 0)
                v.percent = 100;
        } else if (!w->freshSeen) {
            v.state = QStringLiteral("connected");
        } else if (!v.name.isEmpty()) {
            v.state =
                w->forbidden && w->started ? QStringLiteral("paused") : QStringLiteral("testing");
        } else if (w->nameLine == " ") {
            v.state = QStringLiteral("examinee");
        } else {
            v.state = w->permitted ? QStringLiteral("choosing") : QStringLiteral("connected");
        }
        out.push_back(std::move(v));
    }
    return out;
}

} // namespace kvz::server
