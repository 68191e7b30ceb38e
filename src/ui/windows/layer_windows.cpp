#include "ui/windows/layer_windows.h"

#include "app/canvas_geometry.h"
#include "app/layer_properties.h"
#include "app/panel_rules.h"
#include "common/text.h"
#include "model/template_file.h"
#include "render/picture_input.h"
#include "ui/balloon.h"
#include "ui/editor_context.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <algorithm>
#include <climits>
#include <filesystem>
#include <memory>
#include <utility>

namespace torvale {

namespace {

constexpr int kLabelLeft = 10;
constexpr int kWindowWidth = 280;
constexpr int kTextWindowHeight = 331;
constexpr int kGeometryFieldWidth = 58;

QString qs(const std::string& text)
{
    return QString::fromStdString(text);
}

/// The font list: when it opens, it is as wide as its longest name (by characters) needs.
class FontBox : public QComboBox {
public:
    using QComboBox::QComboBox;

    void showPopup() override
    {
        QString longest;
        for (int i = 0; i < count(); ++i) {
            if (itemText(i).size() > longest.size())
                longest = itemText(i);
        }
        view()->setMinimumWidth(fontMetrics().horizontalAdvance(longest) + 22);
        QComboBox::showPopup();
    }
};

/// The font size box: when it opens it offers the usual sizes, the current one first when it
/// is not among them, and keeps the current text. Up and Down step the typed size by one, as
/// in every number field, instead of jumping between the list's entries (the box, not its
/// field, has the keyboard focus).
class SizeBox : public QComboBox {
public:
    using QComboBox::QComboBox;

    void keyPressEvent(QKeyEvent* event) override
    {
        auto* field = static_cast<FilteredField*>(lineEdit());
        if ((event->key() == Qt::Key_Up || event->key() == Qt::Key_Down) &&
            !(event->modifiers() & (Qt::AltModifier | Qt::ControlModifier)) && field &&
            field->step(event->key() == Qt::Key_Up))
            return;
        QComboBox::keyPressEvent(event);
    }

