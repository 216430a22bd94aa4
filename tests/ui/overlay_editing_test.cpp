// Overlays edited on the canvas and in the inspector: one undo step per
// drag or edit, handles, clamps and the in-place text field.
#include "editor/EditorState.h"
#include "editor/PictureChooser.h"
#include "overlay/OverlayRenderer.h"
#include "support/TestImages.h"
#include "ui/editor/EditorView.h"
#include "ui/editor/OverlayInspectorView.h"
#include "ui/editor/OverlayLayerView.h"
#include "ui/editor/PreviewCanvas.h"
#include "ui/editor/PreviewRenderer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <memory>

namespace mirelo {
namespace {

FrameList frames(int width = 400, int height = 300, int count = 3) {
    FrameList list;
    for (int i = 0; i < count; ++i) {
        list.append(EditorFrame::make(test::patternImage(width, height, uint8_t(i)), 0.1));
    }
    return list;
}

template <typename T>
const T& contentOf(const EditorState& state, int index = 0) {
    return std::get<T>(state.overlays().at(index).content);
}

// A 400 x 300 recording shown at half size: s = 0.5.
struct Layer {
    Layer() : state(frames()), layer(&state) {
        layer.resize(400, 300);
        layer.setDisplayRect(QRectF(0, 0, 200, 150));
        layer.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&layer));
    }
    void drag(QPointF from, QPointF to) {
        QTest::mousePress(&layer, Qt::LeftButton, {}, from.toPoint());
        QTest::mouseMove(&layer, ((from + to) / 2).toPoint());
        QTest::mouseMove(&layer, to.toPoint());
        QTest::mouseRelease(&layer, Qt::LeftButton, {}, to.toPoint());
    }
    EditorState state;
    OverlayLayerView layer;
};

TEST(OverlayLayer, EachDragIsOneUndoStepInImagePixels) {
    Layer t;
    t.state.addMosaic();
    const QRectF start = contentOf<MosaicOverlay>(t.state).rect;
    const int steps = t.state.undoCount();
    t.state.setSelectedOverlayID(QUuid());

    const QPointF centre = t.layer.toView(start).center();
    t.drag(centre, centre + QPointF(40, 20));
    EXPECT_EQ(contentOf<MosaicOverlay>(t.state).rect, start.translated(80, 40));
    EXPECT_EQ(t.state.undoCount(), steps + 1);
    EXPECT_EQ(t.state.selectedOverlayID(), t.state.overlays().at(0).id);

    // A second drag on the same overlay is a second step; one undo restores
    // the position after the first.
    const QPointF moved = t.layer.toView(contentOf<MosaicOverlay>(t.state).rect).center();
    t.drag(moved, moved + QPointF(-10, 0));
    EXPECT_EQ(t.state.undoCount(), steps + 2);
    t.state.undo();
    EXPECT_EQ(contentOf<MosaicOverlay>(t.state).rect, start.translated(80, 40));
}

