// The save flow as the user meets it: the proposed name, the options inside
// the dialog, the export behind its progress sheet, failures and closing.
#include "editor/EditorState.h"
#include "export/ExportFormats.h"
#include "export/ExportModel.h"
#include "export/ExportPreprocessor.h"
#include "overlay/OverlayRenderer.h"
#include "support/EditorClosing.h"
#include "support/TestImages.h"
#include "ui/editor/EditorView.h"
#include "ui/editor/EditorWindowController.h"
#include "ui/editor/ExportAccessoryView.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <tuple>

namespace mirelo {
namespace {

using namespace std::chrono_literals;

FrameList frames(int count, int width = 48, int height = 32) {
    FrameList list;
    for (int i = 0; i < count; ++i) {
        list.append(EditorFrame::make(
            test::patternImage(width, height, static_cast<uint8_t>(i * 40)), 0.1));
    }
    return list;
}

QLineEdit* nameEdit(QFileDialog* dialog) {
    return dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
}

TEST(SaveFlow, ProposedNameUsesTheLocalTimeAndTheFormat) {
    const QDateTime when(QDate(2025, 3, 5), QTime(9, 7, 3));
    EXPECT_EQ(EditorWindowController::proposedFileName(when, ExportFormat::gif),
              QStringLiteral("Mirelo-20250305-090703.gif"));
    EXPECT_EQ(EditorWindowController::proposedFileName(
                  QDateTime(QDate(2025, 1, 31), QTime(14, 23, 5)), ExportFormat::mp4),
              QStringLiteral("Mirelo-20250131-142305.mp4"));
    EXPECT_EQ(
        EditorWindowController::renamedForFormat(QStringLiteral("clip.gif"), ExportFormat::webp),
        QStringLiteral("clip.webp"));
    EXPECT_EQ(
        EditorWindowController::renamedForFormat(QStringLiteral("a.b.gif"), ExportFormat::webp),
        QStringLiteral("a.b.webp"));
    EXPECT_EQ(EditorWindowController::renamedForFormat(QStringLiteral("clip"), ExportFormat::mp4),
              QStringLiteral("clip.mp4"));
    EXPECT_EQ(
        EditorWindowController::renamedForFormat(QStringLiteral("v1.0/clip"), ExportFormat::gif),
        QStringLiteral("v1.0/clip.gif"));
}

struct Flow {
    explicit Flow(FrameList list) : folder(), controller(std::move(list), folder.path()) {
        controller.onSaved = [this](const QString& path) {
            saved.append(path);
            closedWhenSaved = closed;
        };
        controller.onClosed = [this] { ++closed; };
        controller.window()->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(controller.window()));
    }
    QFileDialog* openDialog() {
        controller.state()->play();
        controller.window()->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(controller.window()));
        QTest::keyClick(controller.view(), Qt::Key_S, Qt::ControlModifier);
        EXPECT_FALSE(controller.state()->isPlaying());
        return controller.saveDialog();
    }
    void chooseAndSave(QFileDialog* dialog, const QString& path) {
        nameEdit(dialog)->setText(path);
        QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
    }

    QTemporaryDir folder;
    EditorWindowController controller;
    QStringList saved;
    int closed = 0;
    int closedWhenSaved = -1;
};

