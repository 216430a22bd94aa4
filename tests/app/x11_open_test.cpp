// Opening files on a real X server (a private Xvfb with openbox): a second `mirelo FILE` has
// the running instance open it, a bad file gives one alert and leaves the open editor alone,
// 插入… adds another file's frames, and files dropped onto the recorder window open.
//
// Runs as its own program: the X server must exist before the Qt application connects to it.
#include "X11AppTest.h"
#include "app/AppState.h"
#include "editor/EditorState.h"
#include "export/ExportFormats.h"
#include "export/FrameSequence.h"
#include "platform/SingleInstance.h"
#include "platform/x11/X11CaptureBackend.h"
#include "support/EditorClosing.h"
#include "support/TestImages.h"
#include "ui/editor/EditorView.h"
#include "ui/editor/EditorWindowController.h"
#include "ui/recorder/RecorderWindow.h"
#include "ui/recorder/RecorderWindowController.h"

#include <QApplication>
#include <QFile>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

using namespace mirelo;
using namespace std::chrono_literals;

namespace {

class NoticeAlerts : public test::SilentAlerts {
public:
    void showNotice(const QString& text) override { notices << text; }
};

void settle() {
    test::appServer().sync();
    test::spinFor(300ms);
}

// `count` frames of `size`, each a colour of its own, as a GIF of 0.1 s frames.
QString makeGif(const QTemporaryDir& dir, const QString& name, int count, QSize size) {
    std::vector<Image> images;
    for (int i = 0; i < count; ++i) {
        images.push_back(test::solidImage(size.width(), size.height(),
                                          QColor::fromHsv(i * 300 / count, 200, 230)));
    }
    const QString path = dir.filePath(name);
    EXPECT_FALSE(encodeFrames(ExportFormat::gif, FrameSequence::of(images),
                              std::vector<double>(size_t(count), 0.1), 100, path));
    return path;
}

class X11OpenTest : public ::testing::Test {
protected:
    void SetUp() override {
        AppServices services;
        services.recorder = std::make_unique<ScreenRecorder>(
            makeX11CaptureBackend(test::appServer().displayName()));
        services.alerts = alerts;
        state = std::make_unique<AppState>(std::move(services));
        ASSERT_TRUE(test::waitUntil(
            [&] { return state->recorderWindowController()->window()->isVisible(); }, 3s));
    }
    void TearDown() override {
        if (EditorWindowController* editor = state->editor()) {
            editor->window()->hide();
        }
        state.reset();
        test::spinFor(50ms);
    }
    bool waitForEditor(int frames) {
        return test::waitUntil(
            [&] { return state->editor() && state->editor()->state()->frameCount() == frames; },
            10s);
    }

