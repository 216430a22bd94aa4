#include "ui/recorder/RecorderHeader.h"

#include "ui/Icons.h"
#include "ui/Theme.h"
#include "ui/recorder/RecorderGeometry.h"
#include "ui/recorder/SessionModel.h"

#include <QActionGroup>
#include <QCursor>
#include <QHBoxLayout>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>

#include <algorithm>
#include <cmath>

namespace mirelo {

namespace {

const int kFrameRates[] = {10, 15, 24, 30};

QString fpsLabel(int fps) {
    return QStringLiteral("FPS %1").arg(fps);
}

}  // namespace

QString RecorderHeader::sizeLabel(const QSizeF& size) {
    return tr("%1 × %2")
        .arg(static_cast<long long>(std::lround(size.width())))
        .arg(static_cast<long long>(std::lround(size.height())));
}

RecorderHeader::RecorderHeader(SessionModel* model, QWidget* parent)
    : QWidget(parent), m_model(model) {
    setFixedHeight(recorder::kHeaderHeight);
    const QColor accent = Theme::accent();

    // A switched-on toggle is filled with the accent colour; a focused
    // control (reached with Tab) is ringed, so that Space and Return only
    // ever act on a control the user can see.
    setStyleSheet(QStringLiteral("QToolButton { color: %1; border: 2px solid transparent;"
                                 " border-radius: 6px; padding: 2px 4px; }"
                                 "QToolButton:hover { background: %2; }"
                                 "QToolButton:checked { background: %1; color: white; }"
                                 "QToolButton:focus { border-color: %1; }"
                                 "QToolButton:disabled { color: #a0a0a0; }"
                                 "QToolButton::menu-indicator { image: none; width: 0; }"
                                 "QToolButton::menu-button { width: 10px; border: none; }")
                      .arg(accent.name(), Theme::paperDeep().name()));

    m_cursorButton = new QToolButton(this);
    m_cursorButton->setCheckable(true);
    m_cursorButton->setToolTip(tr("录制鼠标指针"));
    connect(m_cursorButton, &QToolButton::toggled, this, [this](bool on) {
        if (m_model) {
            m_model->setShowsCursor(on);
        }
    });

    m_fpsButton = new QToolButton(this);
    m_fpsButton->setPopupMode(QToolButton::InstantPopup);
    auto* fpsMenu = new QMenu(m_fpsButton);
    m_fpsGroup = new QActionGroup(fpsMenu);
    for (int fps : kFrameRates) {
        QAction* action = fpsMenu->addAction(fpsLabel(fps));
        action->setCheckable(true);
        action->setData(fps);
        m_fpsGroup->addAction(action);
        connect(action, &QAction::triggered, this, [this, fps] {
            if (m_model) {
                m_model->setFps(fps);
            }
        });
    }
    m_fpsButton->setMenu(fpsMenu);

    m_keysButton = new QToolButton(this);
    m_keysButton->setCheckable(true);
    m_keysButton->setPopupMode(QToolButton::MenuButtonPopup);
    connect(m_keysButton, &QToolButton::toggled, this, [this](bool on) {
        if (!m_model) {
            return;
        }
        m_model->setShowsKeys(on);
        if (on && !m_model->keysUnavailableNote().isEmpty()) {
            QToolTip::showText(m_keysButton->mapToGlobal(QPoint(0, m_keysButton->height())),
                               m_model->keysUnavailableNote(), m_keysButton);
        }
    });
    auto* keysMenu = new QMenu(m_keysButton);
    m_keysGroup = new QActionGroup(keysMenu);
    for (const bool all : {false, true}) {
        QAction* action = keysMenu->addAction(all ? tr("全部按键") : tr("仅快捷键"));
        action->setCheckable(true);
        action->setData(all);
        m_keysGroup->addAction(action);
        connect(action, &QAction::triggered, this, [this, all] {
            if (m_model) {
                m_model->setAllKeys(all);
                m_model->setShowsKeys(true);
            }
        });
    }
    m_keysButton->setMenu(keysMenu);

    m_sizeButton = new QToolButton(this);
    m_sizeButton->setPopupMode(QToolButton::InstantPopup);
    auto* sizeMenu = new QMenu(m_sizeButton);
    QAction* pick = sizeMenu->addAction(tr("查找窗口…"));
    connect(pick, &QAction::triggered, this, [this] {
        if (m_model) {
            m_model->beginWindowPick();
        }
    });
    // Records the window clicked wherever it goes, rather than the area under the frame.
    m_recordWindowAction = sizeMenu->addAction(tr("录制窗口"));
    connect(m_recordWindowAction, &QAction::triggered, this, [this] {
        if (m_model) {
            m_model->beginWindowRecording();
        }
    });
    m_decorationsAction = sizeMenu->addAction(tr("录制窗口时包括标题栏和边框"));
    m_decorationsAction->setCheckable(true);
    connect(m_decorationsAction, &QAction::toggled, this, [this](bool on) {
        if (m_model) {
            m_model->setWindowDecorations(on);
        }
    });
    sizeMenu->addSeparator();
    for (const QSize& preset : recorder::sizePresets()) {
        QAction* action = sizeMenu->addAction(sizeLabel(preset));
        // The window fits the preset to the screen and sets the capture size.
        connect(action, &QAction::triggered, this, [this, preset] { emit presetChosen(preset); });
    }
    m_sizeButton->setMenu(sizeMenu);

    m_menuButton = new QToolButton(this);
    m_menuButton->setPopupMode(QToolButton::InstantPopup);
    m_menuButton->setIcon(Icons::menu(accent));
    m_menuButton->setToolTip(QStringLiteral("Mirelo"));
    m_menuButton->hide();

    m_sizeButton->setIcon(Icons::captureSize(accent));
    m_sizeButton->setToolButtonStyle(Qt::ToolButtonTextOnly);

    m_pauseButton = new QToolButton(this);
    m_pauseButton->hide();
    connect(m_pauseButton, &QToolButton::clicked, this, [this] {
        if (m_model) {
            m_model->togglePause();
        }
    });

    m_recordButton = new QPushButton(this);
    m_recordButton->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Return));
    m_recordButton->setCursor(Qt::ArrowCursor);
    connect(m_recordButton, &QPushButton::clicked, this, [this] {
        if (m_model) {
            m_model->toggleRecording();
        }
    });

    for (QAbstractButton* button : std::initializer_list<QAbstractButton*>{
             m_cursorButton, m_fpsButton, m_keysButton, m_sizeButton, m_menuButton, m_pauseButton,
             m_recordButton}) {
        // A click leaves the keyboard focus where it was; Tab reaches them.
        button->setFocusPolicy(Qt::TabFocus);
    }
    watchMenu(m_fpsButton);
    watchMenu(m_sizeButton);
    watchMenu(m_keysButton);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(kMargin, 0, kMargin, 0);
    layout->setSpacing(kSpacing);
    layout->addWidget(m_cursorButton);
    layout->addWidget(m_fpsButton);
    layout->addWidget(m_keysButton);
    layout->addWidget(m_sizeButton);
    layout->addStretch(1);
    layout->addWidget(m_menuButton);
    layout->addWidget(m_pauseButton);
    layout->addWidget(m_recordButton);

    if (m_model) {
        connect(m_model, &SessionModel::isRecordingChanged, this, &RecorderHeader::refresh);
        connect(m_model, &SessionModel::isStartingRecordingChanged, this, &RecorderHeader::refresh);
        connect(m_model, &SessionModel::isPausedChanged, this, &RecorderHeader::refresh);
        connect(m_model, &SessionModel::fpsChanged, this, &RecorderHeader::refresh);
        connect(m_model, &SessionModel::showsCursorChanged, this, &RecorderHeader::refresh);
        connect(m_model, &SessionModel::captureSizeChanged, this, &RecorderHeader::refresh);
        connect(m_model, &SessionModel::countdownRemainingChanged, this, &RecorderHeader::refresh);
        connect(m_model, &SessionModel::captureSizeReducedChanged, this, &RecorderHeader::refresh);
        connect(m_model, &SessionModel::recordedPixelSizeChanged, this, &RecorderHeader::refresh);
        connect(m_model, &SessionModel::showsKeysChanged, this, &RecorderHeader::refresh);
        connect(m_model, &SessionModel::allKeysChanged, this, &RecorderHeader::refresh);
        connect(m_model, &SessionModel::recordsWindowsChanged, this, &RecorderHeader::refresh);
        connect(m_model, &SessionModel::windowDecorationsChanged, this, &RecorderHeader::refresh);
    }
    refresh();
}

