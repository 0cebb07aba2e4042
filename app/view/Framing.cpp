#include "app/view/Framing.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <unordered_map>
#include <utility>

namespace {

// Lines of fewer cells than this keep their ends in an array; more, in a map.
constexpr int64_t kDenseLines = int64_t{1} << 24;

bool IsDrawn(const VoxelModel& model, const Voxel& v) {
    return v.colorIndex >= 1 && v.colorIndex <= model.palette.size();
}

// The first and last cell of every line of voxels along one axis, keyed by
// the line's other two coordinates from the model's low corner.
class LineEnds {
  public:
    LineEnds(int64_t width, int64_t height) : width_(width) {
        if (width <= kDenseLines / std::max<int64_t>(height, 1)) {
            dense_.assign(static_cast<size_t>(width * height),
                          {std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::min()});
        }
    }
    void Add(int64_t b, int64_t c, int32_t at) {
        std::pair<int32_t, int32_t>& ends = Ends(b, c);
        ends.first = std::min(ends.first, at);
        ends.second = std::max(ends.second, at);
    }
    std::pair<int32_t, int32_t> Get(int64_t b, int64_t c) { return Ends(b, c); }

  private:
    std::pair<int32_t, int32_t>& Ends(int64_t b, int64_t c) {
        if (!dense_.empty()) return dense_[static_cast<size_t>(b + width_ * c)];
        const auto [it, fresh] =
            sparse_.try_emplace(static_cast<uint64_t>(b) | static_cast<uint64_t>(c) << 32,
                                std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::min());
        return it->second;
    }
    int64_t width_;
    std::vector<std::pair<int32_t, int32_t>> dense_;
    std::unordered_map<uint64_t, std::pair<int32_t, int32_t>> sparse_;
};

double Dot(const double a[3], const double b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

void Cross(const double a[3], const double b[3], double out[3]) {
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

void Normalize(double v[3]) {
    const double length = std::sqrt(Dot(v, v));
    for (int a = 0; a < 3; ++a) v[a] /= length;
}

}  // namespace

void PictureDirection(ViewName view, Vector3& toEye, Vector3& up) {
    up = Vector3(0.0f, 1.0f, 0.0f);
    switch (view) {
        case ViewName::Window: {
            const double eye[3] = {cameraEye[0], cameraEye[1], cameraEye[2]};
            const double length = std::sqrt(Dot(eye, eye));
            toEye = Vector3(eye[0] / length, eye[1] / length, eye[2] / length);
            return;
        }
        case ViewName::Front: toEye = Vector3(1.0f, 0.0f, 0.0f); return;
        case ViewName::Side: toEye = Vector3(0.0f, 0.0f, 1.0f); return;
        case ViewName::Top:
            toEye = Vector3(0.0f, 1.0f, 0.0f);
            up = Vector3(-1.0f, 0.0f, 0.0f);
            return;
        case ViewName::Iso: {
            const float third = static_cast<float>(1.0 / std::sqrt(3.0));
            toEye = Vector3(third, third, third);
            return;
        }
    }
}

Matrix4 PicturePlacement(const ModelClock& clock, Vector2 middle) {
    ModelClock placed = clock;
    placed.position = Vector3();
    return ModelMatrix(placed, middle);
}

void AppendHullCandidates(const VoxelModel& frame, const Matrix4& placement, std::vector<Vector3>& points) {
    int64_t low[3] = {std::numeric_limits<int64_t>::max(), std::numeric_limits<int64_t>::max(),
                      std::numeric_limits<int64_t>::max()};
    int64_t high[3] = {std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::min(),
                       std::numeric_limits<int64_t>::min()};
    for (const Voxel& v : frame.voxels) {
        if (!IsDrawn(frame, v)) continue;
        const int64_t p[3] = {v.x, v.y, v.z};
        for (int a = 0; a < 3; ++a) low[a] = std::min(low[a], p[a]), high[a] = std::max(high[a], p[a]);
    }
    if (low[0] > high[0]) return;
    const int64_t extent[3] = {high[0] - low[0] + 1, high[1] - low[1] + 1, high[2] - low[2] + 1};
    // Lines along axis a, keyed by axes a + 1 and a + 2.
    std::vector<LineEnds> lines;
    for (int a = 0; a < 3; ++a) lines.emplace_back(extent[(a + 1) % 3], extent[(a + 2) % 3]);
    const auto key = [&low](const int32_t p[3], int a, int k) { return int64_t{p[(a + k) % 3]} - low[(a + k) % 3]; };
    for (const Voxel& v : frame.voxels) {
        if (!IsDrawn(frame, v)) continue;
        const int32_t p[3] = {v.x, v.y, v.z};
        for (int a = 0; a < 3; ++a) lines[a].Add(key(p, a, 1), key(p, a, 2), p[a]);
    }
    for (const Voxel& v : frame.voxels) {
        if (!IsDrawn(frame, v)) continue;
        const int32_t p[3] = {v.x, v.y, v.z};
        // Per axis: may the low (bit 0) and high (bit 1) side's corners be on the hull?
        int sides[3];
        bool candidate = true;
        for (int a = 0; a < 3 && candidate; ++a) {
            const auto [first, last] = lines[a].Get(key(p, a, 1), key(p, a, 2));
            sides[a] = (p[a] == first ? 1 : 0) | (p[a] == last ? 2 : 0);
            candidate = sides[a] != 0;
        }
        if (!candidate) continue;
        for (int corner = 0; corner < 8; ++corner) {
            float at[3];
            bool used = true;
            for (int a = 0; a < 3; ++a) {
                const bool highSide = corner >> a & 1;
                used = used && (sides[a] >> (highSide ? 1 : 0) & 1);
                at[a] = static_cast<float>(p[a]) + (highSide ? 0.5f : -0.5f);
            }
            if (used) points.push_back(Vector3(Vector3(at[0], at[1], at[2]) * placement));
        }
    }
}

PictureView FramePoints(ViewName view, std::span<const Vector3> points, float aspect, float scale) {
    Vector3 toEyeF, upF;
    PictureDirection(view, toEyeF, upF);
    double low[3] = {1e300, 1e300, 1e300}, high[3] = {-1e300, -1e300, -1e300};
    for (const Vector3& p : points) {
        const double q[3] = {p.x, p.y, p.z};
        for (int a = 0; a < 3; ++a) low[a] = std::min(low[a], q[a]), high[a] = std::max(high[a], q[a]);
    }
    const double middle[3] = {(low[0] + high[0]) / 2, (low[1] + high[1]) / 2, (low[2] + high[2]) / 2};
    double reach = 0;  // the farthest point from the middle
    for (const Vector3& p : points) {
        const double d[3] = {p.x - middle[0], p.y - middle[1], p.z - middle[2]};
        reach = std::max(reach, std::sqrt(Dot(d, d)));
    }
    const double start[3] = {cameraEye[0], cameraEye[1], cameraEye[2]};
    const double distance = std::max(std::sqrt(Dot(start, start)) * scale, 2.0 * reach);
    const double toEye[3] = {toEyeF.x, toEyeF.y, toEyeF.z}, upIn[3] = {upF.x, upF.y, upF.z};
    const double eye[3] = {middle[0] + toEye[0] * distance, middle[1] + toEye[1] * distance,
                           middle[2] + toEye[2] * distance};
    // gluLookAt's basis.
    const double forward[3] = {-toEye[0], -toEye[1], -toEye[2]};
    double right[3], up[3];
    Cross(forward, upIn, right);
    Normalize(right);
    Cross(right, forward, up);
    // Each point's direction on the plane one unit ahead of the eye.
    double x0 = 1e300, x1 = -1e300, y0 = 1e300, y1 = -1e300, nearest = 1e300, farthest = 0;
    for (const Vector3& p : points) {
        const double d[3] = {p.x - eye[0], p.y - eye[1], p.z - eye[2]};
        const double depth = Dot(d, forward);
        const double x = Dot(d, right) / depth, y = Dot(d, up) / depth;
        x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
        nearest = std::min(nearest, depth), farthest = std::max(farthest, depth);
    }
    // The larger side of the bounds fills kPictureFill of the shorter side.
    const double halfHeight = std::max(x1 - x0, y1 - y0) / (2.0 * kPictureFill * std::min<double>(aspect, 1.0));
    const double halfWidth = halfHeight * aspect;
    const double window[4] = {(x0 + x1) / 2 - halfWidth, (x0 + x1) / 2 + halfWidth, (y0 + y1) / 2 - halfHeight,
                              (y0 + y1) / 2 + halfHeight};
    // The near plane: the scene's, or nearer where the ground would cross it
    // at a corner of the picture, and always ahead of the model.
    double nearPlane = std::min<double>(scale, 0.5 * nearest);
    for (int corner = 0; corner < 4 && eye[1] > 0.0; ++corner) {
        const double x = window[corner & 1], y = window[2 + (corner >> 1)];
        const double rayY = forward[1] + right[1] * x + up[1] * y;
        if (rayY < 0.0) nearPlane = std::min(nearPlane, 0.5 * (eye[1] / -rayY));
    }
    const double farPlane = std::max<double>(5000.0 * scale, 2.0 * farthest);

    PictureView picture;
    picture.stage.eye = Vector3(eye[0], eye[1], eye[2]);
    picture.stage.target = Vector3(middle[0], middle[1], middle[2]);
    picture.stage.up = upF;
    picture.stage.scale = scale;
    const auto f = [](double v) { return static_cast<float>(v); };
    picture.projection = Frustum(f(window[0] * nearPlane), f(window[1] * nearPlane), f(window[2] * nearPlane),
                                 f(window[3] * nearPlane), f(nearPlane), f(farPlane));
    return picture;
}

Matrix4 Frustum(float left, float right, float bottom, float top, float nearPlane, float farPlane) {
    Matrix4 m(0.0f);
    const double width = double(right) - left, height = double(top) - bottom, depth = double(farPlane) - nearPlane;
    m.m[0] = static_cast<float>(2.0 * nearPlane / width);
    m.m[5] = static_cast<float>(2.0 * nearPlane / height);
    m.m[8] = static_cast<float>((double(right) + left) / width);
    m.m[9] = static_cast<float>((double(top) + bottom) / height);
    m.m[10] = static_cast<float>(-(double(farPlane) + nearPlane) / depth);
    m.m[11] = -1.0f;
    m.m[14] = static_cast<float>(-2.0 * farPlane * nearPlane / depth);
    return m;
}
