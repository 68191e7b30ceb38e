#include "app/editor_document.h"

#include "support/test_support.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <tuple>

namespace torvale {
namespace {

using test::TempDir;

class EditorDocumentTest : public ::testing::Test {
protected:
    EditorDocumentTest() : store(dir.file("settings.json")), document(store)
    {
        subscription = document.subscribe([this](const DocumentEvent& event) {
            if (event.change != DocumentChange::History)
                events.push_back(event);
        });
    }

    std::vector<LayerId> ids() const
    {
        std::vector<LayerId> all;
        for (const Layer& layer : document.tpl().layers)
            all.push_back(layer.id);
        return all;
    }
    const Layer& at(std::size_t row) const { return document.tpl().layers.at(row); }

    TempDir dir;
    SettingsStore store;
    EditorDocument document;
    std::vector<DocumentEvent> events;
    Subscription subscription;
};

TEST_F(EditorDocumentTest, LayerListEditsNameTheLayersAndTheFirstRowThatMoved)
{
    const LayerId a = document.addLayer(LayerType::Text);
    const LayerId b = document.addLayer(LayerType::Picture);
    const LayerId c = document.insertLayer(LayerType::Text, 1);
    EXPECT_EQ(ids(), (std::vector<LayerId>{a, c, b}));
    EXPECT_EQ(std::set<LayerId>({a, b, c}).size(), 3u);
    EXPECT_EQ(at(2).number, 3);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[2].change, DocumentChange::LayersAdded);
    EXPECT_EQ(events[2].layers, std::vector<LayerId>{c});
    EXPECT_EQ(events[2].firstRow, 1u);

    // Copies keep the list order of the originals and get ids of their own.
    events.clear();
    const std::vector<LayerId> copies = document.copyLayers({b, a});
    ASSERT_EQ(copies.size(), 2u);
    EXPECT_EQ(ids(), (std::vector<LayerId>{a, c, b, copies[0], copies[1]}));
    EXPECT_EQ(at(3).type, LayerType::Text);
    EXPECT_EQ(at(4).type, LayerType::Picture);
    EXPECT_EQ(events.at(0).firstRow, 3u);

    events.clear();
    document.deleteLayers({c, copies[0], 999});
    EXPECT_EQ(ids(), (std::vector<LayerId>{a, b, copies[1]}));
    EXPECT_EQ(at(2).number, 3);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].change, DocumentChange::LayersRemoved);
    EXPECT_EQ(events[0].layers, (std::vector<LayerId>{c, copies[0]}));
    EXPECT_EQ(events[0].firstRow, 1u);

    // Nothing to do announces nothing.
    events.clear();
    document.deleteLayers({999});
    EXPECT_TRUE(document.copyLayers({}).empty());
    EXPECT_TRUE(events.empty());
}

TEST_F(EditorDocumentTest, FieldEditsAnnounceTheLayersThatChangedAndTheirFields)
{
    const LayerId text = document.addLayer(LayerType::Text);
    const LayerId picture = document.addLayer(LayerType::Picture);
    events.clear();

    Layer values = at(0);
    values.fontSize = 40;
    values.type = LayerType::Picture; // not a field group of this operation
    values.x = 7;
    document.setLayerFields({text, picture}, FieldFont | FieldType | FieldGeometry, values);
    EXPECT_EQ(at(0).fontSize, 40);
    EXPECT_EQ(at(0).type, LayerType::Text);
    EXPECT_EQ(at(0).x, -1);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].change, DocumentChange::LayerFields);
    EXPECT_EQ(events[0].layers, (std::vector<LayerId>{text, picture}));
    EXPECT_EQ(events[0].fields, LayerFieldSet{FieldFont});

    // Text layers have no level; a value already set is no change.
    events.clear();
    document.setLayerLevel({text, picture}, LayerLevel::BelowBackground);
    document.setLayerFields({text}, FieldFont, values);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].layers, std::vector<LayerId>{picture});
    EXPECT_EQ(at(0).layer_level, LayerLevel::AboveBackground);

    // A rectangle is set whole or taken back whole.
    events.clear();
    document.setLayerGeometry({{text, 5, 6, 0, 10}, {picture, 5, 6, -1, -1}});
    EXPECT_TRUE(events.empty());
    document.setLayerGeometry({{text, 5, 6, 70, 30}});
    EXPECT_TRUE(at(0).hasRect());
    EXPECT_EQ(events.at(0).fields, LayerFieldSet{FieldGeometry});
    document.setLayerGeometry({{text, -1, -1, -1, -1}});
    EXPECT_FALSE(at(0).hasRect());
    // A rectangle at x = -1 would read as none: it is kept a pixel further left.
    document.setLayerGeometry({{text, -1, 4, 70, 30}});
    EXPECT_TRUE(at(0).hasRect());
    EXPECT_EQ(at(0).x, -2);
}

