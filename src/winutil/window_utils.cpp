#include "winutil/window_utils.h"

#include <QColor>
#include <QImage>

QColor colorFromBgr(quint32 bgr) {
    return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

quint32 bgrFromColor(const QColor& color) {
    const QColor rgb = color.toRgb();
    return quint32(rgb.red()) | (quint32(rgb.green()) << 8) | (quint32(rgb.blue()) << 16);
}

QImage colorKeyMask(const QImage& content, quint32 keyBgr) {
    // Compare opaque pixels only: a stray alpha channel must not turn a key pixel visible.
    const QImage opaque = content.convertToFormat(QImage::Format_RGB32);
    // MaskOutColor clears the bits of the key pixels and sets all others.
    QImage mask = opaque.createMaskFromColor(colorFromBgr(keyBgr).rgb(), Qt::MaskOutColor);
    // QBitmap reads a black index 1 as "shown"; with the default table (index 1 white) it
    // would invert the mask on conversion.
    mask.setColor(0, qRgb(255, 255, 255));
    mask.setColor(1, qRgb(0, 0, 0));
    return mask;
}
