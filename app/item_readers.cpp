#include "app/item_readers.h"

#include <atomic>

namespace app {
namespace {

std::atomic<ExtractAudioTrack>& AudioTrackSlot() {
    static std::atomic<ExtractAudioTrack> slot{nullptr};
    return slot;
}

}  // namespace

ExtractAudioTrack GetAudioTrackExtractor() { return AudioTrackSlot().load(); }
ExtractAudioTrack SetAudioTrackExtractor(ExtractAudioTrack extractor) { return AudioTrackSlot().exchange(extractor); }

}  // namespace app