TEST_F(EditorDocumentTest, OpenedLayersGetIdsThatAreNotSaved)
{
    const std::string path = std::string(TORVALE_SOURCE_DIR) + "/examples/badge/badge.dat";
    document.addLayer(LayerType::Text);
    const LayerId before = at(0).id;
    ASSERT_TRUE(document.open(path).ok());
    ASSERT_EQ(document.tpl().layers.size(), 4u);
    const std::vector<LayerId> opened = ids();
    const std::set<LayerId> named(opened.begin(), opened.end());
    EXPECT_EQ(named.size(), 4u);
    EXPECT_FALSE(named.contains(0));
    EXPECT_FALSE(named.contains(before));
    // Modified compares the file's bytes: the ids are not among them.
    EXPECT_FALSE(document.isModified());
    EXPECT_EQ(events.back().change, DocumentChange::Everything);
}

TEST_F(EditorDocumentTest, TheOutputFolderIsRememberedPerTemplate)
{
    // Chosen for a saved template, found again when it is opened; saved under a new name, the
    // new file remembers it too; a folder that is gone is not offered.
    const std::string path = dir.file("card.dat");
    ASSERT_TRUE(document.save(path).ok());
    std::filesystem::create_directory(dir.file("cards"));
    OutputSettings output = document.tpl().output;
    output.outputFolder = dir.file("cards");
    document.setOutput(output);
    ASSERT_TRUE(document.save(dir.file("copy.dat")).ok());
    for (const std::string& opened : {path, dir.file("copy.dat")}) {
        EditorDocument other(store);
        ASSERT_TRUE(other.open(opened).ok());
        EXPECT_EQ(other.tpl().output.outputFolder, dir.file("cards")) << opened;
        EXPECT_FALSE(other.isModified());
    }
    std::filesystem::remove(dir.file("cards"));
    EditorDocument gone(store);
    ASSERT_TRUE(gone.open(path).ok());
    EXPECT_EQ(gone.tpl().output.outputFolder, "");
}

TEST_F(EditorDocumentTest, UndoAfterSavingIntoAnotherFolderFindsTheSameFiles)
{
    // The example in a folder of its own, an edit, then "另存为" into another folder: the step
    // undone names the data file and the background as the saved template does.
    namespace fs = std::filesystem;
    fs::copy(fs::path(TORVALE_SOURCE_DIR) / "examples/badge", dir.path() / "a",
             fs::copy_options::recursive);
    ASSERT_TRUE(document.open(dir.file("a/badge.dat")).ok());
    document.addLayer(LayerType::Text);
    fs::create_directory(dir.file("b"));
    ASSERT_TRUE(document.save(dir.file("b/copy.dat")).ok());
    ASSERT_TRUE(document.undo());
    EXPECT_EQ(document.tpl().layers.size(), 4u);
    for (const std::string* stored :
         {&document.tpl().csv_file_path, &document.tpl().background.background_path})
        EXPECT_TRUE(fs::exists(document.resolve(*stored))) << *stored;
}

TEST_F(EditorDocumentTest, TrimSwitchThatCannotReadTheFileKeepsTheColumnsAndBindings)
{
    const std::string csv = dir.file("staff.csv");
    test::writeFile(csv, "Name,Code\nA,1\n");
    ASSERT_TRUE(document.setCsvFile(csv));
    OutputSettings output = document.tpl().output;
    output.file_name_bind_col_name = "Code";
    document.setOutput(output);

    std::filesystem::remove(csv);
    EXPECT_FALSE(document.setTrimCsv(false));
    EXPECT_FALSE(document.tpl().is_trim_csv_cell_value);
    EXPECT_EQ(document.csvColumns(), (std::vector<std::string>{"Name", "Code"}));
    EXPECT_EQ(document.tpl().output.file_name_bind_col_name, "Code");
    EXPECT_EQ(document.tpl().csv_file_path, csv);
    EXPECT_EQ(events.back().change, DocumentChange::DataSource);

    // Once the file is back, the switch reads it again and the binding is still there.
    test::writeFile(csv, "Name,Code\nA,1\n");
    EXPECT_TRUE(document.setTrimCsv(true));
    EXPECT_EQ(document.tpl().output.file_name_bind_col_name, "Code");
}

