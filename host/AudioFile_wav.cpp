// Audio files without libsndfile: RIFF WAVE with 16-, 24- or 32-bit integer
// or 32-bit float samples, for the Windows build of kvb.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "host/AudioFile.h"

namespace kvbhost {

namespace {

constexpr int kTagPcm = 1;
constexpr int kTagFloat = 3;
constexpr int kTagExtensible = 0xFFFE;

int formatCode(int tag, int bits) { return (tag << 8) | bits; }
int tagOf(int format) { return format >> 8; }
int bitsOf(int format) { return format & 0xFF; }

std::uint32_t le32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint16_t le16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
void put32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
void put16(unsigned char* p, std::uint16_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

class WavReader : public AudioReader {
public:
    WavReader(std::FILE* f, const AudioInfo& info, std::int64_t dataBytesLeft)
        : file_(f), info_(info), left_(dataBytesLeft) {}
    ~WavReader() override { std::fclose(file_); }
    const AudioInfo& info() const override { return info_; }

    std::int64_t read(float* out, std::int64_t frames) override {
        const int bytes = bitsOf(info_.format) / 8;
        const std::int64_t frameBytes = static_cast<std::int64_t>(bytes) * info_.channels;
        frames = std::min(frames, left_ / frameBytes);
        if (frames <= 0) return 0;
        buffer_.resize(static_cast<size_t>(frames * frameBytes));
        const size_t got = std::fread(buffer_.data(), 1, buffer_.size(), file_);
        if (got < buffer_.size()) failed_ = true;
        frames = static_cast<std::int64_t>(got) / frameBytes;
        left_ -= frames * frameBytes;
        const std::int64_t n = frames * info_.channels;
        const unsigned char* p = buffer_.data();
        const bool isFloat = tagOf(info_.format) == kTagFloat;
        for (std::int64_t i = 0; i < n; ++i, p += bytes) {
            if (isFloat) {
                const std::uint32_t u = le32(p);
                float v;
                std::memcpy(&v, &u, 4);
                out[i] = v;
            } else if (bytes == 2) {
                out[i] = static_cast<std::int16_t>(le16(p)) / 32768.0f;
            } else if (bytes == 3) {
                const std::int32_t v = static_cast<std::int32_t>((p[0] << 8) | (p[1] << 16) |
                                                                 (static_cast<std::uint32_t>(p[2]) << 24));
                out[i] = static_cast<float>(v / 2147483648.0);
            } else {
                out[i] = static_cast<float>(static_cast<std::int32_t>(le32(p)) / 2147483648.0);
            }
        }
        return frames;
    }
    std::string error() const override { return failed_ ? "the file ends before its data does" : ""; }

private:
    std::FILE* file_;
    AudioInfo info_;
    std::int64_t left_;
    std::vector<unsigned char> buffer_;
    bool failed_ = false;
};

class WavWriter : public AudioWriter {
public:
    WavWriter(std::FILE* f, int rate, int channels, int format)
        : file_(f), rate_(rate), channels_(channels), format_(format) {
        writeHeader(0);
    }
    ~WavWriter() override { close(); }

    bool write(const float* in, std::int64_t frames) override {
        const int bytes = bitsOf(format_) / 8;
        const std::int64_t n = frames * channels_;
        buffer_.resize(static_cast<size_t>(n * bytes));
        unsigned char* p = buffer_.data();
        for (std::int64_t i = 0; i < n; ++i, p += bytes) {
            const float x = in[i];
            if (tagOf(format_) == kTagFloat) {
                std::uint32_t u;
                std::memcpy(&u, &x, 4);
                put32(p, u);
                continue;
            }
            const double clipped = std::isnan(x) ? 0.0 : std::max(-1.0, std::min(1.0, static_cast<double>(x)));
            if (bytes == 2) {
                put16(p, static_cast<std::uint16_t>(static_cast<std::int16_t>(
                             std::lrint(std::min(clipped * 32768.0, 32767.0)))));
            } else if (bytes == 3) {
                const std::int32_t v = static_cast<std::int32_t>(std::lrint(std::min(clipped * 8388608.0, 8388607.0)));
                p[0] = static_cast<unsigned char>(v);
                p[1] = static_cast<unsigned char>(v >> 8);
                p[2] = static_cast<unsigned char>(v >> 16);
            } else {
                put32(p, static_cast<std::uint32_t>(static_cast<std::int32_t>(
                             std::llrint(std::min(clipped * 2147483648.0, 2147483647.0)))));
            }
        }
        if (std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) {
            error_ = "the disk did not take the data";
            return false;
        }
        dataBytes_ += buffer_.size();
        return true;
    }

    bool close() override {
        if (!file_) return error_.empty();
        if (dataBytes_ & 1) std::fputc(0, file_);
        if (std::fseek(file_, 0, SEEK_SET) != 0 || !writeHeader(dataBytes_)) error_ = "cannot finish the header";
        if (std::fclose(file_) != 0 && error_.empty()) error_ = "cannot close the file";
        file_ = nullptr;
        return error_.empty();
    }
    std::string error() const override { return error_; }

private:
    bool writeHeader(std::uint64_t dataBytes) {
        unsigned char h[44];
        const int bits = bitsOf(format_);
        std::memcpy(h, "RIFF", 4);
        put32(h + 4, static_cast<std::uint32_t>(36 + dataBytes + (dataBytes & 1)));
        std::memcpy(h + 8, "WAVEfmt ", 8);
        put32(h + 16, 16);
        put16(h + 20, static_cast<std::uint16_t>(tagOf(format_)));
        put16(h + 22, static_cast<std::uint16_t>(channels_));
        put32(h + 24, static_cast<std::uint32_t>(rate_));
        put32(h + 28, static_cast<std::uint32_t>(rate_ * channels_ * bits / 8));
        put16(h + 32, static_cast<std::uint16_t>(channels_ * bits / 8));
        put16(h + 34, static_cast<std::uint16_t>(bits));
        std::memcpy(h + 36, "data", 4);
        put32(h + 40, static_cast<std::uint32_t>(dataBytes));
        return std::fwrite(h, 1, sizeof h, file_) == sizeof h;
    }

    std::FILE* file_;
    int rate_, channels_, format_;
    std::uint64_t dataBytes_ = 0;
    std::vector<unsigned char> buffer_;
    std::string error_;
};

}  // namespace

std::unique_ptr<AudioReader> openAudioForReading(const std::string& path, std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = "no such file, or not readable";
        return nullptr;
    }
    auto fail = [&](const char* why) -> std::unique_ptr<AudioReader> {
        std::fclose(f);
        error = why;
        return nullptr;
    };
    unsigned char riff[12];
    if (std::fread(riff, 1, 12, f) != 12 || std::memcmp(riff, "RIFF", 4) != 0 ||
        std::memcmp(riff + 8, "WAVE", 4) != 0)
        return fail("not a WAV file (this build reads WAV only)");
    AudioInfo info;
    bool haveFormat = false;
    for (;;) {
        unsigned char chunk[8];
        if (std::fread(chunk, 1, 8, f) != 8) return fail("a WAV file without audio data");
        const std::uint32_t size = le32(chunk + 4);
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (size < 16 || size > 1024) return fail("a WAV file with a damaged format chunk");
            unsigned char fmt[1024];
            if (std::fread(fmt, 1, size, f) != size) return fail("a WAV file cut short");
            if (size & 1) std::fgetc(f);
            int tag = le16(fmt);
            if (tag == kTagExtensible && size >= 26) tag = le16(fmt + 24);
            const int bits = le16(fmt + 14);
            info.channels = le16(fmt + 2);
            info.sampleRate = static_cast<int>(le32(fmt + 4));
            const bool ok = (tag == kTagPcm && (bits == 16 || bits == 24 || bits == 32)) ||
                            (tag == kTagFloat && bits == 32);
            if (!ok) return fail("a WAV encoding this build does not read");
            if (info.channels < 1 || info.sampleRate < 1) return fail("a WAV file with a damaged format chunk");
            info.format = formatCode(tag, bits);
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat) return fail("a WAV file whose data comes before its format");
            const std::int64_t frameBytes = static_cast<std::int64_t>(bitsOf(info.format) / 8) * info.channels;
            info.frames = size / frameBytes;
            return std::make_unique<WavReader>(f, info, info.frames * frameBytes);
        } else if (std::fseek(f, static_cast<long>(size + (size & 1)), SEEK_CUR) != 0) {
            return fail("a WAV file cut short");
        }
    }
}

std::unique_ptr<AudioWriter> openAudioForWriting(const std::string& path, const AudioInfo& like,
                                                 SampleFormat format, std::string& error) {
    int code = like.format;
    if (format == SampleFormat::Float32) code = formatCode(kTagFloat, 32);
    if (format == SampleFormat::Pcm24) code = formatCode(kTagPcm, 24);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        error = "cannot create the file";
        return nullptr;
    }
    return std::make_unique<WavWriter>(f, like.sampleRate, like.channels, code);
}

}  // namespace kvbhost
