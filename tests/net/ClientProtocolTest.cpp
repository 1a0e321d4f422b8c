#include "FakeProtocolHost.h"
#include "net/ProtocolText.h"
#include "net/ResumeOffer.h"

#include <gtest/gtest.h>

namespace kvz::testing {
namespace {

const std::string kWorkedList = "REFR\r\n7\r\n45000.5\r\nRAZB\r\nAuto\r\n2\r\n29\r\n"
                                "<10, Physics>:20480*Optics\r\n"
                                "<11, Algebra>:10240*Equations\r\n";

std::string list(const std::string& mode, const std::vector<std::string>& lines, int number = 3) {
    std::string out = "REFR\r\n" + std::to_string(number) + "\r\n45000.25\r\nNO\r\n" + mode +
                      "\r\n" + std::to_string(lines.size()) + "\r\n" +
                      std::to_string(lines.empty() ? 0 : lines.back().size()) + "\r\n";
    for (const std::string& l : lines)
        out += l + "\r\n";
    return out;
}

int count(const std::string& haystack, const std::string& needle) {
    int n = 0;
    for (std::size_t at = haystack.find(needle); at != std::string::npos;
         at = haystack.find(needle, at + 1))
        ++n;
    return n;
}

TEST(ClientProtocol, WorkedListMessageToDownloadedTest) {
    ProtocolRig rig;
    rig.engine.connectionMade();
    EXPECT_EQ(rig.host.takeSent(), "HOSTpc-07");
    rig.arrive(kWorkedList);

    EXPECT_EQ(rig.engine.clientNumber(), 7);
    EXPECT_DOUBLE_EQ(rig.runState.serverStartTime, 45000.5);
    EXPECT_TRUE(rig.runState.shuffleQuestions);
    EXPECT_TRUE(rig.engine.choiceShown());
    EXPECT_TRUE(rig.engine.permitted());
    EXPECT_TRUE(rig.host.startEnabled);
    EXPECT_EQ(rig.engine.choiceItems(),
              (std::vector<std::string>{"Optics <10, Physics>", "Equations <11, Algebra>"}));
    EXPECT_EQ(rig.engine.offerSizes(), (std::vector<std::int32_t>{20480, 10240}));
    EXPECT_EQ(rig.engine.offerFile(), "By choice");
    EXPECT_EQ(rig.host.takeSent(), "FRESH\r\n7\r\n1\r\n?\r\n\r\n");
    EXPECT_EQ(rig.engine.readState(), ReadState::Idle);

    ASSERT_TRUE(rig.engine.takeChoice(1));
    rig.engine.requestTest();
    EXPECT_EQ(rig.host.takeSent(), "GIVEMETESTEquations.tst");
    EXPECT_EQ(rig.engine.offerSize(), 10240);

    std::string archive(10240, '\0');
    for (std::size_t i = 0; i < archive.size(); ++i)
        archive[i] = static_cast<char>(i * 7);
    rig.arrive("TSTF" + archive);
    ASSERT_EQ(rig.host.loadedArchives.size(), 1u);
    EXPECT_EQ(rig.host.loadedArchives[0], archive);
    EXPECT_EQ(rig.host.takeSent(), "FREE");
    EXPECT_EQ(rig.host.downloadsBegun, 1);
    EXPECT_EQ(rig.host.downloadsEnded, 1);
    EXPECT_EQ(rig.runState.testName, "Equations");
    EXPECT_EQ(rig.runState.testSubject, "Algebra");
    EXPECT_EQ(rig.engine.readState(), ReadState::Idle);
}

TEST(ClientProtocol, ListCutAtEveryPointIsAnsweredOnce) {
    const std::string payload = kWorkedList + "NMAY";
    for (std::size_t cut = 1; cut < payload.size(); ++cut) {
        ProtocolRig rig;
        rig.arrive(payload.substr(0, cut));
        rig.arrive(payload.substr(cut));
        SCOPED_TRACE(cut);
        EXPECT_EQ(count(rig.host.sent, "FRESH"), 1);
        EXPECT_EQ(rig.engine.choiceItems().size(), 2u);
        EXPECT_EQ(rig.engine.offerSizes(), (std::vector<std::int32_t>{20480, 10240}));
        // The word after the list is still read in step.
        EXPECT_EQ(rig.host.pauses, 1);
        EXPECT_EQ(rig.engine.readState(), ReadState::Idle);
    }
}

TEST(ClientProtocol, BytesOneAtATime) {
    ProtocolRig rig;
    const std::string stream =
        kWorkedList + "_MAY" + "TSTN" + "a.tst\r\n5\r\nMath\r\n3\r\n" + "NMAY";
    for (char c : stream)
        rig.arrive(std::string(1, c));
    // A payload is what one step can read, so the test announcement is cut; the words around
    // it and the list are all read.
    EXPECT_EQ(count(rig.host.sent, "FRESH"), 1);
    EXPECT_EQ(rig.engine.choiceItems().size(), 2u);
    EXPECT_EQ(rig.host.resumes, 1);
    EXPECT_EQ(rig.engine.readState(), ReadState::Idle);
}

// Only the line ending of a list that completed on its open last line is skipped, and only once:
// a junk word that begins with one is four bytes like any other, so what follows stays in step.
TEST(ClientProtocol, OnlyAListsOwnLineEndIsSkipped) {
    const std::string full = list("NO", {"<1, A>:10*One"});
    const std::string open = full.substr(0, full.size() - 2); // its last line without CR LF
    struct Case {
        const char* what;
        std::vector<std::string> reads;
        int freshes, pauses;
    };
    const Case cases[] = {
        {"junk word with a line ending, then a list", {"\r\nAB", full}, 1, 0},
        {"junk word with a line ending, then NMAY", {"\r\nAB", "NMAY"}, 0, 1},
        {"list on its open line, CR LF, NMAY", {open, "\r\n", "NMAY"}, 1, 1},
        {"list on its open line, CR, LF with NMAY", {open, "\r", "\nNMAY"}, 1, 1},
        {"list on its open line, CR LF with NMAY", {open, "\r\nNMAY"}, 1, 1},
        {"list ended on its CR, LF with NMAY", {full.substr(0, full.size() - 1), "\nNMAY"}, 1, 1},
        {"a second CR LF is a word's bytes", {open, "\r\n\r\nNMAY"}, 1, 0},
        {"whole list, then NMAY", {full, "NMAY"}, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ProtocolRig rig;
        for (const std::string& r : c.reads)
            rig.arrive(r);
        EXPECT_EQ(count(rig.host.sent, "FRESH"), c.freshes);
        EXPECT_EQ(rig.host.pauses, c.pauses);
        EXPECT_EQ(rig.engine.readState(), ReadState::Idle);
    }
}

TEST(ClientProtocol, WordsArrivingTogetherAreSeparateMessages) {
    ProtocolRig rig;
    rig.arrive("_MAYNMAY");
    EXPECT_EQ(rig.host.resumes, 1);
    EXPECT_EQ(rig.host.pauses, 1);
    EXPECT_FALSE(rig.engine.permitted());
    EXPECT_EQ(rig.host.logLines, (std::vector<std::string>{"allowed", "forbidden"}));
    EXPECT_FALSE(rig.host.startEnabled);

    // Unknown words and stray bytes are dropped without a trace.
    rig.arrive("XXXXabcd");
    EXPECT_EQ(rig.host.logLines.size(), 2u);
    EXPECT_EQ(rig.engine.readState(), ReadState::Idle);
}

TEST(ClientProtocol, ServerMessages) {
    ProtocolRig rig;
    rig.arrive("SENDHello, class");
    EXPECT_EQ(rig.host.shownMessages, (std::vector<std::string>{"Hello, class"}));
    EXPECT_EQ(rig.host.logLines.back(), "Server  >  : Hello, class");
    // Two messages that arrive together are one text, the second word inside it.
    rig.arrive("SENDoneSENDtwo");
    EXPECT_EQ(rig.host.shownMessages.back(), "oneSENDtwo");
    EXPECT_EQ(rig.engine.readState(), ReadState::Idle);
}

TEST(ClientProtocol, PasswordPermissionAndAutoStart) {
    ProtocolRig rig;
    rig.engine.connectionMade();
    rig.arrive(std::string("TSTN") + "Optics.tst\r\n10\r\nPhysics\r\n20480\r\n");
    EXPECT_EQ(rig.engine.offerFile(), "Optics.tst");
    EXPECT_EQ(rig.engine.offerClass(), "10");
    EXPECT_EQ(rig.engine.offerSubject(), "Physics");
    EXPECT_EQ(rig.engine.offerSize(), 20480);
    EXPECT_EQ(rig.host.logLines.back(), "test set: Optics.tst.");
    rig.host.autoStart = true;
    rig.host.takeSent();
    rig.arrive("!MAY" + ScramblePassword("secret"));
    EXPECT_EQ(rig.engine.testPassword(), "secret");
    EXPECT_TRUE(rig.engine.permitted());
    EXPECT_EQ(rig.host.takeSent(), "GIVEMETESTOptics.tst");
    EXPECT_EQ(rig.host.resumes, 1);

    // A new announcement forbids again and forgets the password.
    rig.arrive(std::string("TSTN") + "\r\n\r\n\r\n5\r\n");
    EXPECT_FALSE(rig.engine.permitted());
    EXPECT_EQ(rig.engine.testPassword(), "");
    EXPECT_EQ(rig.host.logLines.back(), "allowed"); // an empty file name logs nothing
}

TEST(ClientProtocol, AutoStartWaitsWhileTheChoiceListIsShown) {
    ProtocolRig rig;
    rig.host.autoStart = true;
    rig.arrive(kWorkedList);
    rig.host.takeSent();
    rig.arrive("_MAY");
    EXPECT_EQ(rig.host.starts, 0);
    EXPECT_EQ(rig.host.sent, "");
}

TEST(ClientProtocol, BadTestAnnouncements) {
    struct Case {
        std::string payload;
        std::string error;
        std::string file;
    };
    const std::vector<Case> cases = {
        {"a.tst\r\n5\r\n", "List index out of bounds (2)", "a.tst"},
        {"b.tst\r\n5\r\nMath\r\nbig\r\n", "'big' is not a valid integer value", "b.tst"},
        {"c.tst\r\n5\r\nMath\r\n99999999999\r\n", "'99999999999' is not a valid integer value",
         "c.tst"},
    };
    for (const Case& c : cases) {
        ProtocolRig rig;
        rig.arrive("TSTN" + c.payload);
        SCOPED_TRACE(c.payload);
        EXPECT_EQ(rig.host.errors, (std::vector<std::string>{c.error}));
        EXPECT_EQ(rig.engine.offerFile(), c.file);
        EXPECT_EQ(rig.engine.readState(), ReadState::Idle);
        rig.arrive("NMAY");
        EXPECT_EQ(rig.host.pauses, 1);
    }
}

TEST(ClientProtocol, ListWithoutLinesAndRefreshKeepsSelection) {
    ProtocolRig rig;
    rig.arrive(list("Auto", {"<5, Math>:100*A", "<5, Math>:200*B", "<6, Art>:300*C"}));
    rig.engine.selectChoice(1);
    rig.host.takeSent();

    // "B" moves to the front: it stays selected.
    rig.arrive(list("Auto", {"<5, Math>:200*B", "<6, Art>:300*C"}));
    EXPECT_EQ(rig.engine.choiceItems(), (std::vector<std::string>{"B <5, Math>", "C <6, Art>"}));
    EXPECT_EQ(rig.engine.choiceSelected(), 0);
    // "B" is gone: nothing is selected.
    rig.arrive(list("Auto", {"<6, Art>:300*C", "<5, Math>:100*A"}));
    EXPECT_EQ(rig.engine.choiceSelected(), -1);
    EXPECT_EQ(rig.engine.offerSizes(), (std::vector<std::int32_t>{300, 100}));

    // N = -1: answered at once, the list stays as it was.
    rig.host.takeSent();
    rig.arrive("REFR\r\n4\r\n45001\r\nNO\r\nAuto\r\n-1\r\n0\r\n");
    EXPECT_EQ(rig.host.takeSent(), "FRESH\r\n4\r\n1\r\n?\r\n\r\n");
    EXPECT_EQ(rig.engine.choiceItems().size(), 2u);

    // N = 0 empties it and is answered.
    rig.arrive(list("Auto", {}));
    EXPECT_TRUE(rig.engine.choiceItems().empty());
    EXPECT_EQ(count(rig.host.takeSent(), "FRESH"), 1);

    // Leaving choice mode hides the list; without permission Start is disabled again.
    rig.engine.setPermitted(false);
    rig.arrive(list("Test", {}));
    EXPECT_FALSE(rig.engine.choiceShown());
    EXPECT_FALSE(rig.host.startEnabled);
    EXPECT_EQ(rig.host.logLines.back(), "auto off");
}

TEST(ClientProtocol, ListLinesThatCannotBeReadAreLeftOut) {
    ProtocolRig rig;
    rig.arrive(list("Auto", {"<5, Math>:x*Bad", "no size here", "<5, Math>:12*Good"}));
    EXPECT_EQ(rig.engine.choiceItems(), (std::vector<std::string>{"Good <5, Math>"}));
    EXPECT_EQ(rig.engine.offerSizes(), (std::vector<std::int32_t>{12}));
    EXPECT_EQ(count(rig.host.sent, "FRESH"), 1);
}

TEST(ClientProtocol, FreshLinesFollowTheWindows) {
    struct Case {
        bool client, run, results, choice;
        std::string line4, line5;
    };
    const std::vector<Case> cases = {
        {true, false, false, false, "Optics.tst", ""},
        {false, true, false, false, "Geo.tst", "Ivanov"},
        {false, false, true, false, "Geo.tst", ""},
        {false, false, false, false, "Geo.tst", " "},
        {true, false, false, true, "?", ""},
    };
    for (const Case& c : cases) {
        ProtocolRig rig;
        rig.runState.testName = "Geo";
        if (c.choice)
            rig.arrive(list("Auto", {}));
        rig.engine.setOfferFile("Optics.tst");
        rig.host.client = c.client;
        rig.host.run = c.run;
        rig.host.results = c.results;
        EXPECT_EQ(rig.engine.freshMessage(),
                  "FRESH\r\n" + std::to_string(rig.engine.clientNumber()) +
                      (c.choice ? "\r\n1\r\n" : "\r\n0\r\n") + c.line4 + "\r\n" + c.line5 + "\r\n");
    }
}

TEST(ClientProtocol, BadListHeadersAreGivenUp) {
    ProtocolRig rig;
    rig.arrive("REFR\r\nseven\r\n45000\r\nNO\r\nAuto\r\n0\r\n0\r\n");
    EXPECT_EQ(rig.engine.readState(), ReadState::Idle);
    EXPECT_FALSE(rig.engine.listPending());
    EXPECT_EQ(rig.host.sent, "");
    EXPECT_EQ(rig.host.logLines.back(), "error! 'seven' is not a valid integer value");
    // The next poll is read normally.
    rig.arrive(list("Test", {}));
    EXPECT_EQ(count(rig.host.sent, "FRESH"), 1);
}

TEST(ClientProtocol, EndlessListAndMessageAreBounded) {
    ProtocolRig rig;
    rig.arrive("REFR\r\n1\r\n2\r\nNO\r\nAuto\r\n5\r\n3\r\n");
    const std::string chunk(60000, 'x');
    std::size_t fed = 0;
    while (rig.engine.readState() == ReadState::AwaitList &&
           fed < 4 * ClientProtocol::kMaxListBytes) {
        rig.arrive(chunk);
        fed += chunk.size();
    }
    EXPECT_LE(fed, ClientProtocol::kMaxListBytes + chunk.size());
    EXPECT_EQ(rig.engine.readState(), ReadState::Idle);
    EXPECT_FALSE(rig.engine.listPending());

    // A message text is read in bounded pieces.
    EXPECT_EQ(rig.engine.bytesToRead(std::size_t{1} << 30), 4u);
    rig.arrive("SEND");
    EXPECT_EQ(rig.engine.bytesToRead(std::size_t{1} << 30), ClientProtocol::kMaxPayloadStep);
}

TEST(ClientProtocol, RefusedTestSizes) {
    for (const std::int32_t size : {0, -5, std::int32_t(ClientProtocol::kMaxTestSize + 1)}) {
        ProtocolRig rig;
        SCOPED_TRACE(size);
        rig.arrive("TSTNbig.tst\r\n5\r\nMath\r\n" + std::to_string(size) + "\r\n");
        rig.arrive("TSTF");
        EXPECT_EQ(rig.host.takeSent(), "FREE");
        EXPECT_EQ(rig.host.errors, (std::vector<std::string>{"open error"}));
        EXPECT_EQ(rig.host.downloadsBegun, 0);
        EXPECT_EQ(rig.engine.downloadedBytes(), 0);
        EXPECT_EQ(rig.engine.readState(), ReadState::Idle);
        if (size > 0) {
            // The refused archive is dropped as it comes and never collected.
            std::string piece(1 << 20, 'N');
            for (std::int64_t left = size; left > 0; left -= std::int64_t(piece.size())) {
                if (left < std::int64_t(piece.size()))
                    piece.resize(static_cast<std::size_t>(left));
                rig.arrive(piece);
                EXPECT_EQ(rig.engine.downloadedBytes(), 0);
            }
        }
        rig.arrive("NMAY");
        EXPECT_EQ(rig.host.pauses, 1);
        EXPECT_TRUE(rig.host.loadedArchives.empty());
    }
}

TEST(ClientProtocol, DownloadStopsAtItsSize) {
    ProtocolRig rig;
    rig.arrive("TSTNa.tst\r\n5\r\nMath\r\n25000\r\n");
    const std::string archive(25000, 'Z');
    // The archive and the next word arrive together: the word is not part of the archive.
    rig.arrive("TSTF" + archive + "NMAY");
    ASSERT_EQ(rig.host.loadedArchives.size(), 1u);
    EXPECT_EQ(rig.host.loadedArchives[0].size(), 25000u);
    EXPECT_EQ(rig.host.lastProgress, 25000);
    EXPECT_EQ(rig.host.sent, "FREE");
    EXPECT_EQ(rig.host.pauses, 1);
    // The pieces are never larger than the receive buffer.
    rig.arrive("TSTF");
    EXPECT_EQ(rig.engine.bytesToRead(100000), ClientProtocol::kReadBufferSize);
}

TEST(ClientProtocol, FailedLoadStillSendsFreeOnce) {
    ProtocolRig rig;
    rig.host.loadResult = false;
    rig.arrive("TSTNa.tst\r\n5\r\nMath\r\n10\r\n");
    rig.arrive("TSTF0123456789");
    EXPECT_EQ(rig.host.sent, "FREE");
    EXPECT_EQ(rig.host.downloadsEnded, 1);
}

TEST(ClientProtocol, ConnectionLostDuringDownload) {
    ProtocolRig rig;
    rig.arrive(kWorkedList);
    rig.engine.takeChoice(0);
    rig.host.takeSent();
    rig.arrive("TSTF" + std::string(5000, 'a'));
    EXPECT_EQ(rig.engine.readState(), ReadState::Downloading);
    EXPECT_TRUE(rig.engine.connectionLost());
    EXPECT_EQ(rig.host.downloadsEnded, 1);
    EXPECT_EQ(rig.engine.downloadedBytes(), 0);
    EXPECT_EQ(rig.engine.readState(), ReadState::Idle);
    EXPECT_TRUE(rig.engine.choiceItems().empty());
    EXPECT_FALSE(rig.engine.choiceShown());
    EXPECT_EQ(rig.engine.offerSize(), 0);
    EXPECT_FALSE(rig.host.startEnabled);
    EXPECT_EQ(rig.host.sent, "");
}

TEST(ClientProtocol, ConnectionLostWhileTheTestLoads) {
    ProtocolRig rig;
    rig.arrive("TSTNa.tst\r\n5\r\nMath\r\n6\r\n");
    rig.host.duringLoad = [&] {
        // The password prompt is open: bytes wait, and a lost connection does not touch the
        // archive being read.
        EXPECT_EQ(rig.engine.bytesToRead(100), 0u);
        EXPECT_TRUE(rig.engine.connectionLost());
        EXPECT_EQ(rig.host.loadedArchives.back(), "abcdef");
    };
    rig.arrive("TSTFabcdef");
    EXPECT_EQ(count(rig.host.sent, "FREE"), 1);
    EXPECT_EQ(rig.host.downloadsEnded, 1);
    EXPECT_EQ(rig.engine.readState(), ReadState::Idle);
}

TEST(ClientProtocol, ProfileRunIsToldOfEveryListMessage) {
    ProtocolRig rig;
    rig.runState.interactive = false;
    const std::string whole = list("Auto", {"<5, Math>:1*A"});
    rig.arrive(whole.substr(0, 20));
    rig.arrive(whole.substr(20));
    EXPECT_EQ(rig.host.listSeen, 2);
    rig.host.client = false;
    rig.arrive(whole);
    EXPECT_EQ(rig.host.listSeen, 2);
}

// A run brought back asks for its own test and nothing else, whatever the server offers now.
TEST(ClientProtocol, ResumedRunAsksOnlyForItsOwnTest) {
    using Kind = ResumeStep::Kind;
    const SavedOffer equations{"Equations.tst", "11", "Algebra", 10240};
    const std::string set = "TSTNEquations.tst\r\n11\r\nAlgebra\r\n10240\r\n";
    const struct {
        const char* name;
        std::string arrives;
        SavedOffer saved;
        Kind kind;
        int position;
    } cases[] = {
        {"nothing offered yet", "", equations, Kind::Wait, -1},
        {"in the server's choice", kWorkedList, equations, Kind::Request, 1},
        {"half a list says nothing", kWorkedList.substr(0, 40), equations, Kind::Wait, -1},
        {"not in the choice",
         kWorkedList,
         {"Gravity.tst", "11", "Algebra", 10240},
         Kind::NotOffered,
         -1},
        {"same name, other class",
         kWorkedList,
         {"Equations.tst", "10", "Algebra", 10240},
         Kind::NotOffered,
         -1},
        {"same name, other size",
         kWorkedList,
         {"Equations.tst", "11", "Algebra", 999},
         Kind::Changed,
         -1},
        {"set by the server, not yet allowed", set, equations, Kind::Wait, -1},
        {"set by the server and allowed", set + "_MAY", equations, Kind::Request, -1},
        {"the server sets another test", "TSTNOptics.tst\r\n10\r\nPhysics\r\n20480\r\n", equations,
         Kind::OtherTest, -1},
        {"set, allowed, other size",
         set + "_MAY",
         {"Equations.tst", "11", "Algebra", 1},
         Kind::Changed,
         -1},
    };
    for (const auto& c : cases) {
        ProtocolRig rig;
        rig.engine.connectionMade();
        if (!c.arrives.empty())
            rig.arrive(c.arrives);
        const ResumeStep step = NextResumeStep(rig.engine, c.saved);
        EXPECT_EQ(step.kind, c.kind) << c.name;
        EXPECT_EQ(step.position, c.position) << c.name;
    }
}

} // namespace
} // namespace kvz::testing
