#include "ui/balloon.h"
#include "ui/main/batch_controller.h"
#include "ui/dialogs/progress_dialog.h"
#include "ui/ui_fixture.h"
#include "ui/panels/layer_panel.h"
#include "ui/windows/layer_windows.h"
#include "ui/windows/log_window.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>
#include <system_error>
#include <thread>

namespace torvale::test {
namespace {

std::string examplePath(const std::string& name)
{
    return std::string(TORVALE_SOURCE_DIR) + "/examples/badge/" + name;
}

std::size_t cardCount(const std::string& folder)
{
    std::size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        count += entry.path().extension() == ".jpg" ? 1 : 0;
    return count;
}

class BatchWindowTest : public UiTest {
protected:
    void openExample()
    {
        ASSERT_TRUE(document->open(examplePath("badge.dat")).ok());
        setOutputFolder(dir.file("cards"));
    }

    std::vector<std::pair<std::string, std::string>> balloons()
    {
        std::vector<std::pair<std::string, std::string>> shown;
        for (Balloon* balloon : window->balloons().open())
            shown.emplace_back(balloon->title().toStdString(), balloon->text().toStdString());
        return shown;
    }
};

TEST_F(BatchWindowTest, FirstProblemIsShownAsABalloonAndNothingStarts)
{
    document->setBackgroundSize("0", "800");
    window->execute(CommandId::StartBatch);
    EXPECT_EQ(balloons(), (std::vector<std::pair<std::string, std::string>>{
                              {"【背景层】宽度必须大于 0", "请重新输入"}}));
    EXPECT_EQ(window->balloons().open()[0]->control()->objectName(), "backgroundWidth");
    EXPECT_FALSE(window->batch().running());

    // Fixing it moves on to the next check.
    window->balloons().dismissAll();
    document->setBackgroundSize("800", "800");
    window->execute(CommandId::StartBatch);
    EXPECT_EQ(balloons(), (std::vector<std::pair<std::string, std::string>>{
                              {"请选择一个【csv文件】", "请选择..."}}));
    EXPECT_EQ(window->balloons().open()[0]->control()->objectName(), "chooseCsv");
    EXPECT_TRUE(prompts.asked().empty());

    // A data file that is gone: the balloon as always, the log names the file.
    window->balloons().dismissAll();
    const std::string gone = dir.file("gone.csv");
    test::writeFile(gone, "姓名\n张三\n");
    ASSERT_TRUE(document->setCsvFile(gone));
    std::filesystem::remove(gone);
    window->execute(CommandId::StartBatch);
    EXPECT_EQ(balloons(), (std::vector<std::pair<std::string, std::string>>{
                              {"csv文件无法访问", "请检查文件是否存在或被别的软件【独占方式】打开"}}));
    EXPECT_TRUE(window->logWindow()->text().contains(QString::fromStdString("（" + gone + "）")));
}

TEST_F(BatchWindowTest, LayerProblemsSelectTheLayer)
{
    openExample();
    // A column the CSV file lacks counts as none; the row check makes the same checks first.
    for (const auto& [command, column] :
         {std::pair{CommandId::StartBatch, "Name"}, std::pair{CommandId::CheckRows, ""}}) {
        SCOPED_TRACE(static_cast<int>(command));
        window->balloons().dismissAll();
        editLayer(1, FieldBinding, [column](Layer& layer) { layer.bind_col_name = column; });
        window->execute(command);
        // Once, on the column list of the layer's window, where the column is chosen.
        ASSERT_EQ(balloons(), (std::vector<std::pair<std::string, std::string>>{
                                  {"图层#2 还没有绑定列名", "请绑定一个列名"}}));
        EXPECT_EQ(window->balloons().open()[0]->control()->objectName(), "columnBox");
        EXPECT_EQ(currentLayerRow(), std::optional<std::size_t>(1));
        EXPECT_FALSE(window->batch().running());
    }
    // The template's 300 dpi became the current DPI setting.
    EXPECT_EQ(window->statusText(4).toStdString(), "\t300 dpi");

    // A fixed layer's content and a placeholder are pointed out on their fields.
    editLayer(1, FieldBinding, [](Layer& layer) { layer.bind_col_name = "姓名"; });
    const struct {
        std::size_t row;
        LayerFieldSet fields;
        std::function<void(Layer&)> change;
        const char* title;
        const char* control;
    } cases[] = {
        {2, FieldBinding | FieldDemo, [](Layer& l) { l.isFixed = true, l.text.clear(); },
         "图层#3 的固定内容为空", "demoField"},
        {0, FieldBinding | FieldDemo, [](Layer& l) { l.isFixed = true, l.filePath = "none.png"; },
         "图片无法读取", "pathField"},
        {0, FieldBinding | FieldFrame,
         [](Layer& l) { l.isFixed = false, l.placeholderPath = "none.png"; }, "占位图片无法读取",
         "placeholderField"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.control);
        editLayer(c.row, c.fields, c.change);
        window->balloons().dismissAll();
        window->execute(CommandId::StartBatch);
        ASSERT_EQ(balloons().size(), 1u);
        EXPECT_EQ(balloons()[0].first, c.title);
        EXPECT_EQ(window->balloons().open()[0]->control()->objectName(), c.control);
        EXPECT_EQ(currentLayerRow(), std::optional<std::size_t>(c.row));
    }
}

TEST_F(BatchWindowTest, BackgroundThatCannotBeDecodedStopsTheStart)
{
    // The editor shows a white stand-in for it; a batch would make 1 x 1 cards.
    std::filesystem::copy(examplePath(""), dir.file("badge"),
                          std::filesystem::copy_options::recursive);
    std::ofstream(dir.file("badge/background.png"), std::ios::binary) << "\x89PNG broken";
    ASSERT_TRUE(document->open(dir.file("badge/badge.dat")).ok());
    setOutputFolder(dir.file("cards"));
    window->execute(CommandId::StartBatch);
    EXPECT_EQ(balloons(),
              (std::vector<std::pair<std::string, std::string>>{
                  {"背景图片无法读取",
                   "背景图片 'background.png' 已损坏、不是图片或尺寸太大，请重新选择"}}));
    EXPECT_EQ(window->balloons().open()[0]->control()->objectName(), "chooseBackground");
    EXPECT_FALSE(window->batch().running());
}

TEST_F(BatchWindowTest, OutputFolderThatCannotBeCreatedIsAMessage)
{
    openExample();
    setOutputFolder(dir.file("a/b"));
    prompts.answerMessage(PromptAnswer::Ok);
    window->execute(CommandId::StartBatch);
    ASSERT_EQ(prompts.asked().size(), 1u);
    EXPECT_EQ(prompts.asked()[0].caption, "提示");
    EXPECT_EQ(prompts.asked()[0].icon, PromptIcon::Error);
    EXPECT_EQ(prompts.asked()[0].text,
              "【图片保存到】文件夹 '" + dir.file("a/b") + "' 创建失败, 请重新选择一个文件夹");
}

TEST_F(BatchWindowTest, BatchWritesTheCardsAndAsksToOpenTheFolder)
{
    openExample();
    // The open layer window steps aside while the batch runs.
    window->layerPanel()->selectRow(1);
    QWidget* layerWindow = window->textLayerWindow();
    ASSERT_TRUE(layerWindow->isVisible());
    bool dialogWasModal = false;
    bool layerWindowShown = true;
    QObject::connect(&window->batch(), &BatchController::batchStarted, [&] {
        layerWindowShown = layerWindow->isVisible();
        QTimer::singleShot(0, [&] {
            dialogWasModal = QApplication::activeModalWidget() == window->batch().dialog();
        });
    });
    prompts.answerChoice(0); // 全部
    prompts.answerMessage(PromptAnswer::No);
    window->execute(CommandId::StartBatch);

    EXPECT_TRUE(dialogWasModal);
    EXPECT_FALSE(layerWindowShown);
    EXPECT_TRUE(layerWindow->isVisible());
    EXPECT_FALSE(window->batch().running());
    EXPECT_EQ(window->batch().lastSummary().written, 24u);
    EXPECT_EQ(cardCount(dir.file("cards")), 24u);
    ASSERT_EQ(prompts.asked().size(), 2u);
    EXPECT_EQ(prompts.asked()[0].caption, "询问");
    EXPECT_EQ(prompts.asked()[0].text, "为全部行制作图片，还是选择要制作的行？");
    EXPECT_EQ(prompts.asked()[0].buttons, (std::vector<std::string>{"全部", "选择行…", "取消"}));
    EXPECT_EQ(prompts.asked()[1].caption, "完成");
    EXPECT_EQ(prompts.asked()[1].text, "图片已制作完成，是否查看图片？");
    EXPECT_EQ(prompts.asked()[1].buttons, (std::vector<std::string>{"Yes", "No"}));
    EXPECT_EQ(window->batch().dialog()->textLabel()->text().toStdString(), "正在处理 24/24...");
    EXPECT_FALSE(window->batch().dialog()->isVisible());

    // "是" where no program opens folders: a message names the folder to open by hand.
    QUrl opened;
    window->setExternalOpener([&](const QUrl& url) {
        opened = url;
        return false;
    });
    // The record of the first batch is found: "否" makes every card again.
    prompts.answerChoice(0);
    prompts.answerMessage(PromptAnswer::No);
    prompts.answerMessage(PromptAnswer::Yes);
    prompts.answerMessage(PromptAnswer::Ok);
    window->execute(CommandId::StartBatch);
    EXPECT_EQ(cardCount(dir.file("cards")), 48u);
    EXPECT_EQ(opened, QUrl::fromLocalFile(QString::fromStdString(dir.file("cards"))));
    ASSERT_EQ(prompts.asked().size(), 6u);
    EXPECT_EQ(prompts.asked()[3].text, "输出文件夹的制作记录中已有做过的卡片。\n"
                                       "跳过记录中已经做过、数据和模版都没有改过的卡片吗？");
    EXPECT_EQ(prompts.asked()[5].text, "没有找到可以打开它的程序，请手动打开：\n" + dir.file("cards"));
}

TEST_F(BatchWindowTest, CompletionQuestionCountsCardsWithProblemsAndNumberedNames)
{
    openExample();
    const std::string csv = dir.file("rows.csv");
    std::ofstream(csv) << "工号,姓名,部门,照片\n"
                       << "B1,甲,研发部," << dir.file("missing.jpg") << "\n"
                       << "B2,乙,研发部," << examplePath("photos/p01.jpg") << "\n"
                       << "B3,丙,研发部," << examplePath("photos/p02.jpg") << "\n";
    document->setCsvFile(csv);
    document->settings().completed_alert = true;
    std::filesystem::create_directories(dir.file("cards"));
    for (const char* taken : {"B2-乙.jpg", "B3-丙.jpg"})
        std::ofstream(dir.file("cards/") + taken) << "taken";
    prompts.answerChoice(0);
    prompts.answerMessage(PromptAnswer::No);
    window->execute(CommandId::StartBatch);

    ASSERT_EQ(prompts.asked().size(), 2u);
    EXPECT_EQ(prompts.asked()[1].text, "图片已制作完成\n"
                                       "其中 1 张有问题，详见信息窗口 (F2)\n"
                                       "其中 2 张因同名文件已存在而加了编号\n"
                                       "是否查看图片？");
    EXPECT_TRUE(std::filesystem::exists(dir.file("cards/B3-丙(2).jpg")));
}

TEST_F(BatchWindowTest, StopInTheMiddleKeepsTheCardsWrittenAndAsksNothing)
{
    openExample();
    // 300 rows, so the batch is still running when the stop button is pressed.
    const std::string csv = dir.file("many.csv");
    {
        std::ifstream in(examplePath("staff.csv"));
        std::string header;
        std::getline(in, header);
        std::ofstream out(csv);
        out << header << "\n";
        for (int i = 0; i < 300; ++i)
            out << "B" << i << ",名字" << i << ",部门," << examplePath("photos/p01.jpg") << "\n";
    }
    document->setCsvFile(csv);
    document->settings().completed_alert = true;

    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        ProgressDialog* dialog = window->batch().dialog();
        if (dialog->isVisible() && dialog->bar()->value() >= 2 &&
            dialog->stopButton()->isEnabled()) {
            dialog->stopButton()->click();
            EXPECT_EQ(dialog->stopButton()->text().toStdString(), "停止中...");
            EXPECT_FALSE(dialog->stopButton()->isEnabled());
        }
    });
    poll.start();
    prompts.answerChoice(0);
    window->execute(CommandId::StartBatch);
    poll.stop();

