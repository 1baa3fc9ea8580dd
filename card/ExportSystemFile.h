// The record of one card file that the export takes to the PC: the card file and the working copy that
// the export writes in its run's working folder. Sidecars never leave the card. A card mp4 is built
// without a working file; the export probes it and retargets it with one of the two mp4 rows below.
// Working names are short ("<number>.<extension>"), so a card name near the file system's limit still
// has one; whoever hands the result on gives it the card file's name.
//
// Plain value, copied into the job's arrays; used by one thread at a time.
#pragma once

#include <string>

#include "card/TQ9SystemFile.h"

namespace tq9 {

// Card extension -> working-file extension, flags and kind, for files taken off a card.
extern const ExtensionRow kExportExtensionTable[];
// The fate of a probed card mp4: the device's own coding becomes WMV, anything else is copied as it is.
extern const ExtensionRow kExportMp4ToWmvRow;
extern const ExtensionRow kExportMp4AsIsRow;

class CTQ9ExportSystemFile : public CTQ9SystemFileBase {
public:
    std::string sourcePath; // long form of the card file
    int tempCreated = 0;    // 1 when the conversion build made the record (it owns a working file then)
    std::string tempPath;   // the working file; empty until decided

    // Fills the record from the export table and reserves the working file workFolder/<number>.<target>,
    // except for a card mp4, which waits for Retarget. Throws CUserException when the file is missing or
    // a folder, has no long form, or the working file cannot be created.
    void BuildForConversion(const std::string& cardPath, const std::string& workFolder, int number);
    // A record that copies the file as it is, with no working file: FILE_MEDIA, KIND_COPY, tempCreated 0.
    // The table is not consulted. Throws as above for a missing file or a folder.
    void BuildForPlainCopy(const std::string& cardPath);
    // Applies row to a record without a working file and reserves one with the row's target extension.
    // Throws when sourcePath is empty, tempPath is already set, or the working file cannot be reserved.
    void Retarget(const ExtensionRow& row);

    // Removes the working file when this record reserved it; failures are ignored.
    void DeleteWorkingFile() const;

private:
    void SetSource(const std::string& cardPath);
    void ReserveWorkingFile(const std::string& target);

    std::string m_workFolder;
    int m_number = 0;
};

} // namespace tq9
