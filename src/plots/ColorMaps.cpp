#include "plots/ColorMaps.h"

#include <qwt_color_map.h>

#include <QColor>

#include <initializer_list>

namespace Quorvex3 {

namespace {

struct ColorStop {
    double position;
    QColor color;
};

QwtLinearColorMap* buildMap(const QColor& start, const QColor& end,
                            std::initializer_list<ColorStop> innerStops) {
    auto* map = new QwtLinearColorMap(start, end, QwtColorMap::RGB);
    for (const ColorStop& stop : innerStops)
        map->addColorStop(stop.position, stop.color);
    return map;
}

} // namespace

QwtLinearColorMap* createColorMap(int index) {
    const QColor blue(0, 0, 255);
    const QColor cyan(0, 255, 255);
    const QColor green(0, 255, 0);
    const QColor yellow(255, 255, 0);
    const QColor red(255, 0, 0);

    switch (index) {
    case 1: // Jet
        return buildMap(blue, red, {{0.25, cyan}, {0.5, green}, {0.75, yellow}});
    case 2: // Jet+: a violet foot below the blue, stops every fifth
        return buildMap(QColor(100, 0, 180), red,
                        {{0.2, blue}, {0.4, cyan}, {0.6, green}, {0.8, yellow}});
    case 3: // Plasma
        return buildMap(QColor(13, 8, 135), QColor(240, 249, 33),
                        {{0.25, QColor(126, 3, 168)},
                         {0.5, QColor(204, 71, 120)},
                         {0.75, QColor(248, 149, 64)}});
    case 4: // BVAC, the house colours
        return buildMap(QColor(0, 68, 108), QColor(254, 204, 0),
                        {{0.25, QColor(0, 171, 173)},
                         {0.5, QColor(104, 193, 194)},
                         {0.75, QColor(166, 215, 213)}});
    case 5: // Grayscale
        return buildMap(QColor(0, 0, 0), QColor(255, 255, 255), {});
    default: // Viridis, also for unknown indices
        return buildMap(QColor(68, 1, 84), QColor(253, 231, 37),
                        {{0.25, QColor(59, 82, 139)},
                         {0.5, QColor(33, 145, 140)},
                         {0.75, QColor(94, 201, 98)}});
    }
}

} // namespace Quorvex3
