#include "util/DatasetDragPayload.h"

#include <QByteArray>
#include <QDropEvent>
#include <QMimeData>

#include <limits>

namespace Quorvex3 {

QString datasetMimeType() {
    return QStringLiteral("application/x-quorvex3-dataset");
}

QMimeData* createDatasetMimeData(int id) {
    auto* mime = new QMimeData;
    const QString digits = QString::number(id);
    mime->setData(datasetMimeType(), digits.toUtf8());
    mime->setText(digits);
    return mime;
}

std::optional<int> parseDatasetId(const QByteArray& payload) {
    // Strict on purpose: a lenient number parser turns "", "x" or "7a" into 0,
    // and dataset 0 exists, so a foreign drop would move the first dataset.
    constexpr int kMaxDigits = std::numeric_limits<int>::digits10 + 1;
    if (payload.isEmpty() || payload.size() > kMaxDigits)
        return std::nullopt;
    long long value = 0;
    for (const char c : payload) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(value);
}

std::optional<int> datasetIdFromMimeData(const QMimeData* mime) {
    if (!mime || !mime->hasFormat(datasetMimeType()))
        return std::nullopt;
    return parseDatasetId(mime->data(datasetMimeType()));
}

QPoint dropEventPosition(const QDropEvent* event) {
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    return event->position().toPoint();
#else
    return event->pos();
#endif
}

} // namespace Quorvex3
