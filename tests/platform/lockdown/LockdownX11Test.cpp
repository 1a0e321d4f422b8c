// The lock-down on a real X server: Xvfb with openbox, a second program's window to switch to,
// and Alt+Tab typed through the XTEST extension, as a person at the keyboard would.

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <unistd.h>

namespace {

// Waiting on other programs (an X server, a window manager) is unavoidable here: each wait
// polls with a deadline.
bool waitFor(const std::function<bool()>& condition, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QThread::msleep(50);
    }
    return true;
}

class XSession {
public:
    ~XSession() {
        // Reverse order of starting; each process is one of ours.
        for (auto it = processes_.rbegin(); it != processes_.rend(); ++it) {
            QProcess& p = **it;
            if (p.state() != QProcess::NotRunning) {
                p.terminate();
                if (!p.waitForFinished(2000)) {
                    p.kill();
                    p.waitForFinished(2000);
                }
            }
        }
    }

    bool startServer(const QString& xvfb) {
        // A display nobody uses: neither its lock file nor its socket exists.
        for (int n = 90 + int(::getpid() % 50); n < 400; ++n) {
            if (QFileInfo::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)) ||
                QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)))
                continue;
            display_ = QStringLiteral(":%1").arg(n);
            QProcess& server = start(xvfb, {display_, QStringLiteral("-screen"),
                                            QStringLiteral("0"), QStringLiteral("1024x768x24"),
                                            QStringLiteral("-nolisten"), QStringLiteral("tcp")});
            const QString socket = QStringLiteral("/tmp/.X11-unix/X%1").arg(n);
            if (waitFor(
                    [&] {
                        return QFileInfo::exists(socket) || server.state() == QProcess::NotRunning;
                    },
                    10000) &&
                server.state() == QProcess::Running)
                return true;
        }
        return false;
    }

    QProcess& start(const QString& program, const QStringList& args) {
        processes_.push_back(std::make_unique<QProcess>());
        QProcess& p = *processes_.back();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!display_.isEmpty())
            env.insert(QStringLiteral("DISPLAY"), display_);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        p.setProcessEnvironment(env);
        p.start(program, args);
        p.waitForStarted(5000);
        return p;
    }

    // Runs a short command on the display and gives its output ("" on failure).
    QString run(const QString& program, const QStringList& args) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), display_);
        p.setProcessEnvironment(env);
        p.start(program, args);
        if (!p.waitForFinished(5000)) {
            p.kill();
            p.waitForFinished(1000);
            return {};
        }
        return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
    }

private:
    QString display_;
    std::vector<std::unique_ptr<QProcess>> processes_;
};

QString tool(const char* name) {
    return QStandardPaths::findExecutable(QLatin1String(name));
}

