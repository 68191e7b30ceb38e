#include "batch/workbook_source.h"

#include "common/c_resources.h"
#include "common/file_io.h"
#include "common/packed_strings.h"
#include "common/paths.h"
#include "common/text.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <deque>
#include <expat.h>
#include <map>
#include <memory>
#include <new>
#include <stdexcept>
#include <string_view>
#include <sys/stat.h>
#include <unordered_map>
#include <zip.h>

namespace torvale {

namespace {

// The largest sheet a spreadsheet makes; references beyond it only come from a broken file.
constexpr std::uint64_t kMaxSheetRows = 1048576;
constexpr std::uint64_t kMaxSheetColumns = 16384;
// Zip entries are unpacked and parsed this many bytes at a time.
constexpr std::size_t kChunkBytes = 64 * 1024;
// XML_Parse takes an int length: data held back for the parser is fed before it grows past it.
constexpr std::size_t kMaxHeldBytes = 1u << 30;
// Serial 2958466 is 10000-01-01, past what a date format shows.
constexpr double kMaxDateSerial = 2958466.0;

// Why reading stopped; thrown inside this file only, never through expat's C frames.
struct Failure {
    CsvStatus status;
};

[[noreturn]] void fail(CsvStatus status)
{
    throw Failure{status};
}

struct ZipDiscarder {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
struct ZipFileCloser {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};
struct ParserFreer {
    void operator()(XML_ParserStruct* parser) const { XML_ParserFree(parser); }
};
using ParserPtr = std::unique_ptr<XML_ParserStruct, ParserFreer>;

CsvStatus zipErrorStatus(int code)
{
    switch (code) {
    case ZIP_ER_NOPASSWD:
    case ZIP_ER_WRONGPASSWD:
    case ZIP_ER_ENCRNOTSUPP:
        return CsvStatus::WorkbookEncrypted;
    case ZIP_ER_MEMORY:
        return CsvStatus::OutOfMemory;
    case ZIP_ER_READ:
    case ZIP_ER_SEEK:
    case ZIP_ER_OPEN:
        return CsvStatus::CannotAccess;
    default:
        return CsvStatus::WorkbookBroken;
    }
}

// The zip archive of a workbook, whose entries are read with the limits.
class Archive {
public:
    Archive(const std::string& file, const WorkbookLimits& limits) : m_limits(limits)
    {
        FilePtr stream = openRegularFile(file);
        if (!stream)
            fail(CsvStatus::CannotAccess);
        struct stat info {};
        if (::fstat(::fileno(stream.get()), &info) != 0)
            fail(CsvStatus::CannotAccess);
        if (static_cast<std::uint64_t>(info.st_size) > limits.maxFileBytes)
            fail(CsvStatus::TooLarge);
        // A workbook saved with a password is not a zip at all: the spreadsheet wraps the
        // encrypted package in an OLE compound file.
        unsigned char magic[8] = {};
        const std::size_t got = std::fread(magic, 1, sizeof magic, stream.get());
        if (got == sizeof magic && std::memcmp(magic, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) == 0)
            fail(CsvStatus::WorkbookEncrypted);
        const bool looksZipped = got >= 2 && magic[0] == 'P' && magic[1] == 'K';
        std::rewind(stream.get());

        zip_error_t error;
        zip_error_init(&error);
        zip_source_t* source = zip_source_filep_create(stream.get(), 0, -1, &error);
        if (!source) {
            zip_error_fini(&error);
            fail(CsvStatus::OutOfMemory);
        }
        stream.release(); // the source closes it
        m_zip.reset(zip_open_from_source(source, ZIP_RDONLY, &error));
        if (!m_zip) {
            const int code = zip_error_code_zip(&error);
            zip_error_fini(&error);
            zip_source_free(source);
            if (code == ZIP_ER_NOZIP)
                fail(looksZipped ? CsvStatus::WorkbookBroken : CsvStatus::WorkbookNotXlsx);
            fail(zipErrorStatus(code));
        }
        zip_error_fini(&error);
    }

    /// The index of a part (names compared without regard to case, as parts are named).
    std::optional<zip_uint64_t> find(const std::string& part) const
    {
        const zip_int64_t index = zip_name_locate(m_zip.get(), part.c_str(), ZIP_FL_NOCASE);
        if (index < 0)
            return std::nullopt;
        return static_cast<zip_uint64_t>(index);
    }

