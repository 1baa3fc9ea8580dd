// Display names and icons of paths, from the desktop's icon theme where it has one and Qt's own
// pictures otherwise. UI thread only (icon providers are not thread-safe).
#pragma once

#include <QIcon>
#include <QString>

#include <string>

namespace tq9 {

class CShellIcons {
public:
    // The last path element; the path itself for "/" and other names without one.
    static QString DisplayName(const std::string& path);
    // A card's top-level node: a memory-card picture.
    static QIcon CardIcon();
    // Any folder: closed normally, open while selected (the same icon for all; no disk access).
    static QIcon FolderIcon();
    // The icon the desktop shows for a file of this type.
    static QIcon FileIcon(const std::string& path);
};

} // namespace tq9
