// DAA images split into volumes, written on several threads, and behind the
// self-extracting stub. Each save reads back through our reader (from its
// first volume and from a later one) as the same document saved as ISO; the
// independent reader joins the volumes by the format's own records (volume
// headers, volume records, the list of sizes) and decodes every chunk with
// zlib and 7z; the stub program run on its own file extracts the tree.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/save_engine.h"
#include "app/save_output.h"
#include "containers/daa/daa_container.h"
#include "containers/daa/daa_volume_services.h"
#include "foundation/services.h"
#include "foundation/settings.h"
#include "foundation/volume_set_services.h"
#include "image/document/password_services.h"
#include "image/sectors/sector_writers.h"
#include "image/sectors/writer_switches.h"
#include "platform/last_error.h"
#include "tests/containers/chunk_image_fixture.h"
#include "tests/support/fake_services.h"

namespace {

using chunktest::U;
using qvtest::RunOk;
using qvtest::ShellQuote;

struct Settings {
    qvtest::TempDir dir;
    Settings() {
        setenv("QV_CONFIG_DIR", dir.path().c_str(), 1);
        foundation::WriteSettingString(u"Install_Dir", U(QV_PROGRAM_DIR));
    }
    ~Settings() { unsetenv("QV_CONFIG_DIR"); }
};

class Dialogs final : public image::IPasswordServices, public qvtest::NullVolumeSetServices {
public:
    void ReportTooManyVolumes() override { ++tooMany; }
    bool AskPassword(image::ImageContext* ctx, const uint8_t*) override {
        ctx->outputPassword.fill(0);
        std::string("pw").copy(ctx->outputPassword.data(), 2);
        return true;
    }
    int tooMany = 0;
};

// What a directory holds besides the fixture's own files.
std::string Written(const qvtest::TempDir& dir) {
    return RunOk("cd " + ShellQuote(dir.path()) + " && ls -A | grep -v -x -e t.iso -e tree -e ref.iso | sort");
}

// Saves the document split as the writer's own caller does: every volume a
// temporary of the output set, renamed only when the whole save succeeded.
int SaveSplit(image::ImageContext& doc, const std::string& path) {
    app::SaveOutputSet output(doc, true);
    int result = containers::SaveDaaImage(doc, U(path), [&output](std::u16string_view p) { return output.OpenVolume(p); },
                                          nullptr);
    if (result == 1 && !output.Commit()) result = -1;
    return result;
}

TEST(DaaVolumes, SplitSavesReadBackFromAnyVolume) {
    qvtest::TempDir dir;
    chunktest::MakeIso(dir);
    Settings settings;
    chunktest::Readers readers;
    Dialogs dialogs;
    foundation::ScopedServices<image::SetPasswordServices> installed{&dialogs};
    foundation::ScopedServices<foundation::SetVolumeSetServices> installedVolumes{&dialogs};
    struct Row {
        const char* name;
        int32_t style;
        int64_t volumeSize;
        int32_t level;
        const char* password;
        bool sfx;
        const char* first;    // the names of volumes 0 and 1
        const char* second;
    };
    const Row rows[] = {
        {"two-digit parts, level 0", 0, 150000, 0, "", false, "x.part01.daa", "x.part02.daa"},
        {"three-digit parts, level 1, a password", 1, 120000, 1, "pw", false, "x.part001.daa", "x.part002.daa"},
        {"numbered extensions, level 2", 2, 120000, 2, "", false, "x.daa", "x.d00"},
        {"self-extracting volume 0", 0, 100000, 1, "", true, "x.part01.exe", "x.part02.daa"},
    };
    {
        image::DocumentPtr doc = chunktest::Open(dir / "t.iso");
        ASSERT_TRUE(doc);
        doc->modified = 2;
        ASSERT_EQ(app::SaveDocument(*doc, U(dir / "ref.iso"), -1, nullptr), 0);
    }
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RunOk("cd " + ShellQuote(dir.path()) + " && rm -rf x.* out check.iso");
        {
            image::DocumentPtr doc = chunktest::Open(dir / "t.iso");
            ASSERT_TRUE(doc);
            doc->modified = 2;
            doc->splitOutput = 1;
            // Volume 0 holds the stub besides.
            struct stat stub {};
            ASSERT_EQ(::stat((std::string(QV_PROGRAM_DIR) + "/Quendravine.SFX").c_str(), &stub), 0);
            doc->volumeSize = row.volumeSize + (row.sfx ? int64_t(stub.st_size) : 0);
            doc->volumeNamingStyle = row.style;
            doc->compressionLevel = row.level;
            doc->selfExtracting = row.sfx ? 1 : 0;
            if (*row.password) {
                doc->passwordEnabled = 1;
                std::string(row.password).copy(doc->writePassword.data(), 2);
            }
            ASSERT_EQ(SaveSplit(*doc, dir / (row.sfx ? "x.exe" : "x.daa")), 1);
        }
        // Every volume under the name the naming style gives, none left over.
        std::vector<std::string> names{row.first};
        for (int32_t n = 1;; ++n) {
            const std::u16string next = containers::GetDaaVolumeName(U(row.first), n, row.style);
            if (::access((dir / platform::Utf16ToUtf8(next)).c_str(), F_OK) != 0) break;
            names.push_back(platform::Utf16ToUtf8(next));
        }
        ASSERT_GE(names.size(), 2u);
        EXPECT_EQ(names[1], row.second);
        std::string listed;
        for (const std::string& name : names) listed += name + "\n";
        EXPECT_EQ(Written(dir), RunOk("printf %s " + ShellQuote(listed) + " | sort"));

        for (const std::string& opened : {names[0], names.back()}) {
            image::DocumentPtr back = chunktest::Open(dir / opened);
            ASSERT_TRUE(back) << opened;
            EXPECT_EQ(back->formatCode, image::format_code::kDaa);
            ASSERT_TRUE(back->daaReader);
            EXPECT_TRUE(back->daaReader->multiVolume);
            chunktest::ExpectSectorsOf(*back, dir / "ref.iso");
            // Whichever volume was opened, the set is named x.daa.
            EXPECT_EQ(platform::Utf16ToUtf8(containers::GetDaaArchiveName(*back->daaReader.get())), dir / "x.daa");
            EXPECT_TRUE(containers::OpenDaaVolumes(*back->daaReader.get()));
        }
        {
            // A volume moved away after the open: the set is no longer whole,
            // and nobody answered the question for it (the stand-in).
            image::DocumentPtr back = chunktest::Open(dir / names[0]);
            ASSERT_TRUE(back && back->daaReader);
            chunktest::ExpectSectorsOf(*back, dir / "ref.iso");
            RunOk("cd " + ShellQuote(dir.path()) + " && mv " + ShellQuote(names.back()) + " moved");
            EXPECT_FALSE(containers::OpenDaaVolumes(*back->daaReader.get()));
            RunOk("cd " + ShellQuote(dir.path()) + " && mv moved " + ShellQuote(names.back()));
            EXPECT_TRUE(containers::OpenDaaVolumes(*back->daaReader.get()));
        }
        if (!*row.password) {
            std::string later;
            for (size_t i = 1; i < names.size(); ++i) later += " " + ShellQuote(names[i]);
            RunOk("cd " + ShellQuote(dir.path()) + " && python3 " + chunktest::FixtureScript() + " daacheck " +
                  ShellQuote(names[0]) + " check.iso" + later + " && cmp check.iso ref.iso");
        }
        if (row.sfx) {
            RunOk("cd / && " + ShellQuote(dir / names[0]) + " " + ShellQuote(dir / "out"));
            EXPECT_EQ(RunOk("diff -r " + ShellQuote(dir / "out") + " " + ShellQuote(dir / "tree")), "");
        }
    }
    RunOk("cd " + ShellQuote(dir.path()) + " && rm -rf x.* out check.iso");
}

