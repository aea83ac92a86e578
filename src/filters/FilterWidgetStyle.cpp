#include "filters/FilterWidgetStyle.h"

#include <QHBoxLayout>
#include <QWidget>

namespace Quorvex3 {

namespace FilterWidgetStyle {

QString plainButton() {
    return QStringLiteral("QPushButton { padding: 2px 8px; min-height: 16px; }");
}

QString highlightedButton() {
    return QStringLiteral("QPushButton { padding: 2px 8px; min-height: 16px; "
                          "background-color: #a6d7d5; color: #00abad; "
                          "border: 1px solid #00abad; font-weight: bold; }");
}

QString removeButton() {
    return QStringLiteral("QPushButton { padding: 0; min-height: 24px; min-width: 20px; "
                          "max-width: 20px; font-size: 16px; color: #606468; "
                          "border-radius: 4px; }"
                          "QPushButton:hover { color: #d32f2f; background-color: #fde8e8; "
                          "border-color: #d32f2f; }");
}

} // namespace FilterWidgetStyle

QWidget* makeRuleSeparator(QWidget* parent) {
    auto* separator = new QWidget(parent);
    auto* layout = new QHBoxLayout(separator);
    layout->setContentsMargins(0, 4, 0, 4);
    layout->addStretch(1);
    auto* line = new QWidget(separator);
    line->setFixedSize(140, 1);
    line->setStyleSheet(QStringLiteral("background-color: #c8c8c8;"));
    layout->addWidget(line);
    layout->addStretch(1);
    return separator;
}

} // namespace Quorvex3
