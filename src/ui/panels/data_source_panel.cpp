#include "ui/panels/data_source_panel.h"

#include "batch/csv_source.h"
#include "batch/workbook_source.h"
#include "common/paths.h"
#include "ui/editor_context.h"
#include "ui/row_preview.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <algorithm>
#include <filesystem>

namespace torvale {

namespace {

constexpr int kPanelHeight = 88;
constexpr int kPanelWidth = 400;
// The path field gives room to the sheet list when a workbook has several sheets.
constexpr int kPathWidth = 260;
constexpr int kPathWidthBesideSheets = 170;

} // namespace

DataSourcePanel::DataSourcePanel(EditorContext& context, QWidget* parent)
    : QGroupBox(QStringLiteral("数据源"), parent), m_context(context)
{
    setFixedSize(kPanelWidth, kPanelHeight);
    auto* label = new QLabel(QStringLiteral("csv文件："), this);
    label->move(10, 28);
    label->adjustSize();
    m_pathField = new QLineEdit(this);
    m_pathField->setObjectName(QStringLiteral("csvPath"));
    m_pathField->setReadOnly(true);
    m_pathField->setGeometry(70, 26, kPathWidth, 20);
    m_sheetBox = new QComboBox(this);
    m_sheetBox->setObjectName(QStringLiteral("csvSheet"));
    m_sheetBox->setGeometry(70 + kPathWidthBesideSheets + 4, 25,
                            kPathWidth - kPathWidthBesideSheets - 4, 22);
    m_sheetBox->hide();
    m_chooseButton = new QPushButton(QStringLiteral("选择"), this);
    m_chooseButton->setGeometry(334, 24, 59, 23);
    m_chooseButton->setObjectName(QStringLiteral("chooseCsv"));
    m_trimBox = new QCheckBox(QStringLiteral("清除单元格左右两侧的空格"), this);
    m_trimBox->setGeometry(10, 56, 230, 20);
    // The card of a data row on the canvas, as the batch would make it.
    m_previewBox = new QCheckBox(QStringLiteral("预览数据"), this);
    m_previewBox->setObjectName(QStringLiteral("previewBox"));
    m_previewBox->setGeometry(250, 56, 80, 20);
    m_previewRow = new QSpinBox(this);
    m_previewRow->setObjectName(QStringLiteral("previewRow"));
    m_previewRow->setRange(1, 1);
    m_previewRow->setGeometry(334, 55, 59, 22);
    connect(m_previewBox, &QCheckBox::toggled, this, [this] { previewChanged(); });
    connect(m_previewRow, &QSpinBox::valueChanged, this, [this] { previewChanged(); });
    connect(m_chooseButton, &QPushButton::clicked, this,
            [this] { handleControl(ControlId::ChooseCsv); });
    connect(m_trimBox, &QCheckBox::clicked, this, [this] { handleControl(ControlId::TrimCsv); });
    connect(m_sheetBox, &QComboBox::activated, this, [this](int index) { chooseSheet(index); });
    RowPreview* preview = &context.preview();
    connect(preview, &RowPreview::cardChanged, this,
            [this, preview] { showPreviewRows(preview->rowCount()); });
    connect(preview, &RowPreview::rowStepped, this, [this](int row) { showPreviewRow(row); });
    m_subscription = context.document().subscribe([this](const DocumentEvent& event) {
        if (event.change == DocumentChange::Everything ||
            event.change == DocumentChange::DataSource)
            refreshFromDocument();
    });

    refreshFromDocument();
}

void DataSourcePanel::previewChanged()
{
    m_context.preview().show(m_previewBox->isChecked(), m_previewRow->value());
}

void DataSourcePanel::showPreviewRows(std::size_t rows)
{
    const QSignalBlocker blocker(m_previewRow);
    m_previewRow->setMaximum(static_cast<int>(std::clamp<std::size_t>(rows, 1, 1000000)));
}

void DataSourcePanel::previewRow(std::size_t row)
{
    const int value = static_cast<int>(std::clamp<std::size_t>(row, 1, 1000000));
    {
        const QSignalBlocker rowBlocker(m_previewRow);
        const QSignalBlocker boxBlocker(m_previewBox);
        m_previewRow->setMaximum(std::max(m_previewRow->maximum(), value));
        m_previewRow->setValue(value);
        m_previewBox->setChecked(true);
    }
    previewChanged();
}

void DataSourcePanel::showPreviewRow(int row)
{
    const QSignalBlocker blocker(m_previewRow);
    m_previewRow->setValue(row);
}

void DataSourcePanel::handleControl(ControlId id)
{
    if (id == ControlId::ChooseCsv)
        chooseCsv();
    else if (id == ControlId::TrimCsv)
        switchTrim();
}

void DataSourcePanel::refreshFromDocument()
{
    const Template& tpl = m_context.document().tpl();
    m_pathField->setText(QString::fromStdString(tpl.csv_file_path));
    const QSignalBlocker blocker(m_trimBox);
    m_trimBox->setChecked(tpl.is_trim_csv_cell_value);
    showSheets();
}

void DataSourcePanel::showSheets()
{
    EditorDocument& document = m_context.document();
    const std::string& path = document.tpl().csv_file_path;
    std::vector<std::string> names;
    if (isWorkbookPath(path)) {
        if (auto read = workbookSheetNames(document.resolve(path)))
            names = std::move(*read);
    }
    const SheetPath where = splitSheetPath(path);
    const QSignalBlocker blocker(m_sheetBox);
    m_sheetBox->clear();
    int current = where.hasSheet ? -1 : 0;
    for (const std::string& name : names) {
        if (where.hasSheet && current < 0 && name == where.sheet)
            current = m_sheetBox->count();
        m_sheetBox->addItem(QString::fromStdString(name));
    }
    m_sheetBox->setCurrentIndex(current);
    const bool several = names.size() > 1;
    m_sheetBox->setVisible(several);
    m_pathField->resize(several ? kPathWidthBesideSheets : kPathWidth, m_pathField->height());
}

void DataSourcePanel::chooseSheet(int index)
{
    EditorDocument& document = m_context.document();
    const std::string file = splitSheetPath(document.tpl().csv_file_path).file;
    const std::string path = joinSheetPath(file, m_sheetBox->itemText(index).toStdString());
    if (path == document.tpl().csv_file_path)
        return;
    // A sheet that cannot be read (the file changed meanwhile) leaves the choice as it was.
    const CsvChoiceResult choice =
        checkCsvChoice(document.resolve(path), document.tpl().is_trim_csv_cell_value);
    if (choice.status != CsvChoice::Ok) {
        m_context.prompts().message("提示", PromptIcon::Warning, choice.message, PromptButtons::Ok);
        showSheets();
        return;
    }
    document.setCsvFile(path);
}

void DataSourcePanel::chooseCsv()
{
    EditorDocument& document = m_context.document();
    std::filesystem::path& folder =
        document.settings().dialogFolders[static_cast<int>(DialogFolder::ChooseCsvFile)];
    while (const auto path = m_context.prompts().openFile(
               {"选择csv文件",
                "csv 或 Excel 文件 (*.csv *.xlsx)",
                "*.csv *.xlsx",
                folder.string(),
                "",
                {{"csv文件 (*.csv)", "*.csv"}, {"Excel 文件 (*.xlsx)", "*.xlsx"}}})) {
        folder = std::filesystem::path(*path).parent_path();
        const CsvChoiceResult choice = checkCsvChoice(*path, document.tpl().is_trim_csv_cell_value);
        if (choice.status != CsvChoice::Ok) {
            m_context.prompts().message("提示", PromptIcon::Warning, choice.message,
                                       PromptButtons::Ok);
            continue;
        }
        document.setCsvFile(*path);
        break;
    }
}

void DataSourcePanel::switchTrim()
{
    EditorDocument& document = m_context.document();
    if (document.setTrimCsv(m_trimBox->isChecked()))
        return;
    // The columns are gone with the file; say why.
    const Template& tpl = document.tpl();
    const CsvChoiceResult choice =
        checkCsvChoice(document.resolve(tpl.csv_file_path), tpl.is_trim_csv_cell_value);
    m_context.prompts().message("提示", PromptIcon::Warning, choice.message, PromptButtons::Ok);
}

} // namespace torvale
