#include "ui/canvas_view.h"
#include "ui/data_source_panel.h"
#include "ui/log_window.h"
#include "ui/row_preview.h"
#include "ui/ui_fixture.h"

#include <QCheckBox>
#include <QSignalSpy>
#include <QSpinBox>
#include <filesystem>

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

    panel.previewBox()->setChecked(false);
    EXPECT_TRUE(window->preview().card().isNull());
}

} // namespace
} // namespace torvale::test
