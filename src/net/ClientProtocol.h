#pragma once

// The workstation's side of the conversation with the testing server, without a socket: the
// host feeds it the bytes of one read step at a time (asking first how many it wants) and the
// engine tells the host what to do through ProtocolHost. The client window is the real host;
// the tests use a fake one.
//
// The stream has no framing. Every server message starts with a 4-byte word; a payload is
// whatever is readable at the next read step, except the list message (lines, complete when
// its announced last line has arrived) and the test archive (exactly the announced size).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kvz {

struct RunState;
class MessageTable;

enum class ReadState { Idle, AwaitMessage, AwaitPassword, AwaitList, AwaitTestInfo, Downloading };

class ProtocolHost {
public:
    virtual ~ProtocolHost() = default;

    // Sends bytes to the server; nothing when the connection is not active.
    virtual void send(std::string_view bytes) = 0;
    // One line of the client window's log (Windows-1251).
    virtual void log(const std::string& line) = 0;
    // The general error report: a message box with the text.
    virtual void reportError(const std::string& text) = 0;

    // Enabled when permitted (or while the server's choice list is shown).
    virtual void setStartEnabled(bool enabled) = 0;
    // The choice list's items, selection or visibility changed (ClientProtocol::choice...).
    // Showing it also disables the auto-start box and widens the window; hiding does the
    // reverse.
    virtual void choiceListChanged() = 0;

    virtual bool clientVisible() const = 0;
    virtual bool runWindowVisible() const = 0;
    virtual bool informVisible() const = 0;
    virtual bool resultsVisible() const = 0;
    virtual bool autoStartChecked() const = 0;
    // The name typed in the examinee window, for "FRESH" while the test runs.
    virtual std::string examineeName() const = 0;

    // The Start action of the client window (it ends in requestTest()).
    virtual void performStart() = 0;
    // "NMAY": the test (or the examinee window) is covered by the pause window, its clock stops.
    virtual void pauseTest() = 0;
    // "_MAY"/"!MAY": the pause is lifted.
    virtual void resumeTest() = 0;
    // "_MAY"/"!MAY" after the Start button and the auto-start have had their say: a host that
    // asks for tests by itself (a profile's choice) may ask again now.
    virtual void permissionGiven() {}
    // "SEND": the supervisor's message for the examinee (the host decides where it shows and
    // stops the test clock around it). May run a nested event loop.
    virtual void showServerMessage(const std::string& text) = 0;

    // A download begins: disable the client window, show the wait window with maximum size.
    virtual void downloadBegun(std::int64_t size) = 0;
    // The first piece arrived (busy cursor); later, the progress in bytes.
    virtual void downloadFirstPiece() = 0;
    virtual void downloadProgress(std::int64_t received) = 0;
    // The archive is complete: prepare the examinee window and load it. True when it loaded.
    // May run nested event loops (the password prompt).
    virtual bool loadTest(const std::string& archive) = 0;
    // The download is over, loaded or not, or abandoned: normal cursor, wait window hidden,
    // client window enabled.
    virtual void downloadEnded() = 0;

    // Started after a list message when the run is driven by a profile and its choice has not
    // run since the client window was last shown; the host checks that part.
    virtual void listMessageSeen() = 0;
};

class ClientProtocol {
public:
    // The most a test archive may be: larger announcements are refused without allocating.
    static constexpr std::int64_t kMaxTestSize = 256LL * 1024 * 1024;
    // The most one message text or password read in one step may be.
    static constexpr std::size_t kMaxPayloadStep = 64 * 1024;
    // The most a list message may grow to before it is given up.
    static constexpr std::size_t kMaxListBytes = 1024 * 1024;
    static constexpr std::size_t kReadBufferSize = 10000;

    ClientProtocol(ProtocolHost& host, RunState& runState, const MessageTable& messages);

    // One read step: bytesToRead(available) tells how many of the available bytes this step
    // takes (0 while a test is being loaded: the bytes wait); the host reads that many and
    // passes them to readStep.
    std::size_t bytesToRead(std::size_t available) const;
    void readStep(std::string_view bytes);

    // Connection events.
    void connectionMade();
    // Returns whether a download was in progress.
    bool connectionLost();

