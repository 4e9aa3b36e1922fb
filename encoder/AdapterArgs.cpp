#include "AdapterArgs.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace {

// Options of the command lines the program writes (and FFmpeg's usual ones)
// that take a value, so that a value is never mistaken for an option.
const char *const ValueOptions[] = {
    "-i",        "-f",      "-s",        "-r",           "-b",       "-ab",         "-ar",
    "-ac",       "-aspect", "-pass",     "-passlogfile", "-ss",      "-t",          "-to",
    "-vframes",  "-frames", "-vtag",     "-atag",        "-flags",   "-vcodec",     "-acodec",
    "-c",        "-codec",  "-vf",       "-af",          "-filter",  "-map",        "-metadata",
    "-preset",   "-crf",    "-qscale",   "-q",           "-g",       "-bf",         "-pix_fmt",
    "-loglevel", "-v",      "-threads",  "-maxrate",     "-minrate", "-bufsize",    "-tag",
    "-profile",  "-level",  "-movflags", "-mbd",         "-trellis", "-me_quality",
};

// The part of an option before a stream specifier: "-c:v" -> "-c", "-b:a" -> "-b".
std::string baseName(const std::string &option)
{
    const auto colon = option.find(':');
    return colon == std::string::npos ? option : option.substr(0, colon);
}

std::string specifier(const std::string &option)
{
    const auto colon = option.find(':');
    return colon == std::string::npos ? std::string() : option.substr(colon + 1);
}

bool takesValue(const std::string &arg)
{
    if (arg.size() < 2 || arg[0] != '-')
        return false;
    const std::string base = baseName(arg);
    for (const char *o : ValueOptions)
        if (base == o)
            return true;
    return false;
}

enum class CodecKind { None, Video, Audio };

// Which stream a codec option names: -vcodec, -c:v, -codec:v; -acodec, -c:a, -codec:a.
CodecKind codecKind(const std::string &arg)
{
    if (arg == "-vcodec")
        return CodecKind::Video;
    if (arg == "-acodec")
        return CodecKind::Audio;
    const std::string base = baseName(arg);
    if (base != "-c" && base != "-codec")
        return CodecKind::None;
    const std::string stream = specifier(arg);
    if (stream == "v" || stream.rfind("v:", 0) == 0)
        return CodecKind::Video;
    if (stream == "a" || stream.rfind("a:", 0) == 0)
        return CodecKind::Audio;
    return CodecKind::None;
}

bool hasOption(const ArgList &args, const std::string &name)
{
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == name || baseName(args[i]) == name)
            return true;
        if (takesValue(args[i]))
            ++i;
    }
    return false;
}

bool isVideoTag(const std::string &arg)
{
    return arg == "-vtag" || arg == "-tag:v";
}

// The value of the last of the given options; empty when none is there.
std::string lastValue(const ArgList &args, std::initializer_list<const char *> names)
{
    std::string value;
    for (size_t i = 0; i + 1 < args.size(); ++i) {
        for (const char *name : names)
            if (args[i] == name)
                value = args[i + 1];
        if (takesValue(args[i]))
            ++i;
    }
    return value;
}

// "15", "29.97" or "30000/1001"; 0 when it is none of these.
double rateValue(const std::string &text)
{
    char *end = nullptr;
    const double n = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || n <= 0)
        return 0;
    if (*end == '\0')
        return n;
    if (*end != '/' && *end != ':')
        return 0;
    const char *rest = end + 1;
    const double d = std::strtod(rest, &end);
    return (end != rest && *end == '\0' && d > 0) ? n / d : 0;
}

// "384k", "1M" or "384000" in kbit/s; 0 when unreadable.
double kbitValue(const std::string &text)
{
    char *end = nullptr;
    const double n = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || n <= 0)
        return 0;
    const std::string unit(end);
    if (unit.empty())
        return n / 1000;
    if (unit == "k" || unit == "K")
        return n;
    if (unit == "M")
        return n * 1000;
    return 0;
}

