// Writes the bundle's description, manifest.ttl and KVB.ttl, into the folder
// given as its argument. A build-machine tool: the ports come from the
// parameter table (names, defaults) and from how the processing reads each
// value (steps, bands, switches), so that the description cannot drift from
// either. Every scale point is checked against the processing's own reading
// of its value; a mismatch fails the build.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "dsp/TransformerStage.h"
#include "engine/Engine.h"
#include "engine/ParameterText.h"
#include "lv2/Ports.h"
#include "params/Parameters.h"

using namespace kvblv2;

namespace {

using kvb::ParameterKind;

constexpr char kChannel2Note[] =
    " Mid/side operation only: in left/right operation channel 2 follows channel 1.";

bool isChannel2(int index) { return (index >= kOptThr2 && index <= kDisGain2) || index == kTrafo2 ||
                                    (index >= kOptByp2 && index <= kDisByp2); }

[[noreturn]] void fail(const std::string& why) {
    std::fprintf(stderr, "kvb_lv2_ttl: %s\n", why.c_str());
    std::exit(1);
}

// The shortest decimal text that reads back as exactly this float, with a
// decimal point so that Turtle takes it as a number with a fraction.
std::string number(float v) {
    char text[32];
    for (int digits = 1; digits <= 9; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(v));
        if (std::strtof(text, nullptr) == v) break;
    }
    std::string s = text;
    if (s.find_first_of(".e") == std::string::npos) s += ".0";
    return s;
}

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

struct ScalePoint {
    float value;
    std::string label;
};

// Every position of a stepped parameter with its name, each value checked
// against the processing's own reading of it.
std::vector<ScalePoint> scalePoints(int index) {
    std::vector<ScalePoint> points;
    for (int k = 0; k < kvb::positionCount(index); ++k) {
        const float v = kvb::positionValue(index, k);
        if (kvb::positionOf(index, v) != k)
            fail(std::string("position ") + std::to_string(k) + " of " + parameterName(index) + ": " + number(v));
        std::string label = kvb::positionLabel(index, k);
        if (index == kTrafo1 || index == kTrafo2) {
            const TransformerMode& m = kTransformerModes[k];
            const double dBFS = 20.0 * std::log10(static_cast<double>(m.threshold));
            char detail[64];
            if (m.slope > 0.0f)
                std::snprintf(detail, sizeof detail, " (%.0f:1 above %.1f dBFS)", 1.0 / static_cast<double>(m.slope),
                              dBFS);
            else
                std::snprintf(detail, sizeof detail, " (above %.1f dBFS)", dBFS);
            label += detail;
        }
        points.push_back({v, label});
    }
    return points;
}

void writeParameterPort(std::FILE* f, int index) {
    const kvb::ParameterDescription& t = kvb::describeParameter(index);
    const float def = kParameterTable[index].defaultValue;
    std::string comment = t.comment;
    if (isChannel2(index)) comment += kChannel2Note;
    std::fprintf(f,
                 "        a lv2:InputPort , lv2:ControlPort ;\n"
                 "        lv2:index %d ;\n"
                 "        lv2:symbol %s ;\n"
                 "        lv2:name %s ;\n"
                 "        rdfs:comment %s ;\n"
                 "        lv2:default %s ;\n"
                 "        lv2:minimum 0.0 ;\n"
                 "        lv2:maximum 1.0",
                 index, quoted(kParameterTable[index].name).c_str(), quoted(t.title).c_str(),
                 quoted(comment).c_str(), number(def).c_str());
    if (t.kind == ParameterKind::Switch) std::fprintf(f, " ;\n        lv2:portProperty lv2:toggled");
    if (t.kind == ParameterKind::ThreePositions || t.kind == ParameterKind::SixPositions)
        std::fprintf(f, " ;\n        lv2:portProperty lv2:enumeration");
    const std::vector<ScalePoint> points = scalePoints(index);
    bool defaultIsAPoint = points.empty();
    for (std::size_t i = 0; i < points.size(); ++i) {
        defaultIsAPoint = defaultIsAPoint || points[i].value == def;
        std::fprintf(f, "%s\n            [ rdfs:label %s ; rdf:value %s ]",
                     i == 0 ? " ;\n        lv2:scalePoint" : " ,", quoted(points[i].label).c_str(),
                     number(points[i].value).c_str());
    }
    if (!defaultIsAPoint) fail(std::string("the default of ") + kParameterTable[index].name +
                               " is none of its positions");
}

void writeMeterPort(std::FILE* f, std::uint32_t index, int meter) {
    std::fprintf(f,
                 "        a lv2:OutputPort , lv2:ControlPort ;\n"
                 "        lv2:index %u ;\n"
                 "        lv2:symbol \"Meter%d\" ;\n"
                 "        lv2:name \"Meter %d\" ;\n"
                 "        rdfs:comment \"Gain reduction that meter %d shows, in dB "
                 "(what it measures is set by MeterMode).\" ;\n"
                 "        units:unit units:db ;\n"
                 "        lv2:default 0.0 ;\n"
                 "        lv2:minimum 0.0 ;\n"
                 "        lv2:maximum 30.0",
                 index, meter, meter, meter);
}

