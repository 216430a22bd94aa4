#pragma once

#include <QList>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>

class QWidget;

namespace mirelo {

// Keeps the application's own windows out of a recording while it runs: a
// window, dialog or menu of ours that shows over the recorder window (the
// recorded rectangle with its outline and header) moves to the nearest place
// beside it on the screen; a window with no room beside it is minimised.
// Windows moved or minimised this way go back when the guard ends.
//
// Main thread only. Watches every widget of the application through an
// application-wide event filter for as long as it lives.
class CaptureGuard : public QObject {
    Q_OBJECT

public:
    // `avoid` and `screen` are global; `except` (the recorder window) is
    // left alone.
    CaptureGuard(const QRect& avoid, const QRect& screen, QWidget* except,
                 QObject* parent = nullptr);
    ~CaptureGuard() override;

    // A window with this property set to true is left alone too: it shows
    // over the recording on purpose and is gone before the first frame.
    static constexpr const char* kLeftAloneProperty = "mireloLeftAloneByCaptureGuard";

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void keepOut(QWidget* window);

    struct Moved {
        QPointer<QWidget> window;
        QPoint from;
        bool minimised = false;
    };

    QRect m_avoid;
    QRect m_screen;
    QPointer<QWidget> m_except;
    QList<Moved> m_moved;
};

}  // namespace mirelo
