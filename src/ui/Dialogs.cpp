#include "ui/Dialogs.h"

#include <QApplication>
#include <QEvent>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>

namespace mirelo::dialogs {

namespace {

class MessageBoxWidener : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject* watched, QEvent* event) override {
        // Show reaches the filter before the box sizes itself to its layout.
        if (event->type() != QEvent::Show) {
            return false;
        }
        auto* box = qobject_cast<QMessageBox*>(watched);
        if (!box || box->property(kWidened).toBool()) {
            return false;
        }
        if (auto* grid = qobject_cast<QGridLayout*>(box->layout())) {
            grid->addItem(new QSpacerItem(kMessageBoxMinimumWidth, 0, QSizePolicy::Minimum,
                                          QSizePolicy::Fixed),
                          grid->rowCount(), 0, 1, grid->columnCount());
            box->setProperty(kWidened, true);
        }
        return false;
    }

private:
    static constexpr const char* kWidened = "mireloWidened";
};

}  // namespace

void widenMessageBoxes(QCoreApplication* app) {
    app->installEventFilter(new MessageBoxWidener(app));
}

}  // namespace mirelo::dialogs
