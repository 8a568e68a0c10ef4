// kvb_editor_bench: what opening the editor costs.
//
//   DecodeSkin/P   decoding the skin pack of scale P (in this program, the
//                  same packs the plug-in binaries hold)
//   OpenEditor/P   effEditOpen, the first picture (effEditIdle) and
//                  effEditClose of the built KVB_64.so's editor at scale P
//                  (QT_SCALE_FACTOR), in a host window on an Xvfb of its own:
//                  every open is a first one, as no other editor holds the
//                  decoded skin meanwhile.
//   OpenEditorCompared   the same at 100 % for the binary KVB_COMPARE_PLUGIN
//                  names (a previous build, say), side by side in the run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "editor/Layout.h"
#include "host/PluginHost.h"
#include "platform/Module.h"
#include "resources/SkinResources.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/gui/XvfbServer.h"

namespace {

void DecodeSkin(benchmark::State& state) {
    const int percent = static_cast<int>(state.range(0));
    const skin::Resource r = skin::findPack(hInstance, percent);
    for (auto _ : state) {
        skin::Skin out;
        if (!skin::decodePack(r.data, r.size, percent, out)) state.SkipWithError("no skin");
        benchmark::DoNotOptimize(out.images[0].pixels.data());
    }
    state.counters["packed_MB"] = static_cast<double>(r.size) / 1e6;
}

void openEditor(benchmark::State& state, const char* path, int percent) {
    setenv("QT_SCALE_FACTOR", std::to_string(percent / 100.0).c_str(), 1);
    kvbhost::PluginHost host;
    if (!host.load(path)) {
        state.SkipWithError(host.error().c_str());
        return;
    }
    vst::ERect* r = nullptr;
    host.dispatch(vst::effEditGetRect, 0, 0, &r);
    guitest::HostWindow window;
    if (!r || !window.create(r->right - r->left, r->bottom - r->top)) {
        state.SkipWithError("no window");
        return;
    }
    for (auto _ : state) {
        if (host.dispatch(vst::effEditOpen, 0, 0, window.parentHandle()) != 1) state.SkipWithError("no editor");
        host.dispatch(vst::effEditIdle);
        host.dispatch(vst::effEditClose);
    }
}

void OpenEditor(benchmark::State& state) { openEditor(state, KVB_PLUGIN_PATH, static_cast<int>(state.range(0))); }

void OpenEditorCompared(benchmark::State& state) {
    const char* other = std::getenv("KVB_COMPARE_PLUGIN");
    if (!other) {
        state.SkipWithError("KVB_COMPARE_PLUGIN not set");
        return;
    }
    openEditor(state, other, 100);
}

BENCHMARK(DecodeSkin)->DenseRange(100, 200, 25)->Unit(benchmark::kMillisecond);
BENCHMARK(OpenEditor)->DenseRange(100, 200, 25)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(OpenEditorCompared)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

int main(int argc, char** argv) {
    guitest::XvfbServer server;
    if (!server.start()) {
        std::fprintf(stderr, "kvb_editor_bench: %s\n", server.error().c_str());
        return 2;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