    void showPopup() override
    {
        const QString current = currentText();
        {
            const QSignalBlocker blocker(this);
            clear();
            for (const std::string& entry : fontSizeEntries(current.toStdString()))
                addItem(qs(entry));
            setCurrentIndex(findText(current));
            setEditText(current);
        }
        QComboBox::showPopup();
    }
};

} // namespace

LayerWindow::LayerWindow(EditorContext& context, QWidget* owner, int clientHeight, const char* objectName)
    : QWidget(owner, Qt::Tool), m_context(context)
{
    setObjectName(QString::fromLatin1(objectName));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFixedSize(kWindowWidth, clientHeight);
    if (const QScreen* screen = owner->screen() ? owner->screen() : QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    m_columnBox = addList(addRow("绑定列名："), {QString::fromUtf8(kFixedContentEntry), QString()});
    m_columnBox->setObjectName(QStringLiteral("columnBox"));
    connect(m_columnBox, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (m_filling || index < 0)
            return;
        writeChoice(FieldBinding, [&](Layer& l) {
            applyColumnListEntry(l, index, m_context.document().csvColumns());
        });
    });
    m_subscription = context.document().subscribe([this](const DocumentEvent& event) {
        switch (event.change) {
        case DocumentChange::DataSource:
            refreshColumnList();
            break;
        case DocumentChange::LayersRemoved:
            if (m_layer && !m_context.document().layer(m_layer))
                hideLayer();
            break;
        case DocumentChange::LayerFields:
            if (std::find(event.layers.begin(), event.layers.end(), m_layer) != event.layers.end())
                layerChanged(event.fields);
            break;
        default:
            break;
        }
    });
    // The rectangle being placed or drawn shows live in the position and size fields.
    m_draftSubscription = context.draftChanged.subscribe([this](const std::optional<LayerRect>& draft) {
        if (!draft || draft->id != m_layer)
            return;
        const auto texts = draftFieldTexts(*draft);
        const bool filling = std::exchange(m_filling, true);
        QLineEdit* fields[] = {m_xField, m_yField, m_widthField, m_heightField};
        for (std::size_t i = 0; i < texts.size(); ++i)
            fields[i]->setText(QString::fromStdString(texts[i]));
        m_filling = filling;
    });
}

int LayerWindow::addRow(const char* label)
{
    const int top = m_nextRow;
    if (label) {
        auto* text = new QLabel(QString::fromUtf8(label), this);
        text->move(kLabelLeft, top + 4);
    }
    m_nextRow += kRowHeight;
    return top;
}

LayerWindow::~LayerWindow()
{
    // FilteredField has no meta-object of its own: findChildren would give every line edit.
    for (QObject* child : findChildren<QObject*>()) {
        if (auto* field = dynamic_cast<FilteredField*>(child))
            field->setFocusLost({});
        child->blockSignals(true);
    }
}

void LayerWindow::showEvent(QShowEvent* event)
{
    // Once, when every control of the window is made.
    if (std::exchange(m_tabStopsSet, true)) {
        QWidget::showEvent(event);
        return;
    }
    for (QWidget* child : findChildren<QWidget*>()) {
        const auto* list = qobject_cast<QComboBox*>(child);
        const bool typed = qobject_cast<QLineEdit*>(child) || (list && list->isEditable());
        if (!typed && (child->focusPolicy() & Qt::TabFocus))
            child->setFocusPolicy(Qt::ClickFocus);
    }
    QWidget::showEvent(event);
}

QComboBox* LayerWindow::addList(int top, const QStringList& items, int x, int width)
{
    auto* box = new QComboBox(this);
    box->addItems(items);
    box->setGeometry(x, top, width, 22);
    return box;
}

FilteredField* LayerWindow::numberField(QWidget* parent, int maxLength)
{
    // The refusals name the field, known only once it is made.
    auto made = std::make_shared<FilteredField*>(nullptr);
    auto* field = new FilteredField(
        parent, {[](char16_t ch, int position) { return acceptsTypedCharacter(ch, position, true); },
                 [](const std::string& result) { return acceptsPastedInteger(result); },
                 // A typed character is an error; a refused paste only a warning.
                 [this, made] { refuse(*made, "不能接受的字符2", BalloonIcon::Error); },
                 [this, made] { refuse(*made, "不能接受的字符3", BalloonIcon::Warning); }});
    *made = field;
    field->setMaxLength(maxLength);
    return field;
}

FilteredField* LayerWindow::memberField(const char* objectName, int maxLength, std::int32_t minimum,
                                        std::int32_t maximum, LayerFieldSet fields,
                                        std::int32_t Layer::*member)
{
    FilteredField* field = numberField(this, maxLength);
    field->setObjectName(QString::fromLatin1(objectName));
    field->setStepping(minimum, maximum);
    connect(field, &QLineEdit::textEdited, this, [=, this] {
        const NumericFieldValue value = numericFieldValue(field->text().toStdString(), minimum);
        if (value.clearField)
            field->clear();
        else if (value.value)
            writeFields(fields, [&](Layer& l) { l.*member = std::min(*value.value, maximum); });
    });
    field->setFocusLost([=, this] {
        restoreField(field, [member](const Layer& l) { return l.*member; });
        m_context.document().endMerging();
    });
    return field;
}

void LayerWindow::refuse(QLineEdit* field, const char* title, BalloonIcon icon)
{
    QApplication::beep();
    m_context.balloons().show(field, QString::fromUtf8(title), QStringLiteral("您只能在此处键入数字。"),
                             icon);
}

void LayerWindow::addGeometryRows()
{
    const auto pair = [this](const char* first, const char* second, FilteredField*& a,
                             FilteredField*& b, bool size) {
        const int top = addRow(first);
        a = numberField(this, 4);
        a->setGeometry(kControlLeft, top, kGeometryFieldWidth, 22);
        auto* label = new QLabel(QString::fromUtf8(second), this);
        label->move(kControlLeft + kGeometryFieldWidth + 10, top + 4);
        b = numberField(this, 4);
        b->setGeometry(kControlLeft + kControlWidth - kGeometryFieldWidth, top,
                       kGeometryFieldWidth, 22);
        for (FilteredField* field : {a, b}) {
            field->setStepping(size ? 1 : 0, 9999);
            connect(field, &QLineEdit::textEdited, this,
                    [this, field, size] { geometryEdited(field, size); });
            field->setFocusLost([this, field] {
                restoreField(field);
                m_context.document().endMerging();
            });
        }
    };
    pair("x坐标：", "y坐标：", m_xField, m_yField, false);
    pair("宽度：", "高度：", m_widthField, m_heightField, true);
    m_xField->setObjectName(QStringLiteral("xField"));
    m_yField->setObjectName(QStringLiteral("yField"));
    m_widthField->setObjectName(QStringLiteral("widthField"));
    m_heightField->setObjectName(QStringLiteral("heightField"));
    m_applyButton = new QPushButton(QStringLiteral("应用"), this);
    m_applyButton->setGeometry(kWindowWidth - 10 - 75, height() - 10 - 25, 75, 25);
    connect(m_applyButton, &QPushButton::clicked, this,
            [this] { m_context.layerRedrawRequested.notify(m_layer); });
}

const Layer* LayerWindow::layer() const
{
    return m_layer ? m_context.document().layer(m_layer) : nullptr;
}

void LayerWindow::showLayer(LayerId id)
{
    m_layer = id;
    const Layer* target = layer();
    if (!target) {
        hideLayer();
        return;
    }
    setWindowTitle(QStringLiteral("图层#%1 - 属性").arg(target->number));
    fill();
    // A layer being placed gets its window once its rectangle is drawn.
    if (!isVisible() && m_context.state().mode != CanvasMode::PlacingLayer)
        show();
}

void LayerWindow::hideLayer()
{
    hide();
    m_layer = 0;
}

void LayerWindow::fill()
{
    const Layer* target = layer();
    if (!target)
        return;
    m_filling = true;
    refreshColumnList();
    fillOwnControls(*target);
    // Every placed layer shows its rectangle, one at the card's left edge (x = 0) too.
    const bool placed = target->hasRect();
    m_xField->setText(placed && target->x >= 0 ? QString::number(target->x) : QString());
    m_yField->setText(placed && target->y >= 0 ? QString::number(target->y) : QString());
    m_widthField->setText(placed ? QString::number(std::abs(target->width)) : QString());
    m_heightField->setText(placed ? QString::number(std::abs(target->height)) : QString());
    m_filling = false;
}

void LayerWindow::refreshColumnList()
{
    const Layer* target = layer();
    const bool filling = m_filling;
    m_filling = true;
    m_columnBox->clear();
    m_columnBox->addItems({QString::fromUtf8(kFixedContentEntry), QString()});
    const auto& columns = m_context.document().csvColumns();
    for (const std::string& column : columns)
        m_columnBox->addItem(qs(column));
    m_columnBox->setCurrentIndex(target ? columnListIndex(*target, columns) : 1);
    m_filling = filling;
}

void LayerWindow::updatePositionFields()
{
    const Layer* target = layer();
    if (!target)
        return;
    for (auto [field, value] : {std::pair{m_xField, target->x}, std::pair{m_yField, target->y}}) {
        if (!field->hasFocus())
            field->setText(value >= 0 && target->hasRect() ? QString::number(value) : QString());
    }
}

void LayerWindow::updateSizeFields()
{
    const Layer* target = layer();
    if (!target)
        return;
    for (auto [field, value] :
         {std::pair{m_widthField, target->width}, std::pair{m_heightField, target->height}}) {
        if (!field->hasFocus())
            field->setText(target->hasRect() ? QString::number(std::abs(value)) : QString());
    }
}

void LayerWindow::layerChanged(LayerFieldSet fields)
{
    if (m_filling || !layer())
        return;
    if (fields & FieldGeometry) {
        updatePositionFields();
        updateSizeFields();
    }
    if (fields & ~FieldGeometry)
        fill();
}

void LayerWindow::writeFields(LayerFieldSet fields, const std::function<void(Layer&)>& change)
{
    // Typing in one field is one undo step until the field is left.
    const QWidget* field = QApplication::focusWidget();
    write(fields, change,
          field ? "field:" + field->objectName().toStdString() + ":" + std::to_string(m_layer)
                : std::string());
}

void LayerWindow::writeChoice(LayerFieldSet fields, const std::function<void(Layer&)>& change)
{
    write(fields, change, {});
}

void LayerWindow::write(LayerFieldSet fields, const std::function<void(Layer&)>& change,
                        const std::string& stepKey)
{
    const Layer* target = layer();
    if (!target || m_filling)
        return;
    Layer values = *target;
    change(values);
    const EditStep step = m_context.document().beginStep({}, stepKey);
    // The window's own edit is already shown: the announcement must not refill it.
    m_filling = true;
    m_context.document().setLayerFields({m_layer}, fields, values);
    m_filling = false;
}

void LayerWindow::geometryEdited(QLineEdit* field, bool size)
{
    const Layer* target = layer();
    if (!target || m_filling)
        return;
    const NumericFieldValue value = numericFieldValue(field->text().toStdString(), size ? 1 : 0);
    if (value.clearField) {
        field->clear();
        return;
    }
    if (!value.value)
        return;
    LayerRect rect{m_layer, target->x, target->y, target->width, target->height};
    std::int32_t* member = field == m_xField   ? &rect.x
                           : field == m_yField ? &rect.y
                           : field == m_widthField ? &rect.width
                                                   : &rect.height;
    *member = *value.value;
    const EditStep step = m_context.document().beginStep(
        {}, "field:" + field->objectName().toStdString() + ":" + std::to_string(m_layer));
    m_context.document().setLayerGeometry({rect});
}

void LayerWindow::restoreField(QLineEdit* field)
{
    const Layer* target = layer();
    if (!target || !target->hasRect())
        return;
    restoreField(field, [this, field](const Layer& l) {
        return field == m_xField       ? l.x
               : field == m_yField     ? l.y
               : field == m_widthField ? l.width
                                       : l.height;
    });
}

void LayerWindow::restoreField(QLineEdit* field,
                               const std::function<std::int32_t(const Layer&)>& value)
{
    const Layer* target = layer();
    if (!target || !field->text().isEmpty())
        return;
    const bool filling = m_filling;
    m_filling = true;
    field->setText(QString::number(value(*target)));
    m_filling = filling;
}

// ---- the text layer window

TextLayerWindow::TextLayerWindow(EditorContext& context, QWidget* owner)
    : LayerWindow(context, owner, kTextWindowHeight, "textLayerWindow")
{
    // A font mapped or unmapped while the program runs is offered or withdrawn at once.
    m_fontSubscription = context.fontsChanged.subscribe([this](const FontChange& change) {
        if (change.added)
            fontAdded(QString::fromStdString(change.name));
        else
            fontRemoved(QString::fromStdString(change.name));
    });
    m_demoField = new QLineEdit(this);
    m_demoField->setObjectName(QStringLiteral("demoField"));
    m_demoField->setMaxLength(256);
    m_demoField->setGeometry(kControlLeft, addRow("演示文本："), kControlWidth, 22);
    connect(m_demoField, &QLineEdit::editingFinished, this, [this] { m_context.document().endMerging(); });
    connect(m_demoField, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (m_filling)
            return;
        writeFields(FieldDemo, [&](Layer& l) { l.text = text.toStdString(); });
        checkFont();
    });

