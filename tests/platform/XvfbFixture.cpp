#include "XvfbFixture.h"

#include <QProcess>
#include <QStringList>

#include <xcb/xcb.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace mirelo::test {

namespace {

pid_t spawn(const std::vector<std::string>& argv, const char* display, int keepFd = -1) {
    // Everything the child needs is built before fork(): other threads may hold the allocator.
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (display == nullptr || std::strncmp(*entry, "DISPLAY=", 8) != 0) {
            environment.emplace_back(*entry);
        }
    }
    if (display != nullptr) {
        environment.push_back(std::string("DISPLAY=") + display);
    }
    std::vector<char*> envp;
    for (std::string& entry : environment) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);

    const pid_t pid = fork();
    if (pid != 0) {
        return pid;
    }
    // Child: its own process group, ended with the test even if the test crashes; quiet output.
    setpgid(0, 0);
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    const int devnull = open("/dev/null", O_RDWR);
    if (devnull >= 0) {
        dup2(devnull, STDIN_FILENO);
        dup2(devnull, STDOUT_FILENO);
        dup2(devnull, STDERR_FILENO);
    }
    for (int fd = 3; fd < 1024; ++fd) {
        if (fd != keepFd) {
            close(fd);
        }
    }
    execvpe(args[0], args.data(), envp.data());
    _exit(127);
}

void endProcess(pid_t& pid) {
    if (pid <= 0) {
        return;
    }
    ::kill(pid, SIGTERM);
    for (int i = 0; i < 200; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            pid = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    pid = -1;
}

xcb_atom_t internAtom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : 0;
    std::free(reply);
    return atom;
}

