#include "ui/dialogs/card_size_dialog.h"

#include "common/text.h"
#include "model/settings.h"
#include "ui/prompts.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <iterator>

namespace torvale {

namespace {

constexpr int kCustomIndex = static_cast<int>(std::size(kCardSizePresets));

QColor colorOf(std::uint32_t bgr)
{
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                  static_cast<int>((bgr >> 16) & 0xFF));
}

} // namespace

CardSizeDialog::CardSizeDialog(Prompts& prompts, QWidget* owner)
    : QDialog(owner), m_prompts(prompts)
{
    setWindowTitle(QStringLiteral("按标准尺寸新建"));
    auto* form = new QFormLayout(this);

    m_size = new QComboBox(this);
    for (const CardSizePreset& preset : kCardSizePresets)
        m_size->addItem(QString::fromUtf8(preset.label));
    m_size->addItem(QStringLiteral("自定义"));
    form->addRow(QStringLiteral("尺寸："), m_size);

    // The size fields take what the background panel's fields take: a number of up to 7
    // characters.
    auto* number = new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("\\d{1,5}(\\.\\d{0,3})?")), this);
    m_width = new QLineEdit(this);
    m_height = new QLineEdit(this);
    m_width->setMaxLength(7);
    m_height->setMaxLength(7);
    m_width->setValidator(number);
    m_height->setValidator(number);
    m_unit = new QComboBox(this);
    // In the order of SizeUnit, as in the background panel.
    m_unit->addItems({QStringLiteral("像素"), QStringLiteral("厘米"), QStringLiteral("毫米"),
                      QStringLiteral("英寸")});
    form->addRow(QStringLiteral("宽度："), m_width);
    form->addRow(QStringLiteral("高度："), m_height);
    form->addRow(QStringLiteral("单位："), m_unit);

    m_dpi = new QSpinBox(this);
    m_dpi->setRange(kMinDpi, kMaxDpi);
    m_dpi->setValue(kCardSizeDefaultDpi);
    m_dpi->setSuffix(QStringLiteral(" dpi"));
    form->addRow(QStringLiteral("分辨率："), m_dpi);

    m_colorButton = new QPushButton(this);
    form->addRow(QStringLiteral("背景颜色："), m_colorButton);
    m_pixels = new QLabel(this);
    form->addRow(QString(), m_pixels);

    auto* buttons = new QDialogButtonBox(this);
    m_ok = buttons->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    form->addRow(buttons);

    connect(m_size, &QComboBox::currentIndexChanged, this, &CardSizeDialog::sizePicked);
    connect(m_width, &QLineEdit::textChanged, this, &CardSizeDialog::refresh);
    connect(m_height, &QLineEdit::textChanged, this, &CardSizeDialog::refresh);
    connect(m_unit, &QComboBox::currentIndexChanged, this, &CardSizeDialog::refresh);
    connect(m_dpi, &QSpinBox::valueChanged, this, &CardSizeDialog::refresh);
    connect(m_colorButton, &QPushButton::clicked, this, &CardSizeDialog::chooseColor);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    sizePicked(0);
}

std::optional<CardSizeChoice> CardSizeDialog::ask()
{
    if (exec() != QDialog::Accepted)
        return std::nullopt;
    return choice();
}

CardSizeChoice CardSizeDialog::choice() const
{
    return {m_width->text().toStdString(), m_height->text().toStdString(),
            static_cast<SizeUnit>(m_unit->currentIndex()), m_dpi->value(), m_color};
}

void CardSizeDialog::sizePicked(int index)
{
    // A listed size shows in the fields it fills; "自定义" starts from the last one shown.
    const bool custom = index == kCustomIndex;
    if (!custom && index >= 0) {
        const CardSizePreset& preset = kCardSizePresets[index];
        m_width->setText(QString::fromUtf8(preset.width));
        m_height->setText(QString::fromUtf8(preset.height));
        m_unit->setCurrentIndex(static_cast<int>(preset.unit));
    }
    for (QWidget* field : {static_cast<QWidget*>(m_width), static_cast<QWidget*>(m_height),
                           static_cast<QWidget*>(m_unit)})
        field->setEnabled(custom);
    refresh();
}

void CardSizeDialog::chooseColor()
{
    if (const auto color = m_prompts.chooseColor(m_color, this)) {
        m_color = *color;
        refresh();
    }
}

void CardSizeDialog::refresh()
{
    // Framed, so that a white card shows on a white button.
    QPixmap swatch(32, 14);
    swatch.fill(colorOf(m_color));
    QPainter(&swatch).drawRect(0, 0, swatch.width() - 1, swatch.height() - 1);
    m_colorButton->setIcon(QIcon(swatch));
    m_colorButton->setIconSize(swatch.size());
    m_colorButton->setText(QString::fromStdString(colorToHtml(m_color)));
    const CardSizeChoice current = choice();
    const bool usable = isUsableCardSize(current);
    m_ok->setEnabled(usable);
    if (!usable) {
        m_pixels->setText(QStringLiteral("尺寸无效"));
        return;
    }
    BackgroundLayer canvas;
    makeCardCanvas(canvas, current);
    m_pixels->setText(QStringLiteral("= %1 x %2 像素").arg(canvas.width).arg(canvas.height));
}

} // namespace torvale
