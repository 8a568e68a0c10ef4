#include "host/WavFile.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdint>
#include <cstring>
#include <vector>

#include "host/SampleConversion.h"

namespace kvbhost {

int bitsOf(Encoding e) {
    switch (e) {
    case Encoding::Pcm8: return 8;
    case Encoding::Pcm16: return 16;
    case Encoding::Pcm24: return 24;
    case Encoding::Pcm32: return 32;
    case Encoding::Float32: return 32;
    case Encoding::Float64: return 64;
    case Encoding::Other: break;
    }
    return 0;
}

bool isFloat(Encoding e) { return e == Encoding::Float32 || e == Encoding::Float64; }

const char* encodingName(Encoding e) {
    switch (e) {
    case Encoding::Pcm8: return "8-bit";
    case Encoding::Pcm16: return "16-bit";
    case Encoding::Pcm24: return "24-bit";
    case Encoding::Pcm32: return "32-bit";
    case Encoding::Float32: return "32-bit float";
    case Encoding::Float64: return "64-bit float";
    case Encoding::Other: break;
    }
    return "other";
}

std::string extensionOf(const std::string& path) {
    const auto dot = path.find_last_of('.');
    const auto slash = path.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string ext = path.substr(dot);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

namespace {

constexpr int kTagPcm = 1;
constexpr int kTagFloat = 3;
constexpr int kTagExtensible = 0xFFFE;
constexpr std::int64_t kMaxChunkBytes = 0xFFFFFFFFll;

std::uint32_t le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint16_t le16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
void put32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
void put16(unsigned char* p, std::uint16_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

// Positions in 64 bits on every platform (a long is 32 bits on Windows).
bool seekTo(std::FILE* f, std::int64_t pos) {
#if defined(_WIN32)
    return _fseeki64(f, pos, SEEK_SET) == 0;
#else
    return fseeko(f, static_cast<off_t>(pos), SEEK_SET) == 0;
#endif
}

std::int64_t sizeOf(std::FILE* f) {
#if defined(_WIN32)
    if (_fseeki64(f, 0, SEEK_END) != 0) return -1;
    const std::int64_t size = _ftelli64(f);
#else
    if (fseeko(f, 0, SEEK_END) != 0) return -1;
    const std::int64_t size = ftello(f);
#endif
    return seekTo(f, 0) ? size : -1;
}

// A chunk's name for a message: its four characters, or their codes when
// they are not all printable.
std::string chunkName(const unsigned char* id) {
    std::string name = "'";
    for (int i = 0; i < 4; ++i) {
        if (id[i] < 32 || id[i] > 126) {
            char hex[24];
            std::snprintf(hex, sizeof hex, "0x%02X%02X%02X%02X", id[0], id[1], id[2], id[3]);
            return hex;
        }
        name += static_cast<char>(id[i]);
    }
    return name + "'";
}

Encoding encodingOf(int tag, int bits) {
    if (tag == kTagPcm) {
        switch (bits) {
        case 8: return Encoding::Pcm8;
        case 16: return Encoding::Pcm16;
        case 24: return Encoding::Pcm24;
        case 32: return Encoding::Pcm32;
        default: break;
        }
    }
    if (tag == kTagFloat && bits == 32) return Encoding::Float32;
    if (tag == kTagFloat && bits == 64) return Encoding::Float64;
    return Encoding::Other;
}

class WavReader : public AudioReader {
public:
    WavReader(std::FILE* f, const AudioInfo& info) : file_(f), info_(info), left_(info.frames) {}
    ~WavReader() override { std::fclose(file_); }
    const AudioInfo& info() const override { return info_; }

    std::int64_t read(float* out, std::int64_t frames) override {
        const int bytes = bitsOf(info_.encoding) / 8;
        const std::int64_t frameBytes = static_cast<std::int64_t>(bytes) * info_.channels;
        frames = std::min(frames, left_);
        if (frames <= 0 || failed_) return 0;
        buffer_.resize(static_cast<std::size_t>(frames * frameBytes));
        const std::size_t got = std::fread(buffer_.data(), 1, buffer_.size(), file_);
        // The size was checked against the file's: a short read is a failure
        // of the file or the disk, not a short file.
        if (got < buffer_.size()) failed_ = true;
        frames = static_cast<std::int64_t>(got) / frameBytes;
        left_ -= frames;
        const std::int64_t n = frames * info_.channels;
        const unsigned char* p = buffer_.data();
        for (std::int64_t i = 0; i < n; ++i, p += bytes) {
            switch (info_.encoding) {
            case Encoding::Pcm8: out[i] = static_cast<float>(p[0] - 128) / 128.0f; break;
            case Encoding::Pcm16: out[i] = static_cast<float>(static_cast<std::int16_t>(le16(p))) / 32768.0f; break;
            case Encoding::Pcm24: {
                const std::uint32_t u = static_cast<std::uint32_t>(p[0]) << 8 | static_cast<std::uint32_t>(p[1]) << 16 |
                                        static_cast<std::uint32_t>(p[2]) << 24;
                out[i] = static_cast<float>(static_cast<std::int32_t>(u) / 2147483648.0);
                break;
            }
            case Encoding::Pcm32:
                out[i] = static_cast<float>(static_cast<std::int32_t>(le32(p)) / 2147483648.0);
                break;
            case Encoding::Float32: {
                const std::uint32_t u = le32(p);
                std::memcpy(&out[i], &u, 4);
                break;
            }
            case Encoding::Float64: {
                const std::uint64_t u = le32(p) | static_cast<std::uint64_t>(le32(p + 4)) << 32;
                double d;
                std::memcpy(&d, &u, 8);
                out[i] = static_cast<float>(d);
                break;
            }
            case Encoding::Other: out[i] = 0.0f; break;
            }
        }
        return frames;
    }
    std::string error() const override {
        if (!failed_) return "";
        return "the file could not be read after " + std::to_string(info_.frames - left_) + " frames";
    }

private:
    std::FILE* file_;
    AudioInfo info_;
    std::int64_t left_;  // frames
    std::vector<unsigned char> buffer_;
    bool failed_ = false;
};

// Bytes of the header the writer writes: RIFF, fmt (16 bytes of fields, 18
// for float with its empty extension), fact for float, the data chunk's head.
std::int64_t headerBytes(Encoding e) { return isFloat(e) ? 12 + 26 + 12 + 8 : 12 + 24 + 8; }

class WavWriter : public AudioWriter {
public:
    WavWriter(std::FILE* f, const AudioInfo& info, bool dither)
        : file_(f), info_(info), bytes_(bitsOf(info.encoding) / 8), dither_(dither) {
        if (!writeHeader(0)) error_ = "cannot write the header";
    }
    ~WavWriter() override { close(); }

    bool write(const float* in, std::int64_t frames) override {
        if (!error_.empty() || !file_) return false;
        const std::int64_t frameBytes = static_cast<std::int64_t>(bytes_) * info_.channels;
        if (frames < 0 || dataBytes_ + frames * frameBytes > maxDataBytes(info_.encoding)) {
            error_ = "more than a WAV file can hold (4 GiB)";
            return false;
        }
        const std::int64_t n = frames * info_.channels;
        buffer_.resize(static_cast<std::size_t>(n * bytes_));
        unsigned char* p = buffer_.data();
        Dither* d = dither_ ? &noise_ : nullptr;
        for (std::int64_t i = 0; i < n; ++i, p += bytes_) {
            const float x = in[i];
            switch (info_.encoding) {
            case Encoding::Pcm8: p[0] = static_cast<unsigned char>(toInteger(x, 8, d) + 128); break;
            case Encoding::Pcm16: put16(p, static_cast<std::uint16_t>(toInteger(x, 16, d))); break;
            case Encoding::Pcm24: {
                const std::uint32_t v = static_cast<std::uint32_t>(toInteger(x, 24, d));
                p[0] = static_cast<unsigned char>(v);
                p[1] = static_cast<unsigned char>(v >> 8);
                p[2] = static_cast<unsigned char>(v >> 16);
                break;
            }
            case Encoding::Pcm32: put32(p, static_cast<std::uint32_t>(toInteger(x, 32, d))); break;
            case Encoding::Float32: {
                std::uint32_t u;
                std::memcpy(&u, &x, 4);
                put32(p, u);
                break;
            }
            case Encoding::Float64: {
                const double v = x;
                std::uint64_t u;
                std::memcpy(&u, &v, 8);
                put32(p, static_cast<std::uint32_t>(u));
                put32(p + 4, static_cast<std::uint32_t>(u >> 32));
                break;
            }
            case Encoding::Other: break;
            }
        }
        if (std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) {
            error_ = "the disk did not take the data";
            return false;
        }
        dataBytes_ += static_cast<std::int64_t>(buffer_.size());
        return true;
    }

    bool close() override {
        if (!file_) return error_.empty();
        if (error_.empty()) {
            if ((dataBytes_ & 1) && std::fputc(0, file_) == EOF) error_ = "the disk did not take the data";
            else if (!seekTo(file_, 0) || !writeHeader(dataBytes_)) error_ = "cannot finish the header";
        }
        if (std::fclose(file_) != 0 && error_.empty()) error_ = "cannot close the file";
        file_ = nullptr;
        return error_.empty();
    }
    std::string error() const override { return error_; }

    // The most data bytes a file of this encoding can hold: the RIFF size
    // field counts everything after itself, the pad byte included.
    static std::int64_t maxDataBytes(Encoding e) { return kMaxChunkBytes - (headerBytes(e) - 8) - 1; }

private:
    bool writeHeader(std::int64_t dataBytes) {
        const bool floating = isFloat(info_.encoding);
        const std::int64_t blockAlign = static_cast<std::int64_t>(bytes_) * info_.channels;
        unsigned char h[58] = {};
        unsigned char* p = h;
        auto tag = [&](const char* t) {
            std::memcpy(p, t, 4);
            p += 4;
        };
        auto u32 = [&](std::int64_t v) {
            put32(p, static_cast<std::uint32_t>(v));
            p += 4;
        };
        auto u16 = [&](std::int64_t v) {
            put16(p, static_cast<std::uint16_t>(v));
            p += 2;
        };
        tag("RIFF");
        u32(headerBytes(info_.encoding) - 8 + dataBytes + (dataBytes & 1));
        tag("WAVE");
        tag("fmt ");
        u32(floating ? 18 : 16);
        u16(floating ? kTagFloat : kTagPcm);
        u16(info_.channels);
        u32(info_.sampleRate);
        u32(info_.sampleRate * blockAlign);
        u16(blockAlign);
        u16(bitsOf(info_.encoding));
        if (floating) {
            u16(0);  // no extension
            tag("fact");
            u32(4);
            u32(dataBytes / blockAlign);
        }
        tag("data");
        u32(dataBytes);
        const std::size_t n = static_cast<std::size_t>(p - h);
        return std::fwrite(h, 1, n, file_) == n;
    }

    std::FILE* file_;
    AudioInfo info_;
    int bytes_;
    bool dither_;
    Dither noise_;
    std::int64_t dataBytes_ = 0;
    std::vector<unsigned char> buffer_;
    std::string error_;
};

}  // namespace

std::unique_ptr<AudioReader> readWav(std::FILE* f, WavStatus& status, std::string& error) {
    auto fail = [&](WavStatus s, const std::string& why) -> std::unique_ptr<AudioReader> {
        std::fclose(f);
        status = s;
        error = why;
        return nullptr;
    };
    const std::int64_t fileSize = sizeOf(f);
    if (fileSize < 0) return fail(WavStatus::Damaged, "cannot find the file's size");
    unsigned char riff[12];
    if (fileSize < 12 || std::fread(riff, 1, 12, f) != 12 || std::memcmp(riff, "RIFF", 4) != 0 ||
        std::memcmp(riff + 8, "WAVE", 4) != 0)
        return fail(WavStatus::NotWav, "not a WAV file");

    AudioInfo info;
    bool haveFormat = false;
    // Each round moves on by at least the 8 bytes of a chunk's head, and
    // never past the end: the loop ends.
    for (std::int64_t pos = 12;;) {
        if (fileSize - pos < 8) {
            return fail(WavStatus::Damaged, haveFormat ? "a WAV file without audio data (it ends after its format)"
                                                       : "a WAV file without a format chunk or audio data");
        }
        unsigned char head[8];
        if (!seekTo(f, pos) || std::fread(head, 1, 8, f) != 8) return fail(WavStatus::Damaged, "cannot read the file");
        const std::int64_t size = le32(head + 4);
        const std::int64_t body = pos + 8;
        const std::int64_t there = std::min(size, fileSize - body);  // what the file holds of the chunk

        if (std::memcmp(head, "fmt ", 4) == 0) {
            if (there < size) return fail(WavStatus::Damaged, "a WAV file that ends inside its format chunk");
            if (size < 16) return fail(WavStatus::Damaged, "a WAV file with a damaged format chunk (too short)");
            unsigned char fmt[40] = {};
            const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(size, sizeof fmt));
            if (std::fread(fmt, 1, want, f) != want) return fail(WavStatus::Damaged, "cannot read the file");
            int tag = le16(fmt);
            if (tag == kTagExtensible) {
                if (size < 26) return fail(WavStatus::Damaged, "a WAV file with a damaged format chunk (extension)");
                tag = le16(fmt + 24);
            }
            const int channels = le16(fmt + 2);
            const std::uint32_t rate = le32(fmt + 4);
            const int blockAlign = le16(fmt + 12);
            const int bits = le16(fmt + 14);
            const Encoding e = encodingOf(tag, bits);
            if (e == Encoding::Other) {
                return fail(WavStatus::ForeignEncoding, "a WAV encoding this build does not read (format " +
                                                            std::to_string(tag) + ", " + std::to_string(bits) +
                                                            " bits)");
            }
            if (channels < 1 || rate < 1 || rate > static_cast<std::uint32_t>(INT_MAX))
                return fail(WavStatus::Damaged, "a WAV file with a damaged format chunk (" + std::to_string(channels) +
                                                    " channels at " + std::to_string(rate) + " Hz)");
            if (blockAlign != channels * bits / 8)
                return fail(WavStatus::Damaged, "a WAV file with a damaged format chunk (" + std::to_string(blockAlign) +
                                                    " bytes a frame for " + std::to_string(channels) + " of " +
                                                    std::to_string(bits) + " bits)");
            info.channels = channels;
            info.sampleRate = static_cast<int>(rate);
            info.encoding = e;
            haveFormat = true;
        } else if (std::memcmp(head, "data", 4) == 0) {
            if (!haveFormat) return fail(WavStatus::Damaged, "a WAV file whose data comes before its format");
            const std::int64_t frameBytes = static_cast<std::int64_t>(bitsOf(info.encoding) / 8) * info.channels;
            info.claimedFrames = size / frameBytes;
            info.frames = there / frameBytes;
            status = WavStatus::Read;
            return std::make_unique<WavReader>(f, info);
        } else if (there < size) {
            return fail(WavStatus::Damaged, "a WAV file that ends inside its " + chunkName(head) +
                                                " chunk, before its audio data (the chunk claims " +
                                                std::to_string(size) + " bytes, the file holds " +
                                                std::to_string(there) + ")");
        }
        pos = body + size + (size & 1);
    }
}

std::unique_ptr<AudioWriter> writeWav(std::FILE* f, const AudioInfo& info, bool dither, std::string& error) {
    auto refuse = [&](const std::string& why) -> std::unique_ptr<AudioWriter> {
        std::fclose(f);
        error = why;
        return nullptr;
    };
    const int bytes = bitsOf(info.encoding) / 8;
    if (bytes == 0) return refuse("no WAV encoding given");
    const std::int64_t blockAlign = static_cast<std::int64_t>(bytes) * info.channels;
    if (info.channels < 1 || info.channels > 0xFFFF || blockAlign > 0xFFFF)
        return refuse("a WAV file cannot hold " + std::to_string(info.channels) + " channels of " +
                      encodingName(info.encoding) + " samples");
    if (info.sampleRate < 1 || static_cast<std::int64_t>(info.sampleRate) * blockAlign > kMaxChunkBytes)
        return refuse("a WAV file cannot hold " + std::to_string(info.channels) + " channels of " +
                      encodingName(info.encoding) + " samples at " + std::to_string(info.sampleRate) + " Hz");
    if (info.frames < 0 || info.frames > WavWriter::maxDataBytes(info.encoding) / blockAlign)
        return refuse("a WAV file holds at most 4 GiB of audio: " + std::to_string(info.frames) + " frames of " +
                      std::to_string(info.channels) + " channels of " + encodingName(info.encoding) +
                      " samples are more");
    auto w = std::make_unique<WavWriter>(f, info, dither);
    if (!w->error().empty()) {
        error = w->error();
        return nullptr;
    }
    return w;
}

}  // namespace kvbhost