// Binds (without listening) the abstract socket an X server on `display`
// (":N") listens on. Servers started with -displayfd pick the first number
// whose socket they can bind, so while this is bound they pass the number by,
// and clients connecting to it are refused. -1 while another process holds it.
int holdDisplay(const QByteArray& display) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string name = "/tmp/.X11-unix/X" + display.mid(1).toStdString();
    std::memcpy(address.sun_path + 1, name.data(), name.size());  // sun_path[0] = 0: abstract
    const socklen_t length = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    if (bind(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

xcb_screen_t* firstScreen(xcb_connection_t* c) {
    return xcb_setup_roots_iterator(xcb_get_setup(c)).data;
}

}  // namespace

XvfbServer::XvfbServer(const Options& options) {
    int fds[2];
    if (pipe(fds) != 0) {
        m_error = QStringLiteral("pipe failed");
        return;
    }
    const std::string screen =
        std::to_string(options.width) + "x" + std::to_string(options.height) + "x24";
    // -noreset: the server must not reset (and drop new connections) each time its last client
    // leaves.
    std::vector<std::string> arguments = {"Xvfb",      "-displayfd", std::to_string(fds[1]),
                                          "-screen",   "0",          screen,
                                          "-nolisten", "tcp",        "-noreset"};
    arguments.insert(arguments.end(), options.extraArguments.begin(), options.extraArguments.end());
    m_server = spawn(arguments, nullptr, fds[1]);
    close(fds[1]);
    // The server writes its display number once it accepts connections.
    std::string number;
    pollfd waitFor{fds[0], POLLIN, 0};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        if (poll(&waitFor, 1, 100) > 0) {
            char buffer[32];
            const ssize_t n = read(fds[0], buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            number.append(buffer, static_cast<size_t>(n));
            if (number.find('\n') != std::string::npos) {
                break;
            }
        }
    }
    close(fds[0]);
    while (!number.empty() && (number.back() == '\n' || number.back() == ' ')) {
        number.pop_back();
    }
    if (number.empty()) {
        m_error = QStringLiteral("Xvfb did not start");
        endProcess(m_server);
        return;
    }
    m_display = QByteArray(":") + QByteArray::fromStdString(number);

    m_connection = xcb_connect(m_display.constData(), nullptr);
    if (xcb_connection_has_error(m_connection)) {
        m_error = QStringLiteral("cannot connect to ") + QString::fromLatin1(m_display);
        return;
    }
    if (options.setDisplayEnv) {
        m_setEnv = true;
        const char* previous = std::getenv("DISPLAY");
        m_hadDisplay = previous != nullptr;
        m_previousDisplay = previous ? QByteArray(previous) : QByteArray();
        setenv("DISPLAY", m_display.constData(), 1);
    }
    if (options.windowManager) {
        m_windowManager = spawn({"openbox", "--sm-disable"}, m_display.constData());
        if (!waitForWindowManager(10000)) {
            m_error = QStringLiteral("openbox did not start");
            return;
        }
    }
    m_ok = true;
}

XvfbServer::~XvfbServer() {
    if (m_connection != nullptr) {
        xcb_disconnect(m_connection);
    }
    endProcess(m_windowManager);
    endProcess(m_server);
    if (m_heldDisplay >= 0) {
        close(m_heldDisplay);
    }
    if (m_setEnv) {
        if (m_hadDisplay) {
            setenv("DISPLAY", m_previousDisplay.constData(), 1);
        } else {
            unsetenv("DISPLAY");
        }
    }
}

void XvfbServer::kill() {
    endProcess(m_windowManager);
    if (m_server > 0) {
        ::kill(m_server, SIGKILL);
        // Take the server's address the moment it is free: until then another
        // server starting in parallel could take over the display number.
        bool exited = false;
        while (m_heldDisplay < 0 && !exited) {
            exited = waitpid(m_server, nullptr, WNOHANG) == m_server;
            m_heldDisplay = holdDisplay(m_display);
            if (m_heldDisplay < 0 && !exited) {
                std::this_thread::sleep_for(std::chrono::microseconds(50));
            }
        }
        if (!exited) {
            waitpid(m_server, nullptr, 0);
        }
        m_server = -1;
    }
}

bool XvfbServer::waitForWindowManager(int timeoutMs) {
    const xcb_atom_t check = internAtom(m_connection, "_NET_SUPPORTING_WM_CHECK");
    const xcb_window_t root = firstScreen(m_connection)->root;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        xcb_get_property_reply_t* reply = xcb_get_property_reply(
            m_connection, xcb_get_property(m_connection, 0, root, check, XCB_ATOM_WINDOW, 0, 1),
            nullptr);
        const bool present = reply != nullptr && xcb_get_property_value_length(reply) == 4;
        std::free(reply);
        if (present) {
            // Give it a moment to finish taking over the screen.
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

void XvfbServer::sync() {
    std::free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
}

uint32_t XvfbServer::createWindow(const QRect& rect, uint32_t rgb, uint32_t pid) {
    xcb_connection_t* c = m_connection;
    xcb_screen_t* screen = firstScreen(c);
    const xcb_window_t window = xcb_generate_id(c);
    const uint32_t values[] = {rgb, XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_STRUCTURE_NOTIFY};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, static_cast<int16_t>(rect.x()),
                      static_cast<int16_t>(rect.y()), static_cast<uint16_t>(rect.width()),
                      static_cast<uint16_t>(rect.height()), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
    if (pid != 0) {
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, internAtom(c, "_NET_WM_PID"),
                            XCB_ATOM_CARDINAL, 32, 1, &pid);
    }
    const xcb_atom_t type = internAtom(c, "_NET_WM_WINDOW_TYPE");
    const xcb_atom_t normal = internAtom(c, "_NET_WM_WINDOW_TYPE_NORMAL");
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, type, XCB_ATOM_ATOM, 32, 1, &normal);
    // Ask the window manager to keep the requested position.
    uint32_t hints[18] = {};
    hints[0] = 1 | 4;  // USPosition | PPosition
    hints[1] = static_cast<uint32_t>(rect.x());
    hints[2] = static_cast<uint32_t>(rect.y());
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NORMAL_HINTS,
                        XCB_ATOM_WM_SIZE_HINTS, 32, 18, hints);
    xcb_map_window(c, window);
    xcb_flush(c);
    // Wait until it is viewable and exposed (the window manager may reparent it first).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
        xcb_get_window_attributes_reply_t* attributes =
            xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr);
        const bool viewable =
            attributes != nullptr && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
        std::free(attributes);
        if (viewable) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
        std::free(event);
    }
    fill(window, QRect(0, 0, rect.width(), rect.height()), rgb);
    // Let a window manager finish placing and decorating it.
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    sync();
    return window;
}

void XvfbServer::fill(uint32_t window, const QRect& rect, uint32_t rgb) {
    xcb_connection_t* c = m_connection;
    const xcb_gcontext_t gc = xcb_generate_id(c);
    xcb_create_gc(c, gc, window, XCB_GC_FOREGROUND, &rgb);
    const xcb_rectangle_t r{static_cast<int16_t>(rect.x()), static_cast<int16_t>(rect.y()),
                            static_cast<uint16_t>(rect.width()),
                            static_cast<uint16_t>(rect.height())};
    xcb_poly_fill_rectangle(c, window, gc, 1, &r);
    xcb_free_gc(c, gc);
    sync();
}

void XvfbServer::destroyWindow(uint32_t window) {
    xcb_destroy_window(m_connection, window);
    sync();
}

void XvfbServer::movePointer(int x, int y) {
    xcb_warp_pointer(m_connection, XCB_NONE, firstScreen(m_connection)->root, 0, 0, 0, 0,
                     static_cast<int16_t>(x), static_cast<int16_t>(y));
    sync();
}

int XvfbServer::run(const QString& program, const QStringList& arguments) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(m_display));
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

}  // namespace mirelo::test
