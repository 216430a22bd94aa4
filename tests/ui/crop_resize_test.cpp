// The crop editor's drags and the resize sheet's aspect lock.
#include "editor/EditorState.h"
#include "support/TestImages.h"
#include "ui/editor/CropOverlayView.h"
#include "ui/editor/ResizeSheet.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace mirelo {
namespace {

FrameList frames(int width, int height, int count = 2) {
    FrameList list;
    for (int i = 0; i < count; ++i) {
        list.append(EditorFrame::make(test::solidImage(width, height, Qt::darkCyan), 0.1));
    }
    return list;
}

const QSizeF k400x300(400, 300);

TEST(CropOverlay, MoveKeepsTheSizeAndStaysInsideTheFrame) {
    const QRectF start(50, 40, 100, 80);
    EXPECT_EQ(CropOverlayView::moved(start, QPointF(5000, 0), k400x300), QRectF(300, 40, 100, 80));
    EXPECT_EQ(CropOverlayView::moved(start, QPointF(-80, -90), k400x300), QRectF(0, 0, 100, 80));
    EXPECT_EQ(CropOverlayView::moved(start, QPointF(10.5, 2.25), k400x300),
              QRectF(60.5, 42.25, 100, 80));
}

TEST(CropOverlay, CornersStopAtTenPixelsAndAtTheFrameEdges) {
    const QRectF start(50, 40, 100, 80);
    using E = CropOverlayView;
    // Top-left towards the bottom-right: 10 x 10 with the far corner fixed.
    const QRectF shrunk = E::resized(start, E::Top | E::Leading, QPointF(1000, 1000), k400x300);
    EXPECT_EQ(shrunk, QRectF(140, 110, 10, 10));
    // Bottom-right beyond the frame stops at its right and bottom edges.
    EXPECT_EQ(E::resized(start, E::Bottom | E::Trailing, QPointF(1000, 1000), k400x300),
              QRectF(50, 40, 350, 260));
    // Top-left beyond the origin stops at 0 with the far corner fixed.
    EXPECT_EQ(E::resized(start, E::Top | E::Leading, QPointF(-1000, -1000), k400x300),
              QRectF(0, 0, 150, 120));
    // Top-right: only its own edges move.
    EXPECT_EQ(E::resized(start, E::Top | E::Trailing, QPointF(-95, 10), k400x300),
              QRectF(50, 50, 10, 70));
}

TEST(CropOverlay, DragsInViewPointsBecomePixelsAtTheDisplayScale) {
    EditorState state(frames(400, 300));
    state.setCropRect(QRectF(50, 40, 100, 80));
    state.setCropping(true);
    CropOverlayView view(&state);
    view.resize(824, 624);
    view.setDisplayRect(QRectF(12, 12, 800, 600));  // s = 2
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));

    const QRectF v = CropOverlayView::toView(state.cropRect(), view.displayRect(), k400x300);
    EXPECT_EQ(v, QRectF(112, 92, 200, 160));
    // Move area: 50 points right is 25 pixels.
    const QPoint inside = v.center().toPoint();
    QTest::mousePress(&view, Qt::LeftButton, {}, inside);
    QTest::mouseMove(&view, inside + QPoint(20, 0));
    QTest::mouseMove(&view, inside + QPoint(50, 0));
    QTest::mouseRelease(&view, Qt::LeftButton, {}, inside + QPoint(50, 0));
    EXPECT_EQ(state.cropRect(), QRectF(75, 40, 100, 80));

    // Bottom-right handle dragged far out stops at the frame's edges.
    const QPoint corner = CropOverlayView::toView(state.cropRect(), view.displayRect(), k400x300)
                              .bottomRight()
                              .toPoint();
    QTest::mousePress(&view, Qt::LeftButton, {}, corner);
    QTest::mouseMove(&view, corner + QPoint(5, 5));
    QTest::mouseMove(&view, corner + QPoint(900, 900));
    QTest::mouseRelease(&view, Qt::LeftButton, {}, corner + QPoint(900, 900));
    EXPECT_EQ(state.cropRect(), QRectF(75, 40, 325, 260));

    // A click outside the rectangle changes nothing; cropping records no step.
    QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_EQ(state.cropRect(), QRectF(75, 40, 325, 260));
    EXPECT_FALSE(state.canUndo());
}

struct Sheet {
    explicit Sheet(int width, int height) : state(frames(width, height)), sheet(&state) {
        sheet.show();
    }
    void type(QLineEdit* field, const QString& text) {
        sheet.setFocusedField(field == sheet.widthField() ? ResizeSheet::Field::Width
                                                          : ResizeSheet::Field::Height);
        field->selectAll();
        QTest::keyClicks(field, text);
    }
    EditorState state;
    ResizeSheet sheet;
};

