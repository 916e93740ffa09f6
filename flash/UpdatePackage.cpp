#include "UpdatePackage.h"

#include "HexRecords.h"
#include "ImageFile.h"

#include <array>
#include <charconv>
#include <memory>
#include <utility>

namespace kdm::flash {

namespace {

constexpr std::uint32_t LastFlashAddress = 0xFFFFFF;

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// The fields of one line. Text after a closing quote, up to the next comma,
// belongs to no field; a quote left open ends with the line.
void appendFields(std::string_view line, std::vector<std::string> &fields)
{
    std::size_t pos = 0;
    while (true) {
        while (pos < line.size() && isBlank(line[pos]))
            ++pos;
        std::string field;
        std::size_t comma;
        if (pos < line.size() && line[pos] == '"') {
            const std::size_t close = line.find('"', pos + 1);
            field = line.substr(pos + 1, close == std::string_view::npos ? std::string_view::npos : close - pos - 1);
            comma = close == std::string_view::npos ? std::string_view::npos : line.find(',', close + 1);
        } else {
            comma = line.find(',', pos);
            field = trimmed(line.substr(pos, comma == std::string_view::npos ? std::string_view::npos : comma - pos));
        }
        fields.push_back(std::move(field));
        if (comma == std::string_view::npos)
            return;
        pos = comma + 1;
    }
}

} // namespace

std::vector<PackageRecord> parsePackage(std::string_view text)
{
    constexpr std::string_view Utf8Mark = "\xEF\xBB\xBF";
    if (text.substr(0, Utf8Mark.size()) == Utf8Mark)
        text.remove_prefix(Utf8Mark.size());

    std::vector<std::string> fields;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view line = text.substr(start, end - start);
        // A blank line would otherwise read as one empty field and shift every
        // later record by a field, so that records are silently skipped.
        if (!trimmed(line).empty())
            appendFields(line, fields);
        start = end + ((end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') ? 2 : 1);
    }

    std::vector<PackageRecord> records;
    for (std::size_t i = 0; i + 3 <= fields.size(); i += 3)
        records.push_back({std::move(fields[i]), std::move(fields[i + 1]), std::move(fields[i + 2])});
    return records;
}

std::optional<RecordKind> recordKind(std::string_view kind)
{
    static constexpr std::array<std::pair<std::string_view, RecordKind>, 5> kinds{{
        {"download", RecordKind::Download},
        {"download_hex", RecordKind::DownloadHex},
        {"download_hex_prog", RecordKind::DownloadHexProg},
        {"download_hex_prog_write", RecordKind::DownloadHexProgWrite},
        {"download_hex_short", RecordKind::DownloadHexShort},
    }};
    for (const auto &[name, value] : kinds) {
        if (name == kind)
            return value;
    }
    return std::nullopt;
}

std::optional<std::uint32_t> parseAddress(std::string_view field)
{
    field = trimmed(field);
    int base = 10;
    if (field.size() >= 2 && field[0] == '&' && (field[1] == 'h' || field[1] == 'H')) {
        field.remove_prefix(2);
        base = 16;
    }
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value, base);
    if (field.empty() || error != std::errc{} || end != field.data() + field.size() || value > LastFlashAddress)
        return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

std::filesystem::path imagePath(const std::filesystem::path &packageFolder, std::string_view file)
{
    std::u8string relative;
    for (char c : file)
        relative.push_back(static_cast<char8_t>(c == '\\' ? '/' : c));
    // The file is always below the package's folder, even when named with a leading separator.
    const std::size_t first = relative.find_first_not_of(u8'/');
    relative.erase(0, first == std::u8string::npos ? relative.size() : first);
    return packageFolder / std::filesystem::path(relative);
}

namespace {

std::optional<std::string> plainImageProblem(const std::filesystem::path &path)
{
    ImageFile file;
    if (!file.open(path))
        return "cannot open the image";
    if (file.length() == 0)
        return "the image is empty";
    std::vector<std::uint8_t> bytes(file.length());
    if (!file.read(bytes))
        return "cannot read the image";
    return std::nullopt;
}

std::optional<std::string> hexImageProblem(const std::filesystem::path &path, HexImageKind kind)
{
    auto scratch = std::make_unique<ImageBuffer>(); // the program's own buffer is not touched
    const HexReadResult result = readHexRecordFile(path, kind, *scratch);
    if (!result)
        return result.problem;
    if (result.bytesStored == 0)
        return "the image has no data records in its first address segment";
    return std::nullopt;
}

} // namespace

std::optional<PackageProblem> checkPackageImages(const std::vector<PackageRecord> &records,
                                                 const std::filesystem::path &packageFolder)
{
    for (const PackageRecord &record : records) {
        const std::optional<RecordKind> kind = recordKind(record.kind);
        if (!kind)
            continue;
        const std::filesystem::path image = imagePath(packageFolder, record.file);
        std::optional<std::string> problem;
        switch (*kind) {
        case RecordKind::Download:
            problem = parseAddress(record.address) ? plainImageProblem(image)
                                                   : "the address \"" + record.address + "\" is no flash address";
            break;
        case RecordKind::DownloadHex:
        case RecordKind::DownloadHexProg:
        case RecordKind::DownloadHexProgWrite:
            problem = hexImageProblem(image, HexImageKind::Full);
            break;
        case RecordKind::DownloadHexShort:
            problem = hexImageProblem(image, HexImageKind::Short);
            break;
        }
        if (problem)
            return PackageProblem{image, *problem};
    }
    return std::nullopt;
}

} // namespace kdm::flash
