#pragma once

// What the results window needs of the network client: the state of its window and its
// connection, the send of a result archive and the forbidding of the next test. The client
// results window reads the client window through it (a test may put its own in place).

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
    // "Повторить" in network mode without automatic choice: permitted := false, msg[034] added
    // to the activity log (Memo1), the start button (Button4) disabled.
    virtual void forbidTesting() = 0;
};

} // namespace kvz
