#include "ui/editor/EditorView.h"

#include "editor/EditorState.h"
#include "ui/Theme.h"
#include "ui/editor/CropOverlayView.h"
#include "ui/editor/EditorIcons.h"
#include "ui/editor/FrameStrip.h"
#include "ui/editor/NumberParsing.h"
#include "ui/editor/OverlayInspectorView.h"
#include "ui/editor/OverlayLayerView.h"
#include "ui/editor/PreviewCanvas.h"
#include "ui/editor/PreviewRenderer.h"
#include "ui/editor/ResizeSheet.h"

#include <QAction>
#include <QFontDatabase>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace mirelo {

namespace {

QFrame* divider(Qt::Orientation orientation, QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(orientation == Qt::Horizontal ? QFrame::HLine : QFrame::VLine);
    line->setFrameShadow(QFrame::Plain);
    QPalette pal = line->palette();
    pal.setColor(QPalette::WindowText, Theme::border());
    line->setPalette(pal);
    return line;
}

// Caption style: a smaller font with digits of equal width, in a dimmed colour.
void makeCaption(QLabel* label) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSizeF(font.pointSizeF() * 0.9);
    font.setStyleHint(QFont::Monospace, QFont::PreferDefault);
    label->setFont(font);
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, QColor(0, 0, 0, 150));
    label->setPalette(pal);
}

QWidget* spacer(QWidget* parent) {
    auto* widget = new QWidget(parent);
    widget->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    return widget;
}

}  // namespace

EditorView::EditorView(EditorState* state, QWidget* parent) : QWidget(parent), m_state(state) {
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Theme::paper());
    pal.setColor(QPalette::Highlight, Theme::accent());
    setPalette(pal);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    buildToolbar();
    outer->addWidget(m_toolbar);
    outer->addWidget(divider(Qt::Horizontal, this));

    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    m_strip = new FrameStrip(state, this);
    row->addWidget(m_strip);
    row->addWidget(divider(Qt::Vertical, this));
    row->addWidget(buildPreviewColumn(), 1);
    outer->addLayout(row, 1);

    connect(state, &EditorState::historyChanged, this, &EditorView::refreshHistory);
    connect(state, &EditorState::isPlayingChanged, this, &EditorView::refreshPlayback);
    connect(state, &EditorState::currentIndexChanged, this, &EditorView::refreshPlayback);
    connect(state, &EditorState::framesChanged, this, &EditorView::refreshFrames);
    connect(state, &EditorState::isCroppingChanged, this, &EditorView::refreshCropping);
    connect(state, &EditorState::selectedOverlayIDChanged, this, &EditorView::refreshInspector);
    connect(state, &EditorState::overlaysChanged, this, &EditorView::refreshInspector);

    // The first frame starts selected.
    if (!state->frames().isEmpty()) {
        state->setSelectedIDs({state->frames().at(state->currentIndex()).id});
    }
    // Keys start in the frame strip, not in the delay field.
    m_strip->setFocus();
    setFocusProxy(m_strip);
    refreshHistory();
    refreshFrames();
    refreshCropping();
    refreshInspector();
}

EditorView::~EditorView() {
    if (m_resizeSheet) {
        delete m_resizeSheet.data();
    }
}

