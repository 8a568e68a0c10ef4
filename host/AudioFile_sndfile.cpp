// Audio files through libsndfile.
#include <sndfile.h>

#include "host/AudioFile.h"

namespace kvbhost {

namespace {

class SndReader : public AudioReader {
public:
    SndReader(SNDFILE* f, const SF_INFO& sf) : file_(f) {
        info_.sampleRate = sf.samplerate;
        info_.channels = sf.channels;
        info_.frames = sf.frames;
        info_.format = sf.format;
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
    explicit SndWriter(SNDFILE* f) : file_(f) { sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE); }
    ~SndWriter() override { close(); }
    bool write(const float* interleaved, std::int64_t frames) override {
        if (sf_writef_float(file_, interleaved, frames) == frames) return true;
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
    std::string error_;
};

}  // namespace

std::unique_ptr<AudioReader> openAudioForReading(const std::string& path, std::string& error) {
    SF_INFO sf{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &sf);
    if (!f) {
        error = sf_strerror(nullptr);
        return nullptr;
    }
    return std::make_unique<SndReader>(f, sf);
}

std::unique_ptr<AudioWriter> openAudioForWriting(const std::string& path, const AudioInfo& like,
                                                 SampleFormat format, std::string& error) {
    SF_INFO sf{};
    sf.samplerate = like.sampleRate;
    sf.channels = like.channels;
    switch (format) {
    case SampleFormat::SameAsInput: sf.format = like.format; break;
    case SampleFormat::Float32: sf.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT; break;
    case SampleFormat::Pcm24: sf.format = SF_FORMAT_WAV | SF_FORMAT_PCM_24; break;
    }
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &sf);
    if (!f) {
        error = sf_strerror(nullptr);
        return nullptr;
    }
    return std::make_unique<SndWriter>(f);
}

}  // namespace kvbhost
