// The window picker: the selection rule on crafted window lists, and real picks on a private
// X server with a window manager, driven by synthetic input.
#include "XvfbFixture.h"
#include "platform/WindowPicker.h"
#include "platform/x11/X11WindowList.h"
#include "support/TestImages.h"

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <unistd.h>

using namespace std::chrono_literals;

namespace mirelo {
namespace {

constexpr uint32_t kOwnPid = 4242;

WindowListEntry window(QRect bounds, std::optional<uint32_t> pid = 77) {
    WindowListEntry entry;
    entry.pid = pid;
    entry.bounds = bounds;
    return entry;
}

TEST(WindowFrameRule, TakesTheFrontMostSuitableWindowUnderThePoint) {
    const std::vector<WindowListEntry> list = {
        window(QRect(100, 100, 40, 600)),  // too narrow
        window(QRect(0, 0, 800, 49)),      // too short
        window(QRect(50, 50, 400, 300)),   // the one
        window(QRect(0, 0, 1920, 1080)),   // behind it
    };
    EXPECT_EQ(WindowPicker::windowFrame(QPoint(110, 120), list, kOwnPid), QRect(50, 50, 400, 300));
    EXPECT_EQ(WindowPicker::windowFrame(QPoint(10, 10), list, kOwnPid), QRect(0, 0, 1920, 1080));
    EXPECT_EQ(WindowPicker::windowFrame(QPoint(2000, 10), list, kOwnPid), std::nullopt);
    EXPECT_EQ(WindowPicker::windowFrame(QPoint(10, 10), {}, kOwnPid), std::nullopt);
    // Exactly 50 x 50 is big enough.
    EXPECT_EQ(WindowPicker::windowFrame(QPoint(5, 5), {window(QRect(0, 0, 50, 50))}, kOwnPid),
              QRect(0, 0, 50, 50));
    // The minimum is in points: at two device pixels a point, 80 pixels are too few.
    EXPECT_EQ(WindowPicker::windowFrame(QPoint(5, 5), {window(QRect(0, 0, 80, 200))}, kOwnPid, 2.0),
              std::nullopt);
    EXPECT_TRUE(
        WindowPicker::windowFrame(QPoint(5, 5), {window(QRect(0, 0, 100, 200))}, kOwnPid, 2.0));
}

TEST(WindowFrameRule, LeftAndTopEdgesAreInsideRightAndBottomOutside) {
    const std::vector<WindowListEntry> list = {window(QRect(100, 200, 300, 100))};
    EXPECT_TRUE(WindowPicker::windowFrame(QPoint(100, 200), list, kOwnPid));
    EXPECT_TRUE(WindowPicker::windowFrame(QPoint(399, 299), list, kOwnPid));
    EXPECT_FALSE(WindowPicker::windowFrame(QPoint(400, 250), list, kOwnPid));
    EXPECT_FALSE(WindowPicker::windowFrame(QPoint(150, 300), list, kOwnPid));
    EXPECT_FALSE(WindowPicker::windowFrame(QPoint(99, 250), list, kOwnPid));
}

TEST(WindowFrameRule, SkipsOwnUnknownSpecialAndAboveWindows) {
    WindowListEntry dock = window(QRect(0, 0, 500, 500));
    dock.isNormal = false;
    WindowListEntry above = window(QRect(0, 0, 500, 500));
    above.isAbove = true;
    const std::vector<WindowListEntry> list = {
        window(QRect(0, 0, 500, 500), kOwnPid),
        window(QRect(0, 0, 500, 500), std::nullopt),
        dock,
        above,
        window(QRect(10, 10, 300, 300), 1),
    };
    EXPECT_EQ(WindowPicker::windowFrame(QPoint(20, 20), list, kOwnPid), QRect(10, 10, 300, 300));
    EXPECT_EQ(WindowPicker::windowFrame(QPoint(400, 400), list, kOwnPid), std::nullopt);
}

TEST(WindowFrameRule, AClickOnOurOwnWindowPicksNothing) {
    const std::vector<WindowListEntry> list = {
        window(QRect(100, 100, 200, 200), kOwnPid),
        window(QRect(0, 0, 800, 600), 1),
    };
    EXPECT_EQ(WindowPicker::pickAt(QPoint(150, 150), list, kOwnPid), std::nullopt);
    // Beside our window, the one behind is picked.
    EXPECT_EQ(WindowPicker::pickAt(QPoint(50, 50), list, kOwnPid), QRect(0, 0, 800, 600));
    // A small window of another program in front still lets the click through to the next.
    const std::vector<WindowListEntry> small = {window(QRect(100, 100, 20, 20), 9),
                                                window(QRect(0, 0, 800, 600), 1)};
    EXPECT_EQ(WindowPicker::pickAt(QPoint(105, 105), small, kOwnPid), QRect(0, 0, 800, 600));
}

// Real picks under openbox.
class WindowPickerX11Test : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.ok()) << server.error().toStdString();
        WindowPicker::shared().setWindowListSource(nullptr);
    }
    void TearDown() override { WindowPicker::shared().cancel(); }

    // Starts a pick and waits until it holds the pointer (another client's grab then fails).
    void beginPick() {
        WindowPicker::shared().begin([this](std::optional<PickedWindow> picked) {
            ++calls;
            result = picked ? std::optional<QRectF>(picked->frame) : std::nullopt;
            pickedWindow = picked ? picked->window : 0;
        });
        ASSERT_TRUE(test::waitUntil([&] { return pointerIsGrabbedElsewhere(); }, 3s));
    }

    bool pointerIsGrabbedElsewhere() {
        xcb_connection_t* c = server.connection();
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
        xcb_grab_pointer_reply_t* reply = xcb_grab_pointer_reply(
            c,
            xcb_grab_pointer(c, 0, root, 0, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC, XCB_NONE,
                             XCB_NONE, XCB_CURRENT_TIME),
            nullptr);
        const bool grabbed = reply != nullptr && reply->status == XCB_GRAB_STATUS_ALREADY_GRABBED;
        if (reply != nullptr && reply->status == XCB_GRAB_STATUS_SUCCESS) {
            xcb_ungrab_pointer(c, XCB_CURRENT_TIME);
            server.sync();
        }
        std::free(reply);
        return grabbed;
    }

    // The window manager's frame extents of a client (left, right, top, bottom).
    std::vector<uint32_t> frameExtents(uint32_t client) {
        xcb_connection_t* c = server.connection();
        const char name[] = "_NET_FRAME_EXTENTS";
        xcb_intern_atom_reply_t* atom =
            xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof name - 1, name), nullptr);
        xcb_get_property_reply_t* reply = xcb_get_property_reply(
            c, xcb_get_property(c, 0, client, atom->atom, XCB_ATOM_CARDINAL, 0, 4), nullptr);
        std::vector<uint32_t> values(4, 0);
        if (reply != nullptr && xcb_get_property_value_length(reply) == 16) {
            const auto* data = static_cast<const uint32_t*>(xcb_get_property_value(reply));
            values.assign(data, data + 4);
        }
        std::free(reply);
        std::free(atom);
        return values;
    }

    QPoint rootPosition(uint32_t client) {
        xcb_connection_t* c = server.connection();
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
        xcb_translate_coordinates_reply_t* reply = xcb_translate_coordinates_reply(
            c, xcb_translate_coordinates(c, client, root, 0, 0), nullptr);
        const QPoint position = reply ? QPoint(reply->dst_x, reply->dst_y) : QPoint();
        std::free(reply);
        return position;
    }

    void click(int x, int y) {
        ASSERT_EQ(server.run("xdotool",
                             {"mousemove", QString::number(x), QString::number(y), "click", "1"}),
                  0);
    }

    test::XvfbServer server{test::XvfbServer::Options{1920, 1080, true, true}};
    int calls = 0;
    std::optional<QRectF> result;
    uint32_t pickedWindow = 0;
};

