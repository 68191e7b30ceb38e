#include "batch/batch_validation.h"
#include "batch/csv_source.h"
#include "common/settings_store.h"
#include "render/magick.h"
#include "support/test_support.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace torvale {
namespace {

using test::testFonts;

using test::TempDir;
using test::writeFile;

// A template that passes every check, its inputs, and the files they name.
struct Scene {
    TempDir dir;
    Template tpl;
    BatchInputs inputs;

    Scene()
    {
        writeFile(dir.file("people.csv"), "姓名,Code,照片\n张三,001,a.png\n");
        writeFile(dir.file("bg.png"), "not decoded, only looked for");
        tpl.layers = {
            makeLayer(LayerType::Text, LayerLevel::AboveBackground, OverflowStyle::FillScale),
            makeLayer(LayerType::Picture, LayerLevel::AboveBackground, OverflowStyle::FillScale),
            makeLayer(LayerType::Text, LayerLevel::AboveBackground, OverflowStyle::FillScale)};
        renumberLayers(tpl.layers);
        const char* bound[] = {"姓名", "照片", "Code"};
        for (std::size_t i = 0; i < tpl.layers.size(); ++i) {
            Layer& layer = tpl.layers[i];
            layer.x = layer.y = 10;
            layer.width = layer.height = 100;
            layer.bind_col_name = bound[i];
        }
        tpl.background.background_path = "bg.png";
        tpl.output.file_name_bind_col_name = "Code";
        inputs = {dir.file("people.csv"), dir.file("out"), dir.file("bg.png")};
    }
};

struct CheckCase {
    const char* name;
    std::function<void(Scene&)> change;
    int check;
    BatchControl control = BatchControl::None;
    std::string title = {};
    std::string text = {};
    int layerNumber = 0;
};

std::ostream& operator<<(std::ostream& out, const CheckCase& c)
{
    return out << c.name;
}

void unsetRect(Layer& layer)
{
    layer.x = layer.y = layer.width = layer.height = -1;
}

const std::string kCsvTitle = "csv文件无法访问";
const std::string kCsvText = "请检查文件是否存在或被别的软件【独占方式】打开";

const CheckCase kCases[] = {
    {"Valid", [](Scene&) {}, 0},
    {"WidthEmpty", [](Scene& s) { s.tpl.background.szWidth = ""; }, 1,
     BatchControl::BackgroundWidth, "请输入【背景层】宽度", "这里不能为空"},
    {"WidthZero", [](Scene& s) { s.tpl.background.szWidth = "0"; }, 2,
     BatchControl::BackgroundWidth, "【背景层】宽度必须大于 0", "请重新输入"},
    {"WidthNotANumber", [](Scene& s) { s.tpl.background.szWidth = "abc"; }, 2,
     BatchControl::BackgroundWidth, "【背景层】宽度必须大于 0", "请重新输入"},
    {"HeightEmpty", [](Scene& s) { s.tpl.background.szHeight = ""; }, 3,
     BatchControl::BackgroundHeight, "请输入【背景层】高度", "这里不能为空"},
    {"HeightZero", [](Scene& s) { s.tpl.background.szHeight = "0.5"; }, 4,
     BatchControl::BackgroundHeight, "【背景层】高度必须大于 0", "请重新输入"},
    {"CustomCanvasIgnoresMissingPicture",
     [](Scene& s) { s.inputs.backgroundPath = s.dir.file("gone.png"); }, 0},
    {"PictureBackgroundExists",
     [](Scene& s) {
         s.tpl.background.kind = BackgroundKind::Picture;
         s.tpl.background.szWidth = "";
     },
     0},
    {"PicturePathEmpty",
     [](Scene& s) {
         s.tpl.background.kind = BackgroundKind::Picture;
         s.tpl.background.background_path = "";
     },
     5, BatchControl::BackgroundPictureButton, "请选择一张背景图片", "请选择..."},
    {"PictureGone",
     [](Scene& s) {
         s.tpl.background.kind = BackgroundKind::Picture;
         s.tpl.background.background_path = "gone.png";
         s.inputs.backgroundPath = s.dir.file("gone.png");
     },
     6, BatchControl::BackgroundPictureButton, "背景图片不存在",
     "背景图片 'gone.png' 已不存在，请重新选择"},
    {"CsvEmpty", [](Scene& s) { s.inputs.csvPath = ""; }, 7, BatchControl::CsvChooseButton,
     "请选择一个【csv文件】", "请选择..."},
    {"CsvGone", [](Scene& s) { s.inputs.csvPath = s.dir.file("gone.csv"); }, 8,
     BatchControl::CsvPathBox, kCsvTitle, kCsvText},
    // A FIFO or a device is no CSV file; it must not block the check either.
    {"CsvNotAFile", [](Scene& s) { s.inputs.csvPath = "/dev/zero"; }, 8, BatchControl::CsvPathBox,
     kCsvTitle, kCsvText},
    {"CsvTooLarge",
     [](Scene& s) {
         s.inputs.csvPath = s.dir.file("huge.csv");
         test::writeFile(s.inputs.csvPath, "a,b\n");
         std::filesystem::resize_file(s.inputs.csvPath, kMaxCsvBytes + 1); // sparse
     },
     9, BatchControl::CsvPathBox, kCsvTitle, "文件太大（超过 2 GB）"},
    {"NoLayer", [](Scene& s) { s.tpl.layers.clear(); }, 10, BatchControl::LayerList,
     "请至少创建一个【图层】", "点右键创建..."},
    {"NoRect", [](Scene& s) { unsetRect(s.tpl.layers[0]); }, 11, BatchControl::LayerList,
     "图层#1 还没有创建选区", "可以创建一个选区或删除这个图层", 1},
    // A picture fitted to a layer beyond the image library's limits could not be made at all.
    {"PictureLayerTooLarge",
     [](Scene& s) {
         s.tpl.layers[1].width = 12000;
         s.tpl.layers[1].height = 12000;
     },
     11, BatchControl::LayerList, "图层#2 太大（12000 x 12000 像素）",
     "图片图层的宽和高最多 16000 像素，面积最多 128000000 像素，请缩小图层", 2},
    {"UnboundBeforeLaterNoRect",
     [](Scene& s) {
         s.tpl.layers[1].bind_col_name = "";
         unsetRect(s.tpl.layers[2]);
     },
     12, BatchControl::LayerColumnSelector, "图层#2 还没有绑定列名", "请绑定一个列名", 2},
    {"BoundOnlyByCase", [](Scene& s) { s.tpl.layers[2].bind_col_name = "code"; }, 12,
     BatchControl::LayerColumnSelector, "图层#3 还没有绑定列名", "请绑定一个列名", 3},
    {"UnknownFontOnPictureLayer", [](Scene& s) { s.tpl.layers[1].fontName = "NoSuchFont"; }, 0},
    {"UnknownFontBeforeLaterNoRect",
     [](Scene& s) {
         s.tpl.layers[0].fontName = "NoSuchFont";
         unsetRect(s.tpl.layers[1]);
     },
     13, BatchControl::LayerFontSelector, "没找到【NoSuchFont】字体", "请重新选择一个字体", 1},
    {"FixedLayersNeedNoColumn",
     [](Scene& s) {
         for (Layer& layer : s.tpl.layers) {
             layer.isFixed = true;
             layer.bind_col_name = "";
             layer.text = "编号：{Code} {{x}}";
         }
         const MagickWandPtr logo = newCanvas(4, 4, "red");
         MagickWriteImage(logo.get(), s.dir.file("logo.png").c_str());
         s.tpl.templatePath = s.dir.file("badge.dat");
         s.tpl.layers[1].filePath = "logo.png";
     },
     0},
    // A shape of any size has no column; it is checked only for its rectangle and its rule.
    {"ShapeNeedsNoColumn",
     [](Scene& s) {
         s.tpl.layers[1].type = LayerType::Shape;
         s.tpl.layers[1].bind_col_name = "";
         s.tpl.layers[1].width = 20000;
     },
     0},
    {"FixedTextEmpty",
     [](Scene& s) {
         s.tpl.layers[0].isFixed = true;
         s.tpl.layers[0].text = "";
     },
     12, BatchControl::LayerContentField, "图层#1 的固定内容为空", "请输入每张卡片上都显示的文字",
     1},
    {"FixedTextFieldNotAColumn",
     [](Scene& s) {
         s.tpl.layers[2].isFixed = true;
         s.tpl.layers[2].text = "{姓名}/{工号}";
     },
     12, BatchControl::LayerContentField, "图层#3 的字段 {工号} 不是CSV文件的列",
     "请改成CSV文件中的列名，或用 {{ 和 }} 写出花括号本身", 3},
    {"FixedTextSerialMalformed",
     [](Scene& s) {
         s.tpl.layers[0].isFixed = true;
         s.tpl.layers[0].text = "{#:abc}";
     },
     12, BatchControl::LayerContentField, "图层#1 的字段 {#:abc} 不是CSV文件的列",
     "编号写作 {#}，补零到4位写作 {#:0000}；或改成CSV文件中的列名", 1},
    {"FixedPictureNotAPicture",
     [](Scene& s) {
         s.tpl.templatePath = s.dir.file("badge.dat");
         s.tpl.layers[1].isFixed = true;
         s.tpl.layers[1].filePath = "bg.png";
     },
     12, BatchControl::LayerContentField, "图片无法读取",
     "图片 'bg.png' 已损坏、不是图片或尺寸太大，请重新选择", 2},
    {"RuleColumnNotInCsv",
     [](Scene& s) {
         s.tpl.layers[0].showIfColumn = "姓名";
         s.tpl.layers[1].isFixed = true; // the rule comes before the fixed picture
         s.tpl.layers[1].showIfColumn = "类别";
     },
     12, BatchControl::LayerShowIfColumn, "图层#2 的显示条件列 '类别' 不是CSV文件的列",
     "请选择CSV文件中的列，或选择“(总是显示)”", 2},
    {"PlaceholderMissing",
     [](Scene& s) { s.tpl.layers[1].placeholderPath = "/no/such.png"; }, 12,
     BatchControl::LayerPlaceholderField, "占位图片无法读取",
     "图片 '/no/such.png' 不存在，请重新选择", 2},
    {"OutputEmpty", [](Scene& s) { s.inputs.outputFolder = ""; }, 14,
     BatchControl::OutputFolderButton, "请选择【图片保存到】文件夹",
     "制作的图片将保存到这个文件夹里"},
    {"OutputTwoLevelsMissing", [](Scene& s) { s.inputs.outputFolder = s.dir.file("a/b"); }, 15,
     BatchControl::OutputFolderMessage, ""},
    {"OutputIsAFile", [](Scene& s) { s.inputs.outputFolder = s.dir.file("bg.png"); }, 15,
     BatchControl::OutputFolderMessage, ""},
    {"NoFileNameColumn", [](Scene& s) { s.tpl.output.file_name_bind_col_name = ""; }, 16,
     BatchControl::FileNameColumn, "请选择文件名绑定的【列名】", "根据绑定的列名生成图片文件名"},
    {"FileNameColumnNotInCsv", [](Scene& s) { s.tpl.output.file_name_bind_col_name = "工号"; }, 16,
     BatchControl::FileNameColumn, "请选择文件名绑定的【列名】", "根据绑定的列名生成图片文件名"},
    {"OnlySecondFileNameColumn",
     [](Scene& s) {
         s.tpl.output.file_name_bind_col_name = "";
         s.tpl.output.file_name_bind_col_name2 = "姓名";
     },
     0},
    {"PictureUndecodable",
     [](Scene& s) {
         s.tpl.background.kind = BackgroundKind::Picture;
         s.tpl.background.pictureUnreadable = true;
     },
     6, BatchControl::BackgroundPictureButton, "背景图片无法读取",
     "背景图片 'bg.png' 已损坏、不是图片或尺寸太大，请重新选择"},
    {"CanvasBeyondTheLibraryLimits",
     [](Scene& s) {
         s.tpl.background.szWidth = "20000";
         updateCustomCanvasSize(s.tpl.background);
     },
     2, BatchControl::BackgroundWidth, "【背景层】无法创建",
     "20000 x 800 像素的画布超出了图像处理库的限制，请减小宽度或高度"},
    {"OutputFolderNotWritable", [](Scene& s) { s.inputs.outputFolder = "/proc/self"; }, 15,
     BatchControl::OutputFolderMessage, "",
     std::string("【图片保存到】文件夹 '/proc/self' 无法写入文件（") + std::strerror(ENOENT) +
         "）, 请重新选择一个文件夹"},
    {"BackgroundComesFirst",
     [](Scene& s) {
         s.tpl.background.szHeight = "";
         s.inputs.csvPath = "";
         s.tpl.layers.clear();
         s.inputs.outputFolder = "";
     },
     3, BatchControl::BackgroundHeight, "请输入【背景层】高度", "这里不能为空"},
    {"LayersBeforeOutput",
     [](Scene& s) {
         unsetRect(s.tpl.layers[2]);
         s.inputs.outputFolder = "";
         s.tpl.output.file_name_bind_col_name = "";
     },
     11, BatchControl::LayerList, "图层#3 还没有创建选区", "可以创建一个选区或删除这个图层", 3},
};

class ValidateBatchTest : public ::testing::TestWithParam<CheckCase> {};

TEST_P(ValidateBatchTest, ReportsTheFirstProblem)
{
    const CheckCase& c = GetParam();
    Scene s;
    c.change(s);
    const BatchProblem problem = validateBatch(s.tpl, s.inputs, testFonts());
    EXPECT_EQ(problem.check, c.check);
    if (c.check == 0)
        return;
    EXPECT_EQ(problem.control, c.control);
    EXPECT_EQ(problem.title, c.title);
    if (c.check == 15 && c.text.empty()) {
        EXPECT_EQ(problem.text, "【图片保存到】文件夹 '" + s.inputs.outputFolder +
                                    "' 创建失败, 请重新选择一个文件夹");
    } else {
        EXPECT_EQ(problem.text, c.text);
    }
    EXPECT_EQ(problem.layerNumber, c.layerNumber);
    EXPECT_EQ(problem.scrollToTop, c.check <= 13);
    const BatchControl focus = c.check == 8 || c.check == 9 ? BatchControl::CsvChooseButton
                               : c.check == 10              ? BatchControl::None
                               : c.check == 15              ? BatchControl::OutputFolderButton
                                                            : c.control;
    EXPECT_EQ(problem.focus, focus);
}

INSTANTIATE_TEST_SUITE_P(Checks, ValidateBatchTest, ::testing::ValuesIn(kCases),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(ValidateBatch, CreatesTheOutputFolderOneLevelDeep)
{
    Scene s;
    std::optional<std::vector<std::string>> columns;
    EXPECT_TRUE(validateBatch(s.tpl, s.inputs, testFonts(), &columns).ok());
    EXPECT_TRUE(std::filesystem::is_directory(s.dir.path() / "out"));
    EXPECT_EQ(columns, (std::vector<std::string>{"姓名", "Code", "照片"}));

    s.inputs.outputFolder = s.dir.file("x/y");
    EXPECT_EQ(validateBatch(s.tpl, s.inputs, testFonts(), &columns).check, 15);
    EXPECT_FALSE(std::filesystem::exists(s.dir.path() / "x"));
}

} // namespace
} // namespace torvale
