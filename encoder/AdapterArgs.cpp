#include "AdapterArgs.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace {

// Options of the command lines the program writes (and FFmpeg's usual ones)
// that take a value, so that a value is never mistaken for an option.
const char *const ValueOptions[] = {
    "-i",        "-f",      "-s",       "-r",           "-b",       "-ab",      "-ar",
    "-ac",       "-aspect", "-pass",    "-passlogfile", "-ss",      "-t",       "-to",
    "-vframes",  "-frames", "-vtag",    "-atag",        "-flags",   "-vcodec",  "-acodec",
    "-c",        "-codec",  "-vf",      "-af",          "-filter",  "-map",     "-metadata",
    "-preset",   "-crf",    "-qscale",  "-q",           "-g",       "-bf",      "-pix_fmt",
    "-loglevel", "-v",      "-threads", "-maxrate",     "-minrate", "-bufsize", "-tag",
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
    return out;
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
    std::string last;
    bool lastIsFile = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (takesValue(args[i])) {
            ++i;
            lastIsFile = false;
            continue;
        }
        lastIsFile = !(args[i].size() > 1 && args[i][0] == '-');
        last = args[i];
    }
    return lastIsFile ? last : std::string();
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

std::string PassLogKey(const std::string &absoluteOutput)
{
    std::uint64_t h = 14695981039346656037ull;
    for (unsigned char c : absoluteOutput) {
        h ^= c;
        h *= 1099511628211ull;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
    return text;
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
