#include "session/ExportDialog.h"

#include "core/RTDCReader.h"
#include "model/DatasetEntry.h"
#include "util/DialogProvider.h"
#include "util/WindowUtil.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>

namespace Quorvex3 {

namespace {

constexpr int kLeastWidth = 400;

const QString kElsewhereTip =
    QStringLiteral("Not available in current dataset (available in other datasets)");

void setGreyText(QWidget* widget) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, QColor(160, 160, 160));
    widget->setPalette(palette);
}

} // namespace

ExportDialog::ExportDialog(const DatasetEntry* current,
                           const std::vector<std::unique_ptr<DatasetEntry>>& all, bool expertMode,
                           QWidget* parent, const ExportResult* previous)
    : QDialog(parent), m_expertMode(expertMode) {
    setWindowTitle(QStringLiteral("Export Data"));
    setMinimumWidth(kLeastWidth);
    // The AVI options make the dialog taller, downward: opened low on a small
    // screen, it ran past the screen's bottom edge.
    WindowUtil::keepInsideScreen(this);
    new QVBoxLayout(this);
    buildScopeGroup(static_cast<int>(all.size()));
    buildFormatGroups();
    buildFeatureGroup(current, all);
    buildDataGroup(current, all);
    buildDirectoryGroup(current);
    if (previous)
        restore(*previous);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    QPushButton* exportButton =
        buttons->addButton(QStringLiteral("Export"), QDialogButtonBox::AcceptRole);
    exportButton->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &ExportDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ExportDialog::reject);
    layout()->addWidget(buttons);
}

ExportDialog::~ExportDialog() = default;

void ExportDialog::buildScopeGroup(int datasetCount) {
    // One row, and a list of five features in view: with the AVI options the
    // dialog is then short enough for a 720-pixel screen with a title bar.
    auto* group = new QGroupBox(QStringLiteral("Export Scope"), this);
    auto* row = new QHBoxLayout(group);
    m_currentScope = new QRadioButton(QStringLiteral("Current dataset only"), group);
    m_allScope = new QRadioButton(QStringLiteral("All datasets (%1)").arg(datasetCount), group);
    m_currentScope->setChecked(true);
    m_allScope->setEnabled(datasetCount >= 2);
    row->addWidget(m_currentScope);
    row->addWidget(m_allScope);
    row->addStretch();
    connect(m_currentScope, &QRadioButton::toggled, this, &ExportDialog::onScopeChanged);
    layout()->addWidget(group);
}

void ExportDialog::buildFormatGroups() {
    auto* formatGroup = new QGroupBox(QStringLiteral("Export Format"), this);
    auto* row = new QHBoxLayout(formatGroup);
    m_rtdcFormat = new QRadioButton(QStringLiteral(".rtdc (HDF5)"), formatGroup);
    m_tsvFormat = new QRadioButton(QStringLiteral(".tsv (Tab-separated)"), formatGroup);
    m_aviFormat = new QRadioButton(QStringLiteral(".avi (Video)"), formatGroup);
    m_rtdcFormat->setChecked(true);
    for (QRadioButton* button : {m_rtdcFormat, m_tsvFormat, m_aviFormat}) {
        row->addWidget(button);
        connect(button, &QRadioButton::toggled, this, &ExportDialog::onFormatChanged);
    }
    row->addStretch();
    layout()->addWidget(formatGroup);

    m_aviOptions = new QGroupBox(QStringLiteral("AVI Options"), this);
    auto* column = new QVBoxLayout(m_aviOptions);
    auto* codecRow = new QHBoxLayout;
    m_mjpegCodec = new QRadioButton(QStringLiteral("MJPEG (compressed)"), m_aviOptions);
    m_rawCodec = new QRadioButton(QStringLiteral("Raw (uncompressed)"), m_aviOptions);
    m_mjpegCodec->setChecked(true);
    codecRow->addWidget(m_mjpegCodec);
    codecRow->addWidget(m_rawCodec);
    codecRow->addStretch();
    column->addLayout(codecRow);
    m_skipDuplicates = new QCheckBox(
        QStringLiteral("Skip duplicate frames (exclude multiple events from the same video frame)"),
        m_aviOptions);
    column->addWidget(m_skipDuplicates);
    m_aviOptions->setVisible(false);
    layout()->addWidget(m_aviOptions);
}

