// The simulated unit's input picture: colour bars over the upper three
// quarters with a gentle vertical gradient, a grey ramp below. Every pixel is
// a function of its position, so a capture can be checked pixel for pixel; the
// unlit components of a bar carry the low bits of x and y, so a pixel shifted
// by one column or split wrongly across reports never looks right.
#pragma once

#include <cstdint>

namespace kdm::sim {

struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    friend constexpr bool operator==(const Rgb &, const Rgb &) = default;
};

// `scene` rotates the bars, so stored images can be told from the live picture.
constexpr Rgb testPicture(int x, int y, int width, int height, int scene = 0)
{
    if (width <= 0 || height <= 0)
        return {};
    if (y < height * 3 / 4) {
        // white, yellow, cyan, green, magenta, red, blue, black (bit 2 red, bit 1 green, bit 0 blue)
        constexpr std::uint8_t bars[8] = {7, 6, 3, 2, 5, 4, 1, 0};
        const int bar = (static_cast<long long>(x) * 8 / width + scene) % 8;
        const auto level = static_cast<std::uint8_t>(255 - (static_cast<long long>(y) * 64) / height);
        const std::uint8_t lit = bars[bar < 0 ? bar + 8 : bar];
        return {(lit & 4) ? level : static_cast<std::uint8_t>(x & 0x1F),
                (lit & 2) ? level : static_cast<std::uint8_t>(y & 0x1F),
                (lit & 1) ? level : static_cast<std::uint8_t>((x + y) & 0x1F)};
    }
    const auto v = static_cast<std::uint8_t>(width > 1 ? static_cast<long long>(x) * 255 / (width - 1) : 0);
    return {v, v, static_cast<std::uint8_t>(255 - v)};
}

} // namespace kdm::sim
