// BitmapData's heavy operations on 512 x 512 bitmaps: draw of a bitmap (plain, scaled and
// rotated with smoothing, and through a blend mode), copyPixels (plain and merging alpha) and
// perlinNoise (one and four octaves). Pixels per second are reported for each.

#include "swf/bitmapdata.h"
#include "swf/render/bitmapdrawer.h"

#include <benchmark/benchmark.h>

namespace {

constexpr int kSide = 512;

std::shared_ptr<swf::BitmapData> noisy(bool transparent) {
    auto b = swf::BitmapData::create(kSide, kSide, transparent, 0,
                                     std::make_shared<swf::BitmapBudget>());
    b->noise(1, 0, 255, swf::Red | swf::Green | swf::Blue | swf::Alpha);
    return b;
}

void BM_DrawBitmap(benchmark::State& state) {
    swf::render::RendererBitmapDrawer drawer;
    auto src = noisy(true);
    auto dst = noisy(true);
    const int kind = int(state.range(0));
    QTransform m;
    if (kind == 1) {
        m.translate(kSide / 2.0, kSide / 2.0);
        m.rotate(30);
        m.scale(0.75, 0.75);
        m.translate(-kSide / 2.0, -kSide / 2.0);
    }
    const swf::BlendMode blend = kind == 2 ? swf::BlendMode::Multiply : swf::BlendMode::Normal;
    for (auto _ : state)
        dst->draw(drawer, *src, m, {}, blend, QRectF(), kind == 1);
    state.SetItemsProcessed(state.iterations() * kSide * kSide);
    state.SetLabel(kind == 0 ? "plain" : kind == 1 ? "rotated, smoothed" : "multiply");
}
BENCHMARK(BM_DrawBitmap)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_CopyPixels(benchmark::State& state) {
    auto src = noisy(true);
    auto dst = noisy(true);
    const bool merge = state.range(0) != 0;
    for (auto _ : state)
        dst->copyPixels(*src, src->rect(), QPoint(), nullptr, QPoint(), merge);
    state.SetItemsProcessed(state.iterations() * kSide * kSide);
    state.SetLabel(merge ? "mergeAlpha" : "replace");
}
BENCHMARK(BM_CopyPixels)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_PerlinNoise(benchmark::State& state) {
    auto b = noisy(false);
    const auto octaves = std::uint32_t(state.range(0));
    for (auto _ : state)
        b->perlinNoise(64, 64, octaves, 7, true, true);
    state.SetItemsProcessed(state.iterations() * kSide * kSide);
}
BENCHMARK(BM_PerlinNoise)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
