#include "ui/panels/background_panel.h"
#include "ui/balloon.h"
#include "ui/canvas/canvas_view.h"
#include "ui/panels/data_source_panel.h"
#include "ui/dialogs/folder_browser.h"
#include "ui/panels/output_panel.h"
#include "ui/ui_fixture.h"

#include "support/workbook_files.h"

#include "model/settings.h"
#include "model/template_file.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace torvale::test {
namespace {

class PanelsTest : public UiTest {
protected:
    BackgroundPanel& background() { return *window->backgroundPanel(); }
    DataSourcePanel& dataSource() { return *window->dataSourcePanel(); }
    OutputPanel& output() { return *window->outputPanel(); }
    const BackgroundLayer& model() { return document->tpl().background; }

    /// Types a size text as the user would, at the current DPI.
    void setWidthAt(std::int32_t dpi, const QString& text)
    {
        ASSERT_TRUE(document->setDpi(dpi));
        background().widthField()->clear();
        background().widthField()->setText(text);
    }

    std::string writeCsv(const std::string& name, const std::string& text)
    {
        const std::string path = dir.file(name);
        writeFile(path, text);
        return path;
    }

    std::vector<std::string> boxEntries(QComboBox* box)
    {
        std::vector<std::string> entries;
        for (int i = 0; i < box->count(); ++i)
            entries.push_back(box->itemText(i).toStdString());
        return entries;
    }

    std::vector<Balloon*> balloons() { return window->balloons().open(); }
};

TEST_F(PanelsTest, UnitSwitchRewritesTheTextsAtTheBackgroundDpi)
{
    setWidthAt(300, QStringLiteral("800"));
    EXPECT_EQ(model().dpi, 300);

    background().unitBox()->setCurrentIndex(1); // 厘米
    EXPECT_EQ(background().widthField()->text(), QStringLiteral("6.77"));
    EXPECT_EQ(background().heightField()->text(), QStringLiteral("6.77"));
    EXPECT_EQ(model().szWidth, "6.77");
    EXPECT_EQ(model().width, 800) << "rewriting the texts is not a size edit";
    EXPECT_EQ(background().widthField()->maxLength(), 6);

    background().unitBox()->setCurrentIndex(3); // 英寸
    EXPECT_EQ(background().widthField()->text(), QStringLiteral("2.667"));
    EXPECT_EQ(model().unit, SizeUnit::Inch);
    EXPECT_EQ(background().widthField()->maxLength(), 7);

    background().unitBox()->setCurrentIndex(0);
    EXPECT_EQ(background().widthField()->text(), QStringLiteral("800"));
    EXPECT_EQ(background().heightField()->maxLength(), 5);
}

TEST_F(PanelsTest, SizeTextsBecomePixels)
{
    ASSERT_TRUE(document->setDpi(300));
    background().unitBox()->setCurrentIndex(1);
    background().widthField()->setText(QStringLiteral("2.54"));
    EXPECT_EQ(model().width, 300);
    EXPECT_EQ(model().szWidth, "2.54");
    background().heightField()->setText(QString());
    EXPECT_EQ(model().height, 118);

    background().unitBox()->setCurrentIndex(0);
    background().widthField()->setText(QStringLiteral("0"));
    EXPECT_EQ(model().width, 1);
    EXPECT_EQ(background().widthField()->text(), QStringLiteral("0"));
    EXPECT_EQ(model().szWidth, "0");
}

TEST_F(PanelsTest, RefusedCharactersBeepWithABalloon)
{
    background().unitBox()->setCurrentIndex(1);
    QLineEdit* width = background().widthField();
    width->setText(QStringLiteral("12"));
    width->setFocus();
    width->setCursorPosition(2);
    QTest::keyClick(width, Qt::Key_Period, Qt::NoModifier, '.');
    QTest::keyClick(width, Qt::Key_5, Qt::NoModifier, '5');
    EXPECT_EQ(width->text(), QStringLiteral("12.5"));
    EXPECT_TRUE(balloons().empty());

    QTest::keyClick(width, Qt::Key_A, Qt::NoModifier, 'a');
    EXPECT_EQ(width->text(), QStringLiteral("12.5"));
    ASSERT_EQ(balloons().size(), 1u);
    EXPECT_EQ(balloons()[0]->title(), QStringLiteral("不能接受的字符"));
    EXPECT_EQ(balloons()[0]->text(), QStringLiteral("您只能在此处键入数字。"));
    EXPECT_EQ(balloons()[0]->control(), width);

    window->balloons().dismissAll();
    width->setCursorPosition(0);
    QTest::keyClick(width, Qt::Key_Period, Qt::NoModifier, '.');
    EXPECT_EQ(width->text(), QStringLiteral("12.5")) << "no point at the start";
    EXPECT_EQ(balloons().size(), 1u);

    // Full-width digits from an input method are not digits.
    window->balloons().dismissAll();
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("３"));
    QApplication::sendEvent(width, &commit);
    EXPECT_EQ(width->text(), QStringLiteral("12.5"));
    EXPECT_EQ(balloons().size(), 1u);
}

