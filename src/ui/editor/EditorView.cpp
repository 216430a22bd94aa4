#include "ui/editor/EditorView.h"

#include "editor/EditorState.h"
#include "ui/Theme.h"
#include "ui/editor/CropOverlayView.h"
#include "ui/editor/EditorIcons.h"
#include "ui/editor/EditorTexts.h"
#include "ui/editor/EditorToolbar.h"
#include "ui/editor/FrameStrip.h"
#include "ui/editor/NoticeLabel.h"
#include "ui/editor/NumberParsing.h"
#include "ui/editor/OverlayInspectorView.h"
#include "ui/editor/OverlayLayerView.h"
#include "ui/editor/PreviewCanvas.h"
#include "ui/editor/PreviewRenderer.h"
#include "ui/editor/ResizeSheet.h"

#include <QAction>
#include <QApplication>
#include <QFontDatabase>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <utility>

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

}  // namespace

EditorView::EditorView(EditorState* state, QWidget* parent) : QWidget(parent), m_state(state) {
    m_state->setSampleText(tr("示例文字"));
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
    m_toolbar = new EditorToolbar(this);
    using Group = EditorToolbar::Group;

    auto makeAction = [this](const QString& text, const QString& symbol, const QString& tip = {}) {
        auto* action = new QAction(EditorIcons::icon(symbol), text, this);
        if (!tip.isEmpty()) {
            action->setToolTip(tip);
        }
        return action;
    };

    // Leading group: history.
    m_undo = makeAction(tr("撤销"), QStringLiteral("arrow.uturn.backward"));
    m_undo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    connect(m_undo, &QAction::triggered, m_state, &EditorState::undo);
    m_redo = makeAction(tr("重做"), QStringLiteral("arrow.uturn.forward"));
    m_redo->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    connect(m_redo, &QAction::triggered, m_state, &EditorState::redo);
    m_toolbar->addCommand(Group::leading, m_undo);
    m_toolbar->addCommand(Group::leading, m_redo);

    // Centre group, normal form.
    m_cropCommand =
        makeAction(tr("裁剪"), QStringLiteral("crop"), tr("在预览图上拖出要保留的区域"));
    connect(m_cropCommand, &QAction::triggered, this, &EditorView::startCrop);
    m_resize = makeAction(tr("缩放"), QStringLiteral("arrow.up.left.and.arrow.down.right"),
                          tr("调整 GIF 的画面尺寸"));
    connect(m_resize, &QAction::triggered, this, &EditorView::showResizeSheet);

    auto* rotateMenu = new QMenu(this);
    QAction* left = rotateMenu->addAction(tr("向左旋转 90°"));
    QAction* right = rotateMenu->addAction(tr("向右旋转 90°"));
    rotateMenu->addSeparator();
    QAction* flipH = rotateMenu->addAction(tr("水平翻转"));
    QAction* flipV = rotateMenu->addAction(tr("垂直翻转"));
    connect(left, &QAction::triggered, this, [this] { m_state->rotate(false); });
    connect(right, &QAction::triggered, this, [this] { m_state->rotate(true); });
    connect(flipH, &QAction::triggered, this, [this] { m_state->flip(true); });
    connect(flipV, &QAction::triggered, this, [this] { m_state->flip(false); });
    m_rotateMenu = makeAction(tr("旋转"), QStringLiteral("rotate.right"));
    m_rotateMenu->setMenu(rotateMenu);

    auto* overlayMenu = new QMenu(this);
    QAction* text =
        overlayMenu->addAction(EditorIcons::icon(QStringLiteral("textformat")), tr("文字"));
    QAction* sticker =
        overlayMenu->addAction(EditorIcons::icon(QStringLiteral("photo")), tr("贴纸 / 图片"));
    QAction* mosaic = overlayMenu->addAction(
        EditorIcons::icon(QStringLiteral("squareshape.split.3x3")), tr("马赛克"));
    QAction* arrow =
        overlayMenu->addAction(EditorIcons::icon(QStringLiteral("arrow.up.right")), tr("箭头"));
    connect(text, &QAction::triggered, this, [this] { m_state->addText(); });
    connect(sticker, &QAction::triggered, this, [this] { m_state->addSticker(); });
    connect(mosaic, &QAction::triggered, this, [this] { m_state->addMosaic(); });
    connect(arrow, &QAction::triggered, this, [this] { m_state->addArrow(); });
    // The recording's key captions, click marks and pointer highlights, shown or hidden as a
    // whole.
    m_inputSeparator = overlayMenu->addSeparator();
    m_showKeys = overlayMenu->addAction(tr("按键"));
    m_showClicks = overlayMenu->addAction(tr("点击"));
    m_showPointer = overlayMenu->addAction(tr("高亮指针"));
    const std::pair<QAction*, EditorState::InputKind> toggles[] = {
        {m_showKeys, EditorState::InputKind::keyCaptions},
        {m_showClicks, EditorState::InputKind::clickMarks},
        {m_showPointer, EditorState::InputKind::pointerHighlights},
    };
    for (const auto& [toggle, kind] : toggles) {
        toggle->setCheckable(true);
        connect(toggle, &QAction::triggered, this,
                [this, kind](bool on) { m_state->setInputOverlaysShown(kind, on); });
    }
    m_overlayMenu = makeAction(tr("叠加"), QStringLiteral("square.on.square"),
                               tr("添加文字 / 贴纸 / 马赛克 / 箭头,选中后在预览图上拖动调整"));
    m_overlayMenu->setMenu(overlayMenu);

    m_framesMenu = makeAction(tr("帧"), QStringLiteral("film.stack"),
                              tr("倒放、往返、速度，或插入另一个文件的帧"));
    m_framesMenu->setMenu(buildFramesMenu());

    // Centre group, crop form.
    m_applyCrop = makeAction(tr("应用裁剪"), QStringLiteral("checkmark"));
    connect(m_applyCrop, &QAction::triggered, m_state, &EditorState::applyCrop);
    m_cancelCrop = makeAction(tr("取消"), QStringLiteral("xmark"));
    connect(m_cancelCrop, &QAction::triggered, this, [this] { m_state->cancelCrop(); });
    // Escape leaves crop mode as 取消 does, like it closes every sheet and
    // dialog; the action (and so the key) exists only in crop mode.
    m_cancelCrop->setShortcut(QKeySequence(Qt::Key_Escape));
    m_cancelCrop->setShortcutContext(Qt::WindowShortcut);

    for (QAction* action : {m_cropCommand, m_resize, m_rotateMenu, m_overlayMenu, m_framesMenu,
                            m_applyCrop, m_cancelCrop}) {
        m_toolbar->addCommand(Group::centre, action);
    }
    // The prominent style for applying the crop: filled with the accent.
    if (QToolButton* button = m_toolbar->buttonFor(m_applyCrop)) {
        button->setAutoRaise(false);
        button->setStyleSheet(QStringLiteral("QToolButton { background: %1; color: white; "
                                             "border-radius: 5px; padding: 2px 6px; }")
                                  .arg(Theme::accent().name()));
    }

    // Trailing group.
    m_deleteBefore = makeAction(tr("删除之前"), QStringLiteral("chevron.left.to.line"),
                                tr("掐头:删除当前帧之前的所有帧"));
    connect(m_deleteBefore, &QAction::triggered, m_state, &EditorState::deleteBeforeCurrent);
    m_deleteAfter = makeAction(tr("删除之后"), QStringLiteral("chevron.right.to.line"),
                               tr("去尾:删除当前帧之后的所有帧"));
    connect(m_deleteAfter, &QAction::triggered, m_state, &EditorState::deleteAfterCurrent);
    m_deleteSelected = makeAction(tr("删除所选"), QStringLiteral("trash"));
    // Ctrl+Delete, and Ctrl+Backspace for keyboards whose delete key is that.
    m_deleteSelected->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Delete), QKeySequence(Qt::CTRL | Qt::Key_Backspace)});
    connect(m_deleteSelected, &QAction::triggered, this, &EditorView::deleteSelection);
    m_toolbar->addCommand(Group::trailing, m_deleteBefore);
    m_toolbar->addCommand(Group::trailing, m_deleteAfter);
    m_toolbar->addCommand(Group::trailing, m_deleteSelected);

    auto* delayGroup = new QWidget(m_toolbar);
    delayGroup->setToolTip(tr("修改所选帧的延迟,如 0.1"));
    auto* delayRow = new QHBoxLayout(delayGroup);
    delayRow->setContentsMargins(6, 0, 6, 0);
    delayRow->setSpacing(4);
    m_delayField = new QLineEdit(delayGroup);
    m_delayField->setPlaceholderText(tr("延迟"));
    m_delayField->setFixedWidth(52);
    auto* unit = new QLabel(tr("秒"), delayGroup);
    makeCaption(unit);
    m_delayApply = new QPushButton(tr("应用"), delayGroup);
    m_delayApply->setAutoDefault(false);
    m_delayApply->setFocusPolicy(Qt::TabFocus);
    connect(m_delayApply, &QPushButton::clicked, this, &EditorView::applyDelayInput);
    // Return applies nothing, but ends the typing: the keys go back to the editor.
    connect(m_delayField, &QLineEdit::returnPressed, this, &EditorView::returnFocusToFrames);
    connect(m_delayField, &QLineEdit::textEdited, this, [this] {
        if (m_noticeFromDelay) {
            showNotice(QString());
        }
    });
    delayRow->addWidget(m_delayField);
    delayRow->addWidget(unit);
    delayRow->addWidget(m_delayApply);
    m_toolbar->addControl(Group::trailing, delayGroup);

    m_save = makeAction(tr("保存"), QStringLiteral("square.and.arrow.down"));
    m_save->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    connect(m_save, &QAction::triggered, this, &EditorView::saveRequested);
    m_toolbar->addCommand(Group::trailing, m_save);
    if (QToolButton* button = m_toolbar->buttonFor(m_save)) {
        QFont font = button->font();
        font.setBold(true);
        button->setFont(font);
    }

    // Every command stays reachable by its shortcut wherever the focus is.
    for (QAction* action : {m_undo, m_redo, m_deleteSelected, m_save}) {
        action->setShortcutContext(Qt::WindowShortcut);
    }
    // A command given with the pointer ends any typing, so the next keys
    // (Ctrl+Z, Space) reach the editor rather than a field.
    connect(m_toolbar, &EditorToolbar::actionTriggered, this, &EditorView::leaveTextFields);
    for (QMenu* menu : {rotateMenu, overlayMenu}) {
        connect(menu, &QMenu::triggered, this, &EditorView::leaveTextFields);
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
    connect(m_inspector, &OverlayInspectorView::fieldCommitted, this,
            &EditorView::returnFocusToFrames);
    connect(m_overlayLayer, &OverlayLayerView::textEditCommitted, this,
            &EditorView::returnFocusToFrames);
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
    m_positionLabel->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    m_positionLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
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
    // Why the last command was refused, until the next change: in the rest
    // of the line, cut short rather than moving anything.
    m_notice = new NoticeLabel(info);
    QPalette warning = m_notice->palette();
    warning.setColor(QPalette::WindowText, QColor(0xc0, 0x39, 0x2b));
    m_notice->setPalette(warning);
    infoRow->addSpacing(12);
    infoRow->addWidget(m_notice, 1);
    connect(m_state, &EditorState::refused, this,
            [this](const EditorRefusal& refusal) { showNotice(editortexts::describe(refusal)); });
    connect(m_state, &EditorState::historyChanged, this, [this] { showNotice(QString()); });
    m_previewColumn->addWidget(info);
    return column;
}

