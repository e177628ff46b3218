// The program's own cost on the host, against the simulated drive in-process with no latency and
// the specified waits (the readiness polls' sleeps, the commit clock's seconds) taken by the fake
// clock: the CPU time of a whole flash (33 transfers, 512 KiB moved and compared) and of the
// start-up's scan of the six drive slots.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "app/flash_form.h"
#include "fake_window.h"
#include "own_file.h"
#include "package/firmware_area.h"
#include "package_slots.h"
#include "platform/fake/fake_dialogs.h"
#include "platform/fake/fake_system.h"
#include "sim/inprocess/inprocess_aspi.h"
#include "sim_drive.h"

#include "counting_heap.h"

namespace {

// A flasher's two images in the program's own slots, for the whole run.
struct FlasherImages {
    PackageSlots slots;
    FlasherImages() {
        std::vector<unsigned char> image(2 * package::ImageSize);
        for (std::size_t i = 0; i < image.size(); ++i) {
            image[i] = static_cast<unsigned char>(i * 7 + (i >> 10));
        }
        slots.put(0, image.data(), image.size());
    }
};

// The flasher's window and a drive at 0:0 (revision KV81) with no latency.
struct Flasher : FakeWindow {
    platform::fake::FakeSystem system;
    platform::fake::FakeDialogs dialogs;
    ownfile::OwnFile files{system};
    app::ProcessState state;
    simdrive::Bus bus{system, simdrive::busWith({sim::DeviceSpec()})};
    std::unique_ptr<TFlashForm> form;
    Flasher() { form.reset(new TFlashForm(controls, {system, dialogs, files}, state)); }
};

void BM_WholeFlash(benchmark::State& state) {
    FlasherImages images;
    Flasher f;
    f.dialogs.answers = {platform::AnswerYes};
    f.form->FormCreate();
    heap::blocks = heap::bytes = heap::largest = 0;
    for (auto _ : state) {
        f.dialogs.answers = {platform::AnswerYes, platform::AnswerNo};
        // What the test doubles note down is theirs: emptied, it keeps its room.
        f.dialogs.shown.clear();
        f.system.sleeps.clear();
        f.system.cursorChanges.clear();
        f.frame.painted.clear();
        heap::counting = true;
        f.form->FlashButtonClick();
        heap::counting = false;
        if (f.frame.text != "Flash Completed.") {
            state.SkipWithError(("the flash ended with " + f.frame.text).c_str());
            break;
        }
    }
    f.form->FormDestroy();
    // Per flash: the blocks the program allocates, their bytes, and the largest block.
    state.counters["allocs"] =
        benchmark::Counter(static_cast<double>(heap::blocks), benchmark::Counter::kAvgIterations);
    state.counters["alloc_B"] =
        benchmark::Counter(static_cast<double>(heap::bytes), benchmark::Counter::kAvgIterations);
    state.counters["largest_B"] = static_cast<double>(heap::largest);
}
BENCHMARK(BM_WholeFlash)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

void BM_StartupScan(benchmark::State& state) {
    FlasherImages images;
    for (auto _ : state) {
        Flasher f;
        f.dialogs.answers = {platform::AnswerYes};
        f.form->FormCreate();
        if (f.combo.items.size() != 1) {
            state.SkipWithError("the scan found no drive");
            break;
        }
        f.form->FormDestroy();
    }
}
BENCHMARK(BM_StartupScan)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();

} // namespace
