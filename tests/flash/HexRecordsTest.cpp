#include "flash/HexRecords.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <numeric>

namespace kdm::flash {
namespace {

// One well-formed record: count, address, type, data, checksum.
std::string record(std::uint16_t address, const std::vector<std::uint8_t> &data, std::uint8_t type = 0)
{
    char text[16];
    std::snprintf(text, sizeof text, ":%02X%04X%02X", unsigned(data.size()), unsigned(address), unsigned(type));
    std::string line = text;
    unsigned sum = unsigned(data.size()) + (address >> 8) + (address & 0xFF) + type;
    for (std::uint8_t byte : data) {
        std::snprintf(text, sizeof text, "%02X", unsigned(byte));
        line += text;
        sum += byte;
    }
    std::snprintf(text, sizeof text, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
    return line + text;
}

std::vector<std::uint8_t> counting(std::size_t count, std::uint8_t first)
{
    std::vector<std::uint8_t> bytes(count);
    std::iota(bytes.begin(), bytes.end(), first);
    return bytes;
}

const std::string Segment = ":020000040000FA"; // extended linear address: opens (or closes) a segment
const std::string EndOfFile = ":00000001FF";

std::string lines(std::initializer_list<std::string> records, std::string_view lineBreak = "\r\n")
{
    std::string text;
    for (const std::string &line : records)
        text += line + std::string(lineBreak);
    return text;
}

class HexRecordsTest : public testing::Test {
protected:
    HexRecordsTest() { buffer.fill(0xAA); } // what an earlier image left
    ImageBuffer buffer;
};

TEST_F(HexRecordsTest, OnlyDataRecordsOfTheFirstSegmentAreStored)
{
    const std::string text = lines({record(0x0000, counting(16, 0x01)), Segment, record(0x0010, counting(16, 0x11)),
                                    Segment, record(0x0020, counting(16, 0x21)), EndOfFile});
    const HexReadResult result = readHexRecords(text, HexImageKind::Full, buffer);
    ASSERT_TRUE(result) << result.problem;
    EXPECT_EQ(result.bytesStored, 16u);
    EXPECT_EQ(buffer[0x00], 0xAA); // before the first segment
    EXPECT_EQ(buffer[0x10], 0x11);
    EXPECT_EQ(buffer[0x1F], 0x20);
    EXPECT_EQ(buffer[0x20], 0xAA); // from the second segment on
}

TEST_F(HexRecordsTest, FileWithoutSegmentStoresNothing)
{
    const HexReadResult result =
        readHexRecords(lines({record(0x0000, counting(16, 1)), EndOfFile}), HexImageKind::Full, buffer);
    ASSERT_TRUE(result);
    EXPECT_EQ(result.bytesStored, 0u);
    EXPECT_EQ(buffer[0], 0xAA);
}

TEST_F(HexRecordsTest, RecordsStartingAtOrAbove7D80AreIgnored)
{
    struct Case {
        std::uint16_t address;
        bool stored;
    };
    for (const Case &c :
         {Case{0x7D78, true}, Case{0x7D7F, true}, Case{0x7D80, false}, Case{0x8000, false}, Case{0xFFF0, false}}) {
        SCOPED_TRACE(testing::Message() << std::hex << c.address);
        buffer.fill(0xAA);
        const std::string text = lines({Segment, record(c.address, counting(16, 1))});
        ASSERT_TRUE(readHexRecords(text, HexImageKind::Full, buffer));
        if (c.stored) {
            // A record that starts below the limit fills its bytes beyond it too.
            EXPECT_EQ(buffer[c.address], 1);
            EXPECT_EQ(buffer[c.address + 15u], 16);
        } else {
            EXPECT_EQ(std::count(buffer.begin(), buffer.end(), 0xAA), long(buffer.size()));
        }
    }
}

TEST_F(HexRecordsTest, FourteenByteRecordsBelongToShortImagesOnly)
{
    const std::string text = lines({Segment, record(0x0100, counting(14, 0x40)), record(0x0200, counting(16, 0x60))});
    ImageBuffer full = buffer;
    ASSERT_TRUE(readHexRecords(text, HexImageKind::Full, full));
    EXPECT_EQ(full[0x100], 0xAA);
    EXPECT_EQ(full[0x200], 0x60);

    ImageBuffer shortImage = buffer;
    const HexReadResult result = readHexRecords(text, HexImageKind::Short, shortImage);
    ASSERT_TRUE(result);
    EXPECT_EQ(result.bytesStored, 30u);
    EXPECT_EQ(shortImage[0x100], 0x40);
    EXPECT_EQ(shortImage[0x10D], 0x4D);
    EXPECT_EQ(shortImage[0x10E], 0xAA);
}

TEST_F(HexRecordsTest, DataBytesAreCountedFromTheLineNotItsCountField)
{
    // One extra character after the checksum: the checksum is taken as a 17th byte.
    const std::string extra = record(0x0000, counting(16, 1)) + "7";
    const std::uint8_t checksum = static_cast<std::uint8_t>(hexFieldValue(extra.substr(41, 2)));
    // A count field that lies: ":10" with only four data bytes.
    std::string lying = record(0x0040, counting(4, 0x51));
    lying[1] = '1', lying[2] = '0';
    ASSERT_TRUE(readHexRecords(lines({Segment, extra, lying}), HexImageKind::Full, buffer));
    EXPECT_EQ(buffer[15], 16);
    EXPECT_EQ(buffer[16], checksum);
    EXPECT_EQ(buffer[17], 0xAA);
    EXPECT_EQ(buffer[0x43], 0x54);
    EXPECT_EQ(buffer[0x44], 0xAA);
}

TEST_F(HexRecordsTest, LineEndingsAndLetterCaseMakeNoDifference)
{
    std::string lower = record(
        0x0000, {0xAB, 0xCD, 0xEF, 0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F, 0x6A, 0x7B, 0x8C, 0x9D, 0xAE, 0xBF, 0xCA});
    for (char &c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    ImageBuffer expected = buffer;
    ASSERT_TRUE(readHexRecords(lines({Segment, lower}, "\r\n"), HexImageKind::Full, expected));
    EXPECT_EQ(expected[0], 0xAB);
    for (std::string_view lineBreak : {"\n", "\r"}) {
        ImageBuffer other = buffer;
        ASSERT_TRUE(readHexRecords(lines({Segment, lower}, lineBreak), HexImageKind::Full, other));
        EXPECT_EQ(other, expected);
    }
    ImageBuffer marked = buffer;
    ASSERT_TRUE(readHexRecords("\xEF\xBB\xBF" + lines({Segment, lower}), HexImageKind::Full, marked));
    EXPECT_EQ(marked, expected);
}

TEST_F(HexRecordsTest, NonHexCharactersValueTheDigitsBeforeThem)
{
    EXPECT_EQ(hexFieldValue("1Z"), 0x1u);
    EXPECT_EQ(hexFieldValue("G0"), 0x0u);
    EXPECT_EQ(hexFieldValue("00G0"), 0x0u);
    EXPECT_EQ(hexFieldValue("01 0"), 0x01u);
    EXPECT_EQ(hexFieldValue("7d78"), 0x7D78u);
    // A damaged record is read, not refused: address "0G10" is 0, data "Z1" is 0.
    const std::string text = lines({Segment, ":100G1000Z1020304050607080910111213141516FF"});
    ASSERT_TRUE(readHexRecords(text, HexImageKind::Full, buffer));
    EXPECT_EQ(buffer[0], 0x00);
    EXPECT_EQ(buffer[1], 0x02);
}

TEST_F(HexRecordsTest, ShortLineOrByteOutsideTheBufferEndsTheReader)
{
    struct Case {
        const char *name;
        std::string text;
    };
    std::string runaway = ":107D7000";
    for (int i = 0; i < 700; ++i)
        runaway += "77";
    runaway += "00";
    for (const Case &c : {Case{"empty line", lines({Segment, record(0, counting(16, 1)), "", record(0x20, {1})})},
                          Case{"eight characters", lines({Segment, record(0, counting(16, 1)), ":1000000"})},
                          Case{"past the buffer", lines({Segment, record(0, counting(16, 1)), runaway})}}) {
        SCOPED_TRACE(c.name);
        buffer.fill(0xAA);
        const HexReadResult result = readHexRecords(c.text, HexImageKind::Full, buffer);
        EXPECT_FALSE(result);
        EXPECT_FALSE(result.problem.empty());
        EXPECT_EQ(buffer[0], 1); // what was stored before the failure stays
    }
    EXPECT_EQ(buffer[0x7FFF], 0x77); // the runaway record filled the buffer up to its end
}

TEST_F(HexRecordsTest, LaterImageLeavesWhatItDoesNotCover)
{
    ASSERT_TRUE(readHexRecords(lines({Segment, record(0, counting(16, 1)), record(0x10, counting(16, 0x11))}),
                               HexImageKind::Full, buffer));
    ASSERT_TRUE(readHexRecords(lines({Segment, record(0, counting(16, 0x81))}), HexImageKind::Full, buffer));
    EXPECT_EQ(buffer[0], 0x81);
    EXPECT_EQ(buffer[0x10], 0x11); // from the first image, sent again with the second
}

TEST_F(HexRecordsTest, MissingFileIsAFailure)
{
    const HexReadResult result = readHexRecordFile("/nonexistent/image.hex", HexImageKind::Full, buffer);
    EXPECT_FALSE(result);
    EXPECT_EQ(buffer[0], 0xAA);
}

} // namespace
} // namespace kdm::flash
