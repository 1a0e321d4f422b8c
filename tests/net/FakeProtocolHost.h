#pragma once

// A host for the protocol engine that records what the engine asks for.

#include "l10n/MessageTable.h"
#include "net/ClientProtocol.h"
#include "shell/RunState.h"

#include <functional>
#include <string>
#include <vector>

namespace kvz::testing {

struct FakeProtocolHost : ProtocolHost {
    std::string sent;
    std::vector<std::string> logLines;
    std::vector<std::string> errors;
    std::vector<std::string> shownMessages;
    std::vector<std::string> loadedArchives;
    bool startEnabled = false;
    int choiceChanges = 0;
    int starts = 0;
    int pauses = 0;
    int resumes = 0;
    int downloadsBegun = 0;
    int downloadsEnded = 0;
    int listSeen = 0;
    std::int64_t lastProgress = 0;
    bool loadResult = true;
    bool client = true;
    bool run = false;
    bool inform = false;
    bool results = false;
    bool autoStart = false;
    std::string name = "Ivanov";
    ClientProtocol* engine = nullptr;
    std::function<void()> duringLoad;
    std::function<void()> onStart;

    void send(std::string_view bytes) override { sent += bytes; }
    void log(const std::string& line) override { logLines.push_back(line); }
    void reportError(const std::string& text) override { errors.push_back(text); }
    void setStartEnabled(bool enabled) override { startEnabled = enabled; }
    void choiceListChanged() override { ++choiceChanges; }
    bool clientVisible() const override { return client; }
    bool runWindowVisible() const override { return run; }
    bool informVisible() const override { return inform; }
    bool resultsVisible() const override { return results; }
    bool autoStartChecked() const override { return autoStart; }
    std::string examineeName() const override { return name; }
    void performStart() override {
        ++starts;
        if (onStart)
            onStart();
        else if (engine)
            engine->requestTest();
    }
    void pauseTest() override { ++pauses; }
    void resumeTest() override { ++resumes; }
    void showServerMessage(const std::string& text) override { shownMessages.push_back(text); }
    void downloadBegun(std::int64_t) override { ++downloadsBegun; }
    void downloadFirstPiece() override {}
    void downloadProgress(std::int64_t received) override { lastProgress = received; }
    // When set, gets the archive instead of its being kept in loadedArchives.
    std::function<void(const std::string&)> onLoad;
    int loads = 0;

    bool loadTest(const std::string& archive) override {
        ++loads;
        if (onLoad)
            onLoad(archive);
        else
            loadedArchives.push_back(archive);
        if (duringLoad)
            duringLoad();
        return loadResult;
    }
    void downloadEnded() override { ++downloadsEnded; }
    void listMessageSeen() override { ++listSeen; }

    std::string takeSent() {
        std::string s;
        s.swap(sent);
        return s;
    }
};

// The engine with its host, run state and the built-in message texts it logs.
struct ProtocolRig {
    FakeProtocolHost host;
    RunState runState;
    MessageTable messages;
    ClientProtocol engine{host, runState, messages};

    ProtocolRig() {
        host.engine = &engine;
        runState.interactive = true;
        messages.set(8, "open error");
        messages.set(30, "error!");
        messages.set(33, "allowed");
        messages.set(34, "forbidden");
        messages.set(35, "test set: %s.");
        messages.set(38, "sending...");
        messages.set(39, "sent.");
        messages.set(44, " > ");
        messages.set(45, "Server");
        messages.set(46, "auto on");
        messages.set(47, "auto off");
        messages.set(48, "By choice");
        engine.setComputerName("pc-07");
    }

    // One read step as the socket adapter does it, with all of chunk available.
    void step(std::string_view chunk) {
        const std::size_t n = engine.bytesToRead(chunk.size());
        engine.readStep(chunk.substr(0, n));
    }
    // Feeds a whole arrival the way the adapter does: read steps until nothing is left.
    void arrive(std::string_view chunk) {
        while (!chunk.empty()) {
            const std::size_t n = engine.bytesToRead(chunk.size());
            if (n == 0)
                break;
            engine.readStep(chunk.substr(0, n));
            chunk.remove_prefix(n);
        }
    }
};

} // namespace kvz::testing
