#include "support/FakeLibrary.h"

#include <atomic>

namespace tq9test {

namespace {

std::atomic<FakeLibrary*> g_current{nullptr};

// The options of the library's table that take no value.
bool IsFlag(const std::string& word)
{
    return word == "-an" || word == "-vn";
}

} // namespace

bool ArgView::File::Has(const std::string& option) const
{
    for (const auto& [name, value] : options)
        if (name == option)
            return true;
    return false;
}

std::string ArgView::File::Value(const std::string& option) const
{
    std::string found;
    for (const auto& [name, value] : options)
        if (name == option)
            found = value;
    return found;
}

ArgView ArgView::Parse(const std::vector<std::string>& argv)
{
    ArgView view;
    File pending;
    for (size_t i = 1; i < argv.size(); ++i) {
        const std::string& word = argv[i];
        if (word == "-i") {
            if (i + 1 >= argv.size()) {
                view.stray.push_back(word);
                break;
            }
            pending.path = argv[++i];
            view.inputs.push_back(std::move(pending));
            pending = File{};
        } else if (view.output) {
            view.stray.push_back(word);
        } else if (word.size() > 1 && word[0] == '-') {
            if (IsFlag(word)) {
                pending.options.emplace_back(word, "");
            } else if (i + 1 < argv.size()) {
                pending.options.emplace_back(word, argv[i + 1]);
                ++i;
            } else {
                view.stray.push_back(word);
            }
        } else {
            pending.path = word;
            view.output = std::move(pending);
            pending = File{};
        }
    }
    for (const auto& [name, value] : pending.options) // options that reached no file
        view.stray.push_back(name);
    return view;
}

FakeLibrary::FakeLibrary()
{
    g_current = this;
    m_previous = tq9::CFFMpegConverter::SetTranscodeFunction(&FakeLibrary::Transcode);
}

FakeLibrary::~FakeLibrary()
{
    tq9::CFFMpegConverter::SetTranscodeFunction(m_previous);
    g_current = nullptr;
}

void FakeLibrary::SetScript(Script script)
{
    m_script = std::move(script);
}

std::vector<FakeLibrary::Args> FakeLibrary::Calls() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_calls;
}

FakeLibrary::Args FakeLibrary::LastCall() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_calls.empty() ? Args{} : m_calls.back();
}

std::vector<ArgView> FakeLibrary::Views() const
{
    std::vector<ArgView> views;
    for (const Args& call : Calls())
        views.push_back(ArgView::Parse(call));
    return views;
}

int FakeLibrary::Finish(const Send& send, int status)
{
    send(TQ9_EVENT_STATUS, 0, status);
    return status;
}

int FakeLibrary::Transcode(Tq9PictureMemo* memo, TranscodeCallback callback, void* user, int argc, const char* const* argv)
{
    FakeLibrary* self = g_current;
    const Args args(argv, argv + argc);
    {
        std::lock_guard<std::mutex> lock(self->m_lock);
        self->m_calls.push_back(args);
    }
    const Send send = [&](int kind, int streamId, int64_t value) { return callback(user, kind, 0, streamId, value); };
    // The script is set before the runs start and may keep state between them, so it is called, not copied.
    if (self->m_script) {
        const int answer = self->m_script(ArgView::Parse(args), send);
        return answer == kRealLibrary ? ::TranscodeWithMemo(memo, callback, user, argc, argv) : answer;
    }
    return Finish(send, 0);
}

} // namespace tq9test
