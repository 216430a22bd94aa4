#include "FakeSessionModel.h"
#include "support/TestImages.h"
#include "ui/recorder/RecorderGeometry.h"
#include "ui/recorder/RecorderHeader.h"
#include "ui/recorder/RecorderWindow.h"
#include "ui/recorder/RecorderWindowController.h"
#include "ui/recorder/ResizeHandle.h"

#include <QAbstractButton>
#include <QApplication>
#include <QBoxLayout>
#include <QGuiApplication>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace mirelo;
using mirelo::test::FakeSessionModel;

namespace {

class RecorderWindowTest : public ::testing::Test {
protected:
    FakeSessionModel model;
    RecorderWindowController controller{&model};
    RecorderWindow* window = controller.window();
    RecorderHeader* header = window->header();

    void SetUp() override { window->setGeometry(QRect(98, 200, 964, 586)); }
};

// Every pixel of `image` inside `rect` is fully transparent.
bool transparentInside(const QImage& image, const QRect& rect) {
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            if (qAlpha(image.pixel(x, y)) != 0) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

TEST_F(RecorderWindowTest, FreshWindowShowsTheDefaultsAndCapturesBelowTheHeader) {
    EXPECT_EQ(header->sizeButton()->text(), QStringLiteral("960 × 540"));
    EXPECT_EQ(header->fpsButton()->text(), QStringLiteral("FPS 15"));
    EXPECT_TRUE(header->cursorButton()->isChecked());
    EXPECT_EQ(header->cursorButton()->toolTip(), QStringLiteral("录制鼠标指针"));
    EXPECT_EQ(header->recordButton()->text(), QStringLiteral("录制"));
    EXPECT_EQ(controller.captureRegion(), QRect(100, 244, 960, 540));
    EXPECT_EQ(model.captureSize(), QSizeF(960, 540));
}

TEST_F(RecorderWindowTest, PresetKeepsTheTopEdgeAndTracksTheSize) {
    // Room on the (small) test screen for the preset below its top edge.
    window->setGeometry(QRect(20, 30, 304, 246));
    controller.resizeCaptureArea(QSize(640, 360));
    EXPECT_EQ(window->geometry(), QRect(20, 30, 644, 406));
    EXPECT_EQ(model.captureSize(), QSizeF(640, 360));
    EXPECT_FALSE(model.captureSizeReduced());
    EXPECT_EQ(header->sizeButton()->text(), QStringLiteral("640 × 360"));

    // Resizing by hand keeps the size menu in step.
    controller.showWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    window->resize(504, 346);
    EXPECT_EQ(model.captureSize(), QSizeF(500, 300));
}

TEST_F(RecorderWindowTest, SnapNearTheTopPutsTheHeaderInsideUntilAPresetIsChosen) {
    controller.snapTo(QRect(50, 10, 700, 400));
    EXPECT_TRUE(model.headerInside());
    EXPECT_EQ(window->geometry(), QRect(48, 8, 704, 404));
    EXPECT_EQ(controller.captureRegion(), QRect(50, 10, 700, 400));
    EXPECT_EQ(model.captureSize(), QSizeF(700, 400));

    controller.resizeCaptureArea(QSize(640, 360));
    EXPECT_FALSE(model.headerInside());
    EXPECT_EQ(window->geometry(), QRect(48, 8, 644, 406));
    EXPECT_EQ(controller.captureRegion(), QRect(50, 52, 640, 360));

    controller.snapTo(QRect(300, 400, 500, 300));
    EXPECT_FALSE(model.headerInside());
    EXPECT_EQ(controller.captureRegion(), QRect(300, 400, 500, 300));
}

TEST_F(RecorderWindowTest, APresetLargerThanTheScreenIsReducedAndSaysSo) {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    ASSERT_LT(screen.height(), 1080) << "the test screen is smaller than the largest preset";
    controller.resizeCaptureArea(QSize(1920, 1080));
    const QSize fitted = QSize(1920, 1080).boundedTo(screen.size());
    EXPECT_EQ(model.captureSize(), QSizeF(fitted));
    EXPECT_TRUE(model.captureSizeReduced());
    // Too tall for the header above it: the header lies inside, on the screen.
    EXPECT_TRUE(model.headerInside());
    EXPECT_TRUE(screen.contains(controller.captureRegion()));
    EXPECT_EQ(controller.captureRegion(), controller.recordableRegion());
    EXPECT_TRUE(header->sizeButton()->text().endsWith(QStringLiteral("已缩小")));
    EXPECT_TRUE(header->sizeButton()->toolTip().contains(QStringLiteral("屏幕")));

    // Once the user sizes the frame, it is their size again.
    controller.showWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    window->resize(504, 348);
    EXPECT_FALSE(model.captureSizeReduced());
    EXPECT_EQ(header->sizeButton()->text(), QStringLiteral("%1 × %2")
                                                .arg(model.captureSize().width())
                                                .arg(model.captureSize().height()));

    // Dragged partly off the screen: only the part on it would be recorded,
    // and the rest is what the window hatches.
    window->move(screen.right() - 199, 50);
    const QRect capture = controller.captureRegion();
    EXPECT_EQ(controller.recordableRegion(), capture & screen);
    EXPECT_EQ(window->unrecordedArea().boundingRect(),
              (QRegion(capture) - QRegion(capture & screen))
                  .boundingRect()
                  .translated(-window->geometry().topLeft()));
}

TEST_F(RecorderWindowTest, SizeMenuPresetResizesTheWindow) {
    QMenu* menu = header->sizeButton()->menu();
    ASSERT_NE(menu, nullptr);
    const auto shown = [&] {
        QStringList texts;
        for (QAction* action : menu->actions()) {
            if (action->isVisible()) {
                texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
            }
        }
        return texts;
    };
    // Recording one window is offered only where the desktop lets a recording follow it.
    EXPECT_EQ(shown(), (QStringList{"查找窗口…", "-", "640 × 360", "960 × 540", "1280 × 720",
                                    "1920 × 1080"}));
    model.setRecordsWindows(true);
    EXPECT_EQ(shown(), (QStringList{"查找窗口…", "录制窗口", "录制窗口时包括标题栏和边框", "-",
                                    "640 × 360", "960 × 540", "1280 × 720", "1920 × 1080"}));
    window->setGeometry(QRect(100, 100, 964, 586));
    menu->actions()[4]->trigger();
    EXPECT_EQ(window->geometry(), QRect(100, 100, 644, 406));
    EXPECT_EQ(model.captureSize(), QSizeF(640, 360));
    menu->actions()[0]->trigger();
    EXPECT_EQ(model.picks, 1);
    menu->actions()[1]->trigger();
    EXPECT_EQ(model.windowRecordings, 1);
    QAction* decorations = menu->actions()[2];
    EXPECT_TRUE(decorations->isChecked());
    decorations->trigger();
    EXPECT_FALSE(model.windowDecorations());

    header->fpsButton()->menu()->actions()[3]->trigger();
    EXPECT_EQ(model.fps(), 30);
    EXPECT_EQ(header->fpsButton()->text(), QStringLiteral("FPS 30"));
}

TEST_F(RecorderWindowTest, RecordButtonFollowsTheSession) {
    model.setStartingRecording(true);
    EXPECT_EQ(header->recordButton()->text(), QStringLiteral("启动中…"));
    EXPECT_FALSE(header->recordButton()->isEnabled());
    EXPECT_TRUE(header->fpsButton()->isEnabled());

    model.setStartingRecording(false);
    model.setRecording(true);
    EXPECT_EQ(header->recordButton()->text(), QStringLiteral("停止"));
    EXPECT_TRUE(header->recordButton()->isEnabled());
    EXPECT_FALSE(header->cursorButton()->isEnabled());
    EXPECT_FALSE(header->fpsButton()->isEnabled());
    EXPECT_FALSE(header->sizeButton()->isEnabled());
    // The shortcut survives the text changes.
    EXPECT_EQ(header->recordButton()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Return));

    header->recordButton()->click();
    EXPECT_EQ(model.toggles, 1);

    model.setRecording(false);
    EXPECT_EQ(header->recordButton()->text(), QStringLiteral("录制"));
    EXPECT_TRUE(header->sizeButton()->isEnabled());
}

TEST_F(RecorderWindowTest, CtrlReturnPressesRecord) {
    controller.showWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    QApplication::setActiveWindow(window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    QTest::keyClick(window, Qt::Key_Return, Qt::ControlModifier);
    // A shortcut presses the button visibly: the click comes a moment later.
    EXPECT_TRUE(test::waitUntil([&] { return model.toggles == 1; }, std::chrono::seconds(2)));
}

TEST_F(RecorderWindowTest, RecordingChromeLeavesTheCaptureRectEmpty) {
    for (bool inside : {false, true}) {
        SCOPED_TRACE(inside);
        model.setHeaderInside(inside);
        const QRect frame = window->geometry();
        const QRect region = controller.captureRegion();

        model.setRecording(true);
        controller.setRecordingChrome(true);
        EXPECT_EQ(controller.captureRegion(), region);
        const QRect local = region.translated(-window->geometry().topLeft());

        // Neither what the window shows nor where it takes clicks reaches
        // into the recorded rectangle, and the header stays clickable.
        const auto bounding = window->boundingRegion();
        ASSERT_TRUE(bounding.has_value());
        EXPECT_TRUE((*bounding & QRegion(local)).isEmpty());
        const auto input = window->inputRegion();
        ASSERT_TRUE(input.has_value());
        EXPECT_TRUE((*input & QRegion(local)).isEmpty());
        EXPECT_TRUE(header->isVisible() || !window->isVisible());
        EXPECT_TRUE(input->contains(header->geometry()));

        // What it paints is transparent there too.
        const QImage painted = window->grab().toImage();
        EXPECT_TRUE(transparentInside(painted, local));
        // The outline runs just outside, in red.
        EXPECT_EQ(QColor(painted.pixel(local.left() - 1, local.center().y())), QColor(255, 59, 48));
        for (ResizeHandle* handle : window->handles()) {
            EXPECT_TRUE(handle->isHidden());
        }

        model.setRecording(false);
        controller.setRecordingChrome(false);
        EXPECT_EQ(window->geometry(), frame);
        EXPECT_FALSE(window->inputRegion().has_value());
        EXPECT_EQ(model.captureSize(), QSizeF(region.size()));
    }
}

TEST_F(RecorderWindowTest, WithoutACompositorTheCaptureAreaIsCutOut) {
    window->setCutsOutCaptureArea(true);
    const auto bounding = window->boundingRegion();
    ASSERT_TRUE(bounding.has_value());
    const QRect capture = window->captureRect();
    // The outline (just outside the capture area) and the header remain; the middle is a
    // hole.
    EXPECT_TRUE(bounding->contains(QPoint(capture.left() - 1, capture.center().y())));
    EXPECT_FALSE(bounding->contains(QPoint(capture.left(), capture.center().y())));
    EXPECT_FALSE(bounding->contains(capture.center()));
    EXPECT_TRUE(bounding->contains(QRect(20, 10, 50, 20)));

    // While picking, the dark layer with the hint needs the whole area.
    model.setPickingWindow(true);
    EXPECT_FALSE(window->boundingRegion().has_value());
}

TEST_F(RecorderWindowTest, DraggingAHandleResizesTheWindow) {
    controller.showWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    window->setGeometry(QRect(100, 100, 400, 346));
    ResizeHandle* leading = nullptr;
    for (ResizeHandle* handle : window->handles()) {
        if (handle->edges() == recorder::Edges(recorder::Edge::Leading)) {
            leading = handle;
        }
    }
    ASSERT_NE(leading, nullptr);
    const QPoint start(5, 150);
    QTest::mousePress(leading, Qt::LeftButton, {}, start);
    QMouseEvent move(QEvent::MouseMove, QPointF(start + QPoint(300, 0)),
                     QPointF(leading->mapToGlobal(start + QPoint(300, 0))), Qt::NoButton,
                     Qt::LeftButton, {});
    QApplication::sendEvent(leading, &move);
    QTest::mouseRelease(leading, Qt::LeftButton, {}, start + QPoint(300, 0));
    EXPECT_EQ(window->width(), recorder::kMinimumSize.width());
    EXPECT_EQ(window->geometry().right(), 499);
    EXPECT_EQ(model.captureSize(),
              QSizeF(recorder::kMinimumSize.width() - 2 * recorder::kOutlineWidth, 300));
}

TEST_F(RecorderWindowTest, AtTheMinimumWidthEveryControlIsWholeAndWinsOverTheHandles) {
    QMenu menu;
    controller.setAppMenu(&menu);
    // The room once kept here for one more small button is 显示按键's.
    controller.showWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    window->resize(100, 100);
    EXPECT_EQ(window->size(), recorder::kMinimumSize) << "the window has a real minimum";
    QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);

    QList<QWidget*> controls;
    for (QWidget* control : header->findChildren<QAbstractButton*>(Qt::FindDirectChildrenOnly)) {
        if (control->isVisible()) {
            controls << control;
        }
    }
    ASSERT_EQ(controls.size(), 6);
    for (int i = 0; i < controls.size(); ++i) {
        QWidget* control = controls[i];
        SCOPED_TRACE(control->metaObject()->className());
        EXPECT_TRUE(header->rect().contains(control->geometry()));
        EXPECT_GE(control->width(), control->sizeHint().width());
        for (int j = i + 1; j < controls.size(); ++j) {
            EXPECT_FALSE(control->geometry().intersects(controls[j]->geometry()));
        }
        // Even at its corners a button takes the click, not a resize handle.
        const QRect box = control->geometry().translated(header->pos());
        for (const QPoint& p :
             {box.topLeft(), box.topRight(), box.bottomLeft(), box.bottomRight(), box.center()}) {
            QWidget* hit = window->childAt(p);
            EXPECT_TRUE(hit == control || control->isAncestorOf(hit))
                << p.x() << "," << p.y() << " hits "
                << (hit ? hit->metaObject()->className() : "nothing");
        }
    }
    // Beside the buttons the corner handles still resize.
    EXPECT_TRUE(qobject_cast<ResizeHandle*>(window->childAt(QPoint(1, 1))));
    EXPECT_TRUE(qobject_cast<ResizeHandle*>(window->childAt(QPoint(window->width() - 2, 1))));

    // A click leaves the keyboard focus alone; only Tab gives a button focus.
    for (QWidget* control : controls) {
        EXPECT_EQ(control->focusPolicy(), Qt::TabFocus);
    }
}

TEST_F(RecorderWindowTest, TheRateMenuMarksTheCurrentRate) {
    model.setFps(24);
    const QList<QAction*> rates = header->fpsButton()->menu()->actions();
    ASSERT_EQ(rates.size(), 4);
    for (QAction* rate : rates) {
        EXPECT_EQ(rate->isChecked(), rate->text() == QStringLiteral("FPS 24"));
    }
}

TEST_F(RecorderWindowTest, TheKeysControlChoosesWhatIsKeptAndRestsWhileRecording) {
    QToolButton* keys = header->keysButton();
    EXPECT_EQ(keys->text(), QStringLiteral("显示按键"));
    EXPECT_FALSE(keys->isChecked());
    EXPECT_FALSE(model.showsKeys());
    const QList<QAction*> choices = keys->menu()->actions();
    ASSERT_EQ(choices.size(), 2);
    EXPECT_EQ(choices[0]->text(), QStringLiteral("仅快捷键"));
    EXPECT_TRUE(choices[0]->isChecked());  // the default
    EXPECT_EQ(choices[1]->text(), QStringLiteral("全部按键"));

    // Choosing a kind switches the control on.
    choices[1]->trigger();
    EXPECT_TRUE(model.allKeys());
    EXPECT_TRUE(model.showsKeys());
    EXPECT_TRUE(keys->isChecked());
    EXPECT_TRUE(choices[1]->isChecked());
    keys->click();
    EXPECT_FALSE(model.showsKeys());
    EXPECT_TRUE(model.allKeys());  // the kind stays for the next time

    model.setRecording(true);
    EXPECT_FALSE(keys->isEnabled());
    model.setRecording(false);

    // Where keys cannot be observed the control says so.
    model.setKeysUnavailableNote(QStringLiteral("Wayland 下无法录制按键和点击。"));
    model.setShowsKeys(true);
    EXPECT_EQ(keys->toolTip(), QStringLiteral("Wayland 下无法录制按键和点击。"));
}
