#include "ui/main/status_line.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QStatusBar>

namespace torvale {

namespace {

constexpr int kStatusIconSize = 16;
// Right edges of the status-bar parts 0 to 4; the last part takes the rest.
constexpr int kStatusEdges[] = {200, 400, 600, 660, 720};

// The 16 x 16 icons of the status-bar parts 0 to 2: background size (a picture), pointer
// position (a cross hair), size of the current object (a selection frame); part 3 has the
// zoom icons.
QPixmap statusIcon(int part)
{
    if (part == 3)
        return zoomStatusIcon(0);
    QPixmap icon(kStatusIconSize, kStatusIconSize);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor ink(60, 60, 60);
    painter.setPen(QPen(ink, 1));
    switch (part) {
    case 0:
        painter.setBrush(QColor(170, 210, 240));
        painter.drawRect(QRectF(1.5, 2.5, 13, 11));
        painter.setBrush(QColor(90, 160, 80));
        painter.drawPolygon(QPolygonF(
            {QPointF(2, 13), QPointF(6, 7), QPointF(9, 11), QPointF(11, 9), QPointF(14, 13)}));
        break;
    case 1:
        painter.drawEllipse(QRectF(3.5, 3.5, 9, 9));
        painter.drawLine(QPointF(8, 1), QPointF(8, 15));
        painter.drawLine(QPointF(1, 8), QPointF(15, 8));
        break;
    case 2:
        painter.setPen(QPen(ink, 1, Qt::DashLine));
        painter.drawRect(QRectF(2.5, 3.5, 11, 9));
        painter.setPen(Qt::NoPen);
        painter.setBrush(ink);
        for (const QPointF corner :
             {QPointF(1, 2), QPointF(12, 2), QPointF(1, 11), QPointF(12, 11)})
            painter.drawRect(QRectF(corner, QSizeF(3, 3)));
        break;
    }
    return icon;
}

} // namespace

QPixmap zoomStatusIcon(int sign)
{
    QPixmap icon(kStatusIconSize, kStatusIconSize);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor ink(60, 60, 60);
    painter.setPen(QPen(ink, 1.5));
    painter.setBrush(QColor(220, 235, 250));
    painter.drawEllipse(QRectF(1.5, 1.5, 9, 9));
    painter.setPen(QPen(ink, 2.5, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(9.5, 9.5), QPointF(14, 14));
    painter.setPen(QPen(ink, 1.2));
    if (sign != 0)
        painter.drawLine(QPointF(4, 6), QPointF(8, 6));
    if (sign > 0)
        painter.drawLine(QPointF(6, 4), QPointF(6, 8));
    return icon;
}

StatusLine::StatusLine(QStatusBar& bar)
{
    int left = 0;
    for (int part = 0; part < 6; ++part) {
        auto* box = new QWidget(&bar);
        box->setObjectName(QStringLiteral("statusPart%1").arg(part));
        auto* row = new QHBoxLayout(box);
        row->setContentsMargins(2, 0, 2, 0);
        row->setSpacing(4);
        if (part < 4) {
            auto* icon = new QLabel(box);
            icon->setObjectName(QStringLiteral("statusIcon%1").arg(part));
            icon->setPixmap(statusIcon(part));
            icon->setFixedSize(kStatusIconSize, kStatusIconSize);
            row->addWidget(icon);
            m_icons[static_cast<std::size_t>(part)] = icon;
        }
        auto* label = new QLabel(box);
        row->addWidget(label, 1);
        if (part < 5) {
            box->setFixedWidth(kStatusEdges[part] - left);
            left = kStatusEdges[part];
            bar.addWidget(box);
        } else {
            bar.addWidget(box, 1);
        }
        m_parts[static_cast<std::size_t>(part)] = label;
    }
}

void StatusLine::setText(int part, const QString& text)
{
    if (part < 0 || part >= 6 || !m_parts[static_cast<std::size_t>(part)])
        return;
    // A leading tab centres the text in its part, as in a classic status bar.
    QLabel* label = m_parts[static_cast<std::size_t>(part)];
    const bool centred = text.startsWith(QLatin1Char('\t'));
    label->setAlignment(centred ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter);
    label->setText(centred ? text.mid(1) : text);
    label->setProperty("statusText", text);
}

void StatusLine::setIcon(int part, const QPixmap& icon)
{
    if (auto* label = part >= 0 && part < 4 ? m_icons[static_cast<std::size_t>(part)] : nullptr)
        label->setPixmap(icon);
}

QString StatusLine::text(int part) const
{
    if (part < 0 || part >= 6 || !m_parts[static_cast<std::size_t>(part)])
        return {};
    return m_parts[static_cast<std::size_t>(part)]->property("statusText").toString();
}

} // namespace torvale
