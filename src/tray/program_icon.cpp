#include "program_icon.h"

#include <QFile>
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
    static const int kSizes[] = {16, 24, 32, 48, 64, 128, 256};
    QIcon icon;
    for (int size : kSizes) {
        const QString path = QStringLiteral(":/icons/dalvenor-%1.png").arg(size);
        if (QFile::exists(path))
            icon.addFile(path, QSize(size, size));
    }
    return icon.isNull() ? drawnFallbackIcon() : icon;
}
