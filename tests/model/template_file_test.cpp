#include "common/text.h"
#include "model/template_file.h"
#include "model/text_fields.h"
#include "support/test_support.h"

#include <cjson/cJSON.h>
#include <gtest/gtest.h>

#include <climits>
#include <csignal>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <random>

#include <sys/resource.h>

namespace torvale {
namespace {

using test::dataFile;
using test::readFile;
using test::TempDir;
using test::writeFile;

struct JsonDeleter {
    void operator()(cJSON* json) const { cJSON_Delete(json); }
};
using JsonPtr = std::unique_ptr<cJSON, JsonDeleter>;

const std::vector<std::string> kColumns = {"姓名", "工号", "照片", "name"};

CsvColumnLoader columnsLoader(std::vector<std::string> columns = kColumns)
{
    return [columns](const std::string&, bool) { return std::optional(PackedStrings(columns)); };
}

const CsvColumnLoader kFailingLoader = [](const std::string&, bool) {
    return std::optional<PackedStrings>();
};

std::string golden(const std::string& name)
{
    return readFile(dataFile("templates/" + name));
}

// A golden file with an edit applied to its JSON tree, printed again.
std::string edited(const std::string& name, const std::function<void(cJSON*)>& edit)
{
    JsonPtr root(cJSON_Parse(golden(name).c_str()));
    edit(root.get());
    char* text = cJSON_Print(root.get());
    std::string result(text);
    cJSON_free(text);
    return result;
}

void setMember(cJSON* object, const char* key, cJSON* value)
{
    if (cJSON_GetObjectItemCaseSensitive(object, key))
        cJSON_ReplaceItemInObjectCaseSensitive(object, key, value);
    else
        cJSON_AddItemToObject(object, key, value);
}

cJSON* layerItem(cJSON* root, int index)
{
    return cJSON_GetArrayItem(cJSON_GetObjectItemCaseSensitive(root, "picture_items"), index);
}

Layer textLayer()
{
    Layer layer = makeLayer(LayerType::Text, LayerLevel::AboveBackground, OverflowStyle::FillScale);
    layer.x = 20;
    layer.y = 30;
    layer.width = 560;
    layer.height = 60;
    layer.bind_col_name = "姓名";
    layer.text = "张三";
    layer.fontName = "黑体";
    layer.fontSize = 32;
    layer.isBold = 1;
    layer.color = 0x0000FF;
    layer.htmlColor = colorToHtml(layer.color);
    layer.tHAlign = 1;
    layer.characterSpacing = 2;
    return layer;
}

Template customOtherTemplate()
{
    Template tpl;
    tpl.background.width = 600;
    tpl.background.height = 400;
    tpl.background.szWidth = "600";
    tpl.background.szHeight = "400";
    tpl.background.dpi = 300;
    tpl.background.chosenColor = 0xFF0000;
    setBackgroundColorMode(tpl.background, BackgroundColorMode::Chosen);
    tpl.csv_file_path = "people.csv";
    tpl.is_trim_csv_cell_value = false;
    tpl.pictures_show_picture = false;
    tpl.layers.push_back(textLayer());
    Layer picture =
        makeLayer(LayerType::Picture, LayerLevel::BelowBackground, OverflowStyle::CropCentre);
    picture.x = 400;
    picture.y = 100;
    picture.width = 150;
    picture.height = 200;
    picture.bind_col_name = "照片";
    picture.filePath = "photos/张三.png";
    picture.pHAlign = 0;
    picture.pVAlign = 2;
    tpl.layers.push_back(picture);
    renumberLayers(tpl.layers);
    tpl.output.quality = 85;
    tpl.output.colorspace = OutputColorspace::Gray;
    tpl.output.file_name_bind_col_name = "姓名";
    tpl.output.file_name_bind_col_name2 = "工号";
    return tpl;
}

Template pictureTemplate()
{
    Template tpl;
    tpl.background.kind = BackgroundKind::Picture;
    tpl.background.background_path = "背景.png";
    tpl.background.dpi = 600; // not written: a picture background writes the current DPI
    tpl.pictures_show_select_area = false;
    return tpl;
}

Template png8Template()
{
    Template tpl;
    tpl.background.unit = SizeUnit::Centimetre;
    tpl.background.dpi = 300;
    tpl.background.szWidth = "8.56";
    tpl.background.szHeight = "5.40";
    updateCustomCanvasSize(tpl.background);
    setBackgroundColorMode(tpl.background, BackgroundColorMode::Transparent);
    tpl.csv_file_path = "data/cards.csv";
    tpl.layers.push_back(textLayer());
    tpl.output.format = OutputFormat::Png;
    tpl.output.isSaveToPng8 = true;
    tpl.output.colorCount = 16;
    tpl.output.file_name_bind_col_name = "name";
    return tpl;
}

struct GoldenCase {
    const char* file;
    Template (*make)();
    std::int32_t currentDpi;
};

const GoldenCase kGoldenCases[] = {
    {"custom_other.dat", customOtherTemplate, 72},
    {"picture.dat", pictureTemplate, 150},
    {"png8.dat", png8Template, 72},
};

TEST(TemplateFile, WritesGoldenBytes)
{
    for (const auto& c : kGoldenCases) {
        SCOPED_TRACE(c.file);
        EXPECT_EQ(templateToJson(c.make(), c.currentDpi), golden(c.file));
    }
}

TEST(TemplateFile, RoundTripKeepsBytes)
{
    // Saved again in its own folder, a template keeps its bytes, relative paths included.
    TempDir dir;
    std::filesystem::copy(dataFile("templates"), dir.path(),
                          std::filesystem::copy_options::recursive);
    for (const auto& c : kGoldenCases) {
        SCOPED_TRACE(c.file);
        Template tpl;
        auto result = readTemplateFile(dir.file(c.file), tpl, 150, columnsLoader());
        ASSERT_TRUE(result.ok()) << result.message;
        const std::string first = templateToJson(tpl, result.dpi.value_or(150));
        EXPECT_EQ(first, golden(c.file));

        const std::string saved = dir.file(c.file);
        ASSERT_TRUE(saveTemplateFile(saved, tpl, result.dpi.value_or(150)).ok());
        EXPECT_EQ(tpl.templateName, c.file);
        Template again;
        result = readTemplateFile(saved, again, 150, columnsLoader());
        ASSERT_TRUE(result.ok()) << result.message;
        EXPECT_EQ(templateToJson(again, result.dpi.value_or(150)), first);
        EXPECT_EQ(again.templatePath, saved);
    }
}

TEST(TemplateFile, ReadReportsWhatTheCallerMustDo)
{
    Template tpl;
    auto result =
        readTemplateFile(dataFile("templates/custom_other.dat"), tpl, 72, columnsLoader());
    EXPECT_EQ(result.dpi, 300);
    EXPECT_TRUE(result.selectFirstLayer);
    EXPECT_FALSE(result.loadBackgroundPicture);
    EXPECT_EQ(tpl.layers[1].number, 2);

    result = readTemplateFile(dataFile("templates/picture.dat"), tpl, 72, columnsLoader());
    EXPECT_TRUE(result.loadBackgroundPicture);
    EXPECT_FALSE(result.selectFirstLayer);
    EXPECT_EQ(tpl.background.dpi, 150);
}

struct EditCase {
    const char* name;
    const char* file;
    std::function<void(cJSON*)> edit;
    bool ok;
    std::function<void(const Template&, const TemplateReadResult&)> check;
};

TEST(TemplateFile, ReadEdgeCases)
{
    const EditCase cases[] = {
        {"upper-case white is a chosen colour and needs its value", "custom_other.dat",
         [](cJSON* r) {
             setMember(r, "background_color", cJSON_CreateString("#FFFFFF"));
             cJSON_DeleteItemFromObjectCaseSensitive(r, "background_color_value");
         },
         false,
         [](const Template& t, const TemplateReadResult&) {
             EXPECT_EQ(t.background.colorMode, BackgroundColorMode::Chosen);
             EXPECT_EQ(t.background.width, 600); // applied before the missing member
             EXPECT_EQ(t.csv_file_path, "");     // after it: not applied
         }},
        {"exact white needs no value", "custom_other.dat",
         [](cJSON* r) {
             setMember(r, "background_color", cJSON_CreateString("#ffffff"));
             cJSON_DeleteItemFromObjectCaseSensitive(r, "background_color_value");
         },
         true,
         [](const Template& t, const TemplateReadResult&) {
             EXPECT_EQ(t.background.colorMode, BackgroundColorMode::White);
             EXPECT_EQ(t.background.drawingColor, 0xFFFFFFu);
         }},
        {"lower-case jpg opens as PNG", "custom_other.dat",
         [](cJSON* r) {
             setMember(r, "format", cJSON_CreateString("jpg"));
             setMember(r, "transparent_open", cJSON_CreateNumber(0));
         },
         true,
         [](const Template& t, const TemplateReadResult&) {
             EXPECT_EQ(t.output.format, OutputFormat::Png);
             EXPECT_FALSE(t.output.transparent_open);
             EXPECT_FALSE(t.output.isSaveToPng8);
         }},
        {"unknown colour space keeps the previous one", "custom_other.dat",
         [](cJSON* r) { setMember(r, "colorspace", cJSON_CreateString("Lab")); }, true,
         [](const Template& t, const TemplateReadResult&) {
             EXPECT_EQ(t.output.colorspace, OutputColorspace::Rgb);
         }},
        {"colour space ignores case", "custom_other.dat",
         [](cJSON* r) { setMember(r, "colorspace", cJSON_CreateString("cmyk")); }, true,
         [](const Template& t, const TemplateReadResult&) {
             EXPECT_EQ(t.output.colorspace, OutputColorspace::Cmyk);
         }},
        {"missing colour space is sRGB", "custom_other.dat",
         [](cJSON* r) { cJSON_DeleteItemFromObjectCaseSensitive(r, "colorspace"); }, true,
         [](const Template& t, const TemplateReadResult&) {
             EXPECT_EQ(t.output.colorspace, OutputColorspace::SRgb);
         }},
        {"optional size texts, unit and dpi", "custom_other.dat",
         [](cJSON* r) {
             for (const char* key : {"szWidth", "szHeight", "unit", "dpi"})
                 cJSON_DeleteItemFromObjectCaseSensitive(r, key);
             setMember(r, "width", cJSON_CreateString("abc"));
         },
         true,
         [](const Template& t, const TemplateReadResult& result) {
             EXPECT_EQ(t.background.szWidth, "abc");
             EXPECT_EQ(t.background.width, 1);
             EXPECT_EQ(t.background.szHeight, "400");
             EXPECT_EQ(t.background.dpi, 96);
             EXPECT_FALSE(result.dpi.has_value());
         }},
        {"a pixel size that holds no number is a stand-in the batch check refuses",
         "custom_other.dat", [](cJSON* r) { setMember(r, "height", cJSON_CreateString("abc")); },
         true,
         [](const Template& t, const TemplateReadResult&) {
             EXPECT_EQ(t.background.height, 1);
             EXPECT_EQ(t.background.szHeight, "400");
             EXPECT_TRUE(t.background.sizeUnreadable);
         }},
        {"missing trim switch is on", "custom_other.dat",
         [](cJSON* r) { cJSON_DeleteItemFromObjectCaseSensitive(r, "is_trim_csv_cell_value"); },
         true,
         [](const Template& t, const TemplateReadResult&) {
             EXPECT_TRUE(t.is_trim_csv_cell_value);
         }},
        {"a trim switch that is not the number 1 is off", "custom_other.dat",
         [](cJSON* r) { setMember(r, "is_trim_csv_cell_value", cJSON_CreateString("1")); }, true,
         [](const Template& t, const TemplateReadResult&) {
             EXPECT_FALSE(t.is_trim_csv_cell_value);
         }},
        {"huge and tiny numbers saturate or clamp", "custom_other.dat",
         [](cJSON* r) {
             setMember(r, "quality", cJSON_CreateNumber(1e30));
             setMember(r, "dpi", cJSON_CreateNumber(-1e30));
             setMember(r, "height", cJSON_CreateString("99999999999999999999"));
             setMember(layerItem(r, 0), "x", cJSON_CreateNumber(1e30));
             setMember(layerItem(r, 0), "characterSpacing", cJSON_CreateNumber(1e30));
             setMember(layerItem(r, 1), "characterSpacing", cJSON_CreateNumber(-1e30));
             setMember(layerItem(r, 0), "overflow_style", cJSON_CreateNumber(77));
         },
         true,
         [](const Template& t, const TemplateReadResult& result) {
             EXPECT_EQ(t.output.quality, 100);
             EXPECT_EQ(result.dpi, 1);
             EXPECT_EQ(t.background.height, INT32_MAX);
             EXPECT_FALSE(t.background.sizeUnreadable); // a number, for the size check
             EXPECT_EQ(t.layers[0].x, INT32_MAX);
             // Beyond what the image library can draw.
             EXPECT_EQ(t.layers[0].characterSpacing, kMaxCharacterSpacing);
             EXPECT_EQ(t.layers[1].characterSpacing, -kMaxCharacterSpacing);
             EXPECT_EQ(t.layers[0].overflow_style, OverflowStyle::FillScale);
         }},
        {"layer missing a member: earlier layers stay", "custom_other.dat",
         [](cJSON* r) { cJSON_DeleteItemFromObjectCaseSensitive(layerItem(r, 1), "pVAlign"); },
         false,
         [](const Template& t, const TemplateReadResult&) {
             EXPECT_EQ(t.layers.size(), 1u);
             EXPECT_EQ(t.csv_file_path, "people.csv");
             EXPECT_TRUE(t.pictures_show_picture); // start value, the file's 0 never read
         }},
        {"empty layer object", "custom_other.dat",
         [](cJSON* r) {
             cJSON_AddItemToArray(cJSON_GetObjectItem(r, "picture_items"), cJSON_CreateObject());
         },
         false,
         [](const Template& t, const TemplateReadResult&) { EXPECT_EQ(t.layers.size(), 2u); }},
        {"layer member of another type", "custom_other.dat",
         [](cJSON* r) { setMember(layerItem(r, 0), "text", cJSON_CreateNumber(1)); }, false,
         [](const Template& t, const TemplateReadResult&) { EXPECT_TRUE(t.layers.empty()); }},
        {"width as a number", "custom_other.dat",
         [](cJSON* r) { setMember(r, "width", cJSON_CreateNumber(600)); }, false, nullptr},
        {"quality as a string", "custom_other.dat",
         [](cJSON* r) { setMember(r, "quality", cJSON_CreateString("90")); }, false, nullptr},
        {"picture_items as an object", "custom_other.dat",
         [](cJSON* r) { setMember(r, "picture_items", cJSON_CreateObject()); }, false, nullptr},
        {"picture background needs its path", "picture.dat",
         [](cJSON* r) { cJSON_DeleteItemFromObjectCaseSensitive(r, "background_path"); }, false,
         [](const Template& t, const TemplateReadResult& result) {
             EXPECT_EQ(t.background.kind, BackgroundKind::Custom);
             EXPECT_FALSE(result.loadBackgroundPicture);
         }},
        {"palette size outside the list keeps the previous one", "png8.dat",
         [](cJSON* r) { setMember(r, "colorCount", cJSON_CreateNumber(5)); }, true,
         [](const Template& t, const TemplateReadResult&) {
             EXPECT_TRUE(t.output.isSaveToPng8);
             EXPECT_EQ(t.output.colorCount, 64);
         }},
        {"PNG-8 switch missing: off, palette size not read", "png8.dat",
         [](cJSON* r) { cJSON_DeleteItemFromObjectCaseSensitive(r, "isSaveToPng8"); }, true,
         [](const Template& t, const TemplateReadResult&) {
             EXPECT_FALSE(t.output.isSaveToPng8);
             EXPECT_EQ(t.output.colorCount, 64);
         }},
        {"palette size missing is 256", "png8.dat",
         [](cJSON* r) { cJSON_DeleteItemFromObjectCaseSensitive(r, "colorCount"); }, true,
         [](const Template& t, const TemplateReadResult&) { EXPECT_EQ(t.output.colorCount, 256); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Template tpl;
        tpl.output.colorspace = OutputColorspace::Rgb;
        tpl.output.colorCount = 64;
        const auto result =
            readTemplateText(edited(c.file, c.edit), "/t/x.dat", tpl, 96, columnsLoader());
        EXPECT_EQ(result.ok(), c.ok) << result.message;
        if (!c.ok) {
            EXPECT_EQ(result.status, TemplateReadStatus::BadFormat);
            EXPECT_EQ(result.message, kMsgBadFormat);
            EXPECT_EQ(tpl.templatePath, "");
            EXPECT_EQ(tpl.templateName, kNewTemplateName);
        }
        if (c.check)
            c.check(tpl, result);
    }
}

TEST(TemplateFile, ColourValuesOfAnySignSurviveASave)
{
    // A negative colour was saved as its unsigned twin, which read back saturated: the second
    // save gave other bytes.
    for (const double value : {-1.0, -2147483648.0, -3e9, 4294967295.0, 5e9}) {
        SCOPED_TRACE(value);
        const std::string text = edited("custom_other.dat", [value](cJSON* root) {
            setMember(root, "background_color_value", cJSON_CreateNumber(value));
            setMember(cJSON_GetArrayItem(cJSON_GetObjectItem(root, "picture_items"), 0), "color",
                      cJSON_CreateNumber(value));
        });
        Template first;
        ASSERT_TRUE(readTemplateText(text, "a.dat", first, 72, columnsLoader()).ok());
        const std::string saved = templateToJson(first, 72);
        Template second;
        ASSERT_TRUE(readTemplateText(saved, "a.dat", second, 72, columnsLoader()).ok());
        EXPECT_EQ(templateToJson(second, 72), saved);
    }
}

TEST(TemplateFile, TextFitMembersComeLastAndOnlyWhenOn)
{
    struct Case {
        double autoShrink;
        double minFontSize;
        bool on;
        std::int32_t readSize;
    };
    const Case cases[] = {
        {1, 12, true, 12}, {0, 12, false, 12}, {5, 0, true, 1}, {1, 1e9, true, kMaxMinFontSize}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.autoShrink);
        const std::string text = edited("custom_other.dat", [&c](cJSON* root) {
            cJSON* layer = cJSON_GetArrayItem(cJSON_GetObjectItem(root, "picture_items"), 0);
            setMember(layer, "autoShrink", cJSON_CreateNumber(c.autoShrink));
            setMember(layer, "minFontSize", cJSON_CreateNumber(c.minFontSize));
        });
        Template tpl;
        ASSERT_TRUE(readTemplateText(text, "a.dat", tpl, 72, columnsLoader()).ok());
        EXPECT_EQ(tpl.layers[0].autoShrink, c.on);
        EXPECT_EQ(tpl.layers[0].minFontSize, c.readSize);
        const std::string saved = templateToJson(tpl, 72);
        const std::size_t overflow = saved.find("\"overflow_style\"");
        const std::size_t member = saved.find("\"autoShrink\"");
        if (c.on) {
            ASSERT_NE(member, std::string::npos);
            EXPECT_LT(overflow, member);
            EXPECT_LT(member, saved.find("\"minFontSize\""));
        } else {
            // Off: the file is the one a template without the option gives.
            EXPECT_EQ(saved, golden("custom_other.dat"));
        }
    }
}

TEST(TemplateFile, CardContentMembersAreWrittenOnlyWhenSetAndReadSafely)
{
    // Each member set alone: written after the others and read back; an unknown value is read
    // as the default, and a default value leaves the golden bytes.
    struct Case {
        const char* key;
        cJSON* (*value)();
        bool kept;
    };
    const Case cases[] = {
        {"isFixed", [] { return cJSON_CreateNumber(1); }, true},
        {"maxLines", [] { return cJSON_CreateNumber(3); }, true},
        {"placeholderPath", [] { return cJSON_CreateString("none.png"); }, true},
        {"pictureFolder", [] { return cJSON_CreateString("photos"); }, true},
        {"codeType", [] { return cJSON_CreateString("EAN13"); }, true},
        {"codeType", [] { return cJSON_CreateString("EAN-13"); }, false},
        {"codeBackground", [] { return cJSON_CreateString(""); }, true},
        {"codeQuietZone", [] { return cJSON_CreateNumber(101); }, false},
        {"cornerRadius", [] { return cJSON_CreateNumber(12); }, true},
        {"borderWidth", [] { return cJSON_CreateNumber(2); }, true},
        {"borderColor", [] { return cJSON_CreateString("#12abEF"); }, true},
        {"overflow_style", [] { return cJSON_CreateNumber(5); }, true},
        {"isFixed", [] { return cJSON_CreateNumber(7); }, false},
        {"maxLines", [] { return cJSON_CreateNumber(0); }, false},
        {"maxLines", [] { return cJSON_CreateNumber(1e9); }, false},
        {"cornerRadius", [] { return cJSON_CreateNumber(-4); }, false},
        {"borderWidth", [] { return cJSON_CreateString("2"); }, false},
        {"borderColor", [] { return cJSON_CreateString("red"); }, false},
        {"showIfColumn", [] { return cJSON_CreateString("类别"); }, true},
        {"showIfColumn", [] { return cJSON_CreateString(""); }, false},
        {"showIfOp", [] { return cJSON_CreateNumber(4); }, true},
        {"showIfOp", [] { return cJSON_CreateNumber(5); }, false},
        {"showIfOp", [] { return cJSON_CreateString("1"); }, false},
        {"showIfValue", [] { return cJSON_CreateString("VIP"); }, true},
        {"showIfValue", [] { return cJSON_CreateString(std::string(1 << 20, 'v').c_str()); }, true},
        {"shapeKind", [] { return cJSON_CreateNumber(1); }, true},
        {"shapeKind", [] { return cJSON_CreateNumber(7); }, false},
        {"opacity", [] { return cJSON_CreateNumber(50); }, true},
        {"opacity", [] { return cJSON_CreateNumber(100); }, false},
        {"opacity", [] { return cJSON_CreateNumber(250); }, false}, // clamped to 100
        {"rotation", [] { return cJSON_CreateNumber(90); }, true},
        {"rotation", [] { return cJSON_CreateNumber(270); }, true},
        {"rotation", [] { return cJSON_CreateNumber(0); }, false},
        {"rotation", [] { return cJSON_CreateNumber(45); }, false},
        {"rotation", [] { return cJSON_CreateNumber(-90); }, false},
        {"rotation", [] { return cJSON_CreateNumber(360); }, false},
        {"rotation", [] { return cJSON_CreateNumber(90.5); }, false},
        {"rotation", [] { return cJSON_CreateString("90"); }, false},
        {"isVertical", [] { return cJSON_CreateNumber(1); }, true},
        {"isVertical", [] { return cJSON_CreateNumber(-7); }, true},
        {"isVertical", [] { return cJSON_CreateNumber(0); }, false},
        {"isVertical", [] { return cJSON_CreateString("1"); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        const std::string text = edited("custom_other.dat", [&c](cJSON* root) {
            cJSON* layer = cJSON_GetArrayItem(cJSON_GetObjectItem(root, "picture_items"), 0);
            setMember(layer, c.key, c.value());
        });
        Template tpl;
        ASSERT_TRUE(readTemplateText(text, "a.dat", tpl, 72, columnsLoader()).ok());
        const std::string saved = templateToJson(tpl, 72);
        if (!c.kept) {
            EXPECT_EQ(saved, golden("custom_other.dat"));
            continue;
        }
        const std::size_t at = saved.find(std::string("\"") + c.key + "\"");
        ASSERT_NE(at, std::string::npos);
        EXPECT_LE(saved.find("\"overflow_style\""), at);
        Template again;
        ASSERT_TRUE(readTemplateText(saved, "a.dat", again, 72, columnsLoader()).ok());
        EXPECT_EQ(templateToJson(again, 72), saved);
    }
}

TEST(TemplateFile, ShapeLayerKeepsAnEmptyFillAndClampsItsOpacity)
{
    const std::string text = edited("custom_other.dat", [](cJSON* root) {
        cJSON* layer = cJSON_GetArrayItem(cJSON_GetObjectItem(root, "picture_items"), 0);
        setMember(layer, "type", cJSON_CreateNumber(3));
        setMember(layer, "htmlColor", cJSON_CreateString(""));
        setMember(layer, "opacity", cJSON_CreateNumber(-5));
    });
    Template tpl;
    ASSERT_TRUE(readTemplateText(text, "a.dat", tpl, 72, columnsLoader()).ok());
    EXPECT_EQ(tpl.layers.at(0).type, LayerType::Shape);
    const std::string saved = templateToJson(tpl, 72);
    EXPECT_NE(saved.find("\"htmlColor\":\t\"\""), std::string::npos);
    EXPECT_NE(saved.find("\"opacity\":\t0"), std::string::npos);
}

// The first serial is written last and only when it is not 1; a value out of range, not whole
// or not a number reads as 1, so such a template is saved with the bytes of one without it.
TEST(TemplateFile, SerialStartIsWrittenOnlyWhenSetAndReadSafely)
{
    for (const auto& [member, read] : std::vector<std::pair<std::string, std::int32_t>>{
             {"41", 41}, {"0", 0}, {"1", 1}, {"-1", 1}, {"4.5", 1}, {"1e9", 1}, {"\"41\"", 1}}) {
        std::string text = golden("png8.dat");
        text.insert(text.rfind('\n'), ",\n\t\"serialStart\":\t" + member);
        Template tpl;
        ASSERT_TRUE(readTemplateText(text, "a.dat", tpl, 72, columnsLoader()).ok());
        EXPECT_EQ(tpl.output.serialStart, read) << member;
        EXPECT_EQ(templateToJson(tpl, 72), read == 1 ? golden("png8.dat") : text);
    }
}

TEST(TextFields, FillsColumnsAndKeepsBraces)
{
    const std::map<std::string, std::string> row = {{"工号", "A0001"}, {"名", "李"}};
    const FieldCell cell = [&row](const std::string& column) -> const std::string* {
        const auto it = row.find(column);
        return it == row.end() ? nullptr : &it->second;
    };
    const struct {
        const char* text;
        const char* filled;
        std::vector<std::string> names;
    } cases[] = {
        {"编号：{工号}", "编号：A0001", {"工号"}},
        {"{名}{工号}{名}", "李A0001李", {"名", "工号"}},
        {"{{工号}} }} {{", "{工号} } {", {}},
        {"{没有}!", "!", {"没有"}},
        {"a { b", "a { b", {}},
        {"a } b {", "a } b {", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(fillTextFields(c.text, cell), c.filled);
        EXPECT_EQ(textFieldNames(c.text), c.names);
    }
    // Filled only up to a byte cap, whole characters: a megabyte cell in a thousand fields is
    // never joined whole.
    EXPECT_EQ(fillTextFields("编号：{工号}{工号}", cell, 12), "编号：A00");
    EXPECT_EQ(fillTextFields("{名}{名}{名}", cell, 8), "李李");
    const std::string big(1'000'000, 'x');
    std::string manyFields;
    for (int i = 0; i < 1000; ++i)
        manyFields += "{big}";
    EXPECT_EQ(fillTextFields(
                  manyFields, [&big](const std::string&) { return &big; }, 5000)
                  .size(),
              5000u);
    // A hundred thousand fields are listed once each, quickly.
    std::string distinct;
    for (int i = 0; i < 100000; ++i)
        distinct += "{c" + std::to_string(i) + "}{c0}";
    EXPECT_EQ(textFieldNames(distinct).size(), 100000u);
}

TEST(TemplateFile, UnreadableFilesGiveTheirMessages)
{
    TempDir dir;
    writeFile(dir.file("empty.dat"), "");
    writeFile(dir.file("cut.dat"), golden("custom_other.dat").substr(0, 300));
    writeFile(dir.file("array.dat"), "[1, 2]");
    std::string garbage(10 * 1024 * 1024, '\0');
    std::mt19937 random(7);
    for (char& c : garbage)
        c = static_cast<char>(random());
    writeFile(dir.file("garbage.dat"), garbage);
    writeFile(dir.file("deep.dat"), std::string(1024 * 1024, '['));
    writeFile(dir.file("huge.dat"), "{");
    std::filesystem::resize_file(dir.path() / "huge.dat", kMaxTemplateBytes + 1); // sparse

    const struct {
        const char* file;
        TemplateReadStatus status;
        const char* message;
    } cases[] = {
        {"missing.dat", TemplateReadStatus::CannotOpen, kMsgCannotOpen},
        {"empty.dat", TemplateReadStatus::Empty, kMsgEmptyFile},
        {"cut.dat", TemplateReadStatus::BadFormat, kMsgBadFormat},
        {"array.dat", TemplateReadStatus::BadFormat, kMsgBadFormat},
        {"garbage.dat", TemplateReadStatus::BadFormat, kMsgBadFormat},
        {"deep.dat", TemplateReadStatus::BadFormat, kMsgBadFormat},
        {"huge.dat", TemplateReadStatus::TooLarge, kMsgTemplateTooLarge},
        {"/dev/zero", TemplateReadStatus::CannotOpen, kMsgCannotOpen},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        Template tpl = customOtherTemplate();
        tpl.templatePath = "/old/old.dat";
        tpl.templateName = "old.dat";
        const std::string path = c.file[0] == '/' ? std::string(c.file) : dir.file(c.file);
        const auto result = readTemplateFile(path, tpl, 72, columnsLoader());
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.message, c.message);
        // The old template is gone whatever happened.
        EXPECT_TRUE(tpl.layers.empty());
        EXPECT_EQ(tpl.templatePath, "");
        EXPECT_EQ(tpl.templateName, kNewTemplateName);
    }
}

TEST(TemplateFile, CsvColumnsSelectFileNameColumns)
{
    TempDir dir;
    const std::string path = dir.file("card.dat");
    writeFile(path, edited("custom_other.dat", [](cJSON* r) {
                  setMember(r, "file_name_bind_col_name", cJSON_CreateString("NAME"));
                  setMember(r, "file_name_bind_col_name2", cJSON_CreateString("部门"));
              }));
    writeFile(dir.file("people.csv"), "");

    std::string loadedPath;
    bool loadedTrim = true;
    Template tpl;
    auto result = readTemplateFile(path, tpl, 72, [&](const std::string& csv, bool trim) {
        loadedPath = csv;
        loadedTrim = trim;
        return std::optional<PackedStrings>({"Name", "工号"});
    });
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(loadedPath, dir.file("people.csv")); // resolved beside the template
    EXPECT_FALSE(loadedTrim);
    EXPECT_EQ(result.csvColumns.toVector(), (std::vector<std::string>{"Name", "工号"}));
    EXPECT_EQ(tpl.output.file_name_bind_col_name, "Name");
    EXPECT_EQ(tpl.output.file_name_bind_col_name2, "");

    result = readTemplateFile(path, tpl, 72, kFailingLoader);
    ASSERT_TRUE(result.ok());
    EXPECT_TRUE(result.csvUnreadable);
    EXPECT_EQ(tpl.layers.size(), 2u);
    EXPECT_EQ(tpl.output.file_name_bind_col_name, "");

    // Without a CSV path the loader is not asked and the file-name members are not needed.
    const std::string noCsv = edited("picture.dat", [](cJSON* r) {
        cJSON_DeleteItemFromObjectCaseSensitive(r, "file_name_bind_col_name");
        cJSON_DeleteItemFromObjectCaseSensitive(r, "file_name_bind_col_name2");
    });
    bool asked = false;
    result = readTemplateText(noCsv, path, tpl, 72, [&](const std::string&, bool) {
        asked = true;
        return std::optional<PackedStrings>();
    });
    EXPECT_TRUE(result.ok());
    EXPECT_FALSE(asked);
}

TEST(TemplateFile, ModifiedRules)
{
    TempDir dir;
    Template tpl;
    const std::string untouched = templateToJson(tpl, 72);
    EXPECT_FALSE(isTemplateModified(tpl, 72, untouched)); // as new, no layers, no file
    tpl.background.szWidth = "500";
    EXPECT_TRUE(isTemplateModified(tpl, 72, untouched)); // a new template's canvas edited
    ASSERT_TRUE(saveTemplateFile(dir.file("empty.dat"), tpl, 72).ok());
    EXPECT_FALSE(isTemplateModified(tpl, 72, untouched)); // saved, no layers

    tpl = customOtherTemplate();
    EXPECT_TRUE(isTemplateModified(tpl, 72, untouched)); // layers, no file

    ASSERT_TRUE(saveTemplateFile(dir.file("a.dat"), tpl, 72).ok());
    EXPECT_FALSE(isTemplateModified(tpl, 72, untouched));
    tpl.layers[1].pVAlign = 1;
    EXPECT_TRUE(isTemplateModified(tpl, 72, untouched));
    tpl.layers[1].pVAlign = 2;
    tpl.output.outputFolder = "/elsewhere"; // not stored
    EXPECT_FALSE(isTemplateModified(tpl, 72, untouched));

    std::filesystem::remove(dir.file("a.dat"));
    EXPECT_TRUE(isTemplateModified(tpl, 72, untouched));
}

TEST(TemplateFile, SaveIntoMissingFolderFails)
{
    TempDir dir;
    const std::string path = dir.file("no/such/folder/a.dat");
    Template tpl = customOtherTemplate();
    const auto result = saveTemplateFile(path, tpl, 72);
    EXPECT_EQ(result.status, TemplateSaveStatus::CannotCreate);
    EXPECT_EQ(result.message, kMsgSaveCannotCreate);
    ASSERT_EQ(result.logLines.size(), 2u);
    EXPECT_EQ(result.logLines[0], "保存模版文件 '" + path + "' 时发生错误:");
    EXPECT_FALSE(result.logLines[1].empty());
    EXPECT_EQ(tpl.templatePath, "");
    EXPECT_EQ(tpl.templateName, kNewTemplateName);
}

// Lowers the file-size limit so that writing fails with EFBIG, and restores it.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};

TEST(TemplateFile, FailedWriteKeepsTheOldFile)
{
    TempDir dir;
    const std::string path = dir.file("keep.dat");
    writeFile(path, "old content");
    Template tpl = customOtherTemplate();
    TemplateSaveResult result;
    {
        FileSizeLimit limit(100);
        result = saveTemplateFile(path, tpl, 72);
    }
    EXPECT_EQ(result.status, TemplateSaveStatus::WriteFailed);
    EXPECT_EQ(result.message, kMsgSaveWriteFailed);
    EXPECT_EQ(readFile(path), "old content");
    EXPECT_EQ(tpl.templatePath, "");
    int files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path()))
        ++files;
    EXPECT_EQ(files, 1); // no temporary file left behind

    ASSERT_TRUE(saveTemplateFile(path, tpl, 72).ok());
    EXPECT_EQ(readFile(path), golden("custom_other.dat"));
    EXPECT_EQ(tpl.templatePath, path);
}

TEST(TemplateFile, ResolvesStoredPaths)
{
    TempDir dir;
    writeFile(dir.file("here.csv"), "");
    const std::string tplPath = dir.file("card.dat");
    EXPECT_EQ(resolveTemplatePath("/abs/x.csv", tplPath), "/abs/x.csv");
    EXPECT_EQ(resolveTemplatePath("here.csv", tplPath), dir.file("here.csv"));
    EXPECT_EQ(resolveTemplatePath("gone.csv", tplPath), dir.file("gone.csv"));
    EXPECT_EQ(resolveTemplatePath("gone.csv", ""), "gone.csv");
    EXPECT_EQ(resolveTemplatePath("", tplPath), "");
}

} // namespace
} // namespace torvale