TEST(SaveFlow, FileNameFollowsTheFormatChosenInTheOptions) {
    Flow flow(frames(3));
    QFileDialog* dialog = flow.openDialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_NE(flow.controller.accessory(), nullptr);
    EXPECT_EQ(QDir(dialog->directory()).canonicalPath(), QDir(flow.folder.path()).canonicalPath());
    const QString proposed = nameEdit(dialog)->text();
    EXPECT_TRUE(proposed.startsWith(QStringLiteral("Mirelo-")));
    EXPECT_TRUE(proposed.endsWith(QStringLiteral(".gif")));
    EXPECT_EQ(proposed.size(), QStringLiteral("Mirelo-20250305-090703.gif").size());

    ExportAccessoryView* options = flow.controller.accessory();
    QTest::mouseClick(options->formatButton(2), Qt::LeftButton);
    EXPECT_EQ(flow.controller.exportModel()->format(), ExportFormat::mp4);
    EXPECT_EQ(nameEdit(dialog)->text(), proposed.chopped(3) + QStringLiteral("mp4"));
    EXPECT_EQ(dialog->nameFilters(), QStringList{QStringLiteral("MPEG-4 视频 (*.mp4)")});
    QTest::mouseClick(options->formatButton(0), Qt::LeftButton);
    EXPECT_EQ(nameEdit(dialog)->text(), proposed);

    nameEdit(dialog)->setText(QStringLiteral("a.b.gif"));
    QTest::mouseClick(options->formatButton(1), Qt::LeftButton);
    EXPECT_EQ(nameEdit(dialog)->text(), QStringLiteral("a.b.webp"));
    nameEdit(dialog)->setText(QStringLiteral("clip"));
    QTest::mouseClick(options->formatButton(2), Qt::LeftButton);
    EXPECT_EQ(nameEdit(dialog)->text(), QStringLiteral("clip.mp4"));
    dialog->reject();
}

TEST(SaveFlow, ATypedExtensionChoosesTheFormatAndAnyOtherGetsTheFormats) {
    EXPECT_EQ(EditorWindowController::formatOfFileName(QStringLiteral("a/x.MP4")),
              ExportFormat::mp4);
    EXPECT_EQ(EditorWindowController::formatOfFileName(QStringLiteral("v1.webp/clip")),
              std::nullopt);
    EXPECT_EQ(EditorWindowController::formatOfFileName(QStringLiteral(".gif")), std::nullopt);
    EXPECT_EQ(
        EditorWindowController::nameWithFormatExtension(QStringLiteral("x.GIF"), ExportFormat::gif),
        QStringLiteral("x.GIF"));

    // Typed as a user types it: the options view follows the extension, and
    // Return writes that format under that name.
    {
        Flow flow(frames(4));
        QFileDialog* dialog = flow.openDialog();
        ASSERT_NE(dialog, nullptr);
        ASSERT_EQ(flow.controller.exportModel()->format(), ExportFormat::gif);
        QLineEdit* edit = nameEdit(dialog);
        edit->clear();
        QTest::keyClicks(edit, QStringLiteral("x.mp4"));
        EXPECT_EQ(flow.controller.exportModel()->format(), ExportFormat::mp4);
        EXPECT_TRUE(flow.controller.accessory()->formatButton(2)->isChecked());
        EXPECT_EQ(edit->text(), QStringLiteral("x.mp4"));
        EXPECT_EQ(dialog->nameFilters(), QStringList{QStringLiteral("MPEG-4 视频 (*.mp4)")});
        QTest::keyClick(edit, Qt::Key_Return);
        ASSERT_TRUE(test::waitUntil([&] { return !flow.saved.isEmpty(); }, 20s));
        const QString path = flow.folder.filePath(QStringLiteral("x.mp4"));
        EXPECT_EQ(flow.saved, QStringList{path});
        QProcess probe;
        probe.start(QStringLiteral("ffprobe"),
                    {"-v", "error", "-show_entries", "format=format_name:stream=codec_name", "-of",
                     "default=noprint_wrappers=1", path});
        ASSERT_TRUE(probe.waitForFinished(20000));
        const QString info = QString::fromUtf8(probe.readAllStandardOutput());
        EXPECT_TRUE(info.contains(QStringLiteral("codec_name=h264"))) << info.toStdString();
        EXPECT_TRUE(info.contains(QStringLiteral("mp4"))) << info.toStdString();
    }
    // Another extension, or none, gets the chosen format's.
    for (const auto& [typed, written, magic] : {std::tuple{"notes.txt", "notes.txt.webp", "RIFF"},
                                                std::tuple{"clip", "clip.webp", "RIFF"}}) {
        SCOPED_TRACE(typed);
        Flow flow(frames(3));
        QFileDialog* dialog = flow.openDialog();
        ASSERT_NE(dialog, nullptr);
        QTest::mouseClick(flow.controller.accessory()->formatButton(1), Qt::LeftButton);
        QLineEdit* edit = nameEdit(dialog);
        edit->clear();
        QTest::keyClicks(edit, QString::fromLatin1(typed));
        EXPECT_EQ(flow.controller.exportModel()->format(), ExportFormat::webp);
        QTest::keyClick(edit, Qt::Key_Return);
        ASSERT_TRUE(test::waitUntil([&] { return !flow.saved.isEmpty(); }, 20s));
        EXPECT_EQ(flow.saved, QStringList{flow.folder.filePath(QString::fromLatin1(written))});
        QFile file(flow.saved.value(0));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_TRUE(file.read(4).startsWith(magic));
    }
}