void EditorView::buildToolbar() {
    m_toolbar = new QToolBar(this);
    m_toolbar->setMovable(false);
    m_toolbar->setFloatable(false);
    m_toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    m_toolbar->setIconSize(QSize(20, 20));
    m_toolbar->setContextMenuPolicy(Qt::PreventContextMenu);

    auto makeAction = [this](const QString& text, const QString& symbol, const QString& tip = {}) {
        auto* action = new QAction(EditorIcons::icon(symbol), text, this);
        if (!tip.isEmpty()) {
            action->setToolTip(tip);
        }
        return action;
    };

    // Leading group: history.
    m_undo = makeAction(QStringLiteral("撤销"), QStringLiteral("arrow.uturn.backward"));
    m_undo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    connect(m_undo, &QAction::triggered, m_state, &EditorState::undo);
    m_redo = makeAction(QStringLiteral("重做"), QStringLiteral("arrow.uturn.forward"));
    m_redo->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    connect(m_redo, &QAction::triggered, m_state, &EditorState::redo);
    m_toolbar->addAction(m_undo);
    m_toolbar->addAction(m_redo);
    m_toolbar->addWidget(spacer(m_toolbar));

    // Centre group, normal form.
    m_cropCommand = makeAction(QStringLiteral("裁剪"), QStringLiteral("crop"),
                               QStringLiteral("在预览图上拖出要保留的区域"));
    connect(m_cropCommand, &QAction::triggered, this, &EditorView::startCrop);
    m_resize =
        makeAction(QStringLiteral("缩放"), QStringLiteral("arrow.up.left.and.arrow.down.right"),
                   QStringLiteral("调整 GIF 的画面尺寸"));
    connect(m_resize, &QAction::triggered, this, &EditorView::showResizeSheet);

    auto* rotateMenu = new QMenu(this);
    QAction* left = rotateMenu->addAction(QStringLiteral("向左旋转 90°"));
    QAction* right = rotateMenu->addAction(QStringLiteral("向右旋转 90°"));
    rotateMenu->addSeparator();
    QAction* flipH = rotateMenu->addAction(QStringLiteral("水平翻转"));
    QAction* flipV = rotateMenu->addAction(QStringLiteral("垂直翻转"));
    connect(left, &QAction::triggered, this, [this] { m_state->rotate(false); });
    connect(right, &QAction::triggered, this, [this] { m_state->rotate(true); });
    connect(flipH, &QAction::triggered, this, [this] { m_state->flip(true); });
    connect(flipV, &QAction::triggered, this, [this] { m_state->flip(false); });
    m_rotateMenu = makeAction(QStringLiteral("旋转"), QStringLiteral("rotate.right"));
    m_rotateMenu->setMenu(rotateMenu);

    auto* overlayMenu = new QMenu(this);
    QAction* text = overlayMenu->addAction(EditorIcons::icon(QStringLiteral("textformat")),
                                           QStringLiteral("文字"));
    QAction* sticker = overlayMenu->addAction(EditorIcons::icon(QStringLiteral("photo")),
                                              QStringLiteral("贴纸 / 图片"));
    QAction* mosaic = overlayMenu->addAction(
        EditorIcons::icon(QStringLiteral("squareshape.split.3x3")), QStringLiteral("马赛克"));
    QAction* arrow = overlayMenu->addAction(EditorIcons::icon(QStringLiteral("arrow.up.right")),
                                            QStringLiteral("箭头"));
    connect(text, &QAction::triggered, this, [this] { m_state->addText(); });
    connect(sticker, &QAction::triggered, this, [this] { m_state->addSticker(); });
    connect(mosaic, &QAction::triggered, this, [this] { m_state->addMosaic(); });
    connect(arrow, &QAction::triggered, this, [this] { m_state->addArrow(); });
    m_overlayMenu =
        makeAction(QStringLiteral("叠加"), QStringLiteral("square.on.square"),
                   QStringLiteral("添加文字 / 贴纸 / 马赛克 / 箭头,选中后在预览图上拖动调整"));
    m_overlayMenu->setMenu(overlayMenu);

    m_framesMenu = makeAction(tr("帧"), QStringLiteral("film.stack"),
                              tr("倒放、往返、速度，或插入另一个文件的帧"));
    m_framesMenu->setMenu(buildFramesMenu());

    // Centre group, crop form.
    m_applyCrop = makeAction(QStringLiteral("应用裁剪"), QStringLiteral("checkmark"));
    connect(m_applyCrop, &QAction::triggered, m_state, &EditorState::applyCrop);
    m_cancelCrop = makeAction(QStringLiteral("取消"), QStringLiteral("xmark"));
    connect(m_cancelCrop, &QAction::triggered, this, [this] { m_state->cancelCrop(); });

    for (QAction* action : {m_cropCommand, m_resize, m_rotateMenu, m_overlayMenu, m_framesMenu,
                            m_applyCrop, m_cancelCrop}) {
        m_toolbar->addAction(action);
    }
    for (QAction* action : {m_rotateMenu, m_overlayMenu, m_framesMenu}) {
        if (auto* button = qobject_cast<QToolButton*>(m_toolbar->widgetForAction(action))) {
            button->setPopupMode(QToolButton::InstantPopup);
        }
    }
    // The prominent style for applying the crop: filled with the accent.
    if (auto* button = qobject_cast<QToolButton*>(m_toolbar->widgetForAction(m_applyCrop))) {
        button->setAutoRaise(false);
        button->setStyleSheet(QStringLiteral("QToolButton { background: %1; color: white; "
                                             "border-radius: 5px; padding: 2px 6px; }")
                                  .arg(Theme::accent().name()));
    }
    m_toolbar->addWidget(spacer(m_toolbar));

    // Trailing group.
    m_deleteBefore = makeAction(QStringLiteral("删除之前"), QStringLiteral("chevron.left.to.line"),
                                QStringLiteral("掐头:删除当前帧之前的所有帧"));
    connect(m_deleteBefore, &QAction::triggered, m_state, &EditorState::deleteBeforeCurrent);
    m_deleteAfter = makeAction(QStringLiteral("删除之后"), QStringLiteral("chevron.right.to.line"),
                               QStringLiteral("去尾:删除当前帧之后的所有帧"));
    connect(m_deleteAfter, &QAction::triggered, m_state, &EditorState::deleteAfterCurrent);
    m_deleteSelected = makeAction(QStringLiteral("删除所选"), QStringLiteral("trash"));
    // Ctrl+Delete, and Ctrl+Backspace for keyboards whose delete key is that.
    m_deleteSelected->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Delete), QKeySequence(Qt::CTRL | Qt::Key_Backspace)});
    connect(m_deleteSelected, &QAction::triggered, this, &EditorView::deleteSelection);
    m_toolbar->addAction(m_deleteBefore);
    m_toolbar->addAction(m_deleteAfter);
    m_toolbar->addAction(m_deleteSelected);

    auto* delayGroup = new QWidget(m_toolbar);
    delayGroup->setToolTip(QStringLiteral("修改所选帧的延迟,如 0.1"));
    auto* delayRow = new QHBoxLayout(delayGroup);
    delayRow->setContentsMargins(6, 0, 6, 0);
    delayRow->setSpacing(4);
    m_delayField = new QLineEdit(delayGroup);
    m_delayField->setPlaceholderText(QStringLiteral("延迟"));
    m_delayField->setFixedWidth(52);
    auto* unit = new QLabel(QStringLiteral("秒"), delayGroup);
    makeCaption(unit);
    m_delayApply = new QPushButton(QStringLiteral("应用"), delayGroup);
    m_delayApply->setAutoDefault(false);
    m_delayApply->setFocusPolicy(Qt::TabFocus);
    connect(m_delayApply, &QPushButton::clicked, this, &EditorView::applyDelayInput);
    m_delayMessage = new QLabel(QStringLiteral("无法识别"), delayGroup);
    m_delayMessage->setToolTip(QStringLiteral("延迟要写成一个数，如 0.1"));
    QPalette warning = m_delayMessage->palette();
    warning.setColor(QPalette::WindowText, QColor(0xc0, 0x39, 0x2b));
    m_delayMessage->setPalette(warning);
    m_delayMessage->hide();
    connect(m_delayField, &QLineEdit::textEdited, m_delayMessage, &QWidget::hide);
    delayRow->addWidget(m_delayField);
    delayRow->addWidget(unit);
    delayRow->addWidget(m_delayApply);
    delayRow->addWidget(m_delayMessage);
    m_toolbar->addWidget(delayGroup);

    m_save = makeAction(QStringLiteral("保存"), QStringLiteral("square.and.arrow.down"));
    m_save->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    connect(m_save, &QAction::triggered, this, &EditorView::saveRequested);
    m_toolbar->addAction(m_save);
    if (auto* button = qobject_cast<QToolButton*>(m_toolbar->widgetForAction(m_save))) {
        QFont font = button->font();
        font.setBold(true);
        button->setFont(font);
    }

    // Every command stays reachable by its shortcut wherever the focus is.
    for (QAction* action : {m_undo, m_redo, m_deleteSelected, m_save}) {
        action->setShortcutContext(Qt::WindowShortcut);
    }
}

