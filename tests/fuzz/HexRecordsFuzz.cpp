// The hex-record reader on arbitrary text, for both image kinds.
#include "FuzzCheck.h"

#include "flash/HexRecords.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

using kdm::flash::HexImageKind;
using kdm::flash::ImageBuffer;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    constexpr std::uint8_t Untouched = 0xA5;
    for (const HexImageKind kind : {HexImageKind::Full, HexImageKind::Short}) {
        // On the heap at its exact size, so that a byte stored past its end is caught.
        auto buffer = std::make_unique<ImageBuffer>();
        buffer->fill(Untouched);
        const kdm::flash::HexReadResult result = readHexRecords(text, kind, *buffer);

        KDM_FUZZ_CHECK(result.ok == result.problem.empty());
        // Every data byte takes two characters of its record.
        KDM_FUZZ_CHECK(result.bytesStored <= size / 2);
        // Bytes the text does not supply keep what the buffer held.
        const auto changed =
            std::count_if(buffer->begin(), buffer->end(), [](std::uint8_t b) { return b != Untouched; });
        KDM_FUZZ_CHECK(static_cast<std::size_t>(changed) <= result.bytesStored);
    }
    return 0;
}
