// kvb's own WAV reader and writer (host/WavFile.cpp), which every build of
// kvb uses for WAV: against libsndfile, against damaged files, and the one
// conversion from float to integer samples.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "host/AudioFile.h"
#include "host/SampleConversion.h"
#include "host/WavFile.h"

using namespace kvbhost;

namespace {

std::string temp(const std::string& name) { return ::testing::TempDir() + "/wav-" + name; }

std::vector<float> ramp(int frames, int channels) {
    std::vector<float> x(static_cast<size_t>(frames) * channels);
    for (size_t i = 0; i < x.size(); ++i) x[i] = static_cast<float>(std::sin(0.01 * i) * 0.9);
    return x;
}

std::string bytesOf(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string le32(std::uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[i] = static_cast<char>(v >> (8 * i));
    return s;
}
std::string le16(std::uint16_t v) { return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }

// A chunk: its name, its size as given (the body's own length unless told),
// its body.
std::string chunk(const char* id, const std::string& body, std::int64_t size = -1) {
    return std::string(id, 4) + le32(static_cast<std::uint32_t>(size < 0 ? body.size() : size)) + body;
}
std::string fmt(int tag, int channels, int rate, int bits) {
    const int align = channels * bits / 8;
    return chunk("fmt ", le16(static_cast<std::uint16_t>(tag)) + le16(static_cast<std::uint16_t>(channels)) +
                             le32(static_cast<std::uint32_t>(rate)) + le32(static_cast<std::uint32_t>(rate * align)) +
                             le16(static_cast<std::uint16_t>(align)) + le16(static_cast<std::uint16_t>(bits)));
}
std::string riff(const std::string& chunks) { return "RIFF" + le32(static_cast<std::uint32_t>(4 + chunks.size())) + "WAVE" + chunks; }

std::unique_ptr<AudioWriter> writerFor(const std::string& path, Encoding e, int channels, int rate,
                                       std::string& error, bool dither = false, std::int64_t frames = 0) {
    AudioInfo info;
    info.sampleRate = rate;
    info.channels = channels;
    info.encoding = e;
    info.frames = frames;
    OutputFormat wav;
    EXPECT_TRUE(outputFormatFor(path, wav));
    return openAudioForWriting(path, wav, info, dither, error);
}

}  // namespace

TEST(WavCodec, ReadsWhatLibsndfileWrites) {
    struct Case {
        int format;
        Encoding encoding;
        double tolerance;
    } cases[] = {{SF_FORMAT_PCM_U8, Encoding::Pcm8, 1.0 / 128},    {SF_FORMAT_PCM_16, Encoding::Pcm16, 1.0 / 32768},
                 {SF_FORMAT_PCM_24, Encoding::Pcm24, 1.0 / 8388608}, {SF_FORMAT_PCM_32, Encoding::Pcm32, 1e-7},
                 {SF_FORMAT_FLOAT, Encoding::Float32, 0.0},         {SF_FORMAT_DOUBLE, Encoding::Float64, 0.0}};
    for (const Case& c : cases) {
        const std::string path = temp("sf.wav");
        SF_INFO info{};
        info.samplerate = 48000;
        info.channels = 2;
        info.format = SF_FORMAT_WAV | c.format;
        SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
        ASSERT_NE(f, nullptr);
        const std::vector<float> x = ramp(1000, 2);
        sf_writef_float(f, x.data(), 1000);
        sf_close(f);

        std::string error;
        auto reader = openAudioForReading(path, error);
        ASSERT_NE(reader, nullptr) << error;
        EXPECT_EQ(reader->info().sampleRate, 48000);
        EXPECT_EQ(reader->info().channels, 2);
        EXPECT_EQ(reader->info().frames, 1000);
        EXPECT_EQ(reader->info().claimedFrames, 1000);
        EXPECT_EQ(reader->info().encoding, c.encoding);
        std::vector<float> y(2000);
        EXPECT_EQ(reader->read(y.data(), 600), 600);
        EXPECT_EQ(reader->read(y.data() + 1200, 600), 400);
        EXPECT_EQ(reader->read(y.data(), 600), 0);
        EXPECT_TRUE(reader->error().empty());
        for (size_t i = 0; i < x.size(); ++i) ASSERT_NEAR(y[i], x[i], 2 * c.tolerance + 1e-9) << i;  // within two steps of the encoding
    }
}

// What we write, libsndfile reads as the same integers our conversion makes
// (or the same floats), with no chunk beyond format, fact and data.
TEST(WavCodec, WritesWhatLibsndfileReads) {
    struct Case {
        Encoding encoding;
        int sfFormat;
        int headerBytes;
    } cases[] = {{Encoding::Pcm8, SF_FORMAT_PCM_U8, 44},    {Encoding::Pcm16, SF_FORMAT_PCM_16, 44},
                 {Encoding::Pcm24, SF_FORMAT_PCM_24, 44},   {Encoding::Pcm32, SF_FORMAT_PCM_32, 44},
                 {Encoding::Float32, SF_FORMAT_FLOAT, 58}, {Encoding::Float64, SF_FORMAT_DOUBLE, 58}};
    std::vector<float> x = ramp(777, 2);
    x[10] = 1.5f;   // clipped in integer encodings
    x[11] = -2.0f;
    for (const Case& c : cases) {
        const std::string path = temp("ours.wav");
        std::string error;
        auto writer = writerFor(path, c.encoding, 2, 44100, error);
        ASSERT_NE(writer, nullptr) << error;
        ASSERT_TRUE(writer->write(x.data(), 700));
        ASSERT_TRUE(writer->write(x.data() + 1400, 77));
        ASSERT_TRUE(writer->close());
        const int bytes = bitsOf(c.encoding) / 8;
        EXPECT_EQ(bytesOf(path).size(), static_cast<std::size_t>(c.headerBytes + 777 * 2 * bytes + (777 * 2 * bytes) % 2))
            << encodingName(c.encoding);

        SF_INFO info{};
        SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
        ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
        EXPECT_EQ(info.frames, 777);
        EXPECT_EQ(info.samplerate, 44100);
        EXPECT_EQ(info.format, SF_FORMAT_WAV | c.sfFormat);
        if (isFloat(c.encoding)) {
            std::vector<float> y(x.size());
            sf_readf_float(f, y.data(), 777);
            EXPECT_EQ(std::memcmp(y.data(), x.data(), y.size() * sizeof(float)), 0);
        } else {
            std::vector<int> y(x.size());
            sf_readf_int(f, y.data(), 777);
            for (size_t i = 0; i < x.size(); ++i)
                ASSERT_EQ(y[i] >> (32 - bitsOf(c.encoding)), toInteger(x[i], bitsOf(c.encoding))) << i;
        }
        sf_close(f);
    }
}

// Round to nearest, ties to even, clip at full scale: the same integers from
// the same floats on every platform, with no bias.
TEST(WavCodec, ConvertsFloatsToTheNearestIntegerTiesToEven) {
    const float step16 = 1.0f / 32768.0f;
    struct Case {
        float x;
        int bits;
        std::int32_t expected;
    } cases[] = {
        {0.4f * step16, 16, 0},     {0.6f * step16, 16, 1},     {0.5f * step16, 16, 0},     {1.5f * step16, 16, 2},
        {2.5f * step16, 16, 2},     {-0.5f * step16, 16, 0},    {-1.5f * step16, 16, -2},   {-2.5f * step16, 16, -2},
        {-0.6f * step16, 16, -1},   {1.0f, 16, 32767},          {-1.0f, 16, -32768},        {3.0f, 16, 32767},
        {-3.0f, 16, -32768},        {32766.5f * step16, 16, 32766}, {32767.5f * step16 * 0.99999f, 16, 32767},
        {1.0f, 24, 8388607},        {-1.0f, 24, -8388608},      {2.5f / 8388608.0f, 24, 2}, {3.5f / 8388608.0f, 24, 4},
        {1.0f, 32, 2147483647},     {-1.0f, 32, -2147483647 - 1}, {0.5f, 32, 1073741824},  {0.5f / 128, 8, 0},
        {1.5f / 128, 8, 2},         {-1.0f, 8, -128},           {std::numeric_limits<float>::quiet_NaN(), 16, 0},
        {std::numeric_limits<float>::infinity(), 24, 8388607}, {-std::numeric_limits<float>::infinity(), 16, -32768},
    };
    for (const Case& c : cases) EXPECT_EQ(toInteger(c.x, c.bits), c.expected) << c.x << " at " << c.bits << " bits";

    // Over a ramp of many steps the error has no bias (floor would give -0.5).
    double sum = 0.0;
    const int n = 100000;
    for (int i = 0; i < n; ++i) {
        const float x = static_cast<float>(i) / n * 0.7f - 0.35f;
        sum += toInteger(x, 16) - static_cast<double>(x) * 32768.0;
    }
    EXPECT_LT(std::fabs(sum / n), 0.01);
}

TEST(WavCodec, DitherIsTriangularReproducibleAndOnlyWhenAsked) {
    const std::vector<float> x = ramp(4000, 1);
    std::vector<std::string> files;
    for (int k = 0; k < 3; ++k) {
        const std::string path = temp("dither" + std::to_string(k) + ".wav");
        std::string error;
        auto w = writerFor(path, Encoding::Pcm16, 1, 8000, error, k < 2);
        ASSERT_NE(w, nullptr) << error;
        ASSERT_TRUE(w->write(x.data(), 4000));
        ASSERT_TRUE(w->close());
        files.push_back(bytesOf(path));
    }
    EXPECT_EQ(files[0], files[1]) << "the same dither on every run";
    ASSERT_EQ(files[0].size(), files[2].size());
    int changed = 0, beyond = 0;
    for (std::size_t i = 44; i < files[0].size(); i += 2) {
        const auto sample = [&](const std::string& f) {
            return static_cast<std::int16_t>(static_cast<unsigned char>(f[i]) | (static_cast<unsigned char>(f[i + 1]) << 8));
        };
        const int d = sample(files[0]) - sample(files[2]);
        changed += d != 0;
        beyond += std::abs(d) > 1;
    }
    // TPDF of ±1 step moves a sample by at most one step, and often.
    EXPECT_EQ(beyond, 0);
    EXPECT_GT(changed, 1000);
}

// Damaged files: no hang, no size read as another, the same outcome on
// every platform (this code is every platform's WAV reader).
TEST(WavCodec, DamagedFilesAreRefusedOrReadInPart) {
    const std::string data100 = chunk("data", std::string(100, '\x10'));
    const std::string f16 = fmt(1, 2, 44100, 16);
    struct Case {
        const char* name;
        std::string bytes;
        const char* says;  // nullptr: read, possibly in part
    } cases[] = {
        // A chunk whose size seeks back 8 bytes with a 32-bit long (68 bytes in all).
        {"junk-back", riff(f16 + chunk("JUNK", "", 0xFFFFFFF8) + chunk("data", std::string(8, '\0'))), "'JUNK' chunk"},
        // A size whose padded value wraps to 0 in 32 bits.
        {"junk-wrap", riff(f16 + chunk("JUNK", std::string(8, 'x'), 0xFFFFFFFF) + data100), "'JUNK' chunk"},
        {"fmt-past-end", riff(chunk("fmt ", std::string(8, '\0'), 40)), "ends inside its format chunk"},
        {"fmt-short", riff(chunk("fmt ", std::string(14, '\0')) + data100), "damaged format chunk"},
        {"no-data", riff(f16), "without audio data"},
        {"data-first", riff(data100 + f16), "data comes before its format"},
        {"zero-rate", riff(fmt(1, 2, 0, 16) + data100), "damaged format chunk"},
        {"no-channels", riff(fmt(1, 0, 44100, 16) + data100), "damaged format chunk"},
        {"align", riff(chunk("fmt ", le16(1) + le16(2) + le32(44100) + le32(0) + le16(3) + le16(16)) + data100),
         "damaged format chunk"},
        {"mu-law", riff(fmt(7, 1, 8000, 8) + data100), "does not read"},
        {"not-wav", "RIFF" + le32(4) + "AVI ", "not a WAV file"},
        // An odd chunk is followed by a pad byte; 100 bytes of 16-bit stereo are 25 frames.
        {"odd-chunk", riff(f16 + chunk("LIST", "abc") + std::string(1, '\0') + data100), nullptr},
    };
    for (const Case& c : cases) {
        const std::string path = temp(std::string(c.name) + ".wav");
        writeBytes(path, c.bytes);
        const auto start = std::chrono::steady_clock::now();
        std::string error;
        auto r = openAudioForReading(path, error);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << c.name;
        if (c.says) {
            EXPECT_EQ(r, nullptr) << c.name;
            EXPECT_NE(error.find(c.says), std::string::npos) << c.name << ": " << error;
        } else {
            ASSERT_NE(r, nullptr) << c.name << ": " << error;
            EXPECT_EQ(r->info().frames, 25) << c.name;
        }
    }

    // A data chunk claiming 8 s that holds 100 kB: the frames that are there,
    // and the claim beside them.
    const std::string cut = temp("cut.wav");
    writeBytes(cut, riff(f16 + chunk("data", std::string(100000, '\x01'), 8 * 44100 * 4)));
    std::string error;
    auto r = openAudioForReading(cut, error);
    ASSERT_NE(r, nullptr) << error;
    EXPECT_EQ(r->info().claimedFrames, 8 * 44100);
    EXPECT_EQ(r->info().frames, 25000);
    std::vector<float> y(2 * 30000);
    EXPECT_EQ(r->read(y.data(), 30000), 25000);
    EXPECT_EQ(r->read(y.data(), 30000), 0);
    EXPECT_TRUE(r->error().empty()) << r->error();
    EXPECT_EQ(y[0], 257.0f / 32768.0f);
}

TEST(WavCodec, RefusesWhatAHeaderCannotHold) {
    std::string error;
    // A byte rate beyond 32 bits: 600 MHz of stereo float.
    EXPECT_EQ(writerFor(temp("fast.wav"), Encoding::Float32, 2, 600000000, error), nullptr);
    EXPECT_NE(error.find("600000000 Hz"), std::string::npos) << error;
    EXPECT_EQ(writerFor(temp("wide.wav"), Encoding::Pcm16, 70000, 44100, error), nullptr);
    EXPECT_NE(error.find("70000 channels"), std::string::npos) << error;
    // More than 4 GiB of data, refused before anything is written.
    EXPECT_EQ(writerFor(temp("long.wav"), Encoding::Pcm24, 2, 48000, error, false, 800000000), nullptr);
    EXPECT_NE(error.find("4 GiB"), std::string::npos) << error;
    // 40 MHz of stereo float: a byte rate of 320 MB/s still fits, computed without overflow.
    auto w = writerFor(temp("rate.wav"), Encoding::Float32, 2, 40000000, error, false, 1);
    ASSERT_NE(w, nullptr) << error;
    const float x[2] = {0.25f, -0.25f};
    ASSERT_TRUE(w->write(x, 1));
    ASSERT_TRUE(w->close());
    const std::string b = bytesOf(temp("rate.wav"));
    ASSERT_GE(b.size(), 32u);
    EXPECT_EQ(b.substr(24, 8), le32(40000000) + le32(320000000));
}
