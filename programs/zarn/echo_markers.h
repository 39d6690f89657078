#pragma once
// The program's echo markers in its output stream: "<E0>" (hide what the user
// types: a password follows) and "<E1>" (show it again). They are taken out of
// the text the user sees, also when a read splits one; the program writes data
// that reads "<E0>" or "<E1>" with one more "<" before it, shown without it.

#include <functional>
#include <string>
#include <string_view>

namespace zarn {

class EchoMarkerFilter {
public:
    // onMarker(false) at "<E0>", onMarker(true) at "<E1>".
    explicit EchoMarkerFilter(std::function<void(bool echoOn)> onMarker) : onMarker_(std::move(onMarker)) {}
    // The text to show for the bytes read; a possible start of a marker at the
    // end is held back until the next call.
    std::string Feed(std::string_view bytes);
    // What is held back, at the end of the stream.
    std::string Flush();

private:
    std::function<void(bool)> onMarker_;
    std::string held_;
};

}  // namespace zarn