TEST(DaaVolumes, FailedSplitSavesLeaveNothing) {
    qvtest::TempDir dir;
    chunktest::MakeIso(dir);
    Settings settings;
    chunktest::Readers readers;
    struct Row {
        const char* name;
        int32_t style;
        int64_t volumeSize;
        int tooMany;
    };
    const Row rows[] = {
        // Some 300 volumes of 2 KB: past the 99 slots of two-digit parts.
        {"more volumes than the style has slots", 0, 2048, 1},
        {"a volume 0 too small for the header and the table", 1, 1000, 0},
        {"an unknown naming style", 5, 150000, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Dialogs dialogs;
        foundation::ScopedServices<image::SetPasswordServices> installed{&dialogs};
        foundation::ScopedServices<foundation::SetVolumeSetServices> installedVolumes{&dialogs};
        image::DocumentPtr doc = chunktest::Open(dir / "t.iso");
        ASSERT_TRUE(doc);
        doc->modified = 2;
        doc->splitOutput = 1;
        doc->volumeSize = row.volumeSize;
        doc->volumeNamingStyle = row.style;
        EXPECT_EQ(SaveSplit(*doc, dir / "x.daa"), -1);
        EXPECT_EQ(dialogs.tooMany, row.tooMany);
        EXPECT_EQ(Written(dir), "");
    }
}

// The file is the same whatever the number of threads that compressed it.
TEST(DaaWriterThreads, OutputIsTheSameOnAnyNumberOfThreads) {
    qvtest::TempDir dir;
    RunOk("cd " + ShellQuote(dir.path()) +
          " && mkdir -p tree && head -c 2500000 /dev/urandom > tree/r.bin"
          " && seq 1 200000 > tree/n.txt && xorriso -as mkisofs -quiet -o t.iso tree 2>/dev/null");
    Settings settings;
    chunktest::Readers readers;
    Dialogs dialogs;
    foundation::ScopedServices<image::SetPasswordServices> installed{&dialogs};
    foundation::ScopedServices<foundation::SetVolumeSetServices> installedVolumes{&dialogs};
    struct Row {
        const char* name;
        int32_t level;
        bool h, e;
        const char* password;
        uint32_t threads;
    };
    const Row rows[] = {
        {"level 0 in several batches", 0, false, false, "", 3},
        {"level 1, shared LZMA header, table after the chunks", 1, true, true, "", 8},
        {"level 1 with a password", 1, false, false, "pw", 5},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::string> files;
        for (const uint32_t threads : {1u, row.threads}) {
            image::SetChunkCompressionThreads(threads);
            image::ResetWriterSwitches();
            image::WriterSwitchH = row.h;
            image::WriterSwitchE = row.e;
            image::DocumentPtr doc = chunktest::Open(dir / "t.iso");
            ASSERT_TRUE(doc);
            doc->modified = 2;
            doc->compressionLevel = row.level;
            if (*row.password) {
                doc->passwordEnabled = 1;
                std::string(row.password).copy(doc->writePassword.data(), 2);
            }
            files.push_back(dir / ("t" + std::to_string(threads) + ".daa"));
            RunOk("rm -f " + ShellQuote(files.back()));
            ASSERT_EQ(app::SaveDocument(*doc, U(files.back()), -1, nullptr), 0);
        }
        image::SetChunkCompressionThreads(0);
        image::ResetWriterSwitches();
        // The password check bytes (the record behind the header) are
        // random: everything else must agree.
        const std::string differing = "cmp -l " + ShellQuote(files[0]) + " " + ShellQuote(files[1]) +
                                      " | awk '$1 > 76 + 144 {n++} END {print n + 0}'";
        EXPECT_EQ(RunOk(differing), "0\n");
        EXPECT_EQ(RunOk("stat -c %s " + ShellQuote(files[0]) + " " + ShellQuote(files[1]) + " | uniq | wc -l"), "1\n");
        image::DocumentPtr back = chunktest::Open(files[1]);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->formatCode, image::format_code::kDaa);
    }
}

