// A flash-procedure test bench: the fake platform with controls that log what the run did to
// them, the in-process simulated drive at slot 1 (0:1), the window's side of the drive over
// those controls, the procedure, and real image data in the package area for as long as the
// bench lives.
#pragma once

#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/form_drive.h"
#include "aspi/aspi_layer.h"
#include "aspi/drive_commands.h"
#include "aspi/scsi.h"
#include "package/firmware_area.h"
#include "package_slots.h"
#include "platform/fake/fake_controls.h"
#include "platform/fake/fake_dialogs.h"
#include "platform/fake/fake_system.h"
#include "sim_drive.h"
#include "update/flash_procedure.h"

namespace flashtest {

// Every call that matters for the order of the transfer set-up and the commit, in one list.
using Log = std::vector<std::string>;

// Recognisable bytes, different for every seed and every block.
inline std::vector<uint8_t> pattern(uint32_t seed, size_t size = package::ImageSize) {
    std::vector<uint8_t> bytes(size);
    uint32_t x = seed * 2654435761u + 1u;
    for (auto& b : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<uint8_t>(x);
    }
    return bytes;
}

// Two different images in the package area for the length of a test.
class PackageImages {
public:
    PackageImages() : zolk(pattern(8)), nonZolk(pattern(1)) {
        slots_.put(0, zolk.data(), package::ImageSize);
        slots_.put(package::ImageSize, nonZolk.data(), package::ImageSize);
    }

private:
    PackageSlots slots_;

public:
    const std::vector<uint8_t> zolk;
    const std::vector<uint8_t> nonZolk;
};

class LoggingSystem : public platform::fake::FakeSystem {
public:
    explicit LoggingSystem(Log& log) : log_(log) {}
    void setCursor(platform::CursorShape shape) override {
        log_.push_back(shape == platform::CursorShape::Hourglass ? "hourglass" : "default");
        FakeSystem::setCursor(shape);
    }

private:
    Log& log_;
};

class LoggingBar : public platform::fake::FakeProgressBar {
public:
    explicit LoggingBar(Log& log) : log_(log) {}
    void setMin(int32_t v) override {
        log_.push_back("min " + std::to_string(v));
        FakeProgressBar::setMin(v);
    }
    void setMax(int32_t v) override {
        log_.push_back("max " + std::to_string(v));
        FakeProgressBar::setMax(v);
    }
    void setStep(int32_t v) override {
        log_.push_back("step " + std::to_string(v));
        FakeProgressBar::setStep(v);
    }
    void setPosition(int32_t v) override {
        if (!stepping_) {
            log_.push_back("pos " + std::to_string(v));
        }
        FakeProgressBar::setPosition(v);
    }
    void stepIt() override {
        log_.push_back("stepIt");
        stepping_ = true;
        FakeProgressBar::stepIt();
        stepping_ = false;
    }

private:
    Log& log_;
    bool stepping_ = false;
};

class LoggingFrame : public platform::fake::FakeFrame {
public:
    explicit LoggingFrame(Log& log) : log_(log) {}
    void repaint() override {
        log_.push_back("paint " + text);
        FakeFrame::repaint();
    }

private:
    Log& log_;
};

// The procedure with its buffer source observable, and able to fail.
class TestProcedure : public update::FlashProcedure {
public:
    TestProcedure(Log& log, update::FlashWindow& window, aspi::Layer& layer,
                  aspi::DriveData& drives, platform::System& system, platform::Dialogs& dialogs)
        : FlashProcedure(window, layer, drives, system, dialogs), log_(log) {}
    bool noMemory = false;
    std::vector<uint8_t*> buffers; // every buffer handed out, in order

protected:
    uint8_t* obtainBlockBuffer(std::size_t bytes) override {
        log_.push_back("buffer " + std::to_string(bytes));
        if (noMemory) {
            return nullptr;
        }
        uint8_t* buffer = FlashProcedure::obtainBlockBuffer(bytes);
        buffers.push_back(buffer);
        return buffer;
    }

private:
    Log& log_;
};

struct DriveSetup {
    std::string revision = "KV8C";
    bool discPresent = false;
    std::vector<sim::Fault> faults;
    int64_t commitMs = 3000;
    std::string newRevision;
};

using simdrive::fault;

// The bar as a run leaves it: min, max, step, position.
struct BarState {
    int32_t min, max, step, pos;
    bool operator==(const BarState& o) const {
        return min == o.min && max == o.max && step == o.step && pos == o.pos;
    }
};
inline std::ostream& operator<<(std::ostream& os, const BarState& b) {
    return os << b.min << ".." << b.max << " step " << b.step << " at " << b.pos;
}
inline BarState barOf(const platform::fake::FakeProgressBar& bar) {
    return {bar.lo, bar.hi, bar.stepSize, bar.pos};
}
const BarState TransferAtZero{0, 262144, 16384, 0}; // a failed write or read, a difference
const BarState CommitAtZero{0, 40, 1, 0};           // failed commit, or restart asked for
const BarState CommitFull{0, 40, 1, 40};            // completed, no restart

// Runs of the same word folded: "W*16".
inline std::string folded(const std::vector<std::string>& words) {
    std::string out;
    for (size_t i = 0; i < words.size();) {
        size_t n = 1;
        while (i + n < words.size() && words[i + n] == words[i]) {
            ++n;
        }
        out += (out.empty() ? "" : ", ") + words[i] + (n > 1 ? "*" + std::to_string(n) : "");
        i += n;
    }
    return out;
}

// One word for each request of `trace` from `first` on, runs folded: "SSU3, SSU0, TUR, W*16,
// R*16, COMMIT" for a whole flash.
inline std::string commandWords(const std::vector<sim::TraceEntry>& trace, size_t first = 0) {
    std::vector<std::string> words;
    for (size_t i = first; i < trace.size(); ++i) {
        const sim::TraceEntry& e = trace[i];
        std::string w;
        switch (e.cdb[0]) {
        case scsi::TestUnitReady:
            w = "TUR";
            break;
        case scsi::Inquiry:
            w = "INQ";
            break;
        case scsi::StartStopUnit:
            w = "SSU" + std::to_string(e.cdb[4]);
            break;
        case scsi::WriteBuffer:
            w = (e.cdb[9] & scsi::CommitControl) != 0 ? "COMMIT" : "W";
            break;
        case scsi::ReadBuffer:
            w = "R";
            break;
        default:
            w = "?" + std::to_string(e.cdb[0]);
        }
        words.push_back(w);
    }
    return folded(words);
}

constexpr int TestUnitReady = scsi::TestUnitReady;
constexpr int StartStop = scsi::StartStopUnit;
constexpr int Write = scsi::WriteBuffer; // the 17th WRITE BUFFER of a run is its commit request
constexpr int Read = scsi::ReadBuffer;

struct Rig {
    Log log;
    PackageImages images;
    LoggingSystem system{log};
    platform::fake::FakeDialogs dialogs;
    LoggingBar bar{log};
    LoggingFrame groupBox2{log};
    platform::fake::FakeComboBox comboBox1;
    aspi::DriveData drives;
    simdrive::Bus bus;
    std::unique_ptr<app::FormDrive> window;
    aspi::Layer* layer = nullptr;
    std::unique_ptr<TestProcedure> procedure;
    size_t scanRequests = 0; // requests of the start-up scan, before any run

