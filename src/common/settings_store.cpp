#include "common/settings_store.h"

#include "common/c_resources.h"
#include "common/file_io.h"
#include "common/paths.h"
#include "common/text.h"

#include <cjson/cJSON.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <limits>
#include <memory>
#include <sys/file.h>
#include <unistd.h>

namespace torvale {

namespace {

enum class FileState { Missing, Parsed, Corrupt, Unreadable };

struct Document {
    FileState state = FileState::Missing;
    JsonPtr root;
    std::string bytes; // the raw content, kept to preserve a corrupt file
};

std::filesystem::path withSuffix(const std::filesystem::path& file, const std::string& suffix)
{
    auto result = file;
    result += suffix;
    return result;
}

// Anything that is not a readable JSON object yields an empty root, so reads see "missing";
// the state tells a writer whether the old content must be kept or the write refused.
Document loadDocument(const std::filesystem::path& file)
{
    Document doc;
    doc.root.reset(cJSON_CreateObject());
    FilePtr in(std::fopen(file.c_str(), "rb"));
    if (!in) {
        doc.state = errno == ENOENT ? FileState::Missing : FileState::Unreadable;
        return doc;
    }
    char buffer[8192];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, in.get())) > 0)
        doc.bytes.append(buffer, got);
    if (std::ferror(in.get())) {
        doc.state = FileState::Unreadable;
        return doc;
    }
    // An empty file holds nothing worth keeping (e.g. a crash before the first write finished).
    if (doc.bytes.empty())
        return doc;
    JsonPtr parsed(cJSON_ParseWithLength(doc.bytes.data(), doc.bytes.size()));
    if (!cJSON_IsObject(parsed.get())) {
        doc.state = FileState::Corrupt;
        return doc;
    }
    doc.state = FileState::Parsed;
    doc.root = std::move(parsed);
    return doc;
}

cJSON* valuesOf(const cJSON* root, const std::string& key)
{
    cJSON* values = cJSON_GetObjectItemCaseSensitive(root, key.c_str());
    return cJSON_IsObject(values) ? values : nullptr;
}

cJSON* valueOf(const Document& doc, const std::string& key, const std::string& name)
{
    const cJSON* values = valuesOf(doc.root.get(), key);
    return values ? cJSON_GetObjectItemCaseSensitive(values, name.c_str()) : nullptr;
}

// Adds or replaces a member; the member takes ownership only when the call succeeds.
bool setMember(cJSON* object, const std::string& name, JsonPtr item)
{
    if (!item)
        return false;
    const bool done = cJSON_GetObjectItemCaseSensitive(object, name.c_str())
                          ? cJSON_ReplaceItemInObjectCaseSensitive(object, name.c_str(), item.get())
                          : cJSON_AddItemToObject(object, name.c_str(), item.get());
    if (done)
        item.release();
    return done;
}

// The key's object, created (or replacing a member of the wrong type) when needed.
cJSON* valuesForWrite(cJSON* root, const std::string& key)
{
    if (cJSON* values = valuesOf(root, key))
        return values;
    if (!setMember(root, key, JsonPtr(cJSON_CreateObject())))
        return nullptr;
    return cJSON_GetObjectItemCaseSensitive(root, key.c_str());
}

// Writes the unparseable content to the first free name of settings.json.corrupt,
// settings.json.corrupt.1, ...; exclusive creation never replaces an earlier copy.
bool keepCorruptCopy(const std::filesystem::path& file, const std::string& bytes)
{
    for (int n = 0; n < 1000; ++n) {
        const auto copy = withSuffix(file, n == 0 ? ".corrupt" : ".corrupt." + std::to_string(n));
        FilePtr out(std::fopen(copy.c_str(), "wbx"));
        if (!out) {
            if (errno == EEXIST)
                continue;
            return false;
        }
        const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out.get()) == bytes.size();
        return std::fclose(out.release()) == 0 && written;
    }
    return false;
}

