// Export settings, the statistics dock, the export preview and the exports
// of the combined plot window.
#include "compare/CombinePlotWindow.h"

#include "model/DatasetEntry.h"
#include "plots/PlotExportStyle.h"
#include "plots/PlotFileExport.h"
#include "plots/PlotRecording.h"
#include "util/AtomicFile.h"
#include "util/DialogProvider.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QGridLayout>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QProgressDialog>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QtConcurrent>

#include <qwt_plot.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_grid.h>
#include <qwt_plot_renderer.h>
#include <qwt_plot_spectrocurve.h>
#include <qwt_plot_textlabel.h>
#include <qwt_scale_draw.h>
#include <qwt_scale_widget.h>
#include <qwt_symbol.h>
#include <qwt_text.h>

#include <atomic>
#include <cmath>

namespace Quorvex3 {

namespace {

constexpr double kMmPerInch = 25.4;
constexpr int kExportDpi = 150;
constexpr double kDotsPerMetre = 5905.0; // 150 dots per inch
constexpr double kGridGapMm = 10.0;
constexpr int kPreviewLeastWidth = 120; // pixels
const QString kPlotFilters =
    QStringLiteral("PNG Image (*.png);;SVG Vector (*.svg);;PDF Document (*.pdf)");

int exportPixels(double mm) {
    return static_cast<int>(mm / kMmPerInch * kExportDpi);
}

void configureRenderer(QwtPlotRenderer& renderer, const CombinePlotWindow::ExportSettings& s) {
    configureExportRenderer(renderer);
    if (!s.showRightTopAxes) {
        renderer.setLayoutFlag(QwtPlotRenderer::FrameWithScales, false);
        renderer.setDiscardFlag(QwtPlotRenderer::DiscardCanvasFrame, true);
    }
}

} // namespace

/// What applyExportSettingsToPlot changes on a plot, so that the plot on
/// screen looks as before once a file or a preview image is made.
struct CombinePlotWindow::PlotLook {
    QFont axisFonts[QwtPlot::axisCnt];
    int scalePenWidths[QwtPlot::axisCnt] = {0, 0, 0, 0};
    bool axisEnabled[QwtPlot::axisCnt] = {false, false, false, false};
    QwtText xTitle;
    QwtText yTitle;
    QwtText title;
    std::vector<std::pair<QwtPlotTextLabel*, QwtText>> labels;
    struct Symbol {
        QwtPlotCurve* curve;
        QwtSymbol::Style style;
        QBrush brush;
        QPen pen;
        QSize size;
    };
    std::vector<Symbol> symbols;
    std::vector<std::pair<QwtPlotSpectroCurve*, double>> spectroWidths;
    std::vector<std::pair<QwtPlotGrid*, bool>> grids;
};

/// Plot files being written on a pool thread from recordings made on the
/// GUI thread. The writer shares only its own state with the window, so a
/// window closed meanwhile lets it finish (and remove its temporary file)
/// on its own.
class CombinePlotWindow::PlotExportTask {
public:
    struct File {
        QString path;
        PlotTarget target;
        std::shared_ptr<const RecordedPlot> recording;
    };
    struct State {
        std::vector<File> files;
        std::function<void(const QString&)> fileHook;
        std::atomic<bool> cancel{false};
        std::atomic<int> steps{0};
        // Written by the writer, read once it has finished.
        QString failedPath;
        QString error;
    };

    std::shared_ptr<State> state = std::make_shared<State>();
    QFutureWatcher<void> watcher;
    // Children of the window: gone with it when it goes first.
    QPointer<QProgressDialog> progress;
    QPointer<QTimer> poll;

    ~PlotExportTask() {
        // Stops at its next step; the files stay as they were.
        state->cancel = true;
        delete progress;
        delete poll;
    }