struct FrameSize
{
    int width = 0;
    int height = 0;
};

FrameSize sizeValue(const std::string &text)
{
    int w = 0, h = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%dx%d%c", &w, &h, &tail) == 2 && w > 0 && h > 0)
        return {w, h};
    return {};
}

int macroblocks(FrameSize size)
{
    return ((size.width + 15) / 16) * ((size.height + 15) / 16);
}

// One level of a profile: the most it allows.
struct Level
{
    const char *name;
    double macroblocksPerSecond;
    int frameMacroblocks;
    int kbitPerSecond;
    int bufferKbit;         // the coded picture buffer; 0 where the codec sets none here
    int pictureMacroblocks; // the decoded picture buffer; 0 where not set here
};

// H.264 Constrained Baseline (Annex A, table A-1; level 1b left out, as its
// signalling differs between profiles and phones).
const Level H264Levels[] = {
    {"1", 1485, 99, 64, 175, 396},
    {"1.1", 3000, 396, 192, 500, 900},
    {"1.2", 6000, 396, 384, 1000, 2376},
    {"1.3", 11880, 396, 768, 2000, 2376},
    {"2", 11880, 396, 2000, 2000, 2376},
    {"2.1", 19800, 792, 4000, 4000, 4752},
    {"2.2", 20250, 1620, 4000, 4000, 8100},
    {"3", 40500, 1620, 10000, 10000, 8100},
    {"3.1", 108000, 3600, 14000, 14000, 18000},
    {"3.2", 216000, 5120, 20000, 20000, 20480},
    {"4", 245760, 8192, 20000, 25000, 32768},
    {"4.1", 245760, 8192, 50000, 62500, 32768},
    {"4.2", 522240, 8704, 50000, 62500, 34816},
    {"5", 589824, 22080, 135000, 135000, 110400},
    {"5.1", 983040, 36864, 240000, 240000, 184320},
    {"5.2", 2073600, 36864, 240000, 240000, 184320},
};

// MPEG-4 Part 2 Simple Profile; "4" is level 4a. FFmpeg's own encoder writes
// level 1 whatever the picture unless told.
const Level Mpeg4SimpleLevels[] = {
    {"1", 1485, 99, 64, 0, 0},      {"2", 5940, 396, 128, 0, 0},
    {"3", 11880, 396, 384, 0, 0},   {"4", 36000, 1200, 4000, 0, 0},
    {"5", 40500, 1620, 8000, 0, 0}, {"6", 108000, 3600, 12000, 0, 0},
};

// The lowest level the picture size, frame rate and bit rate fit in; null
// when one of them is unknown or none fits.
const Level *fittingLevel(const Level *first, const Level *last, FrameSize size, double rate,
                          double kbit)
{
    if (size.width <= 0 || rate <= 0 || kbit <= 0)
        return nullptr;
    const int across = (size.width + 15) / 16, down = (size.height + 15) / 16;
    for (const Level *l = first; l != last; ++l) {
        // Neither side may exceed the square root of eight frames' worth.
        const bool shape =
            across * across <= 8 * l->frameMacroblocks && down * down <= 8 * l->frameMacroblocks;
        if (shape && macroblocks(size) <= l->frameMacroblocks &&
            macroblocks(size) * rate <= l->macroblocksPerSecond && kbit <= l->kbitPerSecond)
            return l;
    }
    return nullptr;
}

struct OptionValue
{
    const char *option;
    const char *value; // null: an option without value
};

// What a phone needs whatever the codec: no subtitle or data track, 8-bit
// 4:2:0 video, AAC-LC in mono or stereo (more channels are mixed down; "-ac 1"
// still makes mono), and the index before the media data so that playing can
// start while the file arrives.
const OptionValue PhoneCommon[] = {
    {"-sn", nullptr},          {"-dn", nullptr},
    {"-pix_fmt", "yuv420p"},   {"-af", "aformat=channel_layouts=mono|stereo"},
    {"-profile:a", "aac_low"}, {"-movflags", "+faststart"},
};

