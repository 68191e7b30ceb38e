#include "ui/canvas/canvas_view.h"
#include "ui/panels/data_source_panel.h"
#include "ui/windows/log_window.h"
#include "ui/windows/row_check_window.h"
#include "ui/row_preview.h"
#include "ui/ui_fixture.h"

#include <QCheckBox>
#include <QLabel>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>

namespace torvale::test {
namespace {

class RowPreviewTest : public UiTest {
protected:
    /// Waits for the next card; generous, so a slow machine only waits longer.
    void waitForCard()
    {
        QSignalSpy ready(&window->preview(), &RowPreview::cardChanged);
        ASSERT_TRUE(ready.wait(60000));
    }
    QRgb canvasPixel(int cardX, int cardY)
    {
        CanvasView& canvas = *window->canvas();
        const QPoint origin = canvas.cardOrigin();
        const QImage shown = canvas.viewport()->grab().toImage();
        return shown.pixel(origin.x() + static_cast<int>(cardX * canvas.zoom()),
                           origin.y() + static_cast<int>(cardY * canvas.zoom()));
    }
};

TEST_F(RowPreviewTest, TheCanvasShowsTheCardOfTheChosenRow)
{
    const std::filesystem::path folder = dir.path() / "badge";
    std::filesystem::copy(std::string(TORVALE_SOURCE_DIR) + "/examples/badge", folder,
                          std::filesystem::copy_options::recursive);
    // The first person's photo is gone: the card says so in the log, once.
    std::filesystem::remove(folder / "photos/p01.jpg");
    ASSERT_TRUE(document->open((folder / "badge.dat").string()).ok());
    window->execute(static_cast<CommandId>(static_cast<int>(CommandId::Zoom25) + 1)); // 50%
    DataSourcePanel& panel = *window->dataSourcePanel();

    panel.previewBox()->setChecked(true);
    waitForCard();
    const QImage first = window->preview().card();
    ASSERT_FALSE(first.isNull());
    EXPECT_EQ(first.size(), QSize(1011, 638));
    EXPECT_EQ(window->preview().rowCount(), 24u);
    EXPECT_EQ(panel.previewRowBox()->maximum(), 24);
    EXPECT_EQ(window->logWindow()->text().count(QStringLiteral("p01.jpg")), 1);

    // Row 2: that person's photo in the photo layer (54, 144, 252 x 352), on the canvas too.
    panel.previewRowBox()->setValue(2);
    waitForCard();
    const QImage second = window->preview().card();
    EXPECT_NE(second.pixel(180, 250), first.pixel(180, 250));
    EXPECT_EQ(canvasPixel(180, 250), second.pixel(180, 250));

    // A change of the template draws the card again; the log does not repeat itself.
    panel.previewRowBox()->setValue(1);
    waitForCard();
    placeLayer(1, 0, 0, 600, 110);
    waitForCard();
    EXPECT_NE(window->preview().card(), first);
    EXPECT_EQ(window->logWindow()->text().count(QStringLiteral("p01.jpg")), 2);

    // The department in a font without Chinese is drawn in a fallback font, not left blank.
    const auto inkInDepartment = [](const QImage& card) {
        int ink = 0;
        for (int y = 300; y < 370; ++y) {
            for (int x = 360; x < 960; ++x)
                ink += qGray(card.pixel(x, y)) < 128;
        }
        return ink;
    };
    editLayer(2, FieldFont, [](Layer& layer) { layer.fontName = "DejaVu Sans"; });
    waitForCard();
    EXPECT_GT(inkInDepartment(window->preview().card()), 300);

    // A font mapped now draws the card again.
    editLayer(2, FieldFont, [](Layer& layer) { layer.fontName = "映射字体"; });
    waitForCard();
    const QImage unmapped = window->preview().card();
    const std::vector<FontEntry>* droid = testFonts().family("Droid Sans Fallback");
    ASSERT_TRUE(droid);
    ASSERT_TRUE(window->context().addFontMapping("映射字体", droid->front().fontReference));
    waitForCard();
    EXPECT_NE(window->preview().card(), unmapped);

    panel.previewBox()->setChecked(false);
    EXPECT_TRUE(window->preview().card().isNull());
}

TEST_F(RowPreviewTest, CheckingTheRowsListsTheProblemsAndPreviewsTheOneChosen)
{
    const std::filesystem::path folder = dir.path() / "badge";
    std::filesystem::copy(std::string(TORVALE_SOURCE_DIR) + "/examples/badge", folder,
                          std::filesystem::copy_options::recursive);
    std::filesystem::remove(folder / "photos/p03.jpg");
    // Row 25 names its card as row 1 does; row 26 is one the batch skips.
    std::ofstream(folder / "staff.csv", std::ios::app)
        << "A0001,张伟,研发部,photos/p01.jpg\nA0026,短行\n";
    ASSERT_TRUE(document->open((folder / "badge.dat").string()).ok());
    setOutputFolder(dir.file("cards"));

    window->execute(CommandId::CheckRows);
    RowCheckWindow* report = window->rowCheckWindow();
    ASSERT_TRUE(report);
    EXPECT_TRUE(report->isVisible());
    EXPECT_EQ(report->summary()->text().toStdString(), "已检查 26 行，发现 5 个问题。");
    QTreeWidget& list = *report->list();
    ASSERT_EQ(list.topLevelItemCount(), 5);
    const auto line = [&list](int i) {
        const QTreeWidgetItem* item = list.topLevelItem(i);
        return (item->text(0) + "|" + item->text(1) + "|" + item->text(2)).toStdString();
    };
    // The three people who share the lost photo, then the name taken twice.
    const std::string lost = "|照片|图片不存在：" + (folder / "photos/p03.jpg").string();
    EXPECT_EQ(line(0), "3" + lost);
    EXPECT_EQ(line(1), "11" + lost);
    EXPECT_EQ(line(2), "19" + lost);
    EXPECT_EQ(line(3), "25|工号|文件名“A0001-张伟.jpg”与第 1 行相同，将另存为带编号的名字");
    // A problem of the whole row names the line of the file too, as the batch's log does.
    EXPECT_EQ(line(4), "26（文件第 27 行）||有 2 个单元格，与表头的 4 个不同，这一行会被跳过");

    ASSERT_TRUE(QTest::qWaitForWindowExposed(report));
    const QRect last = list.visualItemRect(list.topLevelItem(3));
    ASSERT_TRUE(last.isValid());
    // A double click is a press, a release and then the double click.
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, last.center());
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, last.center());
    waitForCard();
    EXPECT_TRUE(window->dataSourcePanel()->previewBox()->isChecked());
    EXPECT_EQ(window->dataSourcePanel()->previewRowBox()->value(), 25);
    EXPECT_EQ(window->preview().row(), 25);
    EXPECT_FALSE(window->preview().card().isNull());
}

} // namespace
} // namespace torvale::test