    const int fontTop = addRow("字体：");
    m_fontBox = new FontBox(this);
    m_fontBox->setObjectName(QStringLiteral("fontBox"));
    m_fontBox->setEditable(true);
    m_fontBox->lineEdit()->setReadOnly(true);
    m_fontBox->setInsertPolicy(QComboBox::NoInsert);
    m_fontBox->setGeometry(kControlLeft, fontTop, 130, 22);
    fillFontList();
    connect(m_fontBox, &QComboBox::currentIndexChanged, this, [this] { fontChosen(); });

    m_sizeBox = new SizeBox(this);
    m_sizeBox->setObjectName(QStringLiteral("sizeBox"));
    m_sizeBox->setEditable(true);
    m_sizeBox->setInsertPolicy(QComboBox::NoInsert);
    m_sizeField = numberField(m_sizeBox, 3);
    m_sizeBox->setLineEdit(m_sizeField);
    m_sizeField->setStepping(1, 999);
    m_sizeBox->setGeometry(kControlLeft + 136, fontTop, kControlWidth - 136, 22);
    for (const std::string& size : fontSizeEntries({}))
        m_sizeBox->addItem(qs(size));
    connect(m_sizeBox, &QComboBox::activated, this, [this] {
        const std::int32_t size = m_sizeBox->currentText().toInt();
        if (size > 0)
            writeFields(FieldFont, [&](Layer& l) { l.fontSize = size; });
        showPrintedSize();
    });
    connect(m_sizeField, &QLineEdit::textEdited, this, [this] { sizeTyped(); });
    m_sizeField->setFocusLost([this] {
        if (const Layer* target = layer(); target && m_sizeField->text().isEmpty()) {
            m_filling = true;
            m_sizeField->setText(QString::number(target->fontSize));
            m_filling = false;
        }
        m_context.document().endMerging();
    });