    const BatchSummary& summary = window->batch().lastSummary();
    EXPECT_TRUE(summary.stopped);
    EXPECT_GE(summary.written, 2u);
    EXPECT_LT(summary.written, 300u);
    EXPECT_EQ(cardCount(dir.file("cards")), summary.written);
    EXPECT_EQ(prompts.asked().size(), 1u); // no completion question after a stop
    EXPECT_EQ(window->batch().dialog()->stopButton()->text().toStdString(), "停止");
}

} // namespace
} // namespace torvale::test

namespace torvale::test {
namespace {

TEST_F(BatchWindowTest, CsvThatCannotBeReadIsReportedOverTheRunningProgressDialog)
{
    openExample();
    const std::string csv = dir.file("staff.csv");
    std::filesystem::copy_file(examplePath("staff.csv"), csv);
    document->setCsvFile(csv);
    document->settings().completed_alert = true;
    // The file goes after the start check and before the worker reads it.
    window->batch().setThreadStarter([&](std::function<void()> body) {
        std::filesystem::remove(csv);
        return std::thread(std::move(body));
    });
    prompts.answerChoice(0);
    prompts.answerMessage(PromptAnswer::Ok);
    window->execute(CommandId::StartBatch);

    ASSERT_EQ(prompts.asked().size(), 2u) << "no completion question";
    const AskedPrompt& asked = prompts.asked()[1];
    EXPECT_EQ(asked.caption, "提示");
    EXPECT_EQ(asked.icon, PromptIcon::Error);
    EXPECT_EQ(asked.text, "csv文件无法访问");
    EXPECT_EQ(asked.owner, window->batch().dialog());
    EXPECT_TRUE(asked.ownerVisible) << "shown while the batch is still on screen";
    const BatchSummary& summary = window->batch().lastSummary();
    EXPECT_TRUE(summary.stopped);
    EXPECT_TRUE(summary.csvUnreadable);
    EXPECT_EQ(summary.written, 0u);
    EXPECT_FALSE(window->batch().dialog()->isVisible());
    EXPECT_EQ(window->batch().dialog()->stopButton()->text().toStdString(), "停止");
    EXPECT_TRUE(window->batch().dialog()->stopButton()->isEnabled());
}

TEST_F(BatchWindowTest, WorkerThatCannotStartEndsTheApplicationAfterTheSaveQuestion)
{
    struct Case {
        PromptAnswer saveAnswer;
        int exitCode; // 7: the application was not ended
    };
    for (const Case& c : {Case{PromptAnswer::No, -1}, Case{PromptAnswer::Cancel, 7}}) {
        SCOPED_TRACE(static_cast<int>(c.saveAnswer));
        prompts.clear();
        openExample();
        OutputSettings output = document->tpl().output;
        output.quality = 55;
        document->setOutput(output);
        ASSERT_TRUE(document->isModified());
        window->batch().setThreadStarter([](std::function<void()>) -> std::thread {
            throw std::system_error(
                std::make_error_code(std::errc::resource_unavailable_try_again));
        });
        prompts.answerChoice(0);
        prompts.answerMessage(PromptAnswer::Ok);
        prompts.answerMessage(c.saveAnswer);
        // The start runs inside the application's loop; a later call ends the loop with 7 unless
        // the start has already ended it (the calls it posts run after the loop has stopped).
        QTimer::singleShot(0, [&] {
            window->execute(CommandId::StartBatch);
            QTimer::singleShot(0, [] { QCoreApplication::exit(7); });
        });
        EXPECT_EQ(QApplication::exec(), c.exitCode);
        QApplication::processEvents(); // the call ending with 7, now without effect

        ASSERT_EQ(prompts.asked().size(), 3u);
        EXPECT_EQ(prompts.asked()[1].caption, "提示");
        EXPECT_EQ(prompts.asked()[1].icon, PromptIcon::Error);
        EXPECT_EQ(prompts.asked()[1].text, "启动线程失败");
        EXPECT_EQ(prompts.asked()[2].caption, "询问");
        EXPECT_FALSE(window->batch().running());
        EXPECT_FALSE(window->batch().dialog()->isVisible());
    }
}

TEST(ProgressDialog, OnlyTheButtonStopsABatch)
{
    ProgressDialog dialog(nullptr);
    std::atomic<bool> stop{false};
    dialog.start(stop, 10);
    dialog.show();
    dialog.stopButton()->setFocus();
    for (const int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
        QTest::keyClick(&dialog, static_cast<Qt::Key>(key));
    EXPECT_FALSE(stop.load());
    EXPECT_TRUE(dialog.isVisible());
    // Centred on the screen.
    EXPECT_LE((dialog.geometry().center() - dialog.screen()->availableGeometry().center())
                  .manhattanLength(),
              4);

    QTest::keyClick(dialog.stopButton(), Qt::Key_Space);
    EXPECT_TRUE(stop.load());
    EXPECT_EQ(dialog.stopButton()->text().toStdString(), "停止中...");
}

} // namespace
} // namespace torvale::test
