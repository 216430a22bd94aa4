#include "editor/EditorState.h"
#include "overlay/TextMetrics.h"
#include "support/TestImages.h"

#include <QBuffer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace mirelo {
namespace {

using test::patternImage;
using test::solidImage;

FrameList framesOf(int width, int height, int count = 2) {
    FrameList frames;
    for (int i = 0; i < count; ++i) {
        frames.push_back(EditorFrame::make(solidImage(width, height, Qt::white), 0.1));
    }
    return frames;
}

// Hands out prepared answers, one per question; an empty answer is a cancel.
class ScriptedChooser : public PictureChooser {
public:
    explicit ScriptedChooser(QStringList answers) : m_answers(std::move(answers)) {}
    QString choosePicture() override {
        return m_answers.isEmpty() ? QString() : m_answers.takeFirst();
    }

private:
    QStringList m_answers;
};

class OverlayOperations : public ::testing::Test {
protected:
    QString picture(int width, int height) {
        const QString path = dir.filePath(QStringLiteral("%1x%2.png").arg(width).arg(height));
        patternImage(width, height).qimage().save(path, "PNG");
        return path;
    }

    QString file(const QString& name, const QByteArray& bytes) {
        QFile out(dir.filePath(name));
        EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(bytes);
        return out.fileName();
    }

    void answer(EditorState& state, QStringList answers) {
        state.setPictureChooser(std::make_unique<ScriptedChooser>(std::move(answers)));
    }