// The console writes DAA volumes for "-ot daa" and a volume size; the
// independent reader joins them and 7z reads the ISO inside.
TEST(DaaVolumes, ConsoleConvertWritesVolumes) {
    qvtest::TempDir dir;
    Settings settings;
    RunOk("cd " + ShellQuote(dir.path()) +
          " && mkdir -p tree && head -c 2600000 /dev/urandom > tree/r.bin && xorriso -as mkisofs -quiet -o t.iso tree "
          "2>/dev/null");
    const std::string zarn = ShellQuote(std::string(QV_PROGRAM_DIR) + "/zarn");
    RunOk("cd " + ShellQuote(dir.path()) + " && QV_CONFIG_DIR=" + ShellQuote(settings.dir.path()) + " " + zarn +
          " convert t.iso -o x.daa -ot daa -volsize 1M > log 2>&1 || (cat log; false)");
    EXPECT_EQ(RunOk("cd " + ShellQuote(dir.path()) + " && ls x.* | sort"),
              "x.part01.daa\nx.part02.daa\nx.part03.daa\n");
    RunOk("cd " + ShellQuote(dir.path()) + " && python3 " + chunktest::FixtureScript() +
          " daacheck x.part01.daa check.iso x.part02.daa x.part03.daa && 7z x -oout check.iso > /dev/null"
          " && cmp out/* tree/r.bin");
}

