#include "ui/dialogs/input_dialog.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace torvale {

InputDialog::InputDialog(QWidget* owner, const QString& title, const QString& prompt,
                         InputMode mode, const QString& text)
    : QDialog(owner), m_mode(mode)
{
    setWindowTitle(title);
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(prompt, this);
    label->setMinimumWidth(396);
    layout->addWidget(label);
    m_field = new QLineEdit(text, this);
    m_field->setMaxLength(1023);
    m_field->setMinimumWidth(396);
    layout->addWidget(m_field);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    auto* cancel = new QPushButton(QStringLiteral("取消"), this);
    for (QPushButton* button : {ok, cancel}) {
        button->setFixedSize(76, 25);
        buttons->addWidget(button);
    }
    ok->setDefault(true);
    layout->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, &InputDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &InputDialog::reject);
    m_field->selectAll();
    m_field->setFocus();
}

void InputDialog::accept()
{
    const InputCheckResult check = checkInput(m_mode, m_field->text().toStdString());
    if (!check.ok) {
        QMessageBox::warning(this, QStringLiteral("提示"), QString::fromStdString(check.message));
        m_field->setFocus();
        return;
    }
    m_result = check.text;
    QDialog::accept();
}

void InputDialog::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        m_field->setFocus();
    QDialog::changeEvent(event);
}

} // namespace torvale