void RecorderHeader::setAppMenu(QMenu* menu) {
    m_menuButton->setMenu(menu);
    m_menuButton->setVisible(menu != nullptr);
    if (menu) {
        watchMenu(m_menuButton);
    }
    fitControls();
}

void RecorderHeader::watchMenu(QToolButton* button) {
    // The pointer leaves the button for the menu without the button
    // noticing: clear its hover look when the menu goes.
    connect(button->menu(), &QMenu::aboutToHide, button, [button] {
        QTimer::singleShot(0, button, [button] {
            const bool under = button->rect().contains(button->mapFromGlobal(QCursor::pos()));
            button->setAttribute(Qt::WA_UnderMouse, under);
            button->setDown(false);
            button->update();
        });
    });
}

void RecorderHeader::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    fitControls();
}

int RecorderHeader::neededWidth() const {
    auto* box = static_cast<QHBoxLayout*>(layout());
    int width = 0;
    int shown = 0;
    for (int i = 0; i < box->count(); ++i) {
        QWidget* widget = box->itemAt(i)->widget();
        if (widget && !widget->isHidden()) {
            width += widget->sizeHint().width();
            ++shown;
        }
    }
    const QMargins margins = box->contentsMargins();
    return width + std::max(0, shown - 1) * box->spacing() + margins.left() + margins.right();
}

