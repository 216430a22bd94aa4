// main() of the programs that drive the application on their own Xvfb with openbox.
// MIRELO_TEST_SCREEN=WxH sets the screen's size; MIRELO_TEST_MONITORS=halves makes its left
// and right halves two RandR monitors before the application starts.
#include "X11AppTest.h"

#include <sys/uio.h>
#include <xcb/randr.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include <QApplication>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <QRect>
#include <QSize>
#include "i18n/Language.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <unistd.h>

namespace {
mirelo::test::XvfbServer* server = nullptr;
}

mirelo::test::XvfbServer& mirelo::test::appServer() {
    return *server;
}

namespace {

xcb_atom_t atomNamed(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<uint16_t>(strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

// RRSetMonitor, sent by hand (the generated wrapper mis-sizes it in this libxcb): a monitor
// `name` at `rect`, showing `output` (none for XCB_NONE).
void setMonitor(xcb_connection_t* c, const char* name, const QRect& rect,
                xcb_randr_output_t output) {
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    struct {
        xcb_randr_set_monitor_request_t header;
        xcb_randr_monitor_info_t info;
        xcb_randr_output_t output;
    } request{};
    request.header.window = root;
    request.info.name = atomNamed(c, name);
    request.info.primary = output != XCB_NONE;
    request.info.nOutput = output != XCB_NONE ? 1 : 0;
    request.info.x = static_cast<int16_t>(rect.x());
    request.info.y = static_cast<int16_t>(rect.y());
    request.info.width = static_cast<uint16_t>(rect.width());
    request.info.height = static_cast<uint16_t>(rect.height());
    request.info.width_in_millimeters = static_cast<uint32_t>(rect.width() / 4);
    request.info.height_in_millimeters = static_cast<uint32_t>(rect.height() / 4);
    request.output = output;
    iovec parts[3];
    parts[2].iov_base = &request;
    parts[2].iov_len = output != XCB_NONE ? sizeof request : sizeof request - sizeof output;
    xcb_protocol_request_t protocol{1, &xcb_randr_id, XCB_RANDR_SET_MONITOR, 1};
    xcb_send_request(c, 0, parts + 2, &protocol);
}

// The screen's left and right halves as two monitors, the left one showing the output.
void splitIntoHalves(mirelo::test::XvfbServer& xvfb, const QSize& screen) {
    xcb_connection_t* c = xvfb.connection();
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_randr_get_screen_resources_reply_t* resources =
        xcb_randr_get_screen_resources_reply(c, xcb_randr_get_screen_resources(c, root), nullptr);
    xcb_randr_output_t output = XCB_NONE;
    if (resources && xcb_randr_get_screen_resources_outputs_length(resources) > 0) {
        output = xcb_randr_get_screen_resources_outputs(resources)[0];
    }
    std::free(resources);
    const int half = screen.width() / 2;
    setMonitor(c, "LEFT", QRect(0, 0, half, screen.height()), output);
    setMonitor(c, "RIGHT", QRect(half, 0, screen.width() - half, screen.height()), XCB_NONE);
    xvfb.sync();
}

}  // namespace

int main(int argc, char** argv) {
    // Recordings made by tests go to a cache folder of this process, never the user's.
    const QString cache =
        QDir::temp().filePath(QStringLiteral("mirelo-test-cache-%1").arg(getpid()));
    setenv("XDG_CACHE_HOME", QFile::encodeName(cache).constData(), 1);
    ::testing::InitGoogleTest(&argc, argv);
    mirelo::test::XvfbServer::Options options;
    options.windowManager = true;
#ifdef MIRELO_XVFB_WIDTH
    options.width = MIRELO_XVFB_WIDTH;
#endif
    if (const char* size = std::getenv("MIRELO_TEST_SCREEN")) {
        std::sscanf(size, "%dx%d", &options.width, &options.height);
    }
    mirelo::test::XvfbServer xvfb(options);
    if (!xvfb.ok()) {
        std::fprintf(stderr, "Xvfb did not start: %s\n", qPrintable(xvfb.error()));
        return 1;
    }
    if (const char* monitors = std::getenv("MIRELO_TEST_MONITORS");
        monitors && std::strcmp(monitors, "halves") == 0) {
        splitIntoHalves(xvfb, QSize(options.width, options.height));
    }
    server = &xvfb;
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    // The tests read the interface's Chinese texts; one that checks English
    // installs it itself. Programs the tests start inherit the choice.
    setenv("MIRELO_LANG", "zh_CN", 1);
    QApplication app(argc, argv);
    mirelo::i18n::install(mirelo::i18n::chooseLanguage());
    const int result = RUN_ALL_TESTS();
    server = nullptr;
    QDir(cache).removeRecursively();
    return result;
}
