#include "cmdline/argument_parser.h"

#include "foundation/password_text.h"

#include <unistd.h>

#include <string_view>

#include "cmdline/console_commands.h"
#include "cmdline/switch_values.h"
#include "foundation/console.h"
#include "foundation/file_associations.h"
#include "foundation/programs.h"
#include "foundation/settings.h"
#include "foundation/settings_values.h"
#include "image/document/current_document.h"
#include "image/document/image_context.h"
#include "image/iso/volume_texts.h"
#include "platform/file.h"
#include "platform/text.h"

namespace cmdline {
namespace {

// Handler results: the arguments used (> 0), kBad for "Bad parameter", kStop
// when the keyword has said why itself and the run ends, kEnd when the
// keyword has done its work and the run ends with request.endCode.
constexpr int kBad = 0;
constexpr int kStop = -1;
constexpr int kEnd = -2;

// Longest value kept in the 128-unit fields.
constexpr size_t kShortFieldChars = 127;
// Longest comment, in code-page bytes.
constexpr size_t kCommentBytes = 65536;

struct Parse {
    const std::vector<std::u16string>& args;
    size_t argc;
    CommandLineRequest& request;

    bool HasValues(size_t i, size_t n) const { return i + n < argc; }
    const std::u16string& Value(size_t i, size_t n) const { return args[i + n]; }
};

std::u16string Slashed(std::u16string_view text) {
    std::u16string out(text);
    for (char16_t& c : out)
        if (c == u'\\') c = u'/';
    return out;
}

int SetCommand(Parse& p, uint32_t bit, int used) {
    if (p.request.command != 0) return kBad;
    p.request.command = bit;
    return used;
}

image::ImageContext* Document() { return image::g_CurrentDocument; }

void MarkModified(int value) {
    if (Document()) Document()->modified = value;
}

int Recursive(Parse& p, size_t) {
    p.request.flags |= kFlagRecursive;
    return 1;
}

int OutputFolder(Parse& p, size_t i) {
    if (!p.HasValues(i, 1)) return kBad;
    p.request.outputFolder = p.Value(i, 1);
    return 2;
}

int OutputType(Parse& p, size_t i) {
    if (!p.HasValues(i, 1)) return kBad;
    const std::u16string type = platform::ToLower(p.Value(i, 1));
    if (type == u"iso") p.request.outputType = kOutputIso;
    // The usage text offers "daa" and "bin" and shows "daa" in its convert
    // example.
    else if (type == u"bin") p.request.outputType = kOutputBin;
    else if (type == u"daa") p.request.outputType = kOutputDaa;
    else if (type == u"mzp") p.request.outputType = kOutputMzp;
    else if (type == u"zip" || type == u"7z") {
        p.request.outputType = kOutputArchive;
        p.request.archiveKind = type == u"zip" ? 1 : 2;
    } else {
        return kBad;
    }
    return 2;
}

int OutputFile(Parse& p, size_t i) {
    if (!p.HasValues(i, 1)) return kBad;
    p.request.outputFile = p.Value(i, 1);
    return 2;
}

int SetPassword(Parse& p, size_t i) {
    if (!p.HasValues(i, 1)) return kBad;
    std::string bytes;
    const foundation::PasswordCheck check = foundation::PasswordToArchiveBytes(p.Value(i, 1), 256, bytes);
    if (check == foundation::PasswordCheck::Empty) {
        foundation::ConsoleWriteString(u"The password can not be empty.\r\n");
        return kBad;
    }
    if (check == foundation::PasswordCheck::TooLong) {
        foundation::ConsoleWriteString(u"The password is too long.\r\n");
        return kBad;
    }
    if (check != foundation::PasswordCheck::Ok) {
        foundation::ReportPasswordLength(check, 256);
        return kBad;
    }
    p.request.archive.password = bytes;
    p.request.archive.passwordSet = true;
    return 2;
}

int VolumeSize(Parse& p, size_t i) {
    if (!p.HasValues(i, 1)) return kBad;
    int64_t bytes = 0;
    if (!ParseVolumeSizeText(p.Value(i, 1), bytes)) return kBad;
    if (bytes < kMinSwitchVolumeBytes || bytes > kMaxSwitchVolumeBytes) return kBad;
    p.request.archive.split = true;
    p.request.archive.volumeSize = bytes;
    return 2;
}

int WorkingFolder(Parse& p, size_t i) {
    if (!p.HasValues(i, 1)) return kBad;
    const std::u16string& folder = p.Value(i, 1);
    if (folder.empty()) return 2;
    if (::chdir(platform::Utf16ToUtf8(folder).c_str()) != 0) {
        foundation::ConsoleWrite(u"Can not find file or folder: %s\r\n", folder);
        return kBad;
    }
    return 2;
}

int ShortField(Parse& p, size_t i, std::u16string& field) {
    if (!p.HasValues(i, 1)) return kBad;
    if (p.Value(i, 1).size() > kShortFieldChars) return kBad;
    field = p.Value(i, 1);
    return 2;
}

int OpenPassword(Parse& p, size_t i) { return ShortField(p, i, p.request.openPassword); }
int EventName(Parse& p, size_t i) { return ShortField(p, i, p.request.eventName); }

int Method(Parse& p, size_t i) {
    if (!p.HasValues(i, 1)) return kBad;
    const std::u16string level = platform::ToLower(p.Value(i, 1));
    if (level == u"normal") return 2;
    if (level == u"better") p.request.tunables.l = 2;
    else if (level == u"best") p.request.tunables.l = 3;
    else return kBad;
    return 2;
}

int OwnerWindow(Parse& p, size_t i) {
    if (!p.HasValues(i, 1)) return kBad;
    return ParseOwnerWindow(p.Value(i, 1), p.request.ownerWindow) ? 2 : kBad;
}

// The DAA writer takes chunks of a multiple of 16 KiB below 64 MiB.
constexpr int64_t kChunkStepKiB = 16;
constexpr int64_t kMaxChunkKiB = 65536 - kChunkStepKiB;

int WriterTunable(Parse& p, size_t i) {
    if (!p.HasValues(i, 1) || p.Value(i, 1).size() != 1) return kBad;
    CompressedWriterTunables& t = p.request.tunables;
    const char16_t letter = p.Value(i, 1)[0];
    switch (letter) {
    case u'C': t.c = true; return 2;
    case u'E': t.e = true; return 2;
    case u'M': t.m = true; return 2;
    case u'N': t.n = true; return 2;
    case u'Z': t.z = true; return 2;
    case u'H': t.hOff = true; return 2;
    case u'A': case u'B': case u'I': case u'L': case u'S': break;
    default: return kBad;
    }
    if (!p.HasValues(i, 2)) return kBad;
    int64_t v = 0;
    if (!ParseDecimal(p.Value(i, 2), INT32_MAX, v)) return kBad;
    switch (letter) {
    case u'A': t.a = int32_t(v); break;
    case u'B': t.b = int32_t(v); break;
    case u'I':
        if (v > 3) return kBad;
        t.i = int32_t(v);
        break;
    case u'L':
        if (v < 1 || v > 3) return kBad;
        t.l = int32_t(v);
        break;
    default:   // 'S': the chunk size in KiB
        if (v == 0 || v % kChunkStepKiB != 0 || v > kMaxChunkKiB) return kBad;
        t.s = v * 1024;
        break;
    }
    return 3;
}

int NotFromConsole(Parse& p, size_t i) {
    foundation::ConsoleWrite(u"Not supported: %s\r\n", p.args[i]);
    return kStop;
}

// Applies the file associations the option sheet stored; an extension that
// could not be changed is named and fails the run.
int ApplyStoredAssociations(Parse& p, size_t) {
    const std::u16string flags = foundation::ReadSettingString(foundation::kSettingStatus1.name).value_or(u"");
    const std::vector<std::u16string> failed = foundation::ApplyAssociations(flags);
    if (failed.empty()) {
        p.request.endCode = 0;
        return kEnd;
    }
    std::u16string names;
    for (const std::u16string& extension : failed) names += (names.empty() ? u"" : u" ") + extension;
    foundation::ConsoleWrite(u"The file associations could not be changed: %s\r\n", names);
    p.request.endCode = -1;
    return kEnd;
}

// Hands the file to the desktop's mail program; the run ends with 1 either way.
int MailFile(Parse& p, size_t i) {
    p.request.endCode = 1;
    if (!p.HasValues(i, 1)) return kEnd;
    if (foundation::SendFileByMail(p.Value(i, 1)) != foundation::kMailHandedOver)
        foundation::ConsoleWrite(u"The mail program could not be started for %s\r\n", ShowableText(p.Value(i, 1)));
    return kEnd;
}

int ListDrives(Parse& p, size_t) { return SetCommand(p, command_bit::kListDrives, 1); }

int SetDriveCount(Parse& p, size_t i) {
    if (!p.HasValues(i, 1)) return kBad;
    int64_t n = 0;
    if (!ParseDecimal(p.Value(i, 1), 23, n)) return kBad;
    if (SetCommand(p, command_bit::kSetDriveCount, 2) == kBad) return kBad;
    p.request.driveCount = int32_t(n);
    return 2;
}

// A path the system cannot open under its full name is refused, never cut.
constexpr size_t kMaxPathChars = 1024;

int Mount(Parse& p, size_t i) {
    if (!p.HasValues(i, 2)) return kBad;
    if (p.Value(i, 1).empty() || p.Value(i, 1).size() >= kMaxPathChars || p.Value(i, 2).empty()) return kBad;
    if (SetCommand(p, command_bit::kMount, 3) == kBad) return kBad;
    p.request.imagePath = FindFirstVolumeOfSet(p.Value(i, 1));
    p.request.drive = p.Value(i, 2);
    return 3;
}

int Unmount(Parse& p, size_t i) {
    if (!p.HasValues(i, 1) || p.Value(i, 1).empty()) return kBad;
    if (platform::EqualsNoCase(p.Value(i, 1), u"all")) return SetCommand(p, command_bit::kUnmountAll, 2);
    if (SetCommand(p, command_bit::kUnmount, 2) == kBad) return kBad;
    p.request.drive = p.Value(i, 1);
    return 2;
}

int Automount(Parse& p, size_t) { return SetCommand(p, command_bit::kAutomount, 1); }

int List(Parse& p, size_t i) {
    if (!p.HasValues(i, 2)) return kBad;
    if (SetCommand(p, command_bit::kList, 3) == kBad) return kBad;
    p.request.imagePath = p.Value(i, 1);
    p.request.itemPath = Slashed(p.Value(i, 2));
    return 3;
}

int Extract(Parse& p, size_t i) {
    if (!p.HasValues(i, 2)) return kBad;
    if (p.Value(i, 1).empty() || p.Value(i, 1).size() >= kMaxPathChars) return kBad;
    if (SetCommand(p, command_bit::kExtract, 3) == kBad) return kBad;
    p.request.imagePath = FindFirstVolumeOfSet(MakeFullPath(p.Value(i, 1)));
    p.request.itemPath = Slashed(p.Value(i, 2));
    return 3;
}

int Convert(Parse& p, size_t i) {
    if (!p.HasValues(i, 1)) return kBad;
    if (SetCommand(p, command_bit::kConvert, 2) == kBad) return kBad;
    p.request.imagePath = p.Value(i, 1);
    return 2;
}

int Create(Parse& p, size_t i) {
    // The word after "create" is looked at but not used: the next keyword.
    if (!p.HasValues(i, 1)) return kBad;
    return SetCommand(p, command_bit::kCreate, 1);
}

int AddLocal(Parse& p, size_t i) {
    if (!p.HasValues(i, 2)) return kBad;
    const int result = AddLocalPathToImage(p.Value(i, 1), p.Value(i, 2));
    if (result == 0) return kBad;
    return result < 0 ? kStop : 3;
}

int Label(Parse& p, size_t i) {
    if (!p.HasValues(i, 1) || !Document()) return kBad;
    image::SetVolumeField(*Document(), 0, p.Value(i, 1));
    MarkModified(1);
    return 2;
}

int JolietLevel(Parse& p, size_t i) {
    int64_t level = 0;
    if (!p.HasValues(i, 1) || !ParseDecimal(p.Value(i, 1), 3, level)) {
        foundation::ConsoleWriteString(u"Jolitet level must be from 0 tp 3.\r\n");
        return kBad;
    }
    if (!Document()) return kBad;
    Document()->jolietLevel = int32_t(level);
    MarkModified(2);
    return 2;
}

int Udf(Parse& p, size_t i) {
    const std::u16string value = p.HasValues(i, 1) ? platform::ToLower(p.Value(i, 1)) : u"";
    if ((value != u"on" && value != u"off") || !Document()) {
        foundation::ConsoleWriteString(u"Usage: -udf on | off\r\n");
        return kBad;
    }
    Document()->udfFlag = value == u"on" ? 1 : 0;
    MarkModified(2);
    return 2;
}

int IsoNameLength(Parse& p, size_t i) {
    int64_t n = 0;
    if (!p.HasValues(i, 1) || !ParseDecimal(p.Value(i, 1), 221, n) || (n != 12 && n != 30 && n != 221) ||
        !Document()) {
        foundation::ConsoleWriteString(u"Usage: -iso-name-len 12 | 30 | 221\r\n");
        return kBad;
    }
    Document()->isoNameLimit = int32_t(n);
    MarkModified(2);
    return 2;
}

int JolietNameLength(Parse& p, size_t i) {
    int64_t n = 0;
    if (!p.HasValues(i, 1) || !ParseDecimal(p.Value(i, 1), 110, n) || (n != 64 && n != 110) || !Document()) {
        foundation::ConsoleWriteString(u"Usage: -joliet-name-len 64 | 110\r\n");
        return kBad;
    }
    Document()->jolietNameLimit = int32_t(n);
    MarkModified(2);
    return 2;
}

int LowerCaseIsoNames(Parse&, size_t) {
    if (!Document()) return kBad;
    Document()->allowLowerCase = 1;
    MarkModified(2);
    return 1;
}

int NoOptimisation(Parse&, size_t) {
    if (!Document()) return kBad;
    Document()->fileSpaceOptimisation = 0;
    MarkModified(2);
    return 1;
}

int DateSwitch(Parse& p, size_t i, int64_t image::ImageContext::*field) {
    int64_t seconds = 0;
    if (!p.HasValues(i, 1) || !ParseSwitchDate(p.Value(i, 1), seconds) || !Document()) {
        foundation::ConsoleWrite(u"Usage: %s mm-dd-yyyy:hh:mm:ss\r\n", p.args[i]);
        return kBad;
    }
    Document()->*field = seconds;
    MarkModified(2);
    return 2;
}
int FileDate(Parse& p, size_t i) { return DateSwitch(p, i, &image::ImageContext::fileDateTime); }
int CreationDate(Parse& p, size_t i) { return DateSwitch(p, i, &image::ImageContext::creationTime); }
int ModificationDate(Parse& p, size_t i) { return DateSwitch(p, i, &image::ImageContext::modificationTime); }
int EffectiveDate(Parse& p, size_t i) { return DateSwitch(p, i, &image::ImageContext::effectiveTime); }
int ExpirationDate(Parse& p, size_t i) { return DateSwitch(p, i, &image::ImageContext::expirationTime); }

int Comment(Parse& p, size_t i) {
    if (!p.HasValues(i, 1)) {
        foundation::ConsoleWriteString(u"Usage: -comment <string>\r\n");
        return kBad;
    }
    std::u16string_view text = p.Value(i, 1);
    if (text.size() > 0x20000) text = text.substr(0, 0x20000);
    p.request.archive.comment = ToCodePageWithin(text, kCommentBytes);
    MarkModified(2);
    return 2;
}

int CommentFromFile(Parse& p, size_t i) {
    if (!p.HasValues(i, 1)) {
        foundation::ConsoleWriteString(u"Usage: -comment <string>\r\n");
        return kBad;
    }
    std::string bytes;
    if (!ReadCommentFile(p.Value(i, 1), kCommentBytes, bytes)) {
        foundation::ConsoleWrite(u"open file %s failed.\r\n", p.Value(i, 1));
        foundation::ConsoleWriteString(u"Usage: -comment <string>\r\n");
        return kBad;
    }
    p.request.archive.comment = std::move(bytes);
    MarkModified(2);
    return 2;
}

int ShowCommentKeyword(Parse& p, size_t i) {
    if (!p.HasValues(i, 1)) {
        foundation::ConsoleWriteString(u"Usage: show-comment <image file>\r\n");
        return kBad;
    }
    ShowComment(p.Value(i, 1));
    return 2;
}

int ExtractCommentKeyword(Parse& p, size_t i) {
    if (!p.HasValues(i, 2)) {
        foundation::ConsoleWriteString(u"Usage: extract-comment-to-file <image file> <comment file>\r\n");
        return kBad;
    }
    return ExtractCommentToFile(p.Value(i, 1), p.Value(i, 2)) ? 3 : kStop;
}

int Help(Parse& p, size_t) { return SetCommand(p, command_bit::kHelp, 1); }
int CreateLangFile(Parse& p, size_t) { return SetCommand(p, command_bit::kCreateLangFile, 1); }

struct Keyword {
    const char16_t* word;
    int (*handler)(Parse&, size_t);
};

constexpr Keyword kKeywordTable[] = {
    {u"-r", Recursive},
    {u"-od", OutputFolder},
    {u"-ot", OutputType},
    {u"-o", OutputFile},
    {u"-setpassword", SetPassword},
    {u"-volsize", VolumeSize},
    {u"-wd", WorkingFolder},
    {u"-password", OpenPassword},
    {u"-method", Method},
    {u"-hwnd", OwnerWindow},
    {u"-evt", EventName},
    {u"-OO", WriterTunable},
    {u"-vset", ApplyStoredAssociations},
    {u"-email", MailFile},
    {u"listvd", ListDrives},
    {u"setvdnum", SetDriveCount},
    {u"mount", Mount},
    {u"unmount", Unmount},
    {u"automount", Automount},
    {u"list", List},
    {u"extract", Extract},
    {u"convert", Convert},
    {u"create", Create},
    {u"-add", AddLocal},
    {u"-delete", NotFromConsole},
    {u"-label", Label},
    {u"-joliet", JolietLevel},
    {u"-udf", Udf},
    {u"-iso-name-len", IsoNameLength},
    {u"-joliet-name-len", JolietNameLength},
    {u"-allow-lower-case-iso-name", LowerCaseIsoNames},
    {u"-disable-optimization", NoOptimisation},
    {u"-file-datetime", FileDate},
    {u"-vol-creation-datetime", CreationDate},
    {u"-vol-modification-datetime", ModificationDate},
    {u"-vol-effective-datetime", EffectiveDate},
    {u"-vol-expiration-datetime", ExpirationDate},
    {u"-comment", Comment},
    {u"-comment-from-file", CommentFromFile},
    {u"show-comment", ShowCommentKeyword},
    {u"extract-comment-to-file", ExtractCommentKeyword},
    {u"-?", Help},
    {u"-h", Help},
    {u"-help", Help},
    {u"create-lang-file", CreateLangFile},
};
static_assert(std::size(kKeywordTable) == 45);

const Keyword* FindKeyword(std::u16string_view arg) {
    for (const Keyword& k : kKeywordTable)
        if (arg == k.word) return &k;
    return nullptr;
}

}  // namespace

int ParseCommandLine(const std::vector<std::u16string>& args, bool helperMode, CommandLineRequest& request) {
    request = CommandLineRequest{};
    if (args.size() < 2) {
        foundation::ConsoleWriteString(u"No parameters.");
        return -1;
    }
    Parse p{args, args.size(), request};
    size_t index = helperMode ? 2 : 1;
    // "-wd" as the last pair acts first, so the line's relative paths resolve
    // against it.
    if (p.argc > 2 && args[p.argc - 2] == u"-wd") {
        if (WorkingFolder(p, p.argc - 2) <= 0) {
            foundation::ConsoleWrite(u"Bad parameter: %s", args[p.argc - 2]);
            return -1;
        }
        p.argc -= 2;
    }
    while (index < p.argc) {
        const std::u16string& arg = args[index];
        const Keyword* keyword = FindKeyword(arg);
        if (!keyword) {
            foundation::ConsoleWrite(u"Unrecognized parameter: %s", ShowableText(arg));
            return -1;
        }
        const int used = keyword->handler(p, index);
        if (used == kStop) return -1;
        if (used == kEnd) return 1;
        if (used <= 0) {
            foundation::ConsoleWrite(u"Bad parameter: %s", arg);
            return -1;
        }
        index += size_t(used);
    }
    return 0;
}

}  // namespace cmdline
