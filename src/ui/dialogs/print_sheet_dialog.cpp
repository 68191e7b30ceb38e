#include "ui/dialogs/print_sheet_dialog.h"

#include "batch/print_sheet.h"
#include "common/text.h"
#include "ui/editor_context.h"
#include "ui/prompts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace torvale {

namespace {

QString qs(const std::string& text)
{
    return QString::fromStdString(text);
}

QDoubleSpinBox* lengthBox(QWidget* parent, double minimum, double maximum, double value)
{
    auto* box = new QDoubleSpinBox(parent);
    box->setRange(minimum, maximum);
    box->setDecimals(1);
    box->setSuffix(QStringLiteral(" mm"));
    box->setValue(value);
    return box;
}

} // namespace

SheetPreview::SheetPreview(QWidget* parent) : QWidget(parent)
{
    setFixedSize(170, 210);
}

void SheetPreview::showLayout(const std::optional<SheetLayout>& layout, double margin)
{
    m_layout = layout;
    m_margin = margin;
    update();
}

void SheetPreview::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    if (!m_layout)
        return;
    const SheetLayout& layout = *m_layout;
    // A layout from layoutSheet holds at most kMaxCardsPerPage places.
    const auto places = static_cast<int>(std::min(layout.perPage(), kMaxCardsPerPage));
    // The page as large as the widget allows, centred, in millimetres from here on.
    const double scale =
        std::min((width() - 8) / layout.pageWidth, (height() - 8) / layout.pageHeight);
    painter.translate((width() - layout.pageWidth * scale) / 2,
                      (height() - layout.pageHeight * scale) / 2);
    painter.scale(scale, scale);
    painter.setRenderHint(QPainter::Antialiasing);
    const double pixel = 1 / scale;
    painter.setPen(QPen(Qt::darkGray, pixel));
    painter.setBrush(Qt::white);
    painter.drawRect(QRectF(0, 0, layout.pageWidth, layout.pageHeight));
    painter.setPen(QPen(QColor(170, 170, 170), pixel, Qt::DashLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(m_margin, m_margin, layout.pageWidth - 2 * m_margin,
                            layout.pageHeight - 2 * m_margin));
    if (layout.marks) {
        painter.setPen(QPen(Qt::black, pixel));
        for (const SheetLine& line : cuttingMarks(layout, places))
            painter.drawLine(QPointF(line.x1, line.y1), QPointF(line.x2, line.y2));
    }
    painter.setPen(QPen(QColor(20, 90, 170), pixel));
    painter.setBrush(QColor(200, 220, 245));
    for (int i = 0; i < places; ++i) {
        const SheetRect r = layout.place(i);
        painter.drawRect(QRectF(r.x, r.y, r.width, r.height));
    }
}

PrintSheetDialog::PrintSheetDialog(EditorContext& context, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_context(context)
{
    setWindowTitle(QStringLiteral("打印排版"));
    const SheetSettings defaults;

    m_paper = new QComboBox(this);
    for (const PaperSize& paper : namedPapers()) {
        m_paper->addItem(QStringLiteral("%1 (%2 x %3 mm)")
                             .arg(qs(paper.name))
                             .arg(paper.width)
                             .arg(paper.height));
    }
    m_paper->addItem(QStringLiteral("自定义"));
    m_paperWidth = lengthBox(this, 10, 5000, 210);
    m_paperHeight = lengthBox(this, 10, 5000, 297);
    auto* customRow = new QHBoxLayout;
    customRow->addWidget(m_paperWidth);
    customRow->addWidget(new QLabel(QStringLiteral("x"), this));
    customRow->addWidget(m_paperHeight);

    m_orientation = new QComboBox(this);
    m_orientation->addItems(
        {QStringLiteral("自动（放得最多）"), QStringLiteral("纵向"), QStringLiteral("横向")});
    m_margin = lengthBox(this, 0, 100, defaults.margin);
    m_gap = lengthBox(this, 0, 100, defaults.gap);
    m_marks = new QCheckBox(QStringLiteral("裁切线"), this);
    m_marks->setChecked(defaults.marks);
    m_fit = new QCheckBox(QStringLiteral("缩小过大的卡片以适合纸张"), this);
    m_rows = new QComboBox(this);
    m_rows->addItems({QStringLiteral("全部"), QStringLiteral("选择行…")});

    m_file = new QLineEdit(this);
    m_file->setObjectName(QStringLiteral("sheetFile"));
    m_choose = new QPushButton(QStringLiteral("浏览..."), this);
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(m_file, 1);
    fileRow->addWidget(m_choose);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("纸张:"), m_paper);
    form->addRow(QStringLiteral("自定义尺寸:"), customRow);
    form->addRow(QStringLiteral("方向:"), m_orientation);
    form->addRow(QStringLiteral("页边距:"), m_margin);
    form->addRow(QStringLiteral("卡片间距:"), m_gap);
    form->addRow(QString(), m_marks);
    form->addRow(QString(), m_fit);
    form->addRow(QStringLiteral("行:"), m_rows);
    form->addRow(QStringLiteral("PDF文件:"), fileRow);

    m_preview = new SheetPreview(this);
    auto* top = new QHBoxLayout;
    top->addLayout(form, 1);
    top->addWidget(m_preview, 0, Qt::AlignTop);

    m_summary = new QLabel(this);
    m_summary->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(this);
    m_ok = buttons->addButton(QStringLiteral("开始"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    m_ok->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_summary);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_choose, &QPushButton::clicked, this, &PrintSheetDialog::chooseFile);
    const auto refreshOnChange = [this] { refresh(); };
    connect(m_paper, &QComboBox::currentIndexChanged, this, refreshOnChange);
    connect(m_orientation, &QComboBox::currentIndexChanged, this, refreshOnChange);
    for (QDoubleSpinBox* box : {m_paperWidth, m_paperHeight, m_margin, m_gap})
        connect(box, &QDoubleSpinBox::valueChanged, this, refreshOnChange);
    connect(m_marks, &QCheckBox::toggled, this, refreshOnChange);
    connect(m_fit, &QCheckBox::toggled, this, refreshOnChange);
    connect(m_file, &QLineEdit::textChanged, this, refreshOnChange);
}

