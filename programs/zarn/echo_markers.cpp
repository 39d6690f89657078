#include "echo_markers.h"

#include <array>

namespace zarn {
namespace {

// "<E0>" and "<E1>" are markers; the program writes the text "<E0>" as
// "<<E0>", which shows as "<E0>".
constexpr std::array<std::string_view, 4> kForms{"<E0>", "<E1>", "<<E0>", "<<E1>"};

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && text.substr(0, prefix.size()) == prefix;
}

}  // namespace

std::string EchoMarkerFilter::Feed(std::string_view bytes) {
    std::string data = held_;
    data.append(bytes);
    held_.clear();
    std::string out;
    size_t i = 0;
    while (i < data.size()) {
        if (data[i] != '<') {
            out.push_back(data[i++]);
            continue;
        }
        const std::string_view rest = std::string_view(data).substr(i);
        if (StartsWith(rest, "<E0>") || StartsWith(rest, "<E1>")) {
            onMarker_(rest[2] == '1');
            i += 4;
            continue;
        }
        if (StartsWith(rest, "<<E0>") || StartsWith(rest, "<<E1>")) {
            out.append(rest.substr(1, 4));
            i += 5;
            continue;
        }
        // A form's beginning cut off by the end of this read waits for the rest.
        bool prefix = false;
        for (std::string_view form : kForms) prefix = prefix || (rest.size() < form.size() && StartsWith(form, rest));
        if (prefix) {
            held_.assign(rest);
            break;
        }
        out.push_back(data[i++]);
    }
    return out;
}

std::string EchoMarkerFilter::Flush() {
    std::string out;
    out.swap(held_);
    return out;
}

}  // namespace zarn
