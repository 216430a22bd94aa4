// Every text of the recorder window, the editor's toolbar, inspector bar and
// information line, and the export options fits its widget, in each language
// of the interface: a label is at least as wide as its text, a button as wide
// as it asks to be (its text, icon and frame), and no toolbar hides commands
// behind its overflow button.
#include "FakeSessionModel.h"
#include "editor/EditorState.h"
#include "i18n/Language.h"
#include "support/TestImages.h"
#include "ui/editor/EditorView.h"
#include "ui/editor/EditorWindowController.h"
#include "ui/editor/ExportAccessoryView.h"
#include "ui/recorder/RecorderWindow.h"
#include "ui/recorder/RecorderWindowController.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace mirelo;
using i18n::Language;

namespace {

QString describeWidget(const QWidget* widget) {
    QString name = QString::fromLatin1(widget->metaObject()->className());
    if (!widget->objectName().isEmpty()) {
        name += QLatin1Char('#') + widget->objectName();
    }
    return name;
}

// Every visible text under `root` that does not fit, as "widget 'text' needs
// N px, has M".
QStringList cutTexts(const QWidget* root) {
    QStringList cut;
    for (const QWidget* widget : root->findChildren<QWidget*>()) {
        if (!widget->isVisibleTo(root) || widget->width() <= 0) {
            continue;
        }
        int needed = 0;
        int has = 0;
        QString text;
        if (const auto* label = qobject_cast<const QLabel*>(widget)) {
            if (label->wordWrap() || label->text().isEmpty() ||
                Qt::mightBeRichText(label->text())) {
                continue;
            }
            text = label->text();
            const QFontMetrics metrics(label->font());
            for (const QString& line : text.split(QLatin1Char('\n'))) {
                needed = std::max(needed, metrics.horizontalAdvance(line));
            }
            has = label->contentsRect().width() - 2 * label->margin() - label->indent();
        } else if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
            if (button->text().isEmpty()) {
                continue;
            }
            text = button->text();
            needed = button->sizeHint().width();
            has = button->width();
        } else {
            continue;
        }
        if (needed > has) {
            cut << QStringLiteral("%1 '%2' needs %3 px, has %4")
                       .arg(describeWidget(widget), text)
                       .arg(needed)
                       .arg(has);
        }
    }
    for (const QToolBar* bar : root->findChildren<QToolBar*>()) {
        const auto* more = bar->findChild<QToolButton*>(QStringLiteral("qt_toolbar_ext_button"));
        if (bar->isVisibleTo(root) && more && more->isVisibleTo(root)) {
            cut << QStringLiteral("the toolbar hides commands behind its overflow button");
        }
    }
    return cut;
}

std::string joined(const QStringList& lines) {
    return lines.join(QLatin1Char('\n')).toStdString();
}

FrameList frames(int count) {
    FrameList list;
    for (int i = 0; i < count; ++i) {
        list.append(EditorFrame::make(test::solidImage(320, 200, QColor(i * 40, 90, 160)), 0.1));
    }
    return list;
}

class OnePicture : public PictureChooser {
public:
    explicit OnePicture(QString path) : m_path(std::move(path)) {}
    QString choosePicture() override { return m_path; }

private:
    QString m_path;
};

class Layout : public ::testing::TestWithParam<Language> {
protected:
    void SetUp() override { ASSERT_TRUE(i18n::install(GetParam())); }
    void TearDown() override { i18n::install(Language::chinese); }
};

}  // namespace

TEST_P(Layout, TheRecorderWindowAtItsSmallestHoldsEveryText) {
    test::FakeSessionModel model;
    RecorderWindowController controller(&model);
    QMenu menu;
    controller.setAppMenu(&menu);
    controller.showWindow();
    RecorderWindow* window = controller.window();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    window->resize(100, 100);
    QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    EXPECT_EQ(cutTexts(window), QStringList()) << joined(cutTexts(window));

    // The recording state's buttons say other words.
    model.setRecording(true);
    QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    EXPECT_EQ(cutTexts(window), QStringList()) << joined(cutTexts(window));
}

TEST_P(Layout, TheEditorAtItsSmallestHoldsEveryText) {
    QTemporaryDir folder;
    EditorWindowController controller(frames(3), folder.path());
    QWidget* window = controller.window();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    window->resize(EditorWindowController::kMinimumWidth, EditorWindowController::kMinimumHeight);
    QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    EXPECT_EQ(cutTexts(window), QStringList()) << joined(cutTexts(window));

    // The inspector bar of each kind of overlay.
    EditorState* state = controller.state();
    state->addText();
    QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    EXPECT_EQ(cutTexts(window), QStringList()) << "text: " << joined(cutTexts(window));
    const QString picture = folder.filePath(QStringLiteral("sticker.png"));
    ASSERT_TRUE(test::solidImage(40, 30, Qt::yellow).qimage().save(picture));
    state->setPictureChooser(std::make_unique<OnePicture>(picture));
    state->addSticker();
    QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    EXPECT_EQ(cutTexts(window), QStringList()) << "sticker: " << joined(cutTexts(window));
    state->addMosaic();
    QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    EXPECT_EQ(cutTexts(window), QStringList()) << "mosaic: " << joined(cutTexts(window));
    state->addArrow();
    QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    EXPECT_EQ(cutTexts(window), QStringList()) << "arrow: " << joined(cutTexts(window));

    // Crop mode's commands, and a refusal's notice on the information line.
    state->startCrop();
    QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    EXPECT_EQ(cutTexts(window), QStringList()) << "crop: " << joined(cutTexts(window));
    state->cancelCrop();
    QSet<QUuid> every;
    for (const EditorFrame& frame : state->frames()) {
        every.insert(frame.id);
    }
    state->setSelectedIDs(every);
    state->deleteSelected();
    QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    EXPECT_EQ(cutTexts(window), QStringList()) << "notice: " << joined(cutTexts(window));
}

TEST_P(Layout, TheExportOptionsHoldEveryText) {
    QTemporaryDir folder;
    EditorWindowController controller(frames(3), folder.path());
    controller.window()->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(controller.window()));
    controller.save();
    QFileDialog* dialog = controller.saveDialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
    ExportAccessoryView* options = controller.accessory();
    ASSERT_NE(options, nullptr);
    QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    EXPECT_EQ(cutTexts(options), QStringList()) << joined(cutTexts(options));
    dialog->reject();
}

INSTANTIATE_TEST_SUITE_P(EachLanguage, Layout,
                         ::testing::Values(Language::chinese, Language::english),
                         [](const ::testing::TestParamInfo<Language>& info) {
                             return info.param == Language::chinese ? "Chinese" : "English";
                         });
