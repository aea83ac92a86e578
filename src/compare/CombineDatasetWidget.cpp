#include "compare/CombineDatasetWidget.h"

#include "core/RTDCReader.h"
#include "util/DatasetDragPayload.h"
#include "util/DialogProvider.h"
#include "util/WindowUtil.h"

#include <QApplication>
#include <QComboBox>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

namespace Quorvex3 {

namespace {

const QString& normalChoiceStyle() {
    static const QString style = QStringLiteral("QComboBox { padding: 2px 6px; min-height: 0; }");
    return style;
}

const QString& warningChoiceStyle() {
    static const QString style =
        QStringLiteral("QComboBox { padding: 2px 6px; min-height: 0; background-color: #fff8e1; "
                       "border: 1px solid #f9a825; }");
    return style;
}

const char* const kPalette[kCombinePaletteSize] = {
    "#1f77b4", "#ff7f0e", "#2ca02c", "#d62728", "#9467bd", "#8c564b", "#e377c2",
    "#7f7f7f", "#bcbd22", "#17becf", "#aec7e8", "#ffbb78", "#98df8a", "#ff9896",
    "#c5b0d5", "#c49c94", "#f7b6d2", "#c7c7c7", "#dbdb8d", "#9edae5"};

QComboBox* makeScaleChoice(QWidget* parent, const QString& name) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(name);
    combo->addItems({QStringLiteral("Linear"), QStringLiteral("Log"), QStringLiteral("PseudoLog")});
    combo->setStyleSheet(normalChoiceStyle());
    WindowUtil::fitComboToItems(combo);
    return combo;
}

QComboBox* makeFeatureChoice(QWidget* parent, const QString& name) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(name);
    combo->setMinimumWidth(100);
    combo->setStyleSheet(normalChoiceStyle());
    return combo;
}

// Makes the item whose data is `name` current; a missing name changes nothing.
void selectFeature(QComboBox* combo, const std::string& name) {
    const int index = combo->findData(QString::fromStdString(name), Qt::UserRole,
                                      Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0)
        combo->setCurrentIndex(index);
}

std::string featureOf(const QComboBox* combo) {
    if (combo->currentIndex() < 0)
        return {};
    return combo->currentData().toString().toStdString();
}

} // namespace

namespace {
CombineDatasetWidget::DragRunner& dragRunner() {
    static CombineDatasetWidget::DragRunner runner;
    return runner;
}
} // namespace

CombineDatasetWidget::DragRunner CombineDatasetWidget::setDragRunner(DragRunner runner) {
    return std::exchange(dragRunner(), std::move(runner));
}

QColor combinePaletteColor(int index) {
    const int at = index < 0 ? 0 : index % kCombinePaletteSize;
    return QColor(QString::fromLatin1(kPalette[at]));
}

QString combineReorderMimeType() {
    return QStringLiteral("application/x-combine-dataset-reorder");
}

void applyScaleWarning(QComboBox* scaleChoice, std::size_t hidden) {
    if (!scaleChoice || scaleChoice->count() < 2)
        return;
    if (hidden > 0) {
        scaleChoice->setItemText(1, QStringLiteral("Log \u26a0"));
        scaleChoice->setStyleSheet(warningChoiceStyle());
        scaleChoice->setToolTip(
            QObject::tr("%1 point%2 with value \u2264 0 not shown (cannot be drawn on a log axis)")
                .arg(hidden)
                .arg(hidden == 1 ? QString() : QStringLiteral("s")));
    } else {
        scaleChoice->setItemText(1, QStringLiteral("Log"));
        scaleChoice->setStyleSheet(normalChoiceStyle());
        scaleChoice->setToolTip(QString());
    }
}

