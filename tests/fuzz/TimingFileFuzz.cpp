// A timing data file's bytes through the timing window's load: the file read,
// then the block put into the mirror and written to the (simulated) unit.
#include "FuzzCheck.h"

#include "devicelink/UnitCommands.h"
#include "kdmtool/Program.h"
#include "kdmtool/TimingAdjustment.h"
#include "sim/SimTransport.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace {

using kdmtool::TimingAdjustment;

class NoDialogs final : public kdm::ui::FileDialogs {
public:
    QString documentsFolder() override { return {}; }
    QString openFile(QWidget *, const kdm::ui::FileDialogRequest &) override { return {}; }
    QString saveFile(QWidget *, const kdm::ui::FileDialogRequest &) override { return {}; }
};

// What lives for the whole fuzzing run: the application the tick timer needs,
// the folder of the file, and the unit on its link.
struct Session {
    Session(int &argc, char **argv) : application(argc, argv)
    {
        KDM_FUZZ_CHECK(folder.isValid());
        transport.setRecordTrace(false);
    }

    static kdm::sim::SimTransport::Options quickUnit()
    {
        kdm::sim::SimTransport::Options options;
        options.realTimeouts = false;
        return options;
    }

    QCoreApplication application;
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("vomo5_syc.bin"));
    kdm::sim::SimTransport transport{quickUnit()};
    kdm::DeviceLink link{transport, kdm::KdmtoolIdentities};
    kdm::ui::TickTimer ticks;
    NoDialogs dialogs;
};

Session *session = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static Session instance(*argc, *argv);
    session = &instance;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    {
        QFile file(session->path);
        KDM_FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        KDM_FUZZ_CHECK(file.write(reinterpret_cast<const char *>(data), static_cast<qint64>(size)) ==
                       static_cast<qint64>(size));
    }
    const TimingAdjustment::FileRead read = TimingAdjustment::readFile(session->path);
    // A file shorter than the block gives nothing; a longer one its first 256 bytes.
    KDM_FUZZ_CHECK(read.block.has_value() == (size >= TimingAdjustment::FileBytesUsed));
    KDM_FUZZ_CHECK(read.block.has_value() == read.error.isEmpty());
    if (!read.block)
        return 0;
    KDM_FUZZ_CHECK(std::equal(read.block->begin(), read.block->end(), data));

    // The window opened (the block read from the unit), then the file loaded.
    kdmtool::Program program{session->link, session->ticks, session->dialogs, [] {}};
    TimingAdjustment timing(program);
    const TimingAdjustment::Pause goOn = [] { return true; };
    KDM_FUZZ_CHECK(timing.readFromUnit(goOn) == TimingAdjustment::Opening::Read);
    const auto opened = program.TimingMirror;
    const kdm::sim::SimulatedUnit &unit = session->transport.unit();
    const int writeEnds = unit.timingWriteEnds();

    KDM_FUZZ_CHECK(timing.writeFileBlock(read.block, goOn) == TimingAdjustment::Loading::Written);
    timing.concludeWrites();

    // The mirror holds the file's 256 bytes; its last byte is not the file's.
    KDM_FUZZ_CHECK(std::equal(read.block->begin(), read.block->end(), program.TimingMirror.begin()));
    KDM_FUZZ_CHECK(program.TimingMirror.back() == opened.back());
    // The unit holds the file's first 76 bytes, the block's rest as it was, and one conclusion.
    const int written = TimingAdjustment::WrittenGroups * TimingAdjustment::GroupBytes;
    for (int k = 0; k < TimingAdjustment::BlockBytes; ++k) {
        const auto offset = static_cast<std::size_t>(k);
        const std::uint8_t expected = k < written ? (*read.block)[offset] : opened[offset];
        KDM_FUZZ_CHECK(unit.timingRegister(static_cast<std::uint16_t>(program.TimingBase + k)) == expected);
    }
    KDM_FUZZ_CHECK(unit.timingWriteEnds() == writeEnds + 1);
    return 0;
}
