#pragma once

#include "app/editor_document.h"
#include "common/settings_store.h"
#include "render/fonts.h"
#include "support/test_support.h"
#include "ui/main_window.h"
#include "ui/scripted_prompts.h"

#include <QApplication>
#include <gtest/gtest.h>
#include <memory>

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
        window.reset();
        QApplication::processEvents();
    }

    static const FontRegistry& fonts() { return testFonts(); }

    TempDir dir;
    ScriptedPrompts prompts;
    std::unique_ptr<SettingsStore> store;
    std::unique_ptr<EditorDocument> document;
    std::unique_ptr<MainWindow> window;
};

} // namespace torvale::test
