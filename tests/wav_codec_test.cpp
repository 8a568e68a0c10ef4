// The WAV reader and writer of the Windows kvb, checked against libsndfile.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <fstream>
#include <vector>

#include "host/AudioFile.h"

using namespace kvbhost;

namespace {

std::string temp(const std::string& name) { return ::testing::TempDir() + "/wav-" + name; }

std::vector<float> ramp(int frames, int channels) {
    std::vector<float> x(static_cast<size_t>(frames) * channels);
    for (size_t i = 0; i < x.size(); ++i) x[i] = static_cast<float>(std::sin(0.01 * i) * 0.9);
    return x;
}

}  // namespace

TEST(WavCodec, ReadsWhatLibsndfileWrites) {
    struct Case {
        int format;
        double tolerance;
    } cases[] = {{SF_FORMAT_PCM_16, 1.0 / 32768}, {SF_FORMAT_PCM_24, 1.0 / 8388608},
                 {SF_FORMAT_PCM_32, 1e-7}, {SF_FORMAT_FLOAT, 0.0}};
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
        std::vector<float> y(2000);
        EXPECT_EQ(reader->read(y.data(), 600), 600);
        EXPECT_EQ(reader->read(y.data() + 1200, 600), 400);
        EXPECT_EQ(reader->read(y.data(), 600), 0);
        EXPECT_TRUE(reader->error().empty());
        for (size_t i = 0; i < x.size(); ++i) ASSERT_NEAR(y[i], x[i], 2 * c.tolerance + 1e-9) << i;  // within two steps of the encoding
    }
}

TEST(WavCodec, WritesWhatLibsndfileReads) {
    AudioInfo like;
    like.sampleRate = 44100;
    like.channels = 2;
    for (SampleFormat fmt : {SampleFormat::Float32, SampleFormat::Pcm24}) {
        const std::string path = temp("ours.wav");
        std::string error;
        auto writer = openAudioForWriting(path, like, fmt, error);
        ASSERT_NE(writer, nullptr) << error;
        std::vector<float> x = ramp(777, 2);
        x[10] = 1.5f;  // clipped in integer formats
        ASSERT_TRUE(writer->write(x.data(), 777));
        ASSERT_TRUE(writer->close());
        SF_INFO info{};
        SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
        ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
        EXPECT_EQ(info.frames, 777);
        EXPECT_EQ(info.format, SF_FORMAT_WAV | (fmt == SampleFormat::Float32 ? SF_FORMAT_FLOAT : SF_FORMAT_PCM_24));
        std::vector<float> y(x.size());
        sf_readf_float(f, y.data(), 777);
        sf_close(f);
        for (size_t i = 0; i < x.size(); ++i) {
            const float expect = fmt == SampleFormat::Float32 ? x[i] : std::min(x[i], 1.0f);
            ASSERT_NEAR(y[i], expect, fmt == SampleFormat::Float32 ? 0.0 : 2.0 / 8388608) << i;
        }
    }
}

TEST(WavCodec, RefusesDamagedAndForeignFiles) {
    std::string error;
    EXPECT_EQ(openAudioForReading(temp("absent.wav"), error), nullptr);
    const std::string junk = temp("junk.wav");
    std::ofstream(junk) << "RIFF\x04\x00\x00\x00WAVE";
    EXPECT_EQ(openAudioForReading(junk, error), nullptr);
    EXPECT_FALSE(error.empty());
    // A format chunk claiming 8-bit samples.
    const unsigned char eightBit[] = {'R', 'I', 'F', 'F', 36, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
                                      16, 0, 0, 0, 1, 0, 1, 0, 0x44, 0xAC, 0, 0, 0x44, 0xAC, 0, 0,
                                      1, 0, 8, 0, 'd', 'a', 't', 'a', 0, 0, 0, 0};
    std::ofstream(temp("u8.wav"), std::ios::binary).write(reinterpret_cast<const char*>(eightBit), sizeof eightBit);
    EXPECT_EQ(openAudioForReading(temp("u8.wav"), error), nullptr);
    EXPECT_NE(error.find("encoding"), std::string::npos) << error;
}

TEST(WavCodec, TruncatedDataIsReportedNotInvented) {
    AudioInfo like;
    like.sampleRate = 8000;
    like.channels = 1;
    const std::string path = temp("cut.wav");
    std::string error;
    {
        auto w = openAudioForWriting(path, like, SampleFormat::Pcm24, error);
        std::vector<float> x = ramp(100, 1);
        ASSERT_TRUE(w->write(x.data(), 100));
        ASSERT_TRUE(w->close());
    }
    // Cut the file in the middle of its data.
    std::ifstream f(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    std::ofstream(path, std::ios::binary) << bytes.substr(0, 44 + 150);
    auto r = openAudioForReading(path, error);
    ASSERT_NE(r, nullptr);
    std::vector<float> y(100);
    EXPECT_EQ(r->read(y.data(), 100), 50);
    EXPECT_FALSE(r->error().empty());
}