// One row per video codec: its options and the levels it is held to. The
// same options go to both passes of a two-pass run, so that pass 1's
// statistics fit pass 2.
struct CodecRules
{
    const char *codec;
    std::vector<OptionValue> options;
    const Level *levels = nullptr;
    const Level *levelsEnd = nullptr;
    // From the level: -maxrate and -bufsize, so that the stream keeps to it,
    // and no more reference frames than its picture buffer holds.
    bool buffersFromLevel = false;
};

// The most reference frames x264 is given; fewer where the level's picture
// buffer holds fewer.
constexpr const char *MostReferences = "5";

// The quality options are those that gave the best picture for the bits
// within 1.5 times the encode time of the options before them (bench/).
const CodecRules PhoneCodecs[] = {
    // Baseline rules out B-frames, CABAC, the 8x8 transform and weighted
    // prediction; x264 writes it as Constrained Baseline. More reference
    // frames and the wider motion search win back part of what they cost.
    {"libx264",
     {{"-profile:v", "baseline"}, {"-refs", MostReferences}, {"-motion-est", "umh"}},
     std::begin(H264Levels),
     std::end(H264Levels),
     true},
    // Simple Profile: no B-frames; quarter-pel and global motion stay off
    // (the command's "-flags" sets none of them). Rate-distortion macroblock
    // decisions and trellis quantisation give more picture for the bits.
    {"mpeg4",
     {{"-bf", "0"}, {"-mbd", "rd"}, {"-trellis", "1"}},
     std::begin(Mpeg4SimpleLevels),
     std::end(Mpeg4SimpleLevels),
     false},
    // Xvid picks its own Simple Profile level.
    {"libxvid", {{"-bf", "0"}, {"-mbd", "rd"}, {"-trellis", "1"}}},
};

// Scales into the frame: a portrait picture (after FFmpeg has turned it
// upright by its rotation flag) keeps its shape between black bars; any
// other is stretched to the frame as the command asks.
std::string fitFilter(FrameSize size, const std::string &aspect)
{
    std::string ratio = aspect;
    const auto colon = ratio.find(':');
    if (colon != std::string::npos)
        ratio[colon] = '/';
    if (ratio.empty() || rateValue(ratio) <= 0)
        ratio = std::to_string(size.width) + "/" + std::to_string(size.height);
    const std::string w = std::to_string(size.width), h = std::to_string(size.height);
    return "scale=w='if(lt(dar,1),max(2,trunc(" + w + "*dar/(" + ratio + ")/2)*2)," + w +
           ")':h=" + h + ",pad=" + w + ":" + h + ":(ow-iw)/2:(oh-ih)/2";
}

// FFmpeg's own choice of one video and one audio stream, with a cover
// picture not counted as video: the largest picture, the most channels, a
// default stream first.
ArgList streamMaps(const std::vector<SourceStream> &streams)
{
    const SourceStream *video = nullptr, *audio = nullptr;
    long long videoScore = 0, audioScore = 0;
    constexpr long long DefaultBonus = 5000000;
    for (const SourceStream &s : streams) {
        const long long bonus = s.isDefault ? DefaultBonus : 0;
        if (s.type == "video" && !s.attachedPicture) {
            const long long score = static_cast<long long>(s.width) * s.height + bonus;
            if (!video || score > videoScore)
                video = &s, videoScore = score;
        } else if (s.type == "audio") {
            const long long score = s.channels + bonus;
            if (!audio || score > audioScore)
                audio = &s, audioScore = score;
        }
    }
    // Nothing to play: the output would hold no stream, which FFmpeg refuses.
    if (!video && !audio)
        return {"-vn", "-an"};
    ArgList maps;
    for (const SourceStream *s : {video, audio})
        if (s)
            maps.insert(maps.end(), {"-map", "0:" + std::to_string(s->index)});
    return maps;
}

