#include "platform/Autostart.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

namespace mirelo::autostart {

namespace {

QString configHome() {
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg)) {
        return xdg;
    }
    return QDir::homePath() + QStringLiteral("/.config");
}

// A value of a desktop entry's string key: backslashes doubled.
QString escapedValue(QString text) {
    return text.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
}

}  // namespace

QString entryPath(const QString& desktopId) {
    return configHome() + QStringLiteral("/autostart/") + desktopId + QStringLiteral(".desktop");
}

bool isEnabled(const QString& desktopId) {
    QFile file(entryPath(desktopId));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return false;
    }
    bool inMainGroup = false;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (line.startsWith('[')) {
            inMainGroup = line == "[Desktop Entry]";
        } else if (inMainGroup && line.startsWith("Hidden")) {
            const QList<QByteArray> pair = line.split('=');
            if (pair.size() == 2 && pair[0].trimmed() == "Hidden" && pair[1].trimmed() == "true") {
                return false;
            }
        }
    }
    return true;
}

QString execArgument(const QString& program) {
    // The Exec key's own escapes: an argument with a reserved character is
    // quoted, with ", `, $ and \ escaped inside; "%" is written "%%".
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    QString argument = program;
    argument.replace(QLatin1Char('%'), QStringLiteral("%%"));
    const bool needsQuotes =
        std::any_of(program.begin(), program.end(), [](QChar c) { return reserved.contains(c); });
    if (needsQuotes) {
        QString quoted;
        for (QChar c : argument) {
            if (c == u'"' || c == u'`' || c == u'$' || c == u'\\') {
                quoted += QLatin1Char('\\');
            }
            quoted += c;
        }
        argument = QLatin1Char('"') + quoted + QLatin1Char('"');
    }
    return argument;
}

std::optional<QString> setEnabled(const QString& desktopId, bool enabled, const QString& program) {
    const QString path = entryPath(desktopId);
    if (!enabled) {
        QFile file(path);
        if (file.exists() && !file.remove()) {
            return file.errorString();
        }
        return std::nullopt;
    }
    if (!QDir::isAbsolutePath(program) || program.contains(QLatin1Char('\n')) ||
        program.contains(QLatin1Char('\r'))) {
        return QCoreApplication::translate("mirelo::Autostart", "不是程序的绝对路径:%1")
            .arg(program);
    }
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        return QCoreApplication::translate("mirelo::Autostart", "无法创建文件夹 %1")
            .arg(QFileInfo(path).absolutePath());
    }
    const QString entry = QStringLiteral(
                              "[Desktop Entry]\n"
                              "Type=Application\n"
                              "Name=Mirelo\n"
                              "Comment=Start Mirelo at login\n"
                              "Comment[zh_CN]=登录时启动 Mirelo\n"
                              "Exec=%1\n"
                              "TryExec=%2\n"
                              "Icon=%3\n"
                              "Terminal=false\n"
                              "X-GNOME-Autostart-enabled=true\n")
                              .arg(escapedValue(execArgument(program)), escapedValue(program),
                                   escapedValue(desktopId));
    // Written beside the entry and renamed into place: a desktop reading the
    // folder never sees half an entry.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(entry.toUtf8()) < 0 || !file.commit()) {
        return file.errorString();
    }
    return std::nullopt;
}

}  // namespace mirelo::autostart