QString EditorView::infoText(const EditorState& state) {
    const QSizeF size = state.imageSize();
    return tr("尺寸 %1 × %2 · 共 %n 帧 · %3", nullptr, state.frameCount())
        .arg(static_cast<long long>(size.width()))
        .arg(static_cast<long long>(size.height()))
        .arg(tr("时长 %1 秒").arg(state.totalDuration(), 0, 'f', 2));
}

QString EditorView::positionText(const EditorState& state) {
    return positionText(QString::number(state.currentIndex() + 1),
                        QString::number(state.frameCount()));
}

QString EditorView::positionText(const QString& current, const QString& count) {
    return tr("第 %1 / %2 帧").arg(current, count);
}

int EditorView::positionTextWidth(const QFontMetrics& metrics, int count) {
    // The widest text of this many frames: every digit the widest digit.
    QChar widest = QLatin1Char('0');
    for (char digit = '1'; digit <= '9'; ++digit) {
        if (metrics.horizontalAdvance(QLatin1Char(digit)) > metrics.horizontalAdvance(widest)) {
            widest = QLatin1Char(digit);
        }
    }
    const QString number(QString::number(std::max(count, 1)).size(), widest);
    return metrics.horizontalAdvance(positionText(number, number)) + 2;
}

QString EditorView::delayRejection(const QString& text) {
    if (parseNumber(text)) {
        return {};
    }
    if (text.isEmpty()) {
        return tr("无法识别：没有填写延迟");
    }
    for (const QChar c : text) {
        if (c.isSpace()) {
            return tr("无法识别：延迟里有空格");
        }
    }
    if (text.contains(QLatin1Char(',')) || text.contains(QChar(0xff0c))) {
        return tr("无法识别：小数点要写成“.”，不是“,”");
    }
    return tr("无法识别：延迟只能是数字，如 0.1");
}

