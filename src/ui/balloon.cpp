#include "ui/balloon.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QStyle>
#include <algorithm>

namespace torvale {

namespace {

constexpr int kStem = 10;
constexpr int kPadding = 8;
constexpr int kIconSize = 16;
constexpr int kMaxTextWidth = 320;

} // namespace

Balloon::Balloon(QWidget* control, BalloonIcon icon, const QString& title, const QString& text)
    : QWidget(control ? control->window() : nullptr,
              Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus),
      m_control(control), m_icon(icon), m_title(title), m_text(text)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_DeleteOnClose);

    QFont bold = font();
    bold.setBold(true);
    const QFontMetrics titleMetrics(bold);
    const QFontMetrics textMetrics(font());
    const QRect titleRect =
        titleMetrics.boundingRect(QRect(0, 0, kMaxTextWidth, 1000), Qt::TextWordWrap, m_title);
    const QRect textRect =
        textMetrics.boundingRect(QRect(0, 0, kMaxTextWidth, 1000), Qt::TextWordWrap, m_text);
    const int width = kPadding * 3 + kIconSize + std::max(titleRect.width(), textRect.width());
    const int height =
        kStem + kPadding * 3 + std::max(kIconSize, titleRect.height()) + textRect.height();
    resize(width, height);

    // The stem points at the bottom centre of the control; the balloon stays on the control's
    // screen, its stem moving along it when the balloon is pushed in from an edge.
    if (control) {
        const QPoint anchor = control->mapToGlobal(QPoint(control->width() / 2, control->height()));
        QPoint at(anchor.x() - 2 * kStem, anchor.y());
        if (const QScreen* screen = control->screen()) {
            const QRect area = screen->availableGeometry();
            at.setX(
                std::clamp(at.x(), area.left(), std::max(area.left(), area.right() + 1 - width)));
            at.setY(
                std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() + 1 - height)));
        }
        m_stemTip =
            std::clamp(anchor.x() - at.x(), 2 * kStem, std::max(2 * kStem, width - 2 * kStem));
        move(at);
    }
}

void Balloon::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF body(0.5, kStem + 0.5, width() - 1.0, height() - kStem - 1.0);
    QPainterPath path;
    path.addRoundedRect(body, 6, 6);
    QPainterPath stem;
    stem.moveTo(m_stemTip - kStem, kStem + 1);
    stem.lineTo(m_stemTip, 0.5);
    stem.lineTo(m_stemTip + kStem, kStem + 1);
    stem.closeSubpath();
    path = path.united(stem);
    painter.setPen(QColor(118, 118, 118));
    painter.setBrush(QColor(255, 255, 225));
    painter.drawPath(path);

    const QStyle::StandardPixmap pixmap = m_icon == BalloonIcon::Warning
                                              ? QStyle::SP_MessageBoxWarning
                                              : QStyle::SP_MessageBoxCritical;
    const QIcon icon = style()->standardIcon(pixmap);
    painter.drawPixmap(kPadding, kStem + kPadding, icon.pixmap(kIconSize, kIconSize));

    QFont bold = font();
    bold.setBold(true);
    painter.setPen(Qt::black);
    painter.setFont(bold);
    const int textLeft = kPadding * 2 + kIconSize;
    const QRect titleRect(textLeft, kStem + kPadding, width() - textLeft - kPadding,
                          QFontMetrics(bold).height() * 4);
    QRect drawnTitle;
    painter.drawText(titleRect, Qt::TextWordWrap, m_title, &drawnTitle);
    painter.setFont(font());
    const int textTop = kStem + kPadding + std::max(kIconSize, drawnTitle.height()) + kPadding;
    painter.drawText(QRect(textLeft, textTop, width() - textLeft - kPadding, height() - textTop),
                     Qt::TextWordWrap, m_text);
}

void BalloonManager::show(QWidget* control, const QString& title, const QString& text,
                          BalloonIcon icon)
{
    std::erase_if(m_open, [](const QPointer<Balloon>& balloon) { return balloon.isNull(); });
    if (m_open.size() >= kMaxOpen)
        dismissAll();
    auto* balloon = new Balloon(control, icon, title, text);
    m_open.emplace_back(balloon);
    balloon->show();
}

void BalloonManager::dismissAll()
{
    for (auto& balloon : m_open) {
        if (balloon)
            balloon->close();
    }
    m_open.clear();
}

std::vector<Balloon*> BalloonManager::open() const
{
    std::vector<Balloon*> balloons;
    for (const auto& balloon : m_open) {
        if (balloon && balloon->isVisible())
            balloons.push_back(balloon.data());
    }
    return balloons;
}

} // namespace torvale
