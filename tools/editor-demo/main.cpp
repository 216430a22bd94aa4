// Opens the editor on a generated animation: a ball crossing a gradient, with
// the frame number in a corner. Options: --frames N, --size WxH, --out DIR.
#include "editor/EditorFrame.h"
#include "i18n/Language.h"
#include "ui/editor/EditorWindowController.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QPainter>
#include <QWidget>

#include <vector>

namespace {

mirelo::Image makeFrame(int index, int count, QSize size) {
    QImage image(size, QImage::Format_RGBA8888_Premultiplied);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient gradient(0, 0, size.width(), size.height());
    gradient.setColorAt(0, QColor(0x2b, 0x5d, 0x8a));
    gradient.setColorAt(1, QColor(0xe8, 0xa8, 0x5a));
    p.fillRect(image.rect(), gradient);
    const double t = count > 1 ? static_cast<double>(index) / (count - 1) : 0.0;
    const double radius = size.height() / 6.0;
    const QPointF centre(radius + t * (size.width() - 2 * radius), size.height() / 2.0);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(250, 250, 245));
    p.drawEllipse(centre, radius, radius);
    p.setPen(Qt::white);
    QFont font = p.font();
    font.setPixelSize(std::max(10, size.height() / 10));
    p.setFont(font);
    p.drawText(QPointF(10, size.height() - 10), QString::number(index + 1));
    p.end();
    return mirelo::Image::fromQImage(image);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    mirelo::i18n::install(mirelo::i18n::chooseLanguage());
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({QStringLiteral("frames"), QStringLiteral("Number of frames."),
                      QStringLiteral("n"), QStringLiteral("24")});
    parser.addOption({QStringLiteral("size"), QStringLiteral("Frame size WxH."),
                      QStringLiteral("size"), QStringLiteral("640x360")});
    parser.addOption({QStringLiteral("out"), QStringLiteral("Folder the save dialog opens in."),
                      QStringLiteral("dir"), QDir::tempPath() + QStringLiteral("/Mirelo")});
    parser.process(app);

    const int count = std::max(1, parser.value(QStringLiteral("frames")).toInt());
    const QStringList dims = parser.value(QStringLiteral("size")).split(QLatin1Char('x'));
    QSize size(640, 360);
    if (dims.size() == 2 && dims[0].toInt() > 0 && dims[1].toInt() > 0) {
        size = QSize(dims[0].toInt(), dims[1].toInt());
    }
    std::vector<mirelo::Image> images;
    for (int i = 0; i < count; ++i) {
        images.push_back(makeFrame(i, count, size));
    }
    mirelo::EditorWindowController editor(mirelo::makeEditorFrames(images, 10),
                                          parser.value(QStringLiteral("out")));
    editor.onSaved = [](const QString& path) { qInfo("saved %s", qPrintable(path)); };
    editor.onClosed = [] { QApplication::quit(); };
    editor.window()->show();
    return app.exec();
}
