#include "app/image_library.h"
#include "cli/cli_common.h"
#include "common/settings_store.h"
#include "render/fonts.h"

#include <string>

namespace torvale::cli {

namespace {

constexpr const char* kFontsUsage =
    "Usage: torvale-batch fonts [--chinese]\n"
    "\n"
    "Prints the font names a text layer can use, one per line, in the editor's order.\n"
    "\n"
    "Options:\n"
    "  --chinese   only fonts that can draw Chinese text\n"
    "  -h, --help  show this help\n";

int runFontsCommand(const ParsedArgs& args)
{
    const bool chineseOnly = args.flags.count("--chinese") != 0;
    if (const auto problem = setUpImageLibrary()) {
        printError(*problem);
        return kExitFailed;
    }
    const FontRegistry fonts = FontRegistry::build(SettingsStore::userStore());
    std::string out;
    for (const auto& name : fonts.fontNames()) {
        if (chineseOnly && !fontSupportsText(fonts, name, true))
            continue;
        out += name;
        out += '\n';
    }
    writeStdout(out);
    tearDownImageLibrary();
    return kExitOk;
}

} // namespace

const CommandSpec kFontsCommand = {
    "fonts",
    "  fonts [--chinese]             print the font names a text layer can use, one per line\n",
    kFontsUsage,
    {},
    {"--chinese"},
    {},
    nullptr,
    runFontsCommand,
};

} // namespace torvale::cli
