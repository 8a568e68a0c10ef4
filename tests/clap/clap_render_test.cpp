// kvb_clap_render through KVB.clap against `kvb render --float` through the
// VST 2.4 build, as separate processes on the same files: the same samples,
// bit for bit, under several settings, block sizes, a mono file, and its
// command-line mistakes refused.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/DemoSignal.h"
#include "tests/RunCommand.h"
#include "tests/SoundFile.h"

namespace {

std::string tempPath(const std::string& name) { return ::testing::TempDir() + "clap_render_" + name; }

// `seconds` of the demo signal as a float WAV, stereo or its left channel.
std::string writeInput(const std::string& name, int rate, double seconds, int channels) {
    const auto frames = static_cast<std::size_t>(rate * seconds);
    std::vector<float> l(frames), r(frames), interleaved;
    kvbhost::renderDemoSignal(static_cast<float>(rate), frames, l.data(), r.data());
    for (std::size_t i = 0; i < frames; ++i) {
        interleaved.push_back(l[i]);
        if (channels == 2) interleaved.push_back(r[i]);
    }
    const std::string path = tempPath(name);
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    EXPECT_NE(f, nullptr) << path;
    if (!f) return path;
    sf_writef_float(f, interleaved.data(), static_cast<sf_count_t>(frames));
    sf_close(f);
    return path;
}

std::string sets(const std::string& settings) {
    std::string out;
    std::size_t at = 0;
    while (at < settings.size()) {
        const std::size_t end = settings.find(' ', at);
        out += " --set " + settings.substr(at, end - at);
        if (end == std::string::npos) break;
        at = end + 1;
    }
    return out;
}

}  // namespace

TEST(ClapRender, WritesTheVst24RendersSamplesBitForBit) {
    const std::string stereo = writeInput("in44.wav", 44100, 3.0, 2);
    const std::string mono = writeInput("mono48.wav", 48000, 2.0, 1);
    const struct {
        const char* name;
        const std::string* input;
        const char* settings;
        const char* options;  // of kvb_clap_render alone
    } cases[] = {
        {"default", &stereo, "", ""},
        {"mid-side", &stereo,
         "MSMode=0 OptByp1=0 OptByp2=0 DisByp1=0 DisByp2=0 OptThr1=0.3 OptThr2=0.1 DisThr1=0.4 DisThr2=0.2 "
         "SCFilt1=0 OptMode=0.5 Trafo1=0.5 Trafo2=0",
         " --block 100"},
        {"linked-both-stages", &stereo,
         "OptByp1=0 DisByp1=0 OptThr1=0.2 DisThr1=0.3 OptGain1=0.3 DisAtk1=0.2 DisRls1=0.4 DisRat1=0.6 Trafo1=0",
         " --block 4096"},
        {"unlinked-by-index", &mono, "24=1 OptByp1=0 DisByp1=0 OptThr1=0.1 DisThr1=0.2 DisRat1=1 DisAtk1=0 DisRls1=1 14=1",
         " --block 7"},
    };
    for (const auto& c : cases) {
        const std::string vst = tempPath(std::string("vst-") + c.name + ".wav");
        const std::string clap = tempPath(std::string("clap-") + c.name + ".wav");
        CommandResult r = runCommand(std::string(KVB_HOST_PATH) + " render " + *c.input + " " + vst + " --float" +
                                     sets(c.settings));
        ASSERT_EQ(r.status, 0) << r.out;
        r = runCommand(std::string(KVB_CLAP_RENDER_PATH) + " " + *c.input + " " + clap + sets(c.settings) +
                       c.options + " --plugin " + KVB_CLAP_PATH);
        ASSERT_EQ(r.status, 0) << r.out;
        const Audio a = readAudio(vst), b = readAudio(clap);
        ASSERT_FALSE(a.samples.empty()) << c.name;
        EXPECT_EQ(b.info.samplerate, a.info.samplerate) << c.name;
        EXPECT_EQ(b.info.channels, a.info.channels) << c.name;
        EXPECT_EQ(b.info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT) << c.name;
        ASSERT_EQ(b.samples.size(), a.samples.size()) << c.name;
        EXPECT_EQ(std::memcmp(a.samples.data(), b.samples.data(), a.samples.size() * sizeof(float)), 0) << c.name;
    }
}

TEST(ClapRender, RefusesWhatNoParameterOrValueOfTheClapBuildIs) {
    const std::string in = writeInput("short.wav", 44100, 0.1, 2);
    const std::string out = tempPath("never.wav");
    std::remove(out.c_str());  // from an earlier run's last case
    for (const char* bad : {" --set Nope=1", " --set 26=0.5", " --set OptThr1=1.5", " --set OptThr1=x",
                            " --set OptThr1", " --block 0", " --frobnicate"}) {
        const CommandResult r = runCommand(std::string(KVB_CLAP_RENDER_PATH) + " " + in + " " + out + bad +
                                           " --plugin " + KVB_CLAP_PATH);
        EXPECT_EQ(r.status, 2) << bad << ": " << r.out;
    }
    const CommandResult r = runCommand(std::string(KVB_CLAP_RENDER_PATH) + " " + in + " " + out +
                                       " --plugin /nonexistent/KVB.clap");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_FALSE(readAudio(out).info.frames || readAudio(out + ".part").info.frames) << "nothing written";
    // The CLAP name of a parameter is taken as well as its VST 2.4 name.
    EXPECT_EQ(runCommand(std::string(KVB_CLAP_RENDER_PATH) + " " + in + " " + out +
                         " --set 'Opt threshold 1=0.5' --plugin " + KVB_CLAP_PATH)
                  .status,
              0);
}