    const int spacingTop = addRow("字间距：");
    m_spacingField = numberField(this, 3);
    m_spacingField->setObjectName(QStringLiteral("spacingField"));
    m_spacingField->setGeometry(kControlLeft, spacingTop, kGeometryFieldWidth, 22);
    // Under the size: what the size in points at 96 dpi prints at on this card.
    m_printedLabel = new QLabel(this);
    m_printedLabel->setObjectName(QStringLiteral("printedSize"));
    m_printedLabel->setGeometry(kControlLeft + kGeometryFieldWidth + 6, spacingTop,
                                kControlWidth - kGeometryFieldWidth - 6, 22);
    m_printedLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_spacingField->setStepping(0, 999);
    m_spacingField->setFocusLost([this] {
        restoreField(m_spacingField, [](const Layer& l) { return l.characterSpacing; });
        m_context.document().endMerging();
    });
    connect(m_spacingField, &QLineEdit::textEdited, this, [this] {
        const NumericFieldValue value =
            numericFieldValue(m_spacingField->text().toStdString(), INT_MIN);
        if (value.value)
            writeFields(FieldFont, [&](Layer& l) { l.characterSpacing = *value.value; });
    });
    m_boldButton = new QPushButton(QStringLiteral("B"), this);
    m_boldButton->setObjectName(QStringLiteral("boldButton"));
    m_boldButton->setCheckable(true);
    m_boldButton->setToolTip(QStringLiteral("粗体"));
    QFont bold(QStringLiteral("宋体"));
    bold.setPixelSize(14);
    bold.setWeight(QFont::Bold);
    m_boldButton->setFont(bold);
    m_boldButton->setGeometry(kControlLeft + kGeometryFieldWidth + 10, spacingTop - 1, 28, 24);
    connect(m_boldButton, &QPushButton::toggled, this, [this](bool on) {
        writeFields(FieldFont, [&](Layer& l) { l.isBold = on ? 1 : 0; });
    });

