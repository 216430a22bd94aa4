#include "ui/Icons.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace mirelo;

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

}  // namespace

TEST(Icons, ThemeIconsByDesktopIdWinOnlyWhenTheyCanBeDrawn) {
    // A theme with a drawable idle icon and a broken recording icon.
    QTemporaryDir dir;
    const QString theme = dir.filePath("test-theme");
    ASSERT_TRUE(QDir().mkpath(theme + "/22x22/status"));
    writeFile(theme + "/index.theme",
              "[Icon Theme]\nName=Test\nDirectories=22x22/status\n\n"
              "[22x22/status]\nSize=22\nContext=Status\nType=Fixed\n");
    QImage blue(22, 22, QImage::Format_ARGB32);
    blue.fill(Qt::blue);
    ASSERT_TRUE(blue.save(theme + "/22x22/status/io.example.Rec-idle.png"));
    writeFile(theme + "/22x22/status/io.example.Rec-recording.png", "not a picture");
    QIcon::setThemeSearchPaths({dir.path()});
    QIcon::setThemeName("test-theme");

    // Without a desktop id (tests, tools) the drawn icons are used.
    const QImage drawnIdle = Icons::trayIdle().pixmap(22).toImage();
    EXPECT_NE(drawnIdle.pixelColor(11, 11), QColor(Qt::blue));

    QGuiApplication::setDesktopFileName("io.example.Rec");
    EXPECT_EQ(Icons::trayIdle().pixmap(22).toImage().pixelColor(11, 11), QColor(Qt::blue));
    // The theme's file cannot be drawn: the drawn red disc with its white square.
    const QImage recording = Icons::trayRecording().pixmap(22).toImage();
    ASSERT_FALSE(recording.isNull());
    EXPECT_EQ(recording.pixelColor(11, 11), QColor(Qt::white));
    EXPECT_EQ(recording.pixelColor(3, 11).red(), 220);
    // Not in the theme at all: the drawn application icon, its red dot in the middle.
    const QImage application = Icons::application().pixmap(48).toImage();
    EXPECT_EQ(application.pixelColor(24, 24), QColor(0xdc, 0x28, 0x28));
    QGuiApplication::setDesktopFileName(QString());
}
