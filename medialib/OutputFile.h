// Internal to the media library: the output file of a conversion (muxer, its file, and the clean-up that
// leaves nothing half-written behind when the run fails), plus FileGuard for side files such as the pass log.
#pragma once

#include "medialib/Ffmpeg.h"
#include "medialib/Options.h"

#include <mutex>

namespace tq9media {

// Undoes the writing of a file unless the run succeeded: a file the run created is removed, a file that
// was already there (a reserved working file) is truncated back to empty. Made just before the file is
// opened for writing, so a run that fails earlier never touches an existing file.
class FileGuard {
public:
    explicit FileGuard(std::string path);
    ~FileGuard();
    FileGuard(const FileGuard&) = delete;
    FileGuard& operator=(const FileGuard&) = delete;
    void Commit() { m_committed = true; }

private:
    std::string m_path;
    bool m_existed = false;
    bool m_committed = false;
};

class OutputFile {
public:
    // Allocates the muxer named by "-f" (or guessed from the path). Nothing is written yet.
    explicit OutputFile(const OutputSpec& spec);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    AVFormatContext* Context() { return m_ctx.get(); }
    const AVOutputFormat* Format() const { return m_ctx->oformat; }
    bool WantsGlobalHeader() const { return m_ctx->oformat->flags & AVFMT_GLOBALHEADER; }

    // A stream for an opened encoder; returns its index.
    int AddStream(const AVCodecContext* encoder);
    // Creates the file and writes the header (from here on a failure removes or empties the file).
    void Open(const AVDictionary* metadata);
    // Writes one encoded packet (times in the encoder's time base); takes the packet's data. The video
    // encoder's thread and the caller's thread both write.
    void Write(AVPacket* pkt, int streamIndex, AVRational encoderTimeBase);
    // Writes the trailer and closes the file; the run's output is then kept.
    void Finish();
    int64_t BytesWritten() const { return m_bytes; }

private:
    OutputSpec m_spec;
    OutputContextPtr m_ctx;
    std::unique_ptr<FileGuard> m_guard;
    std::mutex m_writeMutex;
    bool m_headerWritten = false;
    int64_t m_bytes = 0;
};

} // namespace tq9media
