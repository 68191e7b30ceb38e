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
#include <filesystem>
#include <memory>
#include <utility>

namespace torvale {

namespace {

constexpr int kLabelLeft = 10;
constexpr int kWindowWidth = 280;
constexpr int kTextWindowHeight = 383;
constexpr int kRowHeight = 26;
constexpr int kGap = 10;
constexpr int kSwatchWidth = 64;

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

LayerWindow::LayerWindow(EditorContext& context, QWidget* owner, int clientHeight,
                         const char* objectName, LayerType type)
    : QWidget(owner, Qt::Tool), m_context(context)
{
    setObjectName(QString::fromLatin1(objectName));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFixedSize(kWindowWidth, clientHeight);
    if (const QScreen* screen = owner->screen() ? owner->screen() : QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    // A shape is the same on every card: it has no column.
    if (type != LayerType::Shape) {
        m_columnBox = new QComboBox(this);
        m_columnBox->addItems({QString::fromUtf8(kFixedContentEntry), QString()});
        m_columnBox->setGeometry(kControlLeft, addRow("绑定列名："), kControlWidth, 22);
        m_columnBox->setObjectName(QStringLiteral("columnBox"));
        connect(m_columnBox, &QComboBox::currentIndexChanged, this, [this](int index) {
            if (m_filling || index < 0)
                return;
            writeField("bind_col_name", [&](Layer& l) {
                applyColumnListEntry(l, index, m_context.document().csvColumns());
            });
        });
    }
    addFieldRows(type);
    addShowIfColumnBox();
    addGeometryRows();
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
    // The controls a window makes itself were made after the table's rows: Tab goes down the
    // rows as they stand, left to right within a row.
    std::vector<QWidget*> stops;
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child->focusPolicy() & Qt::TabFocus)
            stops.push_back(child);
    }
    std::stable_sort(stops.begin(), stops.end(), [](const QWidget* a, const QWidget* b) {
        return std::pair(a->y(), a->x()) < std::pair(b->y(), b->x());
    });
    for (std::size_t i = 1; i < stops.size(); ++i)
        setTabOrder(stops[i - 1], stops[i]);
    QWidget::showEvent(event);
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

void LayerWindow::addFieldRows(LayerType type)
{
    std::vector<std::pair<const LayerFieldInfo*, const FieldControl*>> controls;
    for (const LayerFieldInfo& field : layerFields()) {
        for (const FieldControl& control : field.controls) {
            if (control.kind != ControlKind::None && (control.windows & layerTypeBit(type)))
                controls.emplace_back(&field, &control);
        }
    }
    std::stable_sort(controls.begin(), controls.end(),
                     [](const auto& a, const auto& b) { return a.second->row < b.second->row; });
    int top = 0;
    int x = 0;
    std::optional<int> row;
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const auto [field, control] = controls[i];
        const bool labelled = control->caption && control->kind != ControlKind::Check;
        if (row != control->row) {
            // A row's first control: its caption as the row's label. A check box that other
            // controls follow on its row stands in the label column to leave them room.
            row = control->row;
            top = addRow(labelled ? control->caption : nullptr);
            const bool followed = i + 1 < controls.size() && controls[i + 1].second->row == row;
            const bool check = control->kind == ControlKind::Check;
            x = labelled || !followed || !check ? kControlLeft : kLabelLeft;
        } else if (labelled) {
            auto* label = new QLabel(QString::fromUtf8(control->caption), this);
            label->move(x, top + 4);
            x += label->sizeHint().width();
        }
        QWidget* widget = makeControl(*field, *control, x, top);
        if (widget)
            x = widget->geometry().right() + 1 + kGap;
        m_rows.push_back({field, control, widget, top});
    }
}

QWidget* LayerWindow::makeControl(const LayerFieldInfo& field, const FieldControl& control, int x,
                                  int top)
{
    const int rest = control.width > 0
                         ? control.width
                         : std::max(kControlLeft + kControlWidth - x, kGeometryFieldWidth);
    const QString name = QString::fromLatin1(field.member);
    switch (control.kind) {
    case ControlKind::Line: {
        auto* edit = new QLineEdit(this);
        edit->setMaxLength(control.maxLength);
        edit->setGeometry(x, top, rest, 22);
        connect(edit, &QLineEdit::editingFinished, this,
                [this] { m_context.document().endMerging(); });
        connect(edit, &QLineEdit::textChanged, this, [this, &field](const QString& text) {
            if (m_filling)
                return;
            writeField(
                field.member, [&](Layer& l) { setFieldValue(field, l, text.toStdString()); }, true);
            fieldWritten(field);
        });
        edit->setObjectName(name);
        return edit;
    }
    case ControlKind::Number: {
        // A value below the minimum empties the field, one above the maximum is stored as the
        // maximum, and a field left empty gets the layer's value back.
        FilteredField* edit = numberField(this, control.maxLength);
        edit->setStepping(control.minimum, control.maximum);
        edit->setGeometry(x, top, kGeometryFieldWidth, 22);
        connect(edit, &QLineEdit::textEdited, this, [this, edit, &field, &control] {
            const NumericFieldValue value =
                numericFieldValue(edit->text().toStdString(), control.minimum);
            if (value.clearField) {
                edit->clear();
                return;
            }
            if (!value.value)
                return;
            const std::int64_t number = std::min(*value.value, control.maximum);
            writeField(
                field.member, [&](Layer& l) { setFieldValue(field, l, number); }, true);
            fieldWritten(field);
        });
        edit->setFocusLost([this, edit, &field] {
            restoreField(edit, [&field](const Layer& l) {
                return static_cast<std::int32_t>(fieldNumber(field, l));
            });
            m_context.document().endMerging();
        });
        edit->setObjectName(name);
        return edit;
    }
    case ControlKind::List: {
        auto* box = new QComboBox(this);
        for (const char* entry : control.entries)
            box->addItem(QString::fromUtf8(entry));
        box->setGeometry(x, top, rest, 22);
        connect(box, &QComboBox::currentIndexChanged, this, [this, &field, &control](int index) {
            if (m_filling || index < 0)
                return;
            const FieldValue value = controlEntryValue(field, control, index);
            writeField(field.member, [&](Layer& l) { setFieldValue(field, l, value); });
            fieldWritten(field);
        });
        box->setObjectName(name);
        return box;
    }
    case ControlKind::Check: {
        auto* box = new QCheckBox(QString::fromUtf8(control.caption), this);
        box->setGeometry(x, top, std::min(box->sizeHint().width(), rest), 22);
        // On a text member the box means "none": checked empties it, unchecked gives the
        // default back.
        connect(box, &QCheckBox::toggled, this, [this, &field](bool on) {
            if (m_filling)
                return;
            const FieldValue value =
                isTextField(field) ? (on ? FieldValue(std::string()) : defaultFieldValue(field))
                                   : FieldValue(std::int64_t{on});
            writeField(field.member, [&](Layer& l) { setFieldValue(field, l, value); });
            fieldWritten(field);
        });
        box->setObjectName(name);
        return box;
    }
    case ControlKind::Swatch: {
        auto made = std::make_shared<QWidget*>(nullptr);
        auto* swatch = new ColorSwatch(
            this,
            [this, &field]() -> std::optional<std::uint32_t> {
                const Layer* target = layer();
                return target ? fieldColor(field, *target) : std::nullopt;
            },
            [this, &field, made] { chooseColor(field, *made); });
        *made = swatch;
        swatch->setGeometry(x, top + 1, kSwatchWidth, 19);
        swatch->setObjectName(name);
        return swatch;
    }
    case ControlKind::Custom:
    case ControlKind::None:
        break;
    }
    return nullptr;
}

void LayerWindow::addShowIfColumnBox()
{
    m_showIfColumnBox = new QComboBox(this);
    m_showIfColumnBox->setObjectName(QStringLiteral("showIfColumnBox"));
    m_showIfColumnBox->setGeometry(kControlLeft, rowTop("showIfColumn"), kControlWidth, 22);
    connect(m_showIfColumnBox, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (m_filling || index < 0)
            return;
        // Entries after the data file's columns: the layer's own column, kept as it is.
        const auto& columns = m_context.document().csvColumns();
        const auto at = static_cast<std::size_t>(index);
        writeField("showIfColumn", [&](Layer& l) {
            if (at == 0)
                l.showIfColumn.clear();
            else if (at <= columns.size())
                l.showIfColumn = columns[at - 1];
        });
    });
}

