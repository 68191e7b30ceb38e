#pragma once

#include <QLineEdit>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>

namespace torvale {

/// An edit field that filters what is typed, pasted or committed by an input method, and can
/// pass Tab to a partner field.
class FilteredField : public QLineEdit {
public:
    struct Rules {
        /// Whether a typed character (control characters included) is taken with the
        /// selection or cursor at a position.
        std::function<bool(char16_t ch, int position)> typed;
        /// Whether a paste is taken, from the text the field would then hold.
        std::function<bool(const std::string& result)> pasted;
        std::function<void()> refusedTyping;
        std::function<void()> refusedPaste;
    };

    FilteredField(QWidget* parent, Rules rules);

    void setPartner(QLineEdit* partner) { m_partner = partner; }
    /// Called when the field loses the keyboard focus.
    void setFocusLost(std::function<void()> lost) { m_focusLost = std::move(lost); }
    /// Up and Down step the field's value within these bounds (see steppedFieldText); the
    /// change is reported as an edit.
    void setStepping(int minimum, int maximum) { m_stepping = {minimum, maximum}; }
    /// Up (lowers) or Down (raises) as the field steps its number; false when it does not step.
    bool step(bool up);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    int selectionOrCursor() const;
    void checkedPaste();

    Rules m_rules;
    QLineEdit* m_partner = nullptr;
    std::function<void()> m_focusLost;
    std::optional<std::pair<int, int>> m_stepping;
};

/// A clickable colour swatch; it asks for its colour (0x00BBGGRR) when painted and shows the
/// button face when there is none.
class ColorSwatch : public QWidget {
public:
    using ColorSource = std::function<std::optional<std::uint32_t>()>;

    ColorSwatch(QWidget* parent, ColorSource color, std::function<void()> clicked);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    ColorSource m_color;
    std::function<void()> m_clicked;
};

} // namespace torvale
