#include "batch/card_record.h"
#include "ui/dialogs/print_sheet_dialog.h"
#include "ui/dialogs/row_picker_dialog.h"
#include "ui/main/batch_controller.h"
#include "ui/ui_fixture.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <filesystem>

namespace torvale::test {
namespace {

class RowPickerTest : public UiTest {
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        const std::string examples = std::string(TORVALE_SOURCE_DIR) + "/examples/badge/";
        ASSERT_TRUE(document->open(examples + "badge.dat").ok());
        setOutputFolder(dir.file("cards"));
        // Row 3 repeats row 1's name: a batch of every row names its card "B1-甲(2)". Row 5 is
        // blank and makes no card.
        const std::string photo = examples + "photos/p01.jpg";
        test::writeFile(csv, "工号,姓名,部门,照片\nB1,甲,研发部," + photo + "\nB2,乙,市场部," +
                                 photo + "\nB1,甲,研发部," + photo + "\nB4,丁,研发部," + photo +
                                 "\n,,,\nB6,Ann,市场部," + photo + "\n");
        ASSERT_TRUE(document->setCsvFile(csv));
    }

    // The cards in the output folder (which the batch check makes).
    std::vector<std::string> cards() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir.file("cards"))) {
            if (entry.path().filename() != kCardRecordFileName)
                names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    const std::string csv = dir.file("rows.csv");
};

TEST_F(RowPickerTest, ChosenRowsAreMadeUnderTheirFullRunNames)
{
    // Cancelled at the question, then in the picker: nothing is made.
    prompts.answerChoice(2);
    prompts.answerChoice(1);
    prompts.answerRows([](const RowPickerRequest&) { return std::nullopt; });
    window->execute(CommandId::StartBatch);
    window->execute(CommandId::StartBatch);
    EXPECT_EQ(cards(), std::vector<std::string>{});
    prompts.clear();

    RowChoices listed;
    bool okAtFirst = true;
    std::string count;
    prompts.answerChoice(1);
    prompts.answerRows([&](const RowPickerRequest& request) {
        RowPickerDialog picker(request, window.get());
        QTimer::singleShot(0, [&] {
            listed = request.rows;
            okAtFirst = picker.okButton()->isEnabled();
            // Rows 1, 3 and 4 are shown; the space key ticks rows 3 and 4.
            picker.filterField()->setText(QStringLiteral("研发"));
            for (const int shown : {1, 2}) {
                picker.table()->setCurrentIndex(picker.model()->index(shown, 0));
                QTest::keyClick(picker.table(), Qt::Key_Space);
            }
            picker.filterField()->setText(QStringLiteral("ann"));
            count = picker.countLabel()->text().toStdString();
            picker.okButton()->click();
        });
        return picker.ask();
    });
    prompts.answerMessage(PromptAnswer::No);
    window->execute(CommandId::StartBatch);

    EXPECT_EQ(listed.columns, (std::vector<std::string>{"工号", "姓名", "部门"}));
    EXPECT_EQ(listed.numbers, (std::vector<std::size_t>{1, 2, 3, 4, 6}));
    EXPECT_FALSE(okAtFirst);
    EXPECT_EQ(count, "已选 2 行（其中 2 行未显示）");
    EXPECT_EQ(cards(), (std::vector<std::string>{"B1-甲(2).jpg", "B4-丁.jpg"}));
    ASSERT_EQ(prompts.asked().size(), 3u);
    EXPECT_EQ(prompts.asked()[1].kind, "rows");
    EXPECT_EQ(prompts.asked()[2].text, "所选行的图片已制作完成，共 2 张\n是否查看图片？");
}

