#include "ui/balloon.h"
#include "ui/dialogs/font_mapping_dialog.h"
#include "ui/ui_fixture.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

namespace torvale::test {
namespace {

QString qs(const std::string& text)
{
    return QString::fromStdString(text);
}

class FontMappingDialogTest : public UiTest {
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        ASSERT_TRUE(copyInstalledCjkFont(font));
        dialog = std::make_unique<FontMappingDialog>(window->context(), window.get());
        subscription = window->context().fontsChanged.subscribe([this](const FontChange& change) {
            announced.push_back((change.added ? "+" : "-") + change.name);
        });
    }
    void TearDown() override
    {
        dialog.reset();
        UiTest::TearDown();
    }

    FontMappingAddDialog& add() { return *dialog->addDialog(); }

    /// Presses "添加" and, in the add dialog's loop, enters a mapping and presses "确定"; a
    /// refused mapping leaves its balloon texts in refusals and the dialog is cancelled.
    void addThroughDialog(const std::string& name, const std::string& path)
    {
        QTimer::singleShot(0, dialog.get(), [&] {
            ASSERT_TRUE(add().isVisible());
            add().nameField()->setText(qs(name));
            add().pathField()->setText(qs(path));
            add().okButton()->click();
            if (!add().isVisible())
                return;
            for (const Balloon* balloon : window->balloons().open())
                refusals << balloon->text();
            add().reject();
        });
        dialog->addButton()->click();
    }

    std::vector<std::string> storedNames() const
    {
        std::vector<std::string> names;
        for (const auto& [name, path] : store->textValues(kFontsKey))
            names.push_back(name);
        return names;
    }

    std::filesystem::path font = dir.path() / "fonts" / "mine.ttc";
    std::vector<std::string> announced; // "+name" added, "-name" removed
    Subscription subscription;
    std::unique_ptr<FontMappingDialog> dialog;
    QStringList refusals;
};

TEST_F(FontMappingDialogTest, MenuCommandShowsTheStoredMappingsModallyAndEscCloses)
{
    ASSERT_TRUE(store->writeSettingText(kFontsKey, "旧字体", font.string()));
    dialog.reset();
    bool modal = false;
    QString title;
    QSize size;
    QStringList headers;
    std::vector<int> widths;
    QStringList row;
    bool removeEnabled = true;
    bool removeEnabledOnSelection = false;
    QTimer::singleShot(0, window.get(), [&] {
        auto* shown = qobject_cast<FontMappingDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(shown, nullptr);
        modal = shown->isModal();
        title = shown->windowTitle();
        size = shown->size();
        QTreeWidget* list = shown->list();
        for (int column = 0; column < list->columnCount(); ++column) {
            headers << list->headerItem()->text(column);
            widths.push_back(list->columnWidth(column));
        }
        ASSERT_EQ(list->topLevelItemCount(), 1);
        row << list->topLevelItem(0)->text(0) << list->topLevelItem(0)->text(1);
        removeEnabled = shown->removeButton()->isEnabled();
        list->setCurrentItem(list->topLevelItem(0));
        removeEnabledOnSelection = shown->removeButton()->isEnabled();
        EXPECT_TRUE(shown->addButton()->isDefault());
        EXPECT_FALSE(shown->cancelButton()->isVisible());
        QTest::keyClick(shown, Qt::Key_Escape);
    });
    // Only a guard: a dialog that ignores Esc is ended another way and the test fails.
    QTimer guard;
    QObject::connect(&guard, &QTimer::timeout, [] {
        if (auto* open = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            open->done(-1);
    });
    guard.start(10000);
    window->execute(CommandId::FontMapping);
    ASSERT_NE(window->fontMappingDialog(), nullptr);
    EXPECT_EQ(window->fontMappingDialog()->result(), QDialog::Rejected);
    EXPECT_TRUE(modal);
    EXPECT_EQ(title, QStringLiteral("字体文件映射"));
    EXPECT_EQ(size, QSize(768, 356));
    EXPECT_EQ(headers, (QStringList{QStringLiteral("字体名称"), QStringLiteral("字体路径")}));
    EXPECT_EQ(widths, (std::vector<int>{260, 468}));
    EXPECT_EQ(row, (QStringList{QStringLiteral("旧字体"), qs(font.string())}));
    EXPECT_FALSE(removeEnabled);
    EXPECT_TRUE(removeEnabledOnSelection);
}

TEST_F(FontMappingDialogTest, AddedMappingIsStoredListedAnnouncedAndDrawsAtOnce)
{
    // A path typed by hand may hold Chinese characters: only the chooser refuses them.
    const std::filesystem::path chinese = dir.path() / "我的字体" / "正黑.ttc";
    ASSERT_TRUE(copyInstalledCjkFont(chinese));
    const auto before = window->fontSnapshot();
    dialog->prepare();
    dialog->show();

    addThroughDialog("  证件字体 ", " " + chinese.string());

    EXPECT_TRUE(refusals.isEmpty()) << refusals.join(u' ').toStdString();
    EXPECT_TRUE(prompts.asked().empty());
    ASSERT_EQ(dialog->list()->topLevelItemCount(), 1);
    EXPECT_EQ(dialog->list()->topLevelItem(0)->text(0), QStringLiteral("证件字体"));
    EXPECT_EQ(dialog->list()->topLevelItem(0)->text(1), qs(chinese.string()));
    std::string stored;
    EXPECT_TRUE(store->readSettingText(kFontsKey, "证件字体", stored, 260));
    EXPECT_EQ(stored, chinese.string());
    EXPECT_EQ(announced, (std::vector<std::string>{"+证件字体"}));

    const auto fonts = window->fontSnapshot();
    ASSERT_NE(fonts->family("证件字体"), nullptr);
    EXPECT_TRUE(fonts->hasFontName("证件字体"));
    EXPECT_TRUE(fontSupportsText(*fonts, "证件字体", true));
    EXPECT_EQ(before->family("证件字体"), nullptr) << "a snapshot never changes";
}

TEST_F(FontMappingDialogTest, RefusedMappingsShowABalloonAtTheirField)
{
    test::writeFile(dir.file("notes.ttf"), "not a font");
    struct Case {
        std::string name;
        std::string path;
        bool atName;
        QString text;
    };
    const Case cases[] = {
        {" ", font.string(), true, QStringLiteral("字体名称不能为空")},
        {"我的字体", "\t", false, QStringLiteral("字体路径不能为空")},
        {"我的字体", dir.file("missing.ttf"), false,
         QStringLiteral("字体路径不存在，请重新选择。")},
        {kInstalledCjkFamily, font.string(), true, QStringLiteral("字体名称已存在，请重新输入")},
        {"我的字体", dir.file("notes.ttf"), false, QStringLiteral("字体文件无法读取")},
    };
    add().prepare();
    add().show();
    EXPECT_EQ(add().windowTitle(), QStringLiteral("字体文件映射 - 添加"));
    EXPECT_EQ(add().size(), QSize(551, 216));
    EXPECT_EQ(add().nameField()->maxLength(), 32);
    EXPECT_TRUE(add().okButton()->isDefault());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name + " | " + c.path);
        add().nameField()->setText(qs(c.name));
        add().pathField()->setText(qs(c.path));
        add().okButton()->click();
        EXPECT_TRUE(add().isVisible());
        const auto open = window->balloons().open();
        ASSERT_EQ(open.size(), 1u);
        EXPECT_EQ(open[0]->title(), QStringLiteral("提示"));
        EXPECT_EQ(open[0]->text(), c.text);
        EXPECT_EQ(open[0]->control(), c.atName ? add().nameField() : add().pathField());
        window->balloons().dismissAll();
    }
    add().reject();
    EXPECT_TRUE(storedNames().empty());
    EXPECT_TRUE(announced.empty());
}

