#pragma once
// The streams the archive library reads and writes through: input over a file
// (the archive, a volume, a temporary), input over a document item (what a
// new archive is made of), and output onto a target (an extracted file, a
// store, the volumes of a new archive).
//
// The library's writers really do seek from the end and pass null position
// pointers; a negative target is an error, never a wrapped position.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "containers/archive/arc_com_object.h"
#include "foundation/file_io.h"
#include "foundation/progress_callbacks.h"

namespace image {
struct ImageContext;
struct ImageItem;
}  // namespace image

namespace containers::archive {

// The messages of stream failures, shown with the path.
enum class StreamErrorKind { Extracting = 1, Writing = 2, Reading = 3 };
void ShowArchiveStreamError(StreamErrorKind kind, std::u16string_view path);

// The new position of a seek: origin 0 start, 1 current, 2 end. False with
// *error set for an unknown origin or a negative result.
bool ComputeSeek(uint64_t current, uint64_t end, int64_t offset, uint32_t origin, uint64_t& result, HResult& error);

// Reads up to size bytes, in calls of at most 2 GiB, until all came, a call
// gave nothing or failed; size returns what came, the first error is returned.
HResult ReadStreamFull(void* sequentialInStream, void* buffer, uint64_t& size);

// An IInStream (with IStreamGetSize) over an open file it owns. A read gives
// at most 4 MiB.
ComRef MakeFileInStream(foundation::UniqueFile file, std::u16string_view path);
// The same over the file at path; empty with *error the failure code.
ComRef OpenFileInStream(std::u16string_view path, HResult* error);

// Where an output stream's bytes go, by absolute position.
class OutputTarget {
public:
    virtual ~OutputTarget() = default;
    // All bytes or false (the last error set).
    virtual bool WriteAt(uint64_t position, const void* data, size_t size) = 0;
    // Cuts or extends the data to size bytes.
    virtual bool SetSize(uint64_t size) = 0;
    // The end of the data written so far.
    virtual uint64_t End() const = 0;
    // For the error message.
    virtual std::u16string Name() const = 0;
};

// A target over one open file (not owned).
std::unique_ptr<OutputTarget> MakeFileTarget(platform::FileHandle file, std::u16string name);
// A target split into volumes of volumeSize bytes; openVolume(v) gives the
// file of volume v (0-based, owned by the caller), null on failure. At most
// 1024 volumes.
using VolumeOpener = std::function<platform::FileHandle(int32_t volume)>;
std::unique_ptr<OutputTarget> MakeVolumeTarget(uint64_t volumeSize, VolumeOpener openVolume, std::u16string name);
constexpr int32_t kMaxVolumes = 1024;

struct OutStreamOptions {
    StreamErrorKind errorKind = StreamErrorKind::Writing;
    // Polled for cancel before each write.
    foundation::ProgressCallbacks* progress = nullptr;
    // Each write advances the progress by its size (extraction).
    bool reportWrites = false;
    // Show the stream error message on a failed write.
    bool showErrors = true;
};

// An IOutStream onto the target. `written` (when given) counts the bytes the
// library delivered.
ComRef MakeOutStream(std::shared_ptr<OutputTarget> target, const OutStreamOptions& options,
                     std::shared_ptr<uint64_t> written = nullptr);

// An IInStream over a document item's data (image::ItemByteReader).
ComRef MakeImageInStream(image::ImageContext& ctx, const image::ImageItem& item,
                         foundation::ProgressCallbacks* progress);

}  // namespace containers::archive
