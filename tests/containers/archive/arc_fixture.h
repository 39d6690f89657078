#pragma once
// Shared by the archive tests: a source tree made on disk, archives made from
// it by real tools, a document's tree as a sorted listing, and a password
// answered through the dialog services.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "containers/archive/arc_extract.h"
#include "containers/archive/arc_open.h"
#include "foundation/progress_log_services.h"
#include "foundation/services.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "image/document/password_services.h"
#include "platform/text.h"
#include "tests/support/fake_services.h"
#include "tests/support/test_support.h"

namespace arctest {

inline std::u16string U(const std::string& s) { return platform::Utf8ToUtf16(s); }
inline std::string N(std::u16string_view s) { return platform::Utf16ToUtf8(s); }

// Answers the password question with a fixed text (or refuses), counting asks,
// and keeps the lines of the open's progress log.
class PasswordAnswer : public image::IPasswordServices, public foundation::IProgressLogServices {
public:
    explicit PasswordAnswer(const char* password) : password_(password) {}
    bool AskPassword(image::ImageContext* ctx, const uint8_t*) override {
        ++asked;
        if (!password_) return false;
        ctx->outputPassword.fill(0);
        std::strncpy(ctx->outputPassword.data(), password_, ctx->outputPassword.size() - 1);
        return true;
    }
    void AddProgressLogLine(std::u16string_view line) override { log.push_back(N(line)); }
    int asked = 0;
    std::vector<std::string> log;

private:
    const char* password_;
};

// Installs an answer as the password question and the progress log for a scope.
struct ScopedAnswer {
    explicit ScopedAnswer(PasswordAnswer* answer) : password{answer}, log{answer} {}
    foundation::ScopedServices<image::SetPasswordServices> password;
    foundation::ScopedServices<foundation::SetProgressLogServices> log;
};

// A private settings folder and work folder for the whole test program.
class ArchiveTest : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("QV_CONFIG_DIR", config_.path().c_str(), 1); }
    qvtest::TempDir config_;
    qvtest::TempDir dir_;
    std::string operator/(const std::string& name) const { return dir_ / name; }

    // d/a.txt, d/sub/b.bin (random, 300 KiB), d/sub/deep/c.txt, d/empty/
    std::string MakeSourceTree() {
        const std::string d = dir_ / "d";
        qvtest::RunOk("mkdir -p " + d + "/sub/deep " + d + "/empty && printf 'hello archive\\n' > " + d +
                      "/a.txt && head -c 307200 /dev/urandom > " + d + "/sub/b.bin && printf 'deep' > " + d +
                      "/sub/deep/c.txt && touch -d '2024-01-02 03:04:05 UTC' " + d + "/a.txt");
        return d;
    }
};

// "a/b" for files, "a/" for folders, sorted.
inline std::set<std::string> Listing(image::ImageContext& ctx) {
    std::set<std::string> out;
    struct Work {
        image::ImageFolder* folder;
        std::string prefix;
    };
    std::vector<Work> work{{ctx.rootFolder, ""}};
    while (!work.empty()) {
        Work w = work.back();
        work.pop_back();
        for (image::ImageItem* item = w.folder->firstItem; item; item = item->next) {
            const std::string name = w.prefix + N(item->name.str());
            if (item->ownFolder) {
                out.insert(name + "/");
                work.push_back({item->ownFolder, name + "/"});
            } else {
                out.insert(name);
            }
        }
    }
    return out;
}

// The same of a folder on disk (find).
inline std::set<std::string> DiskListing(const std::string& folder) {
    std::set<std::string> out;
    const std::string text = qvtest::RunOk("cd " + qvtest::ShellQuote(folder) +
                                           " && find . -mindepth 1 \\( -type d -printf '%P/\\n' \\) -o -printf '%P\\n'");
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = text.find('\n', at);
        out.insert(text.substr(at, end - at));
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return out;
}

// The bytes of an item, written through the extraction entry.
inline bool ItemBytes(image::ImageContext& ctx, const image::ImageItem& item, std::vector<uint8_t>& bytes,
                      const std::string& scratch) {
    platform::FileHandle out = platform::FileOpen(U(scratch), platform::FileAccess::ReadWrite,
                                                  platform::FileDisposition::CreateAlways);
    if (!out) return false;
    const int r = containers::archive::ExtractArchiveItem(ctx, item, out, nullptr);
    platform::FileClose(out);
    bytes = qvtest::ReadFileBytes(scratch);
    return r == 1;
}

}  // namespace arctest