CombineDatasetWidget::CombineDatasetWidget(const CombineDatasetRef& ref,
                                           const std::vector<std::string>& features,
                                           RTDCReader* reader, QWidget* parent)
    : QWidget(parent), m_ref(ref) {
    static quint64 s_nextSerial = 1;
    m_serial = s_nextSerial++;
    setAcceptDrops(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(2);

    auto* top = new QHBoxLayout();
    m_colorButton = new QPushButton(this);
    m_colorButton->setObjectName(QStringLiteral("colorButton"));
    m_colorButton->setFixedSize(20, 20);
    setColorButtonStyle();
    m_nameLabel = new QLabel(this);
    m_nameLabel->setObjectName(QStringLiteral("nameLabel"));
    m_nameLabel->setTextFormat(Qt::PlainText);
    m_removeButton = new QPushButton(QStringLiteral("\u00d7"), this);
    m_removeButton->setObjectName(QStringLiteral("removeButton"));
    m_removeButton->setFixedSize(20, 24);
    m_removeButton->setStyleSheet(QStringLiteral(
        "QPushButton { padding: 0; min-height: 24px; min-width: 20px; max-width: 20px; "
        "font-size: 16px; color: #606468; border-radius: 4px; }QPushButton:hover { color: "
        "#d32f2f; background-color: #fde8e8; border-color: #d32f2f; }"));
    top->addWidget(m_colorButton);
    top->addWidget(m_nameLabel, 1);
    top->addWidget(m_removeButton);
    layout->addLayout(top);

    auto* xRow = new QHBoxLayout();
    xRow->setContentsMargins(0, 0, 0, 0);
    m_dragHandle = new QLabel(QStringLiteral("\u2261"), this);
    m_dragHandle->setObjectName(QStringLiteral("dragHandle"));
    m_dragHandle->setFixedWidth(20);
    m_dragHandle->setAlignment(Qt::AlignCenter);
    m_dragHandle->setCursor(Qt::OpenHandCursor);
    m_dragHandle->setToolTip(tr("Drag to reorder"));
    m_dragHandle->setStyleSheet(QStringLiteral("QLabel { color: #888; font-size: 14px; }"));
    m_xFeatureCombo = makeFeatureChoice(this, QStringLiteral("xFeatureCombo"));
    m_xScaleCombo = makeScaleChoice(this, QStringLiteral("xScaleCombo"));
    xRow->addWidget(m_dragHandle);
    xRow->addWidget(new QLabel(QStringLiteral("X:"), this));
    xRow->addWidget(m_xFeatureCombo, 1);
    xRow->addWidget(m_xScaleCombo);
    layout->addLayout(xRow);

    auto* yRow = new QHBoxLayout();
    yRow->setContentsMargins(0, 0, 0, 0);
    auto* spacer = new QWidget(this);
    spacer->setFixedWidth(m_dragHandle->width());
    m_yFeatureCombo = makeFeatureChoice(this, QStringLiteral("yFeatureCombo"));
    m_yScaleCombo = makeScaleChoice(this, QStringLiteral("yScaleCombo"));
    yRow->addWidget(spacer);
    yRow->addWidget(new QLabel(QStringLiteral("Y:"), this));
    yRow->addWidget(m_yFeatureCombo, 1);
    yRow->addWidget(m_yScaleCombo);
    layout->addLayout(yRow);

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    layout->addWidget(line);

    for (const std::string& name : features) {
        const QString text = QString::fromStdString(reader ? reader->getFeatureLabel(name) : name);
        const QString data = QString::fromStdString(name);
        m_xFeatureCombo->addItem(text, data);
        m_yFeatureCombo->addItem(text, data);
    }
    selectFeature(m_xFeatureCombo, ref.xFeature);
    selectFeature(m_yFeatureCombo, ref.yFeature);
    m_xScaleCombo->setCurrentIndex(ref.scaleXMode);
    m_yScaleCombo->setCurrentIndex(ref.scaleYMode);

    connect(m_colorButton, &QPushButton::clicked, this, &CombineDatasetWidget::onColorButtonClicked);
    connect(m_removeButton, &QPushButton::clicked, this, &CombineDatasetWidget::removeRequested);
    for (QComboBox* combo : {m_xFeatureCombo, m_yFeatureCombo, m_xScaleCombo, m_yScaleCombo})
        connect(combo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
                &CombineDatasetWidget::settingsChanged);

    // A drag over any part of the card reaches the card's reorder rules.
    for (QWidget* child : findChildren<QWidget*>()) {
        child->setAcceptDrops(true);
        child->installEventFilter(this);
    }
}

CombineDatasetWidget::~CombineDatasetWidget() = default;

CombineDatasetRef CombineDatasetWidget::getRef() const {
    CombineDatasetRef ref = m_ref;
    ref.xFeature = featureOf(m_xFeatureCombo);
    ref.yFeature = featureOf(m_yFeatureCombo);
    ref.scaleXMode = m_xScaleCombo->currentIndex();
    ref.scaleYMode = m_yScaleCombo->currentIndex();
    return ref;
}

void CombineDatasetWidget::setFeatureSelections(const std::string& x, const std::string& y) {
    const QSignalBlocker blockX(m_xFeatureCombo);
    const QSignalBlocker blockY(m_yFeatureCombo);
    selectFeature(m_xFeatureCombo, x);
    selectFeature(m_yFeatureCombo, y);
}

void CombineDatasetWidget::setScaleSelections(int x, int y) {
    const QSignalBlocker blockX(m_xScaleCombo);
    const QSignalBlocker blockY(m_yScaleCombo);
    m_xScaleCombo->setCurrentIndex(x);
    m_yScaleCombo->setCurrentIndex(y);
}

void CombineDatasetWidget::setDisplayName(const QString& name) {
    m_nameLabel->setText(name);
}

void CombineDatasetWidget::setScaleWarnings(std::size_t hiddenX, std::size_t hiddenY) {
    applyScaleWarning(m_xScaleCombo, hiddenX);
    applyScaleWarning(m_yScaleCombo, hiddenY);
}

void CombineDatasetWidget::setColorButtonStyle() {
    m_colorButton->setStyleSheet(
        QStringLiteral("background-color: %1; border: 1px solid #888;"
                       // The program's button padding would stretch the swatch.
                       " padding: 0; min-height: 0; min-width: 0;")
            .arg(m_ref.color.name()));
}

void CombineDatasetWidget::onColorButtonClicked() {
    const QColor picked =
        DialogProvider::current().getColor(m_ref.color, this, tr("Dataset Color"), {});
    if (!picked.isValid())
        return;
    m_ref.color = picked;
    setColorButtonStyle();
    emit settingsChanged();
}

// ---- reorder drag ------------------------------------------------------------

QMimeData* CombineDatasetWidget::createReorderMimeData() const {
    auto* mime = new QMimeData();
    mime->setData(combineReorderMimeType(), QByteArray::number(m_serial));
    return mime;
}

CombineDatasetWidget* CombineDatasetWidget::reorderSource(const QDropEvent* event) const {
    const QMimeData* mime = event->mimeData();
    if (!mime || !mime->hasFormat(combineReorderMimeType()))
        return nullptr;
    auto* source = qobject_cast<CombineDatasetWidget*>(event->source());
    if (!source && parentWidget()) {
        bool ok = false;
        const quint64 serial = mime->data(combineReorderMimeType()).toULongLong(&ok);
        if (!ok)
            return nullptr;
        // Only a card of the same panel: a drag from another window's card
        // reorders nothing here.
        for (CombineDatasetWidget* card :
             parentWidget()->findChildren<CombineDatasetWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
            if (card->serial() == serial)
                source = card;
        }
    }
    return source == this ? nullptr : source;
}

void CombineDatasetWidget::startReorderDrag() {
    auto* drag = new QDrag(this);
    drag->setMimeData(createReorderMimeData());
    // The drop may rebuild the panel meanwhile; a card discarded during the
    // drag stays alive (hidden) until here, since the drag belongs to it.
    const QPointer<CombineDatasetWidget> self(this);
    m_dragging = true;
    if (dragRunner())
        dragRunner()(*drag);
    else
        drag->exec(Qt::MoveAction);
    if (!self)
        return;
    m_dragging = false;
    m_dragHandle->setCursor(Qt::OpenHandCursor);
    if (m_discardAfterDrag)
        deleteLater();
}

void CombineDatasetWidget::discard() {
    hide();
    if (m_dragging)
        m_discardAfterDrag = true;
    else
        deleteLater();
}

bool CombineDatasetWidget::handleHandleEvent(QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* press = static_cast<QMouseEvent*>(event);
        if (press->button() == Qt::LeftButton) {
            m_dragStartPos = press->localPos().toPoint();
            m_dragHandle->setCursor(Qt::ClosedHandCursor);
        }
        return false;
    }
    case QEvent::MouseButtonRelease:
        m_dragHandle->setCursor(Qt::OpenHandCursor);
        return false;
    case QEvent::MouseMove: {
        auto* move = static_cast<QMouseEvent*>(event);
        if (!(move->buttons() & Qt::LeftButton))
            return false;
        const QPoint delta = move->localPos().toPoint() - m_dragStartPos;
        if (delta.manhattanLength() < QApplication::startDragDistance())
            return false;
        startReorderDrag();
        return true;
    }
    default:
        return false;
    }
}

