#pragma once

#include <QByteArray>
#include <QPoint>
#include <QString>

#include <optional>

class QDropEvent;
class QMimeData;

namespace Quorvex3 {

/// MIME type of a dragged dataset: "application/x-quorvex3-dataset". The
/// dataset list, the folder tree and the tool windows exchange datasets by
/// this type; the payload is the dataset's id as decimal digits (UTF-8).
QString datasetMimeType();

/// New MIME data carrying dataset `id` as the dataset type and, with the
/// same digits, as plain text. The caller owns the result (a QDrag takes it).
QMimeData* createDatasetMimeData(int id);

/// The dataset id carried by `mime`; nothing when `mime` is null, lacks the
/// dataset type, or its payload is not a valid id (anything but one to ten
/// ASCII digits whose value fits an int). A malformed payload is never taken
/// for id 0, which is a real dataset's id.
std::optional<int> datasetIdFromMimeData(const QMimeData* mime);

/// The payload of a dataset drag as an id, with the rules of
/// datasetIdFromMimeData.
std::optional<int> parseDatasetId(const QByteArray& payload);

/// Position of a drag event in the receiving widget's coordinates (pixels).
QPoint dropEventPosition(const QDropEvent* event);

} // namespace Quorvex3