    /// Unpacks an entry chunk by chunk into sink(data, size). An entry that says it unpacks
    /// to more than the limit, that packs suspiciously tightly or that unpacks to more than it
    /// says is refused before or as soon as it shows, so a zip bomb never unpacks.
    template <typename Sink> void read(zip_uint64_t index, Sink&& sink) const
    {
        zip_stat_t info;
        zip_stat_init(&info);
        if (zip_stat_index(m_zip.get(), index, 0, &info) != 0)
            fail(CsvStatus::WorkbookBroken);
        if ((info.valid & ZIP_STAT_ENCRYPTION_METHOD) && info.encryption_method != ZIP_EM_NONE)
            fail(CsvStatus::WorkbookEncrypted);
        if (!(info.valid & ZIP_STAT_SIZE) || !(info.valid & ZIP_STAT_COMP_SIZE))
            fail(CsvStatus::WorkbookBroken);
        if (info.size > m_limits.maxPartBytes)
            fail(CsvStatus::WorkbookTooLarge);
        if (info.size > m_limits.ratioCheckBytes &&
            info.size / std::max<zip_uint64_t>(info.comp_size, 1) > kMaxPackRatio)
            fail(CsvStatus::WorkbookTooLarge);
        const std::unique_ptr<zip_file_t, ZipFileCloser> file(
            zip_fopen_index(m_zip.get(), index, 0));
        if (!file)
            fail(zipErrorStatus(zip_error_code_zip(zip_get_error(m_zip.get()))));
        const auto buffer = std::make_unique<char[]>(kChunkBytes);
        std::uint64_t total = 0;
        for (;;) {
            const zip_int64_t got = zip_fread(file.get(), buffer.get(), kChunkBytes);
            if (got < 0)
                fail(zipErrorStatus(zip_error_code_zip(zip_file_get_error(file.get()))));
            if (got == 0)
                break;
            total += static_cast<std::uint64_t>(got);
            if (total > info.size)
                fail(CsvStatus::WorkbookTooLarge);
            sink(buffer.get(), static_cast<std::size_t>(got));
        }
        if (total != info.size)
            fail(CsvStatus::WorkbookBroken);
    }

private:
    WorkbookLimits m_limits;
    std::unique_ptr<zip_t, ZipDiscarder> m_zip;
};

// What a part's parser reports: elements by their local name (the namespace prefix, whatever
// the writer chose, is dropped), attributes as expat gives them, text in pieces.
class XmlHandler {
public:
    virtual ~XmlHandler() = default;
    virtual void start(std::string_view name, const XML_Char** attributes) = 0;
    virtual void end(std::string_view name) = 0;
    virtual void text(std::string_view /*text*/) {}
    /// Set by a handler to stop the parse with this status.
    std::optional<CsvStatus> failure;
    /// Set by a handler that needs no more of the part: the parse stops without a failure.
    bool finished = false;
};

// Expat separates a namespace from the local name with this character, which no name holds.
constexpr XML_Char kNamespaceSeparator = ' ';

std::string_view localName(const XML_Char* name)
{
    const std::string_view full(name);
    const std::size_t separator = full.rfind(kNamespaceSeparator);
    return separator == std::string_view::npos ? full : full.substr(separator + 1);
}

// An attribute without a namespace, as the spreadsheet parts write most of them.
const XML_Char* attribute(const XML_Char** attributes, std::string_view name)
{
    for (std::size_t i = 0; attributes[i]; i += 2) {
        if (name == attributes[i])
            return attributes[i + 1];
    }
    return nullptr;
}

// The r:id attribute that points at a part through the relationships.
const XML_Char* relationshipId(const XML_Char** attributes)
{
    for (std::size_t i = 0; attributes[i]; i += 2) {
        const std::string_view full(attributes[i]);
        const std::size_t separator = full.rfind(kNamespaceSeparator);
        if (separator != std::string_view::npos && full.substr(separator + 1) == "id" &&
            full.substr(0, separator).ends_with("/relationships"))
            return attributes[i + 1];
    }
    return nullptr;
}

struct ParseContext {
    XML_Parser parser;
    XmlHandler& handler;
    std::uint64_t events = 0; // the handler's steps so far
};

// Runs a handler step; what it throws is kept as its failure, since nothing may unwind
// through expat, and the parse stops at the first failure.
template <typename Step> void runStep(void* data, Step&& step)
{
    auto& context = *static_cast<ParseContext*>(data);
    ++context.events;
    if (context.handler.failure || context.handler.finished)
        return;
    try {
        step(context.handler);
    } catch (const std::bad_alloc&) {
        context.handler.failure = CsvStatus::OutOfMemory;
    } catch (const std::length_error&) {
        context.handler.failure = CsvStatus::OutOfMemory;
    } catch (const Failure& failure) {
        context.handler.failure = failure.status;
    }
    if (context.handler.failure || context.handler.finished)
        XML_StopParser(context.parser, XML_FALSE);
}

void XMLCALL onStart(void* data, const XML_Char* name, const XML_Char** attributes)
{
    runStep(data, [&](XmlHandler& handler) { handler.start(localName(name), attributes); });
}

void XMLCALL onEnd(void* data, const XML_Char* name)
{
    runStep(data, [&](XmlHandler& handler) { handler.end(localName(name)); });
}

void XMLCALL onText(void* data, const XML_Char* text, int length)
{
    runStep(data, [&](XmlHandler& handler) {
        handler.text(std::string_view(text, static_cast<std::size_t>(length)));
    });
}

// The parts never carry a document type; one that does may declare entities meant to blow up.
void XMLCALL onDoctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*, int)
{
    runStep(data, [](XmlHandler& handler) { handler.failure = CsvStatus::WorkbookBroken; });
}

// Streams a part through expat into a handler.
void parsePart(const Archive& archive, zip_uint64_t index, XmlHandler& handler)
{
    const ParserPtr parser(XML_ParserCreateNS(nullptr, kNamespaceSeparator));
    if (!parser)
        fail(CsvStatus::OutOfMemory);
    ParseContext context{parser.get(), handler};
    XML_SetUserData(parser.get(), &context);
    XML_SetElementHandler(parser.get(), onStart, onEnd);
    XML_SetCharacterDataHandler(parser.get(), onText);
    XML_SetStartDoctypeDeclHandler(parser.get(), onDoctype);
    struct Finished {};
    const auto check = [&](XML_Status status) {
        if (handler.failure)
            fail(*handler.failure);
        if (handler.finished)
            throw Finished{};
        if (status != XML_STATUS_OK)
            fail(XML_GetErrorCode(parser.get()) == XML_ERROR_NO_MEMORY ? CsvStatus::OutOfMemory
                                                                       : CsvStatus::WorkbookBroken);
    };
    // Expat parses a token that a chunk leaves unfinished again from its start with the next
    // chunk, so one huge token (an attribute of 100 MB) fed in small chunks would cost its size
    // squared. While the parser reports nothing, the data is held back until it is as large as
    // what the parser already holds: each new attempt at the token is twice as long as the last.
    std::string held;
    std::uint64_t silentBytes = 0; // fed since the parser last reported something
    const auto feed = [&](const char* data, std::size_t size) {
        const std::uint64_t before = context.events;
        check(XML_Parse(parser.get(), data, static_cast<int>(size), XML_FALSE));
        silentBytes = context.events == before ? silentBytes + size : 0;
    };
    try {
        archive.read(index, [&](const char* data, std::size_t size) {
            if (held.empty() && silentBytes < kChunkBytes) {
                feed(data, size);
                return;
            }
            held.append(data, size);
            if (held.size() >= silentBytes || held.size() > kMaxHeldBytes) {
                feed(held.data(), held.size());
                held.clear();
            }
        });
        if (!held.empty())
            feed(held.data(), held.size());
        check(XML_Parse(parser.get(), "", 0, XML_TRUE));
    } catch (const Finished&) {
        // The rest of the part is neither unpacked nor checked.
    }
}

struct Relationship {
    std::string id;
    std::string type;
    std::string target; // the part it points at, resolved
};

// A relationship type is a URI whose last segment names the kind ("worksheet", "styles"); the
// transitional and the strict schemas differ only before it.
bool hasType(const Relationship& relationship, std::string_view kind)
{
    const std::string_view type = relationship.type;
    return type.size() > kind.size() && type.ends_with(kind) &&
           type[type.size() - kind.size() - 1] == '/';
}

std::string partFolder(std::string_view part)
{
    const std::size_t slash = part.rfind('/');
    return slash == std::string_view::npos ? std::string() : std::string(part.substr(0, slash + 1));
}

// The part a target names from the part whose relationships hold it: a target is a URI,
// absolute from the package's root or relative to the source part's folder, %-escaped.
std::string resolveTarget(std::string_view sourcePart, std::string_view target)
{
    std::string decoded;
    for (std::size_t i = 0; i < target.size(); ++i) {
        if (target[i] == '%' && i + 2 < target.size() && hexDigitValue(target[i + 1]) >= 0 &&
            hexDigitValue(target[i + 2]) >= 0) {
            decoded +=
                static_cast<char>(hexDigitValue(target[i + 1]) * 16 + hexDigitValue(target[i + 2]));
            i += 2;
        } else {
            decoded += target[i];
        }
    }
    const std::string joined =
        decoded.starts_with('/') ? decoded.substr(1) : partFolder(sourcePart) + decoded;
    std::vector<std::string_view> segments;
    std::string_view rest = joined;
    while (!rest.empty()) {
        const std::size_t slash = rest.find('/');
        const std::string_view segment = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        if (segment.empty() || segment == ".")
            continue;
        if (segment == "..") {
            if (!segments.empty())
                segments.pop_back();
            continue;
        }
        segments.push_back(segment);
    }
    std::string part;
    for (const std::string_view segment : segments) {
        if (!part.empty())
            part += '/';
        part += segment;
    }
    return part;
}

class RelationshipsHandler : public XmlHandler {
public:
    RelationshipsHandler(std::string sourcePart, std::vector<Relationship>& out)
        : m_sourcePart(std::move(sourcePart)), m_out(out)
    {
    }
    void start(std::string_view name, const XML_Char** attributes) override
    {
        if (name != "Relationship")
            return;
        const XML_Char* id = attribute(attributes, "Id");
        const XML_Char* type = attribute(attributes, "Type");
        const XML_Char* target = attribute(attributes, "Target");
        const XML_Char* mode = attribute(attributes, "TargetMode");
        if (!id || !type || !target || (mode && std::string_view(mode) == "External"))
            return;
        m_out.push_back({id, type, resolveTarget(m_sourcePart, target)});
    }
    void end(std::string_view) override {}

private:
    std::string m_sourcePart;
    std::vector<Relationship>& m_out;
};

// The relationships of a part ("xl/workbook.xml" -> "xl/_rels/workbook.xml.rels"); none when
// the part has no relationships part.
std::vector<Relationship> readRelationships(const Archive& archive, const std::string& part)
{
    const std::size_t slash = part.rfind('/');
    const std::string name = slash == std::string::npos ? part : part.substr(slash + 1);
    const std::string relsPart = partFolder(part) + "_rels/" + name + ".rels";
    std::vector<Relationship> relationships;
    if (const auto index = archive.find(relsPart)) {
        RelationshipsHandler handler(part, relationships);
        parsePart(archive, *index, handler);
    }
    return relationships;
}

struct SheetEntry {
    std::string name;
    std::string part;
};

class WorkbookHandler : public XmlHandler {
public:
    bool date1904 = false;
    std::vector<std::pair<std::string, std::string>> sheets; // name, relationship id