void ExportDialog::buildFeatureGroup(const DatasetEntry* current,
                                     const std::vector<std::unique_ptr<DatasetEntry>>& all) {
    std::vector<std::string> ownNames = scalarFeaturesOf(current);
    std::sort(ownNames.begin(), ownNames.end());
    m_currentFeatures.insert(ownNames.begin(), ownNames.end());
    std::set<std::string> otherNames;
    for (const auto& entry : all) {
        if (entry.get() == current)
            continue;
        for (const std::string& name : scalarFeaturesOf(entry.get()))
            if (m_currentFeatures.count(name) == 0)
                otherNames.insert(name);
    }
    m_featureNames = ownNames;
    m_featureNames.insert(m_featureNames.end(), otherNames.begin(), otherNames.end());

    auto* group = new QGroupBox(QStringLiteral("Scalar Features"), this);
    auto* column = new QVBoxLayout(group);
    auto* buttonRow = new QHBoxLayout;
    auto* selectAll = new QPushButton(QStringLiteral("Select All"), group);
    auto* deselectAll = new QPushButton(QStringLiteral("Deselect All"), group);
    buttonRow->addWidget(selectAll);
    buttonRow->addWidget(deselectAll);
    buttonRow->addStretch();
    column->addLayout(buttonRow);
    connect(selectAll, &QPushButton::clicked, this, &ExportDialog::onSelectAll);
    connect(deselectAll, &QPushButton::clicked, this, &ExportDialog::onDeselectAll);

    auto* scroll = new QScrollArea(group);
    scroll->setWidgetResizable(true);
    scroll->setMaximumHeight(250);
    auto* list = new QWidget(scroll);
    auto* listLayout = new QVBoxLayout(list);
    listLayout->setSpacing(2);
    const RTDCReader* labels = current ? current->reader.get() : nullptr;
    for (const std::string& name : m_featureNames) {
        const std::string label = labels ? labels->getFeatureLabel(name) : name;
        auto* box = new QCheckBox(QString::fromStdString(label + "  [" + name + "]"), list);
        if (m_currentFeatures.count(name) > 0) {
            box->setChecked(true);
        } else {
            setGreyText(box);
            box->setToolTip(kElsewhereTip);
            box->setVisible(false);
        }
        listLayout->addWidget(box);
        m_featureBoxes.push_back(box);
    }
    listLayout->addStretch();
    scroll->setWidget(list);
    // Enough of the list in view to choose from without scrolling line by line.
    WindowUtil::keepListRowsInView(scroll, 5);
    column->addWidget(scroll);
    layout()->addWidget(group);
}

void ExportDialog::buildDataGroup(const DatasetEntry* current,
                                  const std::vector<std::unique_ptr<DatasetEntry>>& all) {
    const RTDCReader* reader = current ? current->reader.get() : nullptr;
    m_currentHasImages = reader && reader->hasImages();
    m_currentHasMasks = reader && reader->hasMasks();
    m_currentHasTraces = reader && reader->hasTraces();
    m_anyHasImages = m_currentHasImages;
    m_anyHasMasks = m_currentHasMasks;
    m_anyHasTraces = m_currentHasTraces;
    for (const auto& entry : all) {
        if (entry.get() == current || !entry->reader)
            continue;
        m_anyHasImages = m_anyHasImages || entry->reader->hasImages();
        m_anyHasMasks = m_anyHasMasks || entry->reader->hasMasks();
        m_anyHasTraces = m_anyHasTraces || entry->reader->hasTraces();
    }

    auto* group = new QGroupBox(QStringLiteral("Non-scalar Data"), this);
    auto* row = new QHBoxLayout(group);
    m_imagesCheck = new QCheckBox(QStringLiteral("Images"), group);
    m_masksCheck = new QCheckBox(QStringLiteral("Masks"), group);
    m_tracesCheck = new QCheckBox(QStringLiteral("Traces"), group);
    const bool has[] = {m_currentHasImages, m_currentHasMasks, m_currentHasTraces};
    QCheckBox* const boxes[] = {m_imagesCheck, m_masksCheck, m_tracesCheck};
    for (int i = 0; i < 3; ++i) {
        QCheckBox* box = boxes[i];
        box->setChecked(has[i]);
        box->setEnabled(has[i]);
        row->addWidget(box);
    }
    row->addStretch();
    layout()->addWidget(group);
}

