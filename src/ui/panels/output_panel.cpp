#include "ui/panels/output_panel.h"

#include "app/panel_rules.h"
#include "ui/editor_context.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <iterator>

namespace torvale {

namespace {

constexpr int kPanelHeight = 154;
constexpr int kPanelWidth = 400;

QLabel* addLabel(const QString& text, QWidget* parent, int x, int y)
{
    auto* label = new QLabel(text, parent);
    label->move(x, y);
    label->adjustSize();
    return label;
}

QComboBox* addBox(QWidget* parent, const QStringList& entries, const QRect& geometry)
{
    auto* box = new QComboBox(parent);
    box->addItems(entries);
    box->setGeometry(geometry);
    return box;
}

} // namespace

OutputPanel::OutputPanel(EditorContext& context, QWidget* parent)
    : QGroupBox(QStringLiteral("保存图片"), parent), m_context(context)
{
    setFixedSize(kPanelWidth, kPanelHeight);
    const auto send = [this](ControlId id) { return [this, id] { handleControl(id); }; };

    addLabel(QStringLiteral("格式："), this, 10, 25);
    m_formatBox = addBox(this, {QStringLiteral("JPG"), QStringLiteral("PNG")}, {46, 21, 60, 22});
    m_colorspaceLabel = addLabel(QStringLiteral("色彩："), this, 116, 25);
    m_colorspaceBox = addBox(this,
                             {QStringLiteral("sRGB"), QStringLiteral("RGB"), QStringLiteral("CMYK"),
                              QStringLiteral("灰色")},
                             {152, 21, 70, 22});
    m_transparentBox = new QCheckBox(QStringLiteral("透明度"), this);
    m_transparentBox->setGeometry(116, 22, 70, 20);
    m_png8Box = new QCheckBox(QStringLiteral("PNG-8"), this);
    m_png8Box->setGeometry(190, 22, 64, 20);
    m_paletteLabel = addLabel(QStringLiteral("颜色："), this, 260, 25);
    QStringList sizes;
    for (const std::int32_t size : kPaletteSizes)
        sizes << QString::number(size);
    m_paletteBox = addBox(this, sizes, {296, 21, 56, 22});

    m_qualityCaption = addLabel(QStringLiteral("质量："), this, 10, 51);
    m_qualitySlider = new QSlider(Qt::Horizontal, this);
    m_qualitySlider->setRange(kMinQuality, kMaxQuality);
    m_qualitySlider->setGeometry(46, 48, 250, 22);
    m_qualityValue = new QLabel(this);
    m_qualityValue->setGeometry(302, 51, 80, 16);

    addLabel(QStringLiteral("图片保存到："), this, 10, 78);
    m_folderField = new QLineEdit(this);
    m_folderField->setReadOnly(true);
    m_folderField->setGeometry(88, 76, 243, 20);
    m_chooseFolderButton = new QPushButton(QStringLiteral("选择"), this);
    m_chooseFolderButton->setObjectName(QStringLiteral("chooseOutputFolder"));
    m_chooseFolderButton->setGeometry(335, 74, 59, 23);

    addLabel(QStringLiteral("文件名绑定："), this, 10, 105);
    m_fileNameBox1 = addBox(this, {QString()}, {88, 101, 119, 22});
    m_fileNameBox2 = addBox(this, {QString()}, {212, 101, 118, 22});
    m_fileNameBox1->setObjectName(QStringLiteral("fileNameColumn1"));

    addLabel(QStringLiteral("起始编号："), this, 10, 131);
    m_serialStartBox = new QSpinBox(this);
    m_serialStartBox->setObjectName(QStringLiteral("serialStart"));
    m_serialStartBox->setRange(kMinSerialStart, kMaxSerialStart);
    m_serialStartBox->setToolTip(QStringLiteral(
        "固定内容中的 {#} 显示第一行数据的这个编号，以后每行加 1；{#:0000} 补零到 4 位"));
    m_serialStartBox->setGeometry(88, 127, 119, 22);

    connect(m_formatBox, &QComboBox::currentIndexChanged, this, send(ControlId::OutputFormat));
    connect(m_colorspaceBox, &QComboBox::currentIndexChanged, this, send(ControlId::OutputFormat));
    connect(m_transparentBox, &QCheckBox::toggled, this, send(ControlId::Transparent));
    connect(m_png8Box, &QCheckBox::toggled, this, send(ControlId::Png8));
    connect(m_paletteBox, &QComboBox::currentIndexChanged, this, send(ControlId::PaletteSize));
    connect(m_qualitySlider, &QSlider::valueChanged, this, &OutputPanel::qualityChanged);
    connect(m_chooseFolderButton, &QPushButton::clicked, this, send(ControlId::ChooseOutputFolder));
    connect(m_fileNameBox1, &QComboBox::currentIndexChanged, this,
            send(ControlId::FileNameColumn1));
    connect(m_fileNameBox2, &QComboBox::currentIndexChanged, this,
            send(ControlId::FileNameColumn2));
    connect(m_serialStartBox, &QSpinBox::valueChanged, this, &OutputPanel::serialStartChanged);
    // Typing a number is one undo step until the box is left.
    connect(m_serialStartBox, &QSpinBox::editingFinished, this,
            [this] { m_context.document().endMerging(); });

    m_subscription = context.document().subscribe([this](const DocumentEvent& event) {
        if (event.change == DocumentChange::Everything || event.change == DocumentChange::Output)
            refreshFromDocument();
        else if (event.change == DocumentChange::DataSource)
            fillFileNameBoxes();
    });
    refreshFromDocument();
}

void OutputPanel::handleControl(ControlId id)
{
    OutputSettings output = m_context.document().tpl().output;
    switch (id) {
    case ControlId::OutputFormat:
        formatChanged();
        return;
    case ControlId::Transparent:
        output.transparent_open = m_transparentBox->isChecked();
        break;
    case ControlId::Png8:
        output.isSaveToPng8 = m_png8Box->isChecked();
        showControlsForFormat();
        break;
    case ControlId::PaletteSize:
        if (m_paletteBox->currentIndex() < 0)
            return;
        output.colorCount = kPaletteSizes[m_paletteBox->currentIndex()];
        break;
    case ControlId::ChooseOutputFolder:
        chooseFolder();
        return;
    case ControlId::FileNameColumn1:
        fileNameChanged(0);
        return;
    case ControlId::FileNameColumn2:
        fileNameChanged(1);
        return;
    default:
        return;
    }
    m_context.document().setOutput(output);
}

void OutputPanel::refreshFromDocument()
{
    const OutputSettings& output = m_context.document().tpl().output;
    {
        const QSignalBlocker blockers[] = {
            QSignalBlocker(m_formatBox),     QSignalBlocker(m_colorspaceBox),
            QSignalBlocker(m_qualitySlider), QSignalBlocker(m_transparentBox),
            QSignalBlocker(m_png8Box),       QSignalBlocker(m_paletteBox)};
        m_formatBox->setCurrentIndex(output.format == OutputFormat::Jpg ? 0 : 1);
        m_colorspaceBox->setCurrentIndex(static_cast<int>(output.colorspace));
        m_qualitySlider->setValue(output.quality);
        m_qualityValue->setText(QString::fromStdString(qualityLabelText(m_qualitySlider->value())));
        m_transparentBox->setChecked(output.transparent_open);
        m_png8Box->setChecked(output.isSaveToPng8);
        const auto size =
            std::find(std::begin(kPaletteSizes), std::end(kPaletteSizes), output.colorCount);
        m_paletteBox->setCurrentIndex(size == std::end(kPaletteSizes)
                                          ? m_paletteBox->count() - 1
                                          : static_cast<int>(size - std::begin(kPaletteSizes)));
        m_folderField->setText(QString::fromStdString(output.outputFolder));
        const QSignalBlocker serialBlocker(m_serialStartBox);
        m_serialStartBox->setValue(output.serialStart);
    }
    fillFileNameBoxes();
    showControlsForFormat();
}

void OutputPanel::formatChanged()
{
    OutputSettings output = m_context.document().tpl().output;
    output.format = m_formatBox->currentIndex() == 1 ? OutputFormat::Png : OutputFormat::Jpg;
    if (m_colorspaceBox->currentIndex() >= 0)
        output.colorspace = static_cast<OutputColorspace>(m_colorspaceBox->currentIndex());
    showControlsForFormat();
    m_context.document().setOutput(output);
}

void OutputPanel::showControlsForFormat()
{
    const OutputVisibility shown =
        outputVisibility(m_formatBox->currentText().toStdString(), m_png8Box->isChecked());
    for (QWidget* control :
         {static_cast<QWidget*>(m_colorspaceLabel), static_cast<QWidget*>(m_colorspaceBox),
          static_cast<QWidget*>(m_qualityCaption), static_cast<QWidget*>(m_qualitySlider),
          static_cast<QWidget*>(m_qualityValue)})
        control->setVisible(shown.jpgControls);
    m_transparentBox->setVisible(shown.pngControls);
    m_png8Box->setVisible(shown.pngControls);
    m_paletteLabel->setVisible(shown.palette);
    m_paletteBox->setVisible(shown.palette);
}

void OutputPanel::qualityChanged(int value)
{
    m_qualityValue->setText(QString::fromStdString(qualityLabelText(value)));
    OutputSettings output = m_context.document().tpl().output;
    output.quality = value;
    m_context.document().setOutput(output);
}

void OutputPanel::chooseFolder()
{
    const auto folder =
        m_context.prompts().browseFolder("图片保存到：", m_folderField->text().toStdString());
    if (folder && !folder->empty()) {
        OutputSettings output = m_context.document().tpl().output;
        output.outputFolder = *folder;
        m_context.document().setOutput(output);
    }
    m_context.focusCanvas();
}

void OutputPanel::fillFileNameBoxes()
{
    const EditorDocument& document = m_context.document();
    const std::vector<std::string>& columns = document.csvColumns();
    QStringList entries{QString()};
    for (const std::string& column : columns)
        entries << QString::fromStdString(column);
    const std::string* chosen[] = {&document.tpl().output.file_name_bind_col_name,
                                   &document.tpl().output.file_name_bind_col_name2};
    QComboBox* boxes[] = {m_fileNameBox1, m_fileNameBox2};
    for (int which = 0; which < 2; ++which) {
        const QSignalBlocker blocker(boxes[which]);
        boxes[which]->clear();
        boxes[which]->addItems(entries);
        boxes[which]->setCurrentIndex(fileNameEntryIndex(columns, *chosen[which]));
    }
}

void OutputPanel::fileNameChanged(int which)
{
    OutputSettings output = m_context.document().tpl().output;
    std::string& name =
        which == 0 ? output.file_name_bind_col_name : output.file_name_bind_col_name2;
    const int index = fileNameBox(which)->currentIndex();
    const auto& columns = m_context.document().csvColumns();
    name = index > 0 && index <= static_cast<int>(columns.size())
               ? columns[static_cast<std::size_t>(index) - 1]
               : std::string();
    m_context.document().setOutput(output);
}

void OutputPanel::serialStartChanged(int value)
{
    OutputSettings output = m_context.document().tpl().output;
    output.serialStart = value;
    const EditStep step = m_context.document().beginStep("修改起始编号", "field:serialStart");
    m_context.document().setOutput(output);
}

} // namespace torvale
