#include "forms/twips_layout.h"

#include "winutil/twips.h"

namespace twipslayout {

void place(QWidget* child, const char* name, double left, double top, double width, double height,
           const QWidget* on) {
    child->setObjectName(QString::fromLatin1(name));
    child->setGeometry(twips::toPixels(left, top, width, height, on));
}

} // namespace twipslayout
