#include "ui/input_fields.h"

#include "app/panel_rules.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>

namespace torvale {

namespace {

// The character a key press types, as an edit control would receive it; nothing for keys that
// only move, delete or are handled elsewhere (Escape).
std::optional<char16_t> typedCharacter(const QKeyEvent& event)
{
    const int key = event.key();
    if ((event.modifiers() & Qt::ControlModifier) && key >= Qt::Key_A && key <= Qt::Key_Z)
        return static_cast<char16_t>(key - Qt::Key_A + 1);
    const QString text = event.text();
    if (text.isEmpty() || text[0] == QChar(0x7F) || text[0] == QChar(0x1B))
        return std::nullopt;
    return text[0].unicode();
}

} // namespace

FilteredField::FilteredField(QWidget* parent, Rules rules)
    : QLineEdit(parent), m_rules(std::move(rules))
{
    setAcceptDrops(false);
}

bool FilteredField::event(QEvent* event)
{
    if (event->type() == QEvent::KeyPress && m_partner) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Tab || key == Qt::Key_Backtab) {
            m_partner->setFocus(Qt::TabFocusReason);
            m_partner->selectAll();
            return true;
        }
    }
    return QLineEdit::event(event);
}

bool FilteredField::step(bool up)
{
    if (!m_stepping)
        return false;
    const QString stepped = QString::fromStdString(
        steppedFieldText(text().toStdString(), up, m_stepping->first, m_stepping->second));
    setText(stepped);
    selectAll();
    emit textEdited(stepped);
    return true;
}

void FilteredField::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Up || event->key() == Qt::Key_Down) &&
        step(event->key() == Qt::Key_Up))
        return;
    if (event->matches(QKeySequence::Paste)) {
        checkedPaste();
        return;
    }
    // Ctrl+A selects the text, so that what is typed next replaces it.
    if (event->matches(QKeySequence::SelectAll)) {
        selectAll();
        return;
    }
    const std::optional<char16_t> ch = typedCharacter(*event);
    if (ch && !m_rules.typed(*ch, selectionOrCursor())) {
        m_rules.refusedTyping();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void FilteredField::inputMethodEvent(QInputMethodEvent* event)
{
    const QString commit = event->commitString();
    for (const QChar ch : commit) {
        if (!m_rules.typed(ch.unicode(), selectionOrCursor())) {
            m_rules.refusedTyping();
            event->setCommitString(QString());
            break;
        }
    }
    QLineEdit::inputMethodEvent(event);
}

void FilteredField::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu* menu = createStandardContextMenu();
    for (QAction* action : menu->actions()) {
        if (action->objectName() == QLatin1String("edit-paste")) {
            action->disconnect();
            connect(action, &QAction::triggered, this, [this] { checkedPaste(); });
        }
    }
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

void FilteredField::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    if (m_focusLost)
        m_focusLost();
}

int FilteredField::selectionOrCursor() const
{
    return hasSelectedText() ? selectionStart() : cursorPosition();
}

void FilteredField::checkedPaste()
{
    QString result = text();
    const QString pasted = QApplication::clipboard()->text();
    if (hasSelectedText())
        result.replace(selectionStart(), selectedText().size(), pasted);
    else
        result.insert(cursorPosition(), pasted);
    if (m_rules.pasted(result.toStdString()))
        paste();
    else
        m_rules.refusedPaste();
}

ColorSwatch::ColorSwatch(QWidget* parent, ColorSource color, std::function<void()> clicked)
    : QWidget(parent), m_color(std::move(color)), m_clicked(std::move(clicked))
{
    setCursor(Qt::PointingHandCursor);
}

void ColorSwatch::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const auto color = m_color();
    const QColor fill =
        color ? QColor(static_cast<int>(*color & 0xFF), static_cast<int>((*color >> 8) & 0xFF),
                       static_cast<int>((*color >> 16) & 0xFF))
              : palette().color(QPalette::Button);
    painter.fillRect(rect(), fill);
}

void ColorSwatch::mouseReleaseEvent(QMouseEvent*)
{
    if (isEnabled())
        m_clicked();
}

} // namespace torvale
