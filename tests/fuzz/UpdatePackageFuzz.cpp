// An update package's bytes as the update tool takes them: decoded (UTF-8 or
// Shift-JIS), split into records, each record's kind, address and image path.
#include "FuzzCheck.h"

#include "flash/UpdatePackage.h"
#include "kdmupdate/PackageText.h"

#include <QByteArray>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace {

// Well-formed UTF-8: shortest forms only, no surrogates, nothing past U+10FFFF.
bool isUtf8(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const int length = lead < 0x80                    ? 1
                           : lead >= 0xC2 && lead <= 0xDF ? 2
                           : lead >= 0xE0 && lead <= 0xEF ? 3
                           : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                          : 0;
        if (length == 0 || text.size() - i < static_cast<std::size_t>(length))
            return false;
        char32_t code = length == 1 ? lead : lead & (0x7F >> length);
        for (int k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
            if ((next & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (next & 0x3F);
        }
        const char32_t shortest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < shortest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += static_cast<std::size_t>(length);
    }
    return true;
}

std::string hexAddress(std::uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "&H%X", value);
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const std::string text = kdmupdate::decodePackageText(bytes);
    KDM_FUZZ_CHECK(isUtf8(text));
    // A package that is UTF-8 already is taken as it is (an initial byte order mark aside).
    const std::string_view raw(bytes.constData(), size);
    if (isUtf8(raw)) {
        const std::string_view mark = "\xEF\xBB\xBF";
        KDM_FUZZ_CHECK(text == (raw.substr(0, 3) == mark ? raw.substr(3) : raw));
    }

    const std::filesystem::path folder = "/packages/kdm9";
    for (const kdm::flash::PackageRecord &record : kdm::flash::parsePackage(text)) {
        // Line breaks separate fields, even inside a quote left open.
        for (const std::string *field : {&record.kind, &record.file, &record.address})
            KDM_FUZZ_CHECK(field->find_first_of("\r\n") == std::string::npos);

        (void)kdm::flash::recordKind(record.kind);

        if (const std::optional<std::uint32_t> address = kdm::flash::parseAddress(record.address)) {
            KDM_FUZZ_CHECK(*address <= 0xFFFFFF);
            KDM_FUZZ_CHECK(kdm::flash::parseAddress(std::to_string(*address)) == address);
            KDM_FUZZ_CHECK(kdm::flash::parseAddress(hexAddress(*address)) == address);
        }

        // An image always lies below the package's folder, never at the root.
        const std::filesystem::path image = kdm::flash::imagePath(folder, record.file);
        KDM_FUZZ_CHECK(std::mismatch(folder.begin(), folder.end(), image.begin(), image.end()).first == folder.end());
    }
    return 0;
}
