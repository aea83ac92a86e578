#include "stats/CategoryPanel.h"

#include "core/RTDCReader.h"
#include "model/DatasetStore.h"
#include "util/DatasetDragPayload.h"
#include "util/DatasetPickDialog.h"
#include "util/DialogProvider.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QShowEvent>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTextDocument>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace Quorvex3 {

namespace {

constexpr int kMaxId = 9999;

QString colorButtonStyle(const QColor& color) {
    return QStringLiteral(
               "QPushButton { background-color: %1; border: 1px solid #888; border-radius: 3px; }")
        .arg(color.name(QColor::HexRgb));
}

/// A number of a row's suffix: the value, or a bold red "?" when unassigned.
QString idText(int value) {
    return value >= 1 ? QString::number(value)
                      : QStringLiteral("<b style=\"color:#c04040\">?</b>");
}

} // namespace

CategoryPanel::CategoryPanel(const QString& name, bool removable, const QColor& color,
                             const DatasetStore* store, QWidget* parent)
    : QWidget(parent), m_store(store), m_name(name), m_removable(removable), m_color(color) {
    setAcceptDrops(true);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);

    auto* header = new QHBoxLayout;
    // As tight as the button row below: with the whole name and "Delete"
    // this row is the panel's widest.
    header->setSpacing(4);
    m_colorButton = new QPushButton(this);
    m_colorButton->setObjectName(QStringLiteral("colorButton"));
    m_colorButton->setFixedSize(20, 20);
    m_colorButton->setStyleSheet(colorButtonStyle(m_color));
    m_colorButton->setToolTip(tr("Click to change category color"));
    header->addWidget(m_colorButton);

    m_nameEdit = new QLineEdit(m_name, this);
    m_nameEdit->setObjectName(QStringLiteral("nameEdit"));
    QFont bold = m_nameEdit->font();
    bold.setWeight(QFont::Bold);
    m_nameEdit->setFont(bold);
    m_nameEdit->setFrame(false);
    m_nameEdit->setStyleSheet(QStringLiteral("QLineEdit { background: transparent; }"));
    connect(m_nameEdit, &QLineEdit::textChanged, this, &CategoryPanel::keepNameInView);
    keepNameInView();
    header->addWidget(m_nameEdit);
    header->addStretch();

    m_countLabel = new QLabel(tr("0 datasets"), this);
    m_countLabel->setObjectName(QStringLiteral("countLabel"));
    header->addWidget(m_countLabel);

    m_deleteButton = new QPushButton(tr("Delete"), this);
    m_deleteButton->setObjectName(QStringLiteral("deleteButton"));
    m_deleteButton->setVisible(m_removable);
    header->addWidget(m_deleteButton);
    layout->addLayout(header);

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("datasetList"));
    m_list->setDragDropMode(QAbstractItemView::NoDragDrop);
    m_list->setItemDelegate(new RichTextDelegate(m_list));
    keepRowsInView();
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    layout->addWidget(m_list);

    auto* buttons = new QHBoxLayout;
    // Tight: the three buttons set the narrowest width of the categories dock.
    buttons->setSpacing(4);
    auto* addButton = new QPushButton(tr("Add..."), this);
    addButton->setObjectName(QStringLiteral("addButton"));
    auto* clearButton = new QPushButton(tr("Clear All"), this);
    clearButton->setObjectName(QStringLiteral("clearButton"));
    m_removeSelectedButton = new QPushButton(tr("Remove Selected"), this);
    m_removeSelectedButton->setObjectName(QStringLiteral("removeSelectedButton"));
    m_removeSelectedButton->setEnabled(false);
    buttons->addWidget(addButton);
    buttons->addWidget(clearButton);
    buttons->addStretch();
    buttons->addWidget(m_removeSelectedButton);
    layout->addLayout(buttons);

    // Narrower side margins than the program's other buttons: the button
    // row sets the categories dock's least width, and every pixel the dock
    // gives goes to the results table beside it (six categories' columns
    // fit a 1280-pixel screen only so).
    setStyleSheet(QStringLiteral(
        "QPushButton#addButton, QPushButton#clearButton, QPushButton#removeSelectedButton, "
        "QPushButton#deleteButton { padding-left: 6px; padding-right: 6px; }"));

    auto* separator = new QFrame(this);
    separator->setFrameShape(QFrame::HLine);
    separator->setFrameShadow(QFrame::Sunken);
    layout->addWidget(separator);

    connect(m_colorButton, &QPushButton::clicked, this, &CategoryPanel::chooseColor);
    connect(m_nameEdit, &QLineEdit::editingFinished, this, [this] {
        m_name = m_nameEdit->text();
        emit changed();
    });
    connect(m_deleteButton, &QPushButton::clicked, this, [this] { emit deleteRequested(this); });
    connect(addButton, &QPushButton::clicked, this, &CategoryPanel::onAddDatasets);
    connect(clearButton, &QPushButton::clicked, this, &CategoryPanel::onClearAll);
    connect(m_removeSelectedButton, &QPushButton::clicked, this, &CategoryPanel::onRemoveSelected);
    connect(m_list, &QListWidget::itemSelectionChanged, this, [this] {
        m_removeSelectedButton->setEnabled(!m_list->selectedItems().isEmpty());
    });
    connect(m_list, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        if (item)
            editIdsOfRow(item->data(Qt::UserRole).toInt());
    });
    connect(m_list, &QListWidget::customContextMenuRequested, this,
            &CategoryPanel::showIdContextMenu);
}