void RecorderHeader::fitControls() {
    auto* box = static_cast<QHBoxLayout*>(layout());
    if (!box) {
        return;
    }
    // Step by step, until every control fits whole: the size label gives way
    // to an icon, the gaps close up, the record button drops its text, and
    // the rate shows its number only.
    for (int level = 0; level <= kMostCompact; ++level) {
        m_compact = level;
        applyLabels();
        box->setContentsMargins(level >= 2 ? 4 : kMargin, 0, level >= 2 ? 4 : kMargin, 0);
        box->setSpacing(level >= 2 ? 2 : kSpacing);
        if (neededWidth() <= width()) {
            break;
        }
    }
}

void RecorderHeader::applyLabels() {
    if (!m_model) {
        return;
    }
    // What a recording gives: on a screen with a scale factor, more pixels than points.
    const QSize pixels = m_model->recordedPixelSize();
    QString size = sizeLabel(pixels.isValid() ? QSizeF(pixels) : m_model->captureSize());
    if (m_model->captureSizeReduced()) {
        m_sizeButton->setToolTip(tr("%1:所选尺寸比屏幕大,已缩小到屏幕放得下的大小").arg(size));
        size = tr("%1 · 已缩小").arg(size);
    } else {
        m_sizeButton->setToolTip(size);
    }
    if (m_compact >= 1) {
        m_sizeButton->setToolButtonStyle(Qt::ToolButtonIconOnly);
    } else {
        m_sizeButton->setToolButtonStyle(Qt::ToolButtonTextOnly);
    }
    m_sizeButton->setText(size);
    // Its text gives way to its icon first, as the size's does.
    m_keysButton->setText(tr("显示按键"));
    m_keysButton->setToolButtonStyle(m_compact >= 1 ? Qt::ToolButtonIconOnly
                                                    : Qt::ToolButtonTextOnly);
    m_fpsButton->setText(m_compact >= 4 ? QString::number(m_model->fps())
                                        : fpsLabel(m_model->fps()));
    m_fpsButton->setToolTip(fpsLabel(m_model->fps()));
    m_recordButton->setText(m_compact >= 3 ? QString() : m_recordText);
    m_recordButton->setToolTip(m_compact >= 3 ? m_recordText : QString());
    // Setting the text replaces the button's shortcut with the text's
    // mnemonic: put Ctrl+Return back.
    m_recordButton->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Return));
}