    static void run(const std::shared_ptr<State>& state) {
        for (const File& file : state->files) {
            if (state->cancel)
                return;
            if (state->fileHook)
                state->fileHook(file.path);
            QString error;
            const bool written = writeRecordedPlot(
                file.path, file.target, *file.recording, &state->cancel,
                [&state] { ++state->steps; }, &error);
            if (!written) {
                state->failedPath = file.path;
                state->error = error;
                return;
            }
        }
    }
};

void CombinePlotWindow::PlotExportTaskDeleter::operator()(PlotExportTask* task) const {
    delete task;
}

bool CombinePlotWindow::exportRunning() const {
    // Until its end has been handled (an error shown, the dialog gone).
    return m_exportTask != nullptr;
}

void CombinePlotWindow::setExportFileHook(std::function<void(const QString& path)> hook) {
    m_exportFileHook = std::move(hook);
}

void CombinePlotWindow::setupExportSettingsDock() {
    m_exportDock = new QDockWidget(tr("Export Settings"), this);
    m_exportDock->setObjectName(QStringLiteral("exportSettingsDock"));
    m_exportDock->setAllowedAreas(Qt::TopDockWidgetArea | Qt::BottomDockWidgetArea);
    m_exportDock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);
    auto* panel = new QWidget(m_exportDock);
    auto* grid = new QGridLayout(panel);
    grid->setContentsMargins(6, 4, 6, 4);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(4);

    auto spin = [panel](const QString& name, int low, int high, const QString& suffix) {
        auto* box = new QSpinBox(panel);
        box->setObjectName(name);
        box->setRange(low, high);
        box->setSuffix(suffix);
        return box;
    };
    auto check = [panel](const QString& text, const QString& name) {
        auto* box = new QCheckBox(text, panel);
        box->setObjectName(name);
        return box;
    };
    const QString pt = QStringLiteral(" pt");
    const QString mm = QStringLiteral(" mm");
    const QString px = QStringLiteral(" px");
    m_tickLabelSpin = spin(QStringLiteral("tickLabelSpin"), 4, 24, pt);
    m_axisLabelSpin = spin(QStringLiteral("axisLabelSpin"), 4, 24, pt);
    m_showTitleCheck = check(tr("Show titles"), QStringLiteral("showTitleCheck"));
    m_titleSizeSpin = spin(QStringLiteral("titleSizeSpin"), 4, 24, pt);
    m_titleBoldCheck = check(tr("Bold titles"), QStringLiteral("titleBoldCheck"));
    m_titleColorCheck = check(tr("Color titles"), QStringLiteral("titleColorCheck"));
    m_plotWidthSpin = spin(QStringLiteral("plotWidthSpin"), 50, 600, mm);
    m_plotHeightSpin = spin(QStringLiteral("plotHeightSpin"), 50, 600, mm);
    m_pointSizeSpin = spin(QStringLiteral("pointSizeSpin"), 1, 20, px);
    m_axisWidthSpin = new QDoubleSpinBox(panel);
    m_axisWidthSpin->setObjectName(QStringLiteral("axisWidthSpin"));
    m_axisWidthSpin->setRange(0.5, 5.0);
    m_axisWidthSpin->setSingleStep(0.5);
    m_axisWidthSpin->setDecimals(1);
    m_axisWidthSpin->setSuffix(px);
    m_gridCheck = check(tr("Grid"), QStringLiteral("gridCheck"));
    m_rightTopAxesCheck = check(tr("Right/Top axes"), QStringLiteral("rightTopAxesCheck"));
    m_uniformColorLabel = new QLabel(tr("Uniform color"), panel);
    m_uniformColorCombo = new QComboBox(panel);
    m_uniformColorCombo->setObjectName(QStringLiteral("uniformColorCombo"));
    m_uniformColorCombo->addItem(tr("Black"), QColor(Qt::black));
    m_uniformColorCombo->addItem(tr("Gray"), QColor(Qt::darkGray));
    m_uniformColorCombo->addItem(tr("Blue"), QColor(Qt::blue));
    m_uniformColorCombo->addItem(tr("Red"), QColor(Qt::red));
    m_uniformColorCombo->addItem(tr("Green"), QColor(Qt::darkGreen));
    m_uniformColorCombo->addItem(tr("Purple"), QColor(128, 0, 128));

