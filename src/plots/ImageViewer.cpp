#include "plots/ImageViewer.h"

#include "util/DialogProvider.h"
#include "util/FileNameUtil.h"
#include "util/WrapRowLayout.h"

#include <QCheckBox>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace Quorvex3 {

namespace {

constexpr double kMinZoom = 0.1;
constexpr double kMaxZoom = 10.0;
constexpr double kZoomStep = 1.25;

// Mask overlay colour (blue, green, red) and its weight in the blend.
const cv::Scalar kMaskColourBgr(0, 204, 254);
constexpr double kMaskWeight = 0.3;

double clampZoom(double zoom) {
    return std::clamp(zoom, kMinZoom, kMaxZoom);
}

// True when `bytes` holds a whole row-major frame of width × height.
bool holdsFrame(const std::vector<uint8_t>& bytes, int width, int height) {
    if (width < 1 || height < 1 || bytes.empty())
        return false;
    return bytes.size() >= static_cast<size_t>(width) * static_cast<size_t>(height);
}

// Deep copy of the first width × height bytes as a height × width matrix.
cv::Mat copyFrame(const std::vector<uint8_t>& bytes, int width, int height) {
    const cv::Mat view(height, width, CV_8UC1, const_cast<uint8_t*>(bytes.data()));
    return view.clone();
}

// Stretches the grey range of `image` to 0 … 255 in place; a uniform image
// has no range to stretch and stays as it is.
void stretchContrast(cv::Mat& image) {
    cv::Mat grey = image;
    if (image.channels() > 1)
        cv::cvtColor(image, grey, cv::COLOR_BGR2GRAY);
    double minValue = 0.0;
    double maxValue = 0.0;
    cv::minMaxLoc(grey, &minValue, &maxValue);
    if (maxValue <= minValue)
        return;
    const double scale = 255.0 / (maxValue - minValue);
    image.convertTo(image, -1, scale, -minValue * scale);
}

// Grey image with the mask's pixels blended 70 % image, 30 % overlay colour.
cv::Mat blendMask(const cv::Mat& grey, const cv::Mat& mask) {
    cv::Mat base;
    cv::cvtColor(grey, base, cv::COLOR_GRAY2BGR);
    cv::Mat coloured = base.clone();
    coloured.setTo(kMaskColourBgr, mask);
    cv::Mat blended;
    cv::addWeighted(base, 1.0 - kMaskWeight, coloured, kMaskWeight, 0.0, blended);
    return blended;
}

} // namespace

ImageViewer::ImageViewer(QWidget* parent) : QWidget(parent) {
    setupUI();
}

ImageViewer::~ImageViewer() = default;

