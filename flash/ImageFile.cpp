#include "ImageFile.h"

#include <algorithm>
#include <system_error>

namespace kdm::flash {

bool ImageFile::open(const std::filesystem::path &path)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return false;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (error)
        return false;
    m_file.open(path, std::ios::binary);
    if (!m_file)
        return false;
    m_length = static_cast<std::uint32_t>(std::min<std::uintmax_t>(size, MaxImageBytes));
    return true;
}

bool ImageFile::read(std::span<std::uint8_t> bytes)
{
    m_file.read(reinterpret_cast<char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return m_file && static_cast<std::size_t>(m_file.gcount()) == bytes.size();
}

} // namespace kdm::flash
