// The editor driven with the real pointer and keyboard (xdotool on a private
// Xvfb with openbox): where the keys go after the delay field was used, which
// frame is current after the frame-list commands, and Escape in crop mode and
// in the resize sheet.
#include "EditorDriver.h"
#include "ui/editor/FrameStrip.h"
#include "ui/editor/OverlayInspectorView.h"
#include "ui/editor/PreviewCanvas.h"
#include "ui/editor/ResizeSheet.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>

#include <gtest/gtest.h>

using namespace mirelo;
using namespace std::chrono_literals;

namespace {

using namespace mirelo::test;
using Editor = DrivenEditor;

// Drags the playback slider's handle to `value` with the pointer.
void dragSliderTo(QSlider* slider, int value) {
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = slider->orientation();
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    option.sliderPosition = slider->value();
    option.sliderValue = slider->value();
    const QRect handle = slider->style()->subControlRect(QStyle::CC_Slider, &option,
                                                         QStyle::SC_SliderHandle, slider);
    const QRect groove = slider->style()->subControlRect(QStyle::CC_Slider, &option,
                                                         QStyle::SC_SliderGroove, slider);
    const int span = groove.width() - handle.width();
    const int x =
        groove.left() + handle.width() / 2 +
        QStyle::sliderPositionFromValue(slider->minimum(), slider->maximum(), value, span);
    xdotool(pointerAt(slider, handle.center()) << "mousedown"
                                               << "1");
    xdotool(pointerAt(slider, QPoint((handle.center().x() + x) / 2, handle.center().y())));
    xdotool(pointerAt(slider, QPoint(x, handle.center().y())) << "mouseup"
                                                              << "1");
}

TEST(X11EditorKeys, AfterApplyingADelayTheEditorsShortcutsActOnTheEditor) {
    Editor editor(12);
    EditorView* view = editor.view();
    EditorState* state = editor.state();
    QLineEdit* field = view->delayField();

    click(field);
    xdotool({"type", "0.5"});
    click(view->delayApplyButton());
    EXPECT_DOUBLE_EQ(state->frames().at(0).delay, 0.5);
    EXPECT_EQ(QApplication::focusWidget(), view->frameStrip());

    // Ctrl+Z undoes the delay, not the field's text.
    xdotool({"key", "ctrl+z"});
    EXPECT_DOUBLE_EQ(state->frames().at(0).delay, 0.1);
    EXPECT_TRUE(view->redoAction()->isEnabled());
    EXPECT_EQ(field->text(), QStringLiteral("0.5"));
    xdotool({"key", "ctrl+shift+z"});
    EXPECT_DOUBLE_EQ(state->frames().at(0).delay, 0.5);

    // Space plays instead of typing a blank.
    xdotool({"key", "space"});
    EXPECT_TRUE(state->isPlaying());
    EXPECT_EQ(field->text(), QStringLiteral("0.5"));
    xdotool({"key", "space"});
    EXPECT_FALSE(state->isPlaying());

    // While the field is being typed in, Ctrl+Z is the field's own.
    click(field);
    xdotool({"key", "End"});
    xdotool({"type", "7"});
    EXPECT_EQ(field->text(), QStringLiteral("0.57"));
    const bool couldRedo = view->redoAction()->isEnabled();
    xdotool({"key", "ctrl+z"});
    EXPECT_NE(field->text(), QStringLiteral("0.57"));
    EXPECT_DOUBLE_EQ(state->frames().at(0).delay, 0.5);
    EXPECT_EQ(view->redoAction()->isEnabled(), couldRedo);

    // Return ends the typing without applying; the keys are the editor's again.
    xdotool({"key", "ctrl+a"});
    xdotool({"type", "0.25"});
    EXPECT_EQ(field->text(), QStringLiteral("0.25"));
    xdotool({"key", "Return"});
    EXPECT_DOUBLE_EQ(state->frames().at(0).delay, 0.5);
    EXPECT_EQ(QApplication::focusWidget(), view->frameStrip());
    xdotool({"key", "space"});
    EXPECT_TRUE(state->isPlaying());
    xdotool({"key", "space"});

    // A command pressed with the pointer ends the typing too.
    click(field);
    press(view, view->deleteAfterAction());
    xdotool({"key", "ctrl+z"});
    EXPECT_EQ(state->frameCount(), 12);
}

TEST(X11EditorKeys, ReturnInATextFieldOfAnOverlayGivesTheKeysBack) {
    Editor editor(4);
    EditorView* view = editor.view();
    EditorState* state = editor.state();
    auto textOf = [&] { return std::get<TextOverlay>(state->overlays().at(0).content).text; };
    state->addText();
    settle();
    ASSERT_EQ(state->overlays().size(), 1);
    const QString added = textOf();

    // The inspector's text field.
    QLineEdit* field = view->inspector()->textField();
    ASSERT_NE(field, nullptr);
    click(field);
    xdotool({"key", "End"});
    xdotool({"type", "XY"});
    EXPECT_EQ(textOf(), added + QStringLiteral("XY"));
    xdotool({"key", "Return"});
    EXPECT_EQ(QApplication::focusWidget(), view->frameStrip());
    xdotool({"key", "ctrl+z"});
    EXPECT_EQ(textOf(), added);

    // The field over the preview, opened by a double click on the text.
    const TextOverlay text = std::get<TextOverlay>(state->overlays().at(0).content);
    const QRectF display = view->canvas()->displayRect();
    const double scale = display.width() / state->imageSize().width();
    const QPoint onText =
        (display.topLeft() + (text.origin + QPointF(4, text.fontSize / 2)) * scale).toPoint();
    xdotool(pointerAt(view->canvas(), onText) << "click"
                                              << "--repeat"
                                              << "2"
                                              << "1");
    ASSERT_NE(qobject_cast<QLineEdit*>(QApplication::focusWidget()), nullptr);
    ASSERT_NE(QApplication::focusWidget(), field);
    xdotool({"key", "End"});
    xdotool({"type", "Z"});
    xdotool({"key", "Return"});
    EXPECT_EQ(textOf(), added + QStringLiteral("Z"));
    EXPECT_EQ(QApplication::focusWidget(), view->frameStrip());
    xdotool({"key", "space"});
    EXPECT_TRUE(state->isPlaying());
    xdotool({"key", "space"});
}

TEST(X11EditorKeys, ARefusedDelaySaysWhatIsWrongAndKeepsTheFieldForCorrecting) {
    Editor editor(4);
    EditorView* view = editor.view();
    QLineEdit* field = view->delayField();
    struct Case {
        const char* typed;
        const char* says;
    };
    for (const Case& c : {Case{" 0.1", "空格"}, Case{"0.1 ", "空格"}, Case{"0,1", "“.”"},
                          Case{"abc", "只能是数字"}, Case{"", "没有填写"}}) {
        click(field);
        xdotool({"key", "ctrl+a", "BackSpace"});
        if (*c.typed != '\0') {
            xdotool({"type", c.typed});
        }
        click(view->delayApplyButton());
        const QString notice = view->noticeLabel()->text();
        EXPECT_TRUE(notice.startsWith(QStringLiteral("无法识别"))) << c.typed;
        EXPECT_TRUE(notice.contains(QString::fromUtf8(c.says))) << c.typed << notice.toStdString();
        EXPECT_EQ(QApplication::focusWidget(), field) << c.typed;
        EXPECT_FALSE(editor.state()->canUndo()) << c.typed;
    }
    // Typing clears the note; a number applies.
    xdotool({"type", "0.3"});
    EXPECT_TRUE(view->noticeLabel()->text().isEmpty());
    click(view->delayApplyButton());
    EXPECT_DOUBLE_EQ(editor.state()->frames().at(0).delay, 0.3);
}

TEST(X11EditorKeys, TrimmingFromAMiddleFrameShowsTheFrameTheTrimNames) {
    Editor editor(88);
    EditorView* view = editor.view();
    EditorState* state = editor.state();
    ASSERT_EQ(state->currentIndex(), 0);  // and frame 1 selected

    dragSliderTo(view->playbackSlider(), 60);
    const int middle = state->currentIndex();
    ASSERT_GT(middle, 40);
    ASSERT_LT(middle, 80);
    press(view, view->deleteAfterAction());
    settle();
    EXPECT_EQ(state->frameCount(), middle + 1);
    EXPECT_EQ(state->currentIndex(), middle);
    EXPECT_EQ(view->positionLabel()->text(), QStringLiteral("第 %1 / %1 帧").arg(middle + 1));
    EXPECT_EQ(view->playbackSlider()->value(), middle);

    dragSliderTo(view->playbackSlider(), middle / 2);
    const int second = state->currentIndex();
    ASSERT_GT(second, 0);
    press(view, view->deleteBeforeAction());
    settle();
    EXPECT_EQ(state->frameCount(), middle + 1 - second);
    EXPECT_EQ(state->currentIndex(), 0);
    EXPECT_EQ(view->positionLabel()->text(),
              QStringLiteral("第 1 / %1 帧").arg(middle + 1 - second));

    // A click on a row makes it current, even the row already selected.
    const QRect row = view->frameStrip()->visualRect(view->frameStrip()->model()->index(2, 0));
    click(view->frameStrip()->viewport(), row.center());
    EXPECT_EQ(state->currentIndex(), 2);
    dragSliderTo(view->playbackSlider(), 10);
    ASSERT_NE(state->currentIndex(), 2);
    click(view->frameStrip()->viewport(), row.center());
    EXPECT_EQ(state->currentIndex(), 2);
}

TEST(X11EditorKeys, EscapeLeavesCropModeUnchangedAndClosesTheResizeSheet) {
    Editor editor(6);
    EditorView* view = editor.view();
    EditorState* state = editor.state();

    press(view, view->cropAction());
    ASSERT_TRUE(state->isCropping());
    // Drag the bottom-right corner inwards, then leave with Escape.
    const QRectF display = view->canvas()->displayRect();
    const QPoint corner = display.bottomRight().toPoint() - QPoint(1, 1);
    xdotool(pointerAt(view->canvas(), corner) << "mousedown"
                                              << "1");
    xdotool(pointerAt(view->canvas(), corner - QPoint(20, 20)));
    xdotool(pointerAt(view->canvas(), corner - QPoint(60, 40)) << "mouseup"
                                                               << "1");
    EXPECT_LT(state->cropRect().width(), 320);
    xdotool({"key", "Escape"});
    EXPECT_FALSE(state->isCropping());
    EXPECT_EQ(state->imageSize(), QSizeF(320, 180));
    EXPECT_FALSE(state->canUndo());
    EXPECT_TRUE(view->cropAction()->isVisible());

    // Escape outside crop mode does nothing to the editor.
    xdotool({"key", "Escape"});
    EXPECT_TRUE(editor.window()->isVisible());

    // Wherever the focus is: here in the delay field.
    press(view, view->cropAction());
    ASSERT_TRUE(state->isCropping());
    click(view->delayField());
    xdotool({"key", "Escape"});
    EXPECT_FALSE(state->isCropping());

    press(view, view->resizeAction());
    ASSERT_TRUE(test::waitUntil([&] { return view->resizeSheet() != nullptr; }, 3s));
    ASSERT_TRUE(test::waitUntil([&] { return view->resizeSheet()->isVisible(); }, 3s));
    xdotool({"key", "Escape"});
    EXPECT_TRUE(test::waitUntil([&] { return view->resizeSheet() == nullptr; }, 3s));
    EXPECT_EQ(state->imageSize(), QSizeF(320, 180));
    EXPECT_FALSE(state->canUndo());
}

}  // namespace
