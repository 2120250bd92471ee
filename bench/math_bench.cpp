// Matrix and point math side by side with glm; a summary of the time ratios follows the table.
#include <qcore/geom/math3d.h>

#include "ratio_reporter.h"

#include <benchmark/benchmark.h>
#include <glm/ext/matrix_clip_space.hpp>
#include <glm/ext/matrix_transform.hpp>
#include <glm/glm.hpp>

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kMatrices = 1024;
constexpr int kPoints = 1000000;

std::vector<float> random_floats(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> d(-2.0f, 2.0f);
    std::vector<float> v(n);
    for (float& f : v)
        f = d(rng);
    return v;
}

template <class M> std::vector<M> matrices(unsigned seed) {
    const std::vector<float> f = random_floats(16 * kMatrices, seed);
    std::vector<M> r(kMatrices);
    static_assert(sizeof(M) == 64);
    std::memcpy(static_cast<void*>(r.data()), f.data(), f.size() * sizeof(float));
    return r;
}

void multiply_qcore(benchmark::State& state) {
    const auto a = matrices<MAT>(1), b = matrices<MAT>(2);
    std::vector<MAT> out(kMatrices);
    for (auto _ : state) {
        for (int i = 0; i < kMatrices; ++i)
            out[i] = a[i] * b[i];
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kMatrices);
}

void multiply_glm(benchmark::State& state) {
    const auto a = matrices<glm::mat4>(1), b = matrices<glm::mat4>(2);
    std::vector<glm::mat4> out(kMatrices);
    for (auto _ : state) {
        // Column-major storage: b × a here is the same product as a × b in row-vector form.
        for (int i = 0; i < kMatrices; ++i)
            out[i] = b[i] * a[i];
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kMatrices);
}

void inverse_qcore(benchmark::State& state) {
    const auto a = matrices<MAT>(3);
    std::vector<MAT> out(kMatrices);
    for (auto _ : state) {
        for (int i = 0; i < kMatrices; ++i)
            out[i] = a[i].get_inverse();
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kMatrices);
}

void inverse_glm(benchmark::State& state) {
    const auto a = matrices<glm::mat4>(3);
    std::vector<glm::mat4> out(kMatrices);
    for (auto _ : state) {
        for (int i = 0; i < kMatrices; ++i)
            out[i] = glm::inverse(a[i]);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kMatrices);
}

MAT view_projection() {
    const D3DXVECTOR3 eye(3, 4, -10), at(0, 0, 0), up(0, 1, 0);
    MAT view, proj;
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    D3DXMatrixPerspectiveFovLH(&proj, 0.8f, 4.0f / 3, 0.5f, 500.0f);
    return view * proj;
}

void transform_qcore(benchmark::State& state) {
    const std::vector<float> f = random_floats(3 * kPoints, 4);
    std::vector<VEC> points(kPoints);
    std::memcpy(static_cast<void*>(points.data()), f.data(), f.size() * sizeof(float));
    const MAT m = view_projection();
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<VEC> work = points;
        state.ResumeTiming();
        for (VEC& p : work)
            p.transf_self(m);
        benchmark::DoNotOptimize(work.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
}

void transform_glm(benchmark::State& state) {
    const std::vector<float> f = random_floats(3 * kPoints, 4);
    std::vector<glm::vec3> points(kPoints);
    std::memcpy(static_cast<void*>(points.data()), f.data(), f.size() * sizeof(float));
    glm::mat4 m;
    const MAT vp = view_projection();
    std::memcpy(&m[0][0], &vp._11, 64);
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<glm::vec3> work = points;
        state.ResumeTiming();
        for (glm::vec3& p : work) {
            const glm::vec4 r = m * glm::vec4(p, 1.0f);
            p = glm::vec3(r) / r.w;
        }
        benchmark::DoNotOptimize(work.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
}

void camera_qcore(benchmark::State& state) {
    const std::vector<float> eyes = random_floats(3 * kMatrices, 5);
    std::vector<MAT> out(kMatrices);
    const D3DXVECTOR3 at(0, 0, 0), up(0, 1, 0);
    for (auto _ : state) {
        for (int i = 0; i < kMatrices; ++i) {
            const D3DXVECTOR3 eye(eyes[3 * i] + 5, eyes[3 * i + 1], eyes[3 * i + 2]);
            MAT view, proj;
            D3DXMatrixLookAtLH(&view, &eye, &at, &up);
            D3DXMatrixPerspectiveFovLH(&proj, 0.8f + eyes[3 * i] * 0.01f, 4.0f / 3, 0.5f, 500.0f);
            out[i] = view * proj;
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kMatrices);
}

void camera_glm(benchmark::State& state) {
    const std::vector<float> eyes = random_floats(3 * kMatrices, 5);
    std::vector<glm::mat4> out(kMatrices);
    const glm::vec3 at(0, 0, 0), up(0, 1, 0);
    for (auto _ : state) {
        for (int i = 0; i < kMatrices; ++i) {
            const glm::vec3 eye(eyes[3 * i] + 5, eyes[3 * i + 1], eyes[3 * i + 2]);
            out[i] = glm::perspective(0.8f + eyes[3 * i] * 0.01f, 4.0f / 3, 0.5f, 500.0f) *
                     glm::lookAt(eye, at, up);
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kMatrices);
}

BENCHMARK(multiply_qcore);
BENCHMARK(multiply_glm);
BENCHMARK(inverse_qcore);
BENCHMARK(inverse_glm);
BENCHMARK(transform_qcore)->Unit(benchmark::kMillisecond);
BENCHMARK(transform_glm)->Unit(benchmark::kMillisecond);
BENCHMARK(camera_qcore);
BENCHMARK(camera_glm);

// Keeps each run's time per iteration so that the pairs can be compared at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        // With repetitions the fastest run counts, the least disturbed by other work on the machine (the
        // median when only aggregates are shown); CPU time leaves out preemption.
        for (const Run& r : runs) {
            if (r.error_occurred) continue;
            const double t = r.GetAdjustedCPUTime();
            const auto [it, added] = times_.try_emplace(r.run_name.function_name, t);
            if (r.run_type == Run::RT_Iteration && !added)
                it->second = std::min(it->second, t);
            else if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median")
                it->second = t;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void print_ratios() const {
        std::printf("\nqcore / glm time ratio (target <= 1.20):\n");
        for (const char* name : {"multiply", "inverse", "transform", "camera"}) {
            const auto ours = times_.find(std::string(name) + "_qcore"),
                       peer = times_.find(std::string(name) + "_glm");
            if (ours == times_.end() || peer == times_.end() || peer->second <= 0) continue;
            const double ratio = ours->second / peer->second;
            std::printf("  %-10s %6.2f %s\n", name, ratio, ratio <= 1.2 ? "" : "(over target)");
        }
    }

private:
    std::map<std::string, double> times_;
};

} // namespace

int main(int argc, char** argv) {
    RatioReporter reporter;
    const int rc = qcore::bench::run_and_summarise(argc, argv, reporter);
    return rc;
}
