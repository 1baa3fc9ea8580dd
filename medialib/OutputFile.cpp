#include "medialib/OutputFile.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace tq9media {

namespace {

// Tags that describe the source container or its writer rather than the content, and tags from which the
// muxer would make a track of its own (a DV or camera timecode becomes an mp4 timecode track, which the
// device takes for a second video).
bool IsContainerTag(const char* key)
{
    for (const char* k : {"major_brand", "minor_version", "compatible_brands", "encoder", "encoded_by", "timecode"})
        if (av_strcasecmp(key, k) == 0)
            return true;
    return false;
}

} // namespace

FileGuard::FileGuard(std::string path) : m_path(std::move(path))
{
    struct stat st {};
    m_existed = ::stat(m_path.c_str(), &st) == 0;
}

FileGuard::~FileGuard()
{
    if (m_committed)
        return;
    if (!m_existed) {
        ::unlink(m_path.c_str());
    } else {
        // Only truncate a regular file that we could have written; never follow into something else.
        struct stat st {};
        if (::stat(m_path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            [[maybe_unused]] const int ignored = ::truncate(m_path.c_str(), 0); // best effort, as unlink
    }
}

OutputFile::OutputFile(const OutputSpec& spec) : m_spec(spec)
{
    AVFormatContext* raw = nullptr;
    const char* format = spec.format.empty() ? nullptr : spec.format.c_str();
    int rc = avformat_alloc_output_context2(&raw, nullptr, format, spec.path.c_str());
    if (rc < 0 || !raw)
        throw MediaError(rc < 0 ? rc : AVERROR_MUXER_NOT_FOUND, "unknown output format " + spec.format);
    m_ctx.reset(raw);
    // The muxer sees the path as a file, never as a protocol.
    av_freep(&m_ctx->url);
    m_ctx->url = av_strdup(FileUrl(spec.path).c_str());
    if (!m_ctx->url)
        throw std::bad_alloc();
}

OutputFile::~OutputFile()
{
    // Close the file before the guard removes or empties it.
    m_ctx.reset();
}

int OutputFile::AddStream(const AVCodecContext* encoder)
{
    AVStream* st = avformat_new_stream(m_ctx.get(), nullptr);
    if (!st)
        throw std::bad_alloc();
    Check(avcodec_parameters_from_context(st->codecpar, encoder), "output stream parameters");
    st->time_base = encoder->time_base;
    if (encoder->codec_type == AVMEDIA_TYPE_VIDEO) {
        st->sample_aspect_ratio = encoder->sample_aspect_ratio;
        if (encoder->framerate.num > 0)
            st->avg_frame_rate = encoder->framerate;
    }
    return st->index;
}

void OutputFile::Open(const AVDictionary* metadata)
{
    // The source's tags (title, artist, ...) as the ffmpeg tool copies them, less the container's own.
    const AVDictionaryEntry* tag = nullptr;
    while (metadata && (tag = av_dict_get(metadata, "", tag, AV_DICT_IGNORE_SUFFIX)))
        if (!IsContainerTag(tag->key))
            av_dict_set(&m_ctx->metadata, tag->key, tag->value, 0);
    m_guard = std::make_unique<FileGuard>(m_spec.path);
    if (!(m_ctx->oformat->flags & AVFMT_NOFILE)) {
        Dictionary io;
        io.Set("protocol_whitelist", "file");
        Check(avio_open2(&m_ctx->pb, m_ctx->url, AVIO_FLAG_WRITE, nullptr, io.Address()), "create output");
    }
    Dictionary opts;
    const std::string name = m_ctx->oformat->name;
    if (name == "mp3")
        opts.Set("id3v2_version", "3"); // ID3v2.3: what older players read
    if (name == "image2")
        opts.Set("update", "1"); // the path is the file name, not a numbered pattern
    Check(avformat_write_header(m_ctx.get(), opts.Address()), "write header");
    m_headerWritten = true;
}

void OutputFile::Write(AVPacket* pkt, int streamIndex, AVRational encoderTimeBase)
{
    std::lock_guard lock(m_writeMutex);
    AVStream* st = m_ctx->streams[streamIndex];
    pkt->stream_index = streamIndex;
    av_packet_rescale_ts(pkt, encoderTimeBase, st->time_base);
    m_bytes += pkt->size;
    Check(av_interleaved_write_frame(m_ctx.get(), pkt), "write packet");
}

void OutputFile::Finish()
{
    if (!m_headerWritten)
        throw MediaError(AVERROR_BUG, "output was never opened");
    Check(av_write_trailer(m_ctx.get()), "write trailer");
    if (!(m_ctx->oformat->flags & AVFMT_NOFILE)) {
        int rc = avio_closep(&m_ctx->pb);
        Check(rc, "close output");
    }
    m_guard->Commit();
}

} // namespace tq9media