bool CombineDatasetWidget::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_dragHandle && handleHandleEvent(event))
        return true;
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (!reorderSource(drag))
            return QWidget::eventFilter(watched, event);
        drag->acceptProposedAction();
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        auto* child = qobject_cast<QWidget*>(watched);
        CombineDatasetWidget* source = reorderSource(drop);
        if (!child || !source)
            return QWidget::eventFilter(watched, event);
        drop->acceptProposedAction();
        const QPoint at = child->mapTo(this, dropEventPosition(drop));
        emit dropReceived(source, this, at.y() < height() / 2);
        return true;
    }
    default:
        return QWidget::eventFilter(watched, event);
    }
}

void CombineDatasetWidget::dragEnterEvent(QDragEnterEvent* event) {
    if (reorderSource(event))
        event->acceptProposedAction();
}

void CombineDatasetWidget::dragMoveEvent(QDragMoveEvent* event) {
    if (reorderSource(event))
        event->acceptProposedAction();
}

void CombineDatasetWidget::dropEvent(QDropEvent* event) {
    CombineDatasetWidget* source = reorderSource(event);
    if (!source)
        return;
    const QPoint at = dropEventPosition(event);
    emit dropReceived(source, this, at.y() < height() / 2);
    event->acceptProposedAction();
}

} // namespace Quorvex3
