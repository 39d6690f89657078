#include "cmdline/front_end_arguments.h"

#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace cmdline {
namespace {

// More than any command line the system itself would pass (ARG_MAX).
constexpr size_t kMaxArgumentBytes = 4u << 20;

}  // namespace

void TakeFrontEndArguments(int& argc, char**& argv) {
    const char* named = std::getenv(kArgumentsFdVariable);
    if (!named) return;
    char* end = nullptr;
    const long fd = std::strtol(named, &end, 10);
    ::unsetenv(kArgumentsFdVariable);
    if (!end || *end != '\0' || fd < 3 || fd > 1 << 20) return;
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(int(fd), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        bytes.append(buffer, size_t(n));
        if (bytes.size() > kMaxArgumentBytes) break;
    }
    ::close(int(fd));
    static std::vector<std::string> texts;
    static std::vector<char*> pointers;
    texts.clear();
    texts.emplace_back(argc > 0 ? argv[0] : "quendravine");
    for (size_t at = 0; at < bytes.size();) {
        const size_t nul = bytes.find('\0', at);
        if (nul == std::string::npos) break;   // a cut-off last argument is dropped
        texts.emplace_back(bytes.substr(at, nul - at));
        at = nul + 1;
    }
    std::memset(bytes.data(), 0, bytes.size());
    pointers.clear();
    for (std::string& text : texts) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    argc = int(texts.size());
    argv = pointers.data();
}

void HidePasswordArguments(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (::strcasecmp(argv[i], "-setpassword") == 0 || ::strcasecmp(argv[i], "-password") == 0) {
            std::memset(argv[i + 1], 0, std::strlen(argv[i + 1]));
            ++i;
        }
    }
}

}  // namespace cmdline