    // Messages of the workstation.
    void requestTest();                      // "GIVEMETEST" + offerFile
    void sendStart();                        // "START"
    void sendMessage(std::string_view text); // "SEND" + text (the caller logs it)

    // The choice list, as the engine keeps it; the window mirrors it.
    const std::vector<std::string>& choiceItems() const { return choiceItems_; }
    int choiceSelected() const { return choiceSelected_; }
    bool choiceShown() const { return choiceShown_; }
    void selectChoice(int position); // the examinee selected an item (-1 none)
    // Takes the item at position as the test to ask for: offerFile := name + ".tst", class,
    // subject, size. False when there is no such item.
    bool takeChoice(int position);
    const std::vector<std::int32_t>& offerSizes() const { return offerSizes_; }

    ReadState readState() const { return readState_; }
    bool permitted() const { return permitted_; }
    void setPermitted(bool permitted) { permitted_ = permitted; }
    const std::string& testPassword() const { return testPassword_; }
    const std::string& offerFile() const { return offerFile_; }
    void setOfferFile(std::string file) { offerFile_ = std::move(file); }
    const std::string& offerClass() const { return offerClass_; }
    const std::string& offerSubject() const { return offerSubject_; }
    std::int32_t offerSize() const { return offerSize_; }
    std::int32_t clientNumber() const { return clientNumber_; }
    const std::string& computerName() const { return computerName_; }
    void setComputerName(std::string name);
    bool listPending() const { return listPending_; }
    bool loading() const { return loading_; }
    // Bytes of the download so far (for the tests and the progress).
    std::int64_t downloadedBytes() const { return static_cast<std::int64_t>(download_.size()); }

    // The five lines of "FRESH", each followed by CR LF.
    std::string freshMessage() const;

private:
    void wordStep(std::string_view bytes);
    void dispatchWord();
    void allow(std::string_view password, bool withPassword);
    void forbid();
    void messageStep(std::string_view payload);
    // These two return how many of the bytes belonged to their message.
    std::size_t testInfoStep(std::string_view payload);
    std::size_t listStep(std::string_view payload);
    enum class ListProgress { Pending, Done, Failed };
    ListProgress evaluateList(bool endOfRead);
    void noteLineEndLeft();
    void beginDownload();
    void downloadStep(std::string_view bytes);
    void discardStep(std::string_view bytes);
    void finishDownload();
    void abandonList(const std::string& why);
    // Adds bytes up to and including the next line ending; returns how many it took.
    std::size_t collectListLine(std::string_view bytes);
    void resetList();
    void mergeList(const std::vector<std::string>& testLines);
    void setChoiceShown(bool shown);
    void updateStart();
    std::string msg(int n) const;

    ProtocolHost& host_;
    RunState& runState_;
    const MessageTable& messages_;

    ReadState readState_ = ReadState::Idle;
    std::string word_; // the word being read, up to 4 bytes (it may arrive in pieces)
    bool permitted_ = false;
    std::string testPassword_;
    std::string offerFile_;
    std::string offerClass_;
    std::string offerSubject_;
    std::int32_t offerSize_ = 0;
    std::string computerName_;
    std::int32_t clientNumber_ = 0;
    bool listPending_ = false;
    // The pending list message, split into lines as it arrives (so a long list that trickles in
    // costs no more than reading it once).
    std::vector<std::string> listLines_; // complete lines
    std::string listTail_;               // the line still open
    bool listAfterCR_ = false;           // a LF right now would end the same line as the CR
    int lineEndLeft_ = 0; // bytes of the completed list's CR LF still to come, to be skipped
    std::size_t listBytes_ = 0;
    bool listHeaderRead_ = false;
    std::int32_t listCount_ = -1;
    std::int32_t lastLineLength_ = 0;
    std::vector<std::int32_t> offerSizes_;
    std::vector<std::string> choiceItems_;
    int choiceSelected_ = -1;
    bool choiceShown_ = false;
    bool downloading_ = false; // a download exists (first piece arrived)
    std::string download_;
    std::int64_t discardLeft_ = 0; // bytes of a refused archive still to drop
    bool loading_ = false;
};

} // namespace kvz