    // A text too large for the layer is drawn smaller, down to the minimum size.
    const int shrinkTop = addRow(nullptr);
    m_shrinkBox = new QCheckBox(QStringLiteral("自动缩小"), this);
    m_shrinkBox->setObjectName(QStringLiteral("shrinkBox"));
    m_shrinkBox->setGeometry(kLabelLeft, shrinkTop, 90, 22);
    connect(m_shrinkBox, &QCheckBox::toggled, this, [this](bool on) {
        m_minSizeField->setEnabled(on);
        writeFields(FieldFont, [&](Layer& l) { l.autoShrink = on; });
    });
    auto* minLabel = new QLabel(QStringLiteral("最小字号："), this);
    minLabel->move(kControlLeft + 10, shrinkTop + 4);
    m_minSizeField =
        memberField("minSizeField", 4, 1, kMaxMinFontSize, FieldFont, &Layer::minFontSize);
    m_minSizeField->setGeometry(kControlLeft + kGeometryFieldWidth + 20, shrinkTop,
                                kGeometryFieldWidth, 22);

    // A text wider than the layer wraps into up to this many lines.
    m_maxLinesField =
        memberField("maxLinesField", 3, 1, kMaxTextLines, FieldFont, &Layer::maxLines);
    m_maxLinesField->setGeometry(kControlLeft, addRow("最多行数："), kGeometryFieldWidth, 22);