void RecorderHeader::refresh() {
    if (!m_model) {
        return;
    }
    // A countdown is stopped like a recording, and the settings stay put meanwhile.
    const bool counting = m_model->countdownRemaining() > 0;
    const bool recording = m_model->isRecording() || counting;
    const bool starting = m_model->isStartingRecording() && !counting;

    const bool cursor = m_model->showsCursor();
    m_cursorButton->setChecked(cursor);
    // On: a white arrow on the accent colour; off: the arrow struck through.
    m_cursorButton->setIcon(cursor ? Icons::cursorArrow(Qt::white)
                                   : Icons::cursorArrowOff(Theme::accent()));
    m_cursorButton->setEnabled(!recording);
    m_fpsButton->setEnabled(!recording);
    for (QAction* action : m_fpsGroup->actions()) {
        action->setChecked(action->data().toInt() == m_model->fps());
    }
    m_keysButton->setChecked(m_model->showsKeys());
    m_keysButton->setIcon(m_model->showsKeys() ? Icons::keyboard(Qt::white)
                                               : Icons::keyboard(Theme::accent()));
    m_keysButton->setEnabled(!recording);
    for (QAction* action : m_keysGroup->actions()) {
        action->setChecked(action->data().toBool() == m_model->allKeys());
    }
    m_keysButton->setToolTip(m_model->keysUnavailableNote().isEmpty()
                                 ? tr("录制时记下按键和鼠标点击，在编辑器中显示")
                                 : m_model->keysUnavailableNote());
    m_sizeButton->setEnabled(!recording);
    m_recordWindowAction->setVisible(m_model->recordsWindows());
    m_decorationsAction->setVisible(m_model->recordsWindows());
    m_decorationsAction->setChecked(m_model->windowDecorations());
    const bool paused = m_model->isPaused();
    m_pauseButton->setText(paused ? tr("继续") : tr("暂停"));
    m_pauseButton->setToolTip(paused ? tr("继续录制") : tr("暂停录制"));
    m_pauseButton->setVisible(recording);

    const QColor red(214, 48, 49);
    const QColor grey(142, 142, 147);
    QString text;
    QIcon icon;
    QColor tint;
    if (starting) {
        text = tr("启动中…");
        icon = Icons::hourglass(Qt::white);
        tint = red.lighter(130);
    } else if (recording) {
        text = tr("停止");
        icon = Icons::stopFill(Qt::white);
        tint = grey;
    } else {
        text = tr("录制");
        icon = Icons::recordCircle(Qt::white);
        tint = red;
    }
    m_recordText = text;
    m_recordButton->setIcon(icon);
    m_recordButton->setEnabled(!starting);
    m_recordButton->setStyleSheet(
        QStringLiteral("QPushButton { color: white; background: %1; border: none;"
                       " border-radius: 7px; padding: 5px 12px; font-weight: bold; }"
                       "QPushButton:hover { background: %2; }"
                       "QPushButton:focus { border: 2px solid %3; padding: 3px 10px; }"
                       "QPushButton:disabled { color: #f4f4f4; }")
            .arg(tint.name(), tint.darker(110).name(), Theme::accent().name()));
    fitControls();
}

void RecorderHeader::paintEvent(QPaintEvent*) {
    // The top corners follow the window's rounded corners.
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(0, 0, width(), height() + recorder::kCornerRadius),
                         recorder::kCornerRadius, recorder::kCornerRadius);
    painter.setClipRect(rect());
    painter.fillPath(shape, Theme::card());
    painter.fillRect(QRect(0, height() - 1, width(), 1), Theme::border());
}

}  // namespace mirelo
