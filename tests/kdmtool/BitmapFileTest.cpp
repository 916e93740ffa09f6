#include "kdmtool/BitmapFile.h"

#include <QColor>
#include <QImage>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <iterator>
#include <sys/resource.h>
#include <vector>

namespace kdmtool {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> fileBytes(const fs::path &file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeText(const fs::path &file, const std::string &text)
{
    std::ofstream(file, std::ios::binary) << text;
}

std::int64_t field(const std::vector<std::uint8_t> &bytes, std::size_t offset, int size)
{
    std::uint32_t value = 0;
    for (int i = 0; i < size; ++i)
        value |= std::uint32_t(bytes[offset + std::size_t(i)]) << (8 * i);
    return size == 4 ? std::int64_t(std::int32_t(value)) : std::int64_t(value);
}

std::vector<fs::path> folderContents(const fs::path &folder)
{
    std::vector<fs::path> names;
    for (const auto &entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename());
    return names;
}

// A 12 x 3 frame whose every byte differs from its neighbours'.
std::vector<std::uint8_t> smallFrame()
{
    std::vector<std::uint8_t> frame(12 * 3 * 3);
    for (std::size_t i = 0; i < frame.size(); ++i)
        frame[i] = static_cast<std::uint8_t>(i * 5 + 1);
    return frame;
}

TEST(BitmapFile, HeaderFields)
{
    struct Field {
        std::size_t offset;
        int size;
        std::int64_t value;
    };
    const auto header = bitmapHeader(640, 480);
    const std::vector<std::uint8_t> bytes(header.begin(), header.end());
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[1], 'M');
    for (const Field &f : {Field{2, 4, 921654}, Field{6, 2, 0}, Field{8, 2, 0}, Field{10, 4, 54}, Field{14, 4, 40},
                           Field{18, 4, 640}, Field{22, 4, -480}, Field{26, 2, 1}, Field{28, 2, 24}, Field{30, 4, 0},
                           Field{34, 4, 0}, Field{38, 4, 3780}, Field{42, 4, 3780}, Field{46, 4, 0}, Field{50, 4, 0}})
        EXPECT_EQ(field(bytes, f.offset, f.size), f.value) << "offset " << f.offset;
}

TEST(BitmapFile, WritesHeadersAndFrameBufferByteForByteAndReadsBackTopDown)
{
    QTemporaryDir folder;
    const fs::path file = fs::path(folder.path().toStdString()) / "frame.bmp";
    const std::vector<std::uint8_t> frame = smallFrame();

    ASSERT_EQ(WriteBitmapFile(file, 12, 3, frame), BitmapWriteOutcome::Written);

    const std::vector<std::uint8_t> bytes = fileBytes(file);
    ASSERT_EQ(bytes.size(), 54u + frame.size());
    const auto header = bitmapHeader(12, 3);
    EXPECT_TRUE(std::equal(header.begin(), header.end(), bytes.begin()));
    EXPECT_EQ(field(bytes, 2, 4), std::int64_t(bytes.size()));
    EXPECT_EQ(field(bytes, 22, 4), -3);
    EXPECT_TRUE(std::equal(frame.begin(), frame.end(), bytes.begin() + 54));
    EXPECT_EQ(folderContents(file.parent_path()), std::vector<fs::path>{"frame.bmp"}); // nothing left beside it

    // An independent reader sees the first row of the buffer at the top.
    const QImage image(QString::fromStdString(file.string()));
    ASSERT_FALSE(image.isNull());
    ASSERT_EQ(image.size(), QSize(12, 3));
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 12; ++x) {
            const std::size_t at = std::size_t(y * 12 + x) * 3;
            EXPECT_EQ(image.pixelColor(x, y), QColor(frame[at + 2], frame[at + 1], frame[at])) << x << ", " << y;
        }
    }
}

TEST(BitmapFile, ReplacesAnEarlierFileCompletely)
{
    QTemporaryDir folder;
    const fs::path file = fs::path(folder.path().toStdString()) / "frame.bmp";
    writeText(file, std::string(5000, 'x'));

    ASSERT_EQ(WriteBitmapFile(file, 12, 3, smallFrame()), BitmapWriteOutcome::Written);
    EXPECT_EQ(fs::file_size(file), 54u + smallFrame().size());
}

TEST(BitmapFile, FailedWritesLeaveNoFileBehindAndTheEarlierFileIntact)
{
    QTemporaryDir folder;
    const fs::path root(folder.path().toStdString());
    const fs::path existing = root / "kept.bmp";
    writeText(existing, "earlier picture");

    // No such folder: nothing can be created.
    EXPECT_EQ(WriteBitmapFile(root / "missing" / "x.bmp", 12, 3, smallFrame()), BitmapWriteOutcome::CannotCreate);

    // The target is a folder: the finished file cannot take its place.
    fs::create_directory(root / "taken.bmp");
    EXPECT_EQ(WriteBitmapFile(root / "taken.bmp", 12, 3, smallFrame()), BitmapWriteOutcome::CannotReplace);
    EXPECT_TRUE(fs::is_directory(root / "taken.bmp"));

    // A buffer that does not match the size is not written at all.
    EXPECT_EQ(WriteBitmapFile(existing, 16, 3, smallFrame()), BitmapWriteOutcome::FrameSizeMismatch);

    // The disk fills up in the middle of the pixel data: files may not grow past 1000 bytes.
    {
        rlimit saved{};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = saved;
        limited.rlim_cur = 1000;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
        const std::vector<std::uint8_t> large(64 * 64 * 3, 0x77);
        const BitmapWriteOutcome outcome = WriteBitmapFile(existing, 64, 64, large);
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);
        EXPECT_EQ(outcome, BitmapWriteOutcome::WriteFailed);
    }

    std::ifstream kept(existing);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "earlier picture");
    std::vector<fs::path> left = folderContents(root);
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<fs::path>{"kept.bmp", "taken.bmp"}));
}

TEST(BitmapFile, ExtensionIsForcedOnTheFileNameOnly)
{
    struct Case {
        const char *chosen;
        const char *saved;
    };
    for (const Case &c : {
             Case{"/home/u/picture", "/home/u/picture.bmp"},
             Case{"/home/u/picture.bmp", "/home/u/picture.bmp"},
             Case{"/home/u/picture.BMP", "/home/u/picture.bmp"},
             Case{"/home/u/picture.jpg", "/home/u/picture.bmp"},
             Case{"/home/u/picture.tar.gz", "/home/u/picture.tar.bmp"},
             Case{"/home/u/picture.", "/home/u/picture.bmp"},
             Case{"/home/u/my.pictures/shot", "/home/u/my.pictures/shot.bmp"},
             Case{"/a.b/c.d/shot", "/a.b/c.d/shot.bmp"},
             Case{"shot", "shot.bmp"},
         })
        EXPECT_EQ(withBitmapExtension(c.chosen), fs::path(c.saved)) << c.chosen;
}

} // namespace
} // namespace kdmtool
