#include "plots/ImageViewer.h"

#include "util/DialogProvider.h"
#include "util/ScriptedDialogProvider.h"

#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

using Quorvex3::DialogProvider;
using Quorvex3::ImageViewer;
using Quorvex3::ScopedDialogProvider;
using Quorvex3::testing::DialogCall;
using Quorvex3::testing::ScriptedDialogProvider;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes uniformFrame(int width, int height, uint8_t value) {
    return Bytes(static_cast<size_t>(width) * static_cast<size_t>(height), value);
}

// A frame whose every pixel differs from its neighbours, so a save that
// transposed, cropped or rescaled it would not compare equal.
Bytes patternFrame(int width, int height) {
    Bytes bytes(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>((i * 37 + i / static_cast<size_t>(width) * 11) % 256);
    return bytes;
}

QPushButton* button(ImageViewer& viewer, const QString& text) {
    for (QPushButton* b : viewer.findChildren<QPushButton*>()) {
        if (b->text() == text)
            return b;
    }
    return nullptr;
}

QCheckBox* checkBox(ImageViewer& viewer, const QString& text) {
    for (QCheckBox* c : viewer.findChildren<QCheckBox*>()) {
        if (c->text() == text)
            return c;
    }
    return nullptr;
}

QLabel* imageLabel(ImageViewer& viewer) {
    auto* area = viewer.findChild<QScrollArea*>();
    return area ? qobject_cast<QLabel*>(area->widget()) : nullptr;
}

QString titleText(ImageViewer& viewer) {
    for (QLabel* label : viewer.findChildren<QLabel*>()) {
        if (label != imageLabel(viewer))
            return label->text();
    }
    return QString();
}

QImage shownImage(ImageViewer& viewer) {
    QLabel* label = imageLabel(viewer);
    if (!label)
        return QImage();
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    return label->pixmap().toImage();
#else
    return label->pixmap(Qt::ReturnByValue).toImage();
#endif
}

class ImageViewerTest : public ::testing::Test {
protected:
    ImageViewer viewer;
};

} // namespace

// ===== Initial state =========================================================

TEST_F(ImageViewerTest, StartsEmptyWithMaskBoxCheckedButDisabled) {
    EXPECT_FALSE(viewer.hasImage());
    EXPECT_EQ(titleText(viewer), "No Image");
    EXPECT_DOUBLE_EQ(viewer.zoom(), 1.0);
    EXPECT_TRUE(viewer.isFitMode());
    EXPECT_FALSE(viewer.autoContrast());
    QCheckBox* mask = checkBox(viewer, "Show Mask");
    ASSERT_NE(mask, nullptr);
    EXPECT_TRUE(mask->isChecked());
    EXPECT_FALSE(mask->isEnabled());
    EXPECT_TRUE(viewer.isMaskChecked());
    EXPECT_FALSE(viewer.isAutoContrastChecked());
    for (const char* text : {"+", "-", "1:1", "Fit"})
        EXPECT_NE(button(viewer, text), nullptr) << text;
}

// ===== Zoom ==================================================================

TEST_F(ImageViewerTest, ZoomInStopsAtTenOnTheEleventhStep) {
    viewer.displayImage(uniformFrame(40, 30, 50), 40, 30, "Event 0");
    viewer.actualSize();
    for (int i = 0; i < 10; ++i)
        button(viewer, "+")->click();
    EXPECT_NEAR(viewer.zoom(), std::pow(1.25, 10), 1e-12); // 9.31…
    button(viewer, "+")->click();
    EXPECT_DOUBLE_EQ(viewer.zoom(), 10.0);
    EXPECT_FALSE(viewer.isFitMode());
    EXPECT_EQ(shownImage(viewer).size(), QSize(400, 300));
}

TEST_F(ImageViewerTest, ZoomOutNeverGoesBelowOneTenth) {
    for (int i = 0; i < 12; ++i)
        button(viewer, "-")->click();
    EXPECT_DOUBLE_EQ(viewer.zoom(), 0.1);
    viewer.setZoom(-3.0);
    EXPECT_DOUBLE_EQ(viewer.zoom(), 0.1);
    viewer.setZoom(25.0);
    EXPECT_DOUBLE_EQ(viewer.zoom(), 10.0);
}

