// The editor's layout holds still (a private Xvfb, 2880 pixels wide, with
// openbox; the window sized and the commands given with xdotool): no control
// of the toolbar or the playback bar moves or changes width when a note
// appears or the frame numbers grow, every button keeps its natural width at
// any window width, and the centre group stays in the middle. Screenshots at
// the minimum size and at 2560 pixels wide go to screenshots/ in the working
// folder.
#include "EditorDriver.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace mirelo;
using namespace std::chrono_literals;

namespace {

using namespace mirelo::test;

// Every control of the toolbar and of the playback bar, by a name, with its
// rectangle in window coordinates.
using Geometry = QMap<QString, QRect>;

Geometry controls(EditorView* view) {
    Geometry result;
    QWidget* window = view->window();
    auto put = [&](const QString& name, QWidget* widget) {
        if (widget->isVisible()) {
            result.insert(name, QRect(widget->mapTo(window, QPoint(0, 0)), widget->size()));
        }
    };
    for (QToolButton* button : view->toolBar()->findChildren<QToolButton*>()) {
        put(button->defaultAction() ? button->defaultAction()->text() : button->text(), button);
    }
    put(QStringLiteral("delay field"), view->delayField());
    put(QStringLiteral("delay apply"), view->delayApplyButton());
    put(QStringLiteral("play"), view->playButton());
    put(QStringLiteral("slider"), view->playbackSlider());
    put(QStringLiteral("position"), view->positionLabel());
    return result;
}

QString describe(const Geometry& geometry) {
    QStringList parts;
    for (auto it = geometry.begin(); it != geometry.end(); ++it) {
        const QRect r = it.value();
        parts << QStringLiteral("%1 (%2,%3 %4x%5)")
                     .arg(it.key())
                     .arg(r.x())
                     .arg(r.y())
                     .arg(r.width())
                     .arg(r.height());
    }
    return parts.join(QStringLiteral("; "));
}

#define EXPECT_SAME_LAYOUT(before, after, what)                                          \
    EXPECT_EQ(before, after) << (what) << "\nbefore: " << describe(before).toStdString() \
                             << "\nafter:  " << describe(after).toStdString()

struct Editor : DrivenEditor {
    using DrivenEditor::DrivenEditor;

    // Sizes the window through the window manager.
    void resizeTo(int width, int height) {
        xdotool({"windowsize", QString::number(window()->winId()), QString::number(width),
                 QString::number(height)});
        test::waitUntil(
            [&] {
                return window()->width() == std::max(width, window()->minimumWidth()) &&
                       window()->height() == std::max(height, window()->minimumHeight());
            },
            3s);
        settle();
    }

    void screenshot(const QString& name) { test::screenshot(window(), name); }

