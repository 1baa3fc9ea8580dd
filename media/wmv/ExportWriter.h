// The last stage of the WMV export: hands decoded pictures and sound to the media library's writer
// (Tq9Writer*), which encodes them on threads of its own into the file. It keeps the writer's own status:
// the first call that fails is remembered with what failed, and every call after it fails the same way.
//
// Threads: Open, Close and Abort on the converter's thread while no stream thread runs; Video on the
// video stream's thread and Audio on the audio stream's, at the same time (the library serialises the
// file). m_failure is guarded by m_lock; the writer handle is set and cleared only while no stream runs.
#pragma once

#include <mutex>
#include <string>

#include "medialib/tq9media.h"

namespace tq9 {

// The writer's C ABI; tests substitute a fake to see what the export writes.
struct WriterFunctions {
    int (*open)(const char* pathUtf8, const Tq9WriterSettings* settings, Tq9MediaWriter** writer);
    int (*video)(Tq9MediaWriter* writer, const uint8_t* const planes[3], const int lineSizes[3], int64_t ptsUs);
    int (*audio)(Tq9MediaWriter* writer, const int16_t* samples, int frames, int64_t ptsUs);
    int (*close)(Tq9MediaWriter* writer);
    void (*abort)(Tq9MediaWriter* writer);
};

class CExportWriter {
public:
    CExportWriter();
    ~CExportWriter(); // aborts a writer that was not closed
    CExportWriter(const CExportWriter&) = delete;
    CExportWriter& operator=(const CExportWriter&) = delete;

    // Installs functions for every writer opened from now on (nullptr restores the media library's) and
    // returns the previous ones.
    static WriterFunctions SetFunctions(const WriterFunctions* functions);

    // Creates the file. The library's status: 0, or negative (then Failure says what).
    int Open(const std::string& path, const Tq9WriterSettings& settings);
    // One picture or one stretch of sound at its time; 0 or the (first) failure's status.
    int Video(const Tq9MediaPicture& picture, int64_t ptsUs);
    int Audio(const Tq9MediaSound& sound, int64_t ptsUs);
    // Drains the encoders and finishes the file; on failure the library removes it.
    int Close();
    // Stops at once; the library removes the partly written file.
    void Abort();

    // The first failure: its status (0 none) and what failed, in a few words.
    int FailureStatus() const;
    std::string FailureText() const;

private:
    int Fail(int status, const char* what);

    WriterFunctions m_functions{};
    Tq9MediaWriter* m_writer = nullptr;
    mutable std::mutex m_lock;
    int m_status = 0;   // guarded by m_lock
    std::string m_what; // guarded by m_lock
};

} // namespace tq9