void ExportDialog::buildDirectoryGroup(const DatasetEntry* current) {
    auto* group = new QGroupBox(QStringLiteral("Output Directory"), this);
    auto* column = new QVBoxLayout(group);
    m_customDirCheck = new QCheckBox(
        QStringLiteral("Export All to a Custom Directory (default: original file locations)"),
        group);
    column->addWidget(m_customDirCheck);
    auto* row = new QHBoxLayout;
    const QString folder =
        current ? QFileInfo(QString::fromStdString(current->filePath)).absolutePath() : QString();
    m_dirEdit = new QLineEdit(folder, group);
    m_dirEdit->setEnabled(false);
    m_browseButton = new QPushButton(QStringLiteral("Browse..."), group);
    m_browseButton->setEnabled(false);
    row->addWidget(m_dirEdit, 1);
    row->addWidget(m_browseButton);
    column->addLayout(row);
    connect(m_customDirCheck, &QCheckBox::toggled, m_dirEdit, &QLineEdit::setEnabled);
    connect(m_customDirCheck, &QCheckBox::toggled, m_browseButton, &QPushButton::setEnabled);
    connect(m_browseButton, &QPushButton::clicked, this, &ExportDialog::onBrowseDir);
    layout()->addWidget(group);
}

void ExportDialog::restore(const ExportResult& previous) {
    if (previous.allDatasets && m_allScope->isEnabled())
        m_allScope->setChecked(true);
    else
        m_currentScope->setChecked(true);
    if (previous.formatAvi)
        m_aviFormat->setChecked(true);
    else if (previous.formatTsv)
        m_tsvFormat->setChecked(true);
    else
        m_rtdcFormat->setChecked(true);
    (previous.aviMjpeg ? m_mjpegCodec : m_rawCodec)->setChecked(true);
    m_skipDuplicates->setChecked(previous.aviSkipDuplicateFrames);
    for (std::size_t i = 0; i < m_featureBoxes.size(); ++i) {
        const bool chosen = std::find(previous.features.begin(), previous.features.end(),
                                      m_featureNames[i]) != previous.features.end();
        m_featureBoxes[i]->setChecked(chosen);
    }
    const bool values[] = {previous.includeImages, previous.includeMasks, previous.includeTraces};
    QCheckBox* const boxes[] = {m_imagesCheck, m_masksCheck, m_tracesCheck};
    for (int i = 0; i < 3; ++i)
        if (boxes[i]->isEnabled())
            boxes[i]->setChecked(values[i]);
    m_customDirCheck->setChecked(previous.useCustomDirectory);
    if (!previous.outputDirectory.empty())
        m_dirEdit->setText(QString::fromStdString(previous.outputDirectory));
    updateFeatureAppearance();
}

void ExportDialog::onScopeChanged() {
    updateFeatureAppearance();
}

void ExportDialog::onFormatChanged() {
    updateFeatureAppearance();
}

