#pragma once

#include <QPointer>
#include <QSize>
#include <QWidget>

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
    QToolButton* sizeButton() const { return m_sizeButton; }
    QToolButton* menuButton() const { return m_menuButton; }
    // "暂停" / "继续"; shown only while a recording runs.
    QToolButton* pauseButton() const { return m_pauseButton; }
    QPushButton* recordButton() const { return m_recordButton; }

    // The label of the size menu for `size`: "960 × 540".
    static QString sizeLabel(const QSizeF& size);

signals:
    // A size preset was chosen in the size menu.
    void presetChosen(QSize size);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh();

    QPointer<SessionModel> m_model;
    QToolButton* m_cursorButton = nullptr;
    QToolButton* m_fpsButton = nullptr;
    QToolButton* m_sizeButton = nullptr;
    QToolButton* m_menuButton = nullptr;
    QToolButton* m_pauseButton = nullptr;
    QPushButton* m_recordButton = nullptr;
};

}  // namespace mirelo
