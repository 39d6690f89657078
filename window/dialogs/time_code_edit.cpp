#include "window/dialogs/time_code_edit.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>

#include "window/models/time_code.h"

namespace dialogs::ui {

CTimeCodeEdit::CTimeCodeEdit(QWidget* parent) : QLineEdit(parent) {
    setMaxLength(int(kTimeCodeChars));
    setText(QStringLiteral("  :  .  "));
    // The text's own context menu would paste around the digit rules.
    setContextMenuPolicy(Qt::NoContextMenu);
}

void CTimeCodeEdit::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Paste)) {
        Paste(QApplication::clipboard()->text());
        return;
    }
    const int key = event->key();
    const QString typed = event->text();
    const bool isDigit = typed.size() == 1 && typed[0] >= QLatin1Char('0') && typed[0] <= QLatin1Char('9');
    const bool editing = isDigit || key == Qt::Key_Backspace || key == Qt::Key_Delete;
    if (!editing) {
        // Movement and shortcuts keep their usual meaning; any other
        // character is swallowed.
        if (!typed.isEmpty() && typed[0].isPrint()) return;
        if (event->matches(QKeySequence::Cut) || event->matches(QKeySequence::Undo) ||
            event->matches(QKeySequence::Redo))
            return;
        QLineEdit::keyPressEvent(event);
        return;
    }
    TimeCodeState state;
    state.text = TimeCodeFromText(text().toStdU16String());
    const bool selection = hasSelectedText();
    state.caret = selection ? selectionStart() : cursorPosition();
    const int selectionEnd = selection ? selectionStart() + int(selectedText().size()) : state.caret;
    if (isDigit) TimeCodeTypeDigit(state, selectionEnd, typed[0].unicode());
    else if (key == Qt::Key_Backspace) TimeCodeBackspace(state);
    else TimeCodeDelete(state);
    setText(QString::fromStdU16String(state.text));
    setCursorPosition(state.caret);
    modified_ = true;
}

void CTimeCodeEdit::Paste(const QString& pasted) {
    TimeCodeState state;
    state.text = TimeCodeFromText(text().toStdU16String());
    state.caret = hasSelectedText() ? selectionStart() : cursorPosition();
    bool any = false;
    for (QChar c : pasted) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) continue;
        TimeCodeTypeDigit(state, state.caret, c.unicode());
        any = true;
    }
    if (!any) return;
    setText(QString::fromStdU16String(state.text));
    setCursorPosition(state.caret);
    modified_ = true;
}

}  // namespace dialogs::ui
