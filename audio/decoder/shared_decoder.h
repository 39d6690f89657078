#pragma once
// The one music decoder of the process, which one user at a time holds: the
// player's output thread, the track writers, the burner's read-ahead and the
// image core's sector reads of decoded tracks. Every call takes its lock, so
// a seek from the window thread never meets a read of the output thread
// half-way. Opening closes whatever another user had open.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace audio {

// Source kinds (the track list's audioSourceKind).
constexpr int32_t kSourceFile = 0;      // samples read straight from the file
constexpr int32_t kSourceDecoder = 1;   // samples rendered by the decoder

// Kind 0: nothing to open, 1. Kind 1: opens the file at the sector (588
// samples each), 1 ready; else 0 after showing "%s\r\n\r\n%s" with the path
// and "Error decoding music files.".
int OpenMusicDecoder(std::u16string_view path, int32_t kind, int64_t startSector);
void CloseMusicDecoder();
// bytes of PCM from where the decoder stands (silence past the end of the
// stream): 1 read, 0 nothing open or a read failure.
int ReadDecodedBytes(void* buffer, size_t bytes);
// Kind 0 gives 1 without doing anything; kind 1 moves the open decoder to the
// sector exactly and clears its end of stream; 1 done, 0 failed.
int SeekMusicDecoder(int64_t sector, int32_t kind);
// The file the decoder has open (empty: none) and the sector it stands at.
std::u16string OpenMusicFile();

// sectors x 2352 bytes of the decoded file from fileSector on, opening the
// file or seeking only when the decoder is not already there, so a run of
// reads in order decodes straight through. Bytes at or past streamBytes are
// silence (the track's length ends there). No message: 1 read, 0 failed.
int ReadDecodedSectors(std::u16string_view path, int64_t fileSector, void* buffer, uint32_t sectors,
                       int64_t streamBytes);
// The same from where the decoder stands when it holds path (else from
// fileSector): the reads of a caller that opened the decoder itself.
int ReadDecodedSectorsOn(std::u16string_view path, int64_t fileSector, void* buffer, uint32_t sectors,
                         int64_t streamBytes);

}  // namespace audio