TEST(SaveFlow, CancellingLeavesTheEditorOpenAndPaused) {
    Flow flow(frames(3));
    QFileDialog* dialog = flow.openDialog();
    ASSERT_NE(dialog, nullptr);
    dialog->reject();
    QApplication::processEvents();
    EXPECT_EQ(flow.controller.saveDialog(), nullptr);
    EXPECT_EQ(flow.controller.progressDialog(), nullptr);
    EXPECT_EQ(flow.controller.exportModel(), nullptr);
    EXPECT_TRUE(flow.controller.window()->isVisible());
    EXPECT_FALSE(flow.controller.state()->isPlaying());
    EXPECT_TRUE(flow.saved.isEmpty());
    EXPECT_TRUE(QDir(flow.folder.path()).isEmpty());
}

TEST(SaveFlow, ClosingAnUnsavedRecordingAsksFirst) {
    Flow flow(frames(3));
    flow.controller.window()->close();
    QMessageBox* question = flow.controller.discardQuestion();
    ASSERT_NE(question, nullptr);
    EXPECT_EQ(question->text(), QStringLiteral("放弃这段录制？"));
    EXPECT_EQ(question->defaultButton()->text(), QStringLiteral("取消"));
    EXPECT_TRUE(flow.controller.window()->isVisible());
    EXPECT_EQ(flow.closed, 0);
    flow.controller.window()->close();  // asked again: still the one question
    EXPECT_EQ(flow.controller.discardQuestion(), question);

    test::discardQuestionButton(&flow.controller, QStringLiteral("取消"))->click();
    ASSERT_TRUE(test::waitUntil([&] { return flow.controller.discardQuestion() == nullptr; }, 3s));
    test::spinFor(20ms);
    EXPECT_TRUE(flow.controller.window()->isVisible());
    EXPECT_EQ(flow.closed, 0);
    EXPECT_EQ(flow.controller.state()->frameCount(), 3);

    test::closeDiscarding(&flow.controller);
    EXPECT_EQ(flow.closed, 1);
    EXPECT_FALSE(flow.controller.window()->isVisible());
}

TEST(SaveFlow, SuccessReportsTheFileThenCloses) {
    Flow flow(frames(4));
    QFileDialog* dialog = flow.openDialog();
    ASSERT_NE(dialog, nullptr);
    const QString path = flow.folder.filePath(QStringLiteral("out.gif"));
    flow.chooseAndSave(dialog, path);
    EXPECT_TRUE(flow.controller.progressDialog() != nullptr || !flow.saved.isEmpty());
    ASSERT_TRUE(test::waitUntil([&] { return !flow.saved.isEmpty(); }, 20s));
    EXPECT_EQ(flow.saved, QStringList{path});
    EXPECT_EQ(flow.closedWhenSaved, 0);  // reported before the window closed
    EXPECT_EQ(flow.closed, 1);
    EXPECT_FALSE(flow.controller.window()->isVisible());
    EXPECT_EQ(flow.controller.discardQuestion(), nullptr);  // saved: nothing to ask
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.read(4).startsWith("GIF8"));
    EXPECT_EQ(QDir(flow.folder.path()).entryList(QDir::Files),
              QStringList{QStringLiteral("out.gif")});
}