TEST_F(WindowPickerX11Test, ClickPicksTheWindowWithItsFrame) {
    const uint32_t target = server.createWindow(QRect(300, 200, 500, 400), 0xff0000, 1);
    server.createWindow(QRect(900, 200, 300, 300), 0x0000ff, 1);
    beginPick();
    click(500, 400);
    ASSERT_TRUE(test::waitUntil([&] { return calls > 0; }, 5s));
    ASSERT_TRUE(result);
    const std::vector<uint32_t> extents = frameExtents(target);
    // The client keeps its size; the frame adds the decorations around it.
    EXPECT_EQ(result->width(), 500 + extents[0] + extents[1]);
    EXPECT_EQ(result->height(), 400 + extents[2] + extents[3]);
    EXPECT_GT(extents[2], 0u) << "openbox decorates the window";
    const QPoint client = rootPosition(target);
    EXPECT_EQ(result->topLeft(), QPointF(client.x() - extents[0], client.y() - extents[2]));
    // The application's window, not the frame, is what a recording of it follows.
    EXPECT_EQ(pickedWindow, target);

    // The pick is over: the grab is gone and further clicks are not seen.
    EXPECT_FALSE(pointerIsGrabbedElsewhere());
    click(1000, 300);
    test::spinFor(200ms);
    EXPECT_EQ(calls, 1);
}

