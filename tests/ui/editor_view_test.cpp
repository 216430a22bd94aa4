// The editor view driven as a user would: clicks in the frame strip, typed
// delays, toolbar commands and their shortcuts.
#include "editor/EditorState.h"
#include "support/TestImages.h"
#include "ui/editor/EditorIcons.h"
#include "ui/editor/EditorToolbar.h"
#include "ui/editor/EditorView.h"
#include "ui/editor/FrameStrip.h"
#include "ui/editor/NumberParsing.h"
#include "ui/editor/PreviewCanvas.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include <gtest/gtest.h>

#include <algorithm>

#include <cmath>
#include <memory>

namespace mirelo {
namespace {

FrameList makeFrames(int count, int width = 64, int height = 40, double delay = 0.1) {
    FrameList frames;
    for (int i = 0; i < count; ++i) {
        frames.append(EditorFrame::make(
            test::solidImage(width, height, QColor::fromHsv((i * 37) % 360, 200, 220)), delay));
    }
    return frames;
}

struct Editor {
    explicit Editor(int count, int width = 64, int height = 40, double delay = 0.1)
        : state(std::make_unique<EditorState>(makeFrames(count, width, height, delay))),
          view(std::make_unique<EditorView>(state.get())) {
        view->resize(1000, 640);
        view->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    }
    ~Editor() {
        view.reset();
        state.reset();
    }

    // Clicks row `row` of the frame strip with the given modifiers.
    void clickRow(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        FrameStrip* strip = view->frameStrip();
        const QRect rect = strip->visualRect(strip->model()->index(row, 0));
        QTest::mouseClick(strip->viewport(), Qt::LeftButton, modifiers, rect.center());
    }