TEST(SaveFlow, FailureShowsTheReasonAndKeepsTheEditorIntact) {
    Flow flow(frames(4));
    EditorState* state = flow.controller.state();
    state->deleteAfterCurrent();  // one undo step to keep
    const int frameCount = state->frameCount();

    QFileDialog* dialog = flow.openDialog();
    ASSERT_NE(dialog, nullptr);
    // A destination whose folder is a plain file cannot be written.
    const QString blocker = flow.folder.filePath(QStringLiteral("not-a-folder"));
    QFile(blocker).open(QIODevice::WriteOnly);
    flow.chooseAndSave(dialog, blocker + QStringLiteral("/out.gif"));
    ASSERT_TRUE(test::waitUntil([&] { return flow.controller.errorAlert() != nullptr; }, 20s));
    QMessageBox* alert = flow.controller.errorAlert();
    EXPECT_EQ(alert->text(), QStringLiteral("保存失败"));
    // The error's own text, then the reason with the folder.
    EXPECT_TRUE(alert->informativeText().contains(QStringLiteral("不是文件夹")))
        << alert->informativeText().toStdString();
    EXPECT_TRUE(alert->informativeText().contains(blocker))
        << alert->informativeText().toStdString();
    EXPECT_EQ(flow.controller.progressDialog(), nullptr);
    alert->accept();
    QApplication::processEvents();

    EXPECT_TRUE(flow.saved.isEmpty());
    EXPECT_EQ(flow.closed, 0);
    EXPECT_TRUE(flow.controller.window()->isVisible());
    EXPECT_EQ(state->frameCount(), frameCount);
    EXPECT_TRUE(state->canUndo());
    // The user can save again with a fresh dialog.
    QFileDialog* again = flow.openDialog();
    ASSERT_NE(again, nullptr);
    again->reject();
}

TEST(SaveFlow, CancellingOrClosingDuringAnExportLeavesNoFile) {
    Flow flow(frames(120, 640, 360));
    EditorState* state = flow.controller.state();
    state->addText();  // an edit to keep
    const OverlayList overlays = state->overlays();
    const QString path = flow.folder.filePath(QStringLiteral("long.gif"));
    auto startLongExport = [&] {
        QFileDialog* dialog = flow.openDialog();
        ASSERT_NE(dialog, nullptr);
        QCheckBox* skip = flow.controller.accessory()->skipCheck();
        skip->setChecked(true);  // different options: the export encodes afresh
        flow.chooseAndSave(dialog, path);
        ASSERT_TRUE(flow.controller.isExporting());
        ASSERT_NE(flow.controller.progressDialog(), nullptr);
    };
    auto noFiles = [&] {
        return QDir(flow.folder.path()).entryList(QDir::Files | QDir::Hidden).isEmpty();
    };

    // "取消" in the sheet, then its close box: each stops the export, the
    // sheet goes and stays gone, and the editor keeps its edits.
    for (const bool closeBox : {false, true}) {
        startLongExport();
        QProgressDialog* progress = flow.controller.progressDialog();
        if (closeBox) {
            progress->close();
        } else {
            auto* cancel = progress->findChild<QPushButton*>();
            ASSERT_NE(cancel, nullptr);
            EXPECT_EQ(cancel->text(), QStringLiteral("取消"));
            QTest::mouseClick(cancel, Qt::LeftButton);
        }
        EXPECT_EQ(flow.controller.progressDialog(), nullptr);
        ASSERT_TRUE(test::waitUntil([&] { return !flow.controller.isExporting(); }, 20s));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(flow.controller.progressDialog(), nullptr);
        EXPECT_EQ(flow.controller.errorAlert(), nullptr);
        EXPECT_TRUE(flow.saved.isEmpty());
        EXPECT_EQ(flow.closed, 0);
        EXPECT_TRUE(flow.controller.window()->isVisible());
        EXPECT_EQ(state->overlays(), overlays);
        EXPECT_EQ(state->frameCount(), 120);
        EXPECT_EQ(state->undoCount(), 1);
        EXPECT_TRUE(noFiles());
    }

    // Closing the editor during an export cancels it too.
    startLongExport();
    test::closeDiscarding(&flow.controller);
    EXPECT_EQ(flow.closed, 1);
    EXPECT_FALSE(flow.controller.isExporting());
    test::spinFor(1500ms);
    EXPECT_TRUE(flow.saved.isEmpty());
    EXPECT_EQ(flow.closed, 1);
    EXPECT_TRUE(noFiles());
}