    grid->addWidget(new QLabel(tr("Tick labels"), panel), 0, 0);
    grid->addWidget(m_tickLabelSpin, 1, 0);
    grid->addWidget(new QLabel(tr("Axis labels"), panel), 0, 1);
    grid->addWidget(m_axisLabelSpin, 1, 1);
    grid->addWidget(m_showTitleCheck, 0, 2);
    grid->addWidget(m_titleSizeSpin, 1, 2);
    grid->addWidget(m_titleBoldCheck, 0, 3);
    grid->addWidget(m_titleColorCheck, 1, 3);
    grid->addWidget(new QLabel(tr("Width"), panel), 0, 4);
    grid->addWidget(m_plotWidthSpin, 1, 4);
    grid->addWidget(new QLabel(tr("Height"), panel), 0, 5);
    grid->addWidget(m_plotHeightSpin, 1, 5);
    grid->addWidget(new QLabel(tr("Point size"), panel), 0, 6);
    grid->addWidget(m_pointSizeSpin, 1, 6);
    grid->addWidget(new QLabel(tr("Axis width"), panel), 0, 7);
    grid->addWidget(m_axisWidthSpin, 1, 7);
    grid->addWidget(m_gridCheck, 0, 8);
    grid->addWidget(m_rightTopAxesCheck, 1, 8);
    grid->addWidget(m_uniformColorLabel, 0, 9);
    grid->addWidget(m_uniformColorCombo, 1, 9);

    pushExportSettingsToControls();
    for (QSpinBox* box : {m_tickLabelSpin, m_axisLabelSpin, m_titleSizeSpin, m_plotWidthSpin,
                          m_plotHeightSpin, m_pointSizeSpin})
        connect(box, QOverload<int>::of(&QSpinBox::valueChanged), this,
                &CombinePlotWindow::onExportSettingsChanged);
    connect(m_axisWidthSpin, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            &CombinePlotWindow::onExportSettingsChanged);
    for (QCheckBox* box :
         {m_showTitleCheck, m_titleBoldCheck, m_titleColorCheck, m_gridCheck, m_rightTopAxesCheck})
        connect(box, &QCheckBox::toggled, this, &CombinePlotWindow::onExportSettingsChanged);
    connect(m_uniformColorCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &CombinePlotWindow::onExportSettingsChanged);

    m_exportDock->setWidget(panel);
    addDockWidget(Qt::BottomDockWidgetArea, m_exportDock);
    m_exportDock->hide();
    updateUniformColorVisibility();
}

void CombinePlotWindow::setupStatsDock() {
    m_statsDock = new QDockWidget(tr("Plot Statistics"), this);
    m_statsDock->setObjectName(QStringLiteral("statsDock"));
    m_statsTable = new QTableWidget(m_statsDock);
    m_statsTable->setObjectName(QStringLiteral("statsTable"));
    m_statsTable->setAlternatingRowColors(true);
    m_statsTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_statsTable->horizontalHeader()->setStretchLastSection(true);
    m_statsDock->setWidget(m_statsTable);
    addDockWidget(Qt::BottomDockWidgetArea, m_statsDock);
    splitDockWidget(m_exportDock, m_statsDock, Qt::Vertical);
    m_statsDock->hide();
    connect(m_statsDock, &QDockWidget::visibilityChanged, this, [this](bool visible) {
        if (visible)
            updateStatsTable();
    });
}

void CombinePlotWindow::updateUniformColorVisibility() {
    const bool show = m_colorMode == 2;
    m_uniformColorLabel->setVisible(show);
    m_uniformColorCombo->setVisible(show);
}

