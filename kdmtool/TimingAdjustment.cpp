#include "TimingAdjustment.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

namespace kdmtool {

using kdm::code;
using kdm::Command;

TimingAdjustment::TimingAdjustment(Program &program) : m_program(program) {}

int TimingAdjustment::value(const TimingParameter &parameter) const
{
    const auto &mirror = m_program.TimingMirror;
    const int low = mirror[static_cast<std::size_t>(parameter.lowOffset)];
    if (parameter.highOffset < 0)
        return low;
    return mirror[static_cast<std::size_t>(parameter.highOffset)] * 256 + low;
}

std::optional<std::uint16_t> TimingAdjustment::unitAddress(int offset) const
{
    const int address = m_program.TimingBase + offset;
    if (address > 0xFFFF)
        return std::nullopt;
    return static_cast<std::uint16_t>(address);
}

bool TimingAdjustment::blockAddressable() const
{
    return unitAddress(BlockBytes - 1).has_value();
}

void TimingAdjustment::exchangeGroup(Command command, int offset)
{
    const std::uint16_t address = *unitAddress(offset);
    const auto *group = m_program.TimingMirror.data() + offset;
    kdm::DeviceLink &link = m_program.link;
    link.CommandReport = {code(command),
                          0x00,
                          static_cast<std::uint8_t>(address & 0xFF),
                          static_cast<std::uint8_t>(address >> 8),
                          group[0],
                          group[1],
                          group[2],
                          group[3]};
    link.SendOutputReport(link.CommandReport);
    link.ReceiveInputReport();
}

TimingAdjustment::Change TimingAdjustment::change(const TimingParameter &parameter, int value)
{
    const auto low = static_cast<std::uint8_t>(value & 0xFF);
    const auto high = static_cast<std::uint8_t>((value >> 8) & 0xFF);
    auto &mirror = m_program.TimingMirror;
    const auto lowAt = static_cast<std::size_t>(parameter.lowOffset);
    const bool twoBytes = parameter.highOffset >= 0;
    const auto highAt = static_cast<std::size_t>(parameter.highOffset);

    if (mirror[lowAt] == low && (!twoBytes || mirror[highAt] == high))
        return Change::Unchanged;
    // Nothing goes into the mirror that cannot reach the unit, so the two agree.
    if (!canWrite())
        return Change::Refused;

    mirror[lowAt] = low;
    if (twoBytes)
        mirror[highAt] = high;
    exchangeGroup(Command::TimingWrite, parameter.groupOffset);
    exchangeGroup(Command::TimingWriteEnd, parameter.groupOffset);
    return Change::Written;
}

TimingAdjustment::Opening TimingAdjustment::readFromUnit(const Pause &pause)
{
    kdm::DeviceLink &link = m_program.link;
    link.CommandReport[0] = code(Command::TimingAccess);
    link.CommandReport[1] = 1;
    link.SendOutputReport(link.CommandReport);
    link.ReceiveInputReport();
    bool everyReplyArrived = link.replyArrived();
    const auto &reply = link.ReplyReport();
    m_program.TimingBase = static_cast<std::uint16_t>(reply[1] | (reply[2] << 8));
    if (!blockAddressable())
        return Opening::Unaddressable;

    for (int offset = 0; offset < BlockBytes; offset += ReadBytes) {
        const std::uint16_t address = *unitAddress(offset);
        link.CommandReport[0] = code(Command::TimingRead);
        link.CommandReport[1] = 0x00;
        link.CommandReport[2] = static_cast<std::uint8_t>(address & 0xFF);
        link.CommandReport[3] = static_cast<std::uint8_t>(address >> 8);
        link.SendOutputReport(link.CommandReport);
        link.ReceiveInputReport();
        everyReplyArrived = everyReplyArrived && link.replyArrived();
        std::copy_n(link.ReplyReport().begin() + 1, ReadBytes, m_program.TimingMirror.begin() + offset);
        if (!pause())
            return Opening::Interrupted; // this object may be gone: touch nothing
    }
    return everyReplyArrived ? Opening::Read : Opening::Incomplete;
}

void TimingAdjustment::closeAccess()
{
    kdm::DeviceLink &link = m_program.link;
    link.CommandReport[0] = code(Command::TimingAccess);
    link.CommandReport[1] = 0;
    link.SendOutputReport(link.CommandReport);
    link.ReceiveInputReport();
}

TimingAdjustment::FileRead TimingAdjustment::readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {std::nullopt, QStringLiteral("cannot open %1: %2").arg(path, file.errorString())};
    FileBlock block{};
    const qint64 read = file.read(reinterpret_cast<char *>(block.data()), FileBytesUsed);
    if (read < 0)
        return {std::nullopt, QStringLiteral("cannot read %1: %2").arg(path, file.errorString())};
    if (read < FileBytesUsed)
        return {std::nullopt,
                QStringLiteral("%1 holds %2 bytes, fewer than %3").arg(path).arg(read).arg(FileBytesUsed)};
    return {block, {}};
}

std::optional<QString> TimingAdjustment::saveFile(const QString &path) const
{
    // The dialog hands back its name pattern when the user just confirms it;
    // that is no file name to create.
    if (QFileInfo(path).fileName().contains(QLatin1Char('*')) || QFileInfo(path).fileName().contains(QLatin1Char('?')))
        return QStringLiteral("%1 is a name pattern, not a file name").arg(path);
    QSaveFile file(path);
    // Unbuffered, so that a short write shows here: a buffered one is cut
    // short at commit() without notice and the truncated file put in place.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return QStringLiteral("cannot create %1: %2").arg(path, file.errorString());
    const auto &mirror = m_program.TimingMirror;
    const auto size = static_cast<qint64>(mirror.size());
    if (file.write(reinterpret_cast<const char *>(mirror.data()), size) != size || !file.commit())
        return QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
    return std::nullopt;
}

bool TimingAdjustment::canWrite() const
{
    return blockAddressable() && !m_program.link.isClaimed();
}

TimingAdjustment::Loading TimingAdjustment::writeFileBlock(const std::optional<FileBlock> &block, const Pause &pause)
{
    if (!canWrite())
        return Loading::Refused;
    if (block)
        std::copy(block->begin(), block->end(), m_program.TimingMirror.begin());
    for (int offset = 0; offset < WrittenGroups * GroupBytes; offset += GroupBytes) {
        exchangeGroup(Command::TimingWrite, offset);
        m_unconcludedGroup = offset;
        if (!pause())
            return Loading::Interrupted; // this object may be gone: touch nothing
    }
    return Loading::Written;
}

void TimingAdjustment::concludeWrites()
{
    if (!m_unconcludedGroup)
        return;
    exchangeGroup(Command::TimingWriteEnd, *m_unconcludedGroup);
    m_unconcludedGroup.reset();
}

} // namespace kdmtool
