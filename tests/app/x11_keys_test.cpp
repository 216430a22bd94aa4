// Keys and clicks through the whole application on a real X server (a private Xvfb with
// openbox): xdotool types, presses Ctrl+S and clicks during a recording with 显示按键 on; the
// editor holds the caption and the click mark on the frames after them, and the saved GIF
// shows them there.
//
// Runs as its own program: the X server must exist before the Qt application connects to it.
#include "X11AppTest.h"
#include "app/AppState.h"
#include "editor/EditorState.h"
#include "platform/x11/X11CaptureBackend.h"
#include "support/EditorClosing.h"
#include "support/TestImages.h"
#include "ui/editor/EditorView.h"
#include "ui/editor/EditorWindowController.h"
#include "ui/recorder/RecorderHeader.h"
#include "ui/recorder/RecorderWindow.h"
#include "ui/recorder/RecorderWindowController.h"

#include <QFileDialog>
#include <QImageReader>
#include <QLineEdit>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <cmath>

using namespace mirelo;
using namespace std::chrono_literals;

namespace {

class Plain : public QWidget {
protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).fillRect(rect(), QColor(128, 128, 128));
    }
};

void settle() {
    test::appServer().sync();
    test::spinFor(300ms);
}

void xdotool(const QStringList& arguments) {
    ASSERT_EQ(test::appServer().run("xdotool", arguments), 0);
}

class X11KeysTest : public ::testing::Test {
protected:
    void SetUp() override {
        below.setGeometry(100, 100, 1000, 700);
        below.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&below));
        AppServices services;
        services.recorder = std::make_unique<ScreenRecorder>(
            makeX11CaptureBackend(test::appServer().displayName()));
        services.alerts = alerts;
        services.revealFile = [this](const QString& path) { revealed << path; };
        state = std::make_unique<AppState>(std::move(services));
        state->setShowsCursor(false);
        state->setFps(10);
        RecorderWindow* window = state->recorderWindowController()->window();
        ASSERT_TRUE(test::waitUntil([&] { return window->isVisible(); }, 3s));
        window->setGeometry(300, 250, 320, 244);
        settle();
    }

    // Records about 3 s: "ab" typed, Ctrl+S a second later, then a click at `at` (global).
    EditorWindowController* record(QPoint at) {
        state->toggleRecording();
        EXPECT_TRUE(test::waitUntil([&] { return state->isRecording(); }, 5s))
            << alerts->shown.join(" | ").toStdString();
        test::spinFor(500ms);
        xdotool({"type", "--delay", "50", "ab"});
        test::spinFor(1000ms);
        xdotool({"key", "ctrl+s"});
        test::spinFor(800ms);
        xdotool({"mousemove", QString::number(at.x()), QString::number(at.y()), "click", "1"});
        test::spinFor(800ms);
        state->toggleRecording();
        EXPECT_TRUE(test::waitUntil([&] { return state->editor() != nullptr; }, 5s));
        return state->editor();
    }

    static QStringList captions(const EditorState& model) {
        QStringList texts;
        for (const OverlayItem& item : model.overlays()) {
            if (const auto* caption = std::get_if<KeyCaptionOverlay>(&item.content)) {
                texts << caption->text;
            }
        }
        return texts;
    }

    static const OverlayItem* markOf(const EditorState& model) {
        for (const OverlayItem& item : model.overlays()) {
            if (std::holds_alternative<ClickMarkOverlay>(item.content)) {
                return &item;
            }
        }
        return nullptr;
    }

    static int indexOf(const EditorState& model, const QUuid& id) {
        for (int i = 0; i < model.frameCount(); ++i) {
            if (model.frames()[i].id == id) {
                return i;
            }
        }
        return -1;
    }

    Plain below;
    std::shared_ptr<test::SilentAlerts> alerts = std::make_shared<test::SilentAlerts>();
    QStringList revealed;
    std::unique_ptr<AppState> state;
};

int countPixels(const QImage& image, const QRect& area, const std::function<bool(QColor)>& test) {
    int count = 0;
    const QRect clipped = area.intersected(image.rect());
    for (int y = clipped.top(); y <= clipped.bottom(); ++y) {
        for (int x = clipped.left(); x <= clipped.right(); ++x) {
            if (test(image.pixelColor(x, y))) {
                ++count;
            }
        }
    }
    return count;
}

bool yellow(QColor c) {
    return c.red() > 200 && c.green() > 140 && c.blue() < 90;
}

bool white(QColor c) {
    return c.red() > 200 && c.green() > 200 && c.blue() > 200;
}