TEST(ResizeSheet, AspectLockFollowsTheFieldBeingTyped) {
    Sheet s(400, 300);
    EXPECT_EQ(s.sheet.widthField()->text(), QStringLiteral("400"));
    EXPECT_EQ(s.sheet.heightField()->text(), QStringLiteral("300"));
    EXPECT_TRUE(s.sheet.keepAspectCheck()->isChecked());

    s.type(s.sheet.widthField(), QStringLiteral("200"));
    EXPECT_EQ(s.sheet.heightField()->text(), QStringLiteral("150"));
    s.type(s.sheet.heightField(), QStringLiteral("100"));
    EXPECT_EQ(s.sheet.widthField()->text(), QStringLiteral("133"));
    // An infinity leaves the other field alone.
    s.type(s.sheet.widthField(), QStringLiteral("inf"));
    EXPECT_EQ(s.sheet.heightField()->text(), QStringLiteral("100"));

    s.sheet.keepAspectCheck()->setChecked(false);
    s.type(s.sheet.widthField(), QStringLiteral("321"));
    EXPECT_EQ(s.sheet.heightField()->text(), QStringLiteral("100"));

    // Without a focused field nothing is recomputed.
    s.sheet.keepAspectCheck()->setChecked(true);
    s.sheet.setFocusedField(ResizeSheet::Field::None);
    s.sheet.widthField()->setText(QStringLiteral("40"));
    EXPECT_EQ(s.sheet.heightField()->text(), QStringLiteral("100"));
}

TEST(ResizeSheet, PresetsFillRoundedSizes) {
    Sheet s(401, 301);
    s.sheet.setFocusedField(ResizeSheet::Field::Width);
    QTest::mouseClick(s.sheet.percentButton(1), Qt::LeftButton);
    EXPECT_EQ(s.sheet.percentButton(1)->text(), QStringLiteral("75%"));
    EXPECT_EQ(s.sheet.widthField()->text(), QStringLiteral("301"));
    EXPECT_EQ(s.sheet.heightField()->text(), QStringLiteral("226"));
    QTest::mouseClick(s.sheet.percentButton(0), Qt::LeftButton);
    EXPECT_EQ(s.sheet.widthField()->text(), QStringLiteral("201"));
    EXPECT_EQ(s.sheet.heightField()->text(), QStringLiteral("151"));
}

TEST(ResizeSheet, ApplyAsksForAResizeOnlyWithValidSizes) {
    for (const auto& [w, h, asks] :
         std::initializer_list<std::tuple<const char*, const char*, bool>>{{"320", "240", true},
                                                                           {"9", "240", false},
                                                                           {"320", "", false},
                                                                           {"inf", "240", false},
                                                                           {"1,5", "240", false},
                                                                           {"10", "10.5", true}}) {
        Sheet s(400, 300);
        s.sheet.keepAspectCheck()->setChecked(false);
        s.sheet.widthField()->setText(QString::fromLatin1(w));
        s.sheet.heightField()->setText(QString::fromLatin1(h));
        QSignalSpy spy(&s.sheet, &ResizeSheet::resizeRequested);
        QTest::mouseClick(s.sheet.applyButton(), Qt::LeftButton);
        EXPECT_EQ(spy.size(), asks ? 1 : 0) << w << " " << h;
        EXPECT_FALSE(s.sheet.isVisible());
        if (asks) {
            EXPECT_EQ(spy.at(0).at(0).toSizeF(),
                      QSizeF(QString::fromLatin1(w).toDouble(), QString::fromLatin1(h).toDouble()));
        }
    }
}

TEST(ResizeSheet, SizesWhoseFramesWouldNotFitInMemoryAreRefusedWithTheReason) {
    // Two 400 x 300 frames with 4 MB available: 3 MB may be used.
    Sheet s(400, 300);
    s.state.setAvailableMemoryProbe([] { return qint64(4'000'000); });
    s.sheet.keepAspectCheck()->setChecked(false);
    s.sheet.widthField()->setText(QStringLiteral("1000"));
    s.sheet.heightField()->setText(QStringLiteral("1000"));  // 8 MB
    QSignalSpy spy(&s.sheet, &ResizeSheet::resizeRequested);
    QTest::mouseClick(s.sheet.applyButton(), Qt::LeftButton);
    EXPECT_EQ(spy.size(), 0);
    EXPECT_TRUE(s.sheet.isVisible());
    EXPECT_FALSE(s.sheet.messageLabel()->isHidden());
    EXPECT_TRUE(s.sheet.messageLabel()->text().contains(QStringLiteral("内存")));
    // The model refuses it as well, without an undo step.
    s.state.resize(QSizeF(1000, 1000));
    EXPECT_EQ(s.state.imageSize(), QSizeF(400, 300));
    EXPECT_FALSE(s.state.canUndo());

    s.sheet.widthField()->setText(QStringLiteral("600"));
    s.sheet.heightField()->setText(QStringLiteral("600"));  // 2.88 MB
    QTest::mouseClick(s.sheet.applyButton(), Qt::LeftButton);
    EXPECT_EQ(spy.size(), 1);
    EXPECT_FALSE(s.sheet.isVisible());
}

}  // namespace
}  // namespace mirelo
