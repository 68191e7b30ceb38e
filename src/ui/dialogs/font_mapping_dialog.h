#pragma once

#include <QDialog>
#include <optional>
#include <string>
#include <utility>

class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace torvale {

class EditorContext;

/// A font mapping the user entered: (name, path), both trimmed.
using FontMappingInput = std::pair<std::string, std::string>;

/// "字体文件映射 - 添加": a font name and a font file path. OK checks them and shows the first
/// problem as a balloon at its field; the dialog stays open until they pass or it is cancelled.
class FontMappingAddDialog : public QDialog {
    Q_OBJECT

public:
    FontMappingAddDialog(EditorContext& context, QWidget* owner);

    /// Runs modally with empty fields, the name focused, centred on the screen; the mapping
    /// entered, nothing when cancelled.
    std::optional<FontMappingInput> ask();
    /// Empties the fields, focuses the name and centres the window (ask() starts with it).
    void prepare();
    /// The mapping accepted by the last OK.
    const FontMappingInput& result() const { return m_result; }

    QLineEdit* nameField() const { return m_nameField; }
    QLineEdit* pathField() const { return m_pathField; }
    QPushButton* chooseButton() const { return m_chooseButton; }
    QPushButton* okButton() const { return m_okButton; }
    QPushButton* cancelButton() const { return m_cancelButton; }

    void accept() override;
    void done(int result) override;

private:
    void choosePath();

    EditorContext& m_context;
    QLineEdit* m_nameField = nullptr;
    QLineEdit* m_pathField = nullptr;
    QPushButton* m_chooseButton = nullptr;
    QPushButton* m_okButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
    FontMappingInput m_result;
};

/// "字体文件映射": the stored font mappings, one row each, with "添加" and "删除". Changes take
/// effect at once through the main window (fonts, store and its announcements).
class FontMappingDialog : public QDialog {
    Q_OBJECT

public:
    explicit FontMappingDialog(EditorContext& context, QWidget* owner);

    /// Fills the list and runs modally until the dialog is closed.
    void run();
    /// Fills the list from the stored mappings, disables "删除" and centres the window (run()
    /// starts with it).
    void prepare();

    QTreeWidget* list() const { return m_list; }
    QPushButton* addButton() const { return m_addButton; }
    QPushButton* removeButton() const { return m_removeButton; }
    QPushButton* cancelButton() const { return m_cancelButton; }
    /// The add dialog (created with this one, shown only by "添加").
    FontMappingAddDialog* addDialog() const { return m_addDialog; }

private:
    void add();
    void removeSelected();

    EditorContext& m_context;
    QTreeWidget* m_list = nullptr;
    QPushButton* m_addButton = nullptr;
    QPushButton* m_removeButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
    FontMappingAddDialog* m_addDialog = nullptr;
};

} // namespace torvale