TEST_F(WindowPickerX11Test, AWindowDrawingItsOwnFrameIsPickedWithoutItsShadow) {
    const uint32_t target = server.createWindow(QRect(300, 200, 500, 400), 0xff0000, 1);
    // Shadow margins left 20, right 24, top 10, bottom 30, as such windows publish them.
    xcb_connection_t* c = server.connection();
    const char name[] = "_GTK_FRAME_EXTENTS";
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof name - 1, name), nullptr);
    ASSERT_NE(atom, nullptr);
    const uint32_t shadow[] = {20, 24, 10, 30};
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, target, atom->atom, XCB_ATOM_CARDINAL, 32, 4,
                        shadow);
    std::free(atom);
    server.sync();
    beginPick();
    click(500, 400);
    ASSERT_TRUE(test::waitUntil([&] { return calls > 0; }, 5s));
    ASSERT_TRUE(result);
    const std::vector<uint32_t> extents = frameExtents(target);
    const QPoint client = rootPosition(target);
    EXPECT_EQ(*result,
              QRectF(client.x() + 20 - extents[0], client.y() + 10 - extents[2],
                     500 - 44 + extents[0] + extents[1], 400 - 40 + extents[2] + extents[3]));
}

TEST_F(WindowPickerX11Test, EscapeCancelsEvenWithAnotherWindowFocused) {
    server.createWindow(QRect(300, 200, 500, 400), 0xff0000, 1);
    click(500, 400);  // focus the other program's window
    beginPick();
    ASSERT_EQ(server.run("xdotool", {"key", "a"}), 0);
    test::spinFor(150ms);
    EXPECT_EQ(calls, 0) << "other keys change nothing";
    ASSERT_EQ(server.run("xdotool", {"key", "Escape"}), 0);
    ASSERT_TRUE(test::waitUntil([&] { return calls > 0; }, 5s));
    EXPECT_EQ(result, std::nullopt);
    EXPECT_FALSE(pointerIsGrabbedElsewhere());
}

TEST_F(WindowPickerX11Test, ClickOnOwnWindowOrDesktopPicksNothing) {
    server.createWindow(QRect(300, 200, 500, 400), 0x00ff00, static_cast<uint32_t>(getpid()));
    beginPick();
    click(500, 400);
    ASSERT_TRUE(test::waitUntil([&] { return calls > 0; }, 5s));
    EXPECT_EQ(result, std::nullopt);

    beginPick();
    click(1500, 900);
    ASSERT_TRUE(test::waitUntil([&] { return calls > 1; }, 5s));
    EXPECT_EQ(result, std::nullopt);
}

TEST_F(WindowPickerX11Test, CancelAndReplaceDropTheEarlierCallbackUncalled) {
    server.createWindow(QRect(300, 200, 500, 400), 0xff0000, 1);
    int first = 0;
    WindowPicker::shared().begin([&](std::optional<PickedWindow>) { ++first; });
    beginPick();  // replaces the first pick
    click(500, 400);
    ASSERT_TRUE(test::waitUntil([&] { return calls > 0; }, 5s));
    EXPECT_TRUE(result);
    EXPECT_EQ(first, 0);

    beginPick();
    WindowPicker::shared().cancel();
    EXPECT_FALSE(WindowPicker::shared().isPicking());
    EXPECT_TRUE(test::waitUntil([&] { return !pointerIsGrabbedElsewhere(); }, 2s));
    click(500, 400);
    test::spinFor(200ms);
    EXPECT_EQ(calls, 1);
}

TEST_F(WindowPickerX11Test, WindowListIsFrontMostFirstWithFrames) {
    const uint32_t back = server.createWindow(QRect(100, 100, 400, 300), 0xff0000, 1);
    server.createWindow(QRect(200, 150, 400, 300), 0x0000ff, 2);
    const std::vector<uint32_t> extents = frameExtents(back);
    const auto frame = WindowPicker::windowFrame(QPointF(150, 150));
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->width(), 400 + extents[0] + extents[1]);
    const auto list = X11WindowList().windowsFrontMostFirst();
    ASSERT_TRUE(list);
    ASSERT_GE(list->size(), 2u);
    EXPECT_EQ((*list)[0].pid, 2u);
    EXPECT_EQ((*list)[1].pid, 1u);
}

TEST(WindowListWithoutWindowManager, UsesTheViewableChildrenOfTheRoot) {
    test::XvfbServer server;
    ASSERT_TRUE(server.ok());
    server.createWindow(QRect(100, 100, 400, 300), 0xff0000, 1);
    server.createWindow(QRect(200, 150, 400, 300), 0x0000ff, 2);
    const auto list = X11WindowList(server.displayName()).windowsFrontMostFirst();
    ASSERT_TRUE(list);
    ASSERT_EQ(list->size(), 2u);
    EXPECT_EQ((*list)[0].pid, 2u);
    EXPECT_EQ((*list)[0].bounds, QRect(200, 150, 400, 300));
    EXPECT_EQ((*list)[1].bounds, QRect(100, 100, 400, 300));
    EXPECT_EQ(WindowPicker::windowFrame(QPoint(150, 120), *list, kOwnPid),
              QRect(100, 100, 400, 300));
}

}  // namespace
}  // namespace mirelo
