// The option table of Transcode: every option the converters build, with its value check. Options apply
// to the next file named, as with the ffmpeg tool: before "-i" to that input (only "-f" is allowed there),
// before the output path to the output.
#include "medialib/Options.h"

#include "medialib/Ffmpeg.h"

#include <charconv>
#include <cmath>
#include <cstring>

extern "C" {
#include <libavutil/parseutils.h>
}

namespace tq9media {

namespace {

bool ParseInt(const std::string& text, int64_t lo, int64_t hi, int64_t& out)
{
    int64_t v = 0;
    const char* end = text.data() + text.size();
    auto [p, ec] = std::from_chars(text.data(), end, v);
    if (ec != std::errc() || p != end || text.empty() || v < lo || v > hi)
        return false;
    out = v;
    return true;
}

template <typename T>
bool ParseIntTo(const std::string& text, int64_t lo, int64_t hi, T& out)
{
    int64_t v = 0;
    if (!ParseInt(text, lo, hi, v))
        return false;
    out = static_cast<T>(v);
    return true;
}

bool ParseSize(const std::string& text, int& w, int& h)
{
    auto x = text.find('x');
    if (x == std::string::npos)
        return false;
    return ParseIntTo(text.substr(0, x), 1, 16384, w) && ParseIntTo(text.substr(x + 1), 1, 16384, h);
}

using Setter = bool (*)(OutputSpec& out, const std::string& value);

struct OptionDef {
    const char* name;
    bool hasValue;
    bool inputToo; // may stand before "-i"
    Setter set; // output meaning; "-i" and an input's "-f" are handled by the parser
};

const OptionDef kOptions[] = {
    {"-i", true, true, nullptr},
    {"-f", true, true, [](OutputSpec& o, const std::string& v) { o.format = v; return !v.empty(); }},
    {"-acodec", true, false, [](OutputSpec& o, const std::string& v) { o.audioCodec = v; return !v.empty(); }},
    {"-vcodec", true, false, [](OutputSpec& o, const std::string& v) { o.videoCodec = v; return !v.empty(); }},
    {"-ab", true, false, [](OutputSpec& o, const std::string& v) { return (o.audioBitRate = ParseBitRate(v)) > 0; }},
    {"-b", true, false, [](OutputSpec& o, const std::string& v) { return (o.videoBitRate = ParseBitRate(v)) > 0; }},
    {"-bt", true, false, [](OutputSpec& o, const std::string& v) { return (o.bitRateTolerance = ParseBitRate(v)) > 0; }},
    {"-ac", true, false, [](OutputSpec& o, const std::string& v) { return ParseIntTo(v, 1, 8, o.channels); }},
    {"-ar", true, false, [](OutputSpec& o, const std::string& v) { return ParseIntTo(v, 1000, 384000, o.sampleRate); }},
    {"-flags", true, false, [](OutputSpec& o, const std::string& v) { o.codecFlags = v; return !v.empty(); }},
    {"-top", true, false, [](OutputSpec& o, const std::string& v) { return ParseIntTo(v, -1, 1, o.topFieldFirst); }},
    {"-vsync", true, false,
        [](OutputSpec& o, const std::string& v) {
            if (v == "1" || v == "cfr")
                o.constantFrameRate = true;
            else if (v == "0" || v == "passthrough")
                o.constantFrameRate = false;
            else
                return false;
            return true;
        }},
    {"-s", true, false, [](OutputSpec& o, const std::string& v) { return ParseSize(v, o.width, o.height); }},
    {"-r", true, false, [](OutputSpec& o, const std::string& v) { return (o.frameRate = ParseFrameRate(v)).num > 0; }},
    {"-vf", true, false, [](OutputSpec& o, const std::string& v) { o.videoFilter = v; return !v.empty(); }},
    {"-pass", true, false, [](OutputSpec& o, const std::string& v) { return ParseIntTo(v, 1, 2, o.pass); }},
    {"-passlogfile", true, false, [](OutputSpec& o, const std::string& v) { o.passLogFile = v; return !v.empty(); }},
    {"-ss", true, false, [](OutputSpec& o, const std::string& v) { return (o.startUs = ParseTime(v)) >= 0; }},
    {"-vframes", true, false, [](OutputSpec& o, const std::string& v) { return ParseIntTo(v, 0, INT32_MAX, o.maxVideoFrames); }},
    {"-an", false, false, [](OutputSpec& o, const std::string&) { return o.noAudio = true; }},
    {"-vn", false, false, [](OutputSpec& o, const std::string&) { return o.noVideo = true; }},
};

const OptionDef* FindOption(const char* arg)
{
    for (const auto& def : kOptions)
        if (std::strcmp(def.name, arg) == 0)
            return &def;
    return nullptr;
}

[[noreturn]] void Invalid(const std::string& why)
{
    throw MediaError(AVERROR(EINVAL), why);
}

bool IsSilentPlaceholder(const std::string& path)
{
    return path == "NUL" || path == "/dev/null";
}

} // namespace

int64_t ParseBitRate(const std::string& text)
{
    if (text.empty())
        return -1;
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || !std::isfinite(v) || v <= 0)
        return -1;
    std::string suffix(end);
    if (suffix == "k" || suffix == "K")
        v *= 1e3;
    else if (suffix == "M")
        v *= 1e6;
    else if (suffix == "G")
        v *= 1e9;
    else if (!suffix.empty())
        return -1;
    if (v > 1e10)
        return -1;
    return static_cast<int64_t>(v + 0.5);
}