// Where the output file stands: the last argument when it is not an option
// or an option's value (an empty path included); args.size() otherwise.
size_t outputIndex(const ArgList &args)
{
    bool lastIsFile = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (takesValue(args[i])) {
            ++i;
            lastIsFile = false;
            continue;
        }
        lastIsFile = !(args[i].size() > 1 && args[i][0] == '-');
    }
    return lastIsFile ? args.size() - 1 : args.size();
}

} // namespace

ArgList MapArguments(const ArgList &in, const AdapterOptions &options)
{
    ArgList out;
    out.reserve(in.size() + 5);
    if (!hasOption(in, "-nostdin"))
        out.push_back("-nostdin");
    bool haveTag = false;
    for (size_t i = 0; i < in.size(); ++i)
        if (isVideoTag(in[i]))
            haveTag = true;
    const bool addLog =
        !options.passLogPrefix.empty() && hasOption(in, "-pass") && !hasOption(in, "-passlogfile");

    for (size_t i = 0; i < in.size(); ++i) {
        const std::string &arg = in[i];
        if (!takesValue(arg) || i + 1 >= in.size()) {
            out.push_back(arg);
            continue;
        }
        std::string value = in[++i];
        const CodecKind kind = codecKind(arg);
        if (kind == CodecKind::Audio && value == "libfaac") {
            value = "aac";
        } else if (kind == CodecKind::Video && value == "libxvid") {
            if (!options.haveLibxvid) {
                value = "mpeg4";
            } else if (!haveTag) {
                out.push_back(arg);
                out.push_back(value);
                out.push_back("-vtag");
                out.push_back("mp4v");
                haveTag = true;
                continue;
            }
        }
        out.push_back(arg);
        out.push_back(value);
        if (addLog && arg == "-pass") {
            out.push_back("-passlogfile");
            out.push_back(options.passLogPrefix);
        }
    }
    const ArgList phone = PhoneOptions(out, options);
    out.insert(out.begin() + std::ptrdiff_t(outputIndex(out)), phone.begin(), phone.end());
    return out;
}

ArgList PhoneOptions(const ArgList &mapped, const AdapterOptions &options)
{
    if (lastValue(mapped, {"-f"}) != "3gp")
        return {};
    ArgList out;
    auto add = [&](const char *option, const char *value) {
        if (hasOption(mapped, option) || hasOption(out, option))
            return;
        out.push_back(option);
        if (value)
            out.push_back(value);
    };
    if (options.streamsKnown && !hasOption(mapped, "-map")) {
        const ArgList maps = streamMaps(options.streams);
        out.insert(out.end(), maps.begin(), maps.end());
    }
    const FrameSize size = sizeValue(lastValue(mapped, {"-s", "-s:v"}));
    if (size.width > 0 && !hasOption(mapped, "-filter"))
        add("-vf", fitFilter(size, lastValue(mapped, {"-aspect"})).c_str());
    for (const OptionValue &o : PhoneCommon)
        add(o.option, o.value);

    const std::string codec = lastValue(mapped, {"-vcodec", "-c:v", "-codec:v"});
    for (const CodecRules &rules : PhoneCodecs) {
        if (codec != rules.codec)
            continue;
        const Level *level =
            fittingLevel(rules.levels, rules.levelsEnd, size, rateValue(lastValue(mapped, {"-r"})),
                         kbitValue(lastValue(mapped, {"-b", "-b:v"})));
        if (level) {
            add("-level:v", level->name);
            if (rules.buffersFromLevel) {
                add("-maxrate", (std::to_string(level->kbitPerSecond) + "k").c_str());
                add("-bufsize", (std::to_string(level->bufferKbit) + "k").c_str());
                const int frames = level->pictureMacroblocks / macroblocks(size);
                add("-refs",
                    std::to_string(std::max(1, std::min(std::atoi(MostReferences), frames)))
                        .c_str());
            }
        }
        // Those the level has set already are skipped.
        for (const OptionValue &o : rules.options)
            add(o.option, o.value);
    }
    return out;
}

