// The whole road on a real X server (a private Xvfb with openbox): record a
// window for a second, stop, find the frames in the editor, delete one, add a
// text, save as GIF through the save dialog, and read the file back.
//
// Runs as its own program: the X server must exist before the Qt application
// connects to it.
#include "X11AppTest.h"
#include "app/AppState.h"
#include "editor/EditorState.h"
#include "platform/x11/X11CaptureBackend.h"
#include "support/TestImages.h"
#include "ui/editor/EditorView.h"
#include "ui/editor/EditorWindowController.h"
#include "ui/editor/PreviewCanvas.h"
#include "ui/recorder/RecorderWindow.h"
#include "ui/recorder/RecorderWindowController.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

using namespace mirelo;
using namespace std::chrono_literals;

namespace {

using test::SilentAlerts;

// A window that changes colour ten times a second, so every frame differs.
class Flicker : public QWidget {
public:
    Flicker() {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            ++m_tick;
            update();
        });
        m_timer.start(100);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).fillRect(rect(), QColor::fromHsv((m_tick * 40) % 360, 120, 200));
    }

private:
    QTimer m_timer;
    int m_tick = 0;
};

void settle() {
    test::appServer().sync();
    test::spinFor(300ms);
}

TEST(X11EditorFlow, RecordEditAndSaveAGif) {
    Flicker below;
    below.setGeometry(150, 150, 1000, 700);
    below.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&below));

    auto alerts = std::make_shared<SilentAlerts>();
    AppServices services;
    services.recorder =
        std::make_unique<ScreenRecorder>(makeX11CaptureBackend(test::appServer().displayName()));
    services.alerts = alerts;
    QStringList revealed;
    services.revealFile = [&](const QString& path) { revealed << path; };
    AppState state(std::move(services));
    state.setCountdownSeconds(0);
    state.setShowsCursor(false);
    state.setFps(10);
    RecorderWindow* recorder = state.recorderWindowController()->window();
    ASSERT_TRUE(test::waitUntil([&] { return recorder->isVisible(); }, 3s));
    recorder->setGeometry(300, 250, 320, 244);
    settle();

    state.toggleRecording();
    ASSERT_TRUE(test::waitUntil([&] { return state.isRecording(); }, 5s))
        << alerts->shown.join(" | ").toStdString();
    test::spinFor(1000ms);
    state.toggleRecording();
    ASSERT_TRUE(test::waitUntil([&] { return state.editor() != nullptr; }, 5s));
    EditorWindowController* editor = state.editor();
    EXPECT_FALSE(recorder->isVisible());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(editor->window()));
    EditorState* model = editor->state();
    const int recorded = model->frameCount();
    ASSERT_GE(recorded, 4);
    const QSize size = model->frames().at(0).image.size();
    EXPECT_EQ(editor->view()->positionLabel()->text(),
              QStringLiteral("第 1 / %1 帧").arg(recorded));

    // Delete the first frame (selected on opening), then add a text.
    editor->view()->deleteSelectedAction()->trigger();
    EXPECT_EQ(model->frameCount(), recorded - 1);
    model->addText();
    ASSERT_EQ(model->overlays().size(), 1);
    TextOverlay text = std::get<TextOverlay>(model->overlays().at(0).content);
    text.color = RGBA{1, 0, 0, 1};
    text.origin = QPointF(10, 10);
    model->setOverlayContent(model->overlays().at(0).id, text);

    // Save through the dialog.
    QTemporaryDir folder;
    editor->view()->saveAction()->trigger();
    QFileDialog* dialog = editor->saveDialog();
    ASSERT_NE(dialog, nullptr);
    const QString path = folder.filePath(QStringLiteral("clip.gif"));
    dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(path);
    QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
    ASSERT_TRUE(test::waitUntil([&] { return !revealed.isEmpty(); }, 30s));
    EXPECT_EQ(revealed, QStringList{path});
    settle();
    EXPECT_TRUE(recorder->isVisible());  // back after the editor closed

    QImageReader reader(path);
    ASSERT_TRUE(reader.canRead()) << reader.errorString().toStdString();
    EXPECT_EQ(reader.imageCount(), recorded - 1);
    const QImage first = reader.read();
    ASSERT_EQ(first.size(), size);
    // Red text pixels near the text's corner.
    int red = 0;
    for (int y = 10; y < std::min(first.height(), 60); ++y) {
        for (int x = 10; x < std::min(first.width(), 200); ++x) {
            const QColor c = first.pixelColor(x, y);
            if (c.red() > 200 && c.green() < 60 && c.blue() < 60) {
                ++red;
            }
        }
    }
    EXPECT_GT(red, 20);
}

void xdotool(const QStringList& arguments) {
    ASSERT_EQ(test::appServer().run("xdotool", arguments), 0);
    settle();
}

void clickAt(QWidget* widget, QPoint at) {
    const QPoint global = widget->mapToGlobal(at);
    xdotool({"mousemove", QString::number(global.x()), QString::number(global.y()), "click", "1"});
}

// Real pointer and keys: Space plays after the delay field was used and the
// preview clicked; "取消" in the progress sheet stops a long export.
TEST(X11EditorFlow, SpaceAfterTheDelayFieldPlaysAndALongExportCancelsFromTheSheet) {
    FrameList frames;
    for (int i = 0; i < 240; ++i) {
        frames.append(EditorFrame::make(test::patternImage(640, 360, uint8_t(i)), 0.1));
    }
    QTemporaryDir folder;
    EditorWindowController editor(std::move(frames), folder.path());
    int closed = 0;
    editor.onClosed = [&] { ++closed; };
    editor.window()->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(editor.window()));
    editor.window()->activateWindow();
    settle();
    EditorView* view = editor.view();

    QLineEdit* delay = view->delayField();
    clickAt(delay, delay->rect().center());
    xdotool({"type", "0.5"});
    EXPECT_EQ(delay->text(), QStringLiteral("0.5"));
    clickAt(view->canvas(), view->canvas()->rect().center());
    xdotool({"key", "space"});
    EXPECT_TRUE(editor.state()->isPlaying());
    EXPECT_EQ(delay->text(), QStringLiteral("0.5"));

    xdotool({"key", "ctrl+s"});
    QFileDialog* dialog = editor.saveDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(editor.state()->isPlaying());
    const QString path = folder.filePath(QStringLiteral("long.gif"));
    dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(path);
    QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
    ASSERT_TRUE(editor.isExporting());
    settle();
    QProgressDialog* progress = editor.progressDialog();
    ASSERT_NE(progress, nullptr);
    auto* cancel = progress->findChild<QPushButton*>();
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(cancel->text(), QStringLiteral("取消"));
    clickAt(cancel, cancel->rect().center());
    ASSERT_TRUE(test::waitUntil([&] { return !editor.isExporting(); }, 30s));
    settle();
    EXPECT_EQ(editor.progressDialog(), nullptr);
    EXPECT_TRUE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    EXPECT_TRUE(editor.window()->isVisible());
    EXPECT_EQ(closed, 0);
    EXPECT_EQ(editor.state()->frameCount(), 240);
}

}  // namespace