QWidget* EditorView::buildPreviewColumn() {
    auto* column = new QWidget(this);
    m_previewColumn = new QVBoxLayout(column);
    m_previewColumn->setContentsMargins(0, 0, 0, 0);
    m_previewColumn->setSpacing(0);

    m_canvas = new PreviewCanvas(m_state, column);
    m_overlayLayer = new OverlayLayerView(m_state, m_canvas);
    m_canvas->addLayer(m_overlayLayer);
    connect(m_canvas, &PreviewCanvas::displayRectChanged, m_overlayLayer,
            &OverlayLayerView::setDisplayRect);
    connect(m_overlayLayer, &OverlayLayerView::editingTextChanged, m_canvas->renderer(),
            &PreviewRenderer::setHiddenOverlay);
    m_crop = new CropOverlayView(m_state, m_canvas);
    m_canvas->addLayer(m_crop);
    connect(m_canvas, &PreviewCanvas::displayRectChanged, m_crop, &CropOverlayView::setDisplayRect);
    m_previewColumn->addWidget(m_canvas, 1);

    m_inspectorDivider = divider(Qt::Horizontal, column);
    m_previewColumn->addWidget(m_inspectorDivider);
    m_inspector = new OverlayInspectorView(m_state, column);
    m_previewColumn->addWidget(m_inspector);
    m_previewColumn->addWidget(divider(Qt::Horizontal, column));

    // Playback bar.
    auto* bar = new QWidget(column);
    bar->setAutoFillBackground(true);
    QPalette barPalette = bar->palette();
    barPalette.setColor(QPalette::Window, Theme::card());
    bar->setPalette(barPalette);
    auto* barRow = new QHBoxLayout(bar);
    barRow->setContentsMargins(12, 8, 12, 8);
    barRow->setSpacing(12);
    m_playButton = new QToolButton(bar);
    m_playButton->setAutoRaise(true);
    m_playButton->setIconSize(QSize(20, 20));
    m_playButton->setFocusPolicy(Qt::NoFocus);
    m_play = new QAction(this);
    m_play->setShortcut(QKeySequence(Qt::Key_Space));
    m_play->setShortcutContext(Qt::WindowShortcut);
    connect(m_play, &QAction::triggered, this, [this] {
        if (m_state->isPlaying()) {
            m_state->pause();
        } else {
            m_state->play();
        }
    });
    m_playButton->setDefaultAction(m_play);
    m_slider = new QSlider(Qt::Horizontal, bar);
    m_slider->setSingleStep(1);
    m_slider->setPageStep(1);
    m_slider->setFocusPolicy(Qt::NoFocus);
    connect(m_slider, &QSlider::valueChanged, this, [this](int value) {
        if (value != m_state->currentIndex()) {
            m_state->seek(value);
        }
    });
    m_positionLabel = new QLabel(bar);
    makeCaption(m_positionLabel);
    m_positionLabel->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Preferred);
    barRow->addWidget(m_playButton);
    barRow->addWidget(m_slider, 1);
    barRow->addWidget(m_positionLabel);
    m_previewColumn->addWidget(bar);
    m_previewColumn->addWidget(divider(Qt::Horizontal, column));

    // Information line.
    auto* info = new QWidget(column);
    auto* infoRow = new QHBoxLayout(info);
    infoRow->setContentsMargins(12, 6, 12, 6);
    m_infoLabel = new QLabel(info);
    makeCaption(m_infoLabel);
    infoRow->addWidget(m_infoLabel);
    infoRow->addStretch(1);
    // Why the last command was refused, until the next change.
    m_notice = new QLabel(info);
    QPalette warning = m_notice->palette();
    warning.setColor(QPalette::WindowText, QColor(0xc0, 0x39, 0x2b));
    m_notice->setPalette(warning);
    infoRow->addWidget(m_notice);
    connect(m_state, &EditorState::refused, m_notice, &QLabel::setText);
    connect(m_state, &EditorState::historyChanged, m_notice, &QLabel::clear);
    m_previewColumn->addWidget(info);
    return column;
}

