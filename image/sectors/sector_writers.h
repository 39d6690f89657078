#pragma once
// Writing a saved image sector by sector through the output format's row of the
// format table: ISO, BIN (Mode 1 or, for Video CD documents, Mode 2 Form 1 raw
// frames), audio CD frames, and the chunked container family (DAA/HXI, MZP, XDI).

#include <cstdint>

#include "image/sectors/format_table.h"

namespace image {

struct ImageContext;

// Writes `count` 2048-byte sectors (2352-byte frames for an audio CD) starting
// at `first` through the output format's writer; returns the sectors written. A
// short result shows the system error with the output path and sets
// OperationStatus 3.
int32_t WriteImageSectors(ImageContext& ctx, int32_t first, const uint8_t* buffer, int32_t count,
                          const WriterArguments& args);

// Threads that compress container chunks at once, for the families that allow
// it; 0 (the default) uses every core. The output is the same for any count.
void SetChunkCompressionThreads(uint32_t count);

int32_t WriteIsoSectors(ImageContext& ctx, int32_t first, const uint8_t* buffer, int32_t count,
                        const WriterArguments& args);
int32_t WriteBinSectors(ImageContext& ctx, int32_t first, const uint8_t* buffer, int32_t count,
                        const WriterArguments& args);
int32_t WriteAudioCdSectors(ImageContext& ctx, int32_t first, const uint8_t* buffer, int32_t count,
                            const WriterArguments& args);
int32_t WriteDaaSectors(ImageContext& ctx, int32_t first, const uint8_t* buffer, int32_t count,
                        const WriterArguments& args);
int32_t WriteMzpSectors(ImageContext& ctx, int32_t first, const uint8_t* buffer, int32_t count,
                        const WriterArguments& args);
int32_t WriteXdiSectors(ImageContext& ctx, int32_t first, const uint8_t* buffer, int32_t count,
                        const WriterArguments& args);

}  // namespace image