void ImageViewer::setupUI() {
    m_titleLabel = new QLabel(tr("No Image"), this);
    m_titleLabel->setAlignment(Qt::AlignCenter);
    QFont titleFont = m_titleLabel->font();
    titleFont.setPointSize(12);
    titleFont.setBold(true);
    m_titleLabel->setFont(titleFont);

    m_imageLabel = new QLabel;
    m_imageLabel->setAlignment(Qt::AlignCenter);
    m_imageLabel->setScaledContents(false);
    m_imageLabel->setMinimumSize(100, 100);

    m_scrollArea = new QScrollArea(this);
    m_scrollArea->setWidget(m_imageLabel);
    m_scrollArea->setWidgetResizable(false);

    const QString buttonStyle =
        QStringLiteral("QPushButton { padding: 2px 6px; min-height: 16px; min-width: 20px; }");
    auto makeButton = [this, &buttonStyle](const QString& text, const QString& tip) {
        auto* button = new QPushButton(text, this);
        button->setToolTip(tip);
        button->setStyleSheet(buttonStyle);
        return button;
    };
    QPushButton* zoomInButton = makeButton(QStringLiteral("+"), tr("Zoom In"));
    QPushButton* zoomOutButton = makeButton(QStringLiteral("-"), tr("Zoom Out"));
    QPushButton* actualButton = makeButton(QStringLiteral("1:1"), tr("Actual Size"));
    QPushButton* fitButton = makeButton(tr("Fit"), tr("Fit to Window"));
    connect(zoomInButton, &QPushButton::clicked, this, &ImageViewer::zoomIn);
    connect(zoomOutButton, &QPushButton::clicked, this, &ImageViewer::zoomOut);
    connect(actualButton, &QPushButton::clicked, this, &ImageViewer::actualSize);
    connect(fitButton, &QPushButton::clicked, this, &ImageViewer::fitToWindow);

    m_showMaskCheck = new QCheckBox(tr("Show Mask"), this);
    m_showMaskCheck->setChecked(true);
    m_showMaskCheck->setEnabled(false);
    m_showMaskCheck->setToolTip(tr("Show mask overlay"));
    connect(m_showMaskCheck, &QCheckBox::toggled, this, &ImageViewer::showMaskToggled);

    m_autoContrastCheck = new QCheckBox(tr("Auto Contrast"), this);
    m_autoContrastCheck->setChecked(false);
    m_autoContrastCheck->setToolTip(tr("Stretch image contrast to full range"));
    connect(m_autoContrastCheck, &QCheckBox::toggled, this, [this](bool on) {
        m_autoContrast = on;
        updateDisplay();
        emit autoContrastToggled(on);
    });

    auto* zoomRow = new QHBoxLayout;
    zoomRow->setContentsMargins(0, 0, 0, 0);
    zoomRow->setSpacing(2);
    zoomRow->addWidget(zoomInButton);
    zoomRow->addWidget(zoomOutButton);
    zoomRow->addWidget(actualButton);
    zoomRow->addWidget(fitButton);
    zoomRow->addStretch();

    // Beside the plot on a laptop screen the panel is narrower than both
    // options side by side: the second then goes on a line of its own
    // rather than both being cut.
    auto* optionRow = new WrapRowLayout(8);
    optionRow->setContentsMargins(0, 0, 0, 0);
    optionRow->addWidget(m_showMaskCheck);
    optionRow->addWidget(m_autoContrastCheck);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_titleLabel);
    layout->addWidget(m_scrollArea, 1);
    layout->addLayout(zoomRow);
    layout->addLayout(optionRow);
}

void ImageViewer::displayImage(const std::vector<uint8_t>& image, int width, int height,
                               const QString& title) {
    if (!holdsFrame(image, width, height)) {
        clear();
        return;
    }
    m_image = copyFrame(image, width, height);
    m_mask.release();
    presentFrame(title);
}

void ImageViewer::displayImageWithMask(const std::vector<uint8_t>& image,
                                       const std::vector<uint8_t>& mask, int width, int height,
                                       const QString& title) {
    if (!holdsFrame(image, width, height)) {
        clear();
        return;
    }
    m_image = copyFrame(image, width, height);
    // A truncated mask would misplace the overlay; the image alone is still
    // worth showing.
    if (holdsFrame(mask, width, height))
        m_mask = copyFrame(mask, width, height);
    else
        m_mask.release();
    presentFrame(title);
}

void ImageViewer::presentFrame(const QString& title) {
    m_titleLabel->setText(title);
    if (m_fitMode)
        applyFitZoom();
    updateDisplay();
}

void ImageViewer::clear() {
    m_image.release();
    m_mask.release();
    m_imageLabel->clear();
    m_titleLabel->setText(tr("No Image"));
}

void ImageViewer::setZoom(double zoom) {
    m_zoom = clampZoom(zoom);
    updateDisplay();
}

void ImageViewer::setAutoContrast(bool on) {
    m_autoContrast = on;
    updateDisplay();
}

bool ImageViewer::isAutoContrastChecked() const {
    return m_autoContrastCheck->isChecked();
}

void ImageViewer::setMaskEnabled(bool enabled) {
    m_showMaskCheck->setEnabled(enabled);
}

bool ImageViewer::isMaskChecked() const {
    return m_showMaskCheck->isChecked();
}

