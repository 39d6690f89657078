// The settings hive's .reg text. Whatever is read must be written back so that
// it reads again, unchanged: a hive that does not survive its own rewrite is
// moved aside as damaged the next time, and every setting is lost.

/* seeds
# The hives the store writes, and regedit's own export syntax.
cat > "$1/user.reg" <<'REG'
Windows Registry Editor Version 5.00

[Software\Quendravine]
"Status"=dword:00000005
"Language"="Deutsch"
"TempFolder"="/tmp/a \"quoted\" \\ path"
"MainWindow"=hex:2c,00,00,00,02,00,00,00,03,00,00,00,00,83,ff,ff
"Lines"=hex(1):6f,00,6e,00,65,00,0d,00,0a,00,74,00,77,00,6f,00,00,00
@="default"

[Software\Quendravine\Recent File List]
"File1"="/home/user/disc.iso"
REG
printf 'REGEDIT4\r\n\r\n; exported\r\n[Software/Quendravine Virtual Drive/]\r\n"DriveLetter"="DEF"\r\n"Data"=hex:01,02,\\\r\n  03,04\r\n' > "$1/regedit4.reg"
printf 'Windows Registry Editor Version 5.00\n\n[Software\\Q]\n"\xc3\xa9t\xc3\xa9"="\xe4\xb8\xad"\n' > "$1/utf8.reg"
*/

#include <cstdlib>
#include <string>
#include <string_view>

#include "foundation/registry_format.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    foundation::RegistryTree tree;
    if (!foundation::ParseRegistryText(std::string_view(reinterpret_cast<const char*>(data), size), tree)) return 0;
    const std::string written = foundation::FormatRegistryText(tree);
    foundation::RegistryTree back;
    if (!foundation::ParseRegistryText(written, back)) std::abort();
    if (foundation::FormatRegistryText(back) != written) std::abort();
    return 0;
}
