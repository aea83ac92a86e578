#pragma once

// Look-up tables of the shapes that trouble a Delaunay triangulation, shared
// by the table tests and the triangulation benchmark: every in-circle sign a
// near-tie (a circle, an ellipse, which normalises to a circle), points on
// one line or within 1e-12 of it, areas of ±1e308, rows crowded into a spot
// far smaller than the table, and scattered rows in general position.

#include "CalcTestSupport.h"
#include "calc/LUTTable.h"

#include <cmath>
#include <random>
#include <string>

namespace Quorvex3::testing {

enum class LutShape { Circle, Ellipse, Collinear, NearCollinear, HugeAreas, Cluster, Scattered };

inline const char* lutShapeName(LutShape shape) {
    switch (shape) {
    case LutShape::Circle:
        return "circle";
    case LutShape::Ellipse:
        return "ellipse";
    case LutShape::Collinear:
        return "collinear";
    case LutShape::NearCollinear:
        return "near-collinear";
    case LutShape::HugeAreas:
        return "areas of 1e308";
    case LutShape::Cluster:
        return "cluster";
    case LutShape::Scattered:
        return "scattered";
    }
    return "";
}

/// `n` rows (area µm², deformation, modulus kPa) of `shape`, the same for a
/// seed on every platform. Circle and ellipse run once round in row order;
/// the line's rows lie at random areas in row order, the near-collinear
/// ones with deformations moved by up to 1e-12; the huge areas alternate
/// between -1e308 and 1e308; the cluster's rows lie within 1e-9 µm² and
/// 1e-12 of (120 µm², 0.06) but for three far corners.
inline Rows lutShapeRows(LutShape shape, int n, unsigned seed = 7) {
    const double pi = std::acos(-1.0);
    std::mt19937_64 random(seed);
    Rows rows;
    for (int i = 0; i < n; ++i) {
        const double angle = 2 * pi * i / n;
        const double along = 20.0 + 200.0 * uniform(random);
        double area = along;
        double deform = 0.03 + 0.0004 * along;
        switch (shape) {
        case LutShape::Circle:
            area = 100.0 + 50.0 * std::cos(angle);
            deform = 60.0 + 50.0 * std::sin(angle);
            break;
        case LutShape::Ellipse:
            area = 120.0 + 100.0 * std::cos(angle);
            deform = 0.06 + 0.05 * std::sin(angle);
            break;
        case LutShape::Collinear:
            break;
        case LutShape::NearCollinear:
            deform += 1e-12 * (2.0 * uniform(random) - 1.0);
            break;
        case LutShape::HugeAreas:
            area = i % 2 == 0 ? -1e308 : 1e308;
            deform = 0.01 + 0.1 * uniform(random);
            break;
        case LutShape::Cluster:
            area = i < 3 ? 20.0 + 100.0 * i : 120.0 + 1e-9 * uniform(random);
            deform = i < 3 ? (i == 1 ? 0.11 : 0.01) : 0.06 + 1e-12 * uniform(random);
            break;
        case LutShape::Scattered:
            deform = 0.01 + 0.1 * uniform(random);
            break;
        }
        rows.push_back({area, deform, 0.3 + 0.004 * area * (1 + 30 * deform)});
    }
    return rows;
}

inline LUTData lutTable(const Rows& rows) {
    LUTData table;
    for (const auto& row : rows) {
        table.area.push_back(row[0]);
        table.deform.push_back(row[1]);
        table.emodulus.push_back(row[2]);
    }
    return table;
}

} // namespace Quorvex3::testing