TEST_F(RowPickerTest, TheRecordOffersProblemRowsAndPassesOverCardsMade)
{
    // Row 2's photo is missing: its card is made with a problem.
    const std::string photo = std::string(TORVALE_SOURCE_DIR) + "/examples/badge/photos/p01.jpg";
    test::writeFile(csv, "工号,姓名,部门,照片\nB1,甲,研发部," + photo +
                             "\nB2,乙,市场部,missing.jpg\nB3,丙,研发部," + photo + "\n");
    ASSERT_TRUE(document->setCsvFile(csv));
    prompts.answerChoice(0);
    prompts.answerMessage(PromptAnswer::No);
    window->execute(CommandId::StartBatch);
    ASSERT_EQ(cards().size(), 3u);
    prompts.clear();

    std::vector<std::size_t> offered;
    prompts.answerChoice(1);
    prompts.answerRows([&](const RowPickerRequest& request) {
        offered = request.problemRows;
        return std::vector<std::size_t>{1, 2};
    });
    prompts.answerMessage(PromptAnswer::Yes); // pass over the cards made
    prompts.answerMessage(PromptAnswer::No);
    window->execute(CommandId::StartBatch);

    EXPECT_EQ(offered, std::vector<std::size_t>{2});
    EXPECT_EQ(cards().size(), 3u);
    ASSERT_EQ(prompts.asked().size(), 4u);
    EXPECT_EQ(prompts.asked()[3].text, "所选行的图片已制作完成，共 0 张\n"
                                       "2 张卡片按制作记录已经做过，没有再做\n是否查看图片？");
}

TEST_F(RowPickerTest, SelectAllAndNoneActOnTheShownRows)
{
    RowPickerRequest request;
    ASSERT_EQ(readRowChoices(csv, true, {"工号", "姓名", "部门"}, request.rows), CsvStatus::Ok);
    EXPECT_FALSE(RowPickerDialog(request, nullptr).problemRowsButton()->isEnabled());
    request.problemRows = {2, 6, 99};
    RowPickerDialog picker(request, nullptr);
    picker.show();
    QPushButton* all = picker.selectAllButton();
    QPushButton* none = picker.selectNoneButton();
    QPushButton* problems = picker.problemRowsButton();
    const struct {
        const char* filter;
        QPushButton* button;
        std::vector<std::size_t> ticked;
        const char* shown;
        const char* count;
    } steps[] = {
        {"研发", all, {1, 3, 4}, "显示 3 / 5 行", "已选 3 行"},
        {"市场", all, {1, 2, 3, 4, 6}, "显示 2 / 5 行", "已选 5 行（其中 3 行未显示）"},
        {"乙", problems, {2, 6}, "显示 1 / 5 行", "已选 2 行（其中 1 行未显示）"},
        {"市场", none, {}, "显示 2 / 5 行", "已选 0 行"},
        {"", all, {1, 2, 3, 4, 6}, "共 5 行", "已选 5 行"},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.filter);
        picker.filterField()->setText(QString::fromUtf8(step.filter));
        step.button->click();
        EXPECT_EQ(picker.model()->ticked(), step.ticked);
        EXPECT_EQ(picker.shownLabel()->text().toStdString(), step.shown);
        EXPECT_EQ(picker.countLabel()->text().toStdString(), step.count);
        EXPECT_EQ(picker.okButton()->isEnabled(), !step.ticked.empty());
    }
    // Enter in the filter goes to the rows; it does not close the picker.
    picker.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&picker));
    picker.filterField()->setFocus();
    QTest::keyClick(picker.filterField(), Qt::Key_Return);
    EXPECT_TRUE(picker.isVisible());
    EXPECT_TRUE(picker.table()->hasFocus());
}

TEST_F(RowPickerTest, PrintSheetOfChosenRows)
{
    PrintSheetDialog& sheet = *window->batch().sheetDialog();
    QTimer::singleShot(0, [&] {
        sheet.rowsBox()->setCurrentIndex(1); // 选择行…
        sheet.okButton()->click();
    });
    prompts.answerRows([](const RowPickerRequest&) { return std::vector<std::size_t>{2, 4, 6}; });
    prompts.answerMessage(PromptAnswer::No);
    window->execute(CommandId::PrintSheet);

    EXPECT_EQ(window->batch().lastSheet().batch.written, 3u);
    EXPECT_EQ(window->batch().lastSheet().pages, 1u);
    ASSERT_EQ(prompts.asked().size(), 2u);
    EXPECT_EQ(prompts.asked()[0].kind, "rows");
}

} // namespace
} // namespace torvale::test