    // A refused delay: the note "无法识别…" in the information line.
    void refuseADelay() {
        click(view()->delayField());
        xdotool({"key", "ctrl+a", "BackSpace"});
        xdotool({"type", "0,1"});
        click(view()->delayApplyButton());
        EXPECT_TRUE(view()->noticeLabel()->text().startsWith(QStringLiteral("无法识别")));
    }
    void clearTheNote() {
        click(view()->delayField());
        xdotool({"key", "ctrl+a", "BackSpace"});
        EXPECT_TRUE(view()->noticeLabel()->text().isEmpty());
    }
};

// The centre group sits in the middle of the toolbar, or as near it as the
// other groups let it.
void expectCentreGroupInTheMiddle(EditorView* view) {
    EditorToolbar* bar = view->toolBar();
    const QRect leading = bar->group(EditorToolbar::Group::leading)->geometry();
    const QRect centre = bar->group(EditorToolbar::Group::centre)->geometry();
    const QRect trailing = bar->group(EditorToolbar::Group::trailing)->geometry();
    EXPECT_EQ(leading.left(), EditorToolbar::kMargin);
    EXPECT_EQ(trailing.right(), bar->width() - 1 - EditorToolbar::kMargin);
    const int middle = (bar->width() - centre.width()) / 2;
    if (centre.left() != middle) {
        // Pushed aside: exactly the least gap from the group that is in the way.
        EXPECT_TRUE(centre.left() == leading.right() + 1 + EditorToolbar::kGroupGap ||
                    centre.right() + 1 + EditorToolbar::kGroupGap == trailing.left())
            << centre.left() << " " << middle;
    }
    EXPECT_GE(centre.left(), leading.right() + EditorToolbar::kGroupGap);
    EXPECT_LE(centre.right() + EditorToolbar::kGroupGap, trailing.left());
}

TEST(X11EditorLayout, NoControlMovesForANoteOrGrowingNumbersAtAnyWidth) {
    Editor editor(100);
    EditorView* view = editor.view();
    EditorState* state = editor.state();
    const int minimumWidth = editor.window()->minimumWidth();
    const int minimumHeight = editor.window()->minimumHeight();
    EXPECT_EQ(minimumWidth, EditorWindowController::kMinimumWidth);
    EXPECT_EQ(minimumHeight, EditorWindowController::kMinimumHeight);

    Geometry widthsAtMinimum;
    for (const int width : {minimumWidth, 1000, 1400, 1900, 2560}) {
        SCOPED_TRACE(width);
        const int height = width == minimumWidth ? minimumHeight : 640;
        editor.resizeTo(width, height);
        ASSERT_EQ(editor.window()->width(), width);
        ASSERT_EQ(editor.window()->height(), height);
        state->seek(0);
        settle();
        const Geometry base = controls(view);
        ASSERT_GE(base.size(), 13) << describe(base).toStdString();

        // Natural widths at every window width: as wide as at the minimum.
        Geometry widths;
        for (auto it = base.begin(); it != base.end(); ++it) {
            if (it.key() != QStringLiteral("slider")) {
                widths.insert(it.key(), QRect(QPoint(), it.value().size()));
            }
        }
        if (widthsAtMinimum.isEmpty()) {
            widthsAtMinimum = widths;
        }
        EXPECT_SAME_LAYOUT(widthsAtMinimum, widths, "sizes across window widths");
        for (QToolButton* button : view->toolBar()->findChildren<QToolButton*>()) {
            if (button->isVisible()) {
                EXPECT_EQ(button->size(), button->sizeHint()) << button->text().toStdString();
            }
        }
        expectCentreGroupInTheMiddle(view);

        // A note appears and goes: nothing moves.
        editor.refuseADelay();
        EXPECT_SAME_LAYOUT(base, controls(view), "with the note");
        editor.clearTheNote();
        EXPECT_SAME_LAYOUT(base, controls(view), "after the note");

        // The position text gains digits: 第 9 / 100 帧, 第 10 …, 第 100 ….
        for (const int index : {8, 9, 99}) {
            state->seek(index);
            settle();
            EXPECT_SAME_LAYOUT(base, controls(view), view->positionLabel()->text().toStdString());
        }
        if (width == minimumWidth) {
            editor.screenshot(QStringLiteral("editor-minimum-%1x%2.png").arg(width).arg(height));
        } else if (width == 2560) {
            editor.screenshot(QStringLiteral("editor-2560x640.png"));
        }
    }

    // Frame counts 100 -> 10 -> 9 and back by undo: the same layout
    // throughout, the note included.
    editor.resizeTo(1000, 640);
    state->seek(0);
    settle();
    const Geometry base = controls(view);
    state->seek(9);
    view->deleteAfterAction()->trigger();
    settle();
    ASSERT_EQ(state->frameCount(), 10);
    EXPECT_SAME_LAYOUT(base, controls(view), "10 frames");
    state->seek(8);
    view->deleteAfterAction()->trigger();
    settle();
    ASSERT_EQ(state->frameCount(), 9);
    EXPECT_SAME_LAYOUT(base, controls(view), "9 frames");
    editor.refuseADelay();
    EXPECT_SAME_LAYOUT(base, controls(view), "9 frames with the note");
    editor.clearTheNote();
    click(view->toolBar()->buttonFor(view->undoAction()));
    ASSERT_EQ(state->frameCount(), 10);
    EXPECT_SAME_LAYOUT(base, controls(view), "10 frames again");
    click(view->toolBar()->buttonFor(view->undoAction()));
    ASSERT_EQ(state->frameCount(), 100);
    state->seek(99);
    settle();
    EXPECT_SAME_LAYOUT(base, controls(view), "100 frames again");

    // Crop mode swaps the centre group, which stays in the middle, and
    // leaves the other groups where they were.
    click(view->toolBar()->buttonFor(view->cropAction()));
    ASSERT_TRUE(state->isCropping());
    expectCentreGroupInTheMiddle(view);
    const Geometry cropping = controls(view);
    for (QAction* action : {view->undoAction(), view->deleteAfterAction(), view->saveAction()}) {
        EXPECT_EQ(cropping.value(action->text()), base.value(action->text()))
            << action->text().toStdString();
    }
    xdotool({"key", "Escape"});
}

TEST(X11EditorLayout, LongerTextsWidenTheWindowInsteadOfHidingACommand) {
    Editor editor(12);
    EditorView* view = editor.view();
    // Texts about three times as long as today's, as translations may be.
    for (QAction* action : view->toolBar()->actions()) {
        action->setText(action->text() + QStringLiteral(" of this recording"));
    }
    settle();
    EXPECT_GT(editor.window()->minimumWidth(), EditorWindowController::kMinimumWidth);
    editor.resizeTo(EditorWindowController::kMinimumWidth, 520);
    EXPECT_EQ(editor.window()->width(), editor.window()->minimumWidth());
    // Every command whole, inside the window, none over another.
    QList<QRect> taken;
    for (QToolButton* button : view->toolBar()->findChildren<QToolButton*>()) {
        if (!button->isVisible()) {
            continue;
        }
        EXPECT_EQ(button->size(), button->sizeHint()) << button->text().toStdString();
        const QRect rect(button->mapTo(editor.window(), QPoint(0, 0)), button->size());
        EXPECT_TRUE(editor.window()->rect().contains(rect)) << button->text().toStdString();
        for (const QRect& other : taken) {
            EXPECT_FALSE(rect.intersects(other)) << button->text().toStdString();
        }
        taken << rect;
    }
    expectCentreGroupInTheMiddle(view);
}

}  // namespace
