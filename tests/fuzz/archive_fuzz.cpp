// An archive opened through the archive library and every item extracted: the
// library parses, our side takes its names, sizes, results and property
// values (the path rules, the store, the password and volume callbacks). The
// first input byte picks the name the archive is opened under.

/* seeds
mkdir -p src/sub && echo hello > src/a.txt && head -c 3000 /dev/urandom > src/sub/b.bin
touch -d @1700000000 src/a.txt src/sub/b.bin
(cd src && 7z a -bd -tzip ../z.zip . >/dev/null && 7z a -bd ../s.7z . >/dev/null && tar -cf ../t.tar . && gzip -kn ../t.tar)
i=0
for f in z.zip s.7z t.tar t.tar.gz; do { printf "\\$(printf '%03o' $i)"; cat "$f"; } > "$1/$f"; i=$((i + 1)); done
*/

#include <algorithm>
#include <string>

#include "containers/archive/arc_extract.h"
#include "containers/archive/arc_open.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "platform/file.h"
#include "platform/text.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    static const char* const kNames[] = {"input.zip", "input.7z", "input.tar", "input.tar.gz", "input.rar",
                                         "input.bin"};
    const std::string path = qvfuzz::WriteInput(kNames[data[0] % 6], data + 1, size - 1);
    int code = 0;
    image::DocumentPtr ctx(containers::archive::OpenArchiveAsImage(platform::Utf8ToUtf16(path), false, 0, &code));
    if (!ctx || !ctx->archiveLink) return 0;
    const std::string scratch = qvfuzz::WorkFolder() + "/item.out";
    std::vector<image::ImageFolder*> work{ctx->rootFolder};
    int extracted = 0;
    while (!work.empty() && extracted < 16) {
        image::ImageFolder* folder = work.back();
        work.pop_back();
        for (image::ImageItem* item = folder->firstItem; item && extracted < 16; item = item->next) {
            if (item->ownFolder) {
                work.push_back(item->ownFolder);
                continue;
            }
            platform::FileHandle out = platform::FileOpen(platform::Utf8ToUtf16(scratch), platform::FileAccess::ReadWrite,
                                                          platform::FileDisposition::CreateAlways);
            if (!out) return 0;
            containers::archive::ExtractArchiveItem(*ctx, *item, out, nullptr);
            platform::FileClose(out);
            uint8_t buffer[512];
            containers::archive::ReadArchiveItemData(*ctx, item->archiveIndex, buffer, 0, sizeof buffer);
            ++extracted;
        }
    }
    return 0;
}