// The frames the save flow exports are drawn one at a time as the encoders
// ask for them; the files are the very bytes of drawing every frame first and
// processing and encoding the copies.
TEST(SaveFlow, FramesDrawnOnDemandGiveTheFilesOfDrawingAllFirst) {
    FrameList list;
    std::vector<Image> images;
    std::vector<double> delays;
    for (int i = 0; i < 24; ++i) {
        // Runs of alike frames, so that skipping similar frames drops some.
        const Image image = test::patternImage(120, 80, static_cast<uint8_t>((i / 3) * 30));
        list.append(EditorFrame::make(image, 0.05 + 0.01 * (i % 4)));
        images.push_back(image);
        delays.push_back(list.back().delay);
    }
    const RGBA red{0.9, 0.1, 0.1, 1};
    const QList<OverlayItem> overlays = {
        OverlayItem::make(TextOverlay{QPointF(6, 8), QStringLiteral("示例 ab"), 22, red, true}),
        OverlayItem::make(
            StickerOverlay{QRectF(70, 5, 30, 24), test::patternImage(90, 72, 7), true}),
        OverlayItem::make(MosaicOverlay{QRectF(10, 40, 50, 30), 6}),
        OverlayItem::make(ArrowOverlay{QPointF(100, 70), QPointF(60, 30), 3, red})};
    const std::vector<Image> drawn = OverlayRenderer::renderAll(overlays, images);

    QTemporaryDir folder;
    int run = 0;
    for (const ExportFormatEntry& entry : kExportFormats) {
        const ExportFormat format = entry.format;
        for (bool reduce : {false, true}) {
            SCOPED_TRACE(std::string(entry.extension) + (reduce ? " reduced" : ""));
            ExportModel model(EditorWindowController::exportFrames(list, overlays), delays);
            model.setFormat(format);
            model.setSkipSimilarEnabled(reduce);
            model.setReduceFramesEnabled(reduce);
            model.setResizeEnabled(reduce);
            model.setQuality(70);
            model.scheduleEstimate();
            ASSERT_TRUE(
                test::waitUntil([&] { return !model.cachedEstimatePath().isEmpty(); }, 60s));

            const ExportPreprocessor::Frames processed =
                ExportPreprocessor::process(drawn, delays, model.preprocessorOptions());
            const QString expected = folder.filePath(QString::number(++run));
            ASSERT_EQ(encodeFrames(format, FrameSequence::of(processed.images), processed.delays,
                                   70, expected),
                      std::nullopt);
            QFile want(expected), got(model.cachedEstimatePath());
            ASSERT_TRUE(want.open(QIODevice::ReadOnly) && got.open(QIODevice::ReadOnly));
            EXPECT_EQ(got.readAll(), want.readAll());
        }
    }
}

// Pixels that take a while to read, as frames on a slow disk do.
struct SlowPixels : PixelSource {
    QSize size() const override { return {40, 30}; }
    bool decode(uchar* out) const override {
        std::this_thread::sleep_for(20ms);
        std::fill(out, out + 40 * 30 * 4, uchar(200));
        return true;
    }
};

