#pragma once

// Plot files written off the GUI thread. Qwt draws a plot only on the GUI
// thread (the renderer reads and lays out the plot's widgets), and writing a
// document of many dots (a PDF of a million events: seconds of painting and
// many more of compressing) would freeze the window. So a plot is recorded on
// the GUI thread, quickly: everything but its dot items goes into pictures
// that replay the same painter calls, and each dot item is copied (its
// samples are shared, not copied). The recording is then written on any
// thread through the checked writer (writeCheckedFile): the dots are drawn
// between the items below and above them, as the plot draws them.

#include "plots/PlotFileExport.h"

#include <QSizeF>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

class QPainter;
class QRectF;
class QwtPlot;
class QwtPlotRenderer;

namespace Quorvex3 {

/// The file a recording is written to, and how its device is set up.
struct PlotTarget {
    PlotFileFormat format = PlotFileFormat::Unknown;
    /// Document: one plot on the whole page, as QwtPlotRenderer::renderDocument
    /// writes it (renderPlotFile). Page: a page drawn in millimetre cells, as
    /// writePlotPage writes it.
    enum class Kind { Document, Page } kind = Kind::Document;
    /// Document: size and dots per inch of renderDocument. Page: the page.
    QSizeF sizeMm;
    int dpi = 150;
    PlotPageSetup page;
};

/// A document target of `sizeMm` at `dpi`.
PlotTarget plotDocumentTarget(PlotFileFormat format, const QSizeF& sizeMm, int dpi);
/// A page target, laid out as writePlotPage lays it out.
PlotTarget plotPageTarget(PlotFileFormat format, const PlotPageSetup& page);

/// What a recording holds; written by writeRecordedPlot.
class RecordedPlot;

/// Records plots for one target. GUI thread only; the recording it gives is
/// independent of the plots afterwards (they may change or go).
class PlotRecorder {
public:
    explicit PlotRecorder(const PlotTarget& target);
    ~PlotRecorder();
    PlotRecorder(const PlotRecorder&) = delete;
    PlotRecorder& operator=(const PlotRecorder&) = delete;

    /// Device units per millimetre of the target (Page targets: where the
    /// cells go; Document targets: the document's dots per millimetre).
    double unitsPerMm() const;
    /// Document targets: the rectangle renderDocument renders the plot into.
    QRectF documentRect() const;

    /// Records `plot` as `renderer` renders it into `rect` (device units).
    void render(QwtPlotRenderer& renderer, QwtPlot* plot, const QRectF& rect);
    /// Hands out the recording; the recorder is empty afterwards.
    std::shared_ptr<const RecordedPlot> finish();

    /// The steps writeRecordedPlot takes for this recording (dot chunks, plus
    /// one for the end of the file): for a progress display.
    static int stepCount(const RecordedPlot& recording);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

/// Writes a recording to `path` through writeCheckedFile: the target is
/// replaced only by a whole file. `cancel` (may be null) is read between
/// steps; once set, nothing more is drawn and the target stays as it was.
/// `step` (may be empty) is called after each step. Any thread; several
/// writes may run at once. False, with the reason in `error` ("Cancelled."
/// after a cancel), otherwise.
bool writeRecordedPlot(const QString& path, const PlotTarget& target, const RecordedPlot& recording,
                       const std::atomic<bool>* cancel, const std::function<void()>& step,
                       QString* error);

} // namespace Quorvex3
