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

}  // namespace
