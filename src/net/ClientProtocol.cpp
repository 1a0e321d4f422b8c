#include "net/ClientProtocol.h"

#include "l10n/MessageTable.h"
#include "net/ProtocolText.h"
#include "shell/RunState.h"
#include "test/LargeBuffer.h"

#include <algorithm>
#include <cstring>
#include <exception>

namespace kvz {

namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr int kHeaderLines = 7;

std::string withoutExtension(const std::string& file) {
    const std::size_t dot = file.rfind('.');
    return dot == std::string::npos ? file : file.substr(0, dot);
}

} // namespace

ClientProtocol::ClientProtocol(ProtocolHost& host, RunState& runState, const MessageTable& messages)
    : host_(host), runState_(runState), messages_(messages) {}

std::string ClientProtocol::msg(int n) const {
    return messages_.msg(n);
}

void ClientProtocol::setComputerName(std::string name) {
    name = name.substr(0, std::min(name.find('\0'), std::size_t{256}));
    computerName_ = std::move(name);
}

std::size_t ClientProtocol::bytesToRead(std::size_t available) const {
    if (loading_)
        return 0; // the archive is being loaded: what follows waits in the socket
    if (discardLeft_ > 0)
        return static_cast<std::size_t>(std::min<std::int64_t>(
            {std::int64_t(available), std::int64_t(kReadBufferSize), discardLeft_}));
    switch (readState_) {
    case ReadState::Idle:
        return std::min(available, 4 - word_.size());
    case ReadState::Downloading: {
        // Never past the announced size: what follows the archive is the next message, and
        // the archive's own catalogue is read from its end.
        const std::int64_t left = std::int64_t(offerSize_) - downloadedBytes();
        return static_cast<std::size_t>(std::clamp<std::int64_t>(
            std::min<std::int64_t>(std::int64_t(available), std::int64_t(kReadBufferSize)), 0,
            std::max<std::int64_t>(left, 0)));
    }
    case ReadState::AwaitMessage:
    case ReadState::AwaitPassword:
    case ReadState::AwaitTestInfo:
    case ReadState::AwaitList:
        return std::min(available, kMaxPayloadStep);
    }
    return 0;
}

void ClientProtocol::readStep(std::string_view bytes) {
    while (!bytes.empty()) {
        // A host that hands over more than one step's worth gets it handled as further steps.
        const std::size_t take = std::min(bytes.size(), bytesToRead(bytes.size()));
        if (take == 0)
            return;
        const std::string_view piece = bytes.substr(0, take);
        std::size_t used = piece.size();
        if (discardLeft_ > 0) {
            discardLeft_ -= static_cast<std::int64_t>(piece.size());
        } else {
            switch (readState_) {
            case ReadState::Idle:
                wordStep(piece);
                break;
            case ReadState::AwaitMessage:
                messageStep(piece);
                break;
            case ReadState::AwaitPassword:
                allow(piece, true);
                break;
            case ReadState::AwaitTestInfo:
                used = testInfoStep(piece);
                break;
            case ReadState::AwaitList:
                used = listStep(piece);
                break;
            case ReadState::Downloading:
                downloadStep(piece);
                break;
            }
        }
        bytes.remove_prefix(used);
    }
}

void ClientProtocol::wordStep(std::string_view bytes) {
    for (char c : bytes) {
        // The line ending of a list message whose last line completed it before its CR LF
        // arrived is skipped, once, so the words stay in step. Nothing else is: a junk word
        // that begins with a line ending is a word of four bytes like any other.
        if (word_.empty() && lineEndLeft_ > 0) {
            const char expected = kCrLf[kCrLf.size() - std::size_t(lineEndLeft_)];
            if (c == expected) {
                --lineEndLeft_;
                continue;
            }
            lineEndLeft_ = 0;
        }
        word_.push_back(c);
    }
    if (word_.size() < 4)
        return; // the rest of the word comes with the next bytes
    dispatchWord();
}

void ClientProtocol::dispatchWord() {
    char bytes[4];
    std::memcpy(bytes, word_.data(), sizeof bytes);
    word_.clear();
    const std::string_view word(bytes, sizeof bytes);
    if (word == "SEND")
        readState_ = ReadState::AwaitMessage;
    else if (word == "REFR")
        readState_ = ReadState::AwaitList;
    else if (word == "!MAY")
        readState_ = ReadState::AwaitPassword;
    else if (word == "_MAY")
        allow({}, false);
    else if (word == "NMAY")
        forbid();
    else if (word == "TSTN")
        readState_ = ReadState::AwaitTestInfo;
    else if (word == "TSTF")
        beginDownload();
    // Any other word is dropped.
}

void ClientProtocol::updateStart() {
    host_.setStartEnabled(permitted_);
}

