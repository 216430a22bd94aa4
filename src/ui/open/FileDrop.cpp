#include "ui/open/FileDrop.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

namespace mirelo {

namespace {

QStringList localPaths(const QMimeData* data) {
    QStringList paths;
    if (!data || !data->hasUrls()) {
        return paths;
    }
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) {
            paths << url.toLocalFile();
        }
    }
    return paths;
}

class DropFilter final : public QObject {
public:
    DropFilter(QWidget* window, std::function<void(const QStringList&)> onDrop)
        : QObject(window), m_onDrop(std::move(onDrop)) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
            case QEvent::DragEnter:
            case QEvent::DragMove: {
                auto* drag = static_cast<QDragMoveEvent*>(event);
                if (!localPaths(drag->mimeData()).isEmpty()) {
                    drag->acceptProposedAction();
                    return true;
                }
                return false;
            }
            case QEvent::Drop: {
                auto* drop = static_cast<QDropEvent*>(event);
                const QStringList paths = localPaths(drop->mimeData());
                if (paths.isEmpty()) {
                    return false;
                }
                drop->acceptProposedAction();
                // After the drop has ended: opening may show a sheet over the window.
                QMetaObject::invokeMethod(
                    this, [this, paths] { m_onDrop(paths); }, Qt::QueuedConnection);
                return true;
            }
            default:
                return QObject::eventFilter(watched, event);
        }
    }

private:
    std::function<void(const QStringList&)> m_onDrop;
};

}  // namespace

void acceptFileDrops(QWidget* window, std::function<void(const QStringList& paths)> onDrop) {
    window->setAcceptDrops(true);
    window->installEventFilter(new DropFilter(window, std::move(onDrop)));
}

}  // namespace mirelo
