// Build-time tool: writes the program's icon as PNG files of the sizes a desktop's icon theme wants, drawn
// by the same code as the window's icon. Usage: tq9-render-icons OUT_DIR SIZE...
#include "ui/ToolIcons.h"

#include <QGuiApplication>
#include <QIcon>
#include <QPixmap>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: tq9-render-icons OUT_DIR SIZE...\n");
        return 2;
    }
    const QIcon icon = tq9::CToolIcons::AppIcon();
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        const QString out = QStringLiteral("%1/tq9-image-converter-%2.png").arg(QString::fromLocal8Bit(argv[1])).arg(size);
        if (size <= 0 || !icon.pixmap(size, size).scaled(size, size).save(out)) {
            std::fprintf(stderr, "tq9-render-icons: cannot write %s\n", qPrintable(out));
            return 1;
        }
    }
    return 0;
}
