// The choosers behind the menu commands that do without dragging: the files to import, the folder to
// export into (both the desktop's file dialog where the platform theme has one, Qt's own otherwise, which the
// keyboard alone works too: type a path, Return) and the card folder to duplicate into. The import and export folders last chosen are offered
// again, across runs. UI thread only.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace tq9 {

class CFileChooser {
public:
    enum class Kind { ImportFiles, ExportFolder, CardFolder };

    // PC files to import; empty when the user cancelled. Offers the media types the import takes (and all
    // files).
    static std::vector<std::string> ImportFiles(QWidget* owner);
    // The PC folder to export into; nullopt when the user cancelled.
    static std::optional<std::string> ExportFolder(QWidget* owner);
    // One of the card folders offered (the tree's, as card root and folder paths); nullopt when cancelled.
    struct CardFolders {
        struct Card {
            std::string name; // as the tree shows it
            std::vector<std::string> folders;
        };
        std::vector<Card> cards;
        std::string excluded; // the folder the files come from: not offered
    };
    static std::optional<std::string> CardFolder(QWidget* owner, const CardFolders& offered);

    // Filter of the import chooser's first entry: "*.mp4 *.MP4 ..." over the import's types.
    static std::string ImportPatterns();

    // Replaces the dialogs (tests): receives what is asked and the card folders offered (CardFolder only),
    // returns the chosen paths (empty: cancelled). An empty hook restores the dialogs.
    using Hook = std::function<std::vector<std::string>(Kind kind, const CardFolders* offered)>;
    static void SetHook(Hook hook);
};

} // namespace tq9