TEST_F(ImageViewerTest, ScaledSizeIsTheFloorOfZoomTimesSize) {
    viewer.displayImage(uniformFrame(40, 30, 50), 40, 30, "Event 0");
    viewer.actualSize();
    EXPECT_EQ(shownImage(viewer).size(), QSize(40, 30));
    button(viewer, "+")->click(); // 1.25: 50 × 37.5
    EXPECT_EQ(shownImage(viewer).size(), QSize(50, 37));
}

TEST_F(ImageViewerTest, TinyFrameAtSmallestZoomKeepsOnePixelPerSide) {
    viewer.setZoom(0.1);
    button(viewer, "-")->click(); // leaves fit mode at 0.1
    viewer.displayImage(uniformFrame(5, 3, 50), 5, 3, "tiny");
    EXPECT_TRUE(viewer.hasImage());
    EXPECT_EQ(shownImage(viewer).size(), QSize(1, 1));
}

TEST_F(ImageViewerTest, ManualZoomPersistsAcrossEventsWhileFitRefitsEachEvent) {
    viewer.resize(400, 300);
    viewer.show();
    QApplication::processEvents();

    viewer.displayImage(uniformFrame(40, 20, 50), 40, 20, "Event 0");
    button(viewer, "+")->click();
    const double manual = viewer.zoom();
    viewer.displayImage(uniformFrame(80, 10, 50), 80, 10, "Event 1");
    EXPECT_DOUBLE_EQ(viewer.zoom(), manual);

    button(viewer, "Fit")->click();
    EXPECT_TRUE(viewer.isFitMode());
    const QSize viewport = viewer.findChild<QScrollArea*>()->viewport()->size();
    viewer.displayImage(uniformFrame(50, 25, 50), 50, 25, "Event 2");
    const double expected =
        std::clamp(std::min(viewport.width() / 50.0, viewport.height() / 25.0), 0.1, 10.0);
    EXPECT_DOUBLE_EQ(viewer.zoom(), expected);
    EXPECT_NE(viewer.zoom(), manual);
}

// ===== Input checks ==========================================================

TEST_F(ImageViewerTest, ShortBufferOrZeroSizeClearsTheViewer) {
    viewer.displayImage(uniformFrame(10, 10, 50), 10, 10, "Event 0");
    ASSERT_TRUE(viewer.hasImage());

    viewer.displayImage(Bytes(19999, 50), 250, 80, "Event 1");
    EXPECT_FALSE(viewer.hasImage());
    EXPECT_EQ(titleText(viewer), "No Image");
    EXPECT_TRUE(shownImage(viewer).isNull());

    viewer.displayImage(uniformFrame(10, 10, 50), 0, 10, "zero width");
    EXPECT_FALSE(viewer.hasImage());
    viewer.displayImageWithMask(Bytes(), Bytes(), 10, 10, "empty");
    EXPECT_FALSE(viewer.hasImage());
}

TEST_F(ImageViewerTest, ShortOrEmptyMaskShowsTheImageWithoutOverlay) {
    viewer.actualSize();
    const Bytes image = uniformFrame(8, 6, 100);
    viewer.displayImageWithMask(image, Bytes(47, 255), 8, 6, "Event 3 (with mask)");
    ASSERT_TRUE(viewer.hasImage());
    EXPECT_EQ(titleText(viewer), "Event 3 (with mask)");
    EXPECT_EQ(shownImage(viewer).pixelColor(2, 2), QColor(100, 100, 100));

    viewer.displayImageWithMask(image, Bytes(), 8, 6, "Event 4");
    ASSERT_TRUE(viewer.hasImage());
    EXPECT_EQ(shownImage(viewer).pixelColor(2, 2), QColor(100, 100, 100));
}

TEST_F(ImageViewerTest, ClearKeepsZoomFitModeAndCheckBoxes) {
    viewer.displayImage(uniformFrame(10, 10, 50), 10, 10, "Event 0");
    button(viewer, "+")->click();
    const double zoom = viewer.zoom();
    viewer.setMaskEnabled(true);
    viewer.clear();
    EXPECT_FALSE(viewer.hasImage());
    EXPECT_EQ(titleText(viewer), "No Image");
    EXPECT_DOUBLE_EQ(viewer.zoom(), zoom);
    EXPECT_FALSE(viewer.isFitMode());
    EXPECT_TRUE(checkBox(viewer, "Show Mask")->isEnabled());
}

