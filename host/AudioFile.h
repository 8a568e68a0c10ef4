// Reading and writing audio files for kvb render and demo. On Linux this is
// libsndfile (WAV, FLAC, AIFF, ...); the Windows build, which has no
// libsndfile, reads and writes WAV itself (PCM 16/24/32-bit and 32-bit float).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace kvbhost {

struct AudioInfo {
    int sampleRate = 0;
    int channels = 0;
    std::int64_t frames = 0;
    // The container and sample encoding, opaque to callers: an output opened
    // with an input's format writes the same kind of file.
    int format = 0;
};

class AudioReader {
public:
    virtual ~AudioReader() = default;
    virtual const AudioInfo& info() const = 0;
    // Interleaved frames; answers how many were read (0 at the end).
    virtual std::int64_t read(float* interleaved, std::int64_t frames) = 0;
    // Answers a message when reading failed, empty otherwise.
    virtual std::string error() const = 0;
};

class AudioWriter {
public:
    virtual ~AudioWriter() = default;
    // Writes interleaved frames (clipped to full scale for integer formats).
    virtual bool write(const float* interleaved, std::int64_t frames) = 0;
    // Finishes the file; answers false when anything failed to reach it.
    virtual bool close() = 0;
    virtual std::string error() const = 0;
};

// Null with a message in `error` when the file cannot be read.
std::unique_ptr<AudioReader> openAudioForReading(const std::string& path, std::string& error);

enum class SampleFormat { SameAsInput, Float32, Pcm24 };

// Opens a new file of `channels` channels at `sampleRate`: the same kind of
// file as `like` (SameAsInput), or a WAV of the given sample format.
std::unique_ptr<AudioWriter> openAudioForWriting(const std::string& path, const AudioInfo& like,
                                                 SampleFormat format, std::string& error);

}  // namespace kvbhost
