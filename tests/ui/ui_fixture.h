#pragma once

#include "app/editor_document.h"
#include "common/settings_store.h"
#include "render/fonts.h"
#include "support/test_support.h"
#include "ui/main/event_filter.h"
#include "ui/main/main_window.h"
#include "ui/scripted_prompts.h"

#include <QApplication>
#include <gtest/gtest.h>
#include <functional>
#include <memory>
#include <optional>

namespace torvale::test {

/// A main window over a document whose settings live in a temporary folder, with scripted
/// dialogs.
class UiTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        store = std::make_unique<SettingsStore>(dir.file("settings.json"));
        document = std::make_unique<EditorDocument>(*store);
        window = std::make_unique<MainWindow>(*document, fonts(), prompts);
        window->resize(1280, 900);
        window->show();
        QApplication::processEvents();
    }
    void TearDown() override
    {
        if (filter)
            qApp->removeEventFilter(filter.get());
        filter.reset();
        window.reset();
        QApplication::processEvents();
    }

    static const FontRegistry& fonts() { return testFonts(); }

    /// The application's input routing, as the editor installs it at start-up.
    void installEventFilter()
    {
        filter = std::make_unique<AppEventFilter>(*window);
        qApp->installEventFilter(filter.get());
    }

    /// Changes fields of the layer at a row through the document, as the property windows do.
    void editLayer(std::size_t row, LayerFieldSet fields, const std::function<void(Layer&)>& change)
    {
        Layer values = document->tpl().layers.at(row);
        change(values);
        document->setLayerFields({values.id}, fields, values);
    }
    /// Gives the layer at a row a rectangle, as drawing it on the canvas does.
    void placeLayer(std::size_t row, std::int32_t x, std::int32_t y, std::int32_t width,
                    std::int32_t height)
    {
        document->setLayerGeometry({{document->tpl().layers.at(row).id, x, y, width, height}});
    }
    void setOutputFolder(const std::string& folder)
    {
        OutputSettings output = document->tpl().output;
        output.outputFolder = folder;
        document->setOutput(output);
    }
    bool isMarked(std::size_t row) const
    {
        return window->state().isMarked(document->tpl().layers.at(row).id);
    }
    /// The list position of the current layer.
    std::optional<std::size_t> currentLayerRow() const
    {
        const auto& current = window->state().currentLayer();
        return current ? document->indexOf(*current) : std::nullopt;
    }

    TempDir dir;
    ScriptedPrompts prompts;
    std::unique_ptr<SettingsStore> store;
    std::unique_ptr<EditorDocument> document;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<AppEventFilter> filter;
};

} // namespace torvale::test