void LayerWindow::enableShowIfControls(const Layer& layer)
{
    const bool ruled = !layer.showIfColumn.empty();
    showIfOpBox()->setEnabled(ruled);
    showIfValueField()->setEnabled(ruled && layer.showIfOp != ShowIfOp::Empty &&
                                   layer.showIfOp != ShowIfOp::NotEmpty);
}

void LayerWindow::chooseColor(const LayerFieldInfo& field, QWidget* swatch)
{
    const Layer* target = layer();
    const auto current = target ? fieldColor(field, *target) : std::nullopt;
    if (!current)
        return; // a colour that is none: its box says so
    const auto color = m_context.prompts().chooseColor(*current, this);
    if (!color || *color == *current)
        return;
    writeField(field.member, [&](Layer& l) { setFieldColor(field, l, *color); });
    fieldWritten(field);
    swatch->update();
}

QWidget* LayerWindow::fieldControl(std::string_view member, ControlKind kind) const
{
    for (const FieldRow& row : m_rows) {
        if (row.widget && member == row.field->member &&
            (kind == ControlKind::None || kind == row.control->kind))
            return row.widget;
    }
    return nullptr;
}

int LayerWindow::rowTop(std::string_view member) const
{
    for (const FieldRow& row : m_rows) {
        if (member == row.field->member)
            return row.top;
    }
    return 0;
}