void ClientProtocol::allow(std::string_view password, bool withPassword) {
    readState_ = ReadState::Idle;
    if (withPassword)
        testPassword_ = UnscramblePassword(password);
    permitted_ = true;
    host_.log(msg(33));
    updateStart();
    if (host_.autoStartChecked() && host_.clientVisible() && !choiceShown_)
        host_.performStart();
    host_.permissionGiven();
    host_.resumeTest();
}

void ClientProtocol::forbid() {
    readState_ = ReadState::Idle;
    permitted_ = false;
    host_.log(msg(34));
    updateStart();
    host_.pauseTest();
}

void ClientProtocol::messageStep(std::string_view payload) {
    readState_ = ReadState::Idle; // before the text is shown: its window may run a nested loop
    const std::string text(payload);
    host_.log(msg(45) + " " + msg(44) + " : " + text);
    host_.showServerMessage(text);
}

std::size_t ClientProtocol::testInfoStep(std::string_view payload) {
    readState_ = ReadState::Idle;
    // The announcement ends with its fourth line: what follows it in the same read is the
    // next message, not part of this one.
    std::size_t used = payload.size();
    int endings = 0;
    for (std::size_t i = 0; i < payload.size(); ++i) {
        if (payload[i] != '\r' && payload[i] != '\n')
            continue;
        if (payload[i] == '\r' && i + 1 < payload.size() && payload[i + 1] == '\n')
            ++i;
        if (++endings == 4) {
            used = i + 1;
            break;
        }
    }
    const std::vector<std::string> lines = splitLines(payload.substr(0, used));
    std::string error;
    if (lines.size() > 0)
        offerFile_ = lines[0];
    if (lines.size() > 1)
        offerClass_ = lines[1];
    if (lines.size() > 2)
        offerSubject_ = lines[2];
    if (lines.size() > 3) {
        if (const auto size = parseInt32(lines[3]))
            offerSize_ = *size;
        else
            error = notAnIntegerText(lines[3]);
    } else {
        error = "List index out of bounds (" + std::to_string(lines.size()) + ")";
    }
    if (!error.empty()) {
        host_.reportError(error);
        return used;
    }
    if (!offerFile_.empty())
        host_.log(formatMessage(msg(35), {offerFile_}));
    if (host_.clientVisible())
        permitted_ = false;
    testPassword_.clear();
    updateStart();
    return used;
}

void ClientProtocol::resetList() {
    listPending_ = false;
    listLines_.clear();
    listTail_.clear();
    listAfterCR_ = false;
    listBytes_ = 0;
    listHeaderRead_ = false;
}

std::size_t ClientProtocol::collectListLine(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        ++listBytes_;
        if (c == '\n' && listAfterCR_) {
            listAfterCR_ = false;
            continue;
        }
        listAfterCR_ = c == '\r';
        if (c == '\r' || c == '\n') {
            listLines_.push_back(std::move(listTail_));
            listTail_.clear();
            return i + 1;
        }
        listTail_.push_back(c);
    }
    return bytes.size();
}

void ClientProtocol::abandonList(const std::string& why) {
    noteLineEndLeft();
    resetList();
    readState_ = ReadState::Idle;
    host_.log(msg(30) + " " + why);
}

void ClientProtocol::setChoiceShown(bool shown) {
    choiceShown_ = shown;
    host_.choiceListChanged();
}

std::size_t ClientProtocol::listStep(std::string_view payload) {
    if (!listPending_)
        resetList(); // a new list message
    listPending_ = true;
    // Line by line, so the message ends where it is complete: bytes after it in the same read
    // are the next message, not lines of this one.
    std::size_t used = 0;
    ListProgress progress = ListProgress::Pending;
    while (used < payload.size() && progress == ListProgress::Pending) {
        used += collectListLine(payload.substr(used));
        if (listBytes_ > kMaxListBytes) {
            abandonList("list message too long");
            return used;
        }
        progress = evaluateList(used == payload.size());
    }
    if (progress != ListProgress::Failed && !runState_.interactive && host_.clientVisible())
        host_.listMessageSeen();
    return used;
}

void ClientProtocol::noteLineEndLeft() {
    // Ended on a line still open (its bytes were all there were): its whole CR LF is still to
    // come; on a CR: its LF.
    lineEndLeft_ = !listTail_.empty() ? 2 : listAfterCR_ ? 1 : 0;
}

