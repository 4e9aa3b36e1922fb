#pragma once

// The adapter's rewriting of a command line, free of any system call so that
// tests can feed it directly. Pocketclips writes its command lines for the
// FFmpeg of its day; these rules make today's FFmpeg accept them, and make
// their 3GP files play on the phones they are meant for.

#include <cstdint>
#include <string>
#include <vector>

using ArgList = std::vector<std::string>;

// One stream of the source, as ffprobe lists it.
struct SourceStream
{
    int index = -1;
    std::string type; // "video", "audio", "subtitle"...
    int width = 0;
    int height = 0;
    int channels = 0;
    bool isDefault = false;
    bool attachedPicture = false; // a cover picture, not a video
};

struct AdapterOptions
{
    // The installed FFmpeg has the libxvid encoder; without it the built-in
    // mpeg4 encoder takes its place.
    bool haveLibxvid = true;
    // Where two-pass statistics go (FFmpeg appends "-0.log" and the like);
    // empty leaves the command's own choice alone.
    std::string passLogPrefix;
    // The source's streams, when they could be listed.
    bool streamsKnown = false;
    std::vector<SourceStream> streams;
};

// The rewritten arguments (without the program name):
//  - "-nostdin" first (the encoder never waits for a key press),
//  - libfaac becomes the built-in aac,
//  - libxvid gets the mp4v video tag a 3GP file needs, or becomes mpeg4,
//  - with "-pass" and no "-passlogfile", "-passlogfile <prefix>" follows it,
//  - for a 3GP output, what a phone needs goes before the output file (see
//    PhoneOptions).
// Everything else passes through unchanged and in order.
ArgList MapArguments(const ArgList &in, const AdapterOptions &options);

// What a 3GP file needs to play on a phone, for the (already mapped) command
// line: the streams to take, 8-bit 4:2:0 video fitted upright into the frame,
// the codec's profile and level, AAC-LC in at most two channels, the index
// first. Options the command gives itself are not repeated. Empty when the
// output is not 3GP.
ArgList PhoneOptions(const ArgList &mapped, const AdapterOptions &options);

// A first pass gathers video statistics only ("-an"): for a source known to
// have no video it has nothing to do (and FFmpeg would refuse an output
// without streams), so the adapter ends it at once, successfully.
bool PassHasNothingToDo(const ArgList &args, const AdapterOptions &options);

// The streams a stream list of `ffprobe -of compact` names (index,
// codec_type, width, height, channels, disposition:default and
// disposition:attached_pic, "key=value" joined by "|", one stream a line).
std::vector<SourceStream> ParseStreamList(const std::string &compactText);

// The first input file ("-i" value); empty when there is none.
std::string InputArgument(const ArgList &args);

// The value of the last "-pass" option, 0 when there is none or it is not a number.
int PassNumber(const ArgList &args);

// A thumbnail run: one picture ("-vframes 1") written as an image ("-f image2").
bool IsThumbnailRun(const ArgList &args);

// True when some video codec option asks for libxvid.
bool WantsLibxvid(const ArgList &args);

// The output file: the last argument when it is not an option or an option's
// value; empty otherwise.
std::string OutputArgument(const ArgList &args);

// An absolute, lexically cleaned form of path ("." and ".." and doubled
// separators removed), relative paths taken from cwd.
std::string AbsolutePath(const std::string &path, const std::string &cwd);

// 16 hexadecimal digits of a 64-bit FNV-1a hash of text: the name of a
// two-pass log set, stable for one output path, and of the adapter's other
// files in the run's folder.
std::string PassLogKey(const std::string &text);

// Whether the text `ffmpeg -encoders` printed lists the libxvid encoder.
bool EncoderListHasLibxvid(const std::string &encodersText);

// Splits and joins a colon-separated list (PATH and the adapter's chain).
std::vector<std::string> SplitList(const std::string &text, char separator);
