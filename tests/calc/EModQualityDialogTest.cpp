// The quality dialog: the traffic lights' thresholds and what it shows.

#include "calc/EModQualityDialog.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

namespace Quorvex3 {

TEST(EModQualityDialog, LightThresholdsAndTheFiguresShown) {
    // Of 200 events: unmapped share below 0.05 green, below 0.2 amber; near
    // the edge, share of mapped below 0.1 / 0.3; sensitivity below 0.3 / 0.7;
    // bias below 0.05 / 0.15.
    using L = QualityLight;
    // clang-format off
    for (const auto& [mapped, near, sensitivity, bias, light] : {std::tuple{191, 19, 0.299, 0.049, L::Green},
            {190, 19, 0.3, 0.05, L::Amber}, {161, 48, 0.699, 0.149, L::Amber}, {159, 48, 0.7, 0.15, L::Red}}) {
        // clang-format on
        const EModulus::QualityReport r{200, 0, 0, 0, 0, mapped, near, sensitivity, 0, 0, 0, bias};
        const std::vector lights{coverageLight(r), boundaryLight(r), sensitivityLight(r),
                                 biasLight(r)};
        EXPECT_EQ(lights, std::vector(4, light)) << mapped;
    }
    EXPECT_EQ(EModQualityDialog({}, "d").findChildren<QLabel*>().value(1)->text(),
              "No data available for quality assessment.");
}

TEST(EModQualityDialog, EveryFigureInItsGroupWithItsLight) {
    // 195 of 200 mapped (green), 20 of them near the edge (amber),
    // sensitivity 0.7123 (red), bias 0.0449 (green).
    const EModulus::QualityReport r{200, 1, 1, 1, 2, 195, 20, 0.7123, 7, 2.346, 2.2, 0.0449, true};
    EModQualityDialog dialog(r, "A<b>");
    EXPECT_EQ(dialog.windowTitle(), "YM Quality Assessment");
    EXPECT_EQ(dialog.minimumWidth(), 420);
    const QString green = "<span style='color: #2e7d32; font-size: 16px;'>&#x25CF;</span>";
    const QString amber = "<span style='color: #f9a825; font-size: 16px;'>&#x25CF;</span>";
    const QString red = "<span style='color: #c62828; font-size: 16px;'>&#x25CF;</span>";
    QStringList titles;
    for (const QGroupBox* box : dialog.findChildren<QGroupBox*>())
        titles << box->title();
    EXPECT_EQ(titles, QStringList({"Coverage", "Boundary Proximity", "Gradient Sensitivity",
                                   "Population Bias"}));
    QStringList texts;
    for (const QLabel* label : dialog.findChildren<QLabel*>()) {
        texts << label->text();
        // The first line of a group and the dataset line are rich text, the
        // further lines plain and indented by 20.
        const bool further = label->textFormat() == Qt::PlainText;
        EXPECT_EQ(label->contentsMargins().left(), further ? 20 : 0) << label->text().toStdString();
    }
    EXPECT_EQ(texts,
              QStringList({"<b>Dataset:</b> A&lt;b&gt;", green + " <b>Mapped:</b> 195 (97.5%)",
                           "Area too small: 1 (0.5%)", "Area too large: 1 (0.5%)",
                           "Deform too low: 1 (0.5%)", "Deform too high: 2 (1.0%)",
                           amber + " <b>Near low-deformation edge:</b> 20 (10.3%) of mapped events",
                           "Events within 10% of the local lower LUT boundary at their cell size",
                           "These events yield less reliable (lower-bound) YM estimates",
                           red + " <b>Median sensitivity:</b> 0.712",
                           QString::fromUtf8("|dE/dd| * MAD(deform) / E \xe2\x80\x94 ratio of "
                                             "propagated deformation uncertainty to YM value"),
                           "High sensitivity events (>1.0): 7 (3.6%)", green + " <b>Bias:</b> 4.5%",
                           "Median YM (all mapped): 2.35 kPa",
                           "Median YM (interior only): 2.20 kPa"}));
    const auto buttons = dialog.findChildren<QDialogButtonBox*>();
    ASSERT_EQ(buttons.size(), 1);
    ASSERT_EQ(buttons[0]->buttons().size(), 1);
    buttons[0]->button(QDialogButtonBox::Ok)->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

} // namespace Quorvex3