TEST(GeometryFlow, LongWorkShowsASheetWhoseCancelKeepsTheRecording) {
    FrameList list;
    for (int i = 0; i < 150; ++i) {
        list.append(EditorFrame::make(Image::decodedOnDemand(std::make_shared<SlowPixels>()), 0.1));
    }
    Flow flow(list);
    EditorState* state = flow.controller.state();
    state->resize(QSizeF(20, 15));
    // The window takes no input meanwhile; the sheet shows after half a second.
    EXPECT_FALSE(flow.controller.view()->isEnabled());
    QProgressDialog* sheet = flow.controller.geometryProgressDialog();
    ASSERT_NE(sheet, nullptr);
    ASSERT_TRUE(test::waitUntil([&] { return sheet->isVisible(); }, 5s));
    EXPECT_TRUE(sheet->labelText().startsWith(QStringLiteral("正在调整大小…")));
    EXPECT_TRUE(state->isTransforming());
    auto* cancel = sheet->findChild<QPushButton*>();
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(cancel->text(), QStringLiteral("取消"));
    cancel->click();
    EXPECT_FALSE(state->isTransforming());
    EXPECT_EQ(flow.controller.geometryProgressDialog(), nullptr);
    EXPECT_TRUE(flow.controller.view()->isEnabled());
    EXPECT_EQ(state->imageSize(), QSizeF(40, 30));
    EXPECT_FALSE(state->canUndo());
    test::closeDiscarding(&flow.controller);
}

TEST(ExportAccessory, LabelsAndEnabledStatesFollowTheOptions) {
    ExportModel model({test::solidImage(8, 8, Qt::red)}, {0.1});
    ExportAccessoryView view(&model);
    EXPECT_EQ(view.width(), 400);
    EXPECT_EQ(view.qualityValueLabel()->text(), QStringLiteral("80"));
    EXPECT_EQ(view.sizeValueLabel()->text(), QStringLiteral("计算中…"));
    EXPECT_EQ(view.reduceValueLabel()->text(), QStringLiteral("30%"));
    EXPECT_EQ(view.resizeValueLabel()->text(), QStringLiteral("50%"));
    EXPECT_EQ(view.skipValueLabel()->text(), QStringLiteral("95%"));
    EXPECT_EQ(view.durationValueLabel()->text(), QStringLiteral("2 秒"));
    EXPECT_EQ(view.processedInfoLabel()->text(), QStringLiteral("处理后:—"));
    EXPECT_TRUE(view.formatButton(0)->isChecked());
    EXPECT_EQ(view.formatButton(1)->text(), QStringLiteral("WEBP"));
    for (QSlider* s :
         {view.reduceSlider(), view.resizeSlider(), view.skipSlider(), view.durationSlider()}) {
        EXPECT_FALSE(s->isEnabled());
    }
    auto colour = [](QLabel* label) { return label->palette().color(QPalette::WindowText); };
    EXPECT_EQ(colour(view.durationLabel()), ExportAccessoryView::tertiaryColor());

    view.skipCheck()->setChecked(true);
    EXPECT_TRUE(model.skipSimilarEnabled());
    EXPECT_TRUE(view.skipSlider()->isEnabled());
    EXPECT_TRUE(view.durationSlider()->isEnabled());
    EXPECT_FALSE(view.reduceSlider()->isEnabled());
    for (QLabel* label : {view.skipValueLabel(), view.durationLabel(), view.durationValueLabel()}) {
        EXPECT_EQ(colour(label), ExportAccessoryView::secondaryColor());
    }
    EXPECT_EQ(colour(view.reduceValueLabel()), ExportAccessoryView::tertiaryColor());
    view.durationSlider()->setValue(5);
    EXPECT_EQ(view.durationValueLabel()->text(), QStringLiteral("5 秒"));
    EXPECT_EQ(model.maxSimilarDuration(), 5);
    view.skipCheck()->setChecked(false);
    EXPECT_FALSE(view.durationSlider()->isEnabled());
    EXPECT_EQ(colour(view.durationValueLabel()), ExportAccessoryView::tertiaryColor());
    EXPECT_EQ(model.maxSimilarDuration(), 5);  // the value stays

    view.reduceCheck()->setChecked(true);
    view.reduceSlider()->setValue(45);
    EXPECT_EQ(view.reduceValueLabel()->text(), QStringLiteral("45%"));
    EXPECT_EQ(model.reduceFramesPercent(), 45);
    view.qualitySlider()->setValue(50);
    EXPECT_EQ(view.qualityValueLabel()->text(), QStringLiteral("50"));
    EXPECT_EQ(model.quality(), 50);

    // "限制大小": off at first, its size in MB editable while it is on.
    EXPECT_EQ(view.sizeLimitCheck()->text(), QStringLiteral("限制大小"));
    EXPECT_FALSE(view.sizeLimitCheck()->isChecked());
    EXPECT_FALSE(view.sizeLimitBox()->isEnabled());
    view.sizeLimitCheck()->setChecked(true);
    view.sizeLimitBox()->setValue(8);
    EXPECT_TRUE(model.sizeLimitEnabled());
    EXPECT_EQ(model.sizeLimitMegabytes(), 8);
    EXPECT_TRUE(model.cacheKey().endsWith(QStringLiteral("-max8")));

    // The estimate arrives through the model.
    ASSERT_TRUE(test::waitUntil(
        [&] { return view.sizeValueLabel()->text() != QStringLiteral("计算中…"); }, 20s));
    EXPECT_TRUE(view.processedInfoLabel()->text().startsWith(QStringLiteral("处理后:")));
    EXPECT_NE(view.processedInfoLabel()->text(), QStringLiteral("处理后:—"));
}

