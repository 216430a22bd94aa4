#pragma once

#include "support/TestImages.h"
#include "ui/editor/EditorWindowController.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include <gtest/gtest.h>

namespace mirelo::test {

// The button of the editor's discard question with `text` ("放弃" or "取消"), or null.
inline QAbstractButton* discardQuestionButton(EditorWindowController* editor, const QString& text) {
    QMessageBox* question = editor->discardQuestion();
    if (!question) {
        return nullptr;
    }
    for (QAbstractButton* button : question->buttons()) {
        if (button->text() == text) {
            return button;
        }
    }
    return nullptr;
}

// Closes an editor whose recording was not saved, answering its question with "放弃". An
// editor closed already is left as it is.
inline void closeDiscarding(EditorWindowController* editor) {
    if (!editor->window()->isVisible()) {
        return;
    }
    editor->window()->close();
    QAbstractButton* discard = discardQuestionButton(editor, QStringLiteral("放弃"));
    ASSERT_NE(discard, nullptr);
    // The owner may delete a closed editor while we wait.
    const QPointer<EditorWindowController> guard(editor);
    discard->click();
    ASSERT_TRUE(waitUntil([&] { return !guard || !guard->window()->isVisible(); },
                          std::chrono::milliseconds(3000)));
}

}  // namespace mirelo::test