    void start(std::string_view name, const XML_Char** attributes) override
    {
        if (!m_sawRoot) {
            m_sawRoot = true;
            if (name != "workbook")
                failure = CsvStatus::WorkbookNotXlsx;
            return;
        }
        if (name == "workbookPr") {
            const XML_Char* value = attribute(attributes, "date1904");
            date1904 =
                value && (std::string_view(value) == "1" || std::string_view(value) == "true");
        } else if (name == "sheet") {
            const XML_Char* sheetName = attribute(attributes, "name");
            const XML_Char* id = relationshipId(attributes);
            if (sheetName && id)
                sheets.emplace_back(sheetName, id);
        }
    }
    void end(std::string_view) override {}

private:
    bool m_sawRoot = false;
};

// How a number cell is shown, from its number format.
// Elapsed times ([h]:mm:ss) count hours past a day: 1.5 days is 36:00:00.
enum class NumberShow {
    General,
    Date,
    Time,
    TimeSeconds,
    DateTime,
    DateTimeSeconds,
    Elapsed,
    ElapsedSeconds
};

bool showsDate(NumberShow show)
{
    return show == NumberShow::Date || show == NumberShow::DateTime ||
           show == NumberShow::DateTimeSeconds;
}

bool showsTime(NumberShow show)
{
    return show != NumberShow::General && show != NumberShow::Date;
}

bool showsSeconds(NumberShow show)
{
    return show == NumberShow::TimeSeconds || show == NumberShow::DateTimeSeconds ||
           show == NumberShow::ElapsedSeconds;
}

bool showsElapsed(NumberShow show)
{
    return show == NumberShow::Elapsed || show == NumberShow::ElapsedSeconds;
}

NumberShow showFor(bool date, bool time, bool seconds, bool elapsed = false)
{
    if (elapsed && !date)
        return seconds ? NumberShow::ElapsedSeconds : NumberShow::Elapsed;
    if (date && time)
        return seconds ? NumberShow::DateTimeSeconds : NumberShow::DateTime;
    if (time)
        return seconds ? NumberShow::TimeSeconds : NumberShow::Time;
    return date ? NumberShow::Date : NumberShow::General;
}

// The built-in formats that show dates and times (the ids no styles part spells out),
// including those of Chinese, Japanese and Korean spreadsheets.
NumberShow builtInShow(long id)
{
    switch (id) {
    case 18: // h:mm AM/PM
    case 20: // h:mm
    case 32: // h"时"mm"分"
    case 34: // 上午/下午h"时"mm"分"
    case 55:
        return NumberShow::Time;
    case 19: // h:mm:ss AM/PM
    case 21: // h:mm:ss
    case 33: // h"时"mm"分"ss"秒"
    case 35:
    case 46: // [h]:mm:ss
        return NumberShow::ElapsedSeconds;
    case 45: // mm:ss
    case 47: // mmss.0
    case 56:
        return NumberShow::TimeSeconds;
    case 22: // m/d/yy h:mm
        return NumberShow::DateTime;
    default:
        break;
    }
    if ((id >= 14 && id <= 17) || (id >= 27 && id <= 31) || id == 36 || (id >= 50 && id <= 54) ||
        id == 57 || id == 58)
        return NumberShow::Date;
    return NumberShow::General;
}

// A format code shows a date when its first section holds y, d or a month's m, and a time when
// it holds h or s; quoted text, escaped and padding characters, [..] brackets (colours,
// locales, conditions) and the AM/PM markers say nothing.
NumberShow codeShow(std::string_view code)
{
    bool date = false;
    bool time = false;
    bool seconds = false;
    bool month = false;
    bool elapsed = false;
    for (std::size_t i = 0; i < code.size(); ++i) {
        const char c = static_cast<char>(code[i] | 0x20); // ASCII lower case
        switch (code[i]) {
        case '"': {
            const std::size_t close = code.find('"', i + 1);
            i = close == std::string_view::npos ? code.size() : close;
            continue;
        }
        case '[': {
            const std::size_t close = code.find(']', i + 1);
            // [h], [mm], [ss]: a count of elapsed time, not a time of day.
            const std::string_view inside =
                code.substr(i + 1, close == std::string_view::npos ? 0 : close - i - 1);
            if (!inside.empty() && inside.find_first_not_of("hHmMsS") == std::string_view::npos &&
                inside.find_first_not_of(inside[0]) == std::string_view::npos) {
                elapsed = time = true;
                seconds = seconds || (inside[0] | 0x20) == 's';
            }
            i = close == std::string_view::npos ? code.size() : close;
            continue;
        }
        case '\\':
        case '_':
        case '*':
            ++i;
            continue;
        case ';':
            i = code.size();
            continue;
        default:
            break;
        }
        if (c == 'a') {
            const std::string_view rest = code.substr(i);
            if (rest.size() >= 5 && equalsIgnoreCase(rest.substr(0, 5), "am/pm"))
                i += 4;
            else if (rest.size() >= 3 && equalsIgnoreCase(rest.substr(0, 3), "a/p"))
                i += 2;
        } else if (c == 'y' || c == 'd') {
            date = true;
        } else if (c == 'h') {
            time = true;
        } else if (c == 's') {
            time = true;
            seconds = true;
        } else if (c == 'm') {
            month = true;
        }
    }
    // Next to hours or seconds, m counts minutes; alone, months.
    if (month && !time)
        date = true;
    return showFor(date, time, seconds, elapsed);
}

class StylesHandler : public XmlHandler {
public:
    void start(std::string_view name, const XML_Char** attributes) override
    {
        if (name == "numFmts") {
            m_inFormats = true;
        } else if (name == "cellXfs") {
            m_inCellFormats = true;
        } else if (name == "numFmt" && m_inFormats) {
            const XML_Char* id = attribute(attributes, "numFmtId");
            const XML_Char* code = attribute(attributes, "formatCode");
            if (id && code)
                m_codes[std::strtol(id, nullptr, 10)] = codeShow(code);
        } else if (name == "xf" && m_inCellFormats) {
            const XML_Char* id = attribute(attributes, "numFmtId");
            m_cellFormats.push_back(id ? std::strtol(id, nullptr, 10) : 0);
        }
    }
    void end(std::string_view name) override
    {
        if (name == "numFmts")
            m_inFormats = false;
        else if (name == "cellXfs")
            m_inCellFormats = false;
    }