TEST(ExportAccessory, WebPModeAndLossyGifFollowTheFormat) {
    ExportModel model({test::solidImage(8, 8, Qt::red)}, {0.1});
    ExportAccessoryView view(&model);
    // GIF: lossy compression may be turned on, the WebP modes wait.
    EXPECT_TRUE(view.lossyCheck()->isEnabled());
    EXPECT_FALSE(view.lossySlider()->isEnabled());
    EXPECT_FALSE(view.webpModeButton(0)->isEnabled());
    EXPECT_TRUE(view.webpModeButton(0)->isChecked());
    EXPECT_EQ(view.lossyCheck()->text(), QStringLiteral("有损压缩"));
    view.lossyCheck()->setChecked(true);
    EXPECT_TRUE(view.lossySlider()->isEnabled());
    EXPECT_EQ(model.gifLossy(), ExportAccessoryView::kDefaultLossy);
    view.lossySlider()->setValue(70);
    EXPECT_EQ(model.gifLossy(), 70);
    view.lossyCheck()->setChecked(false);
    EXPECT_EQ(model.gifLossy(), 0);

    // WebP: 有损 / 无损 / 自动; lossless leaves the quality nothing to do.
    view.formatButton(1)->click();
    EXPECT_EQ(model.format(), ExportFormat::webp);
    EXPECT_FALSE(view.lossyCheck()->isEnabled());
    EXPECT_EQ(view.webpModeButton(1)->text(), QStringLiteral("无损"));
    ASSERT_TRUE(view.webpModeButton(1)->isEnabled());
    view.webpModeButton(1)->click();
    EXPECT_EQ(model.webpMode(), WebPMode::lossless);
    EXPECT_FALSE(view.qualitySlider()->isEnabled());
    view.webpModeButton(2)->click();
    EXPECT_EQ(model.webpMode(), WebPMode::mixed);
    EXPECT_TRUE(view.qualitySlider()->isEnabled());
    EXPECT_TRUE(model.cacheKey().endsWith(QStringLiteral("-mixed")));
}

}  // namespace
}  // namespace mirelo