void writeAudioPort(std::FILE* f, std::uint32_t index, bool input, const char* symbol,
                    const char* name) {
    std::fprintf(f,
                 "        a lv2:%s , lv2:AudioPort ;\n"
                 "        lv2:index %u ;\n"
                 "        lv2:symbol \"%s\" ;\n"
                 "        lv2:name \"%s\"",
                 input ? "InputPort" : "OutputPort", index, symbol, name);
}

constexpr char kPrefixes[] =
    "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
    "@prefix foaf: <http://xmlns.com/foaf/0.1/> .\n"
    "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix opts: <http://lv2plug.in/ns/ext/options#> .\n"
    "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
    "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix ui: <http://lv2plug.in/ns/extensions/ui#> .\n"
    "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n";

void writeManifest(std::FILE* f) {
    std::fprintf(f,
                 "%s\n"
                 "<%s>\n"
                 "    a lv2:Plugin ;\n"
                 "    lv2:binary <%s> ;\n"
                 "    rdfs:seeAlso <KVB.ttl> .\n\n"
                 "<%s>\n"
                 "    a ui:X11UI ;\n"
                 "    ui:binary <%s> ;\n"
                 "    rdfs:seeAlso <KVB.ttl> .\n",
                 kPrefixes, kPluginUri, kPluginBinary, kUiUri, kUiBinary);
}

void writeDescription(std::FILE* f) {
    std::fprintf(f,
                 "%s\n"
                 "<%s>\n"
                 "    a lv2:Plugin , lv2:CompressorPlugin ;\n"
                 "    doap:name \"KVB\" ;\n"
                 "    doap:maintainer [ foaf:name \"https://kvb-audio.example\" ; "
                 "foaf:homepage <https://kvb-audio.example> ] ;\n"
                 "    rdfs:comment \"Stereo dynamics processor: two compressors in series per channel "
                 "at four times the sample rate, then a transformer stage.\" ;\n"
                 "    lv2:optionalFeature lv2:hardRTCapable ;\n"
                 "    ui:ui <%s> ;\n"
                 "    lv2:port [\n",
                 kPrefixes, kPluginUri, kUiUri);
    const char* const next = "\n    ] , [\n";
    for (int i = 0; i < static_cast<int>(kNumParamPorts); ++i) {
        writeParameterPort(f, i);
        std::fputs(next, f);
    }
    writeMeterPort(f, kMeter1Port, 1);
    std::fputs(next, f);
    writeMeterPort(f, kMeter2Port, 2);
    std::fputs(next, f);
    std::fprintf(f,
                 "        a lv2:OutputPort , lv2:ControlPort ;\n"
                 "        lv2:index %u ;\n"
                 "        lv2:symbol \"latency\" ;\n"
                 "        lv2:name \"Latency\" ;\n"
                 "        lv2:designation lv2:latency ;\n"
                 "        lv2:portProperty lv2:reportsLatency , lv2:integer ;\n"
                 "        units:unit units:frame ;\n"
                 "        lv2:minimum 0.0 ;\n"
                 "        lv2:maximum %d.0",
                 kLatencyPort, kvb::Engine::kLatency);
    std::fputs(next, f);
    writeAudioPort(f, kInLeftPort, true, "in_l", "Left in");
    std::fputs(next, f);
    writeAudioPort(f, kInRightPort, true, "in_r", "Right in");
    std::fputs(next, f);
    writeAudioPort(f, kOutLeftPort, false, "out_l", "Left out");
    std::fputs(next, f);
    writeAudioPort(f, kOutRightPort, false, "out_r", "Right out");
    std::fputs("\n    ] .\n\n", f);

    // The editor: embedded in the host's window, driven by its idle calls,
    // told of the meters as well as of the parameters, drawn at the host's
    // scale (ui:scaleFactor, at instantiation and through opts:interface).
    std::fprintf(f,
                 "<%s>\n"
                 "    a ui:X11UI ;\n"
                 "    lv2:requiredFeature ui:parent , ui:idleInterface ;\n"
                 "    lv2:optionalFeature ui:resize , ui:touch , ui:noUserResize , opts:options , "
                 "<http://lv2plug.in/ns/ext/urid#map> ;\n"
                 "    lv2:extensionData ui:idleInterface , opts:interface ;\n"
                 "    opts:supportedOption ui:scaleFactor ;\n"
                 "    ui:portNotification [\n"
                 "        ui:plugin <%s> ;\n"
                 "        lv2:symbol \"Meter1\" ;\n"
                 "        ui:protocol ui:floatProtocol\n"
                 "    ] , [\n"
                 "        ui:plugin <%s> ;\n"
                 "        lv2:symbol \"Meter2\" ;\n"
                 "        ui:protocol ui:floatProtocol\n"
                 "    ] .\n",
                 kUiUri, kPluginUri, kPluginUri);
}

void writeFile(const std::string& path, void (*write)(std::FILE*)) {
    std::FILE* f = std::fopen(path.c_str(), "w");
    if (!f) fail("cannot write " + path);
    write(f);
    if (std::fclose(f) != 0) fail("cannot write " + path);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: kvb_lv2_ttl BUNDLE_DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    writeFile(dir + "/manifest.ttl", writeManifest);
    writeFile(dir + "/KVB.ttl", writeDescription);
    return 0;
}
