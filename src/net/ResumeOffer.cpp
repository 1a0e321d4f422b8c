#include "net/ResumeOffer.h"

#include "net/ClientProtocol.h"
#include "net/ProtocolText.h"

namespace kvz {

ResumeStep NextResumeStep(const ClientProtocol& protocol, const SavedOffer& saved) {
    using Kind = ResumeStep::Kind;
    // Half a list or a message being read says nothing yet.
    if (protocol.listPending() || protocol.readState() != ReadState::Idle)
        return {};
    if (protocol.choiceShown()) {
        const std::vector<std::string>& items = protocol.choiceItems();
        for (std::size_t i = 0; i < items.size(); ++i) {
            const OfferItem item = SplitOfferItem(items[i]);
            if (item.name + ".tst" != saved.file || item.testClass != saved.testClass ||
                item.subject != saved.subject)
                continue;
            if (!protocol.permitted())
                return {};
            const std::vector<std::int32_t>& sizes = protocol.offerSizes();
            if (i >= sizes.size() || sizes[i] != saved.size)
                return {Kind::Changed};
            return {Kind::Request, int(i)};
        }
        return {Kind::NotOffered};
    }
    if (protocol.offerFile().empty())
        return {}; // not announced yet
    if (protocol.offerFile() != saved.file)
        return {Kind::OtherTest};
    if (!protocol.permitted())
        return {};
    if (protocol.offerSize() != saved.size)
        return {Kind::Changed};
    return {Kind::Request};
}

} // namespace kvz
