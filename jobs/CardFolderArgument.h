// How a tq9 command takes a card folder named on its command line (a path or, from inside the device
// folder, a numbered folder's name), and the card folder of a card file it is given. One resolution for
// every command, so they refuse the same arguments with the same words.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tq9 {

struct ResolvedCardFolder {
    enum class Kind {
        CardFolder,    // folder and mediaFiles are set
        Missing,       // not a folder at all (absent, or a file)
        NotCardFolder, // a folder, but not one of a card's device folder
        Unreadable,    // a card folder whose files cannot be listed
        TooLong,       // a path longer than the system takes, which no command can work with
    };
    Kind kind = Kind::Missing;
    std::string folder;                   // the long path
    std::vector<std::string> mediaFiles; // what the file list would show, counted against the file limit
};

class CCardFolderArgument {
public:
    static ResolvedCardFolder Resolve(const std::string& argument);

    // The text the commands print after "<command>: <argument>: " for a refusal; empty for a card folder.
    static std::string RefusalText(ResolvedCardFolder::Kind kind);

    // The card folder that holds file, taken as given (a link is not followed); nullopt when file does not
    // sit directly in a card folder.
    static std::optional<std::string> FolderOfFile(const std::string& file);
};

} // namespace tq9