TEST(OverlayLayer, ClicksSelectWithoutAStepAndHandlesAreCentredOnTheirPoint) {
    Layer t;
    t.state.addArrow();
    const int steps = t.state.undoCount();
    t.state.setSelectedOverlayID(QUuid());
    const ArrowOverlay arrow = contentOf<ArrowOverlay>(t.state);
    const QPointF middle = t.layer.toView(QRectF(arrow.start, arrow.end)).center();
    QTest::mouseClick(&t.layer, Qt::LeftButton, {}, middle.toPoint());
    EXPECT_EQ(t.state.selectedOverlayID(), t.state.overlays().at(0).id);
    EXPECT_EQ(t.state.undoCount(), steps);

    // Clicking an end handle without moving changes nothing, so records
    // nothing.
    const QPointF tip = t.layer.toView(QRectF(arrow.end, QSizeF())).topLeft();
    QTest::mouseClick(&t.layer, Qt::LeftButton, {}, tip.toPoint());
    EXPECT_EQ(t.state.undoCount(), steps);

    // The tip's handle takes presses up to 13 points from it on every side
    // and none further away (the shaft's own hit area is 8 points wide).
    for (const QPointF offset :
         {QPointF(0, -12), QPointF(0, 12), QPointF(12, 0), QPointF(-12, 0)}) {
        const ArrowOverlay before = contentOf<ArrowOverlay>(t.state);
        const QPointF at = t.layer.toView(QRectF(before.end, QSizeF())).topLeft() + offset;
        QTest::mousePress(&t.layer, Qt::LeftButton, {}, at.toPoint());
        QTest::mouseMove(&t.layer, (at + QPointF(0, 4)).toPoint());
        QTest::mouseRelease(&t.layer, Qt::LeftButton, {}, (at + QPointF(0, 4)).toPoint());
        EXPECT_EQ(contentOf<ArrowOverlay>(t.state).end, before.end + QPointF(0, 8))
            << offset.x() << "," << offset.y();
        EXPECT_EQ(contentOf<ArrowOverlay>(t.state).start, before.start);
        t.state.undo();
        t.state.setSelectedOverlayID(t.state.overlays().at(0).id);
    }
    for (const QPointF offset : {QPointF(0, -15), QPointF(0, 15), QPointF(15, 0)}) {
        const QPointF at = tip + offset;
        QTest::mousePress(&t.layer, Qt::LeftButton, {}, at.toPoint());
        QTest::mouseMove(&t.layer, (at + QPointF(0, 4)).toPoint());
        QTest::mouseRelease(&t.layer, Qt::LeftButton, {}, (at + QPointF(0, 4)).toPoint());
        EXPECT_EQ(contentOf<ArrowOverlay>(t.state), arrow) << offset.x() << "," << offset.y();
        t.state.setSelectedOverlayID(t.state.overlays().at(0).id);
    }
    EXPECT_EQ(t.state.undoCount(), steps);
    // Dragging the tail moves only the tail.
    const QPointF tail = t.layer.toView(QRectF(arrow.start, QSizeF())).topLeft();
    QTest::mousePress(&t.layer, Qt::LeftButton, {}, tail.toPoint());
    QTest::mouseMove(&t.layer, (tail + QPointF(0, 10)).toPoint());
    QTest::mouseRelease(&t.layer, Qt::LeftButton, {}, (tail + QPointF(0, 10)).toPoint());
    EXPECT_EQ(contentOf<ArrowOverlay>(t.state).start, arrow.start + QPointF(0, 20));
    EXPECT_EQ(contentOf<ArrowOverlay>(t.state).end, arrow.end);
    EXPECT_EQ(t.state.undoCount(), steps + 1);

    // While cropping, the layer takes no clicks.
    t.state.setSelectedOverlayID(QUuid());
    t.state.startCrop();
    EXPECT_TRUE(t.layer.testAttribute(Qt::WA_TransparentForMouseEvents));
}

TEST(OverlayLayer, ResizeHandleKeepsProportionsAndLimits) {
    const QSizeF image(1000, 1000);
    const QRectF sticker(100, 100, 200, 100);
    EXPECT_EQ(OverlayLayerView::resizedRect(sticker, QPointF(50, 10), image, true),
              QRectF(100, 100, 250, 125));
    EXPECT_EQ(OverlayLayerView::resizedRect(sticker, QPointF(5, 40), image, true),
              QRectF(100, 100, 280, 140));
    EXPECT_EQ(OverlayLayerView::resizedRect(sticker, QPointF(-500, -500), image, false),
              QRectF(100, 100, 16, 16));
    // The image edge wins over the 16-pixel minimum.
    EXPECT_EQ(
        OverlayLayerView::resizedRect(QRectF(990, 100, 50, 50), QPointF(-100, 0), image, false),
        QRectF(990, 100, 10, 50));
    EXPECT_EQ(
        OverlayLayerView::resizedRect(QRectF(900, 100, 50, 50), QPointF(500, 0), image, false),
        QRectF(900, 100, 100, 50));
    // Wholly beyond the right edge: the size stays.
    EXPECT_EQ(OverlayLayerView::resizedRect(QRectF(1200, 100, 50, 50), QPointF(5, 5), image, false),
              QRectF(1200, 100, 50, 50));
}