    explicit Rig(const DriveSetup& setup,
                 const std::string& modulePath = "C:\\FLASH\\W9XKV8D1B.EXE")
        : bus(system, scenario(setup)) {
        system.modulePathValue = modulePath;
        window.reset(new app::FormDrive(system, dialogs, bar, comboBox1, groupBox2, drives));
        layer = &window->layer();
        bus.connect(*layer);
        procedure.reset(new TestProcedure(log, *window, *layer, drives, system, dialogs));

        // What the start-up scan leaves for a single drive at 0:1: its description text from
        // INQUIRY, one list item, map entry 0 = slot 1.
        window->CheckInquiry(&drives.SlotTable[1]);
        comboBox1.items = {drives.SlotTable[1].Description};
        comboBox1.index = 0;
        drives.ListMap[0] = 1;
        scanRequests = trace().size();

        // Something a run that leaves the bar alone visibly keeps.
        bar.lo = 0;
        bar.hi = 100;
        bar.stepSize = 7;
        bar.pos = 37;
        log.clear();
    }
    ~Rig() {
        procedure.reset();
        window.reset();
    }

    static sim::Scenario scenario(const DriveSetup& setup) {
        sim::DeviceSpec drive = simdrive::kxd(setup.revision);
        drive.discPresent = setup.discPresent;
        drive.commitMs = setup.commitMs;
        drive.newRevision = setup.newRevision;
        return simdrive::busWith({drive}, setup.faults);
    }

    void run() { procedure->run(); }

    std::vector<sim::TraceEntry> trace() { return bus.trace(); }
    // Requests since the scan.
    std::vector<sim::TraceEntry> runTrace() {
        auto all = trace();
        return std::vector<sim::TraceEntry>(all.begin() + static_cast<std::ptrdiff_t>(scanRequests),
                                            all.end());
    }
    sim::DeviceState drive() { return bus.drive(); }
    template <typename F> void changeDrive(F f) {
        bus.inspect([&f](sim::Bus& b) {
            f(*b.device(0, 1));
            return 0;
        });
    }

    // The commands since the scan.
    std::string commandWords() { return flashtest::commandWords(trace(), scanRequests); }
};

} // namespace flashtest
