// Audio files where there is no libsndfile (the Windows build of kvb, and
// kvb_render_core on any architecture): WAV only, through our own reader and
// writer (WavFile.cpp), the same code as the Linux build's WAV files.
#include <cerrno>
#include <cstring>

#include "host/AudioFile.h"
#include "host/WavFile.h"

namespace kvbhost {

std::unique_ptr<AudioReader> openAudioForReading(const std::string& path, std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = std::strerror(errno);
        return nullptr;
    }
    WavStatus status = WavStatus::Read;
    std::unique_ptr<AudioReader> r = readWav(f, status, error);
    if (status == WavStatus::NotWav) error = "not a WAV file (this build reads WAV only)";
    return r;
}

bool outputFormatFor(const std::string& path, OutputFormat& format) {
    if (extensionOf(path) != ".wav") return false;
    format.extension = ".wav";
    format.container = 0;
    return true;
}

std::string acceptedOutputExtensions() { return ".wav"; }

Encoding outputEncoding(const OutputFormat&, Encoding wanted) {
    return wanted == Encoding::Other ? Encoding::Float32 : wanted;
}

std::unique_ptr<AudioWriter> openAudioForWriting(const std::string& path, const OutputFormat&,
                                                 const AudioInfo& info, bool dither, std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        error = std::strerror(errno);
        return nullptr;
    }
    return writeWav(f, info, dither, error);
}

}  // namespace kvbhost
