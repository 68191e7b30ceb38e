#include "app/editor_document.h"
#include "model/layer_fields.h"
#include "model/template_file.h"
#include "render/thumbnail.h"

#include "support/field_tables.h"
#include "support/test_support.h"

#include <bit>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <vector>

namespace torvale {
namespace {

using test::TempDir;

TEST(LayerFields, EveryFieldIsNamedOnceAndItsGroupHasOneStepName)
{
    std::set<std::string> members;
    std::map<LayerFieldSet, std::string> names;
    for (const LayerFieldInfo& field : layerFields()) {
        SCOPED_TRACE(field.member);
        EXPECT_TRUE(members.insert(field.member).second);
        EXPECT_EQ(std::popcount(field.group), 1);
        const auto [named, added] = names.emplace(field.group, field.stepName);
        EXPECT_EQ(named->second, field.stepName) << "one group, one undo name";
        for (const FieldControl& control : field.controls) {
            if (control.kind == ControlKind::List) {
                EXPECT_FALSE(control.entries.empty());
            }
            if (!control.codes.empty()) {
                EXPECT_EQ(control.codes.size(), control.entries.size());
            }
        }
    }
}

TEST(LayerFields, ListEntriesMapToValuesBothWays)
{
    const struct {
        const char* member;
        int index;
        FieldValue value;
    } cases[] = {
        // The overflow list is in menu order: 0, 4, 1, 2, 3, 5.
        {"overflow_style", 0, std::int64_t{0}},  {"overflow_style", 1, std::int64_t{4}},
        {"overflow_style", 2, std::int64_t{1}},  {"overflow_style", 3, std::int64_t{2}},
        {"overflow_style", 4, std::int64_t{3}},  {"overflow_style", 5, std::int64_t{5}},
        {"tHAlign", 3, std::int64_t{3}},         {"codeType", 4, std::string("Code128")},
        {"codeErrorLevel", 3, std::string("H")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.member);
        const LayerFieldInfo& field = *findLayerField(c.member);
        const FieldControl& control = field.controls[0];
        EXPECT_EQ(controlEntryValue(field, control, c.index), c.value);
        Layer layer;
        setFieldValue(field, layer, c.value);
        EXPECT_EQ(controlEntryIndex(field, control, layer), c.index);
    }
    // A value no entry offers shows the default's entry.
    Layer layer;
    layer.codeType = "Unknown";
    const LayerFieldInfo& type = *findLayerField("codeType");
    EXPECT_EQ(controlEntryIndex(type, type.controls[0], layer), 0);
}

TEST(LayerFields, ColourFieldsKeepTheDrawnColourInStep)
{
    Layer layer;
    setFieldColor(*findLayerField("color"), layer, 0x3366CC);
    EXPECT_EQ(layer.color, 0x3366CCu);
    EXPECT_EQ(layer.htmlColor, "#CC6633");
    setFieldColor(*findLayerField("borderColor"), layer, 0x3366CC);
    EXPECT_EQ(layer.borderColor, "#CC6633");
    layer.codeBackground.clear();
    EXPECT_EQ(fieldColor(*findLayerField("codeBackground"), layer), std::nullopt);
}

// A field described by the table alone reaches the file, the undo names and the canvas refresh
// (the property window: LayerWindowsTest.AFieldOfTheTableGetsItsControl).
TEST(LayerFields, AFieldAddedToTheTableReachesFileUndoAndThumbnail)
{
    const std::vector<LayerFieldInfo> table = test::underlineFieldTable();
    const ScopedLayerFields scoped(table);

    TempDir dir;
    SettingsStore store(dir.file("settings.json"));
    EditorDocument document(store);
    const LayerId id = document.addLayer(LayerType::Text);
    const std::string plain = templateToJson(document.tpl(), 72);
    EXPECT_EQ(plain.find("isUnderline"), std::string::npos) << "at its default: not written";
    const std::string before = thumbnailKey(*document.layer(id), {});

    Layer values = *document.layer(id);
    values.isUnderline = 1;
    document.setLayerFields({id}, test::kUnderlineGroup, values);
    EXPECT_EQ(document.layer(id)->isUnderline, 1);
    EXPECT_EQ(document.undoName(), "修改下划线");
    EXPECT_NE(thumbnailKey(*document.layer(id), {}), before);

    const std::string json = templateToJson(document.tpl(), 72);
    const std::size_t underline = json.find("\t\"isUnderline\":\t1");
    ASSERT_NE(underline, std::string::npos);
    EXPECT_GT(underline, json.find("\"overflow_style\"")) << "after the first format's members";
    Template read;
    ASSERT_TRUE(readTemplateText(json, "t.dat", read, 72, {}).ok());
    EXPECT_EQ(read.layers.at(0).isUnderline, 1);
}

} // namespace
} // namespace torvale
