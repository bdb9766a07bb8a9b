// The screenshot: the whole primary display with the mouse cursor drawn in, saved as an 8-bit
// palette PNG file (see png_writer.h for the file's layout).
#pragma once

#include <string>

namespace vl::delivery {

// Photographs the screen and writes FileName (replacing an existing file); an empty name does
// nothing. The cursor comes from GetCursorInfo, so a thread without windows (the pipeline's
// worker) gets it too; when that cursor cannot be drawn the standard arrow is drawn instead,
// its top-left corner at the pointer.
//
// Raises EOSError when the display cannot be opened or has no size, EFCreateError when the
// file cannot be created, EWriteError when it cannot be written, zlibwrap::ECompressionError
// when zlib fails. On every failure all graphics objects and buffers are released and a
// partly written file is deleted. Graphics calls that merely fail to paint give a black or
// partial picture, not an error.
void CaptureScreenToPng(const std::string& fileName);

}  // namespace vl::delivery
