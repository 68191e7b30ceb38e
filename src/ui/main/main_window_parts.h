#pragma once

// Shared by the files that make up MainWindow.

#include "ui/command_id.h"

#include <QString>

#include <cstdint>
#include <string>

namespace torvale {

inline constexpr std::int32_t kDpiPresets[] = {350, 300, 150, 120, 96, 72};

inline int idOf(CommandId id)
{
    return static_cast<int>(id);
}

inline QString qs(const std::string& text)
{
    return QString::fromStdString(text);
}

} // namespace torvale