SheetSettings PrintSheetDialog::settings() const
{
    SheetSettings settings;
    const auto& papers = namedPapers();
    const int index = m_paper->currentIndex();
    if (index >= 0 && static_cast<std::size_t>(index) < papers.size()) {
        settings.paper = papers[static_cast<std::size_t>(index)];
    } else {
        settings.paper = {QStringLiteral("%1x%2mm")
                              .arg(m_paperWidth->value())
                              .arg(m_paperHeight->value())
                              .toStdString(),
                          m_paperWidth->value(), m_paperHeight->value()};
    }
    settings.orientation = static_cast<SheetOrientation>(m_orientation->currentIndex());
    settings.margin = m_margin->value();
    settings.gap = m_gap->value();
    settings.marks = m_marks->isChecked();
    settings.fit = m_fit->isChecked();
    return settings;
}

void PrintSheetDialog::refresh()
{
    const bool custom = static_cast<std::size_t>(m_paper->currentIndex()) >= namedPapers().size();
    m_paperWidth->setEnabled(custom);
    m_paperHeight->setEnabled(custom);
    const SheetSettings current = settings();
    const SheetLayoutResult result = layoutSheet(m_cardWidth, m_cardHeight, current);
    m_preview->showLayout(result.layout, current.margin);
    if (result.ok()) {
        const SheetLayout& layout = *result.layout;
        QString text = QStringLiteral("卡片 %1 x %2 mm，每页 %3 张（%4 列 x %5 行，%6）")
                           .arg(m_cardWidth, 0, 'f', 1)
                           .arg(m_cardHeight, 0, 'f', 1)
                           .arg(static_cast<qlonglong>(layout.perPage()))
                           .arg(layout.columns)
                           .arg(layout.rows)
                           .arg(layout.landscape ? QStringLiteral("横向") : QStringLiteral("纵向"));
        if (layout.scale < 1)
            text += QStringLiteral("，缩小到 %1%").arg(std::floor(layout.scale * 1000) / 10);
        m_summary->setStyleSheet(QString());
        m_summary->setText(text);
    } else {
        m_summary->setStyleSheet(QStringLiteral("color: #c00000"));
        m_summary->setText(qs(result.error));
    }
    m_ok->setEnabled(result.ok() && !m_file->text().trimmed().isEmpty());
}

void PrintSheetDialog::chooseFile()
{
    FileDialogRequest request;
    request.title = "保存PDF文件";
    request.filterName = "PDF文件 (*.pdf)";
    request.filterPattern = "*.pdf";
    request.defaultSuffix = "pdf";
    request.startFolder = QFileInfo(m_file->text()).absolutePath().toStdString();
    if (const auto path = m_context.prompts().saveFile(request))
        m_file->setText(qs(*path));
}

void PrintSheetDialog::prepare(double cardWidth, double cardHeight,
                               const std::string& suggestedPath)
{
    m_cardWidth = cardWidth;
    m_cardHeight = cardHeight;
    if (m_file->text().trimmed().isEmpty())
        m_file->setText(qs(suggestedPath));
    refresh();
}

std::optional<PrintSheetRequest> PrintSheetDialog::ask(double cardWidth, double cardHeight,
                                                       const std::string& suggestedPath)
{
    prepare(cardWidth, cardHeight, suggestedPath);
    // A path that cannot take the PDF file is refused, the dialog staying open with its values.
    for (;;) {
        if (exec() != QDialog::Accepted)
            return std::nullopt;
        std::string blocker;
        const SheetPathProblem problem =
            checkSheetPath(m_file->text().trimmed().toStdString(), blocker);
        if (problem == SheetPathProblem::None)
            break;
        const std::string text =
            formatText(problem == SheetPathProblem::NotAFile
                           ? "'%s' 不是普通文件（是文件夹、设备或管道），请另选一个PDF文件名"
                           : "'%s' 不是文件夹，PDF文件无法保存到这里，请另选一个位置",
                       blocker.c_str());
        m_context.prompts().message("提示", PromptIcon::Error, text, PromptButtons::Ok);
    }
    PrintSheetRequest request;
    request.settings = settings();
    // "开始" is enabled only when the settings give a layout.
    request.layout = *m_preview->shownLayout();
    QString path = m_file->text().trimmed();
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".pdf");
    request.pdfPath = path.toStdString();
    request.chooseRows = m_rows->currentIndex() == 1;
    return request;
}

} // namespace torvale