bool readLine(QProcess& p, const QByteArray& prefix, int timeoutMs, QByteArray* line = nullptr) {
    return waitFor(
        [&] {
            p.waitForReadyRead(50);
            while (p.canReadLine()) {
                const QByteArray l = p.readLine().trimmed();
                if (l.startsWith(prefix)) {
                    if (line)
                        *line = l;
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
}

// QProcess writes only while it waits on the process; a command must go out at once.
void send(QProcess& p, const char* line) {
    p.write(line);
    p.waitForBytesWritten(2000);
}

} // namespace

TEST(LockdownX11, AltTabKeepsTheLockedWindowUntilLifted) {
    const QString xvfb = tool("Xvfb"), openbox = tool("openbox"), xdotool = tool("xdotool"),
                  xmessage = tool("xmessage");
    if (xvfb.isEmpty() || openbox.isEmpty() || xdotool.isEmpty() || xmessage.isEmpty())
        GTEST_SKIP() << "Xvfb, openbox, xdotool or xmessage is not installed; the X11 lock-down "
                        "is not checked here";

    XSession x;
    ASSERT_TRUE(x.startServer(xvfb)) << "Xvfb did not start";
    // openbox now and then gives up on a server that has only just opened its socket: it is
    // started again until it manages the screen.
    const QString xprop = tool("xprop");
    const auto managed = [&] {
        return x
            .run(xprop.isEmpty() ? xdotool : xprop,
                 {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")})
            .contains(QLatin1String("window id"));
    };
    QString wmErrors;
    bool wmUp = false;
    for (int attempt = 0; attempt < 4 && !wmUp; ++attempt) {
        QProcess& wm = x.start(openbox, {QStringLiteral("--sm-disable")});
        wmUp = waitFor([&] { return managed() || wm.state() == QProcess::NotRunning; }, 8000) &&
               managed();
        if (!wmUp) {
            // One that hangs would hold the window manager's place: it goes first.
            wm.kill();
            wm.waitForFinished(2000);
            wmErrors += QString::fromLocal8Bit(wm.readAllStandardError());
        }
    }
    ASSERT_TRUE(wmUp) << "openbox did not come up: " << wmErrors.toStdString();

    const auto activeName = [&] {
        return x.run(xdotool, {QStringLiteral("getactivewindow"), QStringLiteral("getwindowname")});
    };
    x.start(xmessage, {QStringLiteral("-title"), QStringLiteral("kvizor-other"),
                       QStringLiteral("another program")});
    // A window mapped while openbox is still settling may stay unfocused: activate it.
    ASSERT_TRUE(waitFor(
        [&] {
            if (activeName() == QLatin1String("kvizor-other"))
                return true;
            x.run(xdotool, {QStringLiteral("search"), QStringLiteral("--name"),
                            QStringLiteral("^kvizor-other$"), QStringLiteral("windowactivate")});
            return false;
        },
        10000));

    QProcess& probe = x.start(QStringLiteral(KVIZOR_LOCKDOWN_PROBE), {});
    ASSERT_TRUE(readLine(probe, "ready", 15000)) << probe.readAllStandardError().toStdString();
    ASSERT_TRUE(waitFor([&] { return activeName() == QLatin1String("kvizor-locked"); }, 10000))
        << "the locked window never became active: " << activeName().toStdString();
    // Full screen over any panel.
    EXPECT_TRUE(
        x.run(xdotool, {QStringLiteral("getactivewindow"), QStringLiteral("getwindowgeometry")})
            .contains(QLatin1String("1024x768")));

    for (int i = 0; i < 3; ++i) {
        x.run(xdotool, {QStringLiteral("key"), QStringLiteral("alt+Tab")});
        QThread::msleep(400);
        EXPECT_EQ(activeName().toStdString(), "kvizor-locked") << "Alt+Tab number " << i + 1;
    }

    // A message box of the program comes up over the locked window and takes the keyboard.
    send(probe, "dialog\n");
    EXPECT_TRUE(waitFor([&] { return activeName() == QLatin1String("kvizor-dialog"); }, 5000))
        << "the dialog did not become active: " << activeName().toStdString();
    x.run(xdotool, {QStringLiteral("key"), QStringLiteral("Return")});
    EXPECT_TRUE(readLine(probe, "dialog closed", 5000)) << "Enter did not reach the dialog";
    EXPECT_TRUE(waitFor([&] { return activeName() == QLatin1String("kvizor-locked"); }, 5000));

    // What the window manager stacks highest of all its windows (bottom-to-top list).
    const auto onTop = [&](const char* name) {
        const QStringList ids = x.run(xdotool, {QStringLiteral("search"), QStringLiteral("--name"),
                                                QStringLiteral("^%1$").arg(QLatin1String(name))})
                                    .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        const QString stacking =
            x.run(xprop, {QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST_STACKING")});
        bool ok = false;
        const qulonglong top = stacking.section(QLatin1Char(' '), -1).toULongLong(&ok, 16);
        return ok && ids.contains(QString::number(top));
    };
    ASSERT_FALSE(xprop.isEmpty()) << "xprop is needed to read the stacking order";

    // The program's own confirmation asked with the hidden main window as its owner (the exit
    // path during a test) comes up above the locked window and answers the keyboard.
    send(probe, "confirm\n");
    EXPECT_TRUE(waitFor([&] { return activeName() == QLatin1String("kvizor-confirm"); }, 5000))
        << "the confirmation did not become active: " << activeName().toStdString();
    EXPECT_TRUE(onTop("kvizor-confirm")) << "the confirmation is not the top-most window";
    x.run(xdotool, {QStringLiteral("key"), QStringLiteral("Return")});
    QByteArray confirm;
    EXPECT_TRUE(readLine(probe, "confirm", 5000, &confirm)) << "Enter did not reach it";
    EXPECT_EQ(confirm.toStdString(), "confirm 1");
    EXPECT_TRUE(waitFor([&] { return activeName() == QLatin1String("kvizor-locked"); }, 5000));

    // A prompt without an owner, opened over the lock, takes what the pupil types.
    send(probe, "prompt\n");
    EXPECT_TRUE(waitFor([&] { return activeName() == QLatin1String("kvizor-prompt"); }, 5000))
        << "the prompt did not become active: " << activeName().toStdString();
    EXPECT_TRUE(onTop("kvizor-prompt"));
    x.run(xdotool, {QStringLiteral("type"), QStringLiteral("abc")});
    x.run(xdotool, {QStringLiteral("key"), QStringLiteral("Return")});
    QByteArray typed;
    EXPECT_TRUE(readLine(probe, "prompt", 5000, &typed));
    EXPECT_EQ(typed.toStdString(), "prompt abc");
    EXPECT_TRUE(waitFor([&] { return activeName() == QLatin1String("kvizor-locked"); }, 5000));

    // So does a plain window without an owner (a calculator, a viewer).
    send(probe, "window\n");
    EXPECT_TRUE(readLine(probe, "window shown", 5000));
    EXPECT_TRUE(waitFor([&] { return activeName() == QLatin1String("kvizor-window"); }, 5000))
        << "the window did not become active: " << activeName().toStdString();
    EXPECT_TRUE(onTop("kvizor-window"));

    // Minimising that window iconifies the locked window with it (the window manager minimises
    // a window together with those it belongs to), and the locked window can be minimised by
    // itself too: either way it comes straight back, as there is no task bar to bring it back.
    const auto windowId = [&](const char* name) {
        return x
            .run(xdotool, {QStringLiteral("search"), QStringLiteral("--name"),
                           QStringLiteral("^%1$").arg(QLatin1String(name))})
            .section(QLatin1Char('\n'), 0, 0);
    };
    const QString lockedId = windowId("kvizor-locked");
    const auto lockedShown = [&] {
        return x.run(xprop, {QStringLiteral("-id"), lockedId, QStringLiteral("WM_STATE")})
            .contains(QLatin1String("Normal"));
    };
    for (const char* minimised : {"kvizor-window", "kvizor-locked"}) {
        x.run(xdotool, {QStringLiteral("windowminimize"), windowId(minimised)});
        QThread::msleep(500);
        EXPECT_TRUE(waitFor(lockedShown, 5000))
            << "the locked window stayed minimised after minimising " << minimised;
    }

    // The next full-screen window of the program joins the lock and keeps the keyboard.
    send(probe, "next\n");
    QByteArray next;
    ASSERT_TRUE(readLine(probe, "next", 5000, &next));
    EXPECT_EQ(next.toStdString(), "next 1");
    EXPECT_TRUE(waitFor([&] { return activeName() == QLatin1String("kvizor-next"); }, 5000))
        << activeName().toStdString();
    x.run(xdotool, {QStringLiteral("key"), QStringLiteral("alt+Tab")});
    QThread::msleep(400);
    EXPECT_EQ(activeName().toStdString(), "kvizor-next");

    send(probe, "lift\n");
    QByteArray lifted;
    ASSERT_TRUE(readLine(probe, "lifted", 5000, &lifted));
    EXPECT_EQ(lifted.toStdString(), "lifted 0");
    // Back to its own size, no longer over the whole screen.
    EXPECT_TRUE(waitFor(
        [&] {
            return x
                .run(xdotool,
                     {QStringLiteral("search"), QStringLiteral("--name"),
                      QStringLiteral("^kvizor-locked$"), QStringLiteral("getwindowgeometry")})
                .contains(QLatin1String("320x200"));
        },
        5000));
    // The keyboard is free again: Alt+Tab reaches the window manager.
    EXPECT_TRUE(waitFor(
        [&] {
            x.run(xdotool, {QStringLiteral("key"), QStringLiteral("alt+Tab")});
            return waitFor([&] { return activeName() == QLatin1String("kvizor-other"); }, 1000);
        },
        8000))
        << "after lifting, Alt+Tab did not switch: " << activeName().toStdString();

    send(probe, "quit\n");
    probe.waitForFinished(5000);
}
