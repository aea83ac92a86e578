// The filter dock's group widgets: rebuilt whole from the program's groups,
// and, of many groups, built only as they come into view.
#include "filters/FilterDockWidget.h"

#include "filters/FilterGroupWidget.h"
#include "filters/FilterRuleWidget.h"
#include "model/DatasetEntry.h"
#include "model/FilterGroup.h"

#include <QApplication>
#include <QEvent>
#include <QFocusEvent>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

namespace Quorvex3 {

// The widgets are built into a fresh container that is not shown yet and
// the old container goes whole: built inside a shown parent, every widget
// would be shown, moved and laid out on its own. Of many groups (an imported
// group file of thousands) only those in or near view get their controls
// now: creating, styling and laying out every control took seconds. The
// others are empty boxes of about their height, built when they come into
// view (buildVisibleGroups).
void FilterDockWidget::refreshFilterGroups(const std::vector<FilterGroup*>& groups,
                                           RTDCReader* reader) {
    const QWidget* focus = QApplication::focusWidget();
    if (focus && m_groupContainer->isAncestorOf(focus))
        setFocus(Qt::OtherFocusReason);
    // Where the user looked stays built, so a rebuild (a rename, a deleted
    // group) shows no empty box there.
    const std::vector<bool> eager = groupsInViewOfOldContainer();
    m_groupWidgets.clear();
    m_groupWidgetById.clear();
    // Created in place, so nothing is restyled when it takes the old one's
    // place; hidden until it is filled.
    auto* container = new QWidget(m_content);
    container->hide();
    auto* layout = new QVBoxLayout(container);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);

    // Enough groups to fill a tall dock.
    constexpr std::size_t kBuiltFromTop = 24;
    // The groups sit in runs, each run a widget of its own: when a group is
    // built or changes height, its run and the list of runs are laid out
    // again, not every group.
    constexpr std::size_t kGroupsPerRun = 40;
    QWidget* run = nullptr;
    QVBoxLayout* runLayout = nullptr;
    const std::vector<std::string> features = getScalarFeatures();
    int emptyHeight = 0;
    int firstHeight = 0;
    for (const FilterGroup* group : groups) {
        if (!group)
            continue;
        const std::size_t index = m_groupWidgets.size();
        const bool now = index < kBuiltFromTop || (index < eager.size() && eager[index]);
        if (index % kGroupsPerRun == 0) {
            run = new QWidget(container);
            runLayout = new QVBoxLayout(run);
            runLayout->setContentsMargins(0, 0, 0, 0);
            runLayout->setSpacing(layout->spacing());
            layout->addWidget(run);
        }
        auto* widget = new FilterGroupWidget(group->id, features, reader, run,
                                             now ? FilterGroupWidget::Build::Now
                                                 : FilterGroupWidget::Build::Later);
        widget->setName(QString::fromStdString(group->name));
        bool on = false;
        if (m_activeDataset) {
            const auto it = m_activeDataset->groupEnabled.find(group->id);
            on = it != m_activeDataset->groupEnabled.end() && it->second;
        }
        widget->setEnabledInDataset(on);
        widget->setMultiDataset(m_datasetCount > 1);
        widget->setRules(group->rules);
        forwardGroupSignals(widget);
        runLayout->addWidget(widget);
        m_groupWidgets.push_back(widget);
        if (!m_groupWidgetById.contains(group->id)) // the first one answers
            m_groupWidgetById.insert(group->id, widget);
        if (now) {
            if (firstHeight == 0)
                firstHeight = widget->sizeHint().height();
            if (emptyHeight == 0 && group->rules.empty())
                emptyHeight = widget->sizeHint().height();
        } else {
            // A group of rules grows when built; the scroll range follows.
            widget->setMinimumHeight(emptyHeight > 0 ? emptyHeight : firstHeight);
            // Tab stops at the empty box, which then builds itself and hands
            // the focus to its first control.
            widget->setFocusPolicy(Qt::TabFocus);
            widget->installEventFilter(this);
        }
    }

