#include "ui/windows/log_window.h"

#include <QCloseEvent>
#include <QKeySequence>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>
#include <QTime>
#include <QVBoxLayout>

namespace torvale {

LogWindow::LogWindow(QWidget* owner) : QWidget(owner, Qt::Tool)
{
    setWindowTitle(QStringLiteral("信息 - F2"));
    resize(680, 200);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_edit = new QPlainTextEdit(this);
    m_edit->setObjectName(QStringLiteral("logText"));
    m_edit->setReadOnly(true);
    m_edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette colours = m_edit->palette();
    colours.setColor(QPalette::Base, Qt::black);
    colours.setColor(QPalette::Text, Qt::white);
    m_edit->setPalette(colours);
    layout->addWidget(m_edit);
    hide();
}

void LogWindow::appendLine(const std::string& message)
{
    // "%H:%M:%S message" and "\r\n". Line breaks are the messages' own "\r\n" (a message
    // ending in one is followed by an empty line); a lone "\r" or "\n" breaks no line.
    const QString raw = QTime::currentTime().toString(QStringLiteral("HH:mm:ss")) +
                        QLatin1Char(' ') + QString::fromStdString(message) + QStringLiteral("\r\n");
    QString line;
    line.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw[i] == QLatin1Char('\r') && i + 1 < raw.size() && raw[i + 1] == QLatin1Char('\n')) {
            line += QLatin1Char('\n');
            ++i;
        } else if (raw[i] != QLatin1Char('\r') && raw[i] != QLatin1Char('\n')) {
            line += raw[i];
        }
    }

    if (line.size() >= kTextLimit)
        line = line.right(kTextLimit - 1); // a single line longer than the limit keeps its end
    QString all = text();
    if (all.size() + line.size() >= kTextLimit) {
        // Drop the older half, at a line boundary so no line is cut.
        const qsizetype lineEnd = all.indexOf(QLatin1Char('\n'), all.size() / 2);
        all.remove(0, lineEnd < 0 ? all.size() : lineEnd + 1);
        if (all.size() + line.size() >= kTextLimit)
            all.clear();
    }
    all += line;
    all.chop(1); // the edit field shows the last line break as nothing
    m_edit->setPlainText(all);
    m_edit->moveCursor(QTextCursor::End);
    m_edit->verticalScrollBar()->setValue(m_edit->verticalScrollBar()->maximum());
    if (isHidden())
        show();
}

void LogWindow::toggle()
{
    setVisible(!isVisible());
}

QString LogWindow::text() const
{
    const QString shown = m_edit->toPlainText();
    return shown.isEmpty() ? shown : shown + QLatin1Char('\n');
}

void LogWindow::closeEvent(QCloseEvent* event)
{
    m_edit->clear();
    hide();
    event->ignore();
}

} // namespace torvale