TEST_F(FontMappingDialogTest, ChooserWarnsAboutChinesePathsAndRemembersTheFolder)
{
    const std::string chinese = dir.file("字体/正黑.ttf");
    add().prepare();
    add().show();
    prompts.answerFile(chinese);
    prompts.answerMessage(PromptAnswer::Ok);
    prompts.answerFile(font.string());
    add().chooseButton()->click();
    EXPECT_TRUE(add().pathField()->text().isEmpty());
    add().chooseButton()->click();
    EXPECT_EQ(add().pathField()->text(), qs(font.string()));

    const auto& asked = prompts.asked();
    ASSERT_EQ(asked.size(), 3u);
    EXPECT_EQ(asked[0].kind, "openFile");
    EXPECT_EQ(asked[0].caption, "选择字体文件");
    EXPECT_EQ(asked[1].caption, "提示");
    EXPECT_EQ(asked[1].icon, PromptIcon::Warning);
    EXPECT_EQ(asked[1].text, "当前选择的字体路径：\n" + chinese +
                                 "\n\n提示：字体路径中不能含有中文。\n\n建议：统一将需要映射的字体"
                                 "文件存放到 D:\\Fonts, 如果字体文件名含有中文，请改为英文名。");
    // Each run starts where the last one chose.
    EXPECT_EQ(asked[2].text, dir.file("字体"));
    EXPECT_EQ(document->settings().dialogFolders[static_cast<int>(DialogFolder::ChooseFont)],
              font.parent_path());

    // The next run starts with empty fields.
    add().nameField()->setText(QStringLiteral("x"));
    add().reject();
    add().prepare();
    EXPECT_TRUE(add().nameField()->text().isEmpty());
    EXPECT_TRUE(add().pathField()->text().isEmpty());
}

TEST_F(FontMappingDialogTest, DeleteRemovesTheSelectedRowsFromTheLastUp)
{
    for (const char* name : {"甲", "乙", "丙"})
        ASSERT_TRUE(window->context().addFontMapping(name, font.string()));
    // Stored but never loaded (its file was gone at start-up): only its value goes.
    ASSERT_TRUE(store->writeSettingText(kFontsKey, "丁", dir.file("gone.ttf")));
    announced.clear();
    dialog->prepare();
    dialog->show();
    QTreeWidget* list = dialog->list();
    ASSERT_EQ(list->topLevelItemCount(), 4);
    for (const int row : {0, 2, 3})
        list->topLevelItem(row)->setSelected(true);
    ASSERT_TRUE(dialog->removeButton()->isEnabled());
    dialog->removeButton()->click();

    ASSERT_EQ(list->topLevelItemCount(), 1);
    EXPECT_EQ(list->topLevelItem(0)->text(0), QStringLiteral("乙"));
    EXPECT_FALSE(dialog->removeButton()->isEnabled());
    EXPECT_EQ(storedNames(), std::vector<std::string>{"乙"});
    EXPECT_EQ(announced, (std::vector<std::string>{"-丙", "-甲"}));
    const auto fonts = window->fontSnapshot();
    EXPECT_EQ(fonts->family("甲"), nullptr);
    EXPECT_EQ(fonts->family("丙"), nullptr);
    EXPECT_NE(fonts->family("乙"), nullptr);
    const auto& names = fonts->fontNames();
    EXPECT_EQ(std::count(names.begin(), names.end(), "甲"), 0);
}

} // namespace
} // namespace torvale::test
