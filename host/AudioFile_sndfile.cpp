// Audio files in the Linux build of kvb: WAV through our own reader and
// writer (WavFile.cpp), as in the Windows build; every other format through
// libsndfile, which reads whatever it knows (and WAV in encodings ours does
// not take, such as A-law or ADPCM) and writes the lossless formats below.
// Integer samples go to libsndfile already converted by our own conversion
// (SampleConversion.h), as whole numbers it only shifts into place.
#include <sndfile.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "host/AudioFile.h"
#include "host/SampleConversion.h"
#include "host/WavFile.h"

namespace kvbhost {

namespace {

constexpr int kOurWav = 0;

struct Extension {
    const char* extension;
    int container;
};
// Formats that keep every sample and whose files depend on nothing but the
// samples. (RF64 is left out: libsndfile writes a time-stamped PEAK chunk
// into its float files whatever it is told.)
constexpr Extension kExtensions[] = {
    {".wav", kOurWav},       {".flac", SF_FORMAT_FLAC}, {".aiff", SF_FORMAT_AIFF}, {".aif", SF_FORMAT_AIFF},
    {".caf", SF_FORMAT_CAF}, {".w64", SF_FORMAT_W64},   {".au", SF_FORMAT_AU},
};

Encoding encodingOf(int sfFormat) {
    switch (sfFormat & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8: return Encoding::Pcm8;
    case SF_FORMAT_PCM_16: return Encoding::Pcm16;
    case SF_FORMAT_PCM_24: return Encoding::Pcm24;
    case SF_FORMAT_PCM_32: return Encoding::Pcm32;
    case SF_FORMAT_FLOAT: return Encoding::Float32;
    case SF_FORMAT_DOUBLE: return Encoding::Float64;
    default: return Encoding::Other;
    }
}

// The libsndfile format of `e` in `container`, or 0 when it holds no such samples.
int sfFormatOf(int container, Encoding e) {
    int subtypes[2] = {0, 0};
    switch (e) {
    case Encoding::Pcm8: subtypes[0] = SF_FORMAT_PCM_S8, subtypes[1] = SF_FORMAT_PCM_U8; break;
    case Encoding::Pcm16: subtypes[0] = SF_FORMAT_PCM_16; break;
    case Encoding::Pcm24: subtypes[0] = SF_FORMAT_PCM_24; break;
    case Encoding::Pcm32: subtypes[0] = SF_FORMAT_PCM_32; break;
    case Encoding::Float32: subtypes[0] = SF_FORMAT_FLOAT; break;
    case Encoding::Float64: subtypes[0] = SF_FORMAT_DOUBLE; break;
    case Encoding::Other: return 0;
    }
    for (int subtype : subtypes) {
        SF_INFO probe{};
        probe.samplerate = 44100;
        probe.channels = 1;
        probe.format = container | subtype;
        if (subtype && sf_format_check(&probe)) return probe.format;
    }
    return 0;
}

class SndReader : public AudioReader {
public:
    SndReader(SNDFILE* f, const SF_INFO& sf) : file_(f) {
        info_.sampleRate = sf.samplerate;
        info_.channels = sf.channels;
        info_.frames = info_.claimedFrames = sf.frames;
        info_.encoding = encodingOf(sf.format);
    }
    ~SndReader() override { sf_close(file_); }
    const AudioInfo& info() const override { return info_; }
    std::int64_t read(float* interleaved, std::int64_t frames) override {
        return sf_readf_float(file_, interleaved, frames);
    }
    std::string error() const override {
        return sf_error(file_) == SF_ERR_NO_ERROR ? std::string() : sf_strerror(file_);
    }

private:
    SNDFILE* file_;
    AudioInfo info_;
};

class SndWriter : public AudioWriter {
public:
    SndWriter(SNDFILE* f, const AudioInfo& info, bool dither)
        : file_(f), channels_(info.channels), bits_(isFloat(info.encoding) ? 0 : bitsOf(info.encoding)),
          dither_(dither) {}
    ~SndWriter() override { close(); }
    bool write(const float* interleaved, std::int64_t frames) override {
        if (!file_) return false;
        sf_count_t written = 0;
        if (bits_ == 0) {
            written = sf_writef_float(file_, interleaved, frames);
        } else {
            // Whole numbers of bits_ bits at the top of an int, which
            // libsndfile shifts down to bits_ bits unchanged.
            const std::int64_t n = frames * channels_;
            ints_.resize(static_cast<std::size_t>(n));
            Dither* d = dither_ ? &noise_ : nullptr;
            for (std::int64_t i = 0; i < n; ++i)
                ints_[static_cast<std::size_t>(i)] = static_cast<int>(
                    static_cast<std::uint32_t>(toInteger(interleaved[i], bits_, d)) << (32 - bits_));
            written = sf_writef_int(file_, ints_.data(), frames);
        }
        if (written == frames) return true;
        error_ = sf_strerror(file_);
        return false;
    }
    bool close() override {
        if (!file_) return error_.empty();
        const int r = sf_close(file_);
        file_ = nullptr;
        if (r != 0 && error_.empty()) error_ = sf_error_number(r);
        return error_.empty();
    }
    std::string error() const override { return error_; }

private:
    SNDFILE* file_;
    int channels_;
    int bits_;  // 0 for float
    bool dither_;
    Dither noise_;
    std::vector<int> ints_;
    std::string error_;
};

}  // namespace

std::unique_ptr<AudioReader> openAudioForReading(const std::string& path, std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = std::strerror(errno);
        return nullptr;
    }
    WavStatus status = WavStatus::Read;
    std::unique_ptr<AudioReader> r = readWav(f, status, error);
    if (status == WavStatus::Read || status == WavStatus::Damaged) return r;
    SF_INFO sf{};
    SNDFILE* s = sf_open(path.c_str(), SFM_READ, &sf);
    if (!s) {
        if (status == WavStatus::NotWav) error = sf_strerror(nullptr);
        return nullptr;
    }
    return std::make_unique<SndReader>(s, sf);
}