TEST_F(EditorDocumentTest, ABlankCanvasKeepsItsSizeTextsTrueAcrossADpiChange)
{
    document.setDpi(72);
    document.setBackgroundUnit(SizeUnit::Millimetre);
    document.setBackgroundSize("54", "85.6");
    ASSERT_EQ(document.tpl().background.width, 153);

    // Sized in millimetres, the pixels follow the fields; an undo keeps today's DPI.
    document.setDpi(300);
    const BackgroundLayer& background = document.tpl().background;
    EXPECT_EQ(background.szWidth, "54");
    EXPECT_EQ(background.width, 638);
    EXPECT_EQ(background.height, 1011);
    EXPECT_EQ(events.back().change, DocumentChange::Dpi);
    Template earlier = document.tpl();
    earlier.background.dpi = 72;
    earlier.background.width = 153;
    document.restore(earlier);
    EXPECT_EQ(document.tpl().background.width, 638);

    // Sized in pixels, the pixels stay and the fields are read at the new DPI.
    document.setBackgroundUnit(SizeUnit::Pixel);
    document.setDpi(150);
    EXPECT_EQ(document.tpl().background.width, 638);
    document.setBackgroundUnit(SizeUnit::Millimetre);
    EXPECT_EQ(document.tpl().background.szWidth, "108.04");
}

TEST_F(EditorDocumentTest, ANewCardOfAStandardSizeHasThatSizeAtItsDpi)
{
    document.addLayer(LayerType::Text);
    document.newTemplate(cardSizeChoice(kCardSizePresets[0], 300, 0xFFFFFF));
    const BackgroundLayer& background = document.tpl().background;
    EXPECT_EQ(std::pair(background.width, background.height), std::pair(1011, 638));
    EXPECT_EQ(std::pair(background.szWidth, background.szHeight),
              std::pair(std::string("85.6"), std::string("54")));
    EXPECT_EQ(background.unit, SizeUnit::Millimetre);
    EXPECT_EQ(background.colorMode, BackgroundColorMode::White);
    EXPECT_EQ(document.dpi(), 300);
    EXPECT_TRUE(document.tpl().layers.empty());
    EXPECT_FALSE(document.isModified());
    EXPECT_FALSE(document.canUndo());

    // Inches and a colour of one's own.
    document.newTemplate(cardSizeChoice(kCardSizePresets[6], 150, 0x3366CC));
    EXPECT_EQ(std::pair(background.width, background.height), std::pair(600, 450));
    EXPECT_EQ(background.unit, SizeUnit::Inch);
    EXPECT_EQ(background.drawingColor, 0x3366CCu);

    // What the dialog's own fields may hold.
    CardSizeChoice typed;
    EXPECT_TRUE(isUsableCardSize(typed));
    for (const auto& [width, height, dpi] :
         {std::tuple("0", "54", 300), std::tuple("8a", "54", 300), std::tuple("85.6", "54", 0),
          std::tuple("9999", "9999", 1200)}) {
        typed = {width, height, SizeUnit::Millimetre, dpi, 0xFFFFFF};
        EXPECT_FALSE(isUsableCardSize(typed)) << width << " x " << height << " @ " << dpi;
    }
}