    QTemporaryDir dir;
    std::shared_ptr<NoticeAlerts> alerts = std::make_shared<NoticeAlerts>();
    std::unique_ptr<AppState> state;
};

TEST_F(X11OpenTest, ASecondMireloWithAFileHasTheFirstOpenIt) {
    SingleInstance first;
    ASSERT_FALSE(first.notifyRunning(500));
    ASSERT_TRUE(first.listen());
    QObject::connect(&first, &SingleInstance::openRequested, state.get(),
                     [this](const QStringList& paths) { state->openFiles(paths); });
    const QString gif = makeGif(dir, QStringLiteral("clip one.gif"), 6, QSize(80, 60));

    QProcess second;
    second.setWorkingDirectory(dir.path());
    second.start(QStringLiteral(MIRELO_BINARY), {QStringLiteral("clip one.gif")});
    ASSERT_TRUE(second.waitForStarted());
    EXPECT_TRUE(test::waitUntil([&] { return second.state() == QProcess::NotRunning; }, 20s));
    if (second.state() != QProcess::NotRunning) {
        second.kill();
        second.waitForFinished();
    }
    EXPECT_EQ(second.exitCode(), 0);
    ASSERT_TRUE(waitForEditor(6)) << alerts->notices.join(" | ").toStdString();
    EditorState* model = state->editor()->state();
    EXPECT_EQ(model->imageSize(), QSizeF(80, 60));
    EXPECT_DOUBLE_EQ(model->frames()[3].delay, 0.1);
    EXPECT_FALSE(model->canUndo());
    EXPECT_FALSE(state->recorderWindowController()->window()->isVisible());
}

TEST_F(X11OpenTest, ABadFileGivesOneAlertAndTheEditorKeepsItsFrames) {
    state->openFiles({makeGif(dir, QStringLiteral("good.gif"), 4, QSize(64, 48))});
    ASSERT_TRUE(waitForEditor(4));
    EditorWindowController* editor = state->editor();
    editor->state()->reverseFrames();
    ASSERT_EQ(editor->state()->undoCount(), 1);

    const QString broken = dir.filePath(QStringLiteral("broken.gif"));
    QFile file(broken);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("GIF89a\x10\x00");
    file.close();
    state->openFiles({broken}, editor->window());
    ASSERT_TRUE(test::waitUntil([&] { return !alerts->notices.isEmpty(); }, 10s));
    test::spinFor(100ms);
    ASSERT_EQ(alerts->notices.size(), 1);
    EXPECT_TRUE(alerts->notices[0].contains(QStringLiteral("broken.gif")))
        << alerts->notices[0].toStdString();
    EXPECT_EQ(state->editor(), editor);
    EXPECT_EQ(editor->state()->frameCount(), 4);
    EXPECT_EQ(editor->state()->undoCount(), 1);

    // The same for 插入…: an alert over the editor, nothing else.
    editor->insertFiles({dir.filePath(QStringLiteral("missing.webp"))});
    ASSERT_TRUE(test::waitUntil([&] { return editor->errorAlert() != nullptr; }, 10s));
    EXPECT_TRUE(editor->errorAlert()->informativeText().contains(QStringLiteral("missing.webp")));
    editor->errorAlert()->close();
    EXPECT_EQ(editor->state()->frameCount(), 4);
    EXPECT_EQ(editor->state()->undoCount(), 1);
}

// An opened file is still on disk: closing its editor asks only about changes, and only
// while there are changes.
TEST_F(X11OpenTest, ClosingAnOpenedFileAsksOnlyAboutChanges) {
    state->openFiles({makeGif(dir, QStringLiteral("kept.gif"), 4, QSize(64, 48))});
    ASSERT_TRUE(waitForEditor(4));
    EditorWindowController* editor = state->editor();
    EXPECT_TRUE(editor->openedFromFiles());
    editor->state()->reverseFrames();
    editor->window()->close();
    settle();
    ASSERT_NE(editor->discardQuestion(), nullptr);
    EXPECT_EQ(editor->discardQuestion()->text(), QStringLiteral("放弃所做的修改？"));
    EXPECT_TRUE(editor->window()->isVisible());
    test::discardQuestionButton(editor, QStringLiteral("取消"))->click();
    settle();
    EXPECT_TRUE(editor->window()->isVisible());

    // With the change undone there is nothing to lose.
    editor->state()->undo();
    const QPointer<EditorWindowController> guard(editor);
    editor->window()->close();
    settle();
    EXPECT_TRUE(!guard || !guard->window()->isVisible());
}

TEST_F(X11OpenTest, InsertFitsAnotherFilesFramesAfterTheCurrentOne) {
    state->openFiles({makeGif(dir, QStringLiteral("wide.gif"), 5, QSize(120, 60))});
    ASSERT_TRUE(waitForEditor(5));
    EditorWindowController* editor = state->editor();
    EditorState* model = editor->state();
    model->seek(1);
    // A square clip, fitted into the wide frames on black.
    std::vector<Image> square = {test::solidImage(30, 30, QColor(255, 250, 250)),
                                 test::solidImage(30, 30, QColor(255, 200, 200)),
                                 test::solidImage(30, 30, QColor(255, 150, 150))};
    const QString path = dir.filePath(QStringLiteral("square.webp"));
    ASSERT_FALSE(
        encodeFrames(ExportFormat::webp, FrameSequence::of(square), {0.2, 0.2, 0.2}, 90, path));
    editor->insertFiles({path});
    ASSERT_TRUE(test::waitUntil([&] { return model->frameCount() == 8; }, 10s))
        << model->frameCount() << " "
        << (editor->errorAlert() ? editor->errorAlert()->informativeText().toStdString() : "");
    EXPECT_EQ(model->undoCount(), 1);
    const Image inserted = model->frames()[2].image;
    EXPECT_EQ(inserted.size(), QSize(120, 60));
    EXPECT_EQ(qRed(inserted.qimage().pixel(60, 30)) > 240, true);
    EXPECT_EQ(inserted.qimage().pixel(5, 30), qRgb(0, 0, 0));
    EXPECT_DOUBLE_EQ(model->frames()[2].delay, 0.2);
    model->undo();
    EXPECT_EQ(model->frameCount(), 5);

    // To look at by eye (MIRELO_SCREENSHOT_DIR set): the editor with its frames menu open.
    QMenu* menu = editor->view()->framesMenuAction()->menu();
    menu->popup(editor->window()->mapToGlobal(QPoint(400, 60)));
    settle();
    EXPECT_TRUE(menu->isVisible());
    if (const QString folder = qEnvironmentVariable("MIRELO_SCREENSHOT_DIR"); !folder.isEmpty()) {
        QApplication::primaryScreen()->grabWindow(0).save(
            folder + QStringLiteral("/editor-frames-menu.png"));
    }
    menu->hide();
}

TEST_F(X11OpenTest, FilesDroppedOnTheRecorderWindowOpen) {
    const QString gif = makeGif(dir, QStringLiteral("dropped.gif"), 3, QSize(50, 40));
    QWidget* recorder = state->recorderWindowController()->window();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(gif)});
    const QPoint at = recorder->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(recorder, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(recorder, &drop);
    EXPECT_TRUE(drop.isAccepted());
    ASSERT_TRUE(waitForEditor(3)) << alerts->notices.join(" | ").toStdString();

    // Anything but files is not taken.
    QMimeData text;
    text.setText(QStringLiteral("hello"));
    QDragEnterEvent refused(at, Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    refused.ignore();
    QApplication::sendEvent(state->editor()->window(), &refused);
    EXPECT_FALSE(refused.isAccepted());
}

}  // namespace
