// An independent check that a triangle mesh of voxels is watertight, for the
// mesher's and the writers' tests. It looks only at positions (whole cell
// units) and triangles, never at how they were made:
//   - no triangle of zero area;
//   - no vertex strictly inside any triangle's edge (no T-junction);
//   - every edge is used by two triangles, once in each direction, or by
//     four where two voxels touch only along it (two in each direction);
//   - the signed volume equals the number of voxels (outward winding);
//   - the area facing each of the six directions equals the number of
//     exposed unit faces of the voxels in that direction.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <numeric>
#include <set>
#include <string>
#include <vector>

namespace meshcheck {

using Point = std::array<int64_t, 3>;
using Cells = std::set<Point>;

struct Mesh {
    std::vector<Point> positions;
    std::vector<uint32_t> indices;  // three per triangle
};

inline std::string Text(const Point& p) {
    return "(" + std::to_string(p[0]) + ", " + std::to_string(p[1]) + ", " + std::to_string(p[2]) + ")";
}

inline Point Sub(const Point& a, const Point& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
inline Point Cross(const Point& a, const Point& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

// Exposed unit faces per direction (-x, +x, -y, +y, -z, +z) of a set of cells.
inline std::array<int64_t, 6> ExposedFaces(const Cells& cells) {
    std::array<int64_t, 6> count{};
    for (const Point& c : cells) {
        for (int f = 0; f < 6; ++f) {
            Point n = c;
            n[f / 2] += (f & 1) ? 1 : -1;
            if (!cells.count(n)) ++count[f];
        }
    }
    return count;
}

// Whether the four cells around the unit edge from p along `axis` hold
// exactly two voxels, diagonally: the only place four triangles may meet.
inline bool DiagonalPairAround(const Cells& cells, const Point& p, int axis) {
    const int a = (axis + 1) % 3, b = (axis + 2) % 3;
    bool in[2][2];
    for (int i = 0; i < 2; ++i) {
        for (int j = 0; j < 2; ++j) {
            Point c = p;
            c[a] -= i;
            c[b] -= j;
            in[i][j] = cells.count(c) != 0;
        }
    }
    return in[0][0] == in[1][1] && in[0][1] == in[1][0] && in[0][0] != in[0][1];
}

// The first problem found, or "" when the mesh passes every check against
// `cells`, the voxels it was made from.
inline std::string Check(const Mesh& mesh, const Cells& cells) {
    if (mesh.indices.size() % 3 != 0) return "index count is not a multiple of 3";
    for (uint32_t i : mesh.indices) {
        if (i >= mesh.positions.size()) return "index out of range";
    }
    std::set<Point> used;
    for (uint32_t i : mesh.indices) used.insert(mesh.positions[i]);

    std::map<std::pair<Point, Point>, int> directed;
    __int128 volume6 = 0;            // far cells make products past 64 bits
    std::array<int64_t, 6> area2{};  // twice the area facing each direction
    for (size_t t = 0; t < mesh.indices.size(); t += 3) {
        const Point& p0 = mesh.positions[mesh.indices[t]];
        const Point& p1 = mesh.positions[mesh.indices[t + 1]];
        const Point& p2 = mesh.positions[mesh.indices[t + 2]];
        const Point n = Cross(Sub(p1, p0), Sub(p2, p0));
        const int nonZero = (n[0] != 0) + (n[1] != 0) + (n[2] != 0);
        if (nonZero == 0) return "zero-area triangle at " + Text(p0) + " " + Text(p1) + " " + Text(p2);
        if (nonZero != 1) return "triangle not in an axis plane at " + Text(p0);
        const int axis = n[0] != 0 ? 0 : n[1] != 0 ? 1 : 2;
        area2[2 * axis + (n[axis] > 0)] += std::abs(n[axis]);
        const __int128 c[3] = {__int128{p1[1]} * p2[2] - __int128{p1[2]} * p2[1],
                               __int128{p1[2]} * p2[0] - __int128{p1[0]} * p2[2],
                               __int128{p1[0]} * p2[1] - __int128{p1[1]} * p2[0]};
        volume6 += p0[0] * c[0] + p0[1] * c[1] + p0[2] * c[2];
        const Point* corner[3] = {&p0, &p1, &p2};
        for (int k = 0; k < 3; ++k) {
            const Point& a = *corner[k];
            const Point& b = *corner[(k + 1) % 3];
            ++directed[{a, b}];
            // Lattice points strictly inside the edge: steps of (b - a) / g.
            const Point d = Sub(b, a);
            const int64_t g = std::gcd(std::gcd(std::abs(d[0]), std::abs(d[1])), std::abs(d[2]));
            for (int64_t s = 1; s < g; ++s) {
                const Point q = {a[0] + d[0] / g * s, a[1] + d[1] / g * s, a[2] + d[2] / g * s};
                if (used.count(q)) return "vertex " + Text(q) + " inside edge " + Text(a) + " " + Text(b);
            }
        }
    }
    for (const auto& [edge, count] : directed) {
        const auto back = directed.find({edge.second, edge.first});
        const int reverse = back == directed.end() ? 0 : back->second;
        if (count != reverse) {
            return "edge " + Text(edge.first) + " " + Text(edge.second) + " used " + std::to_string(count) +
                   " times one way and " + std::to_string(reverse) + " the other";
        }
        if (count == 2) {
            const Point d = Sub(edge.second, edge.first);
            const int axis = d[0] != 0 ? 0 : d[1] != 0 ? 1 : 2;
            Point low = d[axis] > 0 ? edge.first : edge.second;
            if ((d[0] != 0) + (d[1] != 0) + (d[2] != 0) != 1 || !DiagonalPairAround(cells, low, axis)) {
                return "edge " + Text(edge.first) + " " + Text(edge.second) + " shared by four triangles";
            }
        } else if (count != 1) {
            return "edge " + Text(edge.first) + " " + Text(edge.second) + " shared by " + std::to_string(2 * count) +
                   " triangles";
        }
    }
    if (volume6 != 6 * static_cast<int64_t>(cells.size())) {
        return "signed volume " + std::to_string(static_cast<double>(volume6) / 6.0) + " for " +
               std::to_string(cells.size()) + " voxels";
    }
    const std::array<int64_t, 6> exposed = ExposedFaces(cells);
    for (int f = 0; f < 6; ++f) {
        if (area2[f] != 2 * exposed[f]) {
            return "area facing direction " + std::to_string(f) + " is " + std::to_string(area2[f] / 2.0) +
                   ", exposed faces " + std::to_string(exposed[f]);
        }
    }
    return "";
}

}  // namespace meshcheck
