#include "session/AviExport.h"

#include "util/AtomicFile.h"

#include <QFile>
#include <QtEndian>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <cmath>
#include <cstring>
#include <unordered_set>

namespace Quorvex3 {

namespace {

constexpr double kFramesPerSecond = 25.0;
// Frames between two progress reports (each may cancel the video).
constexpr std::size_t kFramesPerProgress = 64;

/// Whether event `event` repeats an earlier event's camera frame; claims
/// its frame number otherwise, before its image is read.
bool isDuplicateFrame(const std::vector<double>& frameNumbers, int event,
                      std::unordered_set<double>& seen) {
    if (event < 0 || static_cast<std::size_t>(event) >= frameNumbers.size())
        return false;
    const double value = frameNumbers[static_cast<std::size_t>(event)];
    if (!std::isfinite(value))
        return false;
    // +0.0 for -0.0 and for values in (-1, 0), so they share one key.
    return !seen.insert(std::trunc(value) + 0.0).second;
}

/// The number of frames the finished file's index holds (0 when it cannot
/// be opened): an encoder that ran out of disk space says nothing, but its
/// file then lacks frames or its index.
long long framesInFile(const QString& path) {
    cv::VideoCapture capture(QFile::encodeName(path).toStdString(), cv::CAP_FFMPEG);
    if (!capture.isOpened())
        return 0;
    return static_cast<long long>(capture.get(cv::CAP_PROP_FRAME_COUNT));
}

/// Whether the RIFF chunks the file is made of (one, or more for large
/// files) end exactly at its end. Their sizes are written last, when the
/// encoder closes, from what it meant to write: writes that failed on a full
/// disk leave the file shorter, while its header may still count every frame.
bool riffChunksFillFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = file.size();
    qint64 position = 0;
    while (position < size) {
        char header[8];
        if (!file.seek(position) || file.read(header, 8) != 8 ||
            std::memcmp(header, "RIFF", 4) != 0)
            return false;
        const quint32 length = qFromLittleEndian<quint32>(header + 4);
        position += 8 + static_cast<qint64>(length) + (length & 1);
    }
    return position == size;
}

} // namespace

AviOutcome writeAviFile(const QString& path, const std::vector<int>& indices,
                        const AviFrameSource& frames, const std::vector<double>* frameNumbers,
                        bool mjpeg, const ExportProgress& progress) {
    AviOutcome outcome;
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> firstImage;
    if (!indices.empty())
        firstImage = frames(indices.front(), width, height);
    if (firstImage.empty() || width < 1 || height < 1 ||
        firstImage.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {
        outcome.status = AviOutcome::Status::NoImageSize;
        return outcome;
    }

    TemporaryTarget target(path);
    if (!target.create(&outcome.error)) {
        outcome.status = AviOutcome::Status::EncoderNotOpened;
        return outcome;
    }
    try {
        // Raw frames stay grey, so the video keeps every pixel value; the
        // encoder would turn colour frames into subsampled YUV.
        const int fourcc = mjpeg ? cv::VideoWriter::fourcc('M', 'J', 'P', 'G') : 0;
        // The MJPEG encoder subsamples colour by two in each direction and
        // corrupts the heap on an odd width or height: such images get one
        // more column or row, a copy of their last one.
        const int padRight = mjpeg ? width % 2 : 0;
        const int padBottom = mjpeg ? height % 2 : 0;
        cv::VideoWriter writer(QFile::encodeName(target.temporaryPath()).toStdString(),
                               cv::CAP_FFMPEG, fourcc, kFramesPerSecond,
                               cv::Size(width + padRight, height + padBottom), mjpeg);
        if (!writer.isOpened()) {
            outcome.status = AviOutcome::Status::EncoderNotOpened;
            return outcome;
        }
        std::unordered_set<double> seenFrames;
        cv::Mat padded;
        cv::Mat colour;
        for (std::size_t k = 0; k < indices.size(); ++k) {
            if (progress && k % kFramesPerProgress == 0 && !progress(k, indices.size())) {
                outcome.error = QStringLiteral("cancelled");
                return outcome;
            }
            const int event = indices[k];
            if (frameNumbers && isDuplicateFrame(*frameNumbers, event, seenFrames)) {
                ++outcome.duplicateFrames;
                continue;
            }
            int w = width;
            int h = height;
            std::vector<std::uint8_t> image = k == 0 ? firstImage : frames(event, w, h);
            if (image.empty()) {
                ++outcome.unreadableImages;
                continue;
            }
            if (w != width || h != height ||
                image.size() !=
                    static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {
                ++outcome.mismatchedImages;
                continue;
            }
            const cv::Mat grey(height, width, CV_8UC1, image.data());
            if (mjpeg) {
                if (padRight || padBottom) {
                    cv::copyMakeBorder(grey, padded, 0, padBottom, 0, padRight,
                                       cv::BORDER_REPLICATE);
                    cv::cvtColor(padded, colour, cv::COLOR_GRAY2BGR);
                } else {
                    cv::cvtColor(grey, colour, cv::COLOR_GRAY2BGR);
                }
                writer.write(colour);
            } else {
                writer.write(grey);
            }
            ++outcome.framesWritten;
        }
        writer.release();
    } catch (const cv::Exception& e) {
        outcome.error = QString::fromStdString(e.what());
        return outcome;
    }

    if (outcome.framesWritten == 0) {
        outcome.error = QStringLiteral("No frame could be written.");
        return outcome;
    }
    const long long stored = framesInFile(target.temporaryPath());
    if (stored != static_cast<long long>(outcome.framesWritten)) {
        outcome.error = QStringLiteral("The video file holds %1 of %2 frames (is the disk full?).")
                            .arg(stored)
                            .arg(outcome.framesWritten);
        return outcome;
    }
    if (!riffChunksFillFile(target.temporaryPath())) {
        outcome.error =
            QStringLiteral("The video file is shorter than written (is the disk full?).");
        return outcome;
    }
    if (!target.commit(&outcome.error))
        return outcome;
    outcome.status = AviOutcome::Status::Written;
    return outcome;
}

} // namespace Quorvex3
