#include "FlashDownload.h"

#include "ErasePlan.h"
#include "FlashCommands.h"
#include "ImageFile.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
#include <string>

namespace kdm::flash {

namespace {

// The texts a download shows, in the window's own wording.
constexpr std::string_view EraseText = "Erace";
constexpr std::string_view DownloadText = "Download";
constexpr std::string_view PathSeparator = "  ";
constexpr std::string_view ByteOffsetSuffix = "byte";
constexpr std::string_view DownloadEndText = "Download End";
constexpr std::string_view ChecksumStartText = "check sum start";
constexpr std::string_view WriteOkText = "  Write OK  rom=";
constexpr std::string_view FileSumText = " file=";
constexpr std::string_view WriteErrorText = "Write error  rom=";
constexpr std::string_view FileErrorText = "ファイル オープン\u3000エラー";
// In place of the unit's sum when it never said the sum was ready.
constexpr std::string_view NoAnswerText = "応答なし";

} // namespace

const DownloadStyle UpdateToolStyle{DownloadStyle::Progress::Bar, true, "Check sum="};
const DownloadStyle VideoToolStyle{DownloadStyle::Progress::ByteOffsetText, false, "Chack sum="};

namespace {

constexpr int PauseTicks = 2;
constexpr int ReportsPerProgressStep = 16;
constexpr int ProgressBarTwips = 5000;
// Filler of the last data report past the end of an image: the erased state,
// which programs nothing.
constexpr std::uint8_t Filler = 0xFF;

// Upper-case hexadecimal; `digits` pads with leading zeros.
std::string hex(std::uint32_t value, int digits = 1)
{
    std::array<char, 8> text{};
    const auto end = std::to_chars(text.data(), text.data() + text.size(), value, 16).ptr;
    std::string result(text.data(), end);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](char c) { return c >= 'a' ? char(c - 'a' + 'A') : c; });
    if (result.size() < static_cast<std::size_t>(digits))
        result.insert(0, static_cast<std::size_t>(digits) - result.size(), '0');
    return result;
}

std::string concat(std::initializer_list<std::string_view> parts)
{
    std::string text;
    for (std::string_view part : parts)
        text += part;
    return text;
}

std::uint32_t roundUpToReports(std::uint32_t length)
{
    return (length + ReportDataBytes - 1) / ReportDataBytes * ReportDataBytes;
}

// The image's bytes in order, a few at a time; false when they cannot be had.
using ImageReader = std::function<bool(std::span<std::uint8_t>)>;

// One download's dealings with the unit, holding the link throughout.
class Session {
public:
    Session(DeviceLink &link, DeviceLink::Exclusive &unit, DownloadWindow &window, const DownloadStyle &style,
            const ChecksumWait &wait)
        : m_link(link), m_unit(unit), m_window(window), m_style(style), m_wait(wait)
    {
    }

    void erase(std::uint32_t address, std::uint32_t roundedLength);

    // Announces `byteCount` bytes with FlashWrite and sends them as data
    // reports: `imageLength` bytes from `read`, then filler. Returns the sum of
    // the image bytes, or nullopt when `read` failed; the announced stream is
    // completed with filler even then, so that the unit leaves its data state.
    std::optional<std::uint16_t> stream(std::uint32_t address, std::uint32_t byteCount, std::uint32_t imageLength,
                                        const ImageReader &read, std::string_view path);

    // Asks the unit for its sum over the range and compares it with `imageSum`.
    bool verify(std::uint32_t address, std::uint32_t byteCount, std::uint16_t imageSum);

    void status(std::string_view text) { m_window.setStatus(text); }
    void fileError() { m_window.setStatus(FileErrorText); }

private:
    void send(const CommandBytes8 &command)
    {
        // Through CommandReport, as every command goes: a later command that
        // sets only some bytes sends the rest as this one left them.
        m_link.CommandReport = command;
        m_unit.SendOutputReport(m_link.CommandReport);
    }
    void pause() { m_window.pause(PauseTicks); }
    void showProgress(std::uint32_t offset, std::uint32_t byteCount, int &reportsSinceStep);

    DeviceLink &m_link;
    DeviceLink::Exclusive &m_unit;
    DownloadWindow &m_window;
    const DownloadStyle &m_style;
    const ChecksumWait &m_wait;
};

void Session::erase(std::uint32_t address, std::uint32_t roundedLength)
{
    for (const Erase &erase : erasePlan(address, roundedLength)) {
        const bool block = erase.kind == Erase::Kind::Block;
        send(eraseCommand(block ? Command::BlockErase : Command::SectorErase, erase.address));
        pause();
        m_unit.ReceiveInputReport();
        pause();
        if (block)
            status(EraseText);
    }
}

std::optional<std::uint16_t> Session::stream(std::uint32_t address, std::uint32_t byteCount, std::uint32_t imageLength,
                                             const ImageReader &read, std::string_view path)
{
    status(m_style.pathInStreamText ? concat({path, PathSeparator, DownloadText}) : std::string(DownloadText));
    m_window.processEvents();
    send(rangeCommand(Command::FlashWrite, address, byteCount));

    bool imageReadable = true;
    std::uint16_t sum = 0;
    int reportsSinceStep = 0;
    CommandBytes8 data;
    for (std::uint32_t offset = 0; offset < byteCount; offset += ReportDataBytes) {
        data.fill(Filler);
        const std::uint32_t fromImage = offset < imageLength ? std::min(ReportDataBytes, imageLength - offset) : 0;
        if (imageReadable && fromImage > 0) {
            const std::span<std::uint8_t> bytes(data.data(), fromImage);
            imageReadable = read(bytes);
            if (imageReadable)
                sum = addToSum(sum, bytes);
            else
                data.fill(Filler);
        }
        showProgress(offset, byteCount, reportsSinceStep);
        m_window.processEvents();
        m_unit.SendOutputReport(data);
    }

    pause();
    m_unit.ReceiveInputReport(); // the unit's answer to the whole stream
    pause();
    if (!imageReadable)
        return std::nullopt;
    status(DownloadEndText);
    return sum;
}

