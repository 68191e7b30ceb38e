#include "ui/main_window_fixture.h"

#include "ui/dialogs/card_size_dialog.h"

namespace torvale::test {
namespace {

TEST_F(MainWindowTest, NewTemplateWithoutLayersAsksOnlyWhenChanged)
{
    // Untouched, or only the DPI setting changed: nothing to lose.
    document->setDpi(300);
    window->execute(CommandId::NewTemplate);
    EXPECT_TRUE(prompts.asked().empty());

    // A canvas set up without layers yet is work the user would lose.
    document->setBackgroundSize("600", "800");
    prompts.answerMessage(PromptAnswer::No);
    window->execute(CommandId::NewTemplate);
    ASSERT_EQ(prompts.asked().size(), 1u);
    EXPECT_EQ(lastAsked().text, "当前模版已更改，是否保存更改？");
    EXPECT_EQ(document->tpl().background.width, 800);
    EXPECT_FALSE(document->isModified());
}

TEST_F(MainWindowTest, NewWithAModifiedTemplateAsksAndCancelKeepsIt)
{
    addLayer();
    prompts.answerMessage(PromptAnswer::Cancel);
    window->execute(CommandId::NewTemplate);
    ASSERT_EQ(prompts.asked().size(), 1u);
    EXPECT_EQ(lastAsked().kind, "message");
    EXPECT_EQ(lastAsked().caption, "询问");
    EXPECT_EQ(lastAsked().icon, PromptIcon::Question);
    EXPECT_EQ(lastAsked().text, "当前模版已更改，是否保存更改？");
    EXPECT_EQ(lastAsked().buttons, (std::vector<std::string>{"Yes", "No", "Cancel"}));
    EXPECT_EQ(document->tpl().layers.size(), 1u);
}

TEST_F(MainWindowTest, NewAnsweredNoDropsTheTemplate)
{
    addLayer();
    window->state().mode = CanvasMode::LayerSelected;
    prompts.answerMessage(PromptAnswer::No);
    window->execute(CommandId::NewTemplate);
    EXPECT_TRUE(document->tpl().layers.empty());
    EXPECT_EQ(window->state().mode, CanvasMode::Idle);
    EXPECT_EQ(window->windowTitle().toStdString(), "Torvale - 新模版[*]");
}

TEST_F(MainWindowTest, NewAnsweredYesSavesFirst)
{
    addLayer();
    prompts.answerMessage(PromptAnswer::Yes);
    prompts.answerFile(dir.file("card"));
    window->execute(CommandId::NewTemplate);
    EXPECT_TRUE(std::filesystem::exists(dir.file("card.dat")));
    EXPECT_TRUE(document->tpl().layers.empty());
    EXPECT_EQ(window->windowTitle().toStdString(), "Torvale - 新模版[*]");
}

TEST_F(MainWindowTest, YesWithACancelledSaveAbandonsTheCommand)
{
    addLayer();
    prompts.answerMessage(PromptAnswer::Yes);
    prompts.answerFile(std::nullopt);
    window->execute(CommandId::NewTemplate);
    EXPECT_EQ(document->tpl().layers.size(), 1u);

    // Open too.
    prompts.answerMessage(PromptAnswer::Yes);
    prompts.answerFile(std::nullopt);
    window->execute(CommandId::OpenTemplate);
    EXPECT_EQ(prompts.asked().back().kind, "saveFile"); // no open dialog
    EXPECT_EQ(document->tpl().layers.size(), 1u);
}

TEST_F(MainWindowTest, YesWithAFailedSaveAbandonsTheCommand)
{
    addLayer();
    prompts.answerMessage(PromptAnswer::Yes);
    prompts.answerFile(dir.file("missing-folder/card.dat"));
    prompts.answerMessage(PromptAnswer::Ok);
    window->execute(CommandId::NewTemplate);
    EXPECT_EQ(lastAsked().caption, "错误");
    EXPECT_EQ(lastAsked().icon, PromptIcon::Error);
    EXPECT_EQ(document->tpl().layers.size(), 1u);
    EXPECT_TRUE(window->logWindow()->text().contains(QStringLiteral("保存模版文件")));
}

TEST_F(MainWindowTest, NewFromACardSizeAsksAboutTheModifiedTemplateBeforeMakingIt)
{
    addLayer();
    const CardSizeChoice id1 = cardSizeChoice(kCardSizePresets[0], 300, 0xFFFFFF);
    prompts.answerCardSize(id1);
    prompts.answerMessage(PromptAnswer::Cancel);
    window->execute(CommandId::NewFromCardSize);
    ASSERT_EQ(prompts.asked().size(), 2u);
    EXPECT_EQ(prompts.asked()[0].kind, "cardSize");
    EXPECT_EQ(lastAsked().text, "当前模版已更改，是否保存更改？");
    EXPECT_EQ(document->tpl().layers.size(), 1u);

    prompts.clear();
    prompts.answerCardSize(id1);
    prompts.answerMessage(PromptAnswer::No);
    window->execute(CommandId::NewFromCardSize);
    EXPECT_TRUE(document->tpl().layers.empty());
    EXPECT_EQ(window->statusText(0).toStdString(), "1011 x 638 像素");
    EXPECT_EQ(window->statusText(4).trimmed().toStdString(), "300 dpi");
    EXPECT_EQ(window->backgroundPanel()->widthField()->text().toStdString(), "85.6");
}

TEST_F(MainWindowTest, CardSizeDialogOffersTheTypedSizeOnlyForItsOwnEntry)
{
    CardSizeDialog dialog(prompts, window.get());
    EXPECT_EQ(dialog.choice(), cardSizeChoice(kCardSizePresets[0], 300, 0xFFFFFF));
    EXPECT_EQ(dialog.pixelsLabel()->text().toStdString(), "= 1011 x 638 像素");
    EXPECT_FALSE(dialog.widthField()->isEnabled());
    dialog.sizeBox()->setCurrentIndex(6); // 4 x 3 in
    EXPECT_EQ(dialog.unitBox()->currentText().toStdString(), "英寸");
    dialog.sizeBox()->setCurrentIndex(dialog.sizeBox()->count() - 1);
    EXPECT_EQ(dialog.sizeBox()->currentText().toStdString(), "自定义");
    EXPECT_TRUE(dialog.widthField()->isEnabled());
    dialog.widthField()->clear();
    EXPECT_FALSE(dialog.okButton()->isEnabled());
    dialog.widthField()->setText(QStringLiteral("50"));
    prompts.answerColor(0x0000FFu);
    dialog.colorButton()->click();
    EXPECT_EQ(dialog.choice(), (CardSizeChoice{"50", "3", SizeUnit::Inch, 300, 0x0000FF}));
    EXPECT_TRUE(dialog.okButton()->isEnabled());
}

TEST_F(MainWindowTest, SaveAsksForANameOnceAndAppendsDat)
{
    addLayer();
    EXPECT_TRUE(window->isWindowModified()); // the title's "*"
    prompts.answerFile(dir.file("card"));
    window->execute(CommandId::SaveTemplate);
    EXPECT_EQ(lastAsked().kind, "saveFile");
    EXPECT_EQ(lastAsked().caption, "模版保存到");
    EXPECT_TRUE(std::filesystem::exists(dir.file("card.dat")));
    EXPECT_EQ(window->windowTitle().toStdString(), "Torvale - card.dat[*]");
    EXPECT_FALSE(document->isModified());
    EXPECT_FALSE(window->isWindowModified());

    // Saving again writes to the same file without asking.
    editLayer(0, FieldDemo, [](Layer& layer) { layer.text = "changed"; });
    EXPECT_TRUE(window->isWindowModified());
    window->execute(CommandId::SaveTemplate);
    EXPECT_EQ(prompts.asked().size(), 1u);
    EXPECT_NE(readFile(dir.file("card.dat")).find("changed"), std::string::npos);
}

TEST_F(MainWindowTest, SaveAsKeepsADatEndingInAnyCase)
{
    addLayer();
    prompts.answerFile(dir.file("Card.DAT"));
    window->execute(CommandId::SaveTemplateAs);
    EXPECT_EQ(lastAsked().caption, "模版另存为");
    EXPECT_TRUE(std::filesystem::exists(dir.file("Card.DAT")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("Card.DAT.dat")));
}

TEST_F(MainWindowTest, SaveDialogStartsInTheTemplatesFolderOrTheTemplatesOwn)
{
    window->setTemplatesFolder(dir.path().string());
    prompts.answerFile(std::nullopt);
    window->execute(CommandId::SaveTemplateAs);
    EXPECT_EQ(lastAsked().text, dir.path().string());

    // Once the template has a file, the dialogs start in its folder.
    std::filesystem::create_directory(dir.file("elsewhere"));
    ASSERT_TRUE(document->save(dir.file("elsewhere/card.dat")).ok());
    for (const CommandId command : {CommandId::SaveTemplateAs, CommandId::OpenTemplate}) {
        prompts.answerFile(std::nullopt);
        window->execute(command);
        EXPECT_EQ(lastAsked().text, dir.file("elsewhere"));
    }
}

TEST_F(MainWindowTest, OpenReadsTheChosenFile)
{
    addLayer();
    addLayer();
    const std::string path = saveAs("two");
    prompts.answerMessage(PromptAnswer::No);
    window->execute(CommandId::NewTemplate); // not modified: no question
    prompts.clear();

    prompts.answerFile(path);
    window->execute(CommandId::OpenTemplate);
    ASSERT_EQ(prompts.asked().size(), 1u);
    EXPECT_EQ(lastAsked().kind, "openFile");
    EXPECT_EQ(lastAsked().caption, "打开模版");
    EXPECT_EQ(document->tpl().layers.size(), 2u);
    EXPECT_EQ(document->tpl().templatePath, path);
    EXPECT_EQ(window->windowTitle().toStdString(), "Torvale - two.dat[*]");
}

TEST_F(MainWindowTest, OpenFailureShowsTheMessageAndLeavesANewTemplate)
{
    writeFile(dir.file("empty.dat"), "");
    prompts.answerFile(dir.file("empty.dat"));
    prompts.answerMessage(PromptAnswer::Ok);
    window->execute(CommandId::OpenTemplate);
    EXPECT_EQ(lastAsked().caption, "提示");
    EXPECT_EQ(lastAsked().icon, PromptIcon::Error);
    EXPECT_EQ(lastAsked().text, "这是一个空白文件");
    EXPECT_EQ(window->windowTitle().toStdString(), "Torvale - 新模版[*]");
}

TEST_F(MainWindowTest, OpenWithAnUnreadableCsvShowsTheBalloon)
{
    addLayer();
    document->setCsvFile(dir.file("gone.csv"));
    const std::string path = saveAs("csv");
    window->openTemplatePath(path);
    const auto open = window->balloons().open();
    ASSERT_EQ(open.size(), 1u);
    EXPECT_EQ(open[0]->title().toStdString(), "csv文件无法访问");
    EXPECT_EQ(open[0]->text().toStdString(), "请检查文件是否存在或被别的软件【独占方式】打开");
}

TEST_F(MainWindowTest, RecentFilesAreListedAndAMissingOneIsRemoved)
{
    addLayer();
    const std::string a = saveAs("a");
    const std::string b = saveAs("b");
    // b is open: the menu offers a only.
    EXPECT_EQ(recentEntries(), (std::vector<std::string>{"1 " + a}));
    window->execute(CommandId::NewTemplate);
    EXPECT_EQ(recentEntries(), (std::vector<std::string>{"1 " + b, "2 " + a}));
    EXPECT_NE(actionWithId(fileMenu(), CommandId::RecentSeparator), nullptr);

    // Choosing an entry opens it.
    window->execute(static_cast<CommandId>(35208));
    EXPECT_EQ(document->tpl().templatePath, a);
    EXPECT_EQ(recentEntries(), (std::vector<std::string>{"1 " + b}));

    std::filesystem::remove(b);
    prompts.answerMessage(PromptAnswer::Ok);
    window->execute(CommandId::RecentFirst);
    EXPECT_EQ(lastAsked().caption, "提示");
    EXPECT_EQ(lastAsked().icon, PromptIcon::Warning);
    EXPECT_EQ(lastAsked().text, "\"" + b + "\" 已不存在。");
    EXPECT_TRUE(recentEntries().empty());
    EXPECT_EQ(actionWithId(fileMenu(), CommandId::RecentSeparator), nullptr);
    EXPECT_EQ(document->tpl().templatePath, a);
}

TEST_F(MainWindowTest, RecentMenuShowsAtMostNine)
{
    std::string list;
    for (int i = 0; i < 12; ++i)
        list += (i ? "\n" : "") + dir.file("f" + std::to_string(i) + ".dat");
    store->writeSettingText(kSettingsKey, kRecentListSetting, list);
    window->execute(CommandId::NewTemplate);
    const auto entries = recentEntries();
    ASSERT_EQ(entries.size(), 9u);
    EXPECT_EQ(entries[0], "1 " + dir.file("f0.dat"));
    EXPECT_EQ(entries[8], "9 " + dir.file("f8.dat"));
}

} // namespace
} // namespace torvale::test
