#pragma once

#include "session/ExportProgress.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace Quorvex3 {

/// Supplies the greyscale frame of a source event, row-major, with its
/// width and height; empty when it cannot be read.
using AviFrameSource = std::function<std::vector<std::uint8_t>(int event, int& width, int& height)>;

struct AviOutcome {
    enum class Status {
        Written,
        /// The first listed event's image is missing or has no size.
        NoImageSize,
        /// The video encoder could not be opened for the file.
        EncoderNotOpened,
        /// Nothing usable was written; `error` says why.
        WriteFailed,
    };
    Status status = Status::WriteFailed;
    std::size_t framesWritten = 0;
    /// Events left out because an earlier event had the same frame number.
    std::size_t duplicateFrames = 0;
    /// Events whose image could not be read.
    std::size_t unreadableImages = 0;
    /// Events whose image differs in size from the first one.
    std::size_t mismatchedImages = 0;
    QString error;
};

/// Writes the images of the listed events as an AVI video of 25 frames per
/// second at the size of the first listed event's image: MJPEG-compressed
/// colour frames, or uncompressed 8-bit grey frames that keep every pixel
/// value; an MJPEG video of an odd width or height is one column or row
/// larger, repeating the image's last one. With `frameNumbers` (the source's "frame" column) only the first
/// event of each camera frame number (truncated toward zero) is written;
/// an event whose number is missing or not finite is never a duplicate.
///
/// The video is written to a temporary file beside `path` and moved there
/// only when at least one frame was written and the finished file holds
/// every frame; otherwise nothing appears at `path` and an existing file
/// there stays as it was; the same when `progress` (told the listed events
/// done) cancels the writing (WriteFailed, "cancelled").
AviOutcome writeAviFile(const QString& path, const std::vector<int>& indices,
                        const AviFrameSource& frames, const std::vector<double>* frameNumbers,
                        bool mjpeg, const ExportProgress& progress = {});

} // namespace Quorvex3
