#pragma once

// The adapter's rewriting of a command line, free of any system call so that
// tests can feed it directly. Pocketclips writes its command lines for the
// FFmpeg of its day; these rules make today's FFmpeg accept them.

#include <cstdint>
#include <string>
#include <vector>

using ArgList = std::vector<std::string>;

struct AdapterOptions
{
    // The installed FFmpeg has the libxvid encoder; without it the built-in
    // mpeg4 encoder takes its place.
    bool haveLibxvid = true;
    // Where two-pass statistics go (FFmpeg appends "-0.log" and the like);
    // empty leaves the command's own choice alone.
    std::string passLogPrefix;
};

// The rewritten arguments (without the program name):
//  - "-nostdin" first (the encoder never waits for a key press),
//  - libfaac becomes the built-in aac,
//  - libxvid gets the mp4v video tag a 3GP file needs, or becomes mpeg4,
//  - with "-pass" and no "-passlogfile", "-passlogfile <prefix>" follows it.
// Everything else passes through unchanged and in order.
ArgList MapArguments(const ArgList &in, const AdapterOptions &options);

// The value of the last "-pass" option, 0 when there is none or it is not a number.
int PassNumber(const ArgList &args);

// True when some video codec option asks for libxvid.
bool WantsLibxvid(const ArgList &args);

// The output file: the last argument when it is not an option or an option's
// value; empty otherwise.
std::string OutputArgument(const ArgList &args);

// An absolute, lexically cleaned form of path ("." and ".." and doubled
// separators removed), relative paths taken from cwd.
std::string AbsolutePath(const std::string &path, const std::string &cwd);

// The name of a two-pass log set in the cache folder, stable for one output
// path: 16 hexadecimal digits of a 64-bit FNV-1a hash.
std::string PassLogKey(const std::string &absoluteOutput);

// Whether the text `ffmpeg -encoders` printed lists the libxvid encoder.
bool EncoderListHasLibxvid(const std::string &encodersText);

// Splits and joins a colon-separated list (PATH and the adapter's chain).
std::vector<std::string> SplitList(const std::string &text, char separator);
