#include "skins/skin_preview.h"

#include "forms/design_font.h"
#include "skins/style_sheet_skin.h"

#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>

namespace skinpreview {

QImage render(const QString& sheet) {
    if (!skinfile::parses(sheet))
        return {};
    // Drawn at twice the size and reduced: at 80 x 52 pixels the controls would be too small
    // for their frames and texts to be drawn at all.
    QDialog window;
    window.setObjectName(QStringLiteral("skinPreview"));
    window.setAttribute(Qt::WA_DontShowOnScreen);
    window.setFont(designFont());
    window.setFixedSize(2 * kWidth, 2 * kHeight);

    auto* tabs = new QTabWidget(&window);
    tabs->setGeometry(6, 4, 2 * kWidth - 12, 64);
    auto* page = new QWidget;
    tabs->addTab(page, QStringLiteral("皮肤"));
    tabs->addTab(new QWidget, QStringLiteral("设置"));
    auto* text = new QLineEdit(QStringLiteral("Dalvenor"), page);
    text->setGeometry(6, 6, 96, 20);
    auto* check = new QCheckBox(QStringLiteral("开启"), page);
    check->setChecked(true);
    check->setGeometry(108, 6, 40, 20);

    auto* scroll = new QScrollBar(Qt::Vertical, &window);
    scroll->setGeometry(2 * kWidth - 14, 72, 12, 30);
    scroll->setRange(0, 10);

    auto* ok = new QPushButton(QStringLiteral("确定"), &window);
    ok->setGeometry(8, 74, 64, 24);
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("取消"), &window);
    cancel->setGeometry(78, 74, 60, 24);

    window.setStyleSheet(sheet);
    window.show();
    const QImage drawn = window.grab().toImage();
    window.hide();
    return drawn.scaled(kWidth, kHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .convertToFormat(QImage::Format_RGB32);
}

} // namespace skinpreview
