// Finding cards and their folders, and making the next numbered folder. This is the model that the folder
// tree and `tq9 cards` render; it holds no state of its own.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tq9 {

struct CardInfo {
    std::string root;                // where the card is mounted
    std::string deviceFolder;        // root + "/TQ-9"
    std::vector<std::string> folders; // full paths of the device folder's sub-folders, enumeration order
};

class CCardScan {
public:
    // Every root that passes both card checks, in the order given (mount points in path order, then the
    // --card-root folders). A root whose folder enumeration fails part-way throws CUserException. A card
    // whose path is longer than the system takes is left out, since nothing on it can be reached by path;
    // tooLong (when given) gets its root, so that the caller can say why.
    static std::vector<CardInfo> Scan(const std::vector<std::string>& roots,
                                      std::vector<std::string>* tooLong = nullptr);
    static std::vector<CardInfo> Scan(std::vector<std::string>* tooLong = nullptr);

    // Sub-folders of a device folder (any name; real folders only, never a link), in enumeration order. nullopt when the folder cannot be
    // opened; throws CUserException when the enumeration ends on an error.
    static std::optional<std::vector<std::string>> ListFolders(const std::string& deviceFolder);

    // Creates the lowest free TQ9_nnnn (1..127) in deviceFolder and returns its path. Refuses when the
    // device folder already counts more than 128 directory entries ("..", and 127 sub-folders), when all
    // numbers are taken (errno EMLINK for both), or when the folder cannot be made (mkdir's errno). The
    // count and the mkdir happen under the device folder's lock, so two runs cannot pass the limit together.
    static std::optional<std::string> CreateNumberedFolder(const std::string& deviceFolder);

    // The device folder that a card root, the device folder itself or one of its folders belongs to;
    // nullopt when path is not on a card.
    static std::optional<std::string> DeviceFolderFor(const std::string& path);

    // The long path of folder when it is a card folder (a direct sub-folder of a card's device folder, where
    // the user's files live); nullopt for anything else, the card root and the device folder included.
    static std::optional<std::string> CardFolder(const std::string& folder);
};

} // namespace tq9
