#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <vector>

namespace torvale {

enum class BalloonIcon { Warning, Error };

/// A small tip window under a control: icon, title and text, with a stem pointing at the
/// bottom centre of the control.
class Balloon : public QWidget {
    Q_OBJECT

public:
    Balloon(QWidget* control, BalloonIcon icon, const QString& title, const QString& text);

    QString title() const { return m_title; }
    QString text() const { return m_text; }
    QWidget* control() const { return m_control; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPointer<QWidget> m_control;
    BalloonIcon m_icon;
    QString m_title;
    QString m_text;
    int m_stemTip = 20; // the x of the stem's tip, in the balloon
};

/// The open balloon alerts: at most 7; any press, key or deactivation of the main window
/// closes them all.
class BalloonManager {
public:
    static constexpr std::size_t kMaxOpen = 7;

    /// Shows a balloon under the control (closing all when 7 are open already).
    void show(QWidget* control, const QString& title, const QString& text,
              BalloonIcon icon = BalloonIcon::Warning);
    /// Closes every open balloon.
    void dismissAll();
    /// The balloons open now, oldest first.
    std::vector<Balloon*> open() const;

private:
    std::vector<QPointer<Balloon>> m_open;
};

} // namespace torvale
