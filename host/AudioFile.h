// Reading and writing audio files for kvb render and demo. WAV goes through
// our own reader and writer (WavFile.cpp) on every platform, so that a render
// is the same file, byte for byte, on Linux and on Windows, and a damaged
// file is treated alike on both. On Linux libsndfile reads every other format
// it knows and writes the other lossless ones (AudioFile_sndfile.cpp); the
// Windows build reads and writes WAV only (AudioFile_win.cpp).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace kvbhost {

// How the samples of a file are stored. Other: anything that is not plain
// integer or float samples (lossy or companded encodings such as Ogg Vorbis,
// MP3, A-law), read as floats.
enum class Encoding { Pcm8, Pcm16, Pcm24, Pcm32, Float32, Float64, Other };

// Bits per sample of an encoding; 0 for Other.
int bitsOf(Encoding e);
bool isFloat(Encoding e);
// "16-bit", "32-bit float", ... for messages.
const char* encodingName(Encoding e);

struct AudioInfo {
    int sampleRate = 0;
    int channels = 0;
    // Frames the reader will deliver, as far as it knows; claimedFrames is
    // what the file's header gives. A reader that finds the file shorter
    // than its header (our WAV reader) delivers what is there and says so
    // here; one that does not know (libsndfile) answers the header's count
    // for both, and the caller finds out by reading.
    std::int64_t frames = 0;
    std::int64_t claimedFrames = 0;
    Encoding encoding = Encoding::Other;
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
    // Writes interleaved frames (integer encodings: see SampleConversion.h).
    virtual bool write(const float* interleaved, std::int64_t frames) = 0;
    // Finishes the file; answers false when anything failed to reach it.
    virtual bool close() = 0;
    virtual std::string error() const = 0;
};

// Null with a message in `error` when the file cannot be read.
std::unique_ptr<AudioReader> openAudioForReading(const std::string& path, std::string& error);

// The file format an output's name asks for, by its extension (any case):
// only formats that keep every sample as given.
struct OutputFormat {
    std::string extension;  // ".wav"
    int container = 0;      // opaque to callers
};
// False when the name's extension names no format this build writes.
bool outputFormatFor(const std::string& path, OutputFormat& format);
// The extensions outputFormatFor accepts, for messages: ".wav, .flac, ...".
std::string acceptedOutputExtensions();
// The encoding an output of `format` is written in when `wanted` is asked
// for: `wanted` itself where the format holds it, else the nearest it does
// (32-bit float, or 24-bit where there is no float). Other asks for float.
Encoding outputEncoding(const OutputFormat& format, Encoding wanted);

// Opens a new file at `path` in `format`, of info.channels channels at
// info.sampleRate in info.encoding (one that outputEncoding answers).
// info.frames, when not 0, is how many frames will come: a format that
// cannot hold them refuses at once. `dither` adds triangular dither from a
// fixed seed before rounding to an integer encoding.
std::unique_ptr<AudioWriter> openAudioForWriting(const std::string& path, const OutputFormat& format,
                                                 const AudioInfo& info, bool dither, std::string& error);

}  // namespace kvbhost
