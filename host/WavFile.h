// Our own WAV reader and writer: RIFF WAVE files of 8-, 16-, 24- or 32-bit
// integer or 32- or 64-bit float samples (plainly or as
// WAVE_FORMAT_EXTENSIBLE), on every platform.
//
// The reader trusts nothing in the file: every chunk's size is taken in 64
// bits and checked against the file's real size before anything is read or
// skipped, so no size can send it backwards, round in circles or past the
// end. A chunk before the audio data that runs past the end, or a damaged
// format chunk, is an error; a data chunk that claims more than the file
// holds gives the frames that are there, and info().frames says how many
// (claimedFrames what the header said).
//
// The writer computes its header in 64 bits and refuses, before writing
// anything, what a WAV header cannot hold: more than 65535 channels, a frame
// or a byte rate too large for its field, more than 4 GiB of data. It writes
// no chunk beyond the format, the frame count of a float file and the data:
// the same samples always make the same file.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "host/AudioFile.h"

namespace kvbhost {

enum class WavStatus {
    Read,             // a reader is answered
    NotWav,           // the file does not start as a RIFF WAVE file
    ForeignEncoding,  // a WAV file in an encoding this reader does not take
    Damaged,          // a WAV file that cannot be read (the message says why)
};

// Reads the WAV file `f` from its start. Takes `f` over (closing it when it
// answers no reader). The message is set for every status but Read.
std::unique_ptr<AudioReader> readWav(std::FILE* f, WavStatus& status, std::string& error);

// Writes a WAV file of info.channels channels at info.sampleRate in
// info.encoding (not Other) to `f`, which it takes over. info.frames, when
// not 0, is the number of frames to come, checked against the 4 GiB limit at
// once. Null with a message when the header cannot hold the file.
std::unique_ptr<AudioWriter> writeWav(std::FILE* f, const AudioInfo& info, bool dither, std::string& error);

// The extension of a file name, in lower case, with its dot: ".wav"; "" when
// the name has none.
std::string extensionOf(const std::string& path);

}  // namespace kvbhost