void CombinePlotWindow::pushExportSettingsToControls() {
    const ExportSettings s = m_exportSettings;
    const QWidget* controls[] = {m_tickLabelSpin,    m_axisLabelSpin,  m_showTitleCheck,
                                 m_titleSizeSpin,    m_titleBoldCheck, m_titleColorCheck,
                                 m_plotWidthSpin,    m_plotHeightSpin, m_pointSizeSpin,
                                 m_axisWidthSpin,    m_gridCheck,      m_rightTopAxesCheck,
                                 m_uniformColorCombo};
    std::vector<QSignalBlocker> blockers;
    for (const QWidget* control : controls)
        blockers.emplace_back(const_cast<QWidget*>(control));
    m_tickLabelSpin->setValue(s.tickLabelSize);
    m_axisLabelSpin->setValue(s.axisLabelSize);
    m_showTitleCheck->setChecked(s.showTitle);
    m_titleSizeSpin->setValue(s.titleSize);
    m_titleBoldCheck->setChecked(s.titleBold);
    m_titleColorCheck->setChecked(s.titleUseColor);
    m_plotWidthSpin->setValue(static_cast<int>(s.plotWidthMm));
    m_plotHeightSpin->setValue(static_cast<int>(s.plotHeightMm));
    m_pointSizeSpin->setValue(s.pointSize);
    m_axisWidthSpin->setValue(s.axisLineWidth);
    m_gridCheck->setChecked(s.showGrid);
    m_rightTopAxesCheck->setChecked(s.showRightTopAxes);
    for (int i = 0; i < m_uniformColorCombo->count(); ++i) {
        if (m_uniformColorCombo->itemData(i).value<QColor>() == s.uniformColor) {
            m_uniformColorCombo->setCurrentIndex(i);
            break;
        }
    }
}

void CombinePlotWindow::onExportSettingsChanged() {
    ExportSettings& s = m_exportSettings;
    s.tickLabelSize = m_tickLabelSpin->value();
    s.axisLabelSize = m_axisLabelSpin->value();
    s.showTitle = m_showTitleCheck->isChecked();
    s.titleSize = m_titleSizeSpin->value();
    s.titleBold = m_titleBoldCheck->isChecked();
    s.titleUseColor = m_titleColorCheck->isChecked();
    s.plotWidthMm = m_plotWidthSpin->value();
    s.plotHeightMm = m_plotHeightSpin->value();
    s.pointSize = m_pointSizeSpin->value();
    s.axisLineWidth = m_axisWidthSpin->value();
    s.showGrid = m_gridCheck->isChecked();
    s.showRightTopAxes = m_rightTopAxesCheck->isChecked();
    const QVariant color = m_uniformColorCombo->currentData();
    s.uniformColor = color.canConvert<QColor>() ? color.value<QColor>() : QColor();
    if (m_exportPreview)
        rebuildPlots();
}

CombinePlotWindow::PlotLook CombinePlotWindow::savePlotLook(QwtPlot* plot) {
    PlotLook look;
    for (int axis = 0; axis < QwtPlot::axisCnt; ++axis) {
        look.axisFonts[axis] = plot->axisFont(axis);
        look.scalePenWidths[axis] = plot->axisScaleDraw(axis)->penWidth();
        look.axisEnabled[axis] = plot->axisEnabled(axis);
    }
    look.xTitle = plot->axisTitle(QwtPlot::xBottom);
    look.yTitle = plot->axisTitle(QwtPlot::yLeft);
    look.title = plot->title();
    for (QwtPlotItem* item : plot->itemList()) {
        if (auto* label = dynamic_cast<QwtPlotTextLabel*>(item))
            look.labels.emplace_back(label, label->text());
        else if (auto* spectro = dynamic_cast<QwtPlotSpectroCurve*>(item))
            look.spectroWidths.emplace_back(spectro, spectro->penWidth());
        else if (auto* grid = dynamic_cast<QwtPlotGrid*>(item))
            look.grids.emplace_back(grid, grid->isVisible());
        else if (auto* curve = dynamic_cast<QwtPlotCurve*>(item); curve && curve->symbol()) {
            const QwtSymbol* symbol = curve->symbol();
            look.symbols.push_back(
                {curve, symbol->style(), symbol->brush(), symbol->pen(), symbol->size()});
        }
    }
    return look;
}