TEST(OverlayLayer, TextEditInPlaceIsOneStepOrNone) {
    Layer t;
    t.state.addText();
    const QString before = contentOf<TextOverlay>(t.state).text;
    const int steps = t.state.undoCount();
    const QPointF centre = t.layer.shownRect(t.state.overlays().at(0)).center();

    QTest::mouseDClick(&t.layer, Qt::LeftButton, {}, centre.toPoint());
    ASSERT_NE(t.layer.textEditor(), nullptr);
    t.state.setSelectedOverlayID(QUuid());  // clicking elsewhere
    EXPECT_EQ(t.layer.textEditor(), nullptr);
    EXPECT_EQ(t.state.undoCount(), steps);

    QTest::mouseDClick(&t.layer, Qt::LeftButton, {}, centre.toPoint());
    ASSERT_NE(t.layer.textEditor(), nullptr);
    QTest::keyClick(t.layer.textEditor(), Qt::Key_End);
    QTest::keyClicks(t.layer.textEditor(), QStringLiteral("ab"));
    EXPECT_EQ(contentOf<TextOverlay>(t.state).text, before + QStringLiteral("ab"));
    QTest::keyClick(t.layer.textEditor(), Qt::Key_Return);
    EXPECT_EQ(t.layer.textEditor(), nullptr);
    EXPECT_EQ(t.state.undoCount(), steps + 1);
    t.state.undo();
    EXPECT_EQ(contentOf<TextOverlay>(t.state).text, before);
}

// The canvas shows the frame exactly as the file will have it. `zoom` is the
// preview's scale; at 1 the canvas's pixels are the rendered frame's.
struct Canvas {
    explicit Canvas(const QList<OverlayItem>& overlays, double zoom = 1.0)
        : state(frames(200, 100, 1)), canvas(&state) {
        state.setOverlays(overlays);
        canvas.resize(qRound(200 * zoom) + 24, qRound(100 * zoom) + 24);
        canvas.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&canvas));
        QSignalSpy changed(canvas.renderer(), &PreviewRenderer::imageChanged);
        while (!canvas.renderer()->isCurrent()) {
            EXPECT_TRUE(changed.wait(10000));
        }
        expected = OverlayRenderer::render(overlays, state.frames().at(0).image).qimage();
        if (zoom != 1.0) {
            expected = expected.scaled(expected.size() * zoom, Qt::IgnoreAspectRatio,
                                       Qt::SmoothTransformation);
        }
        shown = canvas.grab(canvas.displayRect().toRect()).toImage();
    }
    // Pixels whose channels differ by more than `tolerance`.
    int differences(int tolerance) const {
        if (shown.size() != expected.size()) {
            return -1;
        }
        int count = 0;
        for (int y = 0; y < shown.height(); ++y) {
            for (int x = 0; x < shown.width(); ++x) {
                const QColor a = shown.pixelColor(x, y);
                const QColor b = expected.pixelColor(x, y);
                if (std::abs(a.red() - b.red()) > tolerance ||
                    std::abs(a.green() - b.green()) > tolerance ||
                    std::abs(a.blue() - b.blue()) > tolerance) {
                    ++count;
                }
            }
        }
        return count;
    }
    // Overlays of any kind and place, set directly.
    struct State : EditorState {
        using EditorState::EditorState;
        using EditorState::setOverlays;
    };
    State state;
    PreviewCanvas canvas;
    QImage expected;
    QImage shown;
};

TEST(PreviewCanvas, ShowsTheRenderedFrame) {
    TextOverlay text{QPointF(20, 20), QStringLiteral("Mirelo 文字"), 30, RGBA{1, 1, 0, 1}, true};
    MosaicOverlay overText{QRectF(30, 25, 60, 30), 12};
    MosaicOverlay pastEdge{QRectF(-40, 50, 100, 70), 8};
    ArrowOverlay arrow{QPointF(20, 80), QPointF(60, 70), 1, RGBA{1, 0, 0, 1}};

    // Text with its shadow, a mosaic over a text, a mosaic past the edges.
    for (const QList<OverlayItem>& overlays :
         {QList<OverlayItem>{OverlayItem::make(text)},
          QList<OverlayItem>{OverlayItem::make(text), OverlayItem::make(overText)},
          QList<OverlayItem>{OverlayItem::make(pastEdge)}}) {
        const Canvas t(overlays);
        EXPECT_EQ(t.differences(0), 0);
    }
    // An arrow whose head is 12 image pixels long at half size: 6 points.
    const Canvas half({OverlayItem::make(arrow)}, 0.5);
    EXPECT_EQ(half.differences(24), 0);
}