TEST_F(EditorDocumentTest, EditsAreUndoneStepByStepWithTheirNames)
{
    // An edit outside any step is a step of its own, named after what it changed.
    const LayerId id = document.addLayer(LayerType::Text);
    document.setLayerGeometry({{id, 0, 0, 50, 20}});
    EXPECT_EQ(document.undoName(), "移动图层");

    // A step records once, when it ends, under its name; steps of one key join.
    for (int x = 1; x <= 3; ++x) {
        const EditStep step = document.beginStep("对齐", "run");
        const EditStep inner = document.beginStep("ignored");
        document.setLayerGeometry({{id, x, 0, 50, 20}});
        document.setLayerGeometry({{id, x, 5, 50, 20}});
    }
    EXPECT_EQ(document.history().stepCount(), 4u);
    EXPECT_EQ(document.undoName(), "对齐");
    ASSERT_TRUE(document.undo());
    EXPECT_EQ(at(0).x, 0);
    EXPECT_EQ(document.redoName(), "对齐");
    ASSERT_TRUE(document.undo());
    EXPECT_EQ(at(0).width, -1);
    ASSERT_TRUE(document.undo());
    EXPECT_TRUE(document.tpl().layers.empty());
    EXPECT_FALSE(document.undo());
    ASSERT_TRUE(document.redo());
    EXPECT_EQ(document.undoName(), "添加图层");

    // A new template starts the history afresh.
    document.newTemplate();
    EXPECT_FALSE(document.canUndo());
    EXPECT_FALSE(document.canRedo());
}

TEST_F(EditorDocumentTest, UndoAndRedoAnnounceWhatTheyChangeLayerByLayer)
{
    const LayerId a = document.addLayer(LayerType::Text);
    const LayerId b = document.addLayer(LayerType::Picture);
    const LayerId c = document.addLayer(LayerType::Text);
    Layer font = *document.layer(a);
    font.autoShrink = true;
    document.setLayerFields({a}, FieldFont, font);
    document.setLayerGeometry({{b, 1, 2, 30, 40}});
    document.deleteLayers({b});
    const auto undone = [&] {
        events.clear();
        EXPECT_TRUE(document.undo());
        return events;
    };
    const auto is = [](const DocumentEvent& e, DocumentChange change,
                       std::vector<LayerId> layers, LayerFieldSet fields, std::size_t first) {
        return e.change == change && e.layers == layers && e.fields == fields &&
               e.firstRow == first;
    };

    auto told = undone(); // the deletion: b is back at row 1
    ASSERT_EQ(told.size(), 1u);
    EXPECT_TRUE(is(told[0], DocumentChange::LayersAdded, {b}, 0, 1));
    EXPECT_EQ(ids(), (std::vector<LayerId>{a, b, c}));
    told = undone(); // the move
    ASSERT_EQ(told.size(), 1u);
    EXPECT_TRUE(is(told[0], DocumentChange::LayerFields, {b}, FieldGeometry, 0));
    told = undone(); // the shrink switch
    ASSERT_EQ(told.size(), 1u);
    EXPECT_TRUE(is(told[0], DocumentChange::LayerFields, {a}, FieldFont, 0));

    // What undo announces is not an edit: the steps undone can be made again.
    EXPECT_EQ(document.redoName(), "修改字体");
    events.clear();
    ASSERT_TRUE(document.redo());
    ASSERT_TRUE(document.redo());
    ASSERT_TRUE(document.redo());
    EXPECT_TRUE(is(events.back(), DocumentChange::LayersRemoved, {b}, 0, 1));
    EXPECT_FALSE(document.canRedo());
}

TEST_F(EditorDocumentTest, PanelValuesAreKeptInRange)
{
    OutputSettings output;
    output.quality = 5;
    output.colorCount = 3;
    document.setOutput(output);
    EXPECT_EQ(document.tpl().output.quality, 10);
    EXPECT_EQ(document.tpl().output.colorCount, 256);

    // Without pictures the outlines are the only view: "显示选区" stays on.
    document.setShowPicture(false);
    document.setShowSelectArea(false);
    EXPECT_TRUE(document.tpl().pictures_show_select_area);
    document.setShowPicture(true);
    document.setShowSelectArea(false);
    EXPECT_FALSE(document.tpl().pictures_show_select_area);
}

TEST_F(EditorDocumentTest, TheChosenColourOutlivesTheTemplate)
{
    document.setChosenColor(0x3366CC);
    document.newTemplate();
    EXPECT_EQ(document.tpl().background.colorMode, BackgroundColorMode::White);
    EXPECT_EQ(document.tpl().background.chosenColor, 0x3366CCu);
}

} // namespace
} // namespace torvale
