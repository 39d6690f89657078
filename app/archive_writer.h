#pragma once
// The save engine's writer of ZIP and 7z archives (output format 151): the
// document's tree written through the archive library into the save's output
// set, as one file or as volumes "name.001", "name.002", ...

#include "app/save_engine.h"

namespace app {

int WriteArchiveDocument(SaveRequest& request);

}  // namespace app
