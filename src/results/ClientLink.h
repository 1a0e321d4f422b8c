#pragma once

// What the results window needs of the network client: the state of its window and its
// connection, the send of a result archive and the forbidding of the next test. The client
// window implements it and registers itself with TResultats::setClientLink; without a link
// registered, every run counts as local and nothing is sent.

#include <QString>

namespace kvz {

class ClientLink {
public:
    virtual ~ClientLink() = default;
    // "Соединиться" (CheckBox1) is checked.
    virtual bool connectChecked() const = 0;
    // The server's automatic choice is in force ("Начать автоматически", CheckBox2, disabled).
    virtual bool automaticChoice() const = 0;
    // The connection to the server is open now.
    virtual bool connectionOpen() const = 0;
    // Sends the bytes of the result archive at path to the server as they are. The file may be
    // deleted as soon as this returns, so the bytes must be read or the file held open by then.
    // False when the send could not be started.
    virtual bool sendResultFile(const QString& path) = 0;
    // "Повторить" in network mode without automatic choice: permitted := false, logLine added
    // to the activity log (Memo1), the start button (Button4) disabled.
    virtual void forbidTesting(const QString& logLine) = 0;
};

} // namespace kvz
