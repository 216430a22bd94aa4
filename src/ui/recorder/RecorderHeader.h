#pragma once

#include <QPointer>
#include <QSize>
#include <QWidget>

class QAction;
class QActionGroup;
class QMenu;
class QPushButton;
class QToolButton;

namespace mirelo {

class SessionModel;

// The recorder window's toolbar: pointer toggle, frame-rate menu, size menu,
// the optional application menu, pause/resume while recording and the
// record/stop button. Every control
// reads from and writes to the session model; presses on the bar's empty
// background pass to the window, which moves on a drag.
class RecorderHeader : public QWidget {
    Q_OBJECT

public:
    explicit RecorderHeader(SessionModel* model, QWidget* parent = nullptr);

    // Shows a menu button that opens `menu` (for desktops without a tray).
    // Null hides it.
    void setAppMenu(QMenu* menu);

    QToolButton* cursorButton() const { return m_cursorButton; }
    QToolButton* fpsButton() const { return m_fpsButton; }
    // "显示按键", with its menu "仅快捷键" / "全部按键".
    QToolButton* keysButton() const { return m_keysButton; }
    QToolButton* sizeButton() const { return m_sizeButton; }
    QToolButton* menuButton() const { return m_menuButton; }
    // "暂停" / "继续"; shown only while a recording runs.
    QToolButton* pauseButton() const { return m_pauseButton; }
    QPushButton* recordButton() const { return m_recordButton; }

    // The label of the size menu for `size`: "960 × 540".
    static QString sizeLabel(const QSizeF& size);

    // How far the header has given way to fit its width: 0 shows every
    // label; higher levels show less text (see fitControls()).
    int compactLevel() const { return m_compact; }
    // Lays the controls out for the header's current width; the window
    // calls it when it sets the header's geometry (a hidden header gets no
    // resize event).
    void fitControls();

signals:
    // A size preset was chosen in the size menu.
    void presetChosen(QSize size);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    static constexpr int kMargin = 10;
    static constexpr int kSpacing = 10;
    static constexpr int kMostCompact = 4;

    void refresh();
    void applyLabels();
    int neededWidth() const;
    void watchMenu(QToolButton* button);

    QPointer<SessionModel> m_model;
    QToolButton* m_cursorButton = nullptr;
    QToolButton* m_fpsButton = nullptr;
    QToolButton* m_keysButton = nullptr;
    QActionGroup* m_keysGroup = nullptr;
    QToolButton* m_sizeButton = nullptr;
    QAction* m_recordWindowAction = nullptr;
    QAction* m_decorationsAction = nullptr;
    QToolButton* m_menuButton = nullptr;
    QToolButton* m_pauseButton = nullptr;
    QPushButton* m_recordButton = nullptr;
    QActionGroup* m_fpsGroup = nullptr;
    QString m_recordText;
    int m_compact = 0;
};

}  // namespace mirelo