void Session::showProgress(std::uint32_t offset, std::uint32_t byteCount, int &reportsSinceStep)
{
    if (m_style.progress == DownloadStyle::Progress::ByteOffsetText) {
        status(concat({hex(offset), ByteOffsetSuffix}));
    } else if (++reportsSinceStep == ReportsPerProgressStep) {
        reportsSinceStep = 0;
        m_window.setProgress(static_cast<int>(std::uint64_t{ProgressBarTwips} * offset / byteCount));
    }
}

bool Session::verify(std::uint32_t address, std::uint32_t byteCount, std::uint16_t imageSum)
{
    send(rangeCommand(Command::FlashChecksum, address, byteCount));
    const auto deadline = m_wait.now() + m_wait.limit;
    ChecksumStatus unitSum;
    do {
        pause();
        m_unit.SendOutputReport(StatusPollReport);
        m_unit.ReceiveInputReport();
        // Taken at once: a refused receive of another window during the next
        // pause clears ReplyReport.
        unitSum = checksumStatus(m_link.ReplyReport());
    } while (!unitSum.ready && m_wait.now() < deadline);

    bool verified = false;
    if (!unitSum.ready) {
        m_window.setVerdict(concat({WriteErrorText, NoAnswerText, FileSumText, hex(imageSum)}));
    } else {
        pause();
        verified = unitSum.sum == imageSum;
        if (verified)
            m_window.setVerdict(concat(
                {m_style.checksumLabel, hex(imageSum, 4), WriteOkText, hex(unitSum.sum), FileSumText, hex(imageSum)}));
        else
            m_window.setVerdict(concat({WriteErrorText, hex(unitSum.sum), FileSumText, hex(imageSum)}));
    }
    m_window.processEvents();
    return verified;
}

// The sum of the first `length` bytes of the file, read afresh; nullopt when
// the file cannot be read or no longer has the length it was written with.
std::optional<std::uint16_t> fileSum(const std::filesystem::path &path, std::uint32_t length)
{
    ImageFile file;
    if (!file.open(path) || file.length() != length)
        return std::nullopt;
    std::array<std::uint8_t, 4096> block;
    std::uint16_t sum = 0;
    for (std::uint32_t done = 0; done < length;) {
        const std::span<std::uint8_t> bytes(block.data(), std::min<std::size_t>(block.size(), length - done));
        if (!file.read(bytes))
            return std::nullopt;
        sum = addToSum(sum, bytes);
        done += static_cast<std::uint32_t>(bytes.size());
    }
    return sum;
}

std::string displayed(const std::filesystem::path &path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

} // namespace

FlashDownload::FlashDownload(DeviceLink &link, DownloadWindow &window, DownloadStyle style, ChecksumWait wait)
    : m_link(link), m_window(window), m_style(style), m_wait(std::move(wait))
{
}

bool FlashDownload::download_f(const std::filesystem::path &path, std::int32_t address)
{
    if (path.empty())
        return false;
    std::optional<DeviceLink::Exclusive> unit = m_link.claimExclusive();
    if (!unit)
        return false;
    Session session(m_link, *unit, m_window, m_style, m_wait);
    const auto start = static_cast<std::uint32_t>(address);

    std::uint32_t length = 0;
    {
        ImageFile file;
        if (!file.open(path) || file.length() == 0) {
            session.fileError();
            return false;
        }
        length = file.length();
        const std::uint32_t rounded = roundUpToReports(length);
        session.erase(start, rounded);
        const ImageReader read = [&file](std::span<std::uint8_t> bytes) { return file.read(bytes); };
        if (!session.stream(start, rounded, length, read, displayed(path))) {
            session.fileError();
            return false;
        }
    }

    session.status(ChecksumStartText);
    m_window.processEvents();
    const std::optional<std::uint16_t> sum = fileSum(path, length);
    if (!sum) {
        session.fileError();
        return false;
    }
    return session.verify(start, length, *sum);
}

bool FlashDownload::bindownload(std::span<const std::uint8_t> imageBuffer, std::string_view path, std::int32_t address)
{
    return downloadBuffer(imageBuffer, FullImageBytes, path, address);
}

bool FlashDownload::bindownload_short(std::span<const std::uint8_t> imageBuffer, std::string_view path,
                                      std::int32_t address)
{
    return downloadBuffer(imageBuffer, ShortImageBytes, path, address);
}

bool FlashDownload::downloadBuffer(std::span<const std::uint8_t> imageBuffer, std::size_t byteCount,
                                   std::string_view path, std::int32_t address)
{
    std::optional<DeviceLink::Exclusive> unit = m_link.claimExclusive();
    if (!unit)
        return false;
    Session session(m_link, *unit, m_window, m_style, m_wait);
    if (imageBuffer.size() < byteCount) {
        session.fileError();
        return false;
    }
    const auto start = static_cast<std::uint32_t>(address);
    const auto count = static_cast<std::uint32_t>(byteCount);

    session.erase(start, count);
    std::size_t next = 0;
    const ImageReader read = [&](std::span<std::uint8_t> bytes) {
        std::copy_n(imageBuffer.begin() + static_cast<std::ptrdiff_t>(next), bytes.size(), bytes.begin());
        next += bytes.size();
        return true;
    };
    const std::optional<std::uint16_t> sum = session.stream(start, count, count, read, path);
    if (!sum) {
        session.fileError();
        return false;
    }
    return session.verify(start, count, *sum);
}

} // namespace kdm::flash
