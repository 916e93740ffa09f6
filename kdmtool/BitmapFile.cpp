#include "BitmapFile.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>
#include <system_error>

namespace kdmtool {

namespace {

constexpr std::uint32_t FileHeaderBytes = 14;
constexpr std::uint32_t InfoHeaderBytes = 40;
constexpr int TemporaryNameAttempts = 100;

class HeaderWriter {
public:
    explicit HeaderWriter(std::array<std::uint8_t, BitmapHeaderBytes> &bytes) : m_bytes(bytes) {}

    HeaderWriter &u16(std::uint32_t value) { return put(value, 2); }
    HeaderWriter &u32(std::uint32_t value) { return put(value, 4); }
    HeaderWriter &s32(std::int32_t value) { return put(static_cast<std::uint32_t>(value), 4); }

private:
    HeaderWriter &put(std::uint32_t value, int bytes)
    {
        for (int i = 0; i < bytes; ++i)
            m_bytes[m_offset++] = static_cast<std::uint8_t>(value >> (8 * i));
        return *this;
    }

    std::array<std::uint8_t, BitmapHeaderBytes> &m_bytes;
    std::size_t m_offset = 0;
};

struct FileCloser {
    void operator()(std::FILE *file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

std::FILE *openFile(const std::filesystem::path &path, const char *mode)
{
#ifdef _WIN32
    const std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
    return _wfopen(path.c_str(), wideMode.c_str());
#else
    return std::fopen(path.c_str(), mode);
#endif
}

// A new file in the target's folder, created exclusively so that nothing of
// anyone else is overwritten; its path goes to `created`.
FileHandle createTemporaryBeside(const std::filesystem::path &target, std::filesystem::path &created)
{
    for (int attempt = 0; attempt < TemporaryNameAttempts; ++attempt) {
        std::filesystem::path candidate = target;
        candidate += ".part" + std::to_string(attempt);
        if (std::FILE *file = openFile(candidate, "wbx")) {
            created = candidate;
            return FileHandle(file);
        }
        if (errno != EEXIST)
            break;
    }
    return nullptr;
}

} // namespace

std::array<std::uint8_t, BitmapHeaderBytes> bitmapHeader(std::int32_t width, std::int32_t height)
{
    const auto pixelBytes = static_cast<std::uint32_t>(width) * static_cast<std::uint32_t>(height) * 3;
    std::array<std::uint8_t, BitmapHeaderBytes> bytes{};
    HeaderWriter(bytes)
        .u16('B' | ('M' << 8))
        .u32(pixelBytes + BitmapHeaderBytes) // file size
        .u16(0)
        .u16(0)
        .u32(BitmapHeaderBytes) // offset of the pixel data
        .u32(InfoHeaderBytes)
        .s32(width)
        .s32(-height) // negative: rows from the top
        .u16(1)       // planes
        .u16(24)      // bits per pixel
        .u32(0)       // no compression
        .u32(0)       // image size, may be 0 when uncompressed
        .s32(BitmapPixelsPerMetre)
        .s32(BitmapPixelsPerMetre)
        .u32(0)  // colours used
        .u32(0); // important colours
    static_assert(FileHeaderBytes + InfoHeaderBytes == BitmapHeaderBytes);
    return bytes;
}

std::filesystem::path withBitmapExtension(const std::filesystem::path &chosen)
{
    auto name = chosen.filename().native();
    if (const auto dot = name.rfind('.'); dot != decltype(name)::npos)
        name.erase(dot);
    std::filesystem::path result = chosen;
    result.replace_filename(std::filesystem::path(name) += ".bmp");
    return result;
}

BitmapWriteOutcome WriteBitmapFile(const std::filesystem::path &file, std::int32_t width, std::int32_t height,
                                   std::span<const std::uint8_t> frameBuffer)
{
    if (width < 0 || height < 0 ||
        frameBuffer.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3)
        return BitmapWriteOutcome::FrameSizeMismatch;

    std::filesystem::path temporary;
    FileHandle out = createTemporaryBeside(file, temporary);
    if (!out)
        return BitmapWriteOutcome::CannotCreate;

    const auto header = bitmapHeader(width, height);
    bool written = std::fwrite(header.data(), 1, header.size(), out.get()) == header.size();
    written = written && std::fwrite(frameBuffer.data(), 1, frameBuffer.size(), out.get()) == frameBuffer.size();
    // Closing flushes what is buffered: a full disk may only show here.
    written = std::fclose(out.release()) == 0 && written;

    std::error_code ignored;
    if (!written) {
        std::filesystem::remove(temporary, ignored);
        return BitmapWriteOutcome::WriteFailed;
    }
    std::error_code renameError;
    std::filesystem::rename(temporary, file, renameError);
    if (renameError) {
        std::filesystem::remove(temporary, ignored);
        return BitmapWriteOutcome::CannotReplace;
    }
    return BitmapWriteOutcome::Written;
}

} // namespace kdmtool
