#include "res/MessageCatalogue.h"

#include <cstdio>
#include <mutex>
#include <vector>

namespace tq9 {

namespace {

const std::map<int, std::string>& builtinTable()
{
    static const std::map<int, std::string> table = {
        {128, "TQ-9 Image Converter\n\nTQ-9 Image Converter\n\n\nTQ-9 Image Converter Document\n"
              "TQ9ImageConverter.Document"},
        {129, "TQ9_image_converter_e.html"},
        {130, "Error"},
        {131, "Error occurred during the TQ-9 file system check."},
        {132, "Create TQ-9 folder."},
        {133, "Delete file."},
        {134, "                        Remaining space 0 byte"},
        {135, "\t\tRemaining space %s byte"},
        {136, "Converting 0/0"},
        {137, "Converting filename."},
        {138, "Now converting ..."},
        {139, "Converted file %d/%d"},
        {140, "Converting %s"},
        {141, "Converting canceled."},
        {142, "Converting failed."},
        {143, "Converting finished successfully."},
        {144, "Select exporting folder."},
        {145, "Failed to make folder."},
        {146, "Select deleting file."},
        {147, "Delete this file?"},
        {148, "Failed to delete file."},
        {149, "Faild to display TQ-9 folder."},
        {150, "\n\nfilename\n"},
        {151, "Deleting file canceled."},
        {152, "Error occurred during initialization of list view."},
        {153, "Be sure to use the SD-CARD formatted on the TQ-9!"},
        {200, "Error not found."},
        {201, "The %s is not directry attribution."},
        {202, "Invalid file type."},
        {203, "Including path attributed directry."},
        {204, "Cannot open file."},
        {205, "other error"},
        {206, "Impossible to import file. Including invalid file."},
        {207, "Number of file in this folder exceeds limit."},
        {220, "Not enough free space on the card."},
        {221, "The file would be larger than the 4 GB a FAT card holds in one file."},
        {222, "The card is write-protected or read-only."},
        {223, "The card could not be written (it was removed, or a read or write error)."},
        {224, "The card does not accept the file name."},
        {225, "No permission to write into the card folder."},
        {226, "About %s needed,"},
        {227, "%s free."},
        {230, "The file cannot be read as media."},
        {231, "Not enough room in %s."},
        {232, "The card was removed, or the file is no longer on it."},
        {233, "The file name is too long."},
        {234, "The recording ended early."},
        {235, "The file could not be written into %s."},
        {236, "%d of %d files could not be exported."},
        {237, "The others were handed over."},
        {300, "No TQ-9 card found.\n\nInsert an SD card formatted on the TQ-9, or start the program with "
              "--card-root DIR."},
        {301, "Delete \"%s\"?"},
        {302, "Delete %d files?"},
        {303, "1 file imported"},
        {304, "%d files imported"},
        {305, "1 file duplicated"},
        {306, "%d files duplicated"},
        {307, "Cannot open the manual %s."},
        {308, "Cannot open %s."},
        {330, "1 file exported"},
        {331, "%d files exported"},
        {332, "Cannot export %s."},
        {333, "Cannot put the exported files into %s."},
        {334, "1 file, %s"},
        {335, "%d files, %s"},
        {336, "1 file deleted"},
        {337, "%d files deleted"},
        {338, "About %s left"},
        {339, "Now copying ..."},
        {340, "Copied file %d/%d"},
        {341, "Copying %s"},
        {342, "Copying canceled."},
        {343, "Copying failed."},
        {344, "Copying finished successfully."},
        {345, "Waiting for another run writing into %s ..."},
        {346, "Converting finished; a recording ended early."},
        {347, "%s is a folder; it was left in place."},
        {348, "%s is not a regular file; it was left in place."},
        {450, "%s: this kind of file cannot be put on the card"},
        {451, "%s: the file cannot be read as media"},
        {500, "Show"},
        {501, "There is no program to open %s. Install one for this kind of file (or a file manager), then "
              "try again."},
        {503, "%s can now be removed."},
        {504, "A job of this program (an import, export or copy) is using %s. Wait until it has ended (or "
              "cancel it), then eject the card."},
        {505, "%s cannot be ejected: the card is in use by another program. Close the files on it, then try "
              "again."},
        {506, "The card cannot be ejected: %s"},
        {507, "The card was not mounted through the desktop's disk service (UDisks2), so this program cannot "
              "eject it. Unmount it yourself, then take it out:\n%s"},
        {508, "%s is not a mounted TQ-9 card."},
        {509, "TQ-9 Image Converter Help"},
        {630, "The drop target stopped waiting after %d s, so nothing was handed over. Choose a folder to keep "
              "the exported files in."},
        {631, "The files are in %s."},
        {632, "Nothing was handed over: no program under the pointer took the drop. The program runs through "
              "XWayland, and programs that run natively on Wayland may be out of its reach there; start it with "
              "QT_QPA_PLATFORM=wayland (package qt6-wayland) to drag files to them."},
        {550, "Copying to the card ..."},
        {551, "%s of %s"},
        {552, "Remaining space %s"},
        {553, "Import canceled."},
        {554, "Duplication canceled."},
        {555, "No TQ-9 card found. Insert an SD card formatted on the TQ-9, or name a folder with --card-root DIR."},
        {556, "Importing files"},
        {557, "Exporting files"},
        {558, "Duplicating files"},
        {600, "The recording could not be read to its end."},
        {400, "Converted %d of %d files; %d failed."},
        {401, "Copied %d of %d files; %d failed."},
        {402, "The card holds as many folders as the device allows (127)."},
        {403, "The card was removed, or its driver stopped, while it was written."},
        {790, "The path is longer than the 4,096 bytes the system takes. Mount the card, or move the files, "
              "to a shorter path."},
        {770, "These files had arrived on the card before the cancel:"},
        {57344, "TQ-9 Image Converter"},
        {57345, "Ready."},
    };
    return table;
}

std::mutex g_lock;
std::map<int, std::string> g_installed;

} // namespace

std::string CMessageCatalogue::Builtin(int id)
{
    const auto& t = builtinTable();
    auto it = t.find(id);
    return it == t.end() ? std::string() : it->second;
}

std::string CMessageCatalogue::Get(int id)
{
    {
        std::lock_guard<std::mutex> guard(g_lock);
        auto it = g_installed.find(id);
        if (it != g_installed.end())
            return it->second;
    }
    return Builtin(id);
}

void CMessageCatalogue::Install(const std::map<int, std::string>& table)
{
    std::lock_guard<std::mutex> guard(g_lock);
    g_installed = table;
}

void CMessageCatalogue::Reset()
{
    std::lock_guard<std::mutex> guard(g_lock);
    g_installed.clear();
}

std::string CMessageCatalogue::WindowTitle()
{
    std::string s = Get(IDS_MAINFRAME);
    return s.substr(0, s.find('\n'));
}

namespace {

// Replaces each "%<conversion>" with the next argument while arguments last; "%%" is a percent sign.
// Everything else, a path holding "%s" included, is copied as text.
std::string fill(const std::string& format, char conversion, const std::vector<std::string>& args)
{
    std::string out;
    size_t next = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size()) {
            const char c = format[i + 1];
            if (c == conversion && next < args.size()) {
                out += args[next++];
                ++i;
                continue;
            }
            if (c == '%') {
                out += '%';
                ++i;
                continue;
            }
        }
        out += format[i];
    }
    return out;
}

} // namespace

std::string FormatText(const std::string& format, const std::string& arg)
{
    return fill(format, 's', {arg});
}

std::string FormatText(const std::string& format, const std::string& a, const std::string& b)
{
    return fill(format, 's', {a, b});
}

std::string FormatText(const std::string& format, int a, int b)
{
    return fill(format, 'd', {std::to_string(a), std::to_string(b)});
}

std::string FormatText(const std::string& format, int a)
{
    return fill(format, 'd', {std::to_string(a)});
}

std::string FormatText(const std::string& format, int a, int b, int c)
{
    return fill(format, 'd', {std::to_string(a), std::to_string(b), std::to_string(c)});
}

} // namespace tq9
