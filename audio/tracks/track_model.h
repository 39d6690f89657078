#pragma once
// The tracks of an audio CD project: music files added, removed and moved,
// and the start sectors that follow from their lengths and gaps. Every track
// keeps its file open for reading while it is in the list; its CD-TEXT record
// (indexed by track number, position + 1) moves with it.

#include <cstdint>
#include <string_view>

#include "foundation/services.h"

namespace image {
struct ImageContext;
}

namespace audio {

// Stops the player and waits until it has let go of the track list, before a
// file is added (the probe can take a while on a long file). The window
// program installs its own; the stand-in stops nothing (no player without a
// window).
class IPlayerStopServices {
public:
    virtual ~IPlayerStopServices() = default;
    virtual void StopPlayer() = 0;
};

namespace detail {
class PlayerStopStandIn final : public IPlayerStopServices {
public:
    void StopPlayer() override {}
};
}  // namespace detail

inline foundation::ServiceSlot<IPlayerStopServices, detail::PlayerStopStandIn>& PlayerStopServicesSlot() {
    static foundation::ServiceSlot<IPlayerStopServices, detail::PlayerStopStandIn> slot;
    return slot;
}
inline IPlayerStopServices& PlayerStopServices() { return PlayerStopServicesSlot().Get(); }
// Not owned; null restores the stand-in. Returns the services installed before.
inline IPlayerStopServices* SetPlayerStopServices(IPlayerStopServices* services) {
    return PlayerStopServicesSlot().Install(services);
}

// Adds a music file at position (-1: at the end, or before the trailing track
// when the document has one; out of range: at the end). With ask, a file
// already in the list (the same device and inode) is asked about ("Yes" adds
// it again, "No" adds nothing, "Cancel" also sets OperationStatus to 1) and
// failures are shown. Only regular files with at least one sector of sound
// are taken, at most 99 tracks. Title, performer, composer and comment come
// from the file's tags into the track's CD-TEXT (the title defaults to the
// file name without its extension). 0 added, -1 not added (list unchanged).
int AddMusicFile(image::ImageContext* document, std::u16string_view path, int32_t position, bool ask);

// Removes the track with its file, handle and CD-TEXT; later tracks move down.
// A position outside the list is ignored.
void RemoveAudioTrack(image::ImageContext* document, int32_t position);

// Swap the track with the one before / after it; nothing at either end.
void MoveTrackUp(image::ImageContext* document, int32_t position);
void MoveTrackDown(image::ImageContext* document, int32_t position);

// Start sectors from the first track's 0 on: each track starts after the
// previous one's length and post-gap and its own pregap; the entry just past
// the last track gets the end sector. A music track after a data track at
// position 0 gets a 150-sector pregap. Tracks without a mode become audio;
// others (a Video CD project's Mode 2 tracks) keep theirs.
void RecalcTrackOffsets(image::ImageContext* document);

}  // namespace audio
