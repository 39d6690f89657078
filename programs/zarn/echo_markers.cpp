#include "echo_markers.h"

namespace zarn {

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
        if (rest.size() >= 4 && rest[1] == 'E' && (rest[2] == '0' || rest[2] == '1') && rest[3] == '>') {
            onMarker_(rest[2] == '1');
            i += 4;
            continue;
        }
        // A marker's beginning cut off by the end of this read waits for the rest.
        const bool prefix = rest.size() < 4 && (rest.size() < 2 || rest[1] == 'E') &&
                            (rest.size() < 3 || rest[2] == '0' || rest[2] == '1');
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