TEST_F(PanelsTest, PasteIsCheckedAsAWholeNumber)
{
    background().unitBox()->setCurrentIndex(2); // 毫米
    QLineEdit* height = background().heightField();
    height->setText(QStringLiteral("15"));
    height->setFocus();
    height->selectAll();
    QApplication::clipboard()->setText(QStringLiteral("1.2.3"));
    QTest::keyClick(height, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(height->text(), QStringLiteral("15"));
    EXPECT_EQ(balloons().size(), 1u);

    QApplication::clipboard()->setText(QStringLiteral("-2.5"));
    QTest::keyClick(height, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(height->text(), QStringLiteral("-2.5"));
    EXPECT_EQ(model().szHeight, "-2.5");
}

TEST_F(PanelsTest, TabMovesBetweenTheSizeFields)
{
    QLineEdit* width = background().widthField();
    QLineEdit* height = background().heightField();
    width->setFocus();
    QTest::keyClick(width, Qt::Key_Tab);
    EXPECT_TRUE(height->hasFocus());
    EXPECT_EQ(height->selectedText(), QStringLiteral("800"));
    QTest::keyClick(height, Qt::Key_Tab);
    EXPECT_TRUE(width->hasFocus());
}

TEST_F(PanelsTest, ColourDialogCancelGoesBackToWhite)
{
    QComboBox* colors = background().colorBox();
    prompts.answerColor(std::nullopt);
    colors->setCurrentIndex(2); // 选择
    EXPECT_EQ(colors->currentIndex(), 0);
    EXPECT_FALSE(background().swatch()->isEnabled());
    EXPECT_EQ(model().colorMode, BackgroundColorMode::White);

    colors->setCurrentIndex(1); // 透明
    EXPECT_TRUE(model().hasAlpha);
    prompts.answerColor(std::nullopt);
    colors->setCurrentIndex(2);
    EXPECT_EQ(colors->currentIndex(), 1);

    prompts.answerColor(0x00FF00u);
    colors->setCurrentIndex(2);
    EXPECT_TRUE(background().swatch()->isEnabled());
    EXPECT_EQ(model().colorMode, BackgroundColorMode::Chosen);
    EXPECT_EQ(model().drawingColor, 0x00FF00u);
    EXPECT_FALSE(model().hasAlpha);
    EXPECT_EQ(background().swatch()->grab().toImage().pixelColor(5, 5), QColor(0, 255, 0));

    // After a chosen colour, cancelling the swatch's dialog changes nothing.
    prompts.answerColor(std::nullopt);
    QTest::mouseClick(background().swatch(), Qt::LeftButton);
    EXPECT_EQ(colors->currentIndex(), 2);
    EXPECT_TRUE(background().swatch()->isEnabled());
    EXPECT_EQ(model().drawingColor, 0x00FF00u);
    EXPECT_EQ(prompts.unansweredCount(), 0u);
    EXPECT_EQ(prompts.asked().back().owner, nullptr) << "owned by the main window";
}

TEST_F(PanelsTest, OversizeCanvasWarnsOnceAndIsNotDrawn)
{
    ASSERT_TRUE(document->setDpi(300));
    prompts.answerColor(0x0000FFu);
    background().colorBox()->setCurrentIndex(2); // a red canvas
    CanvasView& canvas = *window->canvas();
    const auto redShown = [&] {
        const QImage shown = canvas.viewport()->grab().toImage();
        return shown.pixelColor(canvas.cardOrigin() + QPoint(10, 10)) == QColor(255, 0, 0);
    };
    EXPECT_TRUE(redShown());

    background().unitBox()->setCurrentIndex(2); // 毫米
    QLineEdit* width = background().widthField();
    width->setFocus();
    width->selectAll();
    QTest::keyClicks(width, QStringLiteral("1000"));
    EXPECT_TRUE(balloons().empty()) << "11811 x 800 pixels can be drawn";
    QTest::keyClicks(width, QStringLiteral("00"));
    ASSERT_EQ(balloons().size(), 1u);
    EXPECT_EQ(balloons()[0]->title(), QStringLiteral("尺寸过大"));
    EXPECT_EQ(balloons()[0]->text(), QStringLiteral("最大 1354.69 x 67.73 毫米"));
    EXPECT_EQ(balloons()[0]->control(), width);

    // The size is kept as typed; the canvas shows no more than the largest side, undrawn.
    EXPECT_EQ(model().szWidth, "100000");
    EXPECT_GT(model().width, 1'000'000);
    EXPECT_FALSE(redShown());
    EXPECT_LT(canvas.horizontalScrollBar()->maximum(), 16100);
}

TEST_F(PanelsTest, PictureBackgroundIsCheckedWhenChosen)
{
    const std::string notPicture = dir.file("text.png");
    writeFile(notPicture, "not a picture");
    const std::string picture = dir.file("bg.png");
    ASSERT_TRUE(QImage(30, 20, QImage::Format_RGB32).save(QString::fromStdString(picture)));

    prompts.answerFile(notPicture);
    prompts.answerMessage(PromptAnswer::Ok);
    prompts.answerFile(picture);
    QTest::mouseClick(background().pictureRadio(), Qt::LeftButton);
    ASSERT_EQ(prompts.asked().size(), 3u);
    EXPECT_EQ(prompts.asked()[0].caption, "选择背景图片");
    EXPECT_EQ(prompts.asked()[1].caption, "提示");
    EXPECT_EQ(prompts.asked()[1].icon, PromptIcon::Warning);
    EXPECT_EQ(prompts.asked()[1].text,
              "背景图片 '" + notPicture + "' 不是一个有效的图片，请重新选择。");
    EXPECT_EQ(prompts.asked()[2].text, dir.path().string()) << "the dialog starts where it ended";
    EXPECT_EQ(model().kind, BackgroundKind::Picture);
    EXPECT_EQ(model().background_path, picture);
    EXPECT_EQ(background().pathField()->text().toStdString(), picture);
    EXPECT_EQ(model().width, 30);
    EXPECT_EQ(model().height, 20);
    EXPECT_TRUE(background().pathField()->isVisibleTo(&background()));
    EXPECT_FALSE(background().widthField()->isVisibleTo(&background()));

    // Back to a custom canvas, the size comes from the fields again.
    QTest::mouseClick(background().customRadio(), Qt::LeftButton);
    EXPECT_EQ(model().kind, BackgroundKind::Custom);
    EXPECT_EQ(model().width, 800);
    EXPECT_TRUE(background().widthField()->hasFocus());

    // The picture is gone when the picture background is chosen again.
    std::filesystem::remove(picture);
    QTest::mouseClick(background().pictureRadio(), Qt::LeftButton);
    ASSERT_EQ(balloons().size(), 1u);
    EXPECT_EQ(balloons()[0]->title(), QStringLiteral("请重新选择..."));
    EXPECT_EQ(balloons()[0]->text().toStdString(),
              "背景图片 '" + picture + "' 已不存在，请重新选择。");
    EXPECT_EQ(balloons()[0]->control(), background().chooseButton());
    EXPECT_EQ(model().width, 1);
    EXPECT_TRUE(model().picture);
    EXPECT_EQ(prompts.unansweredCount(), 0u);
}

TEST_F(PanelsTest, RefreshReadsTheBackgroundPictureAgain)
{
    const std::string picture = dir.file("bg.png");
    ASSERT_TRUE(QImage(30, 20, QImage::Format_RGB32).save(QString::fromStdString(picture)));
    prompts.answerFile(picture);
    QTest::mouseClick(background().pictureRadio(), Qt::LeftButton);
    ASSERT_EQ(model().width, 30);

    // Edited in another program meanwhile.
    ASSERT_TRUE(QImage(40, 10, QImage::Format_RGB32).save(QString::fromStdString(picture)));
    window->execute(CommandId::Refresh);
    EXPECT_EQ(model().width, 40);
    EXPECT_EQ(model().height, 10);
    EXPECT_TRUE(balloons().empty());

    writeFile(picture, "not a picture any more");
    window->execute(CommandId::Refresh);
    ASSERT_EQ(balloons().size(), 1u);
    EXPECT_EQ(balloons()[0]->title(), QStringLiteral("请重新选择..."));
    EXPECT_EQ(balloons()[0]->text().toStdString(),
              "背景图片 '" + picture + "' 不是一个有效的图片，请重新选择。");
    EXPECT_EQ(balloons()[0]->control(), background().chooseButton());
    EXPECT_EQ(model().width, 40) << "the picture read before stays";
}

TEST_F(PanelsTest, CsvChoiceAsksAgainUntilAFileLoads)
{
    const std::string missing = dir.file("gone.csv");
    const std::string text = writeCsv("list.txt", "a,b\n");
    const std::string good = writeCsv("people.csv", "Name,ID\nAnn,1\n");
    prompts.answerFile(missing);
    prompts.answerMessage(PromptAnswer::Ok);
    prompts.answerFile(text);
    prompts.answerMessage(PromptAnswer::Ok);
    prompts.answerFile(good);
    QTest::mouseClick(dataSource().chooseButton(), Qt::LeftButton);

    const auto& asked = prompts.asked();
    ASSERT_EQ(asked.size(), 5u);
    EXPECT_EQ(asked[0].kind, "openFile");
    EXPECT_EQ(asked[0].caption, "选择csv文件");
    EXPECT_EQ(asked[1].caption, "提示");
    EXPECT_EQ(asked[1].icon, PromptIcon::Warning);
    EXPECT_EQ(asked[1].text, "文件 '" + missing + "' 已不存在，请重新选择。");
    EXPECT_EQ(asked[3].text, "请选择一个 csv 文件");
    EXPECT_EQ(asked[4].kind, "openFile");
    EXPECT_EQ(document->tpl().csv_file_path, good);
    EXPECT_EQ(dataSource().csvPathField()->text().toStdString(), good);
    EXPECT_EQ(dataSource().csvPathField()->objectName(), QStringLiteral("csvPath"));
    EXPECT_EQ(document->csvColumns(), (std::vector<std::string>{"Name", "ID"}));
    EXPECT_EQ(boxEntries(output().fileNameBox(0)), (std::vector<std::string>{"", "Name", "ID"}));

    // Cancelling keeps the file.
    prompts.answerFile(std::nullopt);
    QTest::mouseClick(dataSource().chooseButton(), Qt::LeftButton);
    EXPECT_EQ(document->tpl().csv_file_path, good);
}

TEST_F(PanelsTest, WorkbookSheetsAreChosenInAListAsOneUndoStep)
{
    const std::string book = dir.file("staff.xlsx");
    const auto cell = [](const std::string& ref, const std::string& text) {
        return "<c r=\"" + ref + "\" t=\"inlineStr\"><is><t>" + text + "</t></is></c>";
    };
    TestWorkbook workbook;
    workbook.sheets = {{"一月", "<row>" + cell("A1", "姓名") + "</row>"},
                       {"二月入职", "<row>" + cell("A1", "工号") + cell("B1", "部门") + "</row>"}};
    writeWorkbook(book, workbook);
    prompts.answerFile(book);
    QTest::mouseClick(dataSource().chooseButton(), Qt::LeftButton);
    EXPECT_EQ(document->tpl().csv_file_path, book);
    EXPECT_EQ(document->csvColumns(), (std::vector<std::string>{"姓名"}));
    QComboBox* sheets = dataSource().sheetBox();
    EXPECT_FALSE(sheets->isHidden());
    EXPECT_EQ(boxEntries(sheets), (std::vector<std::string>{"一月", "二月入职"}));
    EXPECT_EQ(sheets->currentIndex(), 0);

    const bool couldUndo = document->canUndo();
    sheets->setCurrentIndex(1);
    emit sheets->activated(1);
    EXPECT_EQ(document->tpl().csv_file_path, book + "#二月入职");
    EXPECT_EQ(document->csvColumns(), (std::vector<std::string>{"工号", "部门"}));
    EXPECT_EQ(dataSource().csvPathField()->text().toStdString(), book + "#二月入职");
    ASSERT_TRUE(document->canUndo());
    ASSERT_TRUE(document->undo());
    EXPECT_EQ(document->tpl().csv_file_path, book);
    EXPECT_EQ(document->csvColumns(), (std::vector<std::string>{"姓名"}));
    EXPECT_EQ(sheets->currentIndex(), 0);
    EXPECT_EQ(document->canUndo(), couldUndo) << "one step";

    // A CSV file has no sheets to offer.
    prompts.answerFile(writeCsv("people.csv", "Name\n"));
    QTest::mouseClick(dataSource().chooseButton(), Qt::LeftButton);
    EXPECT_TRUE(sheets->isHidden());
}

TEST_F(PanelsTest, TrimSwitchReadsTheFileAgain)
{
    const std::string csv = writeCsv("people.csv", "Name, ID\n");
    prompts.answerFile(csv);
    QTest::mouseClick(dataSource().chooseButton(), Qt::LeftButton);
    EXPECT_EQ(document->csvColumns(), (std::vector<std::string>{"Name", "ID"}));

    QTest::mouseClick(dataSource().trimBox(), Qt::LeftButton);
    EXPECT_FALSE(document->tpl().is_trim_csv_cell_value);
    EXPECT_EQ(document->csvColumns(), (std::vector<std::string>{"Name", " ID"}));

    std::filesystem::remove(csv);
    prompts.answerMessage(PromptAnswer::Ok);
    QTest::mouseClick(dataSource().trimBox(), Qt::LeftButton);
    EXPECT_TRUE(document->tpl().is_trim_csv_cell_value);
    ASSERT_EQ(prompts.asked().size(), 2u) << "the message alone, no dialog";
    EXPECT_EQ(prompts.asked()[1].text, "文件 '" + csv + "' 已不存在，请重新选择。");
    EXPECT_EQ(document->tpl().csv_file_path, csv);
    EXPECT_EQ(dataSource().csvPathField()->text().toStdString(), csv);
}

TEST_F(PanelsTest, FileNameBoxesKeepTheirChoiceAcrossAReload)
{
    prompts.answerFile(writeCsv("a.csv", "Name,ID,Phone\n"));
    QTest::mouseClick(dataSource().chooseButton(), Qt::LeftButton);
    output().fileNameBox(0)->setCurrentIndex(2);
    output().fileNameBox(1)->setCurrentIndex(3);
    EXPECT_EQ(document->tpl().output.file_name_bind_col_name, "ID");
    EXPECT_EQ(document->tpl().output.file_name_bind_col_name2, "Phone");

    prompts.answerFile(writeCsv("b.csv", "id,Name\n"));
    QTest::mouseClick(dataSource().chooseButton(), Qt::LeftButton);
    EXPECT_EQ(boxEntries(output().fileNameBox(1)), (std::vector<std::string>{"", "id", "Name"}));
    EXPECT_EQ(output().fileNameBox(0)->currentText(), QStringLiteral("id"));
    EXPECT_EQ(output().fileNameBox(1)->currentIndex(), 0);
    EXPECT_EQ(document->tpl().output.file_name_bind_col_name, "id");
    EXPECT_EQ(document->tpl().output.file_name_bind_col_name2, "");
}

TEST_F(PanelsTest, FormatShowsItsControls)
{
    auto shown = [&](QWidget* control) { return control->isVisibleTo(&output()); };
    EXPECT_TRUE(shown(output().qualitySlider()));
    EXPECT_FALSE(shown(output().transparentBox()));
    EXPECT_FALSE(shown(output().paletteBox()));

    output().formatBox()->setCurrentIndex(1);
    EXPECT_EQ(document->tpl().output.format, OutputFormat::Png);
    EXPECT_TRUE(shown(output().transparentBox()));
    EXPECT_TRUE(shown(output().png8Box()));
    EXPECT_FALSE(shown(output().paletteBox()));
    EXPECT_FALSE(shown(output().qualitySlider()));
    EXPECT_FALSE(shown(output().colorspaceBox()));

    QTest::mouseClick(output().png8Box(), Qt::LeftButton);
    EXPECT_TRUE(document->tpl().output.isSaveToPng8);
    EXPECT_TRUE(shown(output().paletteBox()));

    output().formatBox()->setCurrentIndex(0);
    EXPECT_FALSE(shown(output().paletteBox()));
    EXPECT_FALSE(shown(output().png8Box()));
    EXPECT_TRUE(shown(output().colorspaceBox()));
}

TEST_F(PanelsTest, QualityLabelFollowsTheSlider)
{
    EXPECT_EQ(output().qualityLabel()->text(), QStringLiteral("90(高)"));
    const std::pair<int, const char*> cases[] = {{89, "89(中)"}, {90, "90(高)"}, {59, "59(低)"}};
    for (const auto& [value, label] : cases) {
        output().qualitySlider()->setValue(value);
        EXPECT_EQ(output().qualityLabel()->text(), QString::fromUtf8(label));
        EXPECT_EQ(document->tpl().output.quality, value);
    }
}

TEST_F(PanelsTest, OutputFolderComesFromTheFolderBrowser)
{
    prompts.answerFile(dir.path().string());
    QTest::mouseClick(output().chooseFolderButton(), Qt::LeftButton);
    ASSERT_EQ(prompts.asked().size(), 1u);
    EXPECT_EQ(prompts.asked()[0].caption, "图片保存到：");
    EXPECT_EQ(prompts.asked()[0].text, "");
    EXPECT_EQ(document->tpl().output.outputFolder, dir.path().string());

    prompts.answerFile(std::nullopt);
    QTest::mouseClick(output().chooseFolderButton(), Qt::LeftButton);
    EXPECT_EQ(prompts.asked()[1].text, dir.path().string()) << "starts at the field's folder";
    EXPECT_EQ(output().folderField()->text().toStdString(), dir.path().string());
}

TEST_F(PanelsTest, PanelEditsAreTheSavedTemplate)
{
    ASSERT_TRUE(document->setDpi(150));
    background().unitBox()->setCurrentIndex(3);
    background().widthField()->setText(QStringLiteral("2"));
    background().heightField()->setText(QStringLiteral("1.5"));
    prompts.answerColor(0x336699u);
    background().colorBox()->setCurrentIndex(2);
    prompts.answerFile(writeCsv("people.csv", "Name,ID\n"));
    QTest::mouseClick(dataSource().chooseButton(), Qt::LeftButton);
    output().formatBox()->setCurrentIndex(1);
    QTest::mouseClick(output().transparentBox(), Qt::LeftButton);
    QTest::mouseClick(output().png8Box(), Qt::LeftButton);
    output().paletteBox()->setCurrentIndex(3);
    output().fileNameBox(0)->setCurrentIndex(1);

    const std::string expected = "{\n"
                                 "\t\"background_type\":\t1,\n"
                                 "\t\"width\":\t\"300\",\n"
                                 "\t\"height\":\t\"225\",\n"
                                 "\t\"szWidth\":\t\"2\",\n"
                                 "\t\"szHeight\":\t\"1.5\",\n"
                                 "\t\"unit\":\t3,\n"
                                 "\t\"dpi\":\t150,\n"
                                 "\t\"background_color\":\t\"other\",\n"
                                 "\t\"background_color_value\":\t3368601,\n"
                                 "\t\"csv_file_path\":\t\"" +
                                 dir.file("people.csv") +
                                 "\",\n"
                                 "\t\"is_trim_csv_cell_value\":\t1,\n"
                                 "\t\"pictures_show_select_area\":\t1,\n"
                                 "\t\"pictures_show_picture\":\t1,\n"
                                 "\t\"picture_items\":\t[],\n"
                                 "\t\"format\":\t\"PNG\",\n"
                                 "\t\"transparent_open\":\t0,\n"
                                 "\t\"isSaveToPng8\":\t1,\n"
                                 "\t\"colorCount\":\t16,\n"
                                 "\t\"file_name_bind_col_name\":\t\"Name\",\n"
                                 "\t\"file_name_bind_col_name2\":\t\"\"\n"
                                 "}";
    EXPECT_EQ(templateToJson(document->tpl(), document->dpi()), expected);
}

TEST_F(PanelsTest, NewTemplateShowsTheStartValuesWithoutAsking)
{
    background().unitBox()->setCurrentIndex(1);
    background().widthField()->setText(QStringLiteral("3"));
    prompts.answerColor(0x0000FFu);
    background().colorBox()->setCurrentIndex(2);
    output().qualitySlider()->setValue(70);

    document->newTemplate();
    EXPECT_EQ(background().unitBox()->currentIndex(), 0);
    EXPECT_EQ(background().widthField()->text(), QStringLiteral("800"));
    EXPECT_EQ(background().widthField()->maxLength(), 4);
    EXPECT_EQ(background().colorBox()->currentIndex(), 0);
    EXPECT_FALSE(background().swatch()->isEnabled());
    EXPECT_EQ(model().width, 800);
    EXPECT_EQ(output().qualityLabel()->text(), QStringLiteral("70(中)"));
    EXPECT_EQ(prompts.asked().size(), 1u) << "refreshing does not run the edit handlers";
}

TEST(FolderBrowser, MakesATypedNewFolderAndRefusesAPathThatCannotBeOne)
{
    TempDir dir;
    const QString missing = QString::fromStdString(dir.file("no/such")); // its parent too
    const std::string made = dir.file("新文件夹");
    QString message;
    QString caption;
    bool stayedOpen = false;
    // Runs inside the browser's modal loop: type a missing folder and press OK (the message
    // box is answered from its own loop), then type the folder itself.
    QTimer::singleShot(0, [&] {
        // Through QDialog: the file dialog's own accept() is protected.
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(qobject_cast<QFileDialog*>(dialog), nullptr);
        auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(edit->text(), QString::fromStdString(dir.path().string()));
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            message = box->text();
            caption = box->windowTitle();
            box->accept();
        });
        edit->setText(missing);
        dialog->accept();
        stayedOpen = dialog->isVisible();
        edit->setText(QString::fromStdString(made)); // a new folder's name: it is made
        dialog->accept();
    });
    const auto chosen = browseForFolder(nullptr, "图片保存到：", dir.path().string(), nullptr);
    EXPECT_EQ(message, QStringLiteral("文件夹 '%1' 不存在").arg(missing));
    EXPECT_EQ(caption, QStringLiteral("提示"));
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(chosen, made);
    EXPECT_TRUE(std::filesystem::is_directory(made));
}

