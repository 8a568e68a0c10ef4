// The bundle through Debian's LV2 tools (lilv-utils), run as separate
// processes with LV2_PATH set to a folder that holds only KVB.lv2, then
// /usr/lib/lv2 for the LV2 vocabularies: lv2ls and lv2info find and
// describe it, lv2apply renders what kvb render renders through the VST 2.4
// build, and lv2bench runs it.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "dsp/BlockSettings.h"
#include "dsp/DisStage.h"
#include "editor/Layout.h"
#include "host/DemoSignal.h"
#include "lv2/Ports.h"
#include "params/Parameters.h"
#include "tests/RunCommand.h"
#include "tests/SoundFile.h"

namespace fs = std::filesystem;
using namespace kvblv2;

namespace {

// A folder with the bundle as its only entry, first on LV2_PATH.
class Lv2Path : public ::testing::Environment {
public:
    void SetUp() override {
        dir = fs::path(::testing::TempDir()) / ("kvb-lv2-path-" + std::to_string(getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        fs::create_directory_symlink(KVB_LV2_BUNDLE, dir / "KVB.lv2");
        setenv("LV2_PATH", (dir.string() + ":/usr/lib/lv2").c_str(), 1);
    }
    void TearDown() override { fs::remove_all(dir); }

private:
    fs::path dir;
};

std::string tempPath(const std::string& name) {
    return ::testing::TempDir() + "/kvb-lv2-" + std::to_string(getpid()) + "-" + name;
}

// What lv2info says of one port.
struct PortInfo {
    std::vector<std::string> types, properties;
    std::string symbol, name, designation;
    float minimum = NAN, maximum = NAN, defaultValue = NAN;
    std::map<float, std::string> scalePoints;
    bool is(const char* type) const {
        for (const auto& t : types)
            if (t == std::string("http://lv2plug.in/ns/lv2core#") + type) return true;
        return false;
    }
    bool has(const char* property) const {
        for (const auto& p : properties)
            if (p == std::string("http://lv2plug.in/ns/lv2core#") + property) return true;
        return false;
    }
};

std::string trimmed(const std::string& s) {
    const auto a = s.find_first_not_of(" \t");
    const auto b = s.find_last_not_of(" \t");
    return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

// lv2info's "Port N:" blocks. A field's continuation lines carry no label.
std::map<int, PortInfo> parsePorts(const std::string& text) {
    std::map<int, PortInfo> ports;
    std::istringstream in(text);
    std::string line, field;
    PortInfo* port = nullptr;
    while (std::getline(in, line)) {
        const std::string t = trimmed(line);
        if (t.rfind("Port ", 0) == 0 && t.back() == ':') {
            port = &ports[std::stoi(t.substr(5))];
            field.clear();
            continue;
        }
        if (!port || t.empty()) continue;
        std::string value = t;
        const auto colon = t.find(':');
        if (colon != std::string::npos && t.find("http") != 0 && t.find(" = ") == std::string::npos) {
            field = t.substr(0, colon);
            value = trimmed(t.substr(colon + 1));
        }
        if (field == "Type") port->types.push_back(value);
        else if (field == "Properties") port->properties.push_back(value);
        else if (field == "Symbol") port->symbol = value;
        else if (field == "Name") port->name = value;
        else if (field == "Designation") port->designation = value;
        else if (field == "Minimum") port->minimum = std::stof(value);
        else if (field == "Maximum") port->maximum = std::stof(value);
        else if (field == "Default") port->defaultValue = std::stof(value);
        else if (field == "Scale Points" && !value.empty()) {
            const auto eq = value.find(" = ");
            if (eq == std::string::npos) continue;
            std::string label = value.substr(eq + 3);
            if (label.size() >= 2 && label.front() == '"') label = label.substr(1, label.size() - 2);
            port->scalePoints[std::stof(value.substr(0, eq))] = label;
        }
    }
    return ports;
}

kvbeditor::ViewKind controlKind(int tag) {
    for (const auto& c : kvbeditor::kControls)
        if (c.tag == tag) return c.kind;
    return kvbeditor::ViewKind::Meter;
}

}  // namespace

TEST(Lv2Tools, Lv2lsAndLv2infoFindThePluginWithExactlyItsPorts) {
    const CommandResult ls = runCommand("lv2ls");
    ASSERT_EQ(ls.status, 0) << ls.out;
    EXPECT_NE(ls.out.find(std::string(kPluginUri) + "\n"), std::string::npos) << ls.out;

    const CommandResult info = runCommand(std::string("lv2info ") + kPluginUri);
    ASSERT_EQ(info.status, 0) << info.out;
    const std::string& o = info.out;
    EXPECT_NE(o.find("Class:             Compressor Plugin"), std::string::npos) << o;
    EXPECT_NE(o.find("Has latency:       yes, reported by port 28"), std::string::npos) << o;
    EXPECT_NE(o.find(std::string(kUiUri) + "\n\t\t\tClass:  http://lv2plug.in/ns/extensions/ui#X11UI"),
              std::string::npos) << o;
    EXPECT_NE(o.find("KVB.lv2/KVB_ui.so"), std::string::npos) << o;

    const std::map<int, PortInfo> ports = parsePorts(o);
    ASSERT_EQ(ports.size(), kNumPorts);
    ASSERT_EQ(ports.rbegin()->first, static_cast<int>(kNumPorts) - 1);

    for (int i = 0; i < static_cast<int>(kNumParamPorts); ++i) {
        SCOPED_TRACE(kParameterTable[i].name);
        const PortInfo& p = ports.at(i);
        EXPECT_TRUE(p.is("ControlPort") && p.is("InputPort"));
        EXPECT_EQ(p.symbol, kParameterTable[i].name);
        EXPECT_EQ(p.minimum, 0.0f);
        EXPECT_EQ(p.maximum, 1.0f);
        EXPECT_FLOAT_EQ(p.defaultValue, kParameterTable[i].defaultValue);

        // Which positions the processing tells apart, and where the
        // description puts them: every scale point must be read as its own
        // position, in order.
        const bool isSwitch = controlKind(i) == kvbeditor::ViewKind::Switch;
        const int steps = kvbeditor::knobFrames(i);  // positions the knob shows
        std::vector<int> positions;
        for (const auto& [value, label] : p.scalePoints) {
            EXPECT_FALSE(label.empty());
            if (isSwitch) positions.push_back(value >= 0.5f ? 1 : 0);
            else if (steps == 3) positions.push_back(threeBands(value));
            else positions.push_back(disIndex(value));
        }
        std::vector<int> expected;
        const int count = isSwitch ? 2 : (steps == 3 || steps == 6 ? steps : 0);
        for (int k = 0; k < count; ++k) expected.push_back(k);
        EXPECT_EQ(positions, expected);
        EXPECT_EQ(p.has("toggled"), isSwitch);
        EXPECT_EQ(p.has("enumeration"), steps == 3 || steps == 6);
    }
    // A few labels that say what a position does.
    EXPECT_EQ(ports.at(kOptMode).scalePoints.at(0.0f), "SLOW");
    EXPECT_EQ(ports.at(kOptMode).scalePoints.at(1.0f), "FAST");
    EXPECT_EQ(ports.at(kDisRat1).scalePoints.at(0.0f), "1.25:1");
    EXPECT_EQ(ports.at(kDisRat2).scalePoints.at(1.0f), "10:1");
    EXPECT_EQ(ports.at(kDisAtk1).scalePoints.at(0.0f), "0.044 ms");
    EXPECT_EQ(ports.at(kDisRls2).scalePoints.at(1.0f), "756 ms");
    EXPECT_EQ(ports.at(kSCFilt1).scalePoints.at(0.0f), "LO CUT");
    EXPECT_EQ(ports.at(kMSMode).scalePoints.at(0.0f), "MID/SIDE");

    for (std::uint32_t i : {kMeter1Port, kMeter2Port}) {
        const PortInfo& p = ports.at(static_cast<int>(i));
        EXPECT_TRUE(p.is("ControlPort") && p.is("OutputPort")) << i;
        EXPECT_EQ(p.symbol, i == kMeter1Port ? "Meter1" : "Meter2");
    }
    const PortInfo& latency = ports.at(kLatencyPort);
    EXPECT_TRUE(latency.is("ControlPort") && latency.is("OutputPort"));
    EXPECT_EQ(latency.designation, "http://lv2plug.in/ns/lv2core#latency");
    EXPECT_TRUE(latency.has("reportsLatency"));
    const struct {
        std::uint32_t index;
        const char* symbol;
        const char* direction;
    } audio[] = {{kInLeftPort, "in_l", "InputPort"}, {kInRightPort, "in_r", "InputPort"},
                 {kOutLeftPort, "out_l", "OutputPort"}, {kOutRightPort, "out_r", "OutputPort"}};
    for (const auto& a : audio) {
        const PortInfo& p = ports.at(static_cast<int>(a.index));
        EXPECT_TRUE(p.is("AudioPort") && p.is(a.direction)) << a.symbol;
        EXPECT_EQ(p.symbol, a.symbol);
    }
}

namespace {

// Three seconds of the demo signal as 32-bit float, so that both renders
// keep every bit of their output.
void writeInput(const std::string& path, int rate) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    const std::size_t frames = static_cast<std::size_t>(3 * rate);
    std::vector<float> l(frames), r(frames), x(2 * frames);
    kvbhost::renderDemoSignal(static_cast<float>(rate), frames, l.data(), r.data());
    for (std::size_t i = 0; i < frames; ++i) {
        x[2 * i] = l[i];
        x[2 * i + 1] = r[i];
    }
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    ASSERT_EQ(sf_writef_float(f, x.data(), static_cast<sf_count_t>(frames)), static_cast<sf_count_t>(frames));
    sf_close(f);
}

// kvb render's output in the LV2 host's timing: with the plug-in's delay
// kept, when kvb offers to compensate it.
std::string kvbLatencyOption() {
    const CommandResult usage = runCommand(std::string(KVB_HOST_PATH) + " render");
    return usage.out.find("--keep-latency") != std::string::npos ? " --keep-latency" : "";
}

}  // namespace

// The same input and settings (values as a host's generic controls send
// them: the scale points), each render from a fresh instance.
TEST(Lv2Tools, Lv2applyRendersTheBitsThatKvbRenderRendersThroughTheVst2Build) {
    const std::string in = tempPath("in.wav");
    writeInput(in, 48000);
    const Audio input = readAudio(in);
    const std::vector<std::vector<std::pair<const char*, const char*>>> settings = {
        {},
        {{"OptThr1", "0.25"}, {"DisThr1", "0.3"}, {"DisByp1", "0"}, {"DisAtk1", "0.2"},
         {"DisRat1", "1.0"}, {"DisRls1", "0.4"}, {"OptMode", "0.5"}, {"Trafo1", "0"},
         {"StereoMode", "1"}},
        {{"MSMode", "0"}, {"OptThr1", "0.4"}, {"OptThr2", "0.2"}, {"OptGain2", "0.5"},
         {"DisByp2", "0"}, {"DisThr2", "0.25"}, {"SCFilt2", "0"}, {"Trafo2", "0.5"},
         {"OptMode", "1"}, {"MeterMode", "0"}, {"DisRat2", "0.6"}},
    };
    const std::string keepLatency = kvbLatencyOption();
    std::vector<std::vector<float>> outputs;
    for (const auto& set : settings) {
        const std::string viaLv2 = tempPath("lv2.wav"), viaVst2 = tempPath("vst2.wav");
        std::string lv2Args, kvbArgs;
        for (const auto& [name, value] : set) {
            lv2Args += std::string(" -c ") + name + " " + value;
            kvbArgs += std::string(" --set ") + name + "=" + value;
        }
        const CommandResult a = runCommand("lv2apply -i " + in + " -o " + viaLv2 + lv2Args + " " + kPluginUri);
        ASSERT_EQ(a.status, 0) << a.out;
        const CommandResult k = runCommand(std::string(KVB_HOST_PATH) + " render " + in + " " + viaVst2 +
                                           kvbArgs + keepLatency + " --float --plugin " + KVB_PLUGIN_PATH);
        ASSERT_EQ(k.status, 0) << k.out;
        const Audio lv2 = readAudio(viaLv2), vst2 = readAudio(viaVst2);
        ASSERT_EQ(lv2.info.samplerate, 48000);
        ASSERT_EQ(lv2.info.channels, 2);
        ASSERT_EQ(lv2.info.frames, input.info.frames);
        ASSERT_EQ(lv2.samples.size(), vst2.samples.size());
        EXPECT_EQ(std::memcmp(lv2.samples.data(), vst2.samples.data(), lv2.samples.size() * sizeof(float)), 0)
            << lv2Args;
        EXPECT_NE(lv2.samples, input.samples);
        outputs.push_back(lv2.samples);
        std::remove(viaLv2.c_str());
        std::remove(viaVst2.c_str());
    }
    // The settings reach the processing: each gives other audio.
    EXPECT_NE(outputs[0], outputs[1]);
    EXPECT_NE(outputs[1], outputs[2]);
    std::remove(in.c_str());
}

TEST(Lv2Tools, Lv2benchRunsThePlugin) {
    const CommandResult r = runCommand(std::string("lv2bench -b 512 -n 48000 ") + kPluginUri);
    ASSERT_EQ(r.status, 0) << r.out;
    // "<seconds> <URI>"
    const auto at = r.out.find(std::string(" ") + kPluginUri);
    ASSERT_NE(at, std::string::npos) << r.out;
    const auto lineStart = r.out.rfind('\n', at);
    const std::string line = r.out.substr(lineStart == std::string::npos ? 0 : lineStart + 1);
    const double seconds = std::strtod(line.c_str(), nullptr);
    EXPECT_GT(seconds, 0.0) << r.out;
    EXPECT_LT(seconds, 1.0) << "a second of audio should take far less than a second";
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new Lv2Path);
    return RUN_ALL_TESTS();
}