TEST(OverlayInspector, ChangesToOneOverlayFormOneStep) {
    EditorState state(frames());
    OverlayInspectorView inspector(&state);
    state.addText();
    state.addArrow();
    const int steps = state.undoCount();
    const OverlayItem text = state.overlays().at(0);
    const TextOverlay original = std::get<TextOverlay>(text.content);

    inspector.showItem(state.overlays().at(0));
    inspector.slider()->setValue(OverlayInspectorView::toSlider(64));
    inspector.pickColor(QColor(10, 200, 30, 128));
    inspector.checkBox()->click();
    const TextOverlay& changed = contentOf<TextOverlay>(state);
    EXPECT_EQ(changed.fontSize, 64);
    EXPECT_EQ(changed.color.a, 1.0);  // picked colours are opaque
    EXPECT_NEAR(changed.color.g, 200 / 255.0, 1e-6);
    EXPECT_NE(changed.shadow, original.shadow);
    EXPECT_EQ(state.undoCount(), steps + 1);

    // Another overlay starts a new step.
    inspector.showItem(state.overlays().at(1));
    inspector.slider()->setValue(OverlayInspectorView::toSlider(7.5));
    EXPECT_EQ(contentOf<ArrowOverlay>(state, 1).lineWidth, 7.5);
    EXPECT_EQ(state.undoCount(), steps + 2);
    state.undo();
    state.undo();
    EXPECT_EQ(contentOf<TextOverlay>(state), original);
}

TEST(OverlayInspector, EverySessionStartsFreshAndAnUntouchedSliderKeepsItsValue) {
    EditorState state(frames(1000, 500, 2));
    EditorView view(&state);
    OverlayInspectorView* inspector = view.inspector();
    state.addMosaic();
    const QUuid id = state.overlays().at(0).id;
    auto grain = [&] { return contentOf<MosaicOverlay>(state).blockSize; };
    auto moveSlider = [&](double value) {
        inspector->slider()->setValue(OverlayInspectorView::toSlider(value));
    };
    moveSlider(20);
    EXPECT_EQ(state.undoCount(), 2);
    state.undo();  // clears the selection: the session ends
    EXPECT_EQ(state.redoCount(), 1);
    state.setSelectedOverlayID(id);
    moveSlider(30);
    EXPECT_EQ(grain(), 30);
    EXPECT_EQ(state.undoCount(), 2);
    EXPECT_EQ(state.redoCount(), 0);  // a later redo cannot bring back 20

    // "完成" and selecting the same overlay again: a new session, a new step.
    inspector->doneButton()->click();
    state.setSelectedOverlayID(id);
    moveSlider(31.25);
    EXPECT_EQ(grain(), 31.25);
    EXPECT_EQ(state.undoCount(), 3);
    state.undo();
    EXPECT_EQ(grain(), 30);

    // A value between slider steps is kept when the slider is only pressed
    // and released.
    state.setSelectedOverlayID(id);
    MosaicOverlay odd = contentOf<MosaicOverlay>(state);
    odd.blockSize = 55.556;
    state.setOverlayContent(id, odd);
    const int steps = state.undoCount();
    view.resize(1000, 640);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    QSlider* slider = inspector->slider();
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    option.sliderPosition = slider->sliderPosition();
    option.orientation = Qt::Horizontal;
    const QPoint handle =
        slider->style()
            ->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider)
            .center();
    QTest::mousePress(slider, Qt::LeftButton, {}, handle);
    QTest::mouseRelease(slider, Qt::LeftButton, {}, handle);
    EXPECT_EQ(grain(), 55.556);
    EXPECT_EQ(state.undoCount(), steps);
}

TEST(OverlayInspector, ValueLabelsTruncateAndStickersShowTheirSize) {
    EXPECT_EQ(OverlayInspectorView::valueText(3.7), QStringLiteral("3"));
    EditorState state(frames(4500, 40, 1));
    OverlayInspectorView inspector(&state);
    state.addText();
    TextOverlay big = contentOf<TextOverlay>(state);
    big.fontSize = 250;
    state.setOverlayContent(state.overlays().at(0).id, big);
    inspector.showItem(state.overlays().at(0));
    EXPECT_EQ(inspector.valueLabel()->text(), QStringLiteral("250"));
    EXPECT_EQ(inspector.slider()->value(), OverlayInspectorView::toSlider(200));

    // A sticker from a picture file.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("p.png"));
    ASSERT_TRUE(test::solidImage(32, 18, Qt::blue).qimage().save(path));
    struct Chooser : PictureChooser {
        QString file;
        QString choosePicture() override { return file; }
    };
    auto chooser = std::make_unique<Chooser>();
    chooser->file = path;
    state.setPictureChooser(std::move(chooser));
    state.addSticker();
    ASSERT_EQ(state.overlays().size(), 2);
    StickerOverlay sticker = contentOf<StickerOverlay>(state, 1);
    sticker.rect = QRectF(5, 5, 320.6, 180.2);
    state.setOverlayContent(state.overlays().at(1).id, sticker);
    inspector.showItem(state.overlays().at(1));
    EXPECT_EQ(inspector.captionLabel()->text(), QStringLiteral("贴纸 320 × 180"));
}