QString EditorView::infoText(const EditorState& state) {
    const QSizeF size = state.imageSize();
    return QStringLiteral("尺寸 %1 × %2 · 共 %3 帧 · %4")
        .arg(static_cast<long long>(size.width()))
        .arg(static_cast<long long>(size.height()))
        .arg(state.frameCount())
        .arg(QString::asprintf("时长 %.2f 秒", state.totalDuration()));
}

QString EditorView::positionText(const EditorState& state) {
    return QStringLiteral("第 %1 / %2 帧").arg(state.currentIndex() + 1).arg(state.frameCount());
}

void EditorView::applyDelayInput() {
    if (const std::optional<double> seconds = parseNumber(m_delayField->text())) {
        m_delayMessage->hide();
        m_state->setDelay(*seconds);
    } else {
        // Said next to the field, which keeps the text to be corrected.
        m_delayMessage->show();
    }
}

void EditorView::startCrop() {
    m_state->startCrop();
}

void EditorView::showResizeSheet() {
    if (m_resizeSheet) {
        return;
    }
    m_resizeSheet = new ResizeSheet(m_state, this);
    m_resizeSheet->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_resizeSheet, &ResizeSheet::resizeRequested, m_state,
            [this](const QSizeF& size) { m_state->resize(size); });
    m_resizeSheet->open();
}