QString CategoryPanel::categoryName() const { return m_nameEdit->text(); }

void CategoryPanel::setCategoryName(const QString& name) {
    m_name = name;
    m_nameEdit->setText(name);
}

void CategoryPanel::setColor(const QColor& color) {
    m_color = color;
    m_colorButton->setStyleSheet(colorButtonStyle(m_color));
    emit changed();
}

void CategoryPanel::chooseColor() {
    const QColor chosen =
        DialogProvider::current().getColor(m_color, this, tr("Category Color"));
    if (chosen.isValid())
        setColor(chosen);
}

bool CategoryPanel::tryAddDataset(int datasetId) {
    if (indexOf(datasetId) >= 0)
        return false;
    const DatasetEntry* dataset = m_store ? m_store->findById(datasetId) : nullptr;
    if (!dataset || !dataset->featuresLoaded || !dataset->reader)
        return false;
    CategoryDatasetEntry entry;
    entry.datasetId = datasetId;
    entry.displayName = dataset->displayName;
    const auto sample = dataset->metadata.experiment.find("sample");
    if (sample != dataset->metadata.experiment.end())
        entry.sampleName = sample->second;
    m_entries.push_back(std::move(entry));
    rebuildList();
    emit changed();
    return true;
}

void CategoryPanel::addEntry(const CategoryDatasetEntry& entry) {
    m_entries.push_back(entry);
    rebuildList();
}

int CategoryPanel::indexOf(int datasetId) const {
    const auto found = std::find_if(m_entries.begin(), m_entries.end(),
                                    [&](const CategoryDatasetEntry& e) {
                                        return e.datasetId == datasetId;
                                    });
    return found == m_entries.end() ? -1 : static_cast<int>(found - m_entries.begin());
}

void CategoryPanel::setNumberId(int datasetId, int value) {
    if (const int i = indexOf(datasetId); i >= 0)
        m_entries[static_cast<std::size_t>(i)].numberId = value;
    rebuildList();
}

void CategoryPanel::setBioRepId(int datasetId, int value) {
    if (const int i = indexOf(datasetId); i >= 0)
        m_entries[static_cast<std::size_t>(i)].bioRepId = value;
    rebuildList();
}

void CategoryPanel::setTechRepId(int datasetId, int value) {
    if (const int i = indexOf(datasetId); i >= 0)
        m_entries[static_cast<std::size_t>(i)].techRepId = value;
    rebuildList();
}

void CategoryPanel::setShowNumbers(bool on) {
    m_showNumbers = on;
    rebuildList();
}

void CategoryPanel::setTechRepMode(bool on) {
    m_techRepMode = on;
    rebuildList();
}

void CategoryPanel::onDatasetRemoved(int datasetId) {
    const auto before = m_entries.size();
    m_entries.erase(std::remove_if(m_entries.begin(), m_entries.end(),
                                   [&](const CategoryDatasetEntry& e) {
                                       return e.datasetId == datasetId;
                                   }),
                    m_entries.end());
    if (m_entries.size() == before)
        return;
    rebuildList();
    emit changed();
}

