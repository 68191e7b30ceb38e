#include "ui/dialogs/progress_dialog.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

namespace torvale {

ProgressDialog::ProgressDialog(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setWindowTitle(QStringLiteral("处理进度"));
    setFixedSize(353, 82);
    m_bar = new QProgressBar(this);
    m_bar->setGeometry(16, 22, 239, 23);
    m_bar->setTextVisible(false);
    m_stop = new QPushButton(QStringLiteral("停止"), this);
    m_stop->setGeometry(265, 21, 66, 25);
    // Only a click (or Space on the focused button) stops a batch; Enter must not.
    m_stop->setAutoDefault(false);
    m_stop->setDefault(false);
    m_text = new QLabel(QStringLiteral("共 0 个，正在处理第 0 个。"), this);
    m_text->setGeometry(16, 55, 318, 21);
    connect(m_stop, &QPushButton::clicked, this, [this] {
        m_stop->setText(QStringLiteral("停止中..."));
        m_stop->setEnabled(false);
        if (m_stopFlag)
            m_stopFlag->store(true);
    });
}

void ProgressDialog::start(std::atomic<bool>& stopFlag, int total)
{
    m_allowClose = false;
    m_stopFlag = &stopFlag;
    m_stop->setText(QStringLiteral("停止"));
    m_stop->setEnabled(true);
    m_total = total;
    m_bar->setRange(0, std::max(total, 0));
    m_bar->setValue(0);
    m_text->setText(total <= 0 ? QString()
                               : QStringLiteral("共 %1 个，正在处理第 1 个。").arg(total));
}

void ProgressDialog::setTotal(int total)
{
    m_total = total;
    m_text->setText(QStringLiteral("正在处理 1/%1...").arg(total));
    m_bar->setRange(0, std::max(total, 0));
}

void ProgressDialog::setStep(int n)
{
    m_text->setText(QStringLiteral("正在处理 %1/%2...").arg(n).arg(m_total));
    m_bar->setValue(n - 1);
}

void ProgressDialog::finish(bool stopped)
{
    if (stopped) {
        m_stop->setText(QStringLiteral("停止"));
        m_stop->setEnabled(true);
    }
    m_allowClose = true;
    accept();
}

void ProgressDialog::keyPressEvent(QKeyEvent* event)
{
    // Escape would close the dialog while the batch goes on: the stop button is the way out.
    // Enter would press a default button.
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return ||
        event->key() == Qt::Key_Enter)
        return;
    QDialog::keyPressEvent(event);
}

void ProgressDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // Centred on the screen, not on the main window.
    if (const QScreen* shown = screen())
        move(shown->availableGeometry().center() - rect().center());
}

void ProgressDialog::closeEvent(QCloseEvent* event)
{
    if (m_allowClose)
        event->accept();
    else
        event->ignore();
}

} // namespace torvale
