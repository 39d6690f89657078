#pragma once
// The one request of a console run: the command word with its values and the
// switches that fill in its parameters, as the argument parser leaves them for
// the command dispatcher.

#include <cstdint>
#include <optional>
#include <string>

namespace cmdline {

// One bit per command word.
namespace command_bit {
constexpr uint32_t kAutomount = 1u << 20;
constexpr uint32_t kCreateLangFile = 1u << 21;
constexpr uint32_t kCreate = 1u << 22;
constexpr uint32_t kHelp = 1u << 23;
constexpr uint32_t kConvert = 1u << 24;
constexpr uint32_t kExtract = 1u << 25;
constexpr uint32_t kList = 1u << 26;
constexpr uint32_t kListDrives = 1u << 27;
constexpr uint32_t kSetDriveCount = 1u << 28;
constexpr uint32_t kUnmountAll = 1u << 29;
constexpr uint32_t kUnmount = 1u << 30;
constexpr uint32_t kMount = 1u << 31;
}  // namespace command_bit

constexpr uint32_t kFlagRecursive = 1u << 31;

// Output types of "-ot".
enum : int32_t {
    kOutputNotGiven = -1,
    kOutputIso = 0,
    kOutputBin = 1,
    kOutputDaa = 2,
    kOutputMzp = 7,
    kOutputArchive = 151
};

// What "-setpassword", "-volsize" and "-comment" ask of the written file.
struct ArchiveSettings {
    bool split = false;
    int64_t volumeSize = 0;
    bool passwordSet = false;
    std::string password;            // archive code page, 1..256 bytes
    std::optional<std::string> comment;   // archive code page, at most 65536 bytes
};

// The compressed writers' tuning values ("-OO"); -1 where not given.
struct CompressedWriterTunables {
    int32_t a = -1, b = -1, i = -1, l = -1;
    int64_t s = -1;                  // chunk size in bytes
    bool c = false, e = false, m = false, n = false, z = false;
    bool hOff = false;
};

struct CommandLineRequest {
    uint32_t command = 0;
    uint32_t flags = 0;
    int32_t driveCount = 0;
    std::optional<std::u16string> imagePath;
    std::optional<std::u16string> itemPath;     // "/"-separated
    std::optional<std::u16string> drive;
    std::optional<std::u16string> outputFolder;
    std::optional<std::u16string> outputFile;
    int32_t outputType = kOutputNotGiven;
    int32_t archiveKind = 0;                    // with kOutputArchive: 1 Zip, 2 7z
    ArchiveSettings archive;
    CompressedWriterTunables tunables;
    uint32_t ownerWindow = 0;
    std::u16string openPassword;                // at most 127 units
    std::u16string eventName;                   // at most 127 units
    // Set by a keyword that ends the run while the line is parsed ("-vset",
    // "-email"): the exit code.
    std::optional<int32_t> endCode;
};

}  // namespace cmdline
