#pragma once

#include <QPixmap>
#include <QString>
#include <array>

class QLabel;
class QStatusBar;

namespace torvale {

/// The zoom icon of status part 3: a lens with "-" (sign < 0), plain (0) or with "+" (> 0).
QPixmap zoomStatusIcon(int sign);

/// The six parts of the editor's status bar: the background size, the pointer position, the
/// size of the current object, the zoom, the DPI and a free part; the first four with icons.
class StatusLine {
public:
    explicit StatusLine(QStatusBar& bar);

    /// Sets a part's text (0..5); a leading tab centres it.
    void setText(int part, const QString& text);
    /// Sets a part's icon (0..3).
    void setIcon(int part, const QPixmap& icon);
    /// A part's text as last set, leading tab included.
    QString text(int part) const;

private:
    std::array<QLabel*, 6> m_parts{};
    std::array<QLabel*, 4> m_icons{};
};

} // namespace torvale
