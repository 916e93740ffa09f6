#include "SimEnvironment.h"

#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace kdm::sim {

namespace {

template <typename Number> std::optional<Number> parseNumber(std::string_view text, int base)
{
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (error != std::errc{} || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

} // namespace

bool simulatorRequested()
{
    const char *value = std::getenv("KDM9_SIMULATOR");
    return value && std::string_view(value) == "1";
}

std::optional<FrameSize> parseFrameSize(std::string_view text)
{
    const std::size_t cross = text.find_first_of("xX");
    if (cross == std::string_view::npos)
        return std::nullopt;
    const auto width = parseNumber<int>(text.substr(0, cross), 10);
    const auto height = parseNumber<int>(text.substr(cross + 1), 10);
    // FrameInfo carries each size in 16 bits.
    if (!width || !height || *width < 0 || *height < 0 || *width > 0xFFFF || *height > 0xFFFF)
        return std::nullopt;
    return FrameSize{*width, *height};
}

std::optional<UsbIdentity> parseIdentity(std::string_view text)
{
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos)
        return std::nullopt;
    const auto vendor = parseNumber<std::uint16_t>(text.substr(0, colon), 16);
    const auto product = parseNumber<std::uint16_t>(text.substr(colon + 1), 16);
    if (!vendor || !product)
        return std::nullopt;
    return UsbIdentity{*vendor, *product};
}

SimSettings settingsFromEnvironment(const std::function<const char *(const char *)> &lookup)
{
    SimSettings settings;
    auto value = [&](const char *name) -> std::optional<std::string_view> {
        const char *text = lookup(name);
        if (!text)
            return std::nullopt;
        return std::string_view(text);
    };
    if (auto trace = value("KDM9_SIM_TRACE"))
        settings.traceFile = *trace;
    if (auto flash = value("KDM9_SIM_FLASH"))
        settings.flashFile = *flash;
    if (auto frame = value("KDM9_SIM_FRAME")) {
        if (auto size = parseFrameSize(*frame))
            settings.frame = *size;
        else
            settings.warnings.push_back("KDM9_SIM_FRAME must be WIDTHxHEIGHT (for example 640x480)");
    }
    if (auto fpga = value("KDM9_SIM_FPGA")) {
        if (auto selection = parseNumber<std::uint8_t>(*fpga, 10))
            settings.fpgaSelection = *selection;
        else
            settings.warnings.push_back("KDM9_SIM_FPGA must be a number from 0 to 255");
    }
    if (auto identity = value("KDM9_SIM_IDENTITY")) {
        if (auto parsed = parseIdentity(*identity))
            settings.options.identity = *parsed;
        else
            settings.warnings.push_back("KDM9_SIM_IDENTITY must be VVVV:PPPP in hexadecimal");
    }
    return settings;
}

SimSettings settingsFromEnvironment()
{
    return settingsFromEnvironment([](const char *name) { return std::getenv(name); });
}

Simulator::Simulator(SimSettings settings) : m_settings(std::move(settings)), m_transport(m_settings.options)
{
    m_transport.unit().setInputFrame(m_settings.frame);
    m_transport.unit().setFpgaSelection(m_settings.fpgaSelection);
    // A long run must not hold every report in memory; the file is the record.
    m_transport.setRecordTrace(false);
    if (!m_settings.traceFile.empty()) {
        m_trace.open(m_settings.traceFile, std::ios::app);
        if (m_trace)
            m_transport.setTraceSink([this](std::string_view line) { m_trace << line << '\n'; });
        else
            m_settings.warnings.push_back("cannot open the trace file " + m_settings.traceFile);
    }
    loadFlash();
}

Simulator::~Simulator()
{
    saveFlash();
}

// A file that exists but is not a 2 MiB image is somebody else's: it is
// neither read nor overwritten.
void Simulator::loadFlash()
{
    if (m_settings.flashFile.empty())
        return;
    std::error_code error;
    const std::filesystem::path path(m_settings.flashFile);
    if (!std::filesystem::exists(path, error)) {
        m_flashFileUsable = true;
        if (!saveFlash())
            m_settings.warnings.push_back("cannot create the flash file " + m_settings.flashFile);
        return;
    }
    if (std::filesystem::file_size(path, error) != SimulatedUnit::FlashSize || error) {
        m_settings.warnings.push_back("the flash file " + m_settings.flashFile +
                                      " is not a 2 MiB image; it is left untouched");
        return;
    }
    std::ifstream file(path, std::ios::binary);
    std::vector<std::uint8_t> &flash = m_transport.unit().flash();
    file.read(reinterpret_cast<char *>(flash.data()), static_cast<std::streamsize>(flash.size()));
    if (!file) {
        std::fill(flash.begin(), flash.end(), std::uint8_t{0xFF});
        m_settings.warnings.push_back("cannot read the flash file " + m_settings.flashFile + "; it is left untouched");
        return;
    }
    m_flashFileUsable = true;
}

bool Simulator::saveFlash()
{
    if (!m_flashFileUsable)
        return false;
    const std::filesystem::path path(m_settings.flashFile);
    std::filesystem::path temporary = path;
    temporary += ".tmp";
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        const std::vector<std::uint8_t> &flash = m_transport.unit().flash();
        file.write(reinterpret_cast<const char *>(flash.data()), static_cast<std::streamsize>(flash.size()));
        file.flush();
        if (!file) {
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            return false;
        }
    }
    std::error_code error;
    std::filesystem::rename(temporary, path, error);
    return !error;
}

} // namespace kdm::sim
