#pragma once

#include "common/settings_store.h"
#include "render/fonts.h"

#include <filesystem>

/// The installed fonts, built once for the process, without the user's font mapping.
inline const torvale::FontRegistry& fuzzFonts()
{
    static const torvale::FontRegistry registry =
        torvale::FontRegistry::build(torvale::SettingsStore(
            (std::filesystem::temp_directory_path() / "torvale-fuzz-fonts.json").string()));
    return registry;
}
