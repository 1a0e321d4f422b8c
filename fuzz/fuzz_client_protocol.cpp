// The protocol engine driven by random read steps: each step starts with a control byte that
// gives the step's length (or a connection event), then that many bytes arrive.

#include "net/FakeProtocolHost.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kvz::testing::ProtocolRig rig;
    rig.runState.interactive = (size % 2) == 0;
    std::size_t at = 0;
    while (at < size) {
        const std::uint8_t control = data[at++];
        switch (control) {
        case 0xF0:
            rig.engine.connectionMade();
            continue;
        case 0xF1:
            rig.engine.connectionLost();
            continue;
        case 0xF2:
            rig.engine.takeChoice(static_cast<int>(at % 4));
            rig.engine.requestTest();
            continue;
        case 0xF3:
            rig.host.loadResult = !rig.host.loadResult;
            continue;
        case 0xF4:
            rig.host.autoStart = !rig.host.autoStart;
            rig.host.client = !rig.host.client;
            continue;
        default:
            break;
        }
        const std::size_t length = std::min<std::size_t>(control % 64 + 1, size - at);
        std::string_view arrival(reinterpret_cast<const char*>(data + at), length);
        at += length;
        // The adapter's loop: read steps until the arrival is used up.
        while (!arrival.empty()) {
            const std::size_t n = rig.engine.bytesToRead(arrival.size());
            if (n == 0 || n > arrival.size())
                std::abort();
            rig.engine.readStep(arrival.substr(0, n));
            arrival.remove_prefix(n);
        }
        if (rig.engine.downloadedBytes() > kvz::ClientProtocol::kMaxTestSize ||
            rig.host.downloadsEnded > rig.host.downloadsBegun + 1 ||
            rig.engine.choiceItems().size() != rig.engine.offerSizes().size())
            std::abort();
    }
    return 0;
}