void EditorView::deleteSelection() {
    const QUuid overlay = m_state->selectedOverlayID();
    if (!overlay.isNull()) {
        m_state->deleteOverlay(overlay);
    } else {
        m_state->deleteSelected();
    }
}

void EditorView::refreshHistory() {
    m_undo->setEnabled(m_state->canUndo());
    m_redo->setEnabled(m_state->canRedo());
}

void EditorView::refreshPlayback() {
    const bool playing = m_state->isPlaying();
    m_play->setIcon(
        EditorIcons::icon(playing ? QStringLiteral("pause.fill") : QStringLiteral("play.fill")));
    m_play->setText(playing ? QStringLiteral("暂停") : QStringLiteral("播放"));
    m_play->setToolTip(QString());
    const QSignalBlocker block(m_slider);
    m_slider->setRange(0, std::max(m_state->frameCount() - 1, 0));
    m_slider->setValue(m_state->currentIndex());
    m_positionLabel->setText(positionText(*m_state));
}

void EditorView::refreshFrames() {
    m_infoLabel->setText(infoText(*m_state));
    refreshPlayback();
}

void EditorView::refreshCropping() {
    const bool cropping = m_state->isCropping();
    for (QAction* action : {m_cropCommand, m_resize, m_rotateMenu, m_overlayMenu, m_framesMenu}) {
        action->setVisible(!cropping);
    }
    m_applyCrop->setVisible(cropping);
    m_cancelCrop->setVisible(cropping);
    m_crop->setVisible(cropping);
}

void EditorView::refreshInspector() {
    const QUuid id = m_state->selectedOverlayID();
    const OverlayItem* selected = nullptr;
    for (const OverlayItem& item : m_state->overlays()) {
        if (item.id == id) {
            selected = &item;
            break;
        }
    }
    if (selected != nullptr) {
        m_inspector->showItem(*selected);
    } else {
        m_inspector->endSession();
    }
    m_inspectorDivider->setVisible(selected != nullptr);
    m_inspector->setVisible(selected != nullptr);
}

}  // namespace mirelo