ClientProtocol::ListProgress ClientProtocol::evaluateList(bool endOfRead) {
    // A line still open counts only at the end of what has been read.
    const std::size_t lines = listLines_.size() + (endOfRead && !listTail_.empty() ? 1 : 0);
    auto line = [this](std::size_t i) -> const std::string& {
        return i < listLines_.size() ? listLines_[i] : listTail_;
    };
    if (lines < kHeaderLines)
        return ListProgress::Pending;
    // The two counts are read again at every step while the list is pending, so a header
    // whose last line was cut between two reads is taken whole once it is.
    const auto count = parseInt32(line(5));
    const auto lastLength = parseInt32(line(6));
    if (!count || !lastLength) {
        abandonList(notAnIntegerText(!count ? line(5) : line(6)));
        return ListProgress::Failed;
    }
    listCount_ = *count;
    lastLineLength_ = *lastLength;
    if (!listHeaderRead_) {
        const auto number = parseInt32(line(1));
        const auto time = parseReal(line(2));
        if (!number || !time) {
            abandonList(!number ? notAnIntegerText(line(1))
                                : "'" + line(2) + "' is not a valid floating point value");
            return ListProgress::Failed;
        }
        listHeaderRead_ = true;
        clientNumber_ = *number;
        runState_.serverStartTime = *time;
        runState_.shuffleQuestions = line(3) == "RAZB";
        if (line(4) == "Auto") {
            if (!choiceShown_) {
                host_.log(msg(46));
                if (host_.clientVisible())
                    offerFile_ = msg(48);
                setChoiceShown(true);
                permitted_ = true;
                host_.setStartEnabled(true);
            }
        } else {
            if (choiceShown_) {
                host_.log(msg(47));
                setChoiceShown(false);
            }
            if (!permitted_)
                host_.setStartEnabled(false);
        }
        if (listCount_ == -1) {
            noteLineEndLeft();
            resetList();
            readState_ = ReadState::Idle;
            host_.send(freshMessage());
            return ListProgress::Done;
        }
    }
    const std::size_t rest = lines - kHeaderLines;
    // A header alone is complete only when it announces no lines: one cut off after its header
    // would otherwise empty the choice list and lose the rest of the message to the word reader.
    const bool complete = rest == 0 ? listCount_ <= 0
                                    : rest >= std::size_t(std::max(listCount_, 0)) &&
                                          line(lines - 1).size() == std::size_t(lastLineLength_);
    if (!complete)
        return ListProgress::Pending;
    std::vector<std::string> testLines;
    for (std::size_t i = kHeaderLines; i < lines; ++i)
        testLines.push_back(line(i));
    noteLineEndLeft();
    resetList();
    readState_ = ReadState::Idle;
    mergeList(testLines);
    host_.send(freshMessage());
    return ListProgress::Done;
}

void ClientProtocol::mergeList(const std::vector<std::string>& testLines) {
    const bool hadSelection =
        choiceSelected_ >= 0 && choiceSelected_ < static_cast<int>(choiceItems_.size());
    const std::string remembered = hadSelection ? choiceItems_[choiceSelected_] : std::string();

    std::vector<std::string> display;
    std::vector<std::int32_t> sizes;
    for (const std::string& l : testLines) {
        const std::size_t colon = l.find(':');
        const std::size_t star = l.find('*');
        // A line whose size cannot be read cannot be asked for: it is left out, so positions
        // and sizes stay together.
        if (colon == std::string::npos || star == std::string::npos || star < colon)
            continue;
        const auto size = parseInt32(std::string_view(l).substr(colon + 1, star - colon - 1));
        if (!size)
            continue;
        sizes.push_back(*size);
        display.push_back(l.substr(star + 1) + " " + l.substr(0, colon));
    }
    offerSizes_ = sizes;
    if (choiceItems_.size() > display.size())
        choiceItems_.resize(display.size());
    for (std::size_t i = 0; i < display.size(); ++i) {
        if (i >= choiceItems_.size())
            choiceItems_.push_back(display[i]);
        else if (choiceItems_[i] != display[i])
            choiceItems_[i] = display[i];
    }
    if (choiceItems_.empty()) {
        choiceSelected_ = -1;
    } else if (!(hadSelection && choiceSelected_ < static_cast<int>(choiceItems_.size()) &&
                 choiceItems_[choiceSelected_] == remembered)) {
        choiceSelected_ = -1;
        if (hadSelection) {
            const auto it = std::find(choiceItems_.begin(), choiceItems_.end(), remembered);
            if (it != choiceItems_.end())
                choiceSelected_ = static_cast<int>(it - choiceItems_.begin());
        }
    }
    host_.choiceListChanged();
}

std::string ClientProtocol::freshMessage() const {
    std::string out = "FRESH";
    out += kCrLf;
    out += std::to_string(clientNumber_);
    out += kCrLf;
    out += permitted_ ? "1" : "0";
    out += kCrLf;
    if (!choiceShown_)
        out += host_.clientVisible() ? offerFile_ : runState_.testName + ".tst";
    else
        out += "?";
    out += kCrLf;
    if (host_.runWindowVisible())
        out += host_.examineeName();
    else if (host_.clientVisible() || host_.resultsVisible())
        out += "";
    else
        out += " ";
    out += kCrLf;
    return out;
}