    std::unique_ptr<EditorState> state;
    std::unique_ptr<EditorView> view;
};

TEST(EditorView, OpensWithFirstFrameSelectedAndCurrent) {
    Editor editor(12);
    EXPECT_EQ(editor.state->selectedIDs(), QSet<QUuid>{editor.state->frames().at(0).id});
    EXPECT_EQ(editor.state->currentIndex(), 0);
    EXPECT_EQ(editor.view->positionLabel()->text(), QStringLiteral("第 1 / 12 帧"));
    EXPECT_EQ(editor.view->playbackSlider()->minimum(), 0);
    EXPECT_EQ(editor.view->playbackSlider()->maximum(), 11);
    EXPECT_EQ(editor.view->frameStrip()->selectionModel()->selectedIndexes().size(), 1);
}

TEST(EditorView, SelectionInTheStripDrivesTheCurrentFrame) {
    Editor editor(12);
    editor.clickRow(4);
    EXPECT_EQ(editor.state->currentIndex(), 4);
    EXPECT_EQ(editor.state->selectedIDs(), QSet<QUuid>{editor.state->frames().at(4).id});
    EXPECT_EQ(editor.view->positionLabel()->text(), QStringLiteral("第 5 / 12 帧"));
    EXPECT_EQ(editor.view->playbackSlider()->value(), 4);

    // Control-click adds a frame and makes it current; shift-click extends.
    editor.clickRow(7, Qt::ControlModifier);
    EXPECT_EQ(editor.state->selectedIDs().size(), 2);
    EXPECT_EQ(editor.state->currentIndex(), 7);
    editor.clickRow(9, Qt::ShiftModifier);
    EXPECT_EQ(editor.state->selectedIDs().size(), 3);  // 7, 8, 9
    EXPECT_TRUE(editor.state->selectedIDs().contains(
        editor.state->frames().at(editor.state->currentIndex()).id));

    // Moving the slider seeks but leaves the selection alone.
    editor.view->playbackSlider()->setValue(2);
    EXPECT_EQ(editor.state->currentIndex(), 2);
    EXPECT_EQ(editor.state->selectedIDs().size(), 3);
}

TEST(EditorView, TheCurrentFrameFollowsSelectionChangesMadeByTheModel) {
    Editor editor(6);
    EditorState& state = *editor.state;
    auto currentIsSelected = [&] {
        return state.selectedIDs().contains(state.frames().at(state.currentIndex()).id);
    };
    editor.clickRow(3);
    state.setSelectedIDs({state.frames().at(1).id, state.frames().at(5).id});
    QApplication::processEvents();
    EXPECT_EQ(editor.view->frameStrip()->selectionModel()->selectedIndexes().size(), 2);
    EXPECT_EQ(state.currentIndex(), 1);

    // Deleting the selected frames selects the frame now current. Undo
    // keeps the current index the model gives it, whatever stays selected.
    state.deleteSelected();
    QApplication::processEvents();
    EXPECT_EQ(state.frameCount(), 4);
    EXPECT_EQ(state.selectedIDs().size(), 1);
    EXPECT_TRUE(currentIsSelected());
    editor.clickRow(3);
    const QUuid selected = state.frames().at(3).id;
    state.undo();
    QApplication::processEvents();
    EXPECT_EQ(state.currentIndex(), 3);
    EXPECT_EQ(state.selectedIDs(), QSet<QUuid>{selected});
    EXPECT_EQ(editor.view->positionLabel()->text(), QStringLiteral("第 4 / 6 帧"));

    // A delete of every frame is refused with the reason.
    state.setSelectedIDs(QSet<QUuid>([&] {
        QSet<QUuid> all;
        for (const EditorFrame& frame : state.frames()) {
            all.insert(frame.id);
        }
        return all;
    }()));
    state.deleteSelected();
    EXPECT_EQ(state.frameCount(), 6);
    EXPECT_FALSE(editor.view->noticeLabel()->text().isEmpty());
}

TEST(EditorView, DelayFieldAcceptsOnlyWholeCLocaleNumbers) {
    Editor editor(4, 64, 40, 0.05);
    editor.clickRow(1);
    editor.clickRow(2, Qt::ControlModifier);
    auto delayOf = [&](int i) { return editor.state->frames().at(i).delay; };

    for (const char* bad : {"0,1", " 0.1", "0.1 ", "abc", "", "0.1s", "1e"}) {
        editor.view->delayField()->setText(QString::fromUtf8(bad));
        QTest::mouseClick(editor.view->delayApplyButton(), Qt::LeftButton);
        EXPECT_DOUBLE_EQ(delayOf(1), 0.05) << bad;
        // Says why, in words for each fault.
        EXPECT_EQ(editor.view->noticeLabel()->text(),
                  EditorView::delayRejection(QString::fromUtf8(bad)))
            << bad;
        EXPECT_FALSE(editor.view->noticeLabel()->text().isEmpty()) << bad;
    }
    EXPECT_NE(EditorView::delayRejection(QStringLiteral("0,1")),
              EditorView::delayRejection(QStringLiteral(" 0.1")));
    EXPECT_NE(EditorView::delayRejection(QStringLiteral("abc")),
              EditorView::delayRejection(QStringLiteral("0,1")));
    EXPECT_NE(EditorView::delayRejection(QString()),
              EditorView::delayRejection(QStringLiteral("abc")));
    EXPECT_EQ(EditorView::delayRejection(QStringLiteral("0.1")), QString());
    EXPECT_FALSE(editor.state->canUndo());

    // Return in the field does nothing; "应用" applies to the selected frames.
    editor.view->delayField()->setText(QStringLiteral("0.1"));
    QTest::keyClick(editor.view->delayField(), Qt::Key_Return);
    EXPECT_DOUBLE_EQ(delayOf(1), 0.05);
    QTest::mouseClick(editor.view->delayApplyButton(), Qt::LeftButton);
    EXPECT_DOUBLE_EQ(delayOf(0), 0.05);
    EXPECT_DOUBLE_EQ(delayOf(1), 0.1);
    EXPECT_DOUBLE_EQ(delayOf(2), 0.1);
    EXPECT_DOUBLE_EQ(delayOf(3), 0.05);
    EXPECT_EQ(editor.view->delayField()->text(), QStringLiteral("0.1"));
    EXPECT_TRUE(editor.view->noticeLabel()->text().isEmpty());
}

TEST(NumberParsing, FollowsCNotationWhateverTheLocale) {
    EXPECT_EQ(parseNumber(QStringLiteral("0.1")), 0.1);
    EXPECT_EQ(parseNumber(QStringLiteral("-2.5e1")), -25.0);
    EXPECT_EQ(parseNumber(QStringLiteral("+3")), 3.0);
    EXPECT_EQ(parseNumber(QStringLiteral("0x1p-2")), 0.25);
    EXPECT_TRUE(std::isinf(*parseNumber(QStringLiteral("inf"))));
    EXPECT_TRUE(std::isnan(*parseNumber(QStringLiteral("nan"))));
    for (const char* bad : {"", " 1", "1 ", "1,5", "1.5.2", "\t1", "１", "1\n"}) {
        EXPECT_FALSE(parseNumber(QString::fromUtf8(bad))) << bad;
    }
    EXPECT_FALSE(parseNumber(QStringLiteral("1") + QChar(0) + QStringLiteral("2")));

    EXPECT_EQ(roundToWhole(2.5), 3);
    EXPECT_EQ(roundToWhole(-2.5), -3);
    EXPECT_EQ(roundToWhole(133.33), 133);
    EXPECT_FALSE(roundToWhole(INFINITY));
    EXPECT_FALSE(roundToWhole(NAN));
    EXPECT_FALSE(roundToWhole(1e19));
}

TEST(EditorView, OnlyUndoAndRedoAreEverDisabled) {
    Editor editor(5);
    EditorView& view = *editor.view;
    EXPECT_FALSE(view.undoAction()->isEnabled());
    EXPECT_FALSE(view.redoAction()->isEnabled());
    for (QAction* action : view.toolBar()->actions()) {
        if (action->isVisible() && action != view.undoAction() && action != view.redoAction()) {
            EXPECT_TRUE(action->isEnabled()) << action->text().toStdString();
        }
    }

    editor.clickRow(2);
    QTest::keyClick(&view, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(editor.state->frameCount(), 4);
    EXPECT_TRUE(view.undoAction()->isEnabled());
    EXPECT_FALSE(view.redoAction()->isEnabled());

    QTest::keyClick(&view, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(editor.state->frameCount(), 5);
    EXPECT_FALSE(view.undoAction()->isEnabled());
    EXPECT_TRUE(view.redoAction()->isEnabled());

    QTest::keyClick(&view, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(editor.state->frameCount(), 4);
    EXPECT_FALSE(view.redoAction()->isEnabled());

    // A new edit after an undo disables redo again.
    QTest::keyClick(&view, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(view.redoAction()->isEnabled());
    view.deleteAfterAction()->trigger();
    EXPECT_FALSE(view.redoAction()->isEnabled());
}

TEST(EditorView, ToolbarCommandsCarryTheirTextsIconsAndShortcuts) {
    Editor editor(3);
    EditorView& view = *editor.view;
    EXPECT_EQ(view.cropAction()->toolTip(), QStringLiteral("在预览图上拖出要保留的区域"));
    EXPECT_EQ(view.resizeAction()->toolTip(), QStringLiteral("调整 GIF 的画面尺寸"));
    EXPECT_EQ(view.deleteBeforeAction()->toolTip(), QStringLiteral("掐头:删除当前帧之前的所有帧"));
    EXPECT_EQ(view.deleteAfterAction()->toolTip(), QStringLiteral("去尾:删除当前帧之后的所有帧"));
    EXPECT_EQ(view.saveAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
    EXPECT_EQ(view.rotateMenuAction()->menu()->actions().size(), 5);  // with the separator
    // The four kinds to add; 按键 / 点击 only show for a recording's captions and marks.
    const QList<QAction*> overlayEntries = view.overlayMenuAction()->menu()->actions();
    EXPECT_EQ(std::count_if(overlayEntries.cbegin(), overlayEntries.cend(),
                            [](const QAction* action) { return action->isVisible(); }),
              4);
    EXPECT_FALSE(view.showKeysAction()->isVisible());
    for (QAction* action : view.toolBar()->actions()) {
        if (!action->text().isEmpty()) {
            EXPECT_FALSE(action->icon().isNull()) << action->text().toStdString();
        }
    }
    // The bundled drawings exist for every symbol the editor names.
    for (const char* symbol : {"play.fill", "pause.fill", "crop", "trash", "textformat", "photo",
                               "squareshape.split.3x3", "arrow.up.right", "checkmark", "xmark"}) {
        EXPECT_FALSE(EditorIcons::drawnIcon(QString::fromLatin1(symbol)).pixmap(20).isNull())
            << symbol;
    }

    int saves = 0;
    QObject::connect(&view, &EditorView::saveRequested, [&] { ++saves; });
    QTest::keyClick(&view, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(saves, 1);
}

TEST(EditorView, SpaceTogglesPlaybackAndTheButtonSymbol) {
    Editor editor(5);
    const QImage stopped = editor.view->playButton()->icon().pixmap(20).toImage();
    QTest::keyClick(editor.view->frameStrip(), Qt::Key_Space);
    EXPECT_TRUE(editor.state->isPlaying());
    EXPECT_NE(editor.view->playButton()->icon().pixmap(20).toImage(), stopped);
    QTest::keyClick(editor.view->frameStrip(), Qt::Key_Space);
    EXPECT_FALSE(editor.state->isPlaying());
    EXPECT_EQ(editor.view->playButton()->icon().pixmap(20).toImage(), stopped);

    // After typing in the delay field, a click on the preview takes the
    // focus, and Space plays instead of typing a blank.
    editor.view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(editor.view.get()));
    editor.view->delayField()->setFocus();
    QTest::keyClicks(editor.view->delayField(), QStringLiteral("0.5"));
    QTest::mouseClick(editor.view->canvas(), Qt::LeftButton, {},
                      editor.view->canvas()->rect().center());
    ASSERT_NE(QApplication::focusWidget(), editor.view->delayField());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_TRUE(editor.state->isPlaying());
    EXPECT_EQ(editor.view->delayField()->text(), QStringLiteral("0.5"));
}

TEST(EditorView, CropModeSwapsTheCentreGroup) {
    Editor editor(3, 400, 300);
    editor.state->play();
    editor.view->cropAction()->trigger();
    EXPECT_FALSE(editor.state->isPlaying());
    EXPECT_TRUE(editor.state->isCropping());
    EXPECT_EQ(editor.state->cropRect(), QRectF(0, 0, 400, 300));
    EXPECT_FALSE(editor.view->cropAction()->isVisible());
    EXPECT_TRUE(editor.view->applyCropAction()->isVisible());
    EXPECT_TRUE(editor.view->cancelCropAction()->isVisible());
    EXPECT_TRUE(editor.view->undoAction()->isVisible());
    editor.view->cancelCropAction()->trigger();
    EXPECT_FALSE(editor.state->isCropping());
    EXPECT_TRUE(editor.view->cropAction()->isVisible());
}

TEST(EditorView, DisplayRectCentresTheFrameWithAMargin) {
    EXPECT_EQ(PreviewCanvas::displayRect(QSizeF(824, 424), QSizeF(100, 50)),
              QRectF(12, 12, 800, 400));
    EXPECT_EQ(PreviewCanvas::displayRect(QSizeF(824, 424), QSizeF(0, 50)), QRectF());
    const QRectF tall = PreviewCanvas::displayRect(QSizeF(824, 424), QSizeF(50, 100));
    EXPECT_DOUBLE_EQ(tall.height(), 400);
    EXPECT_DOUBLE_EQ(tall.x(), (824 - 200) / 2.0);
}

TEST(EditorView, InformationLineDescribesTheRecording) {
    EditorState state(makeFrames(25, 640, 360, 0.1));
    EXPECT_EQ(EditorView::infoText(state),
              QStringLiteral("尺寸 640 × 360 · 共 25 帧 · 时长 2.50 秒"));
    Editor editor(3, 64, 40, 0.25);
    EXPECT_EQ(editor.view->infoLabel()->text(),
              QStringLiteral("尺寸 64 × 40 · 共 3 帧 · 时长 0.75 秒"));
    editor.state->deleteAfterCurrent();
    EXPECT_EQ(editor.view->infoLabel()->text(),
              QStringLiteral("尺寸 64 × 40 · 共 1 帧 · 时长 0.25 秒"));
    EXPECT_EQ(editor.view->positionLabel()->text(), QStringLiteral("第 1 / 1 帧"));
}

TEST(FrameStrip, MakesEachThumbnailOnceAndReusesIt) {
    Editor editor(1000, 320, 200);
    FrameStrip* strip = editor.view->frameStrip();
    QApplication::processEvents();
    const int firstScreen = strip->thumbnails().madeCount();
    EXPECT_GT(firstScreen, 0);
    EXPECT_LT(firstScreen, 40);  // only the visible rows
    strip->scrollToBottom();
    strip->viewport()->repaint();
    strip->scrollToTop();
    strip->viewport()->repaint();
    const int afterScroll = strip->thumbnails().madeCount();
    EXPECT_LT(afterScroll, 80);
    // Deleting frames and undoing reuses the thumbnails of the same images.
    editor.state->deleteBeforeCurrent();  // nothing before frame 1: no change
    editor.clickRow(0);
    editor.state->deleteSelected();
    editor.state->undo();
    strip->viewport()->repaint();
    EXPECT_EQ(strip->thumbnails().madeCount(), afterScroll);
}

}  // namespace
}  // namespace mirelo
