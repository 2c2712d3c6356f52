#include "forms/program_icon.h"

#include <QImageReader>
#include <QPainter>
#include <QPixmap>

namespace {

// Drawn only when the build carries no icon resources (a test binary without the resource
// file): a tray icon without any image would not be shown at all.
QIcon drawnFallbackIcon() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(200, 30, 30));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(2, 2, 28, 28);
    painter.end();
    return QIcon(pixmap);
}

} // namespace

QIcon programIcon() {
    // The sizes a tray, a title bar and a task switcher ask for. Every image added here is
    // decoded at once and kept for the program's whole life, so the large renderings (128 and
    // 256 px, for launchers) stay out of the running program.
    static const int kSizes[] = {16, 24, 32, 48, 64};
    QIcon icon;
    for (int size : kSizes) {
        // Read as PNG and nothing else: a reader left to guess (as QIcon's own loading is)
        // asks every image plugin, loading each of them at every start.
        QImageReader reader(QStringLiteral(":/icons/dalvenor-%1.png").arg(size), "png");
        reader.setAutoDetectImageFormat(false);
        const QImage image = reader.read();
        if (!image.isNull())
            icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon.isNull() ? drawnFallbackIcon() : icon;
}