TEST(FolderBrowser, EditBoxShowsTheSelectedPathAndTheSizeIsKeptForTheNextRun)
{
    TempDir dir;
    const SettingsStore store(dir.file("settings.json"));
    std::filesystem::create_directory(dir.file("照片"));
    QString selected;
    QString named;
    QSize left;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        auto* view = dialog->findChild<QListView*>(QStringLiteral("listView"));
        auto* model = dialog->findChild<QFileSystemModel*>();
        ASSERT_TRUE(edit && view && model);
        view->selectionModel()->setCurrentIndex(
            model->index(QString::fromStdString(dir.file("照片"))),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        selected = edit->text();
        // A new folder, named in place.
        dialog->findChild<QToolButton*>(QStringLiteral("newFolderButton"))->click();
        auto* tree = dialog->findChild<QAbstractItemView*>(QStringLiteral("treeView"));
        QAbstractItemView* shown = view->isVisible() ? view : tree;
        auto* nameEditor = shown->viewport()->findChild<QLineEdit*>();
        ASSERT_NE(nameEditor, nullptr);
        nameEditor->setText(QStringLiteral("名单"));
        QTest::keyClick(nameEditor, Qt::Key_Return);
        QApplication::processEvents();
        named = edit->text();
        dialog->resize(520, 410);
        left = dialog->size();
        // Through QDialog: the file dialog's own accept() is protected.
        static_cast<QDialog*>(dialog)->accept();
    });
    EXPECT_EQ(browseForFolder(nullptr, "图片保存到：", dir.path().string(), &store),
              dir.file("名单"));
    EXPECT_EQ(selected.toStdString(), dir.file("照片"));
    EXPECT_EQ(named.toStdString(), dir.file("名单"));
    EXPECT_EQ(storedFolderBrowserSize(store), std::pair(left.width(), left.height()));

    // The next run (a new store object reads the same file) opens at that size.
    QSize opened;
    QTimer::singleShot(0, [&] {
        opened = QApplication::activeModalWidget()->size();
        QApplication::activeModalWidget()->close();
    });
    browseForFolder(nullptr, "图片保存到：", dir.path().string(),
                    std::make_unique<SettingsStore>(store.file()).get());
    EXPECT_EQ(opened, left);
}

} // namespace
} // namespace torvale::test