    /// How each cell format (a cell's s attribute) shows numbers.
    std::vector<NumberShow> shows() const
    {
        std::vector<NumberShow> shows;
        shows.reserve(m_cellFormats.size());
        for (const long id : m_cellFormats) {
            const auto custom = m_codes.find(id);
            shows.push_back(custom != m_codes.end() ? custom->second : builtInShow(id));
        }
        return shows;
    }

private:
    bool m_inFormats = false;
    bool m_inCellFormats = false;
    std::map<long, NumberShow> m_codes;
    std::vector<long> m_cellFormats;
};

// Spreadsheets write characters that XML cannot hold (and "_x" itself, as _x005F_) as
// _xHHHH_, a UTF-16 unit each.
std::string decodeEscapes(std::string text)
{
    if (text.find("_x") == std::string::npos)
        return text;
    const auto escapeAt = [&text](std::size_t i, char16_t& unit) {
        if (i + 7 > text.size() || text[i] != '_' || text[i + 1] != 'x' || text[i + 6] != '_')
            return false;
        unsigned value = 0;
        for (std::size_t k = i + 2; k < i + 6; ++k) {
            const int digit = hexDigitValue(text[k]);
            if (digit < 0)
                return false;
            value = value * 16 + static_cast<unsigned>(digit);
        }
        unit = static_cast<char16_t>(value);
        return true;
    };
    std::string out;
    std::u16string units;
    for (std::size_t i = 0; i < text.size();) {
        char16_t unit = 0;
        if (escapeAt(i, unit)) {
            units.push_back(unit);
            i += 7;
            continue;
        }
        if (!units.empty()) {
            out += utf16ToUtf8(units); // a surrogate pair may come as two escapes
            units.clear();
        }
        out += text[i++];
    }
    out += utf16ToUtf8(units);
    return out;
}

class SharedStringsHandler : public XmlHandler {
public:
    explicit SharedStringsHandler(PackedStrings& strings) : m_strings(strings) {}