    QWidget* old = m_groupContainer;
    old->hide();
    delete m_content->layout()->replaceWidget(old, container);
    old->deleteLater();
    m_groupContainer = container;
    container->setVisible(!m_groupWidgets.empty());
}

// The visible part of the scroll area and half of its height above and
// below, in the viewport's coordinates.
QRect FilterDockWidget::viewedArea() const {
    const QWidget* viewport = m_scrollArea->viewport();
    const int margin = viewport->height() / 2;
    return viewport->rect().adjusted(0, -margin, 0, margin);
}

QRect FilterDockWidget::boxInViewport(const QWidget* group) const {
    return QRect(group->mapTo(m_scrollArea->viewport(), QPoint(0, 0)), group->size());
}

// Positions in the old container's group list that are inside (or within
// half a view of) the visible part of the scroll area.
std::vector<bool> FilterDockWidget::groupsInViewOfOldContainer() const {
    std::vector<bool> inView(m_groupWidgets.size(), false);
    if (!m_groupContainer->isVisible())
        return inView;
    const QRect area = viewedArea();
    for (std::size_t i = 0; i < m_groupWidgets.size(); ++i)
        inView[i] = boxInViewport(m_groupWidgets[i]).intersects(area);
    return inView;
}

namespace {

// The controls of `group` that take part in the tab chain in their own
// right, in the order they were created; a spin box's inner line edit
// travels with its spin box.
std::vector<QWidget*> tabStopsOf(QWidget* group) {
    std::vector<QWidget*> stops;
    for (QWidget* widget : group->findChildren<QWidget*>()) {
        if (widget->focusPolicy() == Qt::NoFocus)
            continue;
        bool inner = false;
        for (QWidget* up = widget->parentWidget(); up && up != group; up = up->parentWidget())
            inner = inner || (up->focusProxy() && up->isAncestorOf(up->focusProxy()));
        if (!inner)
            stops.push_back(widget);
    }
    return stops;
}

} // namespace

// Controls built now join the end of the window's tab chain; they are moved
// behind the group above (its last control, or the empty box itself, which
// keeps its place in the chain), so Tab still walks the groups in order.
void FilterDockWidget::buildGroup(FilterGroupWidget* group) {
    if (group->isBuilt())
        return;
    group->removeEventFilter(this);
    // Kept while the controls appear one by one, so the groups below move
    // at most once.
    group->build();

    const auto self = std::find(m_groupWidgets.begin(), m_groupWidgets.end(), group);
    QWidget* previous = nullptr;
    if (self != m_groupWidgets.end() && self != m_groupWidgets.begin()) {
        FilterGroupWidget* above = *(self - 1);
        const std::vector<QWidget*> stops = tabStopsOf(above);
        previous = above->isBuilt() ? (stops.empty() ? nullptr : stops.back()) : above;
    }
    for (QWidget* stop : tabStopsOf(group)) {
        if (previous)
            QWidget::setTabOrder(previous, stop);
        previous = stop;
    }
    group->setFocusPolicy(Qt::NoFocus);
    group->setMinimumHeight(0);
}

// Boxes that overlap have not been placed by the layout yet (or were placed
// in a container not grown to its size): their positions mean nothing, and
// the paint after the layout has placed them schedules another pass.
void FilterDockWidget::buildVisibleGroups() {
    if (!m_groupContainer->isVisible())
        return;
    const QRect area = viewedArea();
    std::vector<FilterGroupWidget*> inView;
    int previousBottom = std::numeric_limits<int>::min();
    for (FilterGroupWidget* group : m_groupWidgets) {
        const QRect box = boxInViewport(group);
        if (box.top() <= previousBottom)
            return;
        previousBottom = box.bottom();
        if (box.top() > area.bottom())
            break;
        if (!group->isBuilt() && box.intersects(area))
            inView.push_back(group);
    }
    for (FilterGroupWidget* group : inView)
        buildGroup(group);
}