void CombinePlotWindow::restorePlotLook(QwtPlot* plot, const PlotLook& look, bool replot) {
    for (int axis = 0; axis < QwtPlot::axisCnt; ++axis) {
        plot->setAxisFont(axis, look.axisFonts[axis]);
        plot->axisScaleDraw(axis)->setPenWidth(look.scalePenWidths[axis]);
        plot->enableAxis(axis, look.axisEnabled[axis]);
    }
    plot->setAxisTitle(QwtPlot::xBottom, look.xTitle);
    plot->setAxisTitle(QwtPlot::yLeft, look.yTitle);
    plot->setTitle(look.title);
    for (const auto& [label, text] : look.labels)
        label->setText(text);
    for (const PlotLook::Symbol& s : look.symbols)
        s.curve->setSymbol(new QwtSymbol(s.style, s.brush, s.pen, s.size));
    for (const auto& [curve, width] : look.spectroWidths)
        curve->setPenWidth(width);
    for (const auto& [grid, visible] : look.grids)
        grid->setVisible(visible);
    if (replot)
        plot->replot();
}

void CombinePlotWindow::applyExportSettingsToPlot(QwtPlot* plot, bool replot) {
    const ExportSettings& s = m_exportSettings;
    QFont tickFont;
    tickFont.setPointSize(s.tickLabelSize);
    for (const int axis : {QwtPlot::yLeft, QwtPlot::yRight, QwtPlot::xBottom, QwtPlot::xTop})
        plot->setAxisFont(axis, tickFont);
    for (QwtPlotItem* item : plot->itemList(QwtPlotItem::Rtti_PlotTextLabel)) {
        auto* label = static_cast<QwtPlotTextLabel*>(item);
        QwtText text = label->text();
        QFont font = text.font();
        font.setPointSize(s.tickLabelSize);
        text.setFont(font);
        label->setText(text);
    }
    for (const int axis : {QwtPlot::xBottom, QwtPlot::yLeft}) {
        QwtText title = plot->axisTitle(axis);
        QFont font = title.font();
        font.setPointSize(s.axisLabelSize);
        font.setBold(false);
        title.setFont(font);
        plot->setAxisTitle(axis, title);
    }
    if (!s.showTitle) {
        plot->setTitle(QString());
    } else if (!plot->title().text().isEmpty()) {
        QwtText title = plot->title();
        QFont font = title.font();
        font.setPointSize(s.titleSize);
        font.setBold(s.titleBold); // Qt 5 weights: bold is 75, not 700
        title.setFont(font);
        if (!s.titleUseColor)
            title.setColor(Qt::black);
        plot->setTitle(title);
    }
    for (QwtPlotItem* item : plot->itemList()) {
        if (auto* spectro = dynamic_cast<QwtPlotSpectroCurve*>(item)) {
            spectro->setPenWidth(s.pointSize);
        } else if (auto* curve = dynamic_cast<QwtPlotCurve*>(item); curve && curve->symbol()) {
            const QwtSymbol* old = curve->symbol();
            curve->setSymbol(new QwtSymbol(QwtSymbol::Ellipse, old->brush(), old->pen(),
                                           QSize(s.pointSize, s.pointSize)));
        } else if (auto* grid = dynamic_cast<QwtPlotGrid*>(item)) {
            grid->setVisible(s.showGrid);
        }
    }
    // Qwt 6.1 draws scales with whole-pixel pens.
    const int penWidth = std::max(1, static_cast<int>(std::lround(s.axisLineWidth)));
    for (int axis = 0; axis < QwtPlot::axisCnt; ++axis) {
        if (plot->axisEnabled(axis))
            plot->axisScaleDraw(axis)->setPenWidth(penWidth);
    }
    if (!s.showRightTopAxes) {
        plot->enableAxis(QwtPlot::xTop, false);
        plot->enableAxis(QwtPlot::yRight, false);
    }
    if (replot)
        plot->replot();
    else
        plot->updateAxes();
}

void CombinePlotWindow::setExportPreview(bool on) {
    m_exportPreview = on;
    m_exportDock->setVisible(on);
    if (on) {
        applyExportPreview();
    } else {
        clearExportPreview();
        rebuildPlots();
    }
}