bool PassHasNothingToDo(const ArgList &args, const AdapterOptions &options)
{
    if (!options.streamsKnown || PassNumber(args) != 1 || !hasOption(args, "-an"))
        return false;
    for (const SourceStream &s : options.streams)
        if (s.type == "video" && !s.attachedPicture)
            return false;
    return true;
}

std::vector<SourceStream> ParseStreamList(const std::string &compactText)
{
    std::vector<SourceStream> streams;
    std::istringstream lines(compactText);
    std::string line;
    while (std::getline(lines, line)) {
        SourceStream s;
        for (const std::string &field : SplitList(line, '|')) {
            const auto eq = field.find('=');
            if (eq == std::string::npos)
                continue;
            const std::string key = field.substr(0, eq), value = field.substr(eq + 1);
            const int n = std::atoi(value.c_str());
            if (key == "index")
                s.index = value.empty() ? -1 : n;
            else if (key == "codec_type")
                s.type = value;
            else if (key == "width")
                s.width = n;
            else if (key == "height")
                s.height = n;
            else if (key == "channels")
                s.channels = n;
            else if (key == "disposition:default")
                s.isDefault = n != 0;
            else if (key == "disposition:attached_pic")
                s.attachedPicture = n != 0;
        }
        if (s.index >= 0 && !s.type.empty())
            streams.push_back(s);
    }
    return streams;
}

std::string InputArgument(const ArgList &args)
{
    for (size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == "-i")
            return args[i + 1];
        if (takesValue(args[i]))
            ++i;
    }
    return std::string();
}

int PassNumber(const ArgList &args)
{
    int pass = 0;
    for (size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == "-pass" || baseName(args[i]) == "-pass") {
            const std::string &v = args[i + 1];
            char *end = nullptr;
            const long n = std::strtol(v.c_str(), &end, 10);
            pass = (!v.empty() && end && *end == '\0' && n > 0 && n < 100) ? int(n) : 0;
        }
        if (takesValue(args[i]))
            ++i;
    }
    return pass;
}

bool IsThumbnailRun(const ArgList &args)
{
    return lastValue(args, {"-f"}) == "image2" && lastValue(args, {"-vframes", "-frames:v"}) == "1";
}

bool WantsLibxvid(const ArgList &args)
{
    for (size_t i = 0; i + 1 < args.size(); ++i) {
        if (codecKind(args[i]) == CodecKind::Video && args[i + 1] == "libxvid")
            return true;
        if (takesValue(args[i]))
            ++i;
    }
    return false;
}

std::string OutputArgument(const ArgList &args)
{
    const size_t at = outputIndex(args);
    return at < args.size() ? args[at] : std::string();
}

std::string AbsolutePath(const std::string &path, const std::string &cwd)
{
    const std::string full = (!path.empty() && path[0] == '/') ? path : cwd + "/" + path;
    std::vector<std::string> parts;
    for (const std::string &p : SplitList(full, '/')) {
        if (p.empty() || p == ".")
            continue;
        if (p == "..") {
            if (!parts.empty())
                parts.pop_back();
            continue;
        }
        parts.push_back(p);
    }
    std::string out;
    for (const std::string &p : parts)
        out += "/" + p;
    return out.empty() ? std::string("/") : out;
}

std::string PassLogKey(const std::string &text)
{
    std::uint64_t h = 14695981039346656037ull;
    for (unsigned char c : text) {
        h ^= c;
        h *= 1099511628211ull;
    }
    char digits[17];
    std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(h));
    return digits;
}

bool EncoderListHasLibxvid(const std::string &encodersText)
{
    // A line of the list: " V....D libxvid   libxvidcore MPEG-4 part 2 (codec mpeg4)".
    std::istringstream lines(encodersText);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string flags, name;
        if (words >> flags >> name && name == "libxvid" && !flags.empty() && flags[0] == 'V')
            return true;
    }
    return false;
}

std::vector<std::string> SplitList(const std::string &text, char separator)
{
    std::vector<std::string> out;
    std::string::size_type start = 0;
    for (;;) {
        const auto end = text.find(separator, start);
        out.push_back(
            text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return out;
}