bool outputFormatFor(const std::string& path, OutputFormat& format) {
    const std::string ext = extensionOf(path);
    for (const Extension& e : kExtensions) {
        if (ext != e.extension) continue;
        format.extension = e.extension;
        format.container = e.container;
        return true;
    }
    return false;
}

std::string acceptedOutputExtensions() {
    std::string list;
    for (const Extension& e : kExtensions) list += (list.empty() ? "" : ", ") + std::string(e.extension);
    return list;
}

Encoding outputEncoding(const OutputFormat& format, Encoding wanted) {
    if (wanted == Encoding::Other) wanted = Encoding::Float32;
    if (format.container == kOurWav) return wanted;
    for (Encoding e : {wanted, Encoding::Float32, Encoding::Pcm24})
        if (sfFormatOf(format.container, e)) return e;
    return Encoding::Pcm16;
}

std::unique_ptr<AudioWriter> openAudioForWriting(const std::string& path, const OutputFormat& format,
                                                 const AudioInfo& info, bool dither, std::string& error) {
    if (format.container == kOurWav) {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (!f) {
            error = std::strerror(errno);
            return nullptr;
        }
        return writeWav(f, info, dither, error);
    }
    // AIFF and AU count their data in 32 bits as WAV does.
    const std::int64_t bytes = info.frames * info.channels * (bitsOf(info.encoding) / 8);
    if ((format.container == SF_FORMAT_AIFF || format.container == SF_FORMAT_AU) && bytes > 0xFFFFFF00ll) {
        error = "more than an " + format.extension.substr(1) + " file can hold (4 GiB); .w64, .rf64 and .caf hold more";
        return nullptr;
    }
    SF_INFO sf{};
    sf.samplerate = info.sampleRate;
    sf.channels = info.channels;
    sf.format = sfFormatOf(format.container, info.encoding);
    SNDFILE* f = sf.format ? sf_open(path.c_str(), SFM_WRITE, &sf) : nullptr;
    if (!f) {
        error = sf.format ? sf_strerror(nullptr) : "no such encoding in this format";
        return nullptr;
    }
    // No PEAK chunk: it carries the time of writing, and two renders of the
    // same input would differ.
    sf_command(f, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    return std::make_unique<SndWriter>(f, info, dither);
}

}  // namespace kvbhost