    void start(std::string_view name, const XML_Char**) override
    {
        if (name == "si") {
            m_inItem = true;
            m_text.clear();
        } else if (name == "rPh") {
            ++m_phonetic; // the reading of the text, not the text
        } else if (name == "t" && m_inItem && m_phonetic == 0) {
            m_inText = true;
        }
    }
    void end(std::string_view name) override
    {
        if (name == "si" && m_inItem) {
            m_strings.push_back(decodeEscapes(std::move(m_text)));
            m_text = std::string();
            m_inItem = false;
        } else if (name == "rPh" && m_phonetic > 0) {
            --m_phonetic;
        } else if (name == "t") {
            m_inText = false;
        }
    }
    void text(std::string_view text) override
    {
        if (m_inText)
            m_text.append(text);
    }

private:
    PackedStrings& m_strings;
    std::string m_text;
    bool m_inItem = false;
    bool m_inText = false;
    int m_phonetic = 0;
};

std::string formatSerial(double serial, bool date1904, NumberShow show)
{
    if (serial < 0 || serial >= kMaxDateSerial)
        return formatGeneralNumber(serial); // no date shows it
    const auto totalSeconds = static_cast<long long>(std::llround(serial * 86400.0));
    const long long days = totalSeconds / 86400;
    const long long secondOfDay = totalSeconds % 86400;
    if (showsElapsed(show)) {
        std::string elapsed =
            formatText("%02lld:%02lld", totalSeconds / 3600, totalSeconds / 60 % 60);
        if (showsSeconds(show))
            elapsed += formatText(":%02lld", totalSeconds % 60);
        return elapsed;
    }
    std::string out;
    if (showsDate(show)) {
        using namespace std::chrono;
        if (!date1904 && days == 0) {
            out = "1900-01-00"; // what the spreadsheet shows for serial 0
        } else if (!date1904 && days == 60) {
            // The 1900 system counts a 29 February 1900 that never was, for compatibility with
            // an older spreadsheet: serials from 61 on are one day ahead of the calendar.
            out = "1900-02-29";
        } else {
            const sys_days origin = date1904    ? sys_days(year(1904) / 1 / 1)
                                    : days < 60 ? sys_days(year(1899) / 12 / 31)
                                                : sys_days(year(1899) / 12 / 30);
            const year_month_day date(origin + std::chrono::days(days));
            out =
                formatText("%04d-%02u-%02u", static_cast<int>(date.year()),
                           static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
        }
    }
    if (showsTime(show)) {
        if (!out.empty())
            out += ' ';
        out += formatText("%02lld:%02lld", secondOfDay / 3600, secondOfDay / 60 % 60);
        if (showsSeconds(show))
            out += formatText(":%02lld", secondOfDay % 60);
    }
    return out;
}

// The bytes a cell takes in CSV text: quoted when a reader would otherwise cut it or lose a part
// (a delimiter, a quote, a line break, a leading byte-order mark), its quotes doubled.
std::uint64_t csvCellBytes(std::string_view cell)
{
    if (cell.find_first_of(",\"\r\n") == std::string_view::npos &&
        !cell.starts_with("\xEF\xBB\xBF"))
        return cell.size();
    return cell.size() + 2 + static_cast<std::uint64_t>(std::count(cell.begin(), cell.end(), '"'));
}

bool isSpacesTabs(std::string_view text)
{
    return text.find_first_not_of(" \t") == std::string_view::npos;
}

std::string_view trimmedSpacesTabs(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

template <typename Number> bool parseNumber(std::string_view text, Number& value)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

// A number written as a whole number ("-0042") without its sign of zero and leading zeros,
// when it has fewer digits than the General format would show in exponent form; nothing for
// anything else (a fraction, an exponent, a sign "+").
std::optional<std::string> wholeNumberText(std::string_view text)
{
    const bool negative = text.starts_with('-');
    std::string_view digits = text.substr(negative ? 1 : 0);
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    digits.remove_prefix(std::min(digits.find_first_not_of('0'), digits.size() - 1));
    if (digits.size() > 21)
        return std::nullopt;
    if (digits == "0")
        return std::string("0");
    return (negative ? "-" : "") + std::string(digits);
}

// The column of a cell reference ("AB12" -> 28); 0 when it is no reference.
std::uint64_t referenceColumn(std::string_view reference)
{
    std::uint64_t column = 0;
    std::size_t i = 0;
    for (; i < reference.size(); ++i) {
        const char c = static_cast<char>(reference[i] & ~0x20); // ASCII upper case
        if (c < 'A' || c > 'Z')
            break;
        column = column * 26 + static_cast<std::uint64_t>(c - 'A' + 1);
        if (column > kMaxSheetColumns)
            return 0;
    }
    return i > 0 && i < reference.size() ? column : 0;
}

// A sheet's rows as read. A row's cells lie one after another in a block of text, each as its
// length (seven bits a byte, low bits first, the high bit set while more follow) and its bytes:
// a short cell costs one byte more than its text, and blocks of a fixed size are never copied to
// grow, so the rows take hardly more memory than the sheet's text.
class SheetRows {
public:
    struct Row {
        std::uint32_t block;
        std::uint32_t offset;
        std::uint32_t line;   // the line it starts on, as a CSV reader of the sheet counts
        std::uint32_t number; // the sheet's row number
        std::uint32_t lines;  // 1 and the line breaks of its cells
        std::uint16_t cells;
        bool blank; // no row at all: no cell, or one cell of spaces and tabs only
    };

    std::deque<Row>& rows() { return m_rows; }
    const std::deque<Row>& rows() const { return m_rows; }

    /// Adds row with cells (trimmed of spaces and tabs when trim is on).
    void add(Row row, const std::vector<std::string>& cells, std::size_t count, bool trim)
    {
        std::size_t bytes = 0;
        for (std::size_t i = 0; i < count; ++i)
            bytes += cells[i].size() + 10;
        if (m_blocks.empty() || m_blocks.back().capacity() - m_blocks.back().size() < bytes) {
            if (m_blocks.size() == UINT32_MAX)
                fail(CsvStatus::WorkbookTooLarge);
            m_blocks.emplace_back().reserve(std::max(kBlockBytes, bytes));
        }
        std::string& block = m_blocks.back();
        row.block = static_cast<std::uint32_t>(m_blocks.size() - 1);
        row.offset = static_cast<std::uint32_t>(block.size());
        row.cells = static_cast<std::uint16_t>(count);
        for (std::size_t i = 0; i < count; ++i) {
            const std::string_view cell =
                trim ? trimmedSpacesTabs(cells[i]) : std::string_view(cells[i]);
            for (std::size_t length = cell.size();; length >>= 7) {
                block += static_cast<char>((length & 0x7F) | (length > 0x7F ? 0x80 : 0));
                if (length <= 0x7F)
                    break;
            }
            block += cell;
        }
        m_rows.push_back(row);
    }

    /// The cells of row into out (cleared first).
    void cells(const Row& row, PackedStrings& out) const
    {
        out.clear();
        const std::string& block = m_blocks[row.block];
        std::size_t at = row.offset;
        for (std::uint16_t i = 0; i < row.cells; ++i) {
            std::size_t length = 0;
            for (unsigned shift = 0;; shift += 7) {
                const auto byte = static_cast<unsigned char>(block[at++]);
                length |= static_cast<std::size_t>(byte & 0x7F) << shift;
                if (!(byte & 0x80))
                    break;
            }
            out.push_back(std::string_view(block).substr(at, length));
            at += length;
        }
    }

private:
    static constexpr std::size_t kBlockBytes = 1 << 20;
    std::vector<std::string> m_blocks;
    std::deque<Row> m_rows;
};

// Reads a sheet's rows into SheetRows, each cell as the spreadsheet shows it, trimmed when
// asked. Lines are counted as a CSV reader would count them in the sheet written as CSV, one
// sheet row a line: a row starts on the line of its number unless the line breaks of the cells
// above pushed it further down.
class SheetHandler : public XmlHandler {
public:
    SheetHandler(const PackedStrings& strings, const std::vector<NumberShow>& shows, bool date1904,
                 bool trim, SheetRows& out, const WorkbookLimits& limits)
        : m_strings(strings), m_shows(shows), m_date1904(date1904), m_trim(trim), m_out(out),
          m_maxText(limits.maxTextBytes), m_headerOnly(limits.headerOnly)
    {
    }

    void start(std::string_view name, const XML_Char** attributes) override
    {
        if (name == "sheetData") {
            m_inData = true;
        } else if (!m_inData) {
            return;
        } else if (name == "row") {
            startRow(attributes);
        } else if (name == "c" && m_inRow) {
            startCell(attributes);
        } else if (!m_inCell) {
            return;
        } else if (name == "v") {
            m_inValue = true;
        } else if (name == "is") {
            m_inInline = true;
        } else if (name == "rPh") {
            ++m_phonetic;
        } else if (name == "t" && m_inInline && m_phonetic == 0) {
            m_inValue = true;
        }
    }

    void end(std::string_view name) override
    {
        if (name == "sheetData") {
            m_inData = false;
            if (m_outOfOrder)
                putRowsInOrder();
        } else if (!m_inData) {
            return;
        } else if (name == "row") {
            endRow();
        } else if (name == "c") {
            endCell();
        } else if (name == "v" || name == "t") {
            m_inValue = false;
        } else if (name == "is") {
            m_inInline = false;
        } else if (name == "rPh" && m_phonetic > 0) {
            --m_phonetic;
        }
    }

    void text(std::string_view text) override
    {
        if (!m_inValue)
            return;
        if (m_value.size() + text.size() > m_maxText)
            fail(CsvStatus::WorkbookTooLarge);
        m_value.append(text);
    }

private:
    void startRow(const XML_Char** attributes)
    {
        std::uint64_t number = m_lastRow + 1;
        if (const XML_Char* r = attribute(attributes, "r")) {
            if (!parseNumber(std::string_view(r), number) || number == 0 || number > kMaxSheetRows)
                fail(CsvStatus::WorkbookBroken);
        }
        m_outOfOrder = m_outOfOrder || (m_lastRow > 0 && number <= m_lastRow);
        m_lastRow = number;
        if (number > m_line) {
            m_textBytes += number - m_line; // the empty lines of the rows missing before it
            m_line = number;
        }
        m_number = static_cast<std::uint32_t>(number);
        m_inRow = true;
        m_nextColumn = 1;
    }

    void startCell(const XML_Char** attributes)
    {
        std::uint64_t column = m_nextColumn;
        if (const XML_Char* r = attribute(attributes, "r")) {
            column = referenceColumn(r);
            if (column == 0)
                fail(CsvStatus::WorkbookBroken);
        } else if (column > kMaxSheetColumns) {
            fail(CsvStatus::WorkbookBroken);
        }
        m_column = column;
        m_nextColumn = column + 1;
        const XML_Char* type = attribute(attributes, "t");
        m_type = type ? type : "";
        const XML_Char* style = attribute(attributes, "s");
        if (!style || !parseNumber(std::string_view(style), m_style))
            m_style = 0;
        m_value.clear();
        m_inCell = true;
        m_inValue = false;
        m_inInline = false;
        m_phonetic = 0;
    }

    void endCell()
    {
        if (!m_inCell)
            return;
        m_inCell = false;
        m_inValue = false;
        std::string text = cellText();
        if (text.empty())
            return;
        const auto index = static_cast<std::size_t>(m_column - 1);
        // The text the sheet produces counts against the cap as it grows: a small workbook
        // whose cells all repeat one long shared string would otherwise expand to gigabytes.
        m_rowBytes += text.size() + 1;
        if (m_textBytes + m_rowBytes > m_maxText)
            fail(CsvStatus::WorkbookTooLarge);
        if (m_cells.size() <= index)
            m_cells.resize(index + 1);
        m_rowBytes -= m_cells[index].size();
        m_cells[index] = std::move(text);
        m_width = std::max(m_width, index + 1);
    }

    std::string cellText()
    {
        if (m_type == "s") {
            std::size_t index = 0;
            if (m_value.empty())
                return {};
            if (!parseNumber(trimBlank(m_value), index) || index >= m_strings.size())
                fail(CsvStatus::WorkbookBroken);
            return std::string(m_strings[index]);
        }
        if (m_type == "inlineStr" || m_type == "str")
            return decodeEscapes(std::move(m_value));
        if (m_type == "b" && (m_value == "0" || m_value == "1"))
            return m_value == "1" ? "TRUE" : "FALSE";
        if (!m_type.empty() && m_type != "n")
            return std::move(m_value); // an error (#N/A), an ISO date, whatever else comes
        const std::string written = trimBlank(m_value);
        double number = 0;
        if (!parseNumber(written, number) || !std::isfinite(number))
            return std::move(m_value);
        const NumberShow show = m_style < m_shows.size() ? m_shows[m_style] : NumberShow::General;
        if (show != NumberShow::General)
            return formatSerial(number, m_date1904, show);
        // A whole number keeps every digit it was written with (an 18-digit identity number
        // would lose its last three through a double).
        if (auto whole = wholeNumberText(written))
            return std::move(*whole);
        return formatGeneralNumber(number);
    }

    void endRow()
    {
        if (!m_inRow)
            return;
        m_inRow = false;
        if (m_line > UINT32_MAX)
            fail(CsvStatus::WorkbookTooLarge);
        SheetRows::Row row{0, 0, static_cast<std::uint32_t>(m_line), m_number, 1, 0, true};
        std::size_t stored = 0;
        if (m_width > 0) {
            if (m_headerWidth == 0)
                m_headerWidth = m_width;
            for (std::size_t i = 0; i < m_width; ++i) {
                m_textBytes += csvCellBytes(m_cells[i]) + (i > 0 ? 1 : 0);
                row.lines += static_cast<std::uint32_t>(countLineBreaks(m_cells[i]));
            }
            // One cell of spaces and tabs alone is a blank line to a CSV reader, no row; in a
            // row shorter than the header it is a row of blank cells (a delimiter follows).
            const bool spaces = m_width == 1 && isSpacesTabs(m_cells[0]);
            row.blank = spaces && m_headerWidth <= 1;
            if (spaces && !row.blank)
                ++m_textBytes;
            stored = row.blank ? 0 : m_width;
            finished = m_headerOnly;
        }
        m_out.add(row, m_cells, stored, m_trim);
        for (std::size_t i = 0; i < m_width; ++i)
            m_cells[i].clear();
        m_width = 0;
        m_rowBytes = 0;
        ++m_textBytes;
        m_line += row.lines;
        if (m_textBytes > m_maxText)
            fail(CsvStatus::WorkbookTooLarge);
    }

    // Puts the rows in the order of their numbers, each on the line of its number (as a
    // spreadsheet shows them) unless the line breaks above push it down.
    void putRowsInOrder()
    {
        std::stable_sort(
            m_out.rows().begin(), m_out.rows().end(),
            [](const SheetRows::Row& a, const SheetRows::Row& b) { return a.number < b.number; });
        std::uint64_t line = 1;
        for (SheetRows::Row& row : m_out.rows()) {
            line = std::max<std::uint64_t>(line, row.number);
            if (line > UINT32_MAX)
                fail(CsvStatus::WorkbookTooLarge);
            row.line = static_cast<std::uint32_t>(line);
            line += row.lines;
        }
    }

    const PackedStrings& m_strings;
    const std::vector<NumberShow>& m_shows;
    bool m_date1904;
    bool m_trim;
    SheetRows& m_out;
    std::uint64_t m_maxText;
    bool m_headerOnly;

    bool m_inData = false;
    bool m_inRow = false;
    bool m_inCell = false;
    bool m_inValue = false;
    bool m_inInline = false;
    int m_phonetic = 0;
    std::uint64_t m_lastRow = 0;
    std::uint32_t m_number = 0;
    std::uint64_t m_line = 1; // the line the next row starts on
    // The sheet's size as CSV text so far, which the limit caps.
    std::uint64_t m_textBytes = 0;
    std::uint64_t m_nextColumn = 1;
    std::uint64_t m_column = 1;
    std::string m_type;
    std::size_t m_style = 0;
    std::string m_value;
    std::vector<std::string> m_cells; // the row's cells by column, up to m_width
    std::size_t m_width = 0;          // the row's last non-empty column
    std::uint64_t m_rowBytes = 0;     // the text of the row's cells so far
    bool m_outOfOrder = false;
    std::size_t m_headerWidth = 0;
};

class SheetCursor : public RowCursor {
public:
    SheetCursor(const SheetRows& sheet, std::size_t headerCells, std::size_t from)
        : m_sheet(sheet), m_headerCells(headerCells), m_next(from)
    {
    }

    bool next(CsvDataRow& row) override
    {
        if (m_next == 0 || m_next > m_sheet.rows().size())
            return false;
        const SheetRows::Row& stored = m_sheet.rows()[m_next - 1];
        m_sheet.cells(stored, row.cells);
        // A row stores no empty cells after its last value: it is filled up to the header.
        while (row.cells.size() < m_headerCells)
            row.cells.push_back({});
        row.number = m_next++;
        row.line = stored.line;
        row.unclosedQuoteLine = 0;
        row.skipped = row.cells.size() != m_headerCells;
        return true;
    }

private:
    const SheetRows& m_sheet;
    std::size_t m_headerCells;
    std::size_t m_next;
};

// A worksheet's data rows: the first row that is not blank is the header, the others under it
// are the data rows.
class SheetRowSource : public RowSource {
public:
    explicit SheetRowSource(SheetRows sheet) : m_sheet(std::move(sheet))
    {
        std::deque<SheetRows::Row>& rows = m_sheet.rows();
        std::erase_if(rows, [](const SheetRows::Row& row) { return row.blank; });
        if (rows.empty())
            return;
        m_headerLine = rows.front().line;
        m_sheet.cells(rows.front(), m_columns);
        rows.pop_front();
        rows.shrink_to_fit();
    }

    const PackedStrings& columns() const override { return m_columns; }
    std::size_t headerLine() const override { return m_headerLine; }
    std::size_t rowCount() const override { return m_sheet.rows().size(); }
    std::unique_ptr<RowCursor> rows(std::size_t from) const override
    {
        return std::make_unique<SheetCursor>(m_sheet, m_columns.size(), from);
    }

private:
    SheetRows m_sheet;
    PackedStrings m_columns;
    std::size_t m_headerLine = 0;
};

class Workbook {
public:
    Workbook(const std::string& file, const WorkbookLimits& limits) : m_archive(file, limits)
    {
        // The package's relationships name the workbook part; files written without them
        // keep it where every spreadsheet puts it.
        std::string workbookPart = "xl/workbook.xml";
        for (const Relationship& relationship : readRelationships(m_archive, "")) {
            if (hasType(relationship, "officeDocument")) {
                workbookPart = relationship.target;
                break;
            }
        }
        const auto workbookIndex = m_archive.find(workbookPart);
        if (!workbookIndex)
            fail(CsvStatus::WorkbookNotXlsx);
        WorkbookHandler workbook;
        parsePart(m_archive, *workbookIndex, workbook);
        m_date1904 = workbook.date1904;

        const std::vector<Relationship> relationships = readRelationships(m_archive, workbookPart);
        for (const Relationship& relationship : relationships) {
            if (hasType(relationship, "sharedStrings") && m_stringsPart.empty())
                m_stringsPart = relationship.target;
            else if (hasType(relationship, "styles") && m_stylesPart.empty())
                m_stylesPart = relationship.target;
        }
        // Chart sheets and the like are in the list too; only worksheets hold cells. The
        // relationships are looked up by id, so that a workbook of very many sheets is read in
        // time linear in its size (the first relationship of an id counts).
        std::unordered_map<std::string_view, const Relationship*> byId;
        for (const Relationship& relationship : relationships)
            byId.emplace(relationship.id, &relationship);
        for (const auto& sheet : workbook.sheets) {
            const auto found = byId.find(sheet.second);
            if (found != byId.end() && hasType(*found->second, "worksheet"))
                m_sheets.push_back({sheet.first, found->second->target});
        }
    }

    const std::vector<SheetEntry>& sheets() const { return m_sheets; }

    /// The sheet a path names: its "#sheet" (the exact name, else one that differs only in
    /// ASCII case), or the first worksheet.
    const SheetEntry& choose(const SheetPath& where) const
    {
        if (m_sheets.empty())
            fail(CsvStatus::WorkbookNoSheet);
        if (!where.hasSheet)
            return m_sheets.front();
        for (const SheetEntry& sheet : m_sheets) {
            if (sheet.name == where.sheet)
                return sheet;
        }
        for (const SheetEntry& sheet : m_sheets) {
            if (equalsIgnoreCase(sheet.name, where.sheet))
                return sheet;
        }
        fail(CsvStatus::WorkbookSheetMissing);
    }

    std::vector<NumberShow> readShows() const
    {
        StylesHandler styles;
        if (const auto index = optionalPart(m_stylesPart))
            parsePart(m_archive, *index, styles);
        return styles.shows();
    }

    PackedStrings readSharedStrings() const
    {
        PackedStrings strings;
        SharedStringsHandler handler(strings);
        if (const auto index = optionalPart(m_stringsPart))
            parsePart(m_archive, *index, handler);
        return strings;
    }

    void readSheet(const SheetEntry& sheet, XmlHandler& handler) const
    {
        const auto index = m_archive.find(sheet.part);
        if (!index)
            fail(CsvStatus::WorkbookBroken);
        parsePart(m_archive, *index, handler);
    }

    bool date1904() const { return m_date1904; }

private:
    std::optional<zip_uint64_t> optionalPart(const std::string& part) const
    {
        return part.empty() ? std::nullopt : m_archive.find(part);
    }

    Archive m_archive;
    bool m_date1904 = false;
    std::vector<SheetEntry> m_sheets;
    std::string m_stringsPart;
    std::string m_stylesPart;
};

} // namespace

std::string formatGeneralNumber(double value)
{
    if (value == 0 || !std::isfinite(value))
        return value == 0 ? "0" : formatText("%g", value);
    // 15 significant digits, correctly rounded: "d.dddddddddddddde+XX".
    char buffer[40];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                      std::chars_format::scientific, 14);
    const std::string_view scientific(buffer, static_cast<std::size_t>(result.ptr - buffer));
    const std::size_t e = scientific.find('e');
    std::string digits(1, scientific[0]);
    digits.append(scientific.substr(2, e - 2));
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
    std::string_view exponentText = scientific.substr(e + 1);
    const bool negativeExponent = exponentText.starts_with('-');
    exponentText.remove_prefix(1); // the sign
    int exponent = 0;
    parseNumber(exponentText, exponent);
    if (negativeExponent)
        exponent = -exponent;

    std::string out = value < 0 ? "-" : "";
    if (exponent >= 21 || exponent < -9) {
        out += digits[0];
        if (digits.size() > 1) {
            out += '.';
            out.append(digits, 1);
        }
        out += formatText("E%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
    } else if (exponent >= 0) {
        const auto whole = static_cast<std::size_t>(exponent) + 1;
        if (digits.size() <= whole) {
            out += digits;
            out.append(whole - digits.size(), '0');
        } else {
            out.append(digits, 0, whole);
            out += '.';
            out.append(digits, whole);
        }
    } else {
        out += "0.";
        out.append(static_cast<std::size_t>(-exponent - 1), '0');
        out += digits;
    }
    return out;
}

CsvStatus openWorkbookRows(const std::string& path, bool trim, std::unique_ptr<RowSource>& source,
                           const RowVisitor& visit, const WorkbookLimits& limits)
{
    source.reset();
    try {
        SheetRows rows;
        {
            const SheetPath where = splitSheetPath(path);
            const Workbook workbook(where.file, limits);
            const SheetEntry& sheet = workbook.choose(where);
            const std::vector<NumberShow> shows = workbook.readShows();
            const PackedStrings strings = workbook.readSharedStrings();
            SheetHandler handler(strings, shows, workbook.date1904(), trim, rows, limits);
            workbook.readSheet(sheet, handler);
        }
        source = std::make_unique<SheetRowSource>(std::move(rows));
        if (visit) {
            const auto cursor = source->rows();
            CsvDataRow row;
            while (cursor->next(row))
                visit(row, source->columns());
        }
        return CsvStatus::Ok;
    } catch (const Failure& failure) {
        source.reset();
        return failure.status;
    } catch (const std::bad_alloc&) {
        source.reset();
        return CsvStatus::OutOfMemory;
    } catch (const std::length_error&) {
        source.reset();
        return CsvStatus::OutOfMemory;
    }
}

std::optional<std::vector<std::string>> workbookSheetNames(const std::string& path,
                                                           CsvStatus* status)
{
    CsvStatus result = CsvStatus::Ok;
    std::optional<std::vector<std::string>> names;
    try {
        const Workbook workbook(splitSheetPath(path).file, WorkbookLimits{});
        names.emplace();
        for (const SheetEntry& sheet : workbook.sheets())
            names->push_back(sheet.name);
    } catch (const Failure& failure) {
        names.reset();
        result = failure.status;
    } catch (const std::bad_alloc&) {
        names.reset();
        result = CsvStatus::OutOfMemory;
    } catch (const std::length_error&) {
        names.reset();
        result = CsvStatus::OutOfMemory;
    }
    if (status)
        *status = result;
    return names;
}

} // namespace torvale
