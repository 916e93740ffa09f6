// Update packages (*.v5b): text records of kind, image file and flash address.
//
// The text is a stream of fields separated by commas or line breaks, taken
// three at a time whatever the line layout. A field may be enclosed in double
// quotes, which are removed and inside which a comma does not separate.
// Packages are written on Windows: image files are named with "\" between
// folders, relative to the package's own folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kdm::flash {

struct PackageRecord {
    std::string kind;
    std::string file;
    std::string address;
    friend bool operator==(const PackageRecord &, const PackageRecord &) = default;
};

enum class RecordKind {
    Download,             // "download": a plain image at the record's address
    DownloadHex,          // "download_hex": a full hex-record image
    DownloadHexProg,      // "download_hex_prog": the same
    DownloadHexProgWrite, // "download_hex_prog_write": the same, then the microcontroller write window
    DownloadHexShort,     // "download_hex_short": a short hex-record image
};

// Splits UTF-8 package text into records. Blanks around an unquoted field are
// not part of it; blank lines separate nothing. A trailing record of fewer
// than three fields is dropped.
std::vector<PackageRecord> parsePackage(std::string_view text);

// The kind named by a record's first field, compared exactly (case included);
// nullopt for a kind the tool does not know, which does nothing.
std::optional<RecordKind> recordKind(std::string_view kind);

// A flash address written in decimal or as "&h" and hexadecimal digits (either
// case), read as an unsigned number. nullopt for anything else, or for a value
// past the unit's 24-bit flash address space.
std::optional<std::uint32_t> parseAddress(std::string_view field);

// Where a record's image file lies: the file field taken relative to the
// package's folder, with "\" read as a folder separator.
std::filesystem::path imagePath(const std::filesystem::path &packageFolder, std::string_view file);

// Why a package cannot be run, and the image it is about.
struct PackageProblem {
    std::filesystem::path image;
    std::string what;
};

// Checks every record before the first command goes to the unit, so that a
// file on the PC never leaves an update half applied: a plain image must be a
// readable, non-empty file and its record must carry a valid address; a
// hex-record image must be readable, must read without error and must supply
// at least one data byte. Records of unknown kinds are not looked at.
std::optional<PackageProblem> checkPackageImages(const std::vector<PackageRecord> &records,
                                                 const std::filesystem::path &packageFolder);

} // namespace kdm::flash
