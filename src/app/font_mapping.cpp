#include "app/font_mapping.h"

#include "common/text.h"
#include "render/picture_input.h"

namespace torvale {

FontMappingCheck checkFontMapping(const std::string& name, const std::string& path,
                                  const FontRegistry& fonts)
{
    FontMappingCheck check;
    check.name = trimBlank(name);
    check.path = trimBlank(path);
    const auto refuse = [&check](FontMappingField field, const char* message) {
        check.field = field;
        check.message = message;
        return check;
    };
    if (check.name.empty())
        return refuse(FontMappingField::Name, "字体名称不能为空");
    if (check.path.empty())
        return refuse(FontMappingField::Path, "字体路径不能为空");
    if (!fileExists(check.path))
        return refuse(FontMappingField::Path, "字体路径不存在，请重新选择。");
    if (fonts.hasFamily(check.name))
        return refuse(FontMappingField::Name, "字体名称已存在，请重新输入");
    // A stored mapping of a file that is not a font would give a family that draws nothing.
    if (!isReadableFontFile(check.path))
        return refuse(FontMappingField::Path, "字体文件无法读取");
    return check;
}

bool hasNonAsciiCharacter(const std::string& path)
{
    for (const char c : path) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return true;
    }
    return false;
}

std::string fontPathWarning(const std::string& path)
{
    return "当前选择的字体路径：\n" + path +
           "\n\n提示：字体路径中不能含有中文。\n\n建议：统一将需要映射的字体文件存放到 "
           "D:\\Fonts, 如果字体文件名含有中文，请改为英文名。";
}

bool addFontMapping(FontLibrary& fonts, const SettingsStore& store, const std::string& name,
                    const std::string& path)
{
    if (!fonts.addMappedFamily(mappedFontEntry(name, path)))
        return false;
    store.writeSettingText(kFontsKey, name, path);
    return true;
}

bool removeFontMapping(FontLibrary& fonts, const SettingsStore& store, const std::string& name)
{
    store.deleteSetting(kFontsKey, name);
    return fonts.removeMappedFamily(name);
}

} // namespace torvale