void ImageViewer::zoomIn() {
    m_fitMode = false;
    setZoom(m_zoom * kZoomStep);
}

void ImageViewer::zoomOut() {
    m_fitMode = false;
    setZoom(m_zoom / kZoomStep);
}

void ImageViewer::actualSize() {
    m_fitMode = false;
    setZoom(1.0);
}

void ImageViewer::fitToWindow() {
    m_fitMode = true;
    if (!hasImage())
        return;
    applyFitZoom();
    updateDisplay();
}

void ImageViewer::applyFitZoom() {
    const QSize viewport = m_scrollArea->viewport()->size();
    const double byWidth = static_cast<double>(viewport.width()) / m_image.cols;
    const double byHeight = static_cast<double>(viewport.height()) / m_image.rows;
    m_zoom = clampZoom(std::min(byWidth, byHeight));
}

void ImageViewer::updateDisplay() {
    if (!hasImage())
        return;
    cv::Mat shown = m_image.clone();
    if (m_autoContrast)
        stretchContrast(shown);
    if (!m_mask.empty())
        shown = blendMask(shown, m_mask);

    // At zoom 0.1 a frame under 10 pixels wide or high would shrink to
    // nothing; keep at least one pixel on each side.
    const int width = std::max(1, static_cast<int>(std::floor(m_zoom * shown.cols)));
    const int height = std::max(1, static_cast<int>(std::floor(m_zoom * shown.rows)));
    cv::Mat scaled;
    cv::resize(shown, scaled, cv::Size(width, height), 0.0, 0.0, cv::INTER_LINEAR);

    const QPixmap pixmap = matToPixmap(scaled);
    m_imageLabel->setPixmap(pixmap);
    m_imageLabel->resize(pixmap.size());
}

QPixmap ImageViewer::matToPixmap(const cv::Mat& mat) {
    if (mat.empty() || mat.depth() != CV_8U)
        return QPixmap();
    if (mat.channels() == 1) {
        const QImage image(mat.data, mat.cols, mat.rows, static_cast<int>(mat.step),
                           QImage::Format_Grayscale8);
        return QPixmap::fromImage(image.copy());
    }
    if (mat.channels() == 3) {
        cv::Mat rgb;
        cv::cvtColor(mat, rgb, cv::COLOR_BGR2RGB);
        const QImage image(rgb.data, rgb.cols, rgb.rows, static_cast<int>(rgb.step),
                           QImage::Format_RGB888);
        return QPixmap::fromImage(image.copy());
    }
    return QPixmap();
}

void ImageViewer::contextMenuEvent(QContextMenuEvent* event) {
    if (!hasImage()) {
        QWidget::contextMenuEvent(event);
        return;
    }
    QMenu menu(this);
    menu.addAction(tr("Save Image..."), this, &ImageViewer::saveImage);
    menu.exec(event->globalPos());
}

void ImageViewer::saveImage() {
    DialogProvider& dialogs = DialogProvider::current();
    if (!hasImage()) {
        dialogs.warning(this, tr("No Image"), tr("There is no image to save."));
        return;
    }
    QString selectedFilter;
    QString path = dialogs.getSaveFileName(
        this, tr("Save Image"), QString(),
        tr("PNG Images (*.png);;JPEG Images (*.jpg);;All Files (*)"), &selectedFilter);
    if (path.isEmpty())
        return;
    path = ensureSelectedFilterExtension(path, selectedFilter);

    QString error;
    try {
        // The raw frame as recorded: no contrast stretch, overlay or zoom.
        if (!cv::imwrite(path.toUtf8().constData(), m_image))
            error = tr("the file could not be written.");
    } catch (const cv::Exception& e) {
        error = QString::fromStdString(e.err.empty() ? std::string(e.what()) : e.err);
    }
    if (!error.isEmpty()) {
        dialogs.critical(this, tr("Error"), tr("Failed to save image: %1").arg(error));
        return;
    }
    emit imageSaved(path);
    dialogs.information(this, tr("Success"), tr("Image saved successfully."));
}

} // namespace Quorvex3
