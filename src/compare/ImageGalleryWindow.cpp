#include "compare/ImageGalleryWindow.h"

#include "util/WindowUtil.h"

#include <QCloseEvent>
#include <QLabel>

namespace Quorvex3 {

ImageGalleryWindow::ImageGalleryWindow(MainWindow* main, int datasetId, QWidget* parent)
    : QMainWindow(parent), m_mainWindow(main), m_datasetId(datasetId) {
    // The main window deletes it after windowClosed; it must not delete itself.
    setAttribute(Qt::WA_DeleteOnClose, false);
    setWindowTitle(tr("Image Gallery"));
    resize(1100, 800);
    auto* notice = new QLabel(tr("The image gallery is not available yet."), this);
    notice->setAlignment(Qt::AlignCenter);
    notice->setStyleSheet(QStringLiteral("color: gray;"));
    setCentralWidget(notice);
    WindowUtil::addKeepOnTopAction(this);
}

ImageGalleryWindow::~ImageGalleryWindow() = default;

void ImageGalleryWindow::refreshFromMain() {}

void ImageGalleryWindow::onActiveDatasetChanged(int) {}

void ImageGalleryWindow::onMainDatasetRemoved(int datasetId) {
    if (datasetId == m_datasetId)
        close();
}

void ImageGalleryWindow::onDatasetRenamed(int datasetId, const QString& name) {
    if (datasetId == m_datasetId)
        m_datasetName = name;
}

void ImageGalleryWindow::closeEvent(QCloseEvent* event) {
    emit windowClosed(this);
    QMainWindow::closeEvent(event);
}

} // namespace Quorvex3
