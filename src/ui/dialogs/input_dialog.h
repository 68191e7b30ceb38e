#pragma once

#include "app/input_check.h"

#include <QDialog>

class QLabel;
class QLineEdit;

namespace torvale {

/// The input dialog: a prompt line, a one-line field of up to 1023 characters and the buttons
/// "确定" and "取消". OK checks the text by the mode; a refused text shows its warning ("提示")
/// and keeps the dialog open.
class InputDialog : public QDialog {
    Q_OBJECT

public:
    InputDialog(QWidget* owner, const QString& title, const QString& prompt, InputMode mode,
                const QString& text);

    /// The accepted text (trimmed in the integer and number modes), after OK.
    const std::string& result() const { return m_result; }
    QLineEdit* field() const { return m_field; }

    void accept() override;

protected:
    void changeEvent(QEvent* event) override;

private:
    InputMode m_mode;
    QLineEdit* m_field = nullptr;
    std::string m_result;
};

} // namespace torvale
