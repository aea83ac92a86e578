#pragma once

#include <QPixmap>
#include <QString>
#include <QWidget>

#include <opencv2/core.hpp>

#include <cstdint>
#include <vector>

class QCheckBox;
class QContextMenuEvent;
class QLabel;
class QScrollArea;

namespace Quorvex3 {

/// Panel showing one event's 8-bit grey camera image, optionally with its
/// binary mask blended over it, with zoom, fit-to-window, automatic contrast
/// stretch and "Save Image..." (raw frame at native size).
///
/// The viewer never reads measurements: callers hand it the bytes. Whether
/// the mask is shown is the caller's decision (it consults isMaskChecked()
/// and calls displayImage or displayImageWithMask). GUI thread only.
class ImageViewer : public QWidget {
    Q_OBJECT

public:
    explicit ImageViewer(QWidget* parent = nullptr);
    ~ImageViewer() override;

    /// Shows a row-major image of width × height bytes without mask. Zero
    /// sizes or a buffer shorter than width × height clear the viewer.
    void displayImage(const std::vector<uint8_t>& image, int width, int height,
                      const QString& title);

    /// Shows an image with its mask (same layout; non-zero marks the event)
    /// laid over it. A mask shorter than the image shows the image alone.
    void displayImageWithMask(const std::vector<uint8_t>& image, const std::vector<uint8_t>& mask,
                              int width, int height, const QString& title);

    /// Forgets image and mask; title back to "No Image". Zoom, fit mode and
    /// the check boxes keep their state.
    void clear();

    /// Sets the zoom factor (clamped to [0.1, 10]) without changing fit mode.
    void setZoom(double zoom);
    double zoom() const { return m_zoom; }
    bool isFitMode() const { return m_fitMode; }

    /// The auto-contrast flag; the setter redraws but leaves the check box.
    void setAutoContrast(bool on);
    bool autoContrast() const { return m_autoContrast; }
    bool isAutoContrastChecked() const;

    /// Enables or disables the "Show Mask" check box.
    void setMaskEnabled(bool enabled);
    bool isMaskChecked() const;

    /// Whether an image is currently shown.
    bool hasImage() const { return !m_image.empty(); }

    /// Grey (one channel) or BGR (three channels) 8-bit matrix as a pixmap;
    /// null for an empty matrix or any other channel count.
    static QPixmap matToPixmap(const cv::Mat& mat);

public slots:
    void zoomIn();
    void zoomOut();
    void fitToWindow();
    void actualSize();
    /// Asks for a file name and writes the raw image as held (PNG or JPEG by
    /// extension). Dialogs go through DialogProvider.
    void saveImage();

signals:
    void imageSaved(const QString& path);
    void showMaskToggled(bool checked);
    void autoContrastToggled(bool checked);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void setupUI();
    void updateDisplay();
    void applyFitZoom();
    void presentFrame(const QString& title);

    cv::Mat m_image; // deep copy, CV_8UC1, empty when nothing is shown
    cv::Mat m_mask;  // same size as m_image, or empty
    double m_zoom = 1.0;
    bool m_fitMode = true;
    bool m_autoContrast = false;

    QLabel* m_titleLabel = nullptr;
    QScrollArea* m_scrollArea = nullptr;
    QLabel* m_imageLabel = nullptr;
    QCheckBox* m_showMaskCheck = nullptr;
    QCheckBox* m_autoContrastCheck = nullptr;
};

} // namespace Quorvex3
