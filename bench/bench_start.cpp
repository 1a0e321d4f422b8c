// Start-up, as the pupil sees it: from starting the program to the X server mapping its main
// window, against the least Qt Widgets program (one window with a label, bare_window). Both
// are timed by the MapNotify the X server sends for the window (the splash is not the main
// window and is skipped), never by polling. After the window is up, both idle half a second
// and their resident memory is read. The two are started in turn, run against run, each round
// beginning with the other one; the median and minimum of the rounds' ratios are printed
// beside the goal.
//
// Needs an X display with no window manager (a window manager would map its own frame in the
// program's place), e.g.  xvfb-run -a -s "-screen 0 1280x1024x24" bench/bench_start 15
//
//   bench_start [ROUNDS]   ROUNDS defaults to 9

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>
#include <xcb/xcb.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct Display {
    xcb_connection_t* c = nullptr;
    xcb_window_t root = 0;
    xcb_atom_t pidAtom = 0, typeAtom = 0, splashAtom = 0;

    xcb_atom_t atom(const char* name) {
        xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(
            c, xcb_intern_atom(c, 0, std::uint16_t(std::strlen(name)), name), nullptr);
        const xcb_atom_t a = r ? r->atom : 0;
        std::free(r);
        return a;
    }

    // The first 32-bit value of a window's property, if it has one.
    std::optional<std::uint32_t> cardinal(xcb_window_t w, xcb_atom_t property) {
        xcb_get_property_reply_t* r = xcb_get_property_reply(
            c, xcb_get_property(c, 0, w, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1), nullptr);
        std::optional<std::uint32_t> v;
        if (r && r->format == 32 && xcb_get_property_value_length(r) >= 4)
            v = *static_cast<const std::uint32_t*>(xcb_get_property_value(r));
        std::free(r);
        return v;
    }
};

long rssKb(pid_t pid) {
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

struct Start {
    double mapMs = -1;
    long rssKb = -1;
};

// Starts program, waits for the MapNotify of its first window that is not a splash, idles,
// reads its memory and ends it.
Start startOnce(Display& d, const std::string& program) {
    Start s;
    std::vector<char*> argv{const_cast<char*>(program.c_str()), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const Clock::time_point t0 = Clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return s;
    const int fd = xcb_get_file_descriptor(d.c);
    while (s.mapMs < 0) {
        xcb_generic_event_t* e = xcb_poll_for_event(d.c);
        if (!e) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 20000) <= 0 || xcb_connection_has_error(d.c))
                break;
            continue;
        }
        const Clock::time_point at = Clock::now();
        if ((e->response_type & 0x7F) == XCB_MAP_NOTIFY) {
            const auto* m = reinterpret_cast<const xcb_map_notify_event_t*>(e);
            if (!m->override_redirect && d.cardinal(m->window, d.pidAtom) == std::uint32_t(pid) &&
                d.cardinal(m->window, d.typeAtom) != d.splashAtom)
                s.mapMs = std::chrono::duration<double, std::milli>(at - t0).count();
        }
        std::free(e);
    }
    if (s.mapMs >= 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        s.rssKb = rssKb(pid);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return s;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double minimum(const std::vector<double>& v) {
    return *std::min_element(v.begin(), v.end());
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc == 2 ? std::max(1, std::atoi(argv[1])) : 9;
    Display d;
    int screenNo = 0;
    d.c = xcb_connect(nullptr, &screenNo);
    if (xcb_connection_has_error(d.c)) {
        std::fputs("bench_start needs an X display (Xvfb with no window manager)\n", stderr);
        return 1;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(d.c));
    for (int i = 0; i < screenNo; ++i)
        xcb_screen_next(&it);
    d.root = it.data->root;
    const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(d.c, d.root, XCB_CW_EVENT_MASK, &mask);
    d.pidAtom = d.atom("_NET_WM_PID");
    d.typeAtom = d.atom("_NET_WM_WINDOW_TYPE");
    d.splashAtom = d.atom("_NET_WM_WINDOW_TYPE_SPLASH");
    xcb_flush(d.c);

    const std::string kvizor = KVIZOR_STAGE_DIR "/kvizor";
    const std::string bare = KVIZOR_BENCH_DIR "/bare_window";
    std::vector<double> kMs, bMs, timeRatios, memRatios;
    std::vector<double> kKb, bKb;
    for (int round = 0; round < rounds; ++round) {
        Start k, b;
        if (round % 2 == 0) {
            k = startOnce(d, kvizor);
            b = startOnce(d, bare);
        } else {
            b = startOnce(d, bare);
            k = startOnce(d, kvizor);
        }
        if (k.mapMs < 0 || b.mapMs < 0 || k.rssKb <= 0 || b.rssKb <= 0) {
            std::fprintf(stderr, "%s never mapped its window\n",
                         k.mapMs < 0 ? "kvizor" : "bare_window");
            return 1;
        }
        kMs.push_back(k.mapMs);
        bMs.push_back(b.mapMs);
        kKb.push_back(double(k.rssKb));
        bKb.push_back(double(b.rssKb));
        timeRatios.push_back(k.mapMs / b.mapMs);
        memRatios.push_back(double(k.rssKb) / double(b.rssKb));
    }
    std::printf("start to main window mapped (%d rounds): kvizor median %.0f ms, bare window "
                "median %.0f ms; ratio run against run: median %.2fx, min %.2fx (goal <= 1.5x)\n",
                rounds, median(kMs), median(bMs), median(timeRatios), minimum(timeRatios));
    std::printf("idle resident memory: kvizor median %.1f MB, bare window median %.1f MB; ratio: "
                "median %.2fx, min %.2fx (goal <= 1.3x)\n",
                median(kKb) / 1024, median(bKb) / 1024, median(memRatios), minimum(memRatios));
    xcb_disconnect(d.c);
    return 0;
}
