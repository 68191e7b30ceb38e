#include "ui/main/batch_controller.h"
#include "ui/dialogs/print_sheet_dialog.h"
#include "ui/dialogs/progress_dialog.h"
#include "ui/ui_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace torvale::test {
namespace {

std::string examplePath(const std::string& name)
{
    return std::string(TORVALE_SOURCE_DIR) + "/examples/badge/" + name;
}

int pdfPages(const std::string& pdf)
{
    const CommandResult r = runCommand("pdfinfo " + shellQuote(pdf));
    const std::size_t at = r.out.find("Pages:");
    return r.exitCode == 0 && at != std::string::npos ? std::stoi(r.out.substr(at + 6)) : -1;
}

class PrintSheetTest : public UiTest {
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        ASSERT_TRUE(document->open(examplePath("badge.dat")).ok());
        setOutputFolder(dir.file("cards"));
    }

    PrintSheetDialog& dialog() { return *window->batch().sheetDialog(); }
    std::string summary() { return dialog().summaryLabel()->text().toStdString(); }
};

TEST_F(PrintSheetTest, DialogShowsWhatFitsAndTheSheetIsMadeWithProgress)
{
    const std::string pdf = dir.file("out/sheet.pdf");
    std::vector<std::string> summaries;
    bool okWhenTooLarge = true;
    bool progressShown = false;
    QObject::connect(&window->batch(), &BatchController::batchStarted, [&] {
        QTimer::singleShot(0, [&] {
            progressShown = QApplication::activeModalWidget() == window->batch().dialog();
        });
    });
    QTimer::singleShot(0, [&] {
        ASSERT_TRUE(dialog().isVisible());
        summaries.push_back(summary());
        // The template's name in its output folder is offered.
        EXPECT_EQ(dialog().fileField()->text().toStdString(), dir.file("cards/badge.pdf"));
        EXPECT_EQ(dialog().preview()->shownLayout()->perPage(), 10);
        dialog().orientationBox()->setCurrentIndex(2); // 横向
        summaries.push_back(summary());
        dialog().paperBox()->setCurrentIndex(4); // 自定义
        dialog().paperWidthBox()->setValue(60);
        dialog().paperHeightBox()->setValue(60);
        summaries.push_back(summary());
        okWhenTooLarge = dialog().okButton()->isEnabled();
        EXPECT_FALSE(dialog().preview()->shownLayout().has_value());
        dialog().paperBox()->setCurrentIndex(0); // A4
        dialog().orientationBox()->setCurrentIndex(0);
        dialog().fileField()->clear();
        EXPECT_FALSE(dialog().okButton()->isEnabled());
        dialog().chooseButton()->click();
        EXPECT_EQ(dialog().fileField()->text().toStdString(), pdf);
        dialog().okButton()->click();
    });
    std::filesystem::create_directory(dir.file("out"));
    prompts.answerFile(pdf);
    prompts.answerMessage(PromptAnswer::No);
    window->execute(CommandId::PrintSheet);

    EXPECT_EQ(summaries, (std::vector<std::string>{
                             "卡片 85.6 x 54.0 mm，每页 10 张（2 列 x 5 行，纵向）",
                             "卡片 85.6 x 54.0 mm，每页 9 张（3 列 x 3 行，横向）",
                             "卡片 85.6 x 54.0 mm 大于纸张 60x60mm 横向的可打印区域 40.0 x "
                             "40.0 mm（页边距 10 mm）",
                         }));
    EXPECT_FALSE(okWhenTooLarge);
    EXPECT_TRUE(progressShown);
    EXPECT_FALSE(window->batch().running());
    EXPECT_EQ(window->batch().lastSheet().path, pdf);
    EXPECT_EQ(window->batch().lastSummary().written, 24u);
    EXPECT_EQ(pdfPages(pdf), 3);
    ASSERT_EQ(prompts.asked().size(), 2u);
    EXPECT_EQ(prompts.asked()[0].kind, "saveFile");
    EXPECT_EQ(prompts.asked()[0].caption, "保存PDF文件");
    EXPECT_EQ(prompts.asked()[1].caption, "完成");
    EXPECT_EQ(prompts.asked()[1].text, "打印排版文件 '" + pdf + "' 已制作完成，是否查看？");
}

TEST_F(PrintSheetTest, CompletionMessageCountsCardsWithProblems)
{
    const std::string csv = dir.file("two.csv");
    test::writeFile(csv, "工号,姓名,部门,照片\nB1,甲,研发部," + examplePath("photos/p01.jpg") +
                             "\nB2,乙,研发部," + dir.file("gone.jpg") + "\n");
    ASSERT_TRUE(document->setCsvFile(csv));
    QTimer::singleShot(0, [&] { dialog().okButton()->click(); });
    prompts.answerMessage(PromptAnswer::No);
    window->execute(CommandId::PrintSheet);

    ASSERT_EQ(prompts.asked().size(), 1u);
    EXPECT_EQ(prompts.asked()[0].text, "打印排版文件 '" + dir.file("cards/badge.pdf") +
                                           "' 已制作完成\n其中 1 张有问题，详见信息窗口 (F2)\n是否查看？");
}

TEST_F(PrintSheetTest, APathThatCannotTakeThePdfIsRefusedWithTheDialogOpen)
{
    // A pipe named as the file: the sheet would have gone beside it as fifo.pdf.
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    bool stillOpen = false;
    QTimer::singleShot(0, [&] {
        dialog().fileField()->setText(QString::fromStdString(fifo));
        prompts.answerMessage(PromptAnswer::Ok);
        dialog().okButton()->click();
        QTimer::singleShot(0, [&] {
            stillOpen = dialog().isVisible();
            dialog().reject();
        });
    });
    window->execute(CommandId::PrintSheet);

    EXPECT_TRUE(stillOpen);
    ASSERT_EQ(prompts.asked().size(), 1u);
    EXPECT_EQ(prompts.asked()[0].text,
              "'" + fifo + "' 不是普通文件（是文件夹、设备或管道），请另选一个PDF文件名");
    EXPECT_FALSE(std::filesystem::exists(fifo + ".pdf"));
}

TEST_F(PrintSheetTest, StopLeavesNoFile)
{
    const std::string csv = dir.file("many.csv");
    {
        std::ofstream out(csv);
        out << "工号,姓名,部门,照片\n";
        for (int i = 0; i < 300; ++i)
            out << "B" << i << ",名字" << i << ",部门," << examplePath("photos/p01.jpg") << "\n";
    }
    document->setCsvFile(csv);
    document->settings().completed_alert = true;
    const std::string folder = dir.file("out");
    std::filesystem::create_directory(folder);
    QTimer::singleShot(0, [&] {
        dialog().fileField()->setText(QString::fromStdString(folder + "/sheet.pdf"));
        dialog().okButton()->click();
    });
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        ProgressDialog* progress = window->batch().dialog();
        if (progress->isVisible() && progress->bar()->value() >= 12 &&
            progress->stopButton()->isEnabled())
            progress->stopButton()->click();
    });
    poll.start();
    window->execute(CommandId::PrintSheet);
    poll.stop();

    EXPECT_TRUE(window->batch().lastSummary().stopped);
    EXPECT_EQ(window->batch().lastSheet().path, "");
    EXPECT_TRUE(prompts.asked().empty()); // no question after a stop
    EXPECT_TRUE(std::filesystem::is_empty(folder));
}

} // namespace
} // namespace torvale::test
