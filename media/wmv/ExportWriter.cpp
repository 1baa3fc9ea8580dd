#include "media/wmv/ExportWriter.h"

namespace tq9 {

namespace {

constexpr WriterFunctions kLibrary{&::Tq9WriterOpen, &::Tq9WriterVideo, &::Tq9WriterAudio, &::Tq9WriterClose,
                                   &::Tq9WriterAbort};

std::mutex g_functionsLock;
WriterFunctions g_functions = kLibrary; // guarded by g_functionsLock

} // namespace

CExportWriter::CExportWriter()
{
    std::lock_guard<std::mutex> lock(g_functionsLock);
    m_functions = g_functions;
}

CExportWriter::~CExportWriter()
{
    Abort();
}

WriterFunctions CExportWriter::SetFunctions(const WriterFunctions* functions)
{
    std::lock_guard<std::mutex> lock(g_functionsLock);
    const WriterFunctions previous = g_functions;
    g_functions = functions ? *functions : kLibrary;
    return previous;
}

int CExportWriter::Fail(int status, const char* what)
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_status == 0) {
        m_status = status;
        m_what = what;
    }
    return m_status;
}

int CExportWriter::FailureStatus() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_status;
}

std::string CExportWriter::FailureText() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_status == 0)
        return std::string();
    char text[128] = "";
    Tq9MediaErrorText(m_status, text, sizeof text);
    return m_what + " (" + text + ", status " + std::to_string(m_status) + ")";
}

int CExportWriter::Open(const std::string& path, const Tq9WriterSettings& settings)
{
    Tq9MediaWriter* writer = nullptr;
    const int rc = m_functions.open(path.c_str(), &settings, &writer);
    if (rc < 0 || !writer)
        return Fail(rc < 0 ? rc : -22, "the writer cannot create the file");
    m_writer = writer;
    return 0;
}

int CExportWriter::Video(const Tq9MediaPicture& picture, int64_t ptsUs)
{
    if (const int failed = FailureStatus())
        return failed;
    const int rc = m_functions.video(m_writer, picture.planes, picture.lineSizes, ptsUs);
    return rc < 0 ? Fail(rc, "the writer refused a picture") : 0;
}

int CExportWriter::Audio(const Tq9MediaSound& sound, int64_t ptsUs)
{
    if (const int failed = FailureStatus())
        return failed;
    const int rc = m_functions.audio(m_writer, sound.samples, sound.frames, ptsUs);
    return rc < 0 ? Fail(rc, "the writer refused a sound") : 0;
}

int CExportWriter::Close()
{
    Tq9MediaWriter* writer = m_writer;
    m_writer = nullptr;
    if (!writer)
        return Fail(-22, "the writer is not open");
    const int rc = m_functions.close(writer);
    return rc < 0 ? Fail(rc, "the writer could not finish the file") : 0;
}

void CExportWriter::Abort()
{
    if (m_writer)
        m_functions.abort(m_writer);
    m_writer = nullptr;
}

} // namespace tq9
