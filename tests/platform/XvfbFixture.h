#pragma once

// A private X server for tests that need a display: Xvfb on a free display number (picked by
// the server itself), optionally with openbox as window manager, torn down with the object.
// Also a few raw-X helpers to put plain coloured windows on it.

#include <QByteArray>
#include <QRect>
#include <QString>

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

typedef struct xcb_connection_t xcb_connection_t;

namespace mirelo::test {

class XvfbServer {
public:
    struct Options {
        int width = 1920;
        int height = 1080;
        bool windowManager = false;  // start openbox and wait until it manages the screen
        bool setDisplayEnv = true;   // export DISPLAY (for xdotool and other child programs)
        std::vector<std::string> extraArguments;  // more Xvfb options ("-extension", "MIT-SHM")
    };

    XvfbServer() : XvfbServer(Options{}) {}
    explicit XvfbServer(const Options& options);
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    // True when the server (and the window manager, if asked for) came up. If not, error().
    bool ok() const { return m_ok; }
    const QString& error() const { return m_error; }
    // ":N"
    const QByteArray& displayName() const { return m_display; }

    // Ends the server at once (for tests of a display server going away). Its
    // display number stays taken until this object goes, so no server of a
    // test running in parallel answers on it meanwhile.
    void kill();

    // A connection of the test's own, for the window helpers below.
    xcb_connection_t* connection() const { return m_connection; }

    // Maps a top-level window filled with `rgb` (0xRRGGBB) at `rect` (root coordinates, client
    // area) and waits until it shows. `pid` becomes its _NET_WM_PID (0: none). Returns its id.
    uint32_t createWindow(const QRect& rect, uint32_t rgb, uint32_t pid = 1);
    // Fills a rectangle of an existing window with a colour and waits for it.
    void fill(uint32_t window, const QRect& rect, uint32_t rgb);
    void destroyWindow(uint32_t window);
    // Moves the pointer (XTEST-free: a warp on the root).
    void movePointer(int x, int y);
    // Waits for the server to process everything sent so far.
    void sync();

    // Runs a program with DISPLAY set to this server; returns its exit status.
    int run(const QString& program, const QStringList& arguments);

private:
    bool waitForWindowManager(int timeoutMs);

    bool m_ok = false;
    QString m_error;
    QByteArray m_display;
    pid_t m_server = -1;
    pid_t m_windowManager = -1;
    xcb_connection_t* m_connection = nullptr;
    QByteArray m_previousDisplay;
    bool m_hadDisplay = false;
    bool m_setEnv = false;
    int m_heldDisplay = -1;  // a socket bound to the killed server's address
};

}  // namespace mirelo::test
