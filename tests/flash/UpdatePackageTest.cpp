#include "flash/UpdatePackage.h"

#include <gtest/gtest.h>

namespace kdm::flash {

void PrintTo(const PackageRecord &record, std::ostream *os)
{
    *os << "{" << record.kind << "|" << record.file << "|" << record.address << "}";
}

namespace {

using Records = std::vector<PackageRecord>;

TEST(PackageReader, FieldsAreTakenThreeAtATimeWhateverTheLayout)
{
    struct Case {
        const char *name;
        std::string text;
        Records records;
    };
    const Records two{{"download", "a.bin", "0"}, {"download_hex", "b.hex", "&h12345"}};
    for (const Case &c : {
             Case{"one record a line", "download,a.bin,0\r\ndownload_hex,b.hex,&h12345\r\n", two},
             Case{"LF only, no final break", "download,a.bin,0\ndownload_hex,b.hex,&h12345", two},
             Case{"one field a line", "download\na.bin\n0\ndownload_hex\nb.hex\n&h12345\n", two},
             Case{"records across lines", "download,a.bin\n0,download_hex\nb.hex,&h12345\n", two},
             Case{"quoted fields", "\"download\",\"a.bin\",\"0\"\n\"download_hex\",\"b.hex\",&h12345\n", two},
             Case{"blanks around fields", "  download , a.bin ,0\t\n\tdownload_hex,b.hex , &h12345  \n", two},
             Case{"blank lines between", "\r\ndownload,a.bin,0\r\n\r\n   \r\ndownload_hex,b.hex,&h12345\r\n\r\n", two},
             Case{"byte order mark",
                  "\xEF\xBB\xBF"
                  "download,a.bin,0\ndownload_hex,b.hex,&h12345\n",
                  two},
             Case{"empty", "", {}},
             Case{"two fields only", "download,a.bin\n", {}},
             Case{"trailing short record", "download,a.bin,0\ndownload_hex,b.hex\n", {two[0]}},
         }) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(parsePackage(c.text), c.records);
    }
}

TEST(PackageReader, QuotesKeepCommasAndBlanks)
{
    EXPECT_EQ(parsePackage("download,\"images\\a, b.bin\",\" 0 \"\n"),
              (Records{{"download", "images\\a, b.bin", " 0 "}}));
    // Anything after a closing quote up to the comma belongs to no field; an
    // unclosed quote ends with its line.
    EXPECT_EQ(parsePackage("download,\"a.bin\"x,0\ndownload,\"b.bin\n1\n"),
              (Records{{"download", "a.bin", "0"}, {"download", "b.bin", "1"}}));
    // An empty field between commas is a field.
    EXPECT_EQ(parsePackage("download,,0\n"), (Records{{"download", "", "0"}}));
}

TEST(PackageReader, KindsAreComparedExactly)
{
    EXPECT_EQ(recordKind("download"), RecordKind::Download);
    EXPECT_EQ(recordKind("download_hex"), RecordKind::DownloadHex);
    EXPECT_EQ(recordKind("download_hex_prog"), RecordKind::DownloadHexProg);
    EXPECT_EQ(recordKind("download_hex_prog_write"), RecordKind::DownloadHexProgWrite);
    EXPECT_EQ(recordKind("download_hex_short"), RecordKind::DownloadHexShort);
    for (const char *unknown : {"Download", "DOWNLOAD_HEX", "download_bin", "", "download "})
        EXPECT_FALSE(recordKind(unknown)) << unknown;
}

TEST(PackageReader, AddressesInDecimalOrHexadecimal)
{
    struct Case {
        const char *field;
        std::optional<std::uint32_t> address;
    };
    for (const Case &c :
         {Case{"0", 0u}, Case{"950272", 0xE8000u}, Case{"&hE8000", 0xE8000u}, Case{"&He8000", 0xE8000u},
          Case{"&h8000", 0x8000u}, Case{"&hFFFF", 0xFFFFu}, Case{"&hFFFFFF", 0xFFFFFFu}, Case{" &h1F1000 ", 0x1F1000u},
          Case{"&h1000000", std::nullopt}, Case{"16777216", std::nullopt}, Case{"", std::nullopt},
          Case{"&h", std::nullopt}, Case{"0x8000", std::nullopt}, Case{"-1", std::nullopt}, Case{"12abc", std::nullopt},
          Case{"&hG", std::nullopt}, Case{"1e3", std::nullopt}}) {
        EXPECT_EQ(parseAddress(c.field), c.address) << c.field;
    }
}

TEST(PackageReader, ImagePathsAreBelowThePackageFolder)
{
    const std::filesystem::path folder = "/media/update";
    EXPECT_EQ(imagePath(folder, "image.bin"), "/media/update/image.bin");
    EXPECT_EQ(imagePath(folder, "fpga\\main.hex"), "/media/update/fpga/main.hex");
    EXPECT_EQ(imagePath(folder, "\\fpga\\main.hex"), "/media/update/fpga/main.hex");
    EXPECT_EQ(imagePath(folder, "画像/ファーム.bin"), "/media/update/画像/ファーム.bin");
}

} // namespace
} // namespace kdm::flash
