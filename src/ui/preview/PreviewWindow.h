#pragma once

#include "editor/EditorFrame.h"

#include <QWidget>

class QLabel;
class QPushButton;

namespace mirelo {

class EditorState;

// A plain window that shows a recording and plays it in a loop, with a
// play/pause button and the frame counter. It stands where the editor window
// will open after a recording.
class PreviewWindow : public QWidget {
    Q_OBJECT

public:
    explicit PreviewWindow(FrameList frames, QWidget* parent = nullptr);
    ~PreviewWindow() override;

    EditorState* state() const { return m_state; }

signals:
    // The window was closed by the user.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void refresh();

    EditorState* m_state = nullptr;
    QWidget* m_canvas = nullptr;
    QLabel* m_counter = nullptr;
    QPushButton* m_playButton = nullptr;
};

}  // namespace mirelo