void ExportDialog::updateFeatureAppearance() {
    const bool all = m_allScope->isChecked();
    const bool tsv = m_tsvFormat->isChecked();
    const bool avi = m_aviFormat->isChecked();
    m_aviOptions->setVisible(avi);
    fitWidthToAviOptions(avi);
    for (std::size_t i = 0; i < m_featureBoxes.size(); ++i) {
        QCheckBox* box = m_featureBoxes[i];
        if (m_currentFeatures.count(m_featureNames[i]) > 0) {
            box->setEnabled(!avi);
        } else if (!avi) {
            box->setEnabled(true);
            box->setVisible(all);
        } else {
            box->setEnabled(false);
        }
    }
    updateFeatureCheckBox(m_imagesCheck, m_currentHasImages, m_anyHasImages, all, tsv, avi);
    updateFeatureCheckBox(m_masksCheck, m_currentHasMasks, m_anyHasMasks, all, tsv, avi);
    updateFeatureCheckBox(m_tracesCheck, m_currentHasTraces, m_anyHasTraces, all, tsv, avi);
    if (avi) {
        m_imagesCheck->setChecked(true);
        m_imagesCheck->setEnabled(false);
        m_imagesCheck->setToolTip(QStringLiteral("Images are always included in AVI export"));
    }
}

// The explicit least width keeps the layout from widening the dialog by
// itself, and the frame-skip option, the widest text, was cut short: while
// the AVI options show, the least width is what they need.
void ExportDialog::fitWidthToAviOptions(bool shown) {
    const QMargins margins = layout()->contentsMargins();
    const int needed =
        shown ? m_aviOptions->sizeHint().width() + margins.left() + margins.right() : 0;
    setMinimumWidth(std::max(kLeastWidth, needed));
}

void ExportDialog::updateFeatureCheckBox(QCheckBox* box, bool inCurrent, bool inAny, bool all,
                                         bool tsv, bool avi) {
    if (tsv || avi) {
        box->setEnabled(false);
        box->setChecked(false);
        box->setToolTip(avi ? QStringLiteral("Only images are exported in AVI format")
                            : QStringLiteral("Not available in TSV format"));
        return;
    }
    if (!all) {
        box->setEnabled(inCurrent);
        box->setChecked(inCurrent);
        box->setPalette(QPalette());
        box->setToolTip(QString());
        return;
    }
    box->setEnabled(inAny);
    if (!inCurrent && inAny) {
        setGreyText(box);
        box->setToolTip(kElsewhereTip);
    } else {
        box->setPalette(QPalette());
        box->setToolTip(QString());
    }
}

void ExportDialog::onSelectAll() {
    for (QCheckBox* box : m_featureBoxes)
        if (box->isVisibleTo(this))
            box->setChecked(true);
}

void ExportDialog::onDeselectAll() {
    for (QCheckBox* box : m_featureBoxes)
        box->setChecked(false);
}

void ExportDialog::onBrowseDir() {
    const QString folder = DialogProvider::current().getExistingDirectory(
        this, QStringLiteral("Select Output Directory"), m_dirEdit->text(),
        QFileDialog::ShowDirsOnly);
    if (!folder.isEmpty())
        m_dirEdit->setText(folder);
}

void ExportDialog::accept() {
    if (m_customDirCheck->isChecked()) {
        const QString folder = m_dirEdit->text();
        if (folder.trimmed().isEmpty() || !QFileInfo(folder).isDir()) {
            const QString text =
                folder.trimmed().isEmpty()
                    ? QStringLiteral("Please choose the folder to export to.")
                    : QStringLiteral("The output folder does not exist:\n%1").arg(folder);
            DialogProvider::current().warning(this, QStringLiteral("Export Data"), text);
            return;
        }
    }
    QDialog::accept();
}

ExportResult ExportDialog::getResult() const {
    ExportResult result;
    for (std::size_t i = 0; i < m_featureBoxes.size(); ++i)
        if (m_featureBoxes[i]->isChecked())
            result.features.push_back(m_featureNames[i]);
    result.includeImages = m_imagesCheck->isChecked();
    result.includeMasks = m_masksCheck->isChecked();
    result.includeTraces = m_tracesCheck->isChecked();
    result.formatTsv = m_tsvFormat->isChecked();
    result.formatAvi = m_aviFormat->isChecked();
    result.aviMjpeg = m_mjpegCodec->isChecked();
    result.aviSkipDuplicateFrames = m_skipDuplicates->isChecked();
    result.useCustomDirectory = m_customDirCheck->isChecked();
    result.outputDirectory = m_dirEdit->text().toStdString();
    result.allDatasets = m_allScope->isChecked();
    return result;
}

} // namespace Quorvex3