AVRational ParseFrameRate(const std::string& text)
{
    // The converters write the rate with "%.02f": 29.97 stands for NTSC's 30000/1001.
    if (text == "29.97")
        return {30000, 1001};
    if (text == "59.94")
        return {60000, 1001};
    if (text == "23.976" || text == "23.98")
        return {24000, 1001};
    AVRational r{0, 0};
    if (av_parse_video_rate(&r, text.c_str()) < 0 || r.num <= 0 || r.den <= 0 || av_q2d(r) > 1000)
        return {0, 0};
    return r;
}

int64_t ParseTime(const std::string& text)
{
    int64_t us = 0;
    if (text.empty() || av_parse_time(&us, text.c_str(), 1) < 0 || us < 0)
        return -1;
    return us;
}

Plan ParseArguments(int argc, const char* const* argv)
{
    if (argc < 1 || !argv)
        Invalid("no argument vector");
    Plan plan;
    struct Pending {
        const OptionDef* def;
        std::string value;
    };
    std::vector<Pending> pending;
    bool haveOutput = false;
    for (int i = 1; i < argc; ++i) {
        if (!argv[i])
            Invalid("null argument");
        const char* arg = argv[i];
        if (arg[0] == '-' && arg[1] != '\0') {
            const OptionDef* def = FindOption(arg);
            if (!def)
                Invalid(std::string("unknown option ") + arg);
            std::string value;
            if (def->hasValue) {
                if (i + 1 >= argc || !argv[i + 1])
                    Invalid(std::string("missing value for ") + arg);
                value = argv[++i];
            }
            if (haveOutput)
                Invalid(std::string("option after the output file: ") + arg);
            if (std::strcmp(def->name, "-i") != 0) {
                pending.push_back({def, value});
                continue;
            }
            InputSpec in;
            in.path = value;
            for (const auto& p : pending) {
                if (!p.def->inputToo)
                    Invalid(std::string("option not supported for an input: ") + p.def->name);
                in.format = p.value; // only "-f"
            }
            pending.clear();
            if (in.path.empty())
                Invalid("empty input path");
            if (!plan.inputs.empty() && IsSilentPlaceholder(in.path))
                in.silent = true;
            plan.inputs.push_back(in);
            continue;
        }
        // A plain word: the output file.
        if (haveOutput)
            Invalid(std::string("more than one output: ") + arg);
        if (plan.inputs.empty())
            Invalid("output before any input");
        if (arg[0] == '\0')
            Invalid("empty output path");
        plan.output.path = arg;
        haveOutput = true;
        for (const auto& p : pending)
            if (!p.def->set(plan.output, p.value))
                Invalid(std::string("bad value for ") + p.def->name + ": " + p.value);
        pending.clear();
    }
    if (plan.inputs.empty())
        Invalid("no input");
    if (!pending.empty())
        Invalid(std::string("option without a file: ") + pending.front().def->name);
    if (plan.inputs.size() > 1 && !haveOutput)
        Invalid("a probe takes one input");
    for (size_t i = 1; i < plan.inputs.size(); ++i)
        if (!plan.inputs[i].silent)
            Invalid("a second input must be the silent placeholder \"-f alaw -i NUL\"");
    if (plan.inputs.size() > 2)
        Invalid("too many inputs");
    if (plan.output.pass && plan.output.passLogFile.empty())
        Invalid("-pass without -passlogfile");
    return plan;
}

} // namespace tq9media
