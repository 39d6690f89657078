#include "image/sectors/writer_switches.h"

namespace image {

std::atomic<bool> WriterSwitchE{false};
std::atomic<bool> WriterSwitchC{false};
std::atomic<bool> WriterSwitchH{true};

void ResetWriterSwitches() {
    WriterSwitchE = false;
    WriterSwitchC = false;
    WriterSwitchH = true;
}

}  // namespace image
