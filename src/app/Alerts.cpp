#include "app/Alerts.h"

#include <QCoreApplication>
#include <QDir>
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

bool MessageBoxAlerts::showStopNotice(const QString& text, bool canStart) {
    QMessageBox box(
        canStart ? QMessageBox::Information : QMessageBox::Warning, QStringLiteral("Mirelo"),
        canStart ? QStringLiteral("录制时不显示停止按钮") : QStringLiteral("无法开始录制"));
    box.setInformativeText(text);
    QPushButton* start = nullptr;
    if (canStart) {
        start = box.addButton(QStringLiteral("开始录制"), QMessageBox::AcceptRole);
        box.setDefaultButton(start);
        box.addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
    } else {
        box.setDefaultButton(box.addButton(QStringLiteral("好"), QMessageBox::AcceptRole));
    }
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.exec();
    return start && box.clickedButton() == start;
}

void MessageBoxAlerts::showFileLocation(const QString& path) {
    QMessageBox box(QMessageBox::Information, QStringLiteral("Mirelo"),
                    QStringLiteral("文件已保存"));
    box.setInformativeText(QStringLiteral("没有可以打开它的文件管理器。文件保存在:\n%1")
                               .arg(QDir::toNativeSeparators(path)));
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    box.addButton(QStringLiteral("好"), QMessageBox::AcceptRole);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.exec();
}

AlertPresenter::RestoreAnswer MessageBoxAlerts::askRestoreRecording(const QString& details) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Mirelo"),
                    QStringLiteral("恢复上次的录制？"));
    box.setInformativeText(details);
    QPushButton* restore = box.addButton(QStringLiteral("恢复"), QMessageBox::AcceptRole);
    QPushButton* discard = box.addButton(QStringLiteral("丢弃"), QMessageBox::DestructiveRole);
    box.setDefaultButton(restore);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.exec();
    if (box.clickedButton() == restore) {
        return RestoreAnswer::restore;
    }
    return box.clickedButton() == discard ? RestoreAnswer::discard : RestoreAnswer::later;
}

AlertPresenter::DamagedAnswer MessageBoxAlerts::askDamagedRecording(const QString& details) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Mirelo"),
                    QCoreApplication::translate("Alerts", "上次的录制已损坏，无法恢复"));
    box.setInformativeText(details);
    QPushButton* open =
        box.addButton(QCoreApplication::translate("Alerts", "打开文件夹"), QMessageBox::ActionRole);
    QPushButton* remove =
        box.addButton(QCoreApplication::translate("Alerts", "删除"), QMessageBox::DestructiveRole);
    box.setDefaultButton(open);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.exec();
    if (box.clickedButton() == open) {
        return DamagedAnswer::openFolder;
    }
    return box.clickedButton() == remove ? DamagedAnswer::remove : DamagedAnswer::later;
}

void MessageBoxAlerts::showNotice(const QString& text) {
    QMessageBox box(QMessageBox::Information, QStringLiteral("Mirelo"), text);
    box.setDefaultButton(box.addButton(QStringLiteral("好"), QMessageBox::AcceptRole));
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.exec();
}

}  // namespace mirelo
