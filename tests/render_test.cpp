// kvb render and kvb demo, run as separate processes on real files.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/RunCommand.h"
#include "tests/SoundFile.h"

namespace {

CommandResult run(const std::string& args) { return runCommand(std::string(KVB_HOST_PATH) + " " + args); }

std::string tempPath(const std::string& name) { return ::testing::TempDir() + "/kvb-" + name; }

// Writes a tone burst file: `channels` channels of a 220 Hz sine at -6 dBFS.
void writeTone(const std::string& path, int channels, int rate, int format, double seconds = 1.0) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    const int frames = static_cast<int>(seconds * rate);
    std::vector<float> x(static_cast<size_t>(frames) * channels);
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            x[static_cast<size_t>(i) * channels + c] =
                0.5f * static_cast<float>(std::sin(2.0 * M_PI * 220.0 * (c + 1) * i / rate));
    sf_writef_float(f, x.data(), frames);
    sf_close(f);
}

std::string bytesOf(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

bool exists(const std::string& path) { return std::filesystem::exists(path); }

// Every sample of a file as the integers of its encoding (`bits` bits).
std::vector<int> readIntegers(const std::string& path, int bits) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) return {};
    std::vector<int> x(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_int(f, x.data(), info.frames);
    sf_close(f);
    for (int& v : x) v >>= 32 - bits;
    return x;
}

}  // namespace

TEST(KvbRender, KeepsFormatRateAndLength) {
    const std::string in = tempPath("in24.wav"), out = tempPath("out24.wav");
    writeTone(in, 2, 48000, SF_FORMAT_WAV | SF_FORMAT_PCM_24);
    const CommandResult r = run("render " + in + " " + out + " --set OptThr1=0.2 --set 26=0.3");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("in peak -6.0 dBFS"), std::string::npos) << r.out;
    const Audio a = readAudio(out);
    EXPECT_EQ(a.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_24);
    EXPECT_EQ(a.info.samplerate, 48000);
    EXPECT_EQ(a.info.channels, 2);
    EXPECT_EQ(a.info.frames, 48000);
}

