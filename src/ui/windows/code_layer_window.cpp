#include "ui/windows/layer_windows.h"

#include "app/layer_properties.h"
#include "common/text.h"
#include "render/code_render.h"
#include "ui/editor_context.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

namespace torvale {

namespace {

constexpr int kCodeWindowHeight = 331;
constexpr int kSwatchWidth = 64;

QStringList entries(const auto& names)
{
    QStringList list;
    for (const char* name : names)
        list.append(QString::fromLatin1(name));
    return list;
}

} // namespace

CodeLayerWindow::CodeLayerWindow(EditorContext& context, QWidget* owner)
    : LayerWindow(context, owner, kCodeWindowHeight, "codeLayerWindow")
{
    m_demoField = new QLineEdit(this);
    m_demoField->setObjectName(QStringLiteral("demoField"));
    m_demoField->setMaxLength(256);
    m_demoField->setGeometry(kControlLeft, addRow("演示内容："), kControlWidth, 22);
    connect(m_demoField, &QLineEdit::editingFinished, this,
            [this] { m_context.document().endMerging(); });
    connect(m_demoField, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (m_filling)
            return;
        writeFields(FieldDemo, [&](Layer& l) { l.text = text.toStdString(); });
        checkCode();
    });

    m_typeBox = addList(addRow("码制："), entries(kCodeTypes));
    m_typeBox->setObjectName(QStringLiteral("typeBox"));
    connect(m_typeBox, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (m_filling || index < 0)
            return;
        const std::string type = codeTypeAt(index);
        enableTypeControls(type);
        writeChoice(FieldCode, [&](Layer& l) { l.codeType = type; });
        checkCode();
    });
    m_errorLevelBox = addList(addRow("纠错等级："), entries(kCodeErrorLevels));
    m_errorLevelBox->setObjectName(QStringLiteral("errorLevelBox"));
    connect(m_errorLevelBox, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!m_filling && index >= 0)
            writeChoice(FieldCode, [&](Layer& l) { l.codeErrorLevel = codeErrorLevelAt(index); });
    });

    m_showTextBox = new QCheckBox(QStringLiteral("显示文字"), this);
    m_showTextBox->setObjectName(QStringLiteral("showTextBox"));
    m_showTextBox->setGeometry(kControlLeft, addRow(nullptr), kControlWidth, 22);
    connect(m_showTextBox, &QCheckBox::toggled, this,
            [this](bool on) { writeChoice(FieldCode, [&](Layer& l) { l.codeShowText = on; }); });

    const int colorTop = addRow("颜色：");
    m_colorSwatch = new ColorSwatch(
        this,
        [this]() -> std::optional<std::uint32_t> {
            const Layer* target = layer();
            return target ? std::optional<std::uint32_t>(target->color) : std::nullopt;
        },
        [this] { chooseColor(); });
    m_colorSwatch->setObjectName(QStringLiteral("colorSwatch"));
    m_colorSwatch->setGeometry(kControlLeft, colorTop + 1, kSwatchWidth, 19);

    // Without a background the card shows between the bars; the swatch is then out of use.
    const int backgroundTop = addRow("背景：");
    m_backgroundSwatch = new ColorSwatch(
        this,
        [this]() -> std::optional<std::uint32_t> {
            const Layer* target = layer();
            return target ? htmlToColor(target->codeBackground) : std::nullopt;
        },
        [this] { chooseBackground(); });
    m_backgroundSwatch->setObjectName(QStringLiteral("backgroundSwatch"));
    m_backgroundSwatch->setGeometry(kControlLeft, backgroundTop + 1, kSwatchWidth, 19);
    m_noBackgroundBox = new QCheckBox(QStringLiteral("无"), this);
    m_noBackgroundBox->setObjectName(QStringLiteral("noBackgroundBox"));
    m_noBackgroundBox->setGeometry(kControlLeft + kSwatchWidth + 12, backgroundTop, 60, 22);
    connect(m_noBackgroundBox, &QCheckBox::toggled, this, [this](bool none) {
        m_backgroundSwatch->setEnabled(!none);
        writeChoice(FieldCode, [&](Layer& l) {
            l.codeBackground = none ? std::string() : std::string(kDefaultCodeBackground);
        });
        m_backgroundSwatch->update();
    });

    m_horizontalBox = addList(addRow("水平对齐："),
                              {QStringLiteral("左"), QStringLiteral("距中"), QStringLiteral("右")});
    m_horizontalBox->setObjectName(QStringLiteral("horizontalBox"));
    connect(m_horizontalBox, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0)
            writeChoice(FieldAlignment, [&](Layer& l) { l.pHAlign = index; });
    });
    m_verticalBox = addList(addRow("垂直对齐："), {QStringLiteral("顶端"), QStringLiteral("距中"),
                                                   QStringLiteral("底部")});
    m_verticalBox->setObjectName(QStringLiteral("verticalBox"));
    connect(m_verticalBox, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0)
            writeChoice(FieldAlignment, [&](Layer& l) { l.pVAlign = index; });
    });
    addGeometryRows();
}

QWidget* CodeLayerWindow::colorSwatch() const
{
    return m_colorSwatch;
}

QWidget* CodeLayerWindow::backgroundSwatch() const
{
    return m_backgroundSwatch;
}

void CodeLayerWindow::fillOwnControls(const Layer& layer)
{
    m_demoField->setText(QString::fromStdString(layer.text));
    m_typeBox->setCurrentIndex(codeTypeIndex(layer.codeType));
    m_errorLevelBox->setCurrentIndex(codeErrorLevelIndex(layer.codeErrorLevel));
    m_showTextBox->setChecked(layer.codeShowText);
    enableTypeControls(layer.codeType);
    m_colorSwatch->update();
    m_noBackgroundBox->setChecked(layer.codeBackground.empty());
    m_backgroundSwatch->setEnabled(!layer.codeBackground.empty());
    m_backgroundSwatch->update();
    m_horizontalBox->setCurrentIndex(layer.pHAlign);
    m_verticalBox->setCurrentIndex(layer.pVAlign);
}

void CodeLayerWindow::enableTypeControls(const std::string& codeType)
{
    m_errorLevelBox->setEnabled(codeTypeHasErrorLevel(codeType));
    m_showTextBox->setEnabled(isLinearCode(codeType));
}

void CodeLayerWindow::checkCode()
{
    const Layer* target = layer();
    if (!target)
        return;
    if (const auto warning = checkCodeLayer(*target))
        m_context.balloons().show(m_demoField, QString::fromStdString(warning->title),
                                  QString::fromStdString(warning->text));
}

void CodeLayerWindow::chooseColor()
{
    const Layer* target = layer();
    if (!target)
        return;
    const auto color = m_context.prompts().chooseColor(target->color, this);
    if (!color || *color == target->color)
        return;
    writeChoice(FieldColor, [&](Layer& l) {
        l.color = *color;
        l.htmlColor = colorToHtml(*color);
    });
    m_colorSwatch->update();
}

void CodeLayerWindow::chooseBackground()
{
    const Layer* target = layer();
    if (!target || target->codeBackground.empty())
        return;
    const auto color = m_context.prompts().chooseColor(
        htmlToColor(target->codeBackground).value_or(0xFFFFFF), this);
    if (!color)
        return;
    const std::string html = colorToHtml(*color);
    if (html != target->codeBackground)
        writeChoice(FieldCode, [&](Layer& l) { l.codeBackground = html; });
    m_backgroundSwatch->update();
}

} // namespace torvale