TEST(OverlayInspector, CtrlDeleteRemovesTheSelectedOverlayElseFrames) {
    EditorState state(frames(400, 300, 4));
    EditorView view(&state);
    view.resize(1000, 640);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    state.addMosaic();
    EXPECT_TRUE(view.inspector()->isVisible());
    QTest::keyClick(&view, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_TRUE(state.overlays().isEmpty());
    EXPECT_EQ(state.frameCount(), 4);
    EXPECT_FALSE(view.inspector()->isVisible());
    QTest::keyClick(&view, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(state.frameCount(), 3);
}

}  // namespace
}  // namespace mirelo

namespace mirelo {
namespace {

// Key captions and click marks in the inspector, and on the canvas only on their frames.
TEST(OverlayInspector, CaptionsAndMarksAreEditedAsOneStepEach) {
    EditorState state(frames());
    OverlayItem caption = OverlayItem::make(KeyCaptionOverlay{});
    std::get<KeyCaptionOverlay>(caption.content).text = QStringLiteral("Ctrl+C");
    std::get<KeyCaptionOverlay>(caption.content).frameSize = QSizeF(400, 300);
    caption.frames = {state.frames().at(1).id};
    OverlayItem mark = OverlayItem::make(ClickMarkOverlay{QPointF(50, 60)});
    mark.frames = {state.frames().at(1).id};
    state.layRecordedInput({caption, mark});
    ASSERT_EQ(state.overlays().size(), 2);
    OverlayInspectorView inspector(&state);

    inspector.showItem(state.overlays().at(0));
    ASSERT_NE(inspector.textField(), nullptr);
    EXPECT_EQ(inspector.textField()->text(), QStringLiteral("Ctrl+C"));
    inspector.textField()->setText(QStringLiteral("Ctrl+V"));
    emit inspector.textField()->textEdited(QStringLiteral("Ctrl+V"));
    inspector.slider()->setValue(OverlayInspectorView::toSlider(30));
    inspector.pickColor(QColor(255, 0, 0));
    inspector.pickBoxColor(QColor(0, 0, 255, 128));
    inspector.placementBox()->setCurrentIndex(1);
    emit inspector.placementBox()->activated(1);
    const auto& changed = contentOf<KeyCaptionOverlay>(state);
    EXPECT_EQ(changed.text, QStringLiteral("Ctrl+V"));
    EXPECT_EQ(changed.fontSize, 30);
    EXPECT_EQ(changed.textColor, (RGBA{1, 0, 0, 1}));
    EXPECT_NEAR(changed.boxColor.a, 128 / 255.0, 1e-6);  // the box keeps its opacity
    EXPECT_TRUE(changed.top);
    EXPECT_EQ(state.undoCount(), 1);

    inspector.showItem(state.overlays().at(1));
    inspector.slider()->setValue(OverlayInspectorView::toSlider(24));
    EXPECT_EQ(contentOf<ClickMarkOverlay>(state, 1).radius, 24);
    EXPECT_EQ(state.undoCount(), 2);
    inspector.deleteButton()->click();
    EXPECT_EQ(state.overlays().size(), 1);
    state.undo();
    state.undo();
    EXPECT_EQ(contentOf<ClickMarkOverlay>(state, 1).radius, 16);

    // On the canvas the mark is there to pick on its frame only.
    OverlayLayerView layer(&state);
    layer.resize(400, 300);
    layer.setDisplayRect(QRectF(0, 0, 400, 300));
    layer.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&layer));
    state.setSelectedOverlayID(QUuid());
    QTest::mouseClick(&layer, Qt::LeftButton, {}, QPoint(50, 60));
    EXPECT_TRUE(state.selectedOverlayID().isNull());
    state.seek(1);
    QTest::mouseClick(&layer, Qt::LeftButton, {}, QPoint(50, 60));
    EXPECT_EQ(state.selectedOverlayID(), state.overlays().at(1).id);
}

}  // namespace
}  // namespace mirelo