void CategoryPanel::onDatasetRenamed(int datasetId, const QString& name) {
    if (const int i = indexOf(datasetId); i >= 0)
        m_entries[static_cast<std::size_t>(i)].displayName = name;
    rebuildList();
}

void CategoryPanel::onAddDatasets() {
    std::vector<PickableDataset> offered;
    if (m_store)
        for (const auto& dataset : m_store->datasets())
            if (dataset->featuresLoaded && indexOf(dataset->id) < 0)
                offered.push_back({dataset->id, dataset->displayName});
    const auto ids = askDatasetsToAdd(this, offered, QStringLiteral("addDatasetsList"));
    if (!ids)
        return;
    for (const int id : *ids)
        tryAddDataset(id);
}

void CategoryPanel::onClearAll() {
    m_entries.clear();
    rebuildList();
    emit changed();
}

void CategoryPanel::onRemoveSelected() {
    std::vector<int> ids;
    for (const QListWidgetItem* item : m_list->selectedItems())
        ids.push_back(item->data(Qt::UserRole).toInt());
    for (const int id : ids)
        m_entries.erase(std::remove_if(m_entries.begin(), m_entries.end(),
                                       [&](const CategoryDatasetEntry& e) {
                                           return e.datasetId == id;
                                       }),
                        m_entries.end());
    rebuildList();
    emit changed();
}

void CategoryPanel::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData() && event->mimeData()->hasFormat(datasetMimeType()))
        event->acceptProposedAction();
}

void CategoryPanel::dropEvent(QDropEvent* event) {
    // A malformed payload is refused outright: read as 0 it would add the
    // dataset whose id really is 0.
    const std::optional<int> id = datasetIdFromMimeData(event->mimeData());
    if (id && tryAddDataset(*id))
        event->acceptProposedAction();
}

QString CategoryPanel::rowHtml(const CategoryDatasetEntry& entry, bool showNumbers,
                               bool techRepMode) {
    QString text = entry.displayName.toHtmlEscaped();
    if (!showNumbers)
        return text;
    QString ids;
    bool complete = false;
    if (techRepMode) {
        ids = QStringLiteral("%1.%2.%3")
                  .arg(idText(entry.numberId), idText(entry.bioRepId), idText(entry.techRepId));
        complete = entry.numberId >= 1 && entry.bioRepId >= 1 && entry.techRepId >= 1;
    } else {
        ids = idText(entry.numberId);
        complete = entry.numberId > 0;
    }
    const QString color = complete ? QStringLiteral("#3070b0") : QStringLiteral("#a0a0a0");
    text += QStringLiteral("  <span style=\"color:%1\">[#%2]</span>").arg(color, ids);
    return text;
}

void CategoryPanel::rebuildList() {
    m_list->clear();
    for (const CategoryDatasetEntry& entry : m_entries) {
        auto* item = new QListWidgetItem(rowHtml(entry, m_showNumbers, m_techRepMode), m_list);
        item->setData(Qt::UserRole, entry.datasetId);
    }
    m_countLabel->setText(tr("%1 datasets").arg(m_entries.size()));
    keepRowsInView();
}

void CategoryPanel::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    keepRowsInView();
}

void CategoryPanel::keepNameInView() {
    // In a narrow dock the name field got less than its text ("ondition 2"
    // beside the count and "Delete").
    m_nameEdit->ensurePolished();
    QStyleOptionFrame option;
    option.initFrom(m_nameEdit);
    option.rect = QRect(0, 0, 1000, m_nameEdit->height());
    option.lineWidth = 0;
    const QRect contents =
        m_nameEdit->style()->subElementRect(QStyle::SE_LineEditContents, &option, m_nameEdit);
    const QMargins margins = m_nameEdit->textMargins();
    // The line edit keeps two pixels free on each side of its text.
    const int around =
        option.rect.width() - contents.width() + margins.left() + margins.right() + 4;
    m_nameEdit->setMinimumWidth(m_nameEdit->fontMetrics().horizontalAdvance(m_nameEdit->text()) +
                                around + 1);
}

