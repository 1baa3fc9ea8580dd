// A stand-in for the media library's Transcode, so converter and job tests run without FFmpeg: it records
// every argument vector, reads it as the library does (ArgView), and answers with a script or, without
// one, a plain success.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "media/FFMpegConverter.h"

namespace tq9test {

// An argument vector read the way the library reads it: options apply to the next file named, so those
// before an "-i" belong to that input and those before the last word to the output; a vector without an
// output is a probe. Element 0 is the program name and is skipped.
struct ArgView {
    struct File {
        std::string path;
        std::vector<std::pair<std::string, std::string>> options; // in order; a flag's value is empty

        bool Has(const std::string& option) const;
        // The value given last for option; empty when it is absent.
        std::string Value(const std::string& option) const;
    };

    std::vector<File> inputs;
    std::optional<File> output;
    // Words the view could not place (a value missing at the end, options after the output): none in a
    // well-formed vector.
    std::vector<std::string> stray;

    static ArgView Parse(const std::vector<std::string>& argv);
    bool IsProbe() const { return !output.has_value(); }
    // The first input's path (the source of every vector the converter builds); empty without one.
    std::string Source() const { return inputs.empty() ? std::string() : inputs.front().path; }
    // The output's value for option; empty without an output or without the option.
    std::string Out(const std::string& option) const { return output ? output->Value(option) : std::string(); }
};

class FakeLibrary {
public:
    using Args = std::vector<std::string>;
    // Runs inside Transcode; send() delivers one event and returns the callback's answer.
    using Send = std::function<int(int kind, int streamId, int64_t value)>;
    using Script = std::function<int(const ArgView& args, const Send& send)>;

    FakeLibrary();
    ~FakeLibrary();
    FakeLibrary(const FakeLibrary&) = delete;
    FakeLibrary& operator=(const FakeLibrary&) = delete;

    // What a script returns, before sending anything, to hand the run to the real library.
    static constexpr int kRealLibrary = INT32_MIN;

    // Set before the runs start. Without a script each run reports status 0 and returns 0.
    void SetScript(Script script);

    std::vector<Args> Calls() const;
    Args LastCall() const;
    std::vector<ArgView> Views() const;

    // Sends the final status event and returns the status, as the library ends every run.
    static int Finish(const Send& send, int status);

private:
    static int Transcode(Tq9PictureMemo* memo, TranscodeCallback callback, void* user, int argc, const char* const* argv);

    tq9::CFFMpegConverter::TranscodeFunction m_previous = nullptr;
    Script m_script;
    mutable std::mutex m_lock;
    std::vector<Args> m_calls;
};

} // namespace tq9test
