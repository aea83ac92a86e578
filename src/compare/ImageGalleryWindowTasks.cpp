// The gallery's background work and export: page requests and their
// renders, the automatic contrast, and the page written as PNG.
#include "compare/ImageGalleryWindow.h"

#include "compare/GalleryGridWidget.h"
#include "core/RTDCReader.h"
#include "model/DatasetStore.h"
#include "util/AtomicFile.h"
#include "util/DialogProvider.h"
#include "util/FileNameUtil.h"

#include <QBuffer>
#include <QByteArray>
#include <QLabel>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QtConcurrent>

#include <algorithm>

namespace Quorvex3 {

void ImageGalleryWindow::setRenderTask(RenderTask task) {
    m_renderTask = task ? std::move(task) : RenderTask(renderGalleryPage);
}

void ImageGalleryWindow::setContrastTask(ContrastTask task) {
    m_contrastTask = task ? std::move(task) : ContrastTask(computeGalleryAutoContrast);
}

void ImageGalleryWindow::waitForTasks() {
    // QFuture::cancel does not stop a task started by run: wait for it.
    m_renderWatcher->waitForFinished();
    m_contrastWatcher->waitForFinished();
}

void ImageGalleryWindow::showEmptyPage() {
    m_grid->setTiles({}, gridSide(), m_showIds);
}

// ---- Page requests -----------------------------------------------------------------------

void ImageGalleryWindow::requestPageRender() {
    if (!m_grid)
        return;
    // Every request is newer than any render still running, also one that
    // ends here without a render of its own.
    const std::uint32_t generation = ++m_renderGeneration;
    const DatasetEntry* entry = findDataset();
    if (!entry || !entry->reader || m_filteredIndices.empty() || m_cutoutWidth < 1 ||
        m_cutoutHeight < 1) {
        showEmptyPage();
        updateStatusLabel();
        return;
    }
    recomputeAutoContrastIfNeeded();

    int lo = 0;
    int hi = 255;
    if (m_contrastMode == 2) {
        lo = m_manualLo;
        hi = m_manualHi;
    } else if (m_contrastMode == 1) {
        if (!m_autoContrastValid) {
            showEmptyPage();
            m_statusLabel->setText(tr("Computing auto-contrast\u2026"));
            return;
        }
        lo = m_autoLo;
        hi = m_autoHi;
    }

    const size_t first = static_cast<size_t>(m_pageSize) * static_cast<size_t>(m_currentPage);
    const size_t last = std::min(first + static_cast<size_t>(m_pageSize), m_filteredIndices.size());
    if (first >= last) {
        showEmptyPage();
        return;
    }
    GalleryRenderInput input;
    input.pageIndices.assign(m_filteredIndices.begin() + static_cast<std::ptrdiff_t>(first),
                             m_filteredIndices.begin() + static_cast<std::ptrdiff_t>(last));
    input.cutoutWidth = m_cutoutWidth;
    input.cutoutHeight = m_cutoutHeight;
    input.pixelSize = m_pixelSize;
    input.contrastMode = m_contrastMode;
    input.lo = lo;
    input.hi = hi;
    input.generation = generation;

    if (m_renderRunning) {
        // The running render's end asks again, for whatever is current then.
        m_renderPending = true;
        return;
    }
    m_renderPending = false;
    m_renderRunning = true;
    m_renderWatcher->setFuture(QtConcurrent::run(
        [task = m_renderTask, reader = entry->reader, input = std::move(input)]() {
            GalleryRenderResult result;
            result.generation = input.generation;
            try {
                result = task(reader, input);
            } catch (...) {
                // An exception leaving the task would come back from
                // result() as QUnhandledException: an empty page instead.
                result.tiles.clear();
                result.generation = input.generation;
            }
            return result;
        }));
    m_statusLabel->setText(tr("Rendering\u2026"));
}

void ImageGalleryWindow::onPageRenderFinished() {
    m_renderRunning = false;
    const GalleryRenderResult result = m_renderWatcher->result();
    if (result.generation == m_renderGeneration)
        m_grid->setTiles(result.tiles, gridSide(), m_showIds);
    if (m_renderPending) {
        m_renderPending = false;
        requestPageRender();
    } else if (!(m_contrastMode == 1 && !m_autoContrastValid && !m_filteredIndices.empty())) {
        updateStatusLabel();
    }
}

// ---- Automatic contrast -------------------------------------------------------------------

void ImageGalleryWindow::recomputeAutoContrastIfNeeded() {
    if (m_contrastMode != 1 || m_autoContrastValid)
        return;
    const DatasetEntry* entry = findDataset();
    if (!entry || !entry->reader || m_filteredIndices.empty()) {
        m_autoLo = 0;
        m_autoHi = 255;
        m_autoContrastValid = true;
        return;
    }
    if (m_contrastRunning)
        return; // its end starts a fresh task when it was for an older list
    m_contrastRunning = true;
    m_contrastWatcher->setFuture(
        QtConcurrent::run([task = m_contrastTask, reader = entry->reader,
                           indices = m_filteredIndices, generation = ++m_contrastGeneration]() {
            GalleryAutoContrastResult result;
            result.generation = generation;
            try {
                result = task(reader, indices, generation);
            } catch (...) {
                result = GalleryAutoContrastResult{0, 255, generation};
            }
            return result;
        }));
}

void ImageGalleryWindow::onAutoContrastFinished() {
    m_contrastRunning = false;
    const GalleryAutoContrastResult result = m_contrastWatcher->result();
    if (result.generation != m_contrastGeneration) {
        // Computed for an event list that has changed since: start again for
        // the current one when it is still wanted.
        if (m_contrastMode == 1 && !m_autoContrastValid)
            recomputeAutoContrastIfNeeded();
        return;
    }
    m_autoLo = result.lo;
    m_autoHi = result.hi;
    m_autoContrastValid = true;
    {
        const QSignalBlocker blockLo(m_loSpin);
        const QSignalBlocker blockHi(m_hiSpin);
        m_loSpin->setValue(m_autoLo);
        m_hiSpin->setValue(m_autoHi);
    }
    if (m_contrastMode == 1)
        requestPageRender();
}

// ---- Export -----------------------------------------------------------------------------------

void ImageGalleryWindow::onExportPagePng() {
    DialogProvider& dialogs = DialogProvider::current();
    QString name = m_datasetName.isEmpty() ? QStringLiteral("dataset") : m_datasetName;
    // A display name such as "day 1/2" would otherwise propose a folder.
    name.replace(QLatin1Char('/'), QLatin1Char('_')).replace(QLatin1Char('\\'), QLatin1Char('_'));
    const QString proposed = QStringLiteral("gallery_%1_p%2.png").arg(name).arg(m_currentPage + 1);
    QString selectedFilter = tr("PNG image (*.png)");
    QString path = dialogs.getSaveFileName(this, tr("Export Gallery Page"), proposed,
                                           tr("PNG image (*.png)"), &selectedFilter);
    if (path.isEmpty())
        return;
    path = ensureSelectedFilterExtension(path, selectedFilter);

    // Encoded in memory and written in one step: a failed write leaves an
    // existing file as it was.
    const QPixmap pixmap = m_grid->renderToPixmap();
    QByteArray bytes;
    bool encoded = false;
    if (!pixmap.isNull()) {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        encoded = pixmap.save(&buffer, "PNG");
    }
    if (!encoded || writeFileAtomically(path, bytes) != WriteResult::Written) {
        dialogs.warning(this, tr("Export failed"), tr("Could not write PNG to:\n") + path,
                        QMessageBox::Ok);
    }
}

} // namespace Quorvex3
