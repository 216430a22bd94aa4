#include "ui/editor/SaveDialogSize.h"

#include <QAbstractFileIconProvider>
#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLayout>
#include <QLocale>
#include <QPointer>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QTimer>
#include <QTreeView>

#include <algorithm>

namespace mirelo::saveDialogSize {

namespace {

constexpr int kBaseWidth = 720;
constexpr int kBaseHeight = 600;
// Room around a column's text: the view's cell margins and the sort arrow.
constexpr int kColumnPadding = 28;
const char* const kSettingsKey = "editor/saveDialogSize";
const char* const kOpenedAt = "mireloOpenedAt";

QSettings settings() {
    return QSettings(QStringLiteral("Mirelo"), QStringLiteral("Mirelo"));
}

QRect screenArea(const QWidget* dialog) {
    const QWidget* parent = dialog->parentWidget();
    QScreen* screen = parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1920, 1080);
}

// The widest of the texts a column of the file list shows, with its header.
int columnWidth(const QFontMetrics& metrics, const QHeaderView* header, int section,
                const QStringList& samples) {
    int width = metrics.horizontalAdvance(
        header->model() ? header->model()->headerData(section, Qt::Horizontal).toString()
                        : QString());
    for (const QString& sample : samples) {
        width = std::max(width, metrics.horizontalAdvance(sample));
    }
    return width + kColumnPadding;
}

}  // namespace

void apply(QFileDialog* dialog) {
    auto* tree = dialog->findChild<QTreeView*>(QStringLiteral("treeView"));
    int columns = 0;
    if (tree != nullptr && tree->header() != nullptr) {
        QHeaderView* header = tree->header();
        const QFontMetrics metrics(tree->font());
        // The file list's columns: name, size, type, date modified. Sizes
        // as the list writes them, at their widest; the types of the files
        // this dialog saves; a date in the user's short format.
        const QLocale locale = QLocale::system();
        const QAbstractFileIconProvider icons;
        QStringList types{icons.type(QFileInfo(QStringLiteral("/")))};
        for (const char* name : {"a.gif", "a.webp", "a.mp4", "a.png"}) {
            types << icons.type(QFileInfo(QString::fromLatin1(name)));
        }
        const QDateTime lateDate(QDate(2028, 12, 28), QTime(23, 58, 58));
        const int widths[] = {
            columnWidth(metrics, header, 0, {QStringLiteral("Mirelo-20281228-235858-max10.webp")}) +
                tree->iconSize().width() + 8,
            columnWidth(metrics, header, 1,
                        {locale.formattedDataSize(1023 * 1024 + 1000),
                         locale.formattedDataSize(999LL * 1024 * 1024 + 1000)}),
            columnWidth(metrics, header, 2, types),
            columnWidth(metrics, header, 3, {locale.toString(lateDate, QLocale::ShortFormat)}),
        };
        for (int section = 0; section < 4 && section < header->count(); ++section) {
            header->resizeSection(section, std::max(header->sectionSize(section), widths[section]));
            columns += header->sectionSize(section);
        }
    }
    const QRect area = screenArea(dialog);
    const QSize kept = settings().value(QString::fromLatin1(kSettingsKey)).toSize();
    const bool remembered = kept.isValid() && kept.width() > 0 && kept.height() > 0;
    const QSize size = (remembered ? kept : QSize(kBaseWidth, kBaseHeight))
                           .expandedTo(dialog->minimumSizeHint())
                           .boundedTo(area.size());
    dialog->resize(size);
    dialog->setProperty(kOpenedAt, size);
    if (remembered || tree == nullptr) {
        return;
    }
    // Once shown, and so laid out: as much wider as the list needs to hold
    // every column.
    QPointer<QFileDialog> guard(dialog);
    QTimer::singleShot(0, dialog, [guard, tree, columns, area] {
        if (!guard) {
            return;
        }
        const int shown =
            tree->viewport()->width() - (tree->verticalScrollBar()->isVisible()
                                             ? 0
                                             : tree->verticalScrollBar()->sizeHint().width());
        if (columns > shown) {
            const QSize wider =
                QSize(guard->width() + columns - shown, guard->height()).boundedTo(area.size());
            guard->resize(wider);
            guard->setProperty(kOpenedAt, wider);
        }
    });
}

void remember(const QFileDialog* dialog) {
    if (dialog->size() != dialog->property(kOpenedAt).toSize()) {
        settings().setValue(QString::fromLatin1(kSettingsKey), dialog->size());
    }
}

}  // namespace mirelo::saveDialogSize
