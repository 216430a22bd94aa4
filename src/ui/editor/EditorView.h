#pragma once

#include "ui/editor/ResizeSheet.h"

#include <QPointer>
#include <QWidget>

class QAction;
class QFontMetrics;
class QLabel;
class QMenu;
class QLineEdit;
class QPushButton;
class QSlider;
class QToolButton;
class QVBoxLayout;

namespace mirelo {

class CropOverlayView;
class EditorToolbar;
class EditorState;
class FrameStrip;
class OverlayInspectorView;
class OverlayLayerView;
class PreviewCanvas;
class ResizeSheet;

// The whole content of the editor window: the toolbar with every editing
// command, the frame strip on the left, and the preview with its playback bar
// and information line. It redraws from EditorState's change signals and turns
// every command into one call of the model (or saveRequested for saving).
class EditorView : public QWidget {
    Q_OBJECT

public:
    explicit EditorView(EditorState* state, QWidget* parent = nullptr);
    ~EditorView() override;

    EditorState* state() const { return m_state; }

    // --- Parts, for the window controller and for tests ----------------------
    FrameStrip* frameStrip() const { return m_strip; }
    PreviewCanvas* canvas() const { return m_canvas; }
    EditorToolbar* toolBar() const { return m_toolbar; }
    QLineEdit* delayField() const { return m_delayField; }
    QPushButton* delayApplyButton() const { return m_delayApply; }
    QSlider* playbackSlider() const { return m_slider; }
    QToolButton* playButton() const { return m_playButton; }
    QLabel* positionLabel() const { return m_positionLabel; }
    QLabel* infoLabel() const { return m_infoLabel; }
    // Why the last command was refused, or why the delay field's text is
    // not a delay (empty when nothing was refused).
    QLabel* noticeLabel() const { return m_notice; }
    CropOverlayView* cropOverlay() const { return m_crop; }
    OverlayLayerView* overlayLayer() const { return m_overlayLayer; }
    OverlayInspectorView* inspector() const { return m_inspector; }
    // The resize sheet while it is shown, else null.
    ResizeSheet* resizeSheet() const { return m_resizeSheet; }

    QAction* undoAction() const { return m_undo; }
    QAction* redoAction() const { return m_redo; }
    QAction* cropAction() const { return m_cropCommand; }
    QAction* resizeAction() const { return m_resize; }
    QAction* rotateMenuAction() const { return m_rotateMenu; }
    QAction* overlayMenuAction() const { return m_overlayMenu; }
    QAction* framesMenuAction() const { return m_framesMenu; }
    QAction* reverseAction() const { return m_reverse; }
    QAction* pingPongAction() const { return m_pingPong; }
    QAction* speedAction() const { return m_speed; }
    QAction* insertAction() const { return m_insert; }
    QAction* applyCropAction() const { return m_applyCrop; }
    QAction* cancelCropAction() const { return m_cancelCrop; }
    QAction* deleteBeforeAction() const { return m_deleteBefore; }
    QAction* deleteAfterAction() const { return m_deleteAfter; }
    QAction* deleteSelectedAction() const { return m_deleteSelected; }
    QAction* saveAction() const { return m_save; }
    QAction* playAction() const { return m_play; }
    // "按键" / "点击" in the overlay menu: show or hide the recording's key captions and click
    // marks; there only when the editor holds some.
    QAction* showKeysAction() const { return m_showKeys; }
    QAction* showClicksAction() const { return m_showClicks; }
    QAction* showPointerAction() const { return m_showPointer; }

    // "尺寸 640 × 360 · 共 25 帧 · 时长 2.50 秒" for the model as it is.
    static QString infoText(const EditorState& state);
    // "第 1 / 12 帧".
    static QString positionText(const EditorState& state);
    static QString positionText(const QString& current, const QString& count);
    // The width the position text needs at most for `count` frames.
    static int positionTextWidth(const QFontMetrics& metrics, int count);

    // Why `text` is not a delay the field accepts ("无法识别：延迟里有空格"),
    // or empty when it is one.
    static QString delayRejection(const QString& text);

    // Commands (also reachable through the actions).
    void applyDelayInput();
    void startCrop();
    void showResizeSheet();
    void deleteSelection();

signals:
    // The save command: the window controller runs the save flow.
    void saveRequested();
    // "插入…": the window controller asks for the file and inserts its frames.
    void insertRequested();

private:
    void buildToolbar();
    // The frames menu: 倒放, 往返, 速度…, 插入… (EditorFramesMenu.cpp).
    QMenu* buildFramesMenu();
    void askSpeed();
    QWidget* buildPreviewColumn();
    void refreshHistory();
    void refreshPlayback();
    void refreshFrames();
    void refreshCropping();
    void refreshInspector();
    void showNotice(const QString& text, bool fromDelay = false);
    // The keyboard focus goes to the frame strip, where every editor
    // shortcut (undo, redo, Space, Ctrl+Delete) acts on the editor.
    void returnFocusToFrames();
    // Ends typing in a field of this view, if any.
    void leaveTextFields();
    void refreshInputToggles();

    EditorState* m_state;
    EditorToolbar* m_toolbar = nullptr;
    FrameStrip* m_strip = nullptr;
    PreviewCanvas* m_canvas = nullptr;
    CropOverlayView* m_crop = nullptr;
    OverlayLayerView* m_overlayLayer = nullptr;
    QVBoxLayout* m_previewColumn = nullptr;
    QWidget* m_inspectorDivider = nullptr;
    OverlayInspectorView* m_inspector = nullptr;
    QPointer<ResizeSheet> m_resizeSheet;

    QLineEdit* m_delayField = nullptr;
    QPushButton* m_delayApply = nullptr;
    QToolButton* m_playButton = nullptr;
    QSlider* m_slider = nullptr;
    QLabel* m_positionLabel = nullptr;
    int m_positionWidth = 0;
    QLabel* m_infoLabel = nullptr;
    QLabel* m_notice = nullptr;
    bool m_noticeFromDelay = false;

    QAction* m_undo = nullptr;
    QAction* m_framesMenu = nullptr;
    QAction* m_reverse = nullptr;
    QAction* m_pingPong = nullptr;
    QAction* m_speed = nullptr;
    QAction* m_insert = nullptr;
    QAction* m_redo = nullptr;
    QAction* m_cropCommand = nullptr;
    QAction* m_resize = nullptr;
    QAction* m_rotateMenu = nullptr;
    QAction* m_overlayMenu = nullptr;
    QAction* m_applyCrop = nullptr;
    QAction* m_cancelCrop = nullptr;
    QAction* m_deleteBefore = nullptr;
    QAction* m_deleteAfter = nullptr;
    QAction* m_deleteSelected = nullptr;
    QAction* m_save = nullptr;
    QAction* m_play = nullptr;
    QAction* m_inputSeparator = nullptr;
    QAction* m_showKeys = nullptr;
    QAction* m_showClicks = nullptr;
    QAction* m_showPointer = nullptr;
};

}  // namespace mirelo