// ===== Auto contrast =========================================================

TEST_F(ImageViewerTest, AutoContrastStretchesTheRangeToFullScale) {
    viewer.actualSize();
    Bytes image = uniformFrame(4, 1, 20);
    image[1] = 45;  // (45 - 20) · 255 / 100 = 63.75 -> 64
    image[2] = 100; // (100 - 20) · 2.55 = 204
    image[3] = 120;
    viewer.displayImage(image, 4, 1, "stretch");
    EXPECT_EQ(qGray(shownImage(viewer).pixel(1, 0)), 45);

    QSignalSpy spy(&viewer, &ImageViewer::autoContrastToggled);
    checkBox(viewer, "Auto Contrast")->setChecked(true);
    EXPECT_TRUE(viewer.autoContrast());
    ASSERT_EQ(spy.count(), 1);
    EXPECT_TRUE(spy.at(0).at(0).toBool());

    const QImage shown = shownImage(viewer);
    EXPECT_EQ(qGray(shown.pixel(0, 0)), 0);
    EXPECT_EQ(qGray(shown.pixel(1, 0)), 64);
    EXPECT_EQ(qGray(shown.pixel(2, 0)), 204);
    EXPECT_EQ(qGray(shown.pixel(3, 0)), 255);
}

TEST_F(ImageViewerTest, AutoContrastLeavesAUniformImageAlone) {
    viewer.actualSize();
    viewer.setAutoContrast(true);
    EXPECT_FALSE(viewer.isAutoContrastChecked()); // the setter does not touch the box
    viewer.displayImage(uniformFrame(3, 3, 77), 3, 3, "flat");
    EXPECT_EQ(shownImage(viewer).pixelColor(1, 1), QColor(77, 77, 77));
}

// ===== Mask overlay ==========================================================

TEST_F(ImageViewerTest, MaskPixelsBlendSeventyPercentImageWithTheOverlayColour) {
    viewer.actualSize();
    Bytes mask = uniformFrame(6, 4, 0);
    mask[1 * 6 + 2] = 255;
    mask[2 * 6 + 3] = 1; // any non-zero value marks the event
    viewer.displayImageWithMask(uniformFrame(6, 4, 100), mask, 6, 4, "Event 0 (with mask)");

    const QImage shown = shownImage(viewer);
    // red 0.7·100 + 0.3·254 = 146.2, green 0.7·100 + 0.3·204 = 131.2, blue 70
    const QColor inside(146, 131, 70);
    EXPECT_EQ(shown.pixelColor(2, 1), inside);
    EXPECT_EQ(shown.pixelColor(3, 2), inside);
    EXPECT_EQ(shown.pixelColor(0, 0), QColor(100, 100, 100));
    EXPECT_EQ(shown.pixelColor(5, 3), QColor(100, 100, 100));
}

TEST_F(ImageViewerTest, OverlayIsDrawnWhateverTheShowMaskBox) {
    // The caller decides by choosing displayImage or displayImageWithMask.
    viewer.actualSize();
    viewer.setMaskEnabled(true);
    QSignalSpy spy(&viewer, &ImageViewer::showMaskToggled);
    checkBox(viewer, "Show Mask")->setChecked(false);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_FALSE(spy.at(0).at(0).toBool());
    viewer.displayImageWithMask(uniformFrame(2, 2, 100), uniformFrame(2, 2, 1), 2, 2, "m");
    EXPECT_EQ(shownImage(viewer).pixelColor(0, 0), QColor(146, 131, 70));
}

// ===== Context menu ==========================================================

TEST_F(ImageViewerTest, RightClickWithoutImageIsLeftToTheBaseWidget) {
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), QPoint(5, 5));
    QApplication::sendEvent(&viewer, &event);
    EXPECT_FALSE(event.isAccepted());
}

TEST_F(ImageViewerTest, RightClickWithImageOffersSaveImage) {
    viewer.displayImage(uniformFrame(10, 10, 50), 10, 10, "Event 0");
    viewer.show();
    QStringList offered;
    QTimer::singleShot(0, [&offered] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            for (QAction* action : menu->actions())
                offered << action->text();
            menu->close();
        }
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                            viewer.mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(&viewer, &event);
    EXPECT_EQ(offered, QStringList{"Save Image..."});
}

