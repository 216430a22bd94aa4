#include "app/Alerts.h"

#include <QCoreApplication>
#include <QDir>
#include <QMessageBox>
#include <QPushButton>

namespace mirelo {

AlertPresenter::Response MessageBoxAlerts::showRecordingError(const QString& description,
                                                              bool offerSettings) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Mirelo"),
                    QCoreApplication::translate("mirelo::Alerts", "Mirelo 出错了"));
    box.setInformativeText(description);
    QPushButton* ok =
        box.addButton(QCoreApplication::translate("mirelo::Alerts", "好"), QMessageBox::AcceptRole);
    QPushButton* settings = nullptr;
    if (offerSettings) {
        settings = box.addButton(QCoreApplication::translate("mirelo::Alerts", "打开系统设置"),
                                 QMessageBox::ActionRole);
    }
    box.setDefaultButton(ok);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.exec();
    return settings && box.clickedButton() == settings ? Response::openSettings : Response::ok;
}

bool MessageBoxAlerts::showStopNotice(const QString& text, bool canStart) {
    QMessageBox box(canStart ? QMessageBox::Information : QMessageBox::Warning,
                    QStringLiteral("Mirelo"),
                    canStart ? QCoreApplication::translate("mirelo::Alerts", "录制时不显示停止按钮")
                             : QCoreApplication::translate("mirelo::Alerts", "无法开始录制"));
    box.setInformativeText(text);
    QPushButton* start = nullptr;
    if (canStart) {
        start = box.addButton(QCoreApplication::translate("mirelo::Alerts", "开始录制"),
                              QMessageBox::AcceptRole);
        box.setDefaultButton(start);
        box.addButton(QCoreApplication::translate("mirelo::Alerts", "取消"),
                      QMessageBox::RejectRole);
    } else {
        box.setDefaultButton(box.addButton(QCoreApplication::translate("mirelo::Alerts", "好"),
                                           QMessageBox::AcceptRole));
    }
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.exec();
    return start && box.clickedButton() == start;
}

bool MessageBoxAlerts::confirmPartialRecording(const QString& text) {
    QMessageBox box(QMessageBox::Information, QStringLiteral("Mirelo"),
                    QCoreApplication::translate("MessageBoxAlerts", "只录制录制框的一部分"));
    box.setInformativeText(text);
    QPushButton* start = box.addButton(QCoreApplication::translate("MessageBoxAlerts", "开始录制"),
                                       QMessageBox::AcceptRole);
    box.setDefaultButton(start);
    box.addButton(QCoreApplication::translate("MessageBoxAlerts", "取消"), QMessageBox::RejectRole);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.exec();
    return box.clickedButton() == start;
}

void MessageBoxAlerts::showFileLocation(const QString& path) {
    QMessageBox box(QMessageBox::Information, QStringLiteral("Mirelo"),
                    QCoreApplication::translate("mirelo::Alerts", "文件已保存"));
    box.setInformativeText(
        QCoreApplication::translate("mirelo::Alerts", "没有可以打开它的文件管理器。文件保存在:\n%1")
            .arg(QDir::toNativeSeparators(path)));
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    box.addButton(QCoreApplication::translate("mirelo::Alerts", "好"), QMessageBox::AcceptRole);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.exec();
}

AlertPresenter::RestoreAnswer MessageBoxAlerts::askRestoreRecording(const QString& details) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Mirelo"),
                    QCoreApplication::translate("mirelo::Alerts", "恢复上次的录制？"));
    box.setInformativeText(details);
    QPushButton* restore = box.addButton(QCoreApplication::translate("mirelo::Alerts", "恢复"),
                                         QMessageBox::AcceptRole);
    QPushButton* discard = box.addButton(QCoreApplication::translate("mirelo::Alerts", "丢弃"),
                                         QMessageBox::DestructiveRole);
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
    box.setDefaultButton(box.addButton(QCoreApplication::translate("mirelo::Alerts", "好"),
                                       QMessageBox::AcceptRole));
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.exec();
}

bool MessageBoxAlerts::askStartWhileEditing() {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Mirelo"),
                    QCoreApplication::translate("MessageBoxAlerts", "开始新的录制？"));
    box.setInformativeText(QCoreApplication::translate(
        "MessageBoxAlerts", "编辑器里的录制还没有保存。新的录制开始后,它仍在自己的窗口里。"));
    QPushButton* start = box.addButton(QCoreApplication::translate("MessageBoxAlerts", "开始录制"),
                                       QMessageBox::AcceptRole);
    box.addButton(QCoreApplication::translate("MessageBoxAlerts", "取消"), QMessageBox::RejectRole);
    box.setDefaultButton(start);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.exec();
    return box.clickedButton() == start;
}

}  // namespace mirelo