void FilterDockWidget::scheduleVisibleGroupBuild() {
    if (m_groupBuildScheduled)
        return;
    m_groupBuildScheduled = true;
    QTimer::singleShot(0, this, [this] {
        m_groupBuildScheduled = false;
        buildVisibleGroups();
    });
}

// An empty group box is painted: it is in view but was not built when it
// came there (the dock grew, a group above it shrank). The viewport growing
// brings more boxes into view.
bool FilterDockWidget::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        auto* group = qobject_cast<FilterGroupWidget*>(watched);
        if (group && !group->isBuilt()) {
            const bool back = static_cast<QFocusEvent*>(event)->reason() == Qt::BacktabFocusReason;
            buildGroup(group);
            const std::vector<QWidget*> stops = tabStopsOf(group);
            if (!stops.empty())
                (back ? stops.back() : stops.front())
                    ->setFocus(back ? Qt::BacktabFocusReason : Qt::TabFocusReason);
            return false;
        }
    }
    if ((event->type() == QEvent::Paint && watched != m_scrollArea->viewport()) ||
        (event->type() == QEvent::Resize && watched == m_scrollArea->viewport()))
        scheduleVisibleGroupBuild();
    return QWidget::eventFilter(watched, event);
}

void FilterDockWidget::forwardGroupSignals(FilterGroupWidget* group) {
    connect(group, &FilterGroupWidget::renameRequested, this,
            &FilterDockWidget::renameFilterGroupRequested);
    connect(group, &FilterGroupWidget::deleteRequested, this,
            &FilterDockWidget::deleteFilterGroupRequested);
    connect(group, &FilterGroupWidget::enableToggled, this, &FilterDockWidget::groupEnableChanged);
    connect(group, &FilterGroupWidget::enablePropagateRequested, this,
            &FilterDockWidget::groupEnablePropagateRequested);
    connect(group, &FilterGroupWidget::addRuleRequested, this,
            &FilterDockWidget::addRuleToGroupRequested);
    connect(group, &FilterGroupWidget::addPolygonRequested, this,
            &FilterDockWidget::addPolygonToGroupRequested);
    connect(group, &FilterGroupWidget::ruleChanged, this, &FilterDockWidget::groupRuleChanged);
    connect(group, &FilterGroupWidget::ruleRemoved, this, &FilterDockWidget::groupRuleRemoved);
    connect(group, &FilterGroupWidget::polygonEditToggled, this,
            &FilterDockWidget::groupPolygonEditRequested);
}

// The main window marks every group after each plot refresh: a search per
// call was quadratic in the number of groups.
FilterGroupWidget* FilterDockWidget::groupWidgetById(int groupId) const {
    const auto it = m_groupWidgetById.constFind(groupId);
    return it == m_groupWidgetById.constEnd() ? nullptr : it.value();
}

void FilterDockWidget::setGroupEnabledDivergence(int groupId, bool diverged) {
    if (FilterGroupWidget* widget = groupWidgetById(groupId))
        widget->setEnabledDivergence(diverged);
}

void FilterDockWidget::setGroupPolygonEditChecked(int groupId, int ruleIndex, bool on) {
    if (FilterGroupWidget* widget = groupWidgetById(groupId))
        widget->setPolygonEditChecked(ruleIndex, on);
}

void FilterDockWidget::refreshFeatureLists() {
    const std::vector<std::string> features = getScalarFeatures();
    for (QWidget* widget : m_ruleWidgets) {
        if (auto* range = qobject_cast<FilterRuleWidget*>(widget))
            range->refreshAvailableFeatures(features);
    }
    for (FilterGroupWidget* group : m_groupWidgets)
        group->refreshAvailableFeatures(features);
}

} // namespace Quorvex3