TEST_F(X11KeysTest, ShortcutsAndClicksBecomeOverlaysAndAreSavedInTheGif) {
    RecorderHeader* header = state->recorderWindowController()->window()->header();
    QToolButton* keys = header->keysButton();
    ASSERT_NE(keys, nullptr);
    EXPECT_FALSE(keys->isChecked());  // off at start
    keys->click();
    EXPECT_TRUE(state->showsKeys());
    EXPECT_FALSE(state->allKeys());  // 仅快捷键

    const QRect region = state->recorderWindowController()->captureRegion();
    const QPoint clicked = region.topLeft() + QPoint(120, 70);
    EditorWindowController* editor = record(clicked);
    ASSERT_NE(editor, nullptr);
    EditorState* model = editor->state();
    EXPECT_TRUE(header->keysButton()->isChecked());  // kept for the run

    EXPECT_EQ(captions(*model), QStringList{"Ctrl+S"});
    const OverlayItem* mark = markOf(*model);
    ASSERT_NE(mark, nullptr);
    const auto& ring = std::get<ClickMarkOverlay>(mark->content);
    EXPECT_NEAR(ring.center.x(), 120.5, 1.0);
    EXPECT_NEAR(ring.center.y(), 70.5, 1.0);
    const int first = indexOf(*model, mark->frames.first());
    ASSERT_GT(first, 0);
    ASSERT_LT(first, model->frameCount());
    EXPECT_TRUE(editor->view()->showClicksAction()->isVisible());
    EXPECT_TRUE(editor->view()->showKeysAction()->isChecked());
    int captionFrame = -1;
    for (const OverlayItem& item : model->overlays()) {
        if (std::holds_alternative<KeyCaptionOverlay>(item.content)) {
            captionFrame = indexOf(*model, item.frames.first());
        }
    }
    ASSERT_GT(captionFrame, 0);
    const QRectF captionBoxRect = [&] {
        for (const OverlayItem& item : model->overlays()) {
            if (std::holds_alternative<KeyCaptionOverlay>(item.content)) {
                return item.bounds();
            }
        }
        return QRectF();
    }();

    // The pointer was followed: the highlight is offered, off until asked for, and then on
    // the click's frame at the clicked place, in one undo step.
    QAction* pointer = editor->view()->showPointerAction();
    ASSERT_TRUE(pointer->isVisible());
    EXPECT_FALSE(pointer->isChecked());
    const int steps = model->undoCount();
    const QUuid clickFrame = mark->frames.first();
    pointer->trigger();
    EXPECT_TRUE(pointer->isChecked());
    EXPECT_EQ(model->undoCount(), steps + 1);
    const PointerHighlightOverlay* highlight = nullptr;
    for (const OverlayItem& item : model->overlays()) {
        if (const auto* h = std::get_if<PointerHighlightOverlay>(&item.content);
            h && item.frames.contains(clickFrame)) {
            highlight = h;
        }
    }
    ASSERT_NE(highlight, nullptr);
    EXPECT_FALSE(highlight->hidden);
    EXPECT_NEAR(highlight->center.x(), 120.5, 1.0);
    EXPECT_NEAR(highlight->center.y(), 70.5, 1.0);
    model->undo();
    EXPECT_FALSE(pointer->isChecked());

    // Saving closes the editor: what the checks of the file need is taken now.
    std::vector<double> delays;
    for (const EditorFrame& frame : model->frames()) {
        delays.push_back(frame.delay);
    }

    QTemporaryDir folder;
    editor->view()->saveAction()->trigger();
    QFileDialog* dialog = editor->saveDialog();
    ASSERT_NE(dialog, nullptr);
    const QString path = folder.filePath(QStringLiteral("keys.gif"));
    dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(path);
    QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
    ASSERT_TRUE(test::waitUntil([&] { return !revealed.isEmpty(); }, 60s));

    // The GIF joins equal neighbours into one frame: find each editor frame's picture by time.
    QImageReader reader(path);
    ASSERT_TRUE(reader.canRead());
    std::vector<std::pair<int, QImage>> decoded;  // start in ms, picture
    int at = 0;
    for (;;) {
        const int delay = reader.nextImageDelay();
        const QImage image = reader.read();
        if (image.isNull()) {
            break;
        }
        decoded.emplace_back(at, image.convertToFormat(QImage::Format_RGB32));
        at += delay;
    }
    ASSERT_FALSE(decoded.empty());
    const auto frameAt = [&](int index) {
        double start = 0;
        for (int i = 0; i < index; ++i) {
            start += delays[size_t(i)];
        }
        const int ms = int(std::lround(start * 1000));
        QImage found = decoded.front().second;
        for (const auto& [begin, image] : decoded) {
            if (begin <= ms + 1) {
                found = image;
            }
        }
        return found;
    };
    const QRect around = QRect(QPoint(120, 70) - QPoint(16, 16), QSize(33, 33));
    // The ring on the frame after the click, not on the one before it.
    EXPECT_GT(countPixels(frameAt(first), around, yellow), 20);
    EXPECT_EQ(countPixels(frameAt(first - 1), around, yellow), 0);
    // The caption's white letters in its box on its first frame, not before.
    const QRect box = captionBoxRect.toAlignedRect();
    EXPECT_GT(countPixels(frameAt(captionFrame), box, white), 20);
    EXPECT_EQ(countPixels(frameAt(captionFrame - 1), box, white), 0);
}

TEST_F(X11KeysTest, AllKeysShowsTheTypingToo) {
    state->setShowsKeys(true);
    state->setAllKeys(true);
    const QRect region = state->recorderWindowController()->captureRegion();
    EditorWindowController* editor = record(region.topLeft() + QPoint(40, 40));
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(captions(*editor->state()), (QStringList{"ab", "Ctrl+S"}));
    test::closeDiscarding(editor);
    settle();

    // Off again: nothing is kept.
    state->setShowsKeys(false);
    editor = record(region.topLeft() + QPoint(40, 40));
    ASSERT_NE(editor, nullptr);
    EXPECT_TRUE(editor->state()->overlays().isEmpty());
    test::closeDiscarding(editor);
}

}  // namespace