void EditorView::applyDelayInput() {
    const QString text = m_delayField->text();
    if (const std::optional<double> seconds = parseNumber(text)) {
        showNotice(QString());
        m_state->setDelay(*seconds);
        // The delay is set: the keys go back to the editor, so Ctrl+Z undoes
        // it and Space plays.
        returnFocusToFrames();
    } else {
        // The field keeps the text and the focus, to be corrected.
        showNotice(delayRejection(text), true);
    }
}

void EditorView::showNotice(const QString& text, bool fromDelay) {
    m_noticeFromDelay = fromDelay && !text.isEmpty();
    m_notice->setText(text);
}

void EditorView::returnFocusToFrames() {
    m_strip->setFocus(Qt::OtherFocusReason);
}

void EditorView::leaveTextFields() {
    QWidget* focus = QApplication::focusWidget();
    if (qobject_cast<QLineEdit*>(focus) != nullptr && isAncestorOf(focus)) {
        returnFocusToFrames();
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
    m_play->setText(playing ? tr("暂停") : tr("播放"));
    m_play->setToolTip(QString());
    const QSignalBlocker block(m_slider);
    m_slider->setRange(0, std::max(m_state->frameCount() - 1, 0));
    m_slider->setValue(m_state->currentIndex());
    m_positionLabel->setText(positionText(*m_state));
    // The label keeps the width of the largest count it has shown, so the
    // slider's end stays put as the numbers grow and shrink.
    m_positionWidth = std::max(
        m_positionWidth, positionTextWidth(m_positionLabel->fontMetrics(), m_state->frameCount()));
    m_positionLabel->setFixedWidth(m_positionWidth);
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

void EditorView::refreshInputToggles() {
    const bool keys = m_state->hasInputOverlays(EditorState::InputKind::keyCaptions);
    const bool clicks = m_state->hasInputOverlays(EditorState::InputKind::clickMarks);
    const bool pointer = m_state->hasInputOverlays(EditorState::InputKind::pointerHighlights);
    m_inputSeparator->setVisible(keys || clicks || pointer);
    m_showKeys->setVisible(keys);
    m_showKeys->setChecked(m_state->inputOverlaysShown(EditorState::InputKind::keyCaptions));
    m_showClicks->setVisible(clicks);
    m_showClicks->setChecked(m_state->inputOverlaysShown(EditorState::InputKind::clickMarks));
    m_showPointer->setVisible(pointer);
    m_showPointer->setChecked(
        m_state->inputOverlaysShown(EditorState::InputKind::pointerHighlights));
}

void EditorView::refreshInspector() {
    refreshInputToggles();
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