void LayerWindow::fillFieldRows(const Layer& layer)
{
    for (const FieldRow& row : m_rows) {
        const LayerFieldInfo& field = *row.field;
        switch (row.control->kind) {
        case ControlKind::Line:
        case ControlKind::Number:
            static_cast<QLineEdit*>(row.widget)
                ->setText(QString::fromStdString(fieldText(field, layer)));
            break;
        case ControlKind::List:
            static_cast<QComboBox*>(row.widget)
                ->setCurrentIndex(controlEntryIndex(field, *row.control, layer));
            break;
        case ControlKind::Check:
            static_cast<QCheckBox*>(row.widget)
                ->setChecked(isTextField(field) ? fieldText(field, layer).empty()
                                                : fieldNumber(field, layer) != 0);
            break;
        case ControlKind::Swatch:
            row.widget->update();
            break;
        case ControlKind::Custom:
        case ControlKind::None:
            break;
        }
    }
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
    // A window with more rows than its height holds grows to keep "应用" under them.
    if (const int needed = m_nextRow + 2 + 25 + 10; needed > height())
        setFixedSize(kWindowWidth, needed);
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
    fillFieldRows(*target);
    fillOwnControls(*target);
    enableShowIfControls(*target);
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
    const auto& columns = m_context.document().csvColumns();
    if (m_columnBox) {
        m_columnBox->clear();
        m_columnBox->addItems({QString::fromUtf8(kFixedContentEntry), QString()});
        for (const std::string& column : columns)
            m_columnBox->addItem(qs(column));
        m_columnBox->setCurrentIndex(target ? columnListIndex(*target, columns) : 1);
    }
    // A rule on a column the data file lacks stays shown as it is, for the batch check to
    // point at.
    m_showIfColumnBox->clear();
    m_showIfColumnBox->addItem(QStringLiteral("(总是显示)"));
    for (const std::string& column : columns)
        m_showIfColumnBox->addItem(qs(column));
    if (target && !target->showIfColumn.empty()) {
        const auto found = std::find(columns.begin(), columns.end(), target->showIfColumn);
        if (found == columns.end())
            m_showIfColumnBox->addItem(qs(target->showIfColumn));
        m_showIfColumnBox->setCurrentIndex(found == columns.end()
                                               ? m_showIfColumnBox->count() - 1
                                               : static_cast<int>(found - columns.begin()) + 1);
    }
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

std::string LayerWindow::mergeKey(const LayerFieldInfo& field) const
{
    return "field:" + std::string(field.mergeKey) + ":" + std::to_string(m_layer);
}

void LayerWindow::writeField(std::string_view member, const std::function<void(Layer&)>& change,
                             bool typed)
{
    const LayerFieldInfo* field = findLayerField(member);
    if (!field)
        return;
    // Typing in one field is one undo step until the field is left.
    write(field->group, change, typed && *field->mergeKey ? mergeKey(*field) : std::string());
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
    if (fields & FieldShowIf)
        enableShowIfControls(values);
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
    const auto [member, name] = field == m_xField       ? std::pair{&rect.x, "x"}
                                : field == m_yField     ? std::pair{&rect.y, "y"}
                                : field == m_widthField ? std::pair{&rect.width, "width"}
                                                        : std::pair{&rect.height, "height"};
    *member = *value.value;
    const LayerFieldInfo* info = findLayerField(name);
    const EditStep step =
        m_context.document().beginStep({}, info ? mergeKey(*info) : std::string());
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
    : LayerWindow(context, owner, kTextWindowHeight, "textLayerWindow", LayerType::Text)
{
    // The name the batch's balloons find the content field by.
    demoField()->setObjectName(QStringLiteral("demoField"));
    // A font mapped or unmapped while the program runs is offered or withdrawn at once.
    m_fontSubscription = context.fontsChanged.subscribe([this](const FontChange& change) {
        if (change.added)
            fontAdded(QString::fromStdString(change.name));
        else
            fontRemoved(QString::fromStdString(change.name));
    });

    const int fontTop = rowTop("fontName");
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
            writeField(
                "fontSize", [&](Layer& l) { l.fontSize = size; }, true);
        showPrintedSize();
    });
    connect(m_sizeField, &QLineEdit::textEdited, this, [this] { sizeTyped(); });
    m_sizeField->setFocusLost([this] {
        restoreField(m_sizeField, [](const Layer& l) { return l.fontSize; });
        m_context.document().endMerging();
    });

    // Beside the spacing: what the size in points at 96 dpi prints at on this card.
    const int spacingTop = rowTop("characterSpacing");
    m_printedLabel = new QLabel(this);
    m_printedLabel->setObjectName(QStringLiteral("printedSize"));
    m_printedLabel->setGeometry(kControlLeft + kGeometryFieldWidth + 6, spacingTop,
                                kControlWidth - kGeometryFieldWidth - 6, 22);
    m_printedLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_boldButton = new QPushButton(QStringLiteral("B"), this);
    m_boldButton->setObjectName(QStringLiteral("boldButton"));
    m_boldButton->setCheckable(true);
    m_boldButton->setToolTip(QStringLiteral("粗体"));
    QFont bold(QStringLiteral("宋体"));
    bold.setPixelSize(14);
    bold.setWeight(QFont::Bold);
    m_boldButton->setFont(bold);
    m_boldButton->setGeometry(kControlLeft + kGeometryFieldWidth + 10, rowTop("isBold") - 1, 28,
                              24);
    connect(m_boldButton, &QPushButton::toggled, this, [this](bool on) {
        if (!m_filling)
            writeField("isBold", [&](Layer& l) { l.isBold = on ? 1 : 0; });
    });
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
    enableControls(layer);
}

void TextLayerWindow::fieldWritten(const LayerFieldInfo& field)
{
    if (const Layer* target = layer())
        enableControls(*target);
    if (field.group == FieldDemo)
        checkFont();
}

void TextLayerWindow::enableControls(const Layer& layer)
{
    // Justified text spreads its letters itself; the minimum size is for shrinking text.
    spacingField()->setEnabled(layer.tHAlign != 3);
    minSizeField()->setEnabled(layer.autoShrink);
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
    writeField("fontName", [&](Layer& l) { l.fontName = name; });
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
        writeField(
            "fontSize", [&](Layer& l) { l.fontSize = *value.value; }, true);
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
