// Writes arbitrary bytes to a picture file and checks it the way the editor checks a picture the
// user chooses: the header sniffing and the layer and background rules; and the size the row
// check compares with the decoding limits.
#include "fuzz_check.h"
#include "render/picture_input.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include <unistd.h>

namespace {

using torvale::PictureKind;

// A temporary file made once per process and rewritten for every input; removed at exit.
class ScratchFile {
public:
    explicit ScratchFile(const char* suffix)
    {
        const char* folder = std::getenv("TMPDIR");
        std::string pattern =
            std::string(folder && *folder ? folder : "/tmp") + "/torvale-fuzz-XXXXXX" + suffix;
        m_fd = ::mkstemps(pattern.data(), static_cast<int>(std::string_view(suffix).size()));
        if (m_fd < 0) {
            std::perror("mkstemps");
            std::abort();
        }
        m_path = pattern;
    }
    ~ScratchFile()
    {
        ::close(m_fd);
        ::unlink(m_path.c_str());
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    const std::string& path() const { return m_path; }

    void write(const std::uint8_t* data, std::size_t size)
    {
        std::size_t done = 0;
        while (done < size) {
            const ssize_t written = ::pwrite(m_fd, data + done, size - done, done);
            if (written < 0 && errno == EINTR)
                continue;
            FUZZ_CHECK(written > 0);
            done += static_cast<std::size_t>(written);
        }
        FUZZ_CHECK(::ftruncate(m_fd, static_cast<off_t>(size)) == 0);
    }

private:
    int m_fd = -1;
    std::string m_path;
};

bool isEditorFormat(const std::string& format)
{
    return format == "PNG" || format == "JPEG" || format == "GIF";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static ScratchFile png(".png");
    static ScratchFile jpg(".jpg");
    png.write(data, size);
    jpg.write(data, size);

    const auto info = torvale::sniffPicture(png.path());
    if (info) {
        FUZZ_CHECK(info->width > 0 && info->height > 0 && info->byteSize > 0);
        // Only a BMP states its own length; the others report the file's.
        FUZZ_CHECK(info->format == "BMP" || info->byteSize == static_cast<std::int64_t>(size));
        // The full size keeps what the sniffed size cuts off (a PNG's high halves); a TIFF or
        // a PSD is never found cut short (only the other formats have a known end).
        FUZZ_CHECK(info->fullWidth % 65536 == info->width % 65536);
        FUZZ_CHECK(info->fullHeight % 65536 == info->height % 65536);
        FUZZ_CHECK(info->complete || (info->format != "TIFF" && info->format != "PSD"));
        // A picture is never decoded larger than it is, whatever the layer asks for.
        const std::size_t wanted = size == 0 ? 0 : data[size - 1];
        const auto [width, height] = torvale::decodedPictureSize(*info, wanted, wanted / 2 + 1);
        FUZZ_CHECK(width >= 1 && width <= info->fullWidth);
        FUZZ_CHECK(height >= 1 && height <= info->fullHeight);
    }

    // Both names are accepted, so the content alone decides.
    const bool accepted = info && isEditorFormat(info->format);
    FUZZ_CHECK(!torvale::validatePictureFile(png.path(), PictureKind::Layer) == accepted);
    FUZZ_CHECK(!torvale::validatePictureFile(jpg.path(), PictureKind::Background) == accepted);
    return 0;
}
