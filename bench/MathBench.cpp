// The math library's hot operations: the fast inverse square root against
// the exact one, the matrix product and the point transform the voxel
// loader runs once per voxel.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "math/Geometry.h"
#include "math/Matrix4.h"

namespace {

std::vector<float> Inputs() {
    std::vector<float> values(1024);
    for (size_t i = 0; i < values.size(); ++i) values[i] = 0.5f + float(i) * 0.37f;
    return values;
}

void BM_FastInverseSqrt(benchmark::State& state) {
    const std::vector<float> values = Inputs();
    for (auto _ : state) {
        float sum = 0;
        for (float v : values) sum += fastInverseSqrt(v);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(values.size()));
}
BENCHMARK(BM_FastInverseSqrt);

void BM_ExactInverseSqrt(benchmark::State& state) {
    const std::vector<float> values = Inputs();
    for (auto _ : state) {
        float sum = 0;
        for (float v : values) sum += float(1.0 / std::sqrt(double(v)));
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(values.size()));
}
BENCHMARK(BM_ExactInverseSqrt);

void BM_MatrixProduct(benchmark::State& state) {
    Matrix4 a(0.0f);
    setIdentity(a);
    rotate(a, 10.0f, 20.0f, 30.0f);
    Matrix4 b = a;
    translate(b, 1.0f, 2.0f, 3.0f);
    for (auto _ : state) {
        a *= b;
        benchmark::DoNotOptimize(a);
    }
}
BENCHMARK(BM_MatrixProduct);

void BM_TransformPoint(benchmark::State& state) {
    Matrix4 m(0.0f);
    setIdentity(m);
    rotate(m, 90, 0, 0);
    Vector3 p(1, 2, 3);
    for (auto _ : state) {
        Vector4 q = p * m;
        benchmark::DoNotOptimize(q);
        p.x += 1.0f;
    }
}
BENCHMARK(BM_TransformPoint);

}  // namespace
