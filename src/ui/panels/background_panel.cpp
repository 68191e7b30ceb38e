#include "ui/panels/background_panel.h"

#include "app/panel_rules.h"
#include "render/picture_input.h"
#include "ui/balloon.h"
#include "ui/input_fields.h"
#include "ui/editor_context.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <filesystem>
#include <functional>

namespace torvale {

namespace {

constexpr int kPanelHeight = 63;
constexpr int kPanelWidth = 400;
constexpr int kColorChoose = 2; // "选择", the last entry of the colour box

QLabel* addLabel(const QString& text, QWidget* parent, int x, int y)
{
    auto* label = new QLabel(text, parent);
    label->move(x, y);
    label->adjustSize();
    return label;
}

} // namespace

BackgroundPanel::BackgroundPanel(EditorContext& context, QWidget* parent)
    : QGroupBox(QString(12, QChar(0x3000)), parent), m_context(context)
{
    setFixedSize(kPanelWidth, kPanelHeight);
    const auto send = [this](ControlId id) { return [this, id] { handleControl(id); }; };

    addLabel(QStringLiteral("背景层："), this, 10, 1);
    m_pictureRadio = new QRadioButton(QStringLiteral("选择背景"), this);
    m_pictureRadio->setGeometry(66, 0, 80, 16);
    m_customRadio = new QRadioButton(QStringLiteral("自定义"), this);
    m_customRadio->setGeometry(150, 0, 70, 16);
    connect(m_pictureRadio, &QRadioButton::clicked, this, send(ControlId::BackgroundPicture));
    connect(m_customRadio, &QRadioButton::clicked, this, send(ControlId::BackgroundCustom));

    m_pictureSubPanel = new QWidget(this);
    m_pictureSubPanel->setGeometry(0, 23, kPanelWidth, 40);
    addLabel(QStringLiteral("图片："), m_pictureSubPanel, 10, 10);
    m_pathField = new QLineEdit(m_pictureSubPanel);
    m_pathField->setReadOnly(true);
    m_pathField->setGeometry(50, 8, 278, 20);
    m_chooseButton = new QPushButton(QStringLiteral("选择"), m_pictureSubPanel);
    m_chooseButton->setGeometry(334, 6, 59, 23);
    m_chooseButton->setObjectName(QStringLiteral("chooseBackground"));
    connect(m_chooseButton, &QPushButton::clicked, this, send(ControlId::ChooseBackground));

    m_customSubPanel = new QWidget(this);
    m_customSubPanel->setGeometry(0, 23, kPanelWidth, 40);
    addLabel(QStringLiteral("宽度："), m_customSubPanel, 6, 10);
    m_widthField = new FilteredField(m_customSubPanel, sizeFieldRules(&m_widthField));
    m_widthField->setGeometry(42, 8, 46, 20);
    m_widthField->setObjectName(QStringLiteral("backgroundWidth"));
    addLabel(QStringLiteral("高度："), m_customSubPanel, 92, 10);
    m_heightField = new FilteredField(m_customSubPanel, sizeFieldRules(&m_heightField));
    m_heightField->setGeometry(128, 8, 43, 20);
    m_heightField->setObjectName(QStringLiteral("backgroundHeight"));
    m_widthField->setPartner(m_heightField);
    m_heightField->setPartner(m_widthField);
    for (FilteredField* field : {m_widthField, m_heightField})
        field->setFocusLost([this] { m_context.document().endMerging(); });
    connect(m_widthField, &QLineEdit::textChanged, this, send(ControlId::BackgroundWidth));
    connect(m_heightField, &QLineEdit::textChanged, this, send(ControlId::BackgroundHeight));
    m_unitBox = new QComboBox(m_customSubPanel);
    m_unitBox->addItems({QStringLiteral("像素"), QStringLiteral("厘米"), QStringLiteral("毫米"),
                         QStringLiteral("英寸")});
    m_unitBox->setGeometry(175, 7, 58, 22);
    connect(m_unitBox, &QComboBox::currentIndexChanged, this, send(ControlId::BackgroundUnit));
    addLabel(QStringLiteral("背景色："), m_customSubPanel, 238, 10);
    m_colorBox = new QComboBox(m_customSubPanel);
    m_colorBox->addItems({QStringLiteral("白色"), QStringLiteral("透明"), QStringLiteral("选择")});
    m_colorBox->setGeometry(296, 7, 64, 22);
    connect(m_colorBox, &QComboBox::currentIndexChanged, this, send(ControlId::BackgroundColor));
    // The swatch shows the chosen colour while the box is on "选择", the button face otherwise.
    m_swatch = new ColorSwatch(
        m_customSubPanel,
        [this]() -> std::optional<std::uint32_t> {
            if (m_colorBox->currentIndex() != kColorChoose)
                return std::nullopt;
            return m_context.document().tpl().background.chosenColor;
        },
        send(ControlId::BackgroundSwatch));
    m_swatch->setGeometry(366, 10, 26, 16);

    m_subscription = context.document().subscribe([this](const DocumentEvent& event) {
        if (event.change == DocumentChange::Everything ||
            event.change == DocumentChange::Background || event.change == DocumentChange::Dpi)
            refreshFromDocument();
    });
    refreshFromDocument();
}

QLineEdit* BackgroundPanel::widthField() const
{
    return m_widthField;
}

QLineEdit* BackgroundPanel::heightField() const
{
    return m_heightField;
}

QWidget* BackgroundPanel::swatch() const
{
    return m_swatch;
}

void BackgroundPanel::handleControl(ControlId id)
{
    switch (id) {
    case ControlId::BackgroundPicture:
        choosePictureKind();
        break;
    case ControlId::BackgroundCustom:
        chooseCustomKind();
        break;
    case ControlId::ChooseBackground:
        choosePicture();
        break;
    case ControlId::BackgroundWidth:
        sizeFromFields(m_widthField);
        break;
    case ControlId::BackgroundHeight:
        sizeFromFields(m_heightField);
        break;
    case ControlId::BackgroundUnit:
        switchUnit();
        break;
    case ControlId::BackgroundColor:
        colorBoxChanged();
        break;
    case ControlId::BackgroundSwatch:
        runColorDialog();
        break;
    default:
        break;
    }
}

void BackgroundPanel::refreshFromDocument()
{
    const BackgroundLayer& background = m_context.document().tpl().background;
    const QSignalBlocker blockers[] = {
        QSignalBlocker(m_pictureRadio), QSignalBlocker(m_customRadio), QSignalBlocker(m_widthField),
        QSignalBlocker(m_heightField),  QSignalBlocker(m_unitBox),     QSignalBlocker(m_colorBox)};
    showSubPanel(background.kind == BackgroundKind::Picture);
    m_pathField->setText(QString::fromStdString(background.background_path));
    m_unitBox->setCurrentIndex(static_cast<int>(background.unit));
    applyUnitLimits();
    // A field being typed in keeps its cursor: only texts that differ are written.
    for (auto [field, text] : {std::pair{m_widthField, &background.szWidth},
                               std::pair{m_heightField, &background.szHeight}}) {
        const QString value = QString::fromStdString(*text);
        if (field->text() != value)
            field->setText(value);
    }
    m_colorBox->setCurrentIndex(static_cast<int>(background.colorMode));
    m_swatch->setEnabled(background.colorMode == BackgroundColorMode::Chosen);
    m_swatch->update();
}

void BackgroundPanel::showSubPanel(bool picture)
{
    m_pictureRadio->setChecked(picture);
    m_customRadio->setChecked(!picture);
    m_pictureSubPanel->setVisible(picture);
    m_customSubPanel->setVisible(!picture);
}

void BackgroundPanel::choosePictureKind()
{
    EditorDocument& document = m_context.document();
    const BackgroundLayer& background = document.tpl().background;
    showSubPanel(true);
    if (background.background_path.empty()) {
        document.usePictureBackground(false);
        choosePicture();
    } else if (const auto problem = validatePictureFile(
                   document.resolve(background.background_path), PictureKind::Background)) {
        m_context.scrollSettingsToTop();
        m_context.balloons().show(m_chooseButton, QStringLiteral("请重新选择..."),
                                 QString::fromStdString(*problem));
        document.usePictureBackground(false);
    } else {
        document.usePictureBackground(true);
    }
    m_context.focusCanvas();
}

void BackgroundPanel::refresh()
{
    EditorDocument& document = m_context.document();
    const BackgroundLayer& background = document.tpl().background;
    if (background.kind == BackgroundKind::Picture && !background.background_path.empty()) {
        if (const auto problem = validatePictureFile(document.resolve(background.background_path),
                                                     PictureKind::Background)) {
            m_context.scrollSettingsToTop();
            m_context.balloons().show(m_chooseButton, QStringLiteral("请重新选择..."),
                                     QString::fromStdString(*problem));
            return;
        }
        // The file may have changed since it was read.
        document.reloadBackgroundPicture();
    }
    m_context.focusCanvas();
}

bool BackgroundPanel::choosePicture()
{
    EditorDocument& document = m_context.document();
    std::filesystem::path& folder =
        document.settings().dialogFolders[static_cast<int>(DialogFolder::ChooseBackground)];
    bool chosen = false;
    while (!chosen) {
        const auto path =
            m_context.prompts().openFile({"选择背景图片", "图片格式 (*.PNG;*.JPG;*.GIF)",
                                         "*.PNG;*.JPG;*.JPEG;*.GIF", folder.string(), "", {}});
        if (!path)
            break;
        folder = std::filesystem::path(*path).parent_path();
        if (const auto problem = validatePictureFile(*path, PictureKind::Background)) {
            m_context.prompts().message("提示", PromptIcon::Warning, *problem, PromptButtons::Ok);
            continue;
        }
        document.setBackgroundPicture(*path);
        chosen = true;
    }
    m_context.focusCanvas();
    return chosen;
}

void BackgroundPanel::chooseCustomKind()
{
    showSubPanel(false);
    m_context.document().useCustomBackground(
        static_cast<BackgroundColorMode>(m_colorBox->currentIndex()));
    m_widthField->setFocus();
    m_widthField->selectAll();
}

void BackgroundPanel::sizeFromFields(QLineEdit* typed)
{
    EditorDocument& document = m_context.document();
    {
        // Typing a size is one undo step until the field is left.
        const EditStep step = document.beginStep("修改画布大小", "field:backgroundSize");
        document.setBackgroundSize(m_widthField->text().toStdString(),
                                   m_heightField->text().toStdString());
    }
    // The size is kept as typed (the next key may make it fit), but no card can be drawn at it.
    const BackgroundLayer& background = document.tpl().background;
    if (isDrawableCanvas(background))
        return;
    const QString title = QStringLiteral("尺寸过大");
    const QString text =
        QString::fromStdString(largestCanvasText(background, typed == m_widthField));
    // The text only follows the other side: while it stays open, further keys change nothing.
    const auto open = m_context.balloons().open();
    if (std::none_of(open.begin(), open.end(), [&](const Balloon* balloon) {
            return balloon->control() == typed && balloon->title() == title &&
                   balloon->text() == text;
        }))
        m_context.balloons().show(typed, title, text);
}

void BackgroundPanel::switchUnit()
{
    const int index = m_unitBox->currentIndex();
    if (index < 0)
        return;
    m_context.document().setBackgroundUnit(static_cast<SizeUnit>(index));
}

void BackgroundPanel::applyUnitLimits()
{
    const SizeFieldLimits limits =
        sizeFieldLimits(static_cast<SizeUnit>(m_unitBox->currentIndex()));
    m_widthField->setMaxLength(limits.widthMaxLength);
    m_heightField->setMaxLength(limits.heightMaxLength);
    m_digitsOnly = limits.digitsOnly;
}

FilteredField::Rules BackgroundPanel::sizeFieldRules(FilteredField** field)
{
    const auto refuse = [this, field] { refuseCharacter(*field); };
    return {[this](char16_t ch, int position) {
                return acceptsTypedCharacter(ch, position, m_digitsOnly);
            },
            [this](const std::string& result) { return acceptsPastedText(result, m_digitsOnly); },
            refuse, refuse};
}

void BackgroundPanel::colorBoxChanged()
{
    const int index = m_colorBox->currentIndex();
    if (index == kColorChoose) {
        m_swatch->setEnabled(true);
        m_swatch->update();
        runColorDialog();
        m_colorBox->setFocus();
        return;
    }
    m_swatch->setEnabled(false);
    m_swatch->update();
    if (index < 0)
        return;
    m_context.document().setBackgroundColorMode(static_cast<BackgroundColorMode>(index));
}

void BackgroundPanel::runColorDialog()
{
    EditorDocument& document = m_context.document();
    const BackgroundLayer& background = document.tpl().background;
    if (const auto color = m_context.prompts().chooseColor(background.chosenColor, nullptr)) {
        document.setChosenColor(*color);
        return;
    }
    if (const auto mode = colorModeAfterCancel(backgroundColorText(background))) {
        const QSignalBlocker blocker(m_colorBox);
        m_colorBox->setCurrentIndex(static_cast<int>(*mode));
        m_swatch->setEnabled(false);
        m_swatch->update();
    }
}

void BackgroundPanel::refuseCharacter(QLineEdit* field)
{
    QApplication::beep();
    m_context.balloons().show(field, QStringLiteral("不能接受的字符"),
                             QStringLiteral("您只能在此处键入数字。"), BalloonIcon::Error);
}

} // namespace torvale