void CategoryPanel::keepRowsInView() {
    // Five rows in view however many categories share the dock (the dock
    // scrolls instead). Before the first row exists, a row is estimated as
    // one line of rich text.
    m_list->ensurePolished();
    int row = m_list->count() > 0 ? m_list->sizeHintForRow(0) : 0;
    if (row <= 0) {
        QTextDocument line;
        line.setDefaultFont(m_list->font());
        line.setHtml(QStringLiteral("X <span>[#1]</span>"));
        row = static_cast<int>(std::ceil(line.size().height())) + 2;
    }
    // Half a row spare for the style sheet's borders and padding.
    m_list->setMinimumHeight(5 * row + row / 2 + 2 * m_list->frameWidth());
    m_list->setMaximumHeight(std::max(150, m_list->minimumHeight()));
}

void CategoryPanel::editIdsOfRow(int datasetId) {
    if (!m_showNumbers)
        return;
    const int index = indexOf(datasetId);
    if (index < 0)
        return;
    if (showReplicateIdDialog(index)) {
        rebuildList();
        emit changed();
    }
}

void CategoryPanel::showIdContextMenu(const QPoint& position) {
    if (!m_showNumbers)
        return;
    const QListWidgetItem* item = m_list->itemAt(position);
    if (!item)
        return;
    const int datasetId = item->data(Qt::UserRole).toInt();
    QMenu menu(this);
    QAction* setIds = menu.addAction(tr("Set IDs..."));
    connect(setIds, &QAction::triggered, this, [this, datasetId] { editIdsOfRow(datasetId); });
    menu.exec(m_list->mapToGlobal(position));
}

bool CategoryPanel::showReplicateIdDialog(int index) {
    CategoryDatasetEntry& entry = m_entries[static_cast<std::size_t>(index)];
    if (!m_techRepMode) {
        bool ok = false;
        const int value = DialogProvider::current().getInt(
            this, tr("Set ID"), tr("ID for \"%1\":").arg(entry.displayName), entry.numberId, 0,
            kMaxId, 1, &ok);
        if (!ok)
            return false;
        entry.numberId = value;
        return true;
    }

    QDialog dialog(this);
    dialog.setWindowTitle(tr("Set Replicate IDs"));
    auto* form = new QFormLayout(&dialog);
    auto* caption = new QLabel(tr("Assign IDs for \"%1\"").arg(entry.displayName), &dialog);
    caption->setWordWrap(true);
    form->addRow(caption);
    const auto addSpin = [&](const char* name, const QString& label, int value) {
        auto* spin = new QSpinBox(&dialog);
        spin->setObjectName(QLatin1String(name));
        spin->setRange(0, kMaxId);
        spin->setValue(value);
        form->addRow(label, spin);
        return spin;
    };
    QSpinBox* idSpin = addSpin("idSpin", tr("ID:"), entry.numberId);
    QSpinBox* bioSpin = addSpin("bioRepSpin", tr("Biological replicate:"), entry.bioRepId);
    QSpinBox* techSpin = addSpin("techRepSpin", tr("Technical replicate:"), entry.techRepId);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    connect(box, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(box);

    if (DialogProvider::current().execDialog(dialog) != QDialog::Accepted)
        return false;
    entry.numberId = idSpin->value();
    entry.bioRepId = bioSpin->value();
    entry.techRepId = techSpin->value();
    return true;
}

// ---- RichTextDelegate ------------------------------------------------------

void RichTextDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    painter->save();
    if (opt.state & QStyle::State_Selected)
        painter->fillRect(opt.rect, opt.palette.highlight());

    QTextDocument document;
    document.setDefaultFont(opt.font);
    document.setHtml(opt.text);

    opt.text.clear();
    QStyle* style = opt.widget ? opt.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);

    painter->translate(opt.rect.left() + 4, opt.rect.top());
    const QRectF clip(0, 0, opt.rect.width() - 8, opt.rect.height());
    document.drawContents(painter, clip);
    painter->restore();
}

QSize RichTextDelegate::sizeHint(const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
    QTextDocument document;
    document.setDefaultFont(option.font);
    document.setHtml(index.data(Qt::DisplayRole).toString());
    return {static_cast<int>(document.idealWidth()) + 8,
            std::max(option.decorationSize.height(), static_cast<int>(document.size().height()))};
}

} // namespace Quorvex3