void ClientProtocol::beginDownload() {
    if (offerSize_ <= 0 || offerSize_ > kMaxTestSize) {
        // Nothing of that size is taken: a size of zero or less cannot be a test, and a larger
        // one is dropped as it arrives so the words after it are read in step.
        readState_ = ReadState::Idle;
        discardLeft_ = offerSize_ > 0 ? offerSize_ : 0;
        host_.send("FREE");
        host_.log(msg(30));
        host_.reportError(msg(8));
        return;
    }
    readState_ = ReadState::Downloading;
    downloading_ = false;
    download_.clear();
    host_.downloadBegun(offerSize_);
}

void ClientProtocol::downloadStep(std::string_view bytes) {
    try {
        if (!downloading_) {
            host_.log(msg(38));
            downloading_ = true;
            download_.clear();
            // The size passed its bounds when the word came; the reservation only takes
            // memory as the bytes fill it.
            download_.reserve(static_cast<std::size_t>(offerSize_));
            adviseLargePages(download_.data(), download_.capacity());
            host_.downloadFirstPiece();
        }
        if (!bytes.empty()) {
            download_.append(bytes);
            host_.downloadProgress(downloadedBytes());
        }
        if (downloadedBytes() < std::int64_t(offerSize_))
            return;
        finishDownload();
    } catch (const std::exception&) {
        // Out of memory while collecting: the download ends like any other, "FREE" once.
        loading_ = false;
        download_ = std::string();
        downloading_ = false;
        readState_ = ReadState::Idle;
        host_.downloadEnded();
        host_.send("FREE");
        host_.log(msg(30));
    }
}

void ClientProtocol::finishDownload() {
    host_.log(msg(39));
    runState_.testSubject = offerSubject_;
    runState_.testName = withoutExtension(offerFile_);
    // The archive leaves the engine for the loader: a lost connection while the password
    // prompt is open cannot free it under the loader's feet.
    const std::string archive = std::move(download_);
    download_ = std::string();
    downloading_ = false;
    loading_ = true;
    bool loaded = false;
    try {
        loaded = host_.loadTest(archive);
    } catch (...) {
        loaded = false;
    }
    loading_ = false;
    (void)loaded;
    readState_ = ReadState::Idle;
    host_.send("FREE");
    host_.downloadEnded();
}

void ClientProtocol::connectionMade() {
    readState_ = ReadState::Idle;
    word_.clear();
    lineEndLeft_ = 0;
    discardLeft_ = 0;
    resetList(); // a list cut off by a lost connection is not continued by a new one
    permitted_ = false;
    testPassword_.clear();
    offerFile_.clear();
    host_.send("HOST" + computerName_);
}

bool ClientProtocol::connectionLost() {
    const bool wasDownloading = readState_ == ReadState::Downloading;
    readState_ = ReadState::Idle;
    word_.clear();
    lineEndLeft_ = 0;
    discardLeft_ = 0;
    resetList();
    permitted_ = false;
    testPassword_.clear();
    offerFile_.clear();
    offerClass_.clear();
    offerSubject_.clear();
    offerSize_ = 0;
    choiceItems_.clear();
    offerSizes_.clear();
    choiceSelected_ = -1;
    choiceShown_ = false;
    host_.choiceListChanged();
    host_.setStartEnabled(false);
    if (wasDownloading && !loading_) {
        download_ = std::string();
        downloading_ = false;
        host_.downloadEnded();
    }
    return wasDownloading;
}

void ClientProtocol::requestTest() {
    host_.send("GIVEMETEST" + offerFile_);
}
void ClientProtocol::sendStart() {
    host_.send("START");
}
void ClientProtocol::sendMessage(std::string_view text) {
    host_.send("SEND" + std::string(text));
}

void ClientProtocol::selectChoice(int position) {
    choiceSelected_ =
        position >= 0 && position < static_cast<int>(choiceItems_.size()) ? position : -1;
}

bool ClientProtocol::takeChoice(int position) {
    if (position < 0 || position >= static_cast<int>(choiceItems_.size()))
        return false;
    choiceSelected_ = position;
    const OfferItem item = SplitOfferItem(choiceItems_[static_cast<std::size_t>(position)]);
    offerFile_ = item.name + ".tst";
    offerClass_ = item.testClass;
    offerSubject_ = item.subject;
    offerSize_ = offerSizes_[static_cast<std::size_t>(position)];
    return true;
}

} // namespace kvz
