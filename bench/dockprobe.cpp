// Starts a tray program and reports, on one line, how long it took until its icon was docked in
// the tray host and shown there, the processor time the program had used by then, and its
// resident memory after it has been idle for a while. The program is ended afterwards.
// Usage: velmora_dockprobe idle-seconds program [arguments...]
//
// The icon is the program's window (by _NET_WM_PID) that leaves the root window for the tray
// host's window and is mapped there. The probe waits for X events instead of polling, so it
// takes no processor time from the program it measures.

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <xcb/xcb.h>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

template<typename T>
using XcbReply = std::unique_ptr<T, decltype(&std::free)>;

xcb_atom_t atom(xcb_connection_t *x, const char *name)
{
    const XcbReply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(
            x, xcb_intern_atom(x, 0, std::uint16_t(std::strlen(name)), name), nullptr),
        &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

std::optional<std::uint32_t> windowPid(xcb_connection_t *x, xcb_window_t window, xcb_atom_t pidAtom)
{
    const XcbReply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(
            x, xcb_get_property(x, 0, window, pidAtom, XCB_ATOM_CARDINAL, 0, 1), nullptr),
        &std::free);
    if (!reply || xcb_get_property_value_length(reply.get()) != 4)
        return std::nullopt;
    return *static_cast<const std::uint32_t *>(xcb_get_property_value(reply.get()));
}

bool isViewable(xcb_connection_t *x, xcb_window_t window)
{
    const XcbReply<xcb_get_window_attributes_reply_t> reply(
        xcb_get_window_attributes_reply(x, xcb_get_window_attributes(x, window), nullptr),
        &std::free);
    return reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
}

// Processor time of every thread of the process so far, in nanoseconds.
double cpuNanoseconds(pid_t pid)
{
    double total = 0;
    std::error_code error;
    const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
    for (const auto &task : std::filesystem::directory_iterator(tasks, error)) {
        std::ifstream schedstat(task.path() / "schedstat");
        double running = 0;
        if (schedstat >> running)
            total += running;
    }
    return total;
}

// A field of /proc/<pid>/status in kB, such as VmRSS.
long statusKilobytes(pid_t pid, const std::string &field)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, field.size() + 1, field + ":") == 0)
            return std::strtol(line.c_str() + field.size() + 1, nullptr, 10);
    }
    return -1;
}

// Waits for the next event until the deadline; nullptr when the deadline passed.
xcb_generic_event_t *nextEvent(xcb_connection_t *x, Clock::time_point deadline)
{
    for (;;) {
        if (xcb_generic_event_t *event = xcb_poll_for_event(x))
            return event;
        const auto left
            = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || xcb_connection_has_error(x))
            return nullptr;
        pollfd fd { xcb_get_file_descriptor(x), POLLIN, 0 };
        poll(&fd, 1, int(left.count()));
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s idle-seconds program [arguments...]\n", argv[0]);
        return 2;
    }
    const double idleSeconds = std::atof(argv[1]);

    int screenNumber = 0;
    xcb_connection_t *x = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(x)) {
        std::fprintf(stderr, "%s: cannot open the display\n", argv[0]);
        return 2;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(x));
    for (int i = 0; i < screenNumber; ++i)
        xcb_screen_next(&screens);
    const xcb_window_t root = screens.data->root;
    const xcb_atom_t pidAtom = atom(x, "_NET_WM_PID");
    // Reparenting a child of the root is reported to whoever watches the root's substructure.
    const std::uint32_t rootEvents = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(x, root, XCB_CW_EVENT_MASK, &rootEvents);
    xcb_flush(x);

    const Clock::time_point launched = Clock::now();
    pid_t pid = 0;
    if (const int error = posix_spawnp(&pid, argv[2], nullptr, nullptr, argv + 2, environ)) {
        std::fprintf(stderr, "%s: cannot start %s: %s\n", argv[0], argv[2], std::strerror(error));
        return 2;
    }

    const Clock::time_point deadline = launched + std::chrono::seconds(20);
    xcb_window_t icon = XCB_WINDOW_NONE;
    std::optional<Clock::time_point> docked;
    while (!docked) {
        const std::unique_ptr<xcb_generic_event_t, decltype(&std::free)> event(
            nextEvent(x, deadline), &std::free);
        if (!event)
            break;
        const auto type = event->response_type & 0x7f;
        if (type == XCB_REPARENT_NOTIFY && icon == XCB_WINDOW_NONE) {
            const auto *reparent = reinterpret_cast<xcb_reparent_notify_event_t *>(event.get());
            if (reparent->event != root || reparent->parent == root
                || windowPid(x, reparent->window, pidAtom) != std::uint32_t(pid))
                continue;
            icon = reparent->window;
            const std::uint32_t iconEvents = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
            xcb_change_window_attributes(x, icon, XCB_CW_EVENT_MASK, &iconEvents);
            // Mapped before the probe was listening to the icon itself?
            if (isViewable(x, icon))
                docked = Clock::now();
        } else if (type == XCB_MAP_NOTIFY && icon != XCB_WINDOW_NONE
            && reinterpret_cast<xcb_map_notify_event_t *>(event.get())->window == icon) {
            docked = Clock::now();
        }
    }
    const double cpuMs = cpuNanoseconds(pid) / 1e6;

    int status = 0;
    if (docked) {
        std::this_thread::sleep_for(std::chrono::duration<double>(idleSeconds));
        const double dockMs = std::chrono::duration<double, std::milli>(*docked - launched).count();
        std::printf("dock_ms=%.1f cpu_ms=%.1f rss_kb=%ld anon_kb=%ld file_kb=%ld\n", dockMs, cpuMs,
            statusKilobytes(pid, "VmRSS"), statusKilobytes(pid, "RssAnon"),
            statusKilobytes(pid, "RssFile"));
    } else {
        std::fprintf(stderr, "%s: the icon of %s did not dock\n", argv[0], argv[2]);
        status = 1;
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    xcb_disconnect(x);
    return status;
}