// ===== Saving ================================================================

class ImageViewerSaveTest : public ImageViewerTest {
protected:
    QTemporaryDir dir;
    ScriptedDialogProvider dialogs;
    ScopedDialogProvider guard{dialogs};
};

TEST_F(ImageViewerSaveTest, WritesTheRawFrameNotTheDisplayedOne) {
    ASSERT_TRUE(dir.isValid());
    const int width = 25;
    const int height = 8;
    const Bytes frame = patternFrame(width, height);
    viewer.displayImageWithMask(frame, uniformFrame(width, height, 255), width, height, "E");
    viewer.setAutoContrast(true);
    viewer.setZoom(2.5);

    dialogs.fileAnswers.push_back(dir.filePath("frame")); // no extension typed
    dialogs.filterAnswers.push_back("PNG Images (*.png)");
    QSignalSpy saved(&viewer, &ImageViewer::imageSaved);
    viewer.saveImage();

    const QString path = dir.filePath("frame.png");
    ASSERT_EQ(saved.count(), 1);
    EXPECT_EQ(saved.at(0).at(0).toString(), path);

    ASSERT_EQ(dialogs.count(DialogCall::SaveFile), 1);
    EXPECT_EQ(dialogs.calls[0].title, "Save Image");
    EXPECT_EQ(dialogs.calls[0].text, "PNG Images (*.png);;JPEG Images (*.jpg);;All Files (*)");
    EXPECT_TRUE(dialogs.calls[0].dir.isEmpty());
    EXPECT_EQ(dialogs.calls.back().kind, DialogCall::Information);
    EXPECT_EQ(dialogs.calls.back().title, "Success");
    EXPECT_EQ(dialogs.calls.back().text, "Image saved successfully.");

    QImage written(path);
    ASSERT_FALSE(written.isNull());
    ASSERT_EQ(written.size(), QSize(width, height));
    EXPECT_TRUE(written.isGrayscale());
    written = written.convertToFormat(QImage::Format_Grayscale8);
    for (int y = 0; y < height; ++y) {
        const uchar* row = written.constScanLine(y);
        for (int x = 0; x < width; ++x)
            ASSERT_EQ(row[x], frame[static_cast<size_t>(y * width + x)]) << x << "," << y;
    }
}

TEST_F(ImageViewerSaveTest, WritesJpegWhenTheNameSaysSo) {
    viewer.displayImage(uniformFrame(16, 16, 90), 16, 16, "E");
    dialogs.fileAnswers.push_back(dir.filePath("shot.JPG"));
    dialogs.filterAnswers.push_back("JPEG Images (*.jpg)");
    viewer.saveImage();

    const QString path = dir.filePath("shot.JPG"); // extension kept as typed
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray head = file.read(3);
    EXPECT_EQ(head, QByteArray("\xFF\xD8\xFF", 3)); // JPEG start-of-image marker
    EXPECT_EQ(QImage(path).size(), QSize(16, 16));
}

TEST_F(ImageViewerSaveTest, WithoutImageWarnsAndAsksNothing) {
    viewer.saveImage();
    ASSERT_EQ(dialogs.calls.size(), 1u);
    EXPECT_EQ(dialogs.calls[0].kind, DialogCall::Warning);
    EXPECT_EQ(dialogs.calls[0].title, "No Image");
    EXPECT_EQ(dialogs.calls[0].text, "There is no image to save.");
}

TEST_F(ImageViewerSaveTest, CancelledDialogWritesNothing) {
    viewer.displayImage(uniformFrame(4, 4, 9), 4, 4, "E");
    QSignalSpy saved(&viewer, &ImageViewer::imageSaved);
    viewer.saveImage();
    EXPECT_EQ(saved.count(), 0);
    EXPECT_EQ(dialogs.calls.size(), 1u);
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
}