// Read-modify-write under an exclusive lock on a side file, so two processes changing
// different values never lose each other's change. change() returns false to skip the write.
bool updateFile(const std::filesystem::path& file, const std::function<bool(cJSON*)>& change)
{
    std::error_code ec;
    const auto folder = file.parent_path();
    if (!folder.empty())
        std::filesystem::create_directories(folder, ec);
    if (ec)
        return false;
    const UniqueFd lock(
        ::open(withSuffix(file, ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (lock.get() >= 0)
        ::flock(lock.get(), LOCK_EX); // released when the descriptor closes

    Document doc = loadDocument(file);
    // Rewriting a file we could not read would destroy whatever it holds.
    if (doc.state == FileState::Unreadable || !doc.root || !change(doc.root.get()))
        return false;
    if (doc.state == FileState::Corrupt && !keepCorruptCopy(file, doc.bytes))
        return false;
    const JsonText text(cJSON_Print(doc.root.get()));
    // The settings are the user's own: a new file is readable by its owner only.
    return text &&
           replaceFileAtomically(pathToUtf8(file), std::string(text.get()) + "\n", 0600).ok();
}

bool writeValue(const std::filesystem::path& file, const std::string& key, const std::string& name,
                const std::function<cJSON*()>& makeItem)
{
    return updateFile(file, [&](cJSON* root) {
        cJSON* values = valuesForWrite(root, key);
        return values && setMember(values, name, JsonPtr(makeItem()));
    });
}

} // namespace

SettingsStore::SettingsStore(std::filesystem::path file) : m_file(std::move(file)) {}

SettingsStore SettingsStore::userStore()
{
    return SettingsStore(configFolder() / "settings.json");
}

bool SettingsStore::readSettingText(const std::string& key, const std::string& name,
                                    std::string& out, std::size_t capacity) const
{
    const Document doc = loadDocument(m_file);
    const cJSON* value = valueOf(doc, key, name);
    if (!cJSON_IsString(value))
        return false;
    const std::string_view text = value->valuestring;
    if (utf16Length(text) + 1 > capacity)
        return false;
    out = text;
    return true;
}

bool SettingsStore::writeSettingText(const std::string& key, const std::string& name,
                                     const std::string& text) const
{
    return writeValue(m_file, key, name, [&] { return cJSON_CreateString(text.c_str()); });
}

bool SettingsStore::readSettingNumber(const std::string& key, const std::string& name,
                                      std::int32_t& out) const
{
    const Document doc = loadDocument(m_file);
    const cJSON* value = valueOf(doc, key, name);
    if (!cJSON_IsNumber(value))
        return false;
    // Only whole numbers that fit 32 bits count; anything else was not written by us.
    const double number = value->valuedouble;
    if (number != std::trunc(number) || number < std::numeric_limits<std::int32_t>::min() ||
        number > std::numeric_limits<std::int32_t>::max())
        return false;
    out = static_cast<std::int32_t>(number);
    return true;
}

bool SettingsStore::writeSettingNumber(const std::string& key, const std::string& name,
                                       std::int32_t value) const
{
    return writeValue(m_file, key, name, [&] { return cJSON_CreateNumber(value); });
}

bool SettingsStore::deleteSetting(const std::string& key, const std::string& name) const
{
    return updateFile(m_file, [&](cJSON* root) {
        cJSON* values = valuesOf(root, key);
        if (!values || !cJSON_GetObjectItemCaseSensitive(values, name.c_str()))
            return false;
        cJSON_DeleteItemFromObjectCaseSensitive(values, name.c_str());
        return true;
    });
}

std::vector<std::pair<std::string, std::string>>
SettingsStore::textValues(const std::string& key) const
{
    std::vector<std::pair<std::string, std::string>> result;
    const Document doc = loadDocument(m_file);
    const cJSON* values = valuesOf(doc.root.get(), key);
    const cJSON* item = nullptr;
    cJSON_ArrayForEach(item, values)
    {
        if (cJSON_IsString(item) && item->string)
            result.emplace_back(item->string, item->valuestring);
    }
    return result;
}

} // namespace torvale