TEST(KvbRender, FloatOnRequestAndFlacAndMono) {
    const std::string flac = tempPath("in.flac"), out = tempPath("out-float.wav");
    writeTone(flac, 1, 44100, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 0.5);
    const CommandResult r = run("render " + flac + " " + out + " --float");
    ASSERT_EQ(r.status, 0) << r.out;
    const Audio a = readAudio(out);
    EXPECT_EQ(a.info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    EXPECT_EQ(a.info.channels, 1);
    EXPECT_EQ(a.info.frames, 22050);
    const CommandResult again = run("render " + flac + " " + tempPath("out.flac"));
    ASSERT_EQ(again.status, 0) << again.out;
    EXPECT_EQ(readAudio(tempPath("out.flac")).info.format & SF_FORMAT_TYPEMASK, SF_FORMAT_FLAC);
}

TEST(KvbRender, BlockSizeDoesNotChangeTheSound) {
    const std::string in = tempPath("blocks.wav");
    writeTone(in, 2, 44100, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 0.5);
    const std::string settings = " --float --set OptThr1=0.1 --set DisByp1=0 --set DisThr1=0.3";
    ASSERT_EQ(run("render " + in + " " + tempPath("b512.wav") + settings).status, 0);
    ASSERT_EQ(run("render " + in + " " + tempPath("b37.wav") + settings + " --block 37").status, 0);
    const Audio a = readAudio(tempPath("b512.wav")), b = readAudio(tempPath("b37.wav"));
    ASSERT_EQ(a.samples.size(), b.samples.size());
    EXPECT_EQ(a.samples, b.samples);
}

// The plug-in reports a delay of 3 samples; an impulse's response peaks that
// much after it. By default kvb render takes the delay out and renders as
// much more at the end, so the output lines up with its input.
TEST(KvbRender, OutputIsAlignedWithTheInputUnlessTheLatencyIsKept) {
    const int frames = 4800, first = 1000, last = frames - 1;
    std::vector<float> x(2 * frames, 0.0f);
    for (int at : {first, last}) x[2 * at] = x[2 * at + 1] = 0.5f;
    const std::string in = tempPath("impulses.wav");
    SF_INFO info{};
    info.samplerate = 48000;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* f = sf_open(in.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    sf_writef_float(f, x.data(), frames);
    sf_close(f);

    ASSERT_EQ(run("render " + in + " " + tempPath("aligned.wav") + " --float").status, 0);
    ASSERT_EQ(run("render " + in + " " + tempPath("aligned-b1.wav") + " --float --block 1").status, 0);
    ASSERT_EQ(run("render " + in + " " + tempPath("kept.wav") + " --float --keep-latency").status, 0);
    const Audio aligned = readAudio(tempPath("aligned.wav")), kept = readAudio(tempPath("kept.wav"));
    ASSERT_EQ(aligned.info.frames, frames);
    ASSERT_EQ(kept.info.frames, frames);
    // The left channel's loudest sample in [from, to).
    auto peakAt = [](const Audio& a, int from, int to) {
        int best = from;
        for (int i = from; i < to; ++i)
            if (std::fabs(a.samples[2 * i]) > std::fabs(a.samples[2 * best])) best = i;
        return best;
    };
    EXPECT_EQ(peakAt(aligned, 0, frames - 100), first);
    EXPECT_EQ(peakAt(kept, 0, frames - 100), first + 3);
    // Nothing comes before the response (the input noise is far below 1e-3).
    for (int i = 0; i < first - 3; ++i) ASSERT_LT(std::fabs(aligned.samples[2 * i]), 1e-3f) << i;
    // The last input sample's response is there only when the delay is taken out.
    EXPECT_EQ(peakAt(aligned, frames - 100, frames), last);
    EXPECT_LT(std::fabs(kept.samples[2 * last]), 0.1f);
    // Otherwise the two are the same samples, shifted.
    for (int i = 0; i + 3 < frames; ++i) {
        ASSERT_EQ(aligned.samples[2 * i], kept.samples[2 * (i + 3)]) << i;
        ASSERT_EQ(aligned.samples[2 * i + 1], kept.samples[2 * (i + 3) + 1]) << i;
    }
    // Blocks shorter than the delay drop and append across block boundaries.
    EXPECT_EQ(readAudio(tempPath("aligned-b1.wav")).samples, aligned.samples);
}

TEST(KvbRender, BadInputGivesAClearMessageAndKeepsAnExistingOutput) {
    const std::string in = tempPath("ok.wav"), out = tempPath("precious.wav");
    writeTone(in, 2, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0.2);
    std::ofstream(out) << "a good file from before";
    const std::string quad = tempPath("quad.wav");
    writeTone(quad, 4, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0.1);
    const std::string junk = tempPath("junk.wav");
    std::ofstream(junk) << "RIFF but not really";

    struct Case {
        std::string args;
        const char* says;
    } cases[] = {
        {tempPath("missing.wav") + " " + out, "cannot read"},
        {junk + " " + out, "cannot read"},
        {quad + " " + out, "4 channels"},
        {in + " " + out + " --set NoSuchKnob=0.5", "unknown parameter 'NoSuchKnob'"},
        {in + " " + out + " --set OptThr1=loud", "not a number"},
        {in + " " + out + " --set OptThr1=0.5x", "not a number"},
        {in + " " + out + " --set OptThr1=nan", "not a number"},
        {in + " " + out + " --set OptThr1=1.5", "from 0 to 1"},
        {in + " " + out + " --set OptThr1=-0.1", "from 0 to 1"},
        {in + " " + out + " --set 51=0.5", "unknown parameter '51'"},
        {in + " " + out + " --program 50", "--program"},
        {in + " " + out + " --block 0", "--block"},
        {in + " " + out + " --plugin " + tempPath("nothing.so"), "no plug-in file"},
        {in, "usage"},
    };
    for (const Case& c : cases) {
        const CommandResult r = run("render " + c.args);
        EXPECT_NE(r.status, 0) << c.args;
        EXPECT_NE(r.out.find(c.says), std::string::npos) << c.args << " said: " << r.out;
        std::ifstream f(out);
        std::string content((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        EXPECT_EQ(content, "a good file from before") << c.args;
    }
    // No half-written temporary (the output's name with ".part-" and the
    // process id) left behind either; other tests' renders may be running.
    const std::string partPrefix = "kvb-precious.wav.part-";
    for (const auto& entry : std::filesystem::directory_iterator(::testing::TempDir()))
        EXPECT_NE(entry.path().filename().string().rfind(partPrefix, 0), 0u) << entry.path();
}

TEST(KvbRender, UnwritableOutputFailsCleanly) {
    const std::string in = tempPath("ok2.wav");
    writeTone(in, 2, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0.1);
    const CommandResult r = run("render " + in + " /nonexistent-dir/out.wav");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find("cannot write"), std::string::npos) << r.out;
}

// An integer render holds the float render's samples rounded to the nearest
// step, ties to even, and clipped at full scale: no bias, and the same
// conversion as the Windows build's.
TEST(KvbRender, IntegerSamplesAreTheFloatRenderRoundedToNearest) {
    // 15 dB of make-up on a tone at -6 dBFS: some of it beyond full scale.
    const std::string settings = " --set OptGain1=1 --set OptThr1=0.8";
    for (const int bits : {16, 24}) {
        const std::string in = tempPath("round-in.wav"), asInt = tempPath("round-int.wav"),
                          asFloat = tempPath("round-float.wav");
        writeTone(in, 2, 44100, SF_FORMAT_WAV | (bits == 16 ? SF_FORMAT_PCM_16 : SF_FORMAT_PCM_24), 0.5);
        ASSERT_EQ(run("render " + in + " " + asInt + settings).status, 0);
        ASSERT_EQ(run("render " + in + " " + asFloat + settings + " --float").status, 0);
        const std::vector<int> ints = readIntegers(asInt, bits);
        const std::vector<float> floats = readAudio(asFloat).samples;
        ASSERT_EQ(ints.size(), floats.size());
        ASSERT_FALSE(ints.empty());
        const double scale = std::ldexp(1.0, bits - 1);
        int clipped = 0, notFloor = 0, inRange = 0;
        for (std::size_t i = 0; i < ints.size(); ++i) {
            const double v = static_cast<double>(floats[i]) * scale;
            const double expected = std::min(scale - 1.0, std::max(-scale, std::nearbyint(v)));  // ties to even
            ASSERT_EQ(ints[i], static_cast<int>(expected)) << bits << " bits, sample " << i << ": " << v;
            const bool within = std::fabs(floats[i]) < 1.0f;
            clipped += !within;
            inRange += within;
            notFloor += within && ints[i] != static_cast<int>(std::floor(v));
        }
        // Some beyond full scale, and about half of the rest rounded up.
        EXPECT_GT(clipped, 0) << bits << " bits";
        EXPECT_GT(notFloor, inRange / 4) << bits << " bits";
    }
}

// The output's name chooses among the formats that keep every sample; each
// holds what the WAV render holds. Any other name is refused before anything
// is written.
TEST(KvbRender, TheOutputsExtensionChoosesALosslessFormat) {
    const std::string in = tempPath("ext-in.wav"), ref = tempPath("ext-ref.wav");
    writeTone(in, 2, 48000, SF_FORMAT_WAV | SF_FORMAT_PCM_24, 0.2);
    ASSERT_EQ(run("render " + in + " " + ref).status, 0);
    const std::vector<float> expected = readAudio(ref).samples;
    struct Case {
        const char* name;
        int major;
    } cases[] = {{"out.flac", SF_FORMAT_FLAC}, {"out.aiff", SF_FORMAT_AIFF}, {"out.aif", SF_FORMAT_AIFF},
                 {"out.caf", SF_FORMAT_CAF},   {"out.w64", SF_FORMAT_W64},   {"out.au", SF_FORMAT_AU},
                 {"OUT.WAV", SF_FORMAT_WAV}};
    for (const Case& c : cases) {
        const std::string out = tempPath(c.name);
        const CommandResult r = run("render " + in + " " + out);
        ASSERT_EQ(r.status, 0) << c.name << ": " << r.out;
        const Audio a = readAudio(out);
        EXPECT_EQ(a.info.format & SF_FORMAT_TYPEMASK, c.major) << c.name;
        EXPECT_EQ(a.info.format & SF_FORMAT_SUBMASK, SF_FORMAT_PCM_24) << c.name;
        EXPECT_EQ(a.samples, expected) << c.name;
    }
    // Float asked of FLAC, which has none: the nearest it holds.
    ASSERT_EQ(run("render " + in + " " + tempPath("float.flac") + " --float").status, 0);
    EXPECT_EQ(readAudio(tempPath("float.flac")).info.format, SF_FORMAT_FLAC | SF_FORMAT_PCM_24);

    for (const char* name : {"out.ogg", "out.mp3", "out.rf64", "out", "out.wav.part"}) {
        std::remove(tempPath(name).c_str());
        const CommandResult r = run("render " + in + " " + tempPath(name));
        EXPECT_EQ(r.status, 2) << name;
        EXPECT_NE(r.out.find(std::string("kvb render: OUT '") + tempPath(name) + "'"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(".wav, .flac, .aiff"), std::string::npos) << r.out;
        EXPECT_FALSE(exists(tempPath(name))) << name;
    }
}

// No chunk carries the time of writing: renders made a second apart are the
// same file, in every format and encoding.
TEST(KvbRender, TwoRendersOfOneInputAreTheSameFile) {
    const std::string in = tempPath("twice-in.wav");
    writeTone(in, 2, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0.2);
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"wav", ""}, {"wav", " --float"}, {"wav", " --dither"}, {"flac", ""}, {"aiff", " --float"},
        {"caf", " --float"}, {"w64", " --float"}, {"au", ""}};
    const auto name = [&](std::size_t k, int round) {
        return tempPath("twice-" + std::to_string(k) + "-" + std::to_string(round) + "." + cases[k].first);
    };
    for (int round = 0; round < 2; ++round) {
        if (round == 1) std::this_thread::sleep_for(std::chrono::milliseconds(1100));
        for (std::size_t k = 0; k < cases.size(); ++k)
            ASSERT_EQ(run("render " + in + " " + name(k, round) + cases[k].second).status, 0) << name(k, round);
    }
    for (std::size_t k = 0; k < cases.size(); ++k) {
        const std::string a = bytesOf(name(k, 0));
        EXPECT_GT(a.size(), 5000u) << name(k, 0);
        EXPECT_TRUE(a == bytesOf(name(k, 1))) << cases[k].first << cases[k].second;
        EXPECT_EQ(a.find("PEAK"), std::string::npos) << cases[k].first << cases[k].second;
    }
}

// An output that is the input, by its name, a link or a hard link, is
// refused, and the input stays as it was.
TEST(KvbRender, NeverWritesOverItsInput) {
    const std::string in = tempPath("self.wav"), soft = tempPath("self-link.wav"), hard = tempPath("self-hard.wav"),
                      picture = tempPath("self-link.png");
    writeTone(in, 2, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0.1);
    const std::string before = bytesOf(in);
    for (const std::string& p : {soft, hard, picture}) std::remove(p.c_str());
    ASSERT_EQ(symlink(in.c_str(), soft.c_str()), 0);
    ASSERT_EQ(link(in.c_str(), hard.c_str()), 0);
    ASSERT_EQ(symlink(in.c_str(), picture.c_str()), 0);
    for (const std::string& args : {in + " " + in, in + " " + soft, soft + " " + in, in + " " + hard,
                                    in + " " + tempPath("other.wav") + " --plot " + picture}) {
        const CommandResult r = run("render " + args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.out.find("is the input file"), std::string::npos) << r.out;
    }
    EXPECT_EQ(bytesOf(in), before);
    // Two outputs that would be one file, also by names that differ.
    const std::string twice = tempPath("twice.wav");
    std::remove(twice.c_str());
    const std::string sameFolder = twice.substr(0, twice.rfind('/')) + "/./" + twice.substr(twice.rfind('/') + 1);
    for (const std::string& dry : {twice, sameFolder}) {
        const CommandResult r = run("demo " + twice + " --dry " + dry);
        EXPECT_EQ(r.status, 2) << dry;
        EXPECT_NE(r.out.find("OUT and --dry are the same file"), std::string::npos) << r.out;
    }
    EXPECT_FALSE(exists(twice));
}

// The damaged files of the WAV reader's own tests, as a user meets them:
// one stops with a message naming the chunk, one is rendered as far as it
// goes, with a warning that says how much is missing. Neither hangs.
TEST(KvbRender, DamagedWavFilesStopWithAMessageOrRenderWhatIsThere) {
    auto le32 = [](std::uint32_t v) {
        std::string s(4, '\0');
        for (int i = 0; i < 4; ++i) s[i] = static_cast<char>(v >> (8 * i));
        return s;
    };
    const std::string fmt = "fmt " + le32(16) + std::string("\x01\x00\x02\x00", 4) + le32(44100) + le32(176400) +
                            std::string("\x04\x00\x10\x00", 4);
    const std::string junk = tempPath("junk-back.wav"), cut = tempPath("cut.wav"), out = tempPath("damaged-out.wav");
    std::ofstream(junk, std::ios::binary) << "RIFF" + le32(60) + "WAVE" + fmt + "JUNK" + le32(0xFFFFFFF8) + "data" +
                                                 le32(8) + std::string(8, '\0');
    std::ofstream(cut, std::ios::binary) << "RIFF" + le32(36 + 8 * 176400) + "WAVE" + fmt + "data" + le32(8 * 176400) +
                                                std::string(100000, '\x01');
    std::remove(out.c_str());
    CommandResult r = runCommand("timeout 30 " + std::string(KVB_HOST_PATH) + " render " + junk + " " + out);
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("ends inside its 'JUNK' chunk, before its audio data"), std::string::npos) << r.out;
    EXPECT_FALSE(exists(out));
    r = runCommand("timeout 30 " + std::string(KVB_HOST_PATH) + " render " + cut + " " + out);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("warning: " + cut + " is cut short: its header gives 352800 frames (8.000 s), the file "
                         "holds 25000 frames (0.567 s); rendering what is there, 327800 frames (7.433 s) missing"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(readAudio(out).info.frames, 25000);
}

namespace {
double crestDb(const std::vector<float>& x) {
    double peak = 0, sum = 0;
    for (float s : x) {
        peak = std::max(peak, static_cast<double>(std::fabs(s)));
        sum += static_cast<double>(s) * s;
    }
    return 20.0 * std::log10(peak / std::sqrt(sum / x.size()));
}
}  // namespace

TEST(KvbDemo, WritesTensOfSecondsAudiblyCompressed) {
    const std::string out = tempPath("demo.wav"), dry = tempPath("demo-dry.wav");
    const CommandResult r = run("demo " + out + " --dry " + dry);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("out peak"), std::string::npos) << r.out;
    const Audio wet = readAudio(out), in = readAudio(dry);
    EXPECT_EQ(wet.info.channels, 2);
    EXPECT_EQ(wet.info.samplerate, 44100);
    EXPECT_GE(wet.info.frames, 44100 * 10);
    EXPECT_EQ(in.info.frames, wet.info.frames);
    // The Dis stage takes at least 2 dB off the crest factor.
    EXPECT_LT(crestDb(wet.samples), crestDb(in.samples) - 2.0);
    EXPECT_NE(wet.samples, in.samples);
}
