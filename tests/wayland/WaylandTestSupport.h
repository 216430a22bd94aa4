#pragma once

// Helpers of the programs run inside wayland-session.sh: plain windows of known colours on
// XWayland, where they really are, the session's portal chooser, its pointer and its monitor's
// scale.
#include "VirtualPointer.h"

#include <QtGui/qguiapplication_platform.h>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRect>
#include <QScreen>
#include <QString>
#include <QWidget>
#include <QWindow>

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>

namespace mirelo::test {

// A borderless window the compositor does not manage (it lands where asked and stays above
// managed ones), painted by `paint`.
class PaintedWindow : public QWidget {
public:
    explicit PaintedWindow(std::function<void(QPainter&, const QRect&)> paint)
        : QWidget(nullptr, Qt::X11BypassWindowManagerHint | Qt::FramelessWindowHint |
                               Qt::WindowStaysOnTopHint),
          m_paint(std::move(paint)) {
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        m_paint(painter, rect());
    }

private:
    std::function<void(QPainter&, const QRect&)> m_paint;
};

// Where the X server has a window: its client area in root coordinates (what Qt reports may
// be only what it asked for).
inline QRect realGeometry(const QWindow& native) {
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* c = x11->connection();
    const auto window = static_cast<xcb_window_t>(native.winId());
    xcb_get_geometry_reply_t* geometry =
        xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr);
    if (geometry == nullptr) {
        return {};
    }
    xcb_translate_coordinates_reply_t* origin = xcb_translate_coordinates_reply(
        c, xcb_translate_coordinates(c, window, geometry->root, 0, 0), nullptr);
    QRect rect;
    if (origin != nullptr) {
        rect = QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
    }
    std::free(origin);
    std::free(geometry);
    return rect;
}

inline QRect realGeometry(const QWidget& widget) {
    return widget.windowHandle() ? realGeometry(*widget.windowHandle()) : QRect();
}

// The screen-cast portal's chooser of the session: how often it was asked, and whether it
// answers as a user who cancels.
inline QString chooserDir() {
    return QString::fromLocal8Bit(std::getenv("MIRELO_SESSION_CHOOSER"));
}

inline int chooserAsked() {
    QFile log(chooserDir() + QStringLiteral("/chooser.log"));
    if (!log.open(QIODevice::ReadOnly)) {
        return 0;
    }
    return static_cast<int>(log.readAll().count('\n'));
}

inline void setChooserRefuses(bool refuse) {
    const QString path = chooserDir() + QStringLiteral("/refuse");
    if (refuse) {
        QFile file(path);
        file.open(QIODevice::WriteOnly);
    } else {
        QFile::remove(path);
    }
}

// The portal's chooser shares the output named `name` (HEADLESS-1 when empty).
inline void setChooserOutput(const QString& name) {
    QFile file(chooserDir() + QStringLiteral("/output"));
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(name.toUtf8() + '\n');
}

// Runs swaymsg with `arguments`; true when the compositor accepted the command.
inline bool swaymsg(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral("swaymsg"), arguments);
    const bool done = process.waitForFinished(10000) &&
                      process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!done) {
        std::fprintf(stderr, "swaymsg %s: %s%s\n", qPrintable(arguments.join(' ')),
                     process.readAllStandardOutput().constData(),
                     process.readAllStandardError().constData());
    }
    return done;
}

inline QString sessionDesktop() {
    return QString::fromLocal8Bit(std::getenv("MIRELO_SESSION_DESKTOP"));
}

// Runs `program` with `arguments`; its output when it succeeded.
inline std::optional<QByteArray> run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(20000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        std::fprintf(stderr, "%s %s: %s\n", qPrintable(program), qPrintable(arguments.join(' ')),
                     process.readAllStandardError().constData());
        return std::nullopt;
    }
    return process.readAllStandardOutput();
}

// The desktop's pointer, moved by the test: a virtual pointer where the compositor offers
// one, kept for the object's life (a desktop without pointer devices hides the pointer), else
// the GNOME test extension's.
class DesktopPointer {
public:
    // Puts the pointer at `at`, in XWayland's coordinates; false when it could not.
    bool moveTo(const QPoint& at) {
        if (sessionDesktop() == QStringLiteral("gnome")) {
            return run(QStringLiteral("gdbus"),
                       {QStringLiteral("call"), QStringLiteral("--session"),
                        QStringLiteral("--dest"), QStringLiteral("org.gnome.Shell"),
                        QStringLiteral("--object-path"), QStringLiteral("/org/mirelo/TestSession"),
                        QStringLiteral("--method"),
                        QStringLiteral("org.mirelo.TestSession.MovePointer"),
                        QString::number(at.x()), QString::number(at.y())})
                .has_value();
        }
        if (!m_virtual) {
            m_virtual = std::make_unique<VirtualPointer>();
        }
        if (!m_virtual->ok()) {
            return false;
        }
        const QSize layout = QGuiApplication::primaryScreen()->virtualSize();
        m_virtual->moveTo(at.x(), at.y(), layout.width(), layout.height());
        return true;
    }

private:
    std::unique_ptr<VirtualPointer> m_virtual;
};

// Sets the scale of the GNOME session's monitor ("logical" or "physical" layout); the scale
// it got (the offered one nearest `scale`), or nothing when it could not.
inline std::optional<double> setGnomeScale(double scale, const QString& layout) {
    const std::optional<QByteArray> out =
        run(QStringLiteral("/usr/bin/python3"),
            {QString::fromLocal8Bit(std::getenv("MIRELO_SESSION_DIR")) +
                 QStringLiteral("/monitor-scale.py"),
             QString::number(scale), layout});
    bool ok = false;
    const double got = out ? out->trimmed().toDouble(&ok) : 0;
    return ok ? std::optional<double>(got) : std::nullopt;
}

// A screenshot of one output in its own device pixels, as the compositor has it now.
inline QImage screenshotOfOutput(const QString& output) {
    const QString path = QString::fromLocal8Bit(std::getenv("MIRELO_SESSION_DIR")) +
                         QStringLiteral("/shot-") + output + QStringLiteral(".png");
    QProcess process;
    process.start(QStringLiteral("grim"), {QStringLiteral("-o"), output, path});
    if (!process.waitForFinished(20000) || process.exitCode() != 0) {
        return {};
    }
    return QImage(path).convertToFormat(QImage::Format_RGB32);
}

// The desktop's background colour in the session (sway.config).
inline QColor sessionBackground() {
    return QColor(0x33, 0x66, 0x99);
}

}  // namespace mirelo::test
