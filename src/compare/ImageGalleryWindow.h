#pragma once

#include <QMainWindow>
#include <QString>

class QCloseEvent;

namespace Quorvex3 {

class MainWindow;

/// Tool window with a paged gallery of one dataset's event images.
/// Top-level; bound to the dataset id it was opened with. The main window
/// owns it and is told when it closes.
///
/// This build opens the window without images: the gallery itself is not
/// available yet. It still closes when its dataset is removed.
class ImageGalleryWindow : public QMainWindow {
    Q_OBJECT

public:
    /// `main` is not owned and may be null; the main window passes no parent.
    ImageGalleryWindow(MainWindow* main, int datasetId, QWidget* parent = nullptr);
    ~ImageGalleryWindow() override;

    /// Id of the dataset the gallery shows.
    int datasetId() const { return m_datasetId; }

    /// Recomputes the filtered events from the main window and renders again.
    void refreshFromMain();
    /// The main window's active dataset changed to `datasetId`.
    void onActiveDatasetChanged(int datasetId);
    /// Closes the gallery when it shows that dataset.
    void onMainDatasetRemoved(int datasetId);
    /// Takes the new display name of the shown dataset.
    void onDatasetRenamed(int datasetId, const QString& name);

signals:
    /// Emitted with the window itself when it is closed.
    void windowClosed(ImageGalleryWindow* window);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    MainWindow* m_mainWindow = nullptr;
    int m_datasetId = -1;
    QString m_datasetName;
};

} // namespace Quorvex3