void CombinePlotWindow::applyExportPreview() {
    clearExportPreview();
    if (m_plots.empty())
        return;
    QwtPlotRenderer renderer;
    configureRenderer(renderer, m_exportSettings);
    const int w = exportPixels(m_exportSettings.plotWidthMm);
    const int h = exportPixels(m_exportSettings.plotHeightMm);
    const double ratio = h > 0 ? static_cast<double>(w) / h : 1.0;
    for (QwtPlot* plot : m_plots) {
        const PlotLook look = savePlotLook(plot);
        const PlotExportStyle style = applyExportStyle(plot);
        applyExportSettingsToPlot(plot);
        QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
        image.setDotsPerMeterX(static_cast<int>(kDotsPerMetre));
        image.setDotsPerMeterY(static_cast<int>(kDotsPerMetre));
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            renderer.render(plot, &painter, QRectF(0, 0, w, h));
        }
        restoreExportStyle(plot, style);
        restorePlotLook(plot, look);

        auto* label = new AspectRatioLabel(ratio, m_plotContainer);
        label->setObjectName(QStringLiteral("exportPreviewLabel"));
        // Small enough that the whole page fits the panel on a small screen
        // with the export and statistics docks open beside it.
        label->setMinimumSize(kPreviewLeastWidth, static_cast<int>(kPreviewLeastWidth / ratio));
        label->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        label->setPixmap(QPixmap::fromImage(image));
        int row = 0, column = 0, rowSpan = 1, columnSpan = 1;
        m_plotGrid->getItemPosition(m_plotGrid->indexOf(plot), &row, &column, &rowSpan,
                                    &columnSpan);
        m_plotGrid->addWidget(label, row, column, rowSpan, columnSpan);
        m_previewLabels.push_back(label);
        plot->hide();
    }
}

QRect AspectRatioLabel::pageRect() const {
    const QSize page =
        QSize(1000, static_cast<int>(1000 / m_ratio)).scaled(size(), Qt::KeepAspectRatio);
    return {QPoint((width() - page.width()) / 2, (height() - page.height()) / 2), page};
}

