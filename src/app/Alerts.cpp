#include "app/Alerts.h"

#include <QMessageBox>
#include <QPushButton>

namespace mirelo {

AlertPresenter::Response MessageBoxAlerts::showRecordingError(const QString& description,
                                                              bool offerSettings) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Mirelo"),
                    QStringLiteral("Mirelo 出错了"));
    box.setInformativeText(description);
    QPushButton* ok = box.addButton(QStringLiteral("好"), QMessageBox::AcceptRole);
    QPushButton* settings = nullptr;
    if (offerSettings) {
        settings = box.addButton(QStringLiteral("打开系统设置"), QMessageBox::ActionRole);
    }
    box.setDefaultButton(ok);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.exec();
    return settings && box.clickedButton() == settings ? Response::openSettings : Response::ok;
}

}  // namespace mirelo
