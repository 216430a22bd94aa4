// The editor's frames menu: reverse, back and forth, speed and insert.
#include "editor/EditorState.h"
#include "ui/editor/EditorView.h"

#include <QAction>
#include <QInputDialog>
#include <QMenu>

namespace mirelo {

QMenu* EditorView::buildFramesMenu() {
    auto* menu = new QMenu(this);
    m_reverse = menu->addAction(tr("倒放"));
    m_reverse->setToolTip(tr("把所选的帧（只选一帧时是全部帧）倒过来播放"));
    connect(m_reverse, &QAction::triggered, m_state, &EditorState::reverseFrames);
    m_pingPong = menu->addAction(tr("往返"));
    m_pingPong->setToolTip(tr("在后面接上倒放的帧，来回播放"));
    connect(m_pingPong, &QAction::triggered, m_state, &EditorState::pingPongFrames);
    m_speed = menu->addAction(tr("速度…"));
    connect(m_speed, &QAction::triggered, this, &EditorView::askSpeed);
    menu->addSeparator();
    m_insert = menu->addAction(tr("插入…"));
    m_insert->setToolTip(tr("在当前帧之后插入另一个文件的帧"));
    connect(m_insert, &QAction::triggered, this, &EditorView::insertRequested);
    return menu;
}

void EditorView::askSpeed() {
    bool ok = false;
    const int percent = QInputDialog::getInt(this, tr("速度"), tr("播放速度（%），100 为原速："),
                                             100, int(EditorState::kMinimumSpeed),
                                             int(EditorState::kMaximumSpeed), 10, &ok);
    if (ok) {
        m_state->setSpeed(percent);
    }
}

}  // namespace mirelo