TEST(DaaVolumes, StandInOpensNoMissingVolume) {
    platform::SetLastError(0);
    EXPECT_EQ(containers::RequestVolume(nullptr, 2), nullptr);
    EXPECT_EQ(platform::GetLastError(), platform::kErrorNotSupported);
}

}  // namespace

// One self-extracting file: saved under the program's name, executable, it
// extracts the tree when run and opens again as a DAA image behind its stub.
TEST(DaaSelfExtracting, RunsAndReopens) {
    qvtest::TempDir dir;
    chunktest::MakeIso(dir);
    Settings settings;
    chunktest::Readers readers;
    for (const int32_t level : {0, 2}) {
        SCOPED_TRACE(level);
        RunOk("cd " + ShellQuote(dir.path()) + " && rm -rf x.* out check.iso");
        {
            image::DocumentPtr doc = chunktest::Open(dir / "t.iso");
            ASSERT_TRUE(doc);
            doc->modified = 2;
            doc->compressionLevel = level;
            if (level == 0) {
                ASSERT_EQ(app::SaveDocument(*doc, U(dir / "ref.iso"), -1, nullptr), 0);
            }
            doc->selfExtracting = 1;
            ASSERT_EQ(app::SaveDocument(*doc, U(dir / "x.daa"), -1, nullptr), 0);
        }
        EXPECT_EQ(Written(dir), "x.exe\n");
        EXPECT_EQ(::access((dir / "x.exe").c_str(), X_OK), 0);
        RunOk("cd / && " + ShellQuote(dir / "x.exe") + " " + ShellQuote(dir / "out"));
        EXPECT_EQ(RunOk("diff -r " + ShellQuote(dir / "out") + " " + ShellQuote(dir / "tree")), "");
        image::DocumentPtr back = chunktest::Open(dir / "x.exe");
        ASSERT_TRUE(back);
        EXPECT_EQ(back->formatCode, image::format_code::kDaa);
        EXPECT_EQ(back->selfExtracting, 1);
        chunktest::ExpectSectorsOf(*back, dir / "ref.iso");
        RunOk("cd " + ShellQuote(dir.path()) + " && python3 " + chunktest::FixtureScript() +
              " daacheck x.exe check.iso && cmp check.iso ref.iso");
    }
}
