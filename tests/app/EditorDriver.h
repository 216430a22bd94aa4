#pragma once

// What the programs that drive the editor with xdotool share: waiting for the
// server, keys and clicks through xdotool, screenshots, and an editor of
// generated frames shown on the test's server.
#include "X11AppTest.h"
#include "editor/EditorState.h"
#include "support/TestImages.h"
#include "ui/editor/EditorToolbar.h"
#include "ui/editor/EditorView.h"
#include "ui/editor/EditorWindowController.h"

#include <QAction>
#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <memory>

namespace mirelo::test {

// Until the server has done what it was sent and the application has seen it.
inline void settle() {
    using namespace std::chrono_literals;
    appServer().sync();
    spinFor(250ms);
}

inline void xdotool(const QStringList& arguments) {
    ASSERT_EQ(appServer().run("xdotool", arguments), 0);
    settle();
}

// xdotool's arguments that move the pointer to `point` of `widget`.
inline QStringList pointerAt(QWidget* widget, QPoint point) {
    const QPoint global = widget->mapToGlobal(point);
    return {"mousemove", QString::number(global.x()), QString::number(global.y())};
}

inline void click(QWidget* widget, QPoint point) {
    xdotool(pointerAt(widget, point) << "click"
                                     << "1");
}

inline void click(QWidget* widget) {
    click(widget, widget->rect().center());
}

// Clicks the toolbar button of `action`.
inline void press(EditorView* view, QAction* action) {
    QToolButton* button = view->toolBar()->buttonFor(action);
    ASSERT_TRUE(button != nullptr && button->isVisible()) << action->text().toStdString();
    click(button);
}

// Saves what the screen shows of `window` (with its frame) as
// screenshots/<name> in the working folder.
inline void screenshot(QWidget* window, const QString& name) {
    QDir().mkpath(QStringLiteral("screenshots"));
    const QRect frame = window->frameGeometry();
    EXPECT_TRUE(QGuiApplication::primaryScreen()
                    ->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height())
                    .save(QStringLiteral("screenshots/%1").arg(name)))
        << name.toStdString();
}

// An editor of `count` generated frames, shown and active; its save dialog
// opens in a folder of its own.
struct DrivenEditor {
    explicit DrivenEditor(int count, QSize size = QSize(320, 180)) {
        FrameList frames;
        for (int i = 0; i < count; ++i) {
            frames.append(
                EditorFrame::make(patternImage(size.width(), size.height(), uint8_t(i)), 0.1));
        }
        controller = std::make_unique<EditorWindowController>(std::move(frames), folder.path());
        controller->window()->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(controller->window()));
        controller->window()->activateWindow();
        settle();
    }
    ~DrivenEditor() {
        controller->onClosed = nullptr;
        controller.reset();
    }
    EditorView* view() const { return controller->view(); }
    EditorState* state() const { return controller->state(); }
    QWidget* window() const { return controller->window(); }

    QTemporaryDir folder;
    std::unique_ptr<EditorWindowController> controller;
};

}  // namespace mirelo::test
