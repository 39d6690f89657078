#pragma once
// printf-style formatting over char16_t with the Windows wide-printf rules:
// %s a UTF-16 string, %S/%hs a narrow string, %c a UTF-16 unit, %C a narrow char,
// %d %i %u %x %X %o %I64d %I64u %lld %llu %f %e %g %p %%, flags "-+ 0#", width and
// precision including '*'. Arguments are carried by type, so a mismatch shows a
// visible marker ("%!d(string)") instead of undefined behaviour. Numbers always
// use the C locale.

#include <cstdint>
#include <string>
#include <string_view>
#include <initializer_list>

namespace platform {

struct FormatArg {
    enum class Kind { Signed, Unsigned, Double, Wide, Narrow, Pointer };
    Kind kind;
    union {
        int64_t i;
        uint64_t u;
        double d;
        const void* p;
    };
    std::u16string_view wide;
    std::string_view narrow;

    FormatArg(int v) : kind(Kind::Signed), i(v) {}
    FormatArg(long v) : kind(Kind::Signed), i(v) {}
    FormatArg(long long v) : kind(Kind::Signed), i(v) {}
    FormatArg(unsigned v) : kind(Kind::Unsigned), u(v) {}
    FormatArg(unsigned long v) : kind(Kind::Unsigned), u(v) {}
    FormatArg(unsigned long long v) : kind(Kind::Unsigned), u(v) {}
    FormatArg(char16_t v) : kind(Kind::Unsigned), u(v) {}
    FormatArg(char v) : kind(Kind::Signed), i(v) {}
    FormatArg(unsigned char v) : kind(Kind::Unsigned), u(v) {}
    FormatArg(short v) : kind(Kind::Signed), i(v) {}
    FormatArg(unsigned short v) : kind(Kind::Unsigned), u(v) {}
    FormatArg(double v) : kind(Kind::Double), d(v) {}
    FormatArg(const char16_t* v) : kind(Kind::Wide), p(v), wide(v ? std::u16string_view(v) : std::u16string_view()) {}
    FormatArg(const std::u16string& v) : kind(Kind::Wide), p(v.c_str()), wide(v) {}
    FormatArg(std::u16string_view v) : kind(Kind::Wide), p(v.data()), wide(v) {}
    FormatArg(const char* v) : kind(Kind::Narrow), p(v), narrow(v ? std::string_view(v) : std::string_view()) {}
    FormatArg(const std::string& v) : kind(Kind::Narrow), p(v.c_str()), narrow(v) {}
    FormatArg(std::string_view v) : kind(Kind::Narrow), p(v.data()), narrow(v) {}
    FormatArg(const void* v) : kind(Kind::Pointer), p(v) {}
    FormatArg(std::nullptr_t) : kind(Kind::Pointer), p(nullptr) {}
};

std::u16string FormatArgs(std::u16string_view format, std::initializer_list<FormatArg> args);

template <typename... Args>
std::u16string Format(std::u16string_view format, const Args&... args) {
    return FormatArgs(format, {FormatArg(args)...});
}

}  // namespace platform
