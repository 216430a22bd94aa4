#pragma once

#include "image/Image.h"

#include <QAbstractListModel>
#include <QCache>
#include <QListView>
#include <QPixmap>
#include <QStyledItemDelegate>

namespace mirelo {

class EditorState;

// Small pictures of frame images for the frame strip, made on first use and
// kept for reuse. Images are immutable and shared, so an image's cache key
// names its pixels for as long as any frame (or undo step) holds it: undo,
// redo and deletions reuse the thumbnails already made.
class ThumbnailCache {
public:
    static constexpr int kBoxWidth = 72;
    static constexpr int kBoxHeight = 44;

    explicit ThumbnailCache(int capacity = 4000) : m_cache(capacity) {}

    // The image scaled to fit a 72 x 44-point box, keeping its aspect ratio,
    // at the given device pixel ratio. Null for a null image.
    QPixmap thumbnail(const Image& image, qreal devicePixelRatio);

    // How many thumbnails have been made so far (not served from the cache).
    int madeCount() const { return m_made; }

private:
    QCache<QString, QPixmap> m_cache;
    int m_made = 0;
};

// The frames of an EditorState as list rows. Row i is frame i; it follows the
// model's frame list and delays.
class FrameListModel : public QAbstractListModel {
    Q_OBJECT

public:
    enum Role {
        IdRole = Qt::UserRole + 1,  // QUuid of the frame
        DelayRole,                  // double, seconds
        ImageRole,                  // mirelo::Image
    };

    explicit FrameListModel(EditorState* state, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    EditorState* m_state;
};

// Draws one row: the thumbnail in a rounded card box, "#n" and the delay.
class FrameRowDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    static constexpr int kRowHeight = 56;

    explicit FrameRowDelegate(ThumbnailCache* cache, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    ThumbnailCache* m_cache;
};

// The frame strip at the editor's left: one row per frame, multiple
// selection kept in step with EditorState::selectedIDs. A selection made by
// the user moves the current frame to a selected frame (the clicked one when
// it is selected, else the first selected in list order).
class FrameStrip : public QListView {
    Q_OBJECT

public:
    static constexpr int kWidth = 180;

    explicit FrameStrip(EditorState* state, QWidget* parent = nullptr);

    FrameListModel* frameModel() const { return m_model; }
    ThumbnailCache& thumbnails() { return m_thumbnails; }

private:
    void onViewSelectionChanged();
    void showModelSelection();
    // After the model changed the frames or the selection itself, once the
    // operation is over: a selection the model was given moves the current
    // frame to a selected one; an emptied selection takes the current frame.
    // A frame-list operation (delete, trim, undo) keeps the current frame it
    // set, whatever stays selected.
    void scheduleFollow();
    void followModelSelection();

    EditorState* m_state;
    FrameListModel* m_model;
    ThumbnailCache m_thumbnails;
    bool m_syncing = false;
    bool m_viewSelecting = false;
    bool m_followPending = false;
    bool m_listChanged = false;       // the frames changed since the last follow
    bool m_selectionChanged = false;  // the model was given a selection since then
};

}  // namespace mirelo

Q_DECLARE_METATYPE(mirelo::Image)
