#pragma once
// The Tools menu's image tools (Compress Disc Image File 33293, Decompress XDI
// File 33294, Convert Disc Image File 33295): the dialog, then the conversion
// the console's "convert" runs too (app/convert_image.h).

#include <cstdint>
#include <string>

class QWidget;

namespace app::ui {

class CMainFrame;

constexpr uint32_t kCompressImageCommand = 33293;
constexpr uint32_t kDecompressImageCommand = 33294;
constexpr uint32_t kConvertImageCommand = 33295;

// Takes the three commands into the Tools group; the group's other commands
// stay with the handler installed before.
void InstallImageToolCommands(CMainFrame& frame);

// Converts as the dialog of the command chose (the steps after its OK).
// 0 converted, -1 not.
int RunImageTool(const std::u16string& source, const std::u16string& destination, int32_t format,
                 const std::string& password);

// The source the dialog of a command starts with: the open document's image,
// unless it is a disc in a drive, or (compressing) already compressed.
std::u16string InitialImageToolSource(uint32_t command);

}  // namespace app::ui
