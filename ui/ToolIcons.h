// The program's own pictures: the two toolbar buttons and the window icon, painted rather than loaded so
// they look the same on every desktop and need no image plug-in.
#pragma once

#include <QIcon>

namespace tq9 {

class CToolIcons {
public:
    static QIcon CreateFolder(); // a yellow folder with a green plus
    static QIcon DeleteFile();   // a white page with a red cross
    static QIcon AppIcon();      // a blue card with "TQ-9" on it ("9" alone at 24 px and less)
};

} // namespace tq9
