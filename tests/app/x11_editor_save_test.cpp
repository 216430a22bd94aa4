// Saving from the editor with the real keyboard (xdotool on a private Xvfb
// with openbox): a destination that refuses the file gives an alert that says
// why and names the folder, and the save dialog opens with its file list's
// columns whole and comes back at the size the user gave it.
#include "EditorDriver.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTreeView>

#include <gtest/gtest.h>

#include <cstdlib>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace mirelo;
using namespace std::chrono_literals;

namespace {

using namespace mirelo::test;

// The dialog's remembered size goes to a settings folder of this program,
// removed when it ends.
struct IsolatedSettings {
    IsolatedSettings() {
        if (folder.isValid()) {
            setenv("XDG_CONFIG_HOME", QFile::encodeName(folder.path()).constData(), 1);
        }
    }
    QTemporaryDir folder;
} isolatedSettings;

// A folder that refuses new files even to root: read-only by its mode for
// an ordinary user, immutable for root (whom modes do not stop).
class LockedFolder {
public:
    explicit LockedFolder(const QString& path) : m_path(path) {
        QDir().mkpath(path);
        if (geteuid() != 0) {
            m_locked = QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner);
            return;
        }
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY);
        int flags = 0;
        if (m_fd >= 0 && ::ioctl(m_fd, FS_IOC_GETFLAGS, &flags) == 0) {
            flags |= FS_IMMUTABLE_FL;
            m_locked = ::ioctl(m_fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
    }
    ~LockedFolder() {
        if (m_fd >= 0) {
            int flags = 0;
            if (::ioctl(m_fd, FS_IOC_GETFLAGS, &flags) == 0) {
                flags &= ~FS_IMMUTABLE_FL;
                ::ioctl(m_fd, FS_IOC_SETFLAGS, &flags);
            }
            ::close(m_fd);
        }
        QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    bool isLocked() const { return m_locked; }

private:
    QString m_path;
    int m_fd = -1;
    bool m_locked = false;
};

struct Editor : DrivenEditor {
    explicit Editor(int count) : DrivenEditor(count, QSize(160, 90)) {}

    QFileDialog* openSaveDialog() {
        xdotool({"key", "ctrl+s"});
        test::waitUntil(
            [&] { return controller->saveDialog() && controller->saveDialog()->isVisible(); }, 5s);
        settle();
        return controller->saveDialog();
    }
};

TEST(X11EditorSave, AReadOnlyFolderGivesAnAlertNamingTheFolderAndTheReason) {
    Editor editor(6);
    const QString locked = editor.folder.filePath(QStringLiteral("locked"));
    LockedFolder lock(locked);
    if (!lock.isLocked()) {
        GTEST_SKIP() << "no way to make a folder read-only here";
    }
    QFileDialog* dialog = editor.openSaveDialog();
    ASSERT_NE(dialog, nullptr);
    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(name, nullptr);
    click(name);
    xdotool({"key", "ctrl+a"});
    xdotool({"type", locked + QStringLiteral("/clip.gif")});
    xdotool({"key", "Return"});

    ASSERT_TRUE(test::waitUntil([&] { return editor.controller->errorAlert() != nullptr; }, 30s));
    settle();
    QMessageBox* alert = editor.controller->errorAlert();
    EXPECT_EQ(alert->text(), QStringLiteral("保存失败"));
    const QString informative = alert->informativeText();
    EXPECT_TRUE(informative.contains(QStringLiteral("没有在文件夹“%1”中写入的权限").arg(locked)))
        << informative.toStdString();
    screenshot(alert, QStringLiteral("save-failure-alert.png"));

    xdotool({"key", "Return"});
    EXPECT_TRUE(test::waitUntil([&] { return editor.controller->errorAlert() == nullptr; }, 3s));
    EXPECT_TRUE(editor.controller->window()->isVisible());
    EXPECT_EQ(editor.controller->state()->frameCount(), 6);
    EXPECT_TRUE(QDir(locked).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

TEST(X11EditorSave, TheDialogShowsItsColumnsWholeAndKeepsTheSizeTheUserGaveIt) {
    Editor editor(6);
    // A file in the folder, so the list has a size and a date to show.
    QFile old(editor.folder.filePath(QStringLiteral("Mirelo-20250101-000000.gif")));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(15000, 'x'));
    old.close();

    QFileDialog* dialog = editor.openSaveDialog();
    ASSERT_NE(dialog, nullptr);
    auto* tree = dialog->findChild<QTreeView*>(QStringLiteral("treeView"));
    ASSERT_NE(tree, nullptr);
    ASSERT_TRUE(
        test::waitUntil([&] { return tree->model()->rowCount(tree->rootIndex()) > 0; }, 5s));
    settle();
    screenshot(dialog, QStringLiteral("save-dialog.png"));
    // Each cell's text fits its column, and every column is in view.
    const QModelIndex row = tree->model()->index(0, 0, tree->rootIndex());
    for (int column = 0; column < 4; ++column) {
        const QModelIndex cell = row.siblingAtColumn(column);
        const QString text = cell.data().toString();
        ASSERT_FALSE(text.isEmpty()) << column;
        const int width = tree->fontMetrics().horizontalAdvance(text);
        EXPECT_LE(width + (column == 0 ? tree->iconSize().width() + 8 : 8),
                  tree->header()->sectionSize(column))
            << column << " " << text.toStdString();
        const QRect rect = tree->visualRect(cell);
        EXPECT_LE(rect.right(), tree->viewport()->width()) << column << " " << text.toStdString();
    }
    const QSize opened = dialog->size();

    // The user makes it larger; the next dialog opens at that size.
    const QSize wanted = opened + QSize(120, 60);
    xdotool({"windowsize", QString::number(dialog->winId()), QString::number(wanted.width()),
             QString::number(wanted.height())});
    ASSERT_TRUE(test::waitUntil([&] { return dialog->size() == wanted; }, 3s));
    xdotool({"key", "Escape"});
    ASSERT_TRUE(test::waitUntil([&] { return editor.controller->saveDialog() == nullptr; }, 3s));
    QFileDialog* again = editor.openSaveDialog();
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->size(), wanted);
    xdotool({"key", "Escape"});
}

}  // namespace