    const int colorTop = addRow("颜色：");
    m_swatch = new ColorSwatch(
        this,
        [this]() -> std::optional<std::uint32_t> {
            const Layer* target = layer();
            return target ? std::optional<std::uint32_t>(target->color) : std::nullopt;
        },
        [this] { chooseColor(); });
    m_swatch->setObjectName(QStringLiteral("colorSwatch"));
    m_swatch->setGeometry(kControlLeft, colorTop + 1, 64, 19);

    m_horizontalBox = addList(addRow("水平对齐："), {QStringLiteral("左"), QStringLiteral("距中"),
                                                   QStringLiteral("右"), QStringLiteral("两端")});
    m_horizontalBox->setObjectName(QStringLiteral("horizontalBox"));
    connect(m_horizontalBox, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (m_filling || index < 0)
            return;
        m_spacingField->setEnabled(index != 3);
        writeFields(FieldAlignment, [&](Layer& l) { l.tHAlign = index; });
    });
    m_verticalBox = addList(addRow("垂直对齐："), {QStringLiteral("顶端"), QStringLiteral("距中"),
                                                 QStringLiteral("底部")});
    m_verticalBox->setObjectName(QStringLiteral("verticalBox"));
    connect(m_verticalBox, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0)
            writeFields(FieldAlignment, [&](Layer& l) { l.tVAlign = index; });
    });
    addGeometryRows();
}

QWidget* TextLayerWindow::swatch() const
{
    return m_swatch;
}

void TextLayerWindow::fillFontList()
{
    const bool filling = m_filling;
    m_filling = true;
    m_fontBox->clear();
    for (const std::string& name : fontListOrder(m_context.fonts().fontNames()))
        m_fontBox->addItem(qs(name));
    m_filling = filling;
}