    QTemporaryDir dir;
};

template <class T>
const T& last(const EditorState& state) {
    return std::get<T>(state.overlays().last().content);
}

TEST_F(OverlayOperations, AddTextIsCentredWithAFontOfOneEighteenthOfTheWidth) {
    EditorState wide(framesOf(1000, 500));
    wide.setSampleText(QStringLiteral("示例文字"));
    wide.addText();
    const auto& t = last<TextOverlay>(wide);
    EXPECT_NEAR(t.fontSize, 55.56, 0.005);
    EXPECT_EQ(t.text, QStringLiteral("示例文字"));
    const QSizeF box = TextMetrics::size(t.text, t.fontSize);
    EXPECT_DOUBLE_EQ(t.origin.x(), (1000 - box.width()) / 2);
    EXPECT_DOUBLE_EQ(t.origin.y(), (500 - box.height()) / 2);
    EXPECT_EQ(t.color, (RGBA{0.95, 0.2, 0.15, 1.0}));
    EXPECT_FALSE(t.shadow);

    EditorState small(framesOf(200, 100));
    small.addText();
    EXPECT_EQ(last<TextOverlay>(small).fontSize, 20);
}

TEST_F(OverlayOperations, AddMosaicIsACentredQuarterSquare) {
    EditorState state(framesOf(640, 480));
    state.addMosaic();
    EXPECT_EQ(last<MosaicOverlay>(state), (MosaicOverlay{QRectF(260, 180, 120, 120), 12}));
    EditorState small(framesOf(200, 100));
    small.addMosaic();
    EXPECT_EQ(last<MosaicOverlay>(small), (MosaicOverlay{QRectF(87.5, 37.5, 25, 25), 8}));
}

TEST_F(OverlayOperations, AddArrowSpansTheMiddleFortyPercent) {
    EditorState state(framesOf(320, 200));
    state.addArrow();
    EXPECT_EQ(last<ArrowOverlay>(state),
              (ArrowOverlay{QPointF(96, 100), QPointF(224, 100), 3, RGBA{0.95, 0.2, 0.15, 1}}));
    EditorState large(framesOf(1600, 900));
    large.addArrow();
    EXPECT_EQ(last<ArrowOverlay>(large).lineWidth, 10);
}

TEST_F(OverlayOperations, EachAddPausesRecordsOneStepAndSelectsTheNewItemOnTop) {
    EditorState state(framesOf(200, 100));
    answer(state, {picture(10, 10)});
    state.play();
    state.addMosaic();
    EXPECT_FALSE(state.isPlaying());
    state.addText();
    state.addArrow();
    state.addSticker();
    ASSERT_EQ(state.overlays().size(), 4);
    EXPECT_EQ(state.undoCount(), 4);
    EXPECT_EQ(state.selectedOverlayID(), state.overlays().last().id);
    EXPECT_TRUE(std::holds_alternative<StickerOverlay>(state.overlays().last().content));
    state.undo();
    EXPECT_EQ(state.overlays().size(), 3);
    EXPECT_TRUE(state.selectedOverlayID().isNull());
}

TEST_F(OverlayOperations, StickerIsShrunkToFortyPercentButNeverEnlarged) {
    EditorState state(framesOf(1000, 1000));
    answer(state, {picture(100, 50), picture(4000, 1000)});
    state.addSticker();
    EXPECT_EQ(last<StickerOverlay>(state).rect, QRectF(450, 475, 100, 50));
    EXPECT_TRUE(last<StickerOverlay>(state).lockAspect);
    EXPECT_EQ(last<StickerOverlay>(state).image.size(), QSize(100, 50));
    state.addSticker();
    EXPECT_EQ(last<StickerOverlay>(state).rect, QRectF(300, 450, 400, 100));
    // A picture larger than the frame is kept at the frame's size.
    EXPECT_EQ(last<StickerOverlay>(state).image.size(), QSize(1000, 250));
}

TEST_F(OverlayOperations, CancelledOrRefusedPictureChangesNothing) {
    EditorState state(framesOf(200, 100));
    state.addSticker();  // no chooser at all
    QFile whole(picture(300, 200));
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    const QByteArray png = whole.readAll();
    answer(state, {QString(), file("cut.png", png.left(png.size() / 2)), file("zero.png", {}),
                   file("words.png", "hello"), dir.filePath("gone.png")});
    QSignalSpy refused(&state, &EditorState::refused);
    for (int i = 0; i < 5; ++i) {
        state.addSticker();
    }
    EXPECT_TRUE(state.overlays().isEmpty());
    EXPECT_EQ(state.undoCount(), 0);
    // A cancel is not a refusal; every refused file says why.
    ASSERT_EQ(refused.size(), 4);
    const auto why = [&](int i) { return refused.at(i).at(0).value<EditorRefusal>().picture; };
    EXPECT_EQ(why(0), StickerLoader::Failure::broken);
    EXPECT_EQ(why(1), StickerLoader::Failure::broken);
    EXPECT_EQ(why(2), StickerLoader::Failure::notAPicture);
    EXPECT_EQ(why(3), StickerLoader::Failure::unreadable);
    for (const QList<QVariant>& reason : refused) {
        EXPECT_EQ(reason.at(0).value<EditorRefusal>().kind, EditorRefusal::Kind::picture);
    }
}

TEST_F(OverlayOperations, ReplacedPictureKeepsOriginAndWidthAndTakesItsOwnProportions) {
    EditorState state(framesOf(1000, 1000));
    answer(state, {picture(100, 50), picture(40, 30)});
    state.addSticker();
    const QUuid id = state.overlays().last().id;
    state.setSelectedOverlayID(QUuid());
    state.replaceStickerImage(id);
    const auto& s = last<StickerOverlay>(state);
    EXPECT_EQ(s.rect, QRectF(450, 475, 100, 75));
    EXPECT_EQ(s.image.size(), QSize(40, 30));
    EXPECT_EQ(state.undoCount(), 2);
    EXPECT_TRUE(state.selectedOverlayID().isNull());  // selection untouched
}

TEST_F(OverlayOperations, ReplacingForAGoneOrOtherOverlayRecordsAStepOnly) {
    EditorState state(framesOf(200, 100));
    answer(state, {picture(10, 10), picture(10, 10), QString()});
    state.addMosaic();
    const OverlayList before = state.overlays();
    state.replaceStickerImage(state.overlays().last().id);
    state.replaceStickerImage(QUuid::createUuid());
    EXPECT_EQ(state.overlays(), before);
    EXPECT_EQ(state.undoCount(), 3);
    state.replaceStickerImage(state.overlays().last().id);  // cancelled
    EXPECT_EQ(state.undoCount(), 3);
}

TEST_F(OverlayOperations, DeletingClearsTheSelectionOnlyForTheSelectedItem) {
    EditorState state(framesOf(200, 100));
    state.addText();
    state.addArrow();
    const QUuid text = state.overlays()[0].id;
    const QUuid arrow = state.overlays()[1].id;
    state.deleteOverlay(text);
    EXPECT_EQ(state.selectedOverlayID(), arrow);
    EXPECT_EQ(state.undoCount(), 3);
    state.deleteOverlay(arrow);
    EXPECT_TRUE(state.selectedOverlayID().isNull());
    EXPECT_TRUE(state.overlays().isEmpty());
    state.deleteOverlay(arrow);
    EXPECT_EQ(state.undoCount(), 4);
}

TEST_F(OverlayOperations, SetContentOutsideAnEditIsOneStepEach) {
    EditorState state(framesOf(200, 100));
    state.addMosaic();
    const QUuid id = state.overlays().last().id;
    state.setOverlayContent(id, MosaicOverlay{QRectF(1, 2, 3, 4), 5});
    EXPECT_EQ(last<MosaicOverlay>(state), (MosaicOverlay{QRectF(1, 2, 3, 4), 5}));
    EXPECT_EQ(state.overlays().last().id, id);
    EXPECT_EQ(state.undoCount(), 2);
    const OverlayList before = state.overlays();
    state.setOverlayContent(QUuid::createUuid(), MosaicOverlay{});
    state.setOverlayContent(id, MosaicOverlay{QRectF(1, 2, 3, 4), 5});  // no change
    EXPECT_EQ(state.overlays(), before);
    EXPECT_EQ(state.undoCount(), 2);
}

TEST_F(OverlayOperations, UndoAndRedoBringBackTheWholeList) {
    EditorState state(framesOf(200, 100));
    state.addText();
    state.addMosaic();
    const OverlayList two = state.overlays();
    state.deleteOverlay(two[0].id);
    state.undo();
    EXPECT_EQ(state.overlays(), two);
    state.redo();
    EXPECT_EQ(state.overlays().size(), 1);
    EXPECT_EQ(state.overlays()[0], two[1]);
}

}  // namespace
}  // namespace mirelo
