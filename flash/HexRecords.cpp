#include "HexRecords.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <vector>

namespace kdm::flash {

namespace {

constexpr std::uint32_t AddressLimit = 0x7D80;
constexpr std::size_t ShortestLine = 9; // ":", count, address, type: no data at all

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool headIs(std::string_view head, std::string_view wanted)
{
    return std::equal(head.begin(), head.end(), wanted.begin(), wanted.end(),
                      [](char a, char b) { return std::toupper(static_cast<unsigned char>(a)) == b; });
}

bool isDataHead(std::string_view head, HexImageKind kind)
{
    return headIs(head, ":10") || (kind == HexImageKind::Short && headIs(head, ":0E"));
}

std::vector<std::string_view> splitLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
    }
    return lines;
}

} // namespace

std::uint32_t hexFieldValue(std::string_view field)
{
    std::uint32_t value = 0;
    for (char c : field) {
        const int digit = hexDigit(c);
        if (digit < 0)
            break;
        value = (value << 4) | static_cast<std::uint32_t>(digit);
    }
    return value;
}

HexReadResult readHexRecords(std::string_view text, HexImageKind kind, ImageBuffer &buffer)
{
    constexpr std::string_view Utf8Mark = "\xEF\xBB\xBF"; // editors on Windows like to add it
    if (text.substr(0, Utf8Mark.size()) == Utf8Mark)
        text.remove_prefix(Utf8Mark.size());
    HexReadResult result;
    int segment = 0;
    int lineNumber = 0;
    for (std::string_view line : splitLines(text)) {
        ++lineNumber;
        if (line.size() < ShortestLine)
            return {false, "line " + std::to_string(lineNumber) + " is shorter than a record", result.bytesStored};
        const std::string_view head = line.substr(0, 3);
        if (headIs(head, ":02"))
            ++segment;
        std::uint32_t address = hexFieldValue(line.substr(3, 4));
        if (segment != 1 || !isDataHead(head, kind) || address >= AddressLimit)
            continue;
        // Pairs are taken while at least one more character follows them, so the
        // last whole pair of a well-formed record, its checksum, is left out.
        const std::string_view data = line.substr(ShortestLine);
        for (std::size_t pair = 0; pair + 3 <= data.size(); pair += 2) {
            if (address >= buffer.size())
                return {false, "line " + std::to_string(lineNumber) + " writes past the image buffer",
                        result.bytesStored};
            buffer[address++] = static_cast<std::uint8_t>(hexFieldValue(data.substr(pair, 2)));
            ++result.bytesStored;
        }
    }
    return result;
}

HexReadResult readHexRecordFile(const std::filesystem::path &path, HexImageKind kind, ImageBuffer &buffer)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return {false, "cannot open " + path.string()};
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (file.bad())
        return {false, "cannot read " + path.string()};
    return readHexRecords(text, kind, buffer);
}

} // namespace kdm::flash