void TextLayerWindow::fillOwnControls(const Layer& layer)
{
    m_demoField->setText(qs(layer.text));
    const auto listed = listedFontName(m_context.fonts(), layer.fontName);
    const int font = listed ? m_fontBox->findText(qs(*listed), Qt::MatchExactly) : -1;
    m_fontBox->setCurrentIndex(font);
    if (font < 0) {
        m_fontBox->setEditText(QString());
        m_context.balloons().show(m_fontBox,
                                 QStringLiteral("没找到【%1】字体").arg(qs(layer.fontName)),
                                 QStringLiteral("请重新选择一个字体"));
    }
    updateBoldButton(layer.fontName);
    m_boldButton->setChecked(layer.isBold != 0);
    m_sizeField->setText(QString::number(layer.fontSize));
    showPrintedSize();
    m_spacingField->setText(QString::number(layer.characterSpacing));
    m_spacingField->setEnabled(layer.tHAlign != 3);
    m_shrinkBox->setChecked(layer.autoShrink);
    m_minSizeField->setText(QString::number(layer.minFontSize));
    m_minSizeField->setEnabled(layer.autoShrink);
    m_maxLinesField->setText(QString::number(layer.maxLines));
    m_swatch->update();
    m_horizontalBox->setCurrentIndex(layer.tHAlign);
    m_verticalBox->setCurrentIndex(layer.tVAlign);
}

void TextLayerWindow::updateBoldButton(const std::string& family)
{
    m_boldButton->setVisible(isBoldSelectable(m_context.fonts(), family));
}

void TextLayerWindow::fontChosen()
{
    const Layer* target = layer();
    if (m_filling || !target || m_fontBox->currentIndex() < 0)
        return;
    const std::string name = m_fontBox->currentText().toStdString();
    if (name == target->fontName)
        return;
    writeFields(FieldFont, [&](Layer& l) { l.fontName = name; });
    updateBoldButton(name);
    checkFont();
}

void TextLayerWindow::sizeTyped()
{
    const NumericFieldValue value = numericFieldValue(m_sizeField->text().toStdString(), 1);
    if (value.clearField) {
        m_sizeField->clear();
        return;
    }
    if (value.value)
        writeFields(FieldFont, [&](Layer& l) { l.fontSize = *value.value; });
    showPrintedSize();
}

void TextLayerWindow::showPrintedSize()
{
    if (const Layer* target = layer())
        m_printedLabel->setText(
            qs(printedSizeText(target->fontSize, m_context.document().tpl().background.dpi)));
}

void TextLayerWindow::checkFont()
{
    const Layer* target = layer();
    if (!target)
        return;
    if (const auto warning = checkLayerFont(m_context.fonts(), target->fontName, target->text))
        m_context.balloons().show(m_fontBox, qs(warning->title), qs(warning->text));
}

void TextLayerWindow::chooseColor()
{
    const Layer* target = layer();
    if (!target)
        return;
    const auto color = m_context.prompts().chooseColor(target->color, this);
    if (!color || *color == target->color)
        return;
    writeFields(FieldColor, [&](Layer& l) {
        l.color = *color;
        l.htmlColor = colorToHtml(*color);
    });
    m_swatch->update();
}

void TextLayerWindow::fontAdded(const QString& name)
{
    // A mapping may take a name the list offers already (a stand-in Windows name).
    if (m_fontBox->findText(name, Qt::MatchFixedString) >= 0)
        return;
    const bool filling = m_filling;
    m_filling = true;
    m_fontBox->insertItem(0, name);
    m_filling = filling;
}

void TextLayerWindow::fontRemoved(const QString& name)
{
    // A stand-in name the mapping had taken over stays offered.
    if (m_context.fonts().hasFontName(name.toStdString()))
        return;
    const bool wasSelected =
        m_fontBox->currentIndex() >= 0 &&
        m_fontBox->currentText().compare(name, Qt::CaseInsensitive) == 0;
    {
        const bool filling = m_filling;
        m_filling = true;
        for (int i = m_fontBox->count() - 1; i >= 0; --i) {
            if (m_fontBox->itemText(i).compare(name, Qt::CaseInsensitive) == 0)
                m_fontBox->removeItem(i);
        }
        m_filling = filling;
    }
    // The layer's font is gone: the first font takes its place, as if chosen.
    if (wasSelected && m_fontBox->count() > 0) {
        const bool filling = m_filling;
        m_filling = true;
        m_fontBox->setCurrentIndex(0);
        m_filling = filling;
        fontChosen();
    }
}

} // namespace torvale
