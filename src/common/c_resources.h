#pragma once

#include <cjson/cJSON.h>
#include <cstdio>
#include <memory>

namespace torvale {

struct JsonDeleter {
    void operator()(cJSON* item) const { cJSON_Delete(item); }
};
/// An owned cJSON tree.
using JsonPtr = std::unique_ptr<cJSON, JsonDeleter>;

struct JsonTextDeleter {
    void operator()(char* text) const { cJSON_free(text); }
};
/// Text printed by cJSON.
using JsonText = std::unique_ptr<char, JsonTextDeleter>;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
/// An open C file, closed when it goes.
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

} // namespace torvale
