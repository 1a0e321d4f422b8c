#pragma once

// A network run brought back after a crash asks the server for its own test again, and for
// nothing else. What the server offers now decides the next step.

#include <cstdint>
#include <string>

namespace kvz {

class ClientProtocol;

// The test the run had, as the server offered it then.
struct SavedOffer {
    std::string file; // with ".tst"
    std::string testClass;
    std::string subject;
    std::int64_t size = 0;
};

struct ResumeStep {
    enum class Kind {
        Wait,       // nothing to ask yet: no whole offer, or no permission
        Request,    // ask for the test (at position of the choice list, or as set)
        NotOffered, // the choice list is whole and holds no such test
        OtherTest,  // the server sets another test
        Changed,    // the same name with another size: not the same bytes
    };
    Kind kind = Kind::Wait;
    int position = -1; // in the choice list, for Request in the server's choice mode
};

ResumeStep NextResumeStep(const ClientProtocol& protocol, const SavedOffer& saved);

} // namespace kvz