TEST_F(ImageViewerSaveTest, UnwritableFolderReportsAnErrorAndNoSignal) {
    viewer.displayImage(uniformFrame(4, 4, 9), 4, 4, "E");
    dialogs.fileAnswers.push_back(dir.filePath("missing/folder/out.png"));
    dialogs.filterAnswers.push_back("PNG Images (*.png)");
    QSignalSpy saved(&viewer, &ImageViewer::imageSaved);
    viewer.saveImage();
    EXPECT_EQ(saved.count(), 0);
    ASSERT_EQ(dialogs.calls.back().kind, DialogCall::Critical);
    EXPECT_EQ(dialogs.calls.back().title, "Error");
    EXPECT_TRUE(dialogs.calls.back().text.startsWith("Failed to save image: "));
    EXPECT_GT(dialogs.calls.back().text.size(), QString("Failed to save image: ").size());
    EXPECT_TRUE(viewer.hasImage());
}

TEST_F(ImageViewerSaveTest, UnknownFormatReportsTheWritersErrorAndNoSignal) {
    viewer.displayImage(uniformFrame(4, 4, 9), 4, 4, "E");
    dialogs.fileAnswers.push_back(dir.filePath("out.xyz"));
    dialogs.filterAnswers.push_back("All Files (*)");
    QSignalSpy saved(&viewer, &ImageViewer::imageSaved);
    viewer.saveImage();
    EXPECT_EQ(saved.count(), 0);
    ASSERT_EQ(dialogs.calls.back().kind, DialogCall::Critical);
    EXPECT_TRUE(dialogs.calls.back().text.startsWith("Failed to save image: "));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("out.xyz")));
}

// ===== Conversion ============================================================

TEST(ImageViewerMatToPixmap, ConvertsGreyAndBgrAndRejectsOthers) {
    EXPECT_TRUE(ImageViewer::matToPixmap(cv::Mat()).isNull());
    EXPECT_TRUE(ImageViewer::matToPixmap(cv::Mat(2, 2, CV_8UC4, cv::Scalar::all(1))).isNull());

    // A column view has a row stride larger than its width.
    cv::Mat wide(3, 5, CV_8UC1, cv::Scalar(10));
    wide.col(2).setTo(200);
    const QImage column = ImageViewer::matToPixmap(wide.colRange(2, 4)).toImage();
    ASSERT_EQ(column.size(), QSize(2, 3));
    EXPECT_EQ(column.pixelColor(0, 2), QColor(200, 200, 200));
    EXPECT_EQ(column.pixelColor(1, 2), QColor(10, 10, 10));

    const cv::Mat bgr(1, 1, CV_8UC3, cv::Scalar(1, 2, 3)); // blue 1, green 2, red 3
    EXPECT_EQ(ImageViewer::matToPixmap(bgr).toImage().pixelColor(0, 0), QColor(3, 2, 1));
}

// ===== Snapshot ==============================================================

// Renders a cell-like frame with its mask; with QUORVEX3_SNAPSHOT_DIR set the
// view is written there as imageviewer.png for a look by eye.
TEST(ImageViewerSnapshot, RendersAFrameWithMaskOverlay) {
    const int width = 250;
    const int height = 80;
    Bytes image(static_cast<size_t>(width * height));
    Bytes mask(image.size(), 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double dx = (x - 120.0) / 22.0;
            const double dy = (y - 40.0) / 16.0;
            const double r2 = dx * dx + dy * dy;
            const size_t i = static_cast<size_t>(y * width + x);
            const double rim = std::exp(-std::pow((std::sqrt(r2) - 1.0) * 6.0, 2.0));
            image[i] = static_cast<uint8_t>(std::clamp(110.0 + 8.0 * std::sin(x * 0.7 + y * 1.3) -
                                                           70.0 * rim - (r2 < 1 ? 15 : 0),
                                                       0.0, 255.0));
            mask[i] = r2 < 1.0 ? 255 : 0;
        }
    }
    ImageViewer viewer;
    viewer.resize(560, 300);
    viewer.show();
    QApplication::processEvents();
    viewer.displayImageWithMask(image, mask, width, height, "Event 42 (with mask)");
    QApplication::processEvents();
    const QPixmap shot = viewer.grab();
    EXPECT_FALSE(shot.isNull());
    if (const char* out = std::getenv("QUORVEX3_SNAPSHOT_DIR")) {
        EXPECT_TRUE(shot.save(QDir(QString::fromLocal8Bit(out)).filePath("imageviewer.png")));
    }
}
