#include "ui/dialogs/font_mapping_dialog.h"

#include "app/font_mapping.h"
#include "ui/balloon.h"
#include "ui/editor_context.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>
#include <algorithm>
#include <filesystem>

namespace torvale {

namespace {

constexpr int kNameFieldLength = 32;

QString qs(const std::string& text)
{
    return QString::fromStdString(text);
}

QPushButton* button(const QString& text, QWidget* parent, int x, int y)
{
    auto* pushButton = new QPushButton(text, parent);
    pushButton->setGeometry(x, y, 75, 25);
    pushButton->setAutoDefault(false);
    return pushButton;
}

QLabel* label(const QString& text, QWidget* parent, int x, int y, int width = 66, int height = 19)
{
    auto* staticText = new QLabel(text, parent);
    staticText->setGeometry(x, y, width, height);
    return staticText;
}

void centreOnScreen(QWidget* window)
{
    QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (screen)
        window->move(screen->availableGeometry().center() - window->rect().center());
}

} // namespace

FontMappingAddDialog::FontMappingAddDialog(EditorContext& context, QWidget* owner)
    : QDialog(owner), m_context(context)
{
    setObjectName(QStringLiteral("Font_Mapping_Add"));
    setWindowTitle(QStringLiteral("字体文件映射 - 添加"));
    setFixedSize(551, 216);

    label(QStringLiteral("字体名称："), this, 26, 33);
    m_nameField = new QLineEdit(this);
    m_nameField->setGeometry(93, 30, 178, 20);
    m_nameField->setMaxLength(kNameFieldLength);
    label(QStringLiteral("字体路径："), this, 26, 74);
    m_pathField = new QLineEdit(this);
    m_pathField->setGeometry(93, 70, 350, 20);
    m_chooseButton = button(QStringLiteral("选择..."), this, 448, 67);
    label(QStringLiteral("注意：字体路径中不能含有中文。"), this, 93, 106, 400);
    m_okButton = button(QStringLiteral("确定"), this, 188, 161);
    m_okButton->setDefault(true);
    m_cancelButton = button(QStringLiteral("取消"), this, 280, 161);

    connect(m_chooseButton, &QPushButton::clicked, this, &FontMappingAddDialog::choosePath);
    connect(m_okButton, &QPushButton::clicked, this, &FontMappingAddDialog::accept);
    connect(m_cancelButton, &QPushButton::clicked, this, &FontMappingAddDialog::reject);
}

void FontMappingAddDialog::prepare()
{
    m_nameField->clear();
    m_pathField->clear();
    m_result = {};
    centreOnScreen(this);
    m_nameField->setFocus();
}

std::optional<FontMappingInput> FontMappingAddDialog::ask()
{
    prepare();
    if (exec() != QDialog::Accepted)
        return std::nullopt;
    return m_result;
}

void FontMappingAddDialog::choosePath()
{
    std::filesystem::path& folder =
        m_context.document().settings().dialogFolders[static_cast<int>(DialogFolder::ChooseFont)];
    const auto path = m_context.prompts().openFile(
        {"选择字体文件", "字体文件(*.TTF;*.TTC;*.OTF)", "*.TTF;*.TTC;*.OTF", folder.string(), "", {}});
    if (!path)
        return;
    folder = std::filesystem::path(*path).parent_path();
    // The chooser keeps such paths out; a path typed by hand is the user's own choice.
    if (hasNonAsciiCharacter(*path)) {
        m_context.prompts().messageOver(this, "提示", PromptIcon::Warning, fontPathWarning(*path),
                                       PromptButtons::Ok);
        return;
    }
    m_pathField->setText(qs(*path));
}

void FontMappingAddDialog::accept()
{
    const FontMappingCheck check = checkFontMapping(
        m_nameField->text().toStdString(), m_pathField->text().toStdString(), m_context.fonts());
    if (!check.ok()) {
        QLineEdit* field = check.field == FontMappingField::Name ? m_nameField : m_pathField;
        m_context.balloons().show(field, QStringLiteral("提示"), qs(check.message),
                                 BalloonIcon::Warning);
        field->setFocus();
        return;
    }
    m_result = {check.name, check.path};
    QDialog::accept();
}

void FontMappingAddDialog::done(int result)
{
    // Balloons point at this dialog's fields: they go with it.
    m_context.balloons().dismissAll();
    QDialog::done(result);
}

FontMappingDialog::FontMappingDialog(EditorContext& context, QWidget* owner) : QDialog(owner), m_context(context)
{
    setObjectName(QStringLiteral("Font_Mapping"));
    setWindowTitle(QStringLiteral("字体文件映射"));
    setFixedSize(768, 356);

    m_list = new QTreeWidget(this);
    // The list spans the whole width: a wider list would hide its own scroll bar.
    m_list->setGeometry(0, 0, 768, 300);
    m_list->setColumnCount(2);
    m_list->setHeaderLabels({QStringLiteral("字体名称"), QStringLiteral("字体路径")});
    m_list->setColumnWidth(0, 260);
    m_list->setColumnWidth(1, 468);
    m_list->setRootIsDecorated(false);
    m_list->setItemsExpandable(false);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->header()->setStretchLastSection(false);

    label(QStringLiteral("有些字体在软件中没有显示？可通过字体映射来使用这些字体。注意：字体路径中"
                         "不能含有中文。"),
          this, 9, 321, 560);
    m_addButton = button(QStringLiteral("添加"), this, 593, 315);
    m_addButton->setDefault(true);
    m_removeButton = button(QStringLiteral("删除"), this, 678, 315);
    // Esc closes the dialog as this hidden button would.
    m_cancelButton = button(QStringLiteral("取消"), this, 678, 315);
    m_cancelButton->hide();

    m_addDialog = new FontMappingAddDialog(context, this);

    connect(m_addButton, &QPushButton::clicked, this, &FontMappingDialog::add);
    connect(m_removeButton, &QPushButton::clicked, this, &FontMappingDialog::removeSelected);
    connect(m_cancelButton, &QPushButton::clicked, this, &FontMappingDialog::reject);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this,
            [this] { m_removeButton->setEnabled(!m_list->selectedItems().isEmpty()); });
}

void FontMappingDialog::prepare()
{
    m_list->clear();
    for (const FontEntry& entry : loadFontMapping(m_context.document().store()))
        m_list->addTopLevelItem(
            new QTreeWidgetItem(QStringList{qs(entry.family), qs(entry.fontReference)}));
    m_removeButton->setEnabled(false);
    centreOnScreen(this);
}

void FontMappingDialog::run()
{
    prepare();
    exec();
}

void FontMappingDialog::add()
{
    const auto mapping = m_addDialog->ask();
    if (!mapping || !m_context.addFontMapping(mapping->first, mapping->second))
        return;
    m_list->addTopLevelItem(
        new QTreeWidgetItem(QStringList{qs(mapping->first), qs(mapping->second)}));
}

void FontMappingDialog::removeSelected()
{
    std::vector<int> rows;
    for (QTreeWidgetItem* item : m_list->selectedItems())
        rows.push_back(m_list->indexOfTopLevelItem(item));
    std::sort(rows.rbegin(), rows.rend());
    for (const int row : rows) {
        const std::string name = m_list->topLevelItem(row)->text(0).toStdString();
        delete m_list->takeTopLevelItem(row);
        m_context.removeFontMapping(name);
    }
    m_removeButton->setEnabled(!m_list->selectedItems().isEmpty());
    m_list->setFocus();
}

} // namespace torvale