void AspectRatioLabel::paintEvent(QPaintEvent*) {
    const QPixmap page = pixmap(Qt::ReturnByValue);
    if (page.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(pageRect(), page);
}

void CombinePlotWindow::clearExportPreview() {
    for (AspectRatioLabel* label : m_previewLabels) {
        m_plotGrid->removeWidget(label);
        delete label;
    }
    m_previewLabels.clear();
    for (QwtPlot* plot : m_plots) {
        plot->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
        plot->show();
    }
    m_plotGrid->invalidate();
    m_plotContainer->updateGeometry();
}

void CombinePlotWindow::showExportError(const QString& path, const QString& reason) {
    DialogProvider::current().critical(
        this, tr("Export Error"),
        tr("Could not write \"%1\".\n%2").arg(QDir::toNativeSeparators(path), reason));
}

void CombinePlotWindow::exportPlots() {
    if (m_plots.empty())
        return;
    // A typed "fig.svg" means an SVG file, whichever filter was left selected.
    const QString path = askSaveFilePath(this, tr("Export Plots"), QString(), kPlotFilters);
    if (path.isEmpty())
        return;
    writePlotFiles(path, QFileInfo(path).suffix().toLower());
}

bool CombinePlotWindow::writePlotFiles(const QString& path, const QString& suffix) {
    const PlotFileFormat format = plotFileFormatOf(suffix);
    const ExportSettings& s = m_exportSettings;
    const QSizeF plotMm(s.plotWidthMm, s.plotHeightMm);

    enum class Mode { Single, Grid, Individual };
    Mode mode = Mode::Single;
    std::vector<QString> targets{path};
    if (m_plots.size() > 1) {
        CustomMessageBox box;
        box.title = tr("Export Mode");
        box.text = tr("How would you like to export?");
        box.buttons = {{tr("Single Grid Image"), QMessageBox::AcceptRole},
                       {tr("Individual Plots"), QMessageBox::AcceptRole},
                       {tr("Cancel"), QMessageBox::RejectRole}};
        const int answer = DialogProvider::current().messageBox(this, box);
        if (answer != 0 && answer != 1)
            return false;
        mode = answer == 0 ? Mode::Grid : Mode::Individual;
    }
    if (mode == Mode::Individual) {
        const QFileInfo info(path);
        targets.clear();
        QStringList existing;
        for (size_t k = 0; k < m_plots.size(); ++k) {
            targets.push_back(QStringLiteral("%1/%2_%3.%4")
                                  .arg(info.absolutePath(), info.completeBaseName())
                                  .arg(k + 1)
                                  .arg(suffix));
            if (QFileInfo::exists(targets.back()))
                existing << QFileInfo(targets.back()).fileName();
        }
        if (!existing.isEmpty() &&
            DialogProvider::current().question(
                this, tr("Export Plots"),
                tr("These files exist already and would be replaced:\n%1\n\nReplace them?")
                    .arg(existing.join(QLatin1Char('\n'))),
                QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
            return false;
    }
    if (format == PlotFileFormat::Unknown) {
        showExportError(path, tr("Plots can be written as PNG, SVG or PDF only."));
        return false;
    }

    if (exportRunning()) {
        DialogProvider::current().information(this, tr("Export Plots"),
                                              tr("The previous export is still being written."));
        return false;
    }

    // The export look goes on every plot while it is recorded and comes off
    // again before anything is shown: the canvases are not repainted, the
    // plots on screen look as they did. The files are written afterwards,
    // on a pool thread, from the recordings.
    std::vector<PlotLook> looks;
    std::vector<PlotExportStyle> styles;
    for (QwtPlot* plot : m_plots) {
        plot->setUpdatesEnabled(false);
        looks.push_back(savePlotLook(plot));
        styles.push_back(applyExportStyle(plot, false));
        applyExportSettingsToPlot(plot, false);
    }
    QwtPlotRenderer renderer;
    configureRenderer(renderer, s);
    std::unique_ptr<PlotExportTask, PlotExportTaskDeleter> task(new PlotExportTask);
    task->state->fileHook = m_exportFileHook;
    if (mode == Mode::Grid) {
        const CombineGridSize grid = computeGridSize(static_cast<int>(m_plots.size()));
        PlotPageSetup page;
        page.sizeMm = QSizeF(grid.columns * s.plotWidthMm + (grid.columns - 1) * kGridGapMm,
                             grid.rows * s.plotHeightMm + (grid.rows - 1) * kGridGapMm);
        page.dpi = kExportDpi;
        page.title = QStringLiteral("Combine Plot Export");
        const PlotTarget target = plotPageTarget(format, page);
        PlotRecorder recorder(target);
        const double unitsPerMm = recorder.unitsPerMm();
        for (size_t k = 0; k < m_plots.size(); ++k) {
            const int row = static_cast<int>(k) / grid.columns;
            const int column = static_cast<int>(k) % grid.columns;
            const QRectF cell(column * (s.plotWidthMm + kGridGapMm) * unitsPerMm,
                              row * (s.plotHeightMm + kGridGapMm) * unitsPerMm,
                              s.plotWidthMm * unitsPerMm, s.plotHeightMm * unitsPerMm);
            recorder.render(renderer, m_plots[k], cell);
        }
        task->state->files.push_back({path, target, recorder.finish()});
    } else {
        for (size_t k = 0; k < targets.size(); ++k) {
            const PlotTarget target = plotDocumentTarget(format, plotMm, kExportDpi);
            PlotRecorder recorder(target);
            recorder.render(renderer, m_plots[k], recorder.documentRect());
            task->state->files.push_back({targets[k], target, recorder.finish()});
        }
    }
    // Back as it was; the canvases still show what they drew before.
    for (size_t k = 0; k < m_plots.size(); ++k) {
        restorePlotLook(m_plots[k], looks[k], false);
        restoreExportStyle(m_plots[k], styles[k], false);
        m_plots[k]->setUpdatesEnabled(true);
    }

    int steps = 0;
    for (const PlotExportTask::File& file : task->state->files)
        steps += PlotRecorder::stepCount(*file.recording);
    auto* progress = new QProgressDialog(tr("Writing %1\u2026").arg(QFileInfo(path).fileName()),
                                         tr("Cancel"), 0, steps, this);
    progress->setObjectName(QStringLiteral("exportProgress"));
    progress->setWindowTitle(tr("Export Plots"));
    progress->setWindowModality(Qt::WindowModal);
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    progress->setMinimumDuration(0);
    progress->setValue(0);
    progress->show();
    task->progress = progress;
    const std::shared_ptr<PlotExportTask::State> state = task->state;
    // Cancel: the writer stops at its next step and leaves the target as it
    // was; the window is free at once.
    connect(progress, &QProgressDialog::canceled, this, [this, state] {
        state->cancel = true;
        if (m_exportTask && m_exportTask->progress)
            m_exportTask->progress->hide();
    });
    task->poll = new QTimer(this);
    task->poll->setInterval(100);
    connect(task->poll, &QTimer::timeout, this, [this, state] {
        if (m_exportTask && m_exportTask->progress && !state->cancel)
            m_exportTask->progress->setValue(
                std::min(state->steps.load(), m_exportTask->progress->maximum()));
    });
    connect(&task->watcher, &QFutureWatcher<void>::finished, this,
            &CombinePlotWindow::onPlotExportFinished);
    task->poll->start();
    m_exportTask = std::move(task);
    m_exportTask->watcher.setFuture(QtConcurrent::run([state] {
        try {
            PlotExportTask::run(state);
        } catch (...) {
            // Nothing may leave a pool task: the file stays as it was.
            state->failedPath = state->files.empty() ? QString() : state->files.front().path;
            state->error = QStringLiteral("The file could not be written.");
        }
    }));
    return true;
}

void CombinePlotWindow::onPlotExportFinished() {
    if (!m_exportTask)
        return;
    const std::shared_ptr<PlotExportTask::State> state = m_exportTask->state;
    m_exportTask->poll->stop();
    m_exportTask->progress->hide();
    const bool cancelled = state->cancel;
    // Released from the event loop: this runs inside the watcher's signal
    // (and the window may be gone by then).
    PlotExportTask* done = m_exportTask.release();
    QTimer::singleShot(0, QCoreApplication::instance(), [done] { delete done; });
    if (!cancelled && !state->failedPath.isEmpty())
        showExportError(state->failedPath, state->error);
}

void CombinePlotWindow::exportStatsTsv() {
    // The table is kept up to date only while its dock is shown.
    if (!m_statsDock->isVisible() || m_statsTable->rowCount() == 0)
        fillStatsTable();
    if (m_statsTable->rowCount() == 0 || m_statsTable->columnCount() == 0) {
        DialogProvider::current().information(this, tr("Export Plot Statistics"),
                                              tr("There are no plot statistics to export."));
        return;
    }
    QString directory;
    if (!m_refs.empty()) {
        if (const DatasetEntry* entry = findDatasetEntry(m_refs.front().datasetId))
            directory = QFileInfo(QString::fromStdString(entry->filePath)).absolutePath();
    }
    const QString path =
        askSaveFilePath(this, tr("Export Plot Statistics"),
                        directory + QStringLiteral("/plot_statistical_summary.tsv"),
                        tr("Tab-Separated Values (*.tsv);;All Files (*)"));
    if (path.isEmpty())
        return;

    auto cellText = [](const QTableWidgetItem* item) { return item ? item->text() : QString(); };
    QString text;
    QStringList header;
    for (int c = 0; c < m_statsTable->columnCount(); ++c)
        header << cellText(m_statsTable->horizontalHeaderItem(c));
    text += header.join(QLatin1Char('\t')) + QLatin1Char('\n');
    for (int r = 0; r < m_statsTable->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < m_statsTable->columnCount(); ++c)
            cells << cellText(m_statsTable->item(r, c));
        text += cells.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    QString error;
    if (isWriteProtectedFile(path))
        showExportError(path, tr("The file is read-only."));
    else if (writeFileAtomically(path, text.toUtf8(), &error) != WriteResult::Written)
        showExportError(path, error);
}

} // namespace Quorvex3
