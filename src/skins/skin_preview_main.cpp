// Draws the previews of skin files at build time:
//   skin_preview OUTPUT_FOLDER SKIN.she...
// writes OUTPUT_FOLDER/SKIN.png for each; fails when a skin is no usable style sheet, so
// that a broken built-in skin stops the build. Run with QT_QPA_PLATFORM=offscreen.
#include "forms/design_font.h"
#include "settings/atomic_file.h"
#include "skins/skin_preview.h"
#include "skins/style_sheet_skin.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFileInfo>

#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // The faces the program's windows are drawn with.
    installFontSubstitutions();
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: skin_preview OUTPUT_FOLDER SKIN.she...\n");
        return 2;
    }
    const QDir output(args.at(1));
    if (!QDir().mkpath(output.path())) {
        std::fprintf(stderr, "skin_preview: cannot create %s\n", qPrintable(output.path()));
        return 1;
    }
    for (const QString& path : args.mid(2)) {
        const skinfile::Loaded skin = skinfile::load(path);
        const QImage preview =
            skin.status == skinfile::Status::Ok ? skinpreview::render(skin.sheet) : QImage();
        if (preview.isNull()) {
            std::fprintf(stderr, "skin_preview: %s is no usable skin\n", qPrintable(path));
            return 1;
        }
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        preview.save(&buffer, "PNG");
        const QString target =
            output.filePath(QFileInfo(path).completeBaseName() + QStringLiteral(".png"));
        // An encoder that gave nothing would otherwise leave an empty preview in place.
        QString why = QStringLiteral("no PNG was made");
        if (png.isEmpty() || !atomicfile::write(target, png, &why)) {
            std::fprintf(stderr, "skin_preview: cannot write %s: %s\n", qPrintable(target),
                         qPrintable(why));
            return 1;
        }
    }
    return 0;
}
