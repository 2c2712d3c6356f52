#include "display/common_dialog.h"

#include "winutil/window_utils.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFontDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QPainter>
#include <QPixmap>

namespace {

QList<CommonDialog1::Answer> g_script;
QList<CommonDialog1::Shown> g_shown;

QIcon swatch(quint32 bgr) {
    QPixmap pixmap(24, 12);
    pixmap.fill(colorFromBgr(bgr));
    QPainter painter(&pixmap);
    painter.setPen(Qt::gray);
    painter.drawRect(pixmap.rect().adjusted(0, 0, -1, -1));
    return QIcon(pixmap);
}

// The effects group of Qt's font chooser: the box that holds the strikeout and underline
// choices.
QGroupBox* effectsGroup(QFontDialog& dialog) {
    for (QGroupBox* box : dialog.findChildren<QGroupBox*>()) {
        if (!box->findChildren<QCheckBox*>().isEmpty())
            return box;
    }
    return nullptr;
}

// The colour row of the font dialog: the sixteen standard colours and, when it is none of
// them, the current colour.
QComboBox* addColorRow(QFontDialog& dialog, quint32 current) {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* label = new QLabel(QStringLiteral("颜色(&C)："), row);
    auto* combo = new QComboBox(row);
    combo->setObjectName(QStringLiteral("fontColor"));
    label->setBuddy(combo);
    layout->addWidget(label);
    layout->addWidget(combo, 1);

    int selected = -1;
    for (const CommonDialog1::NamedColor& named : CommonDialog1::standardColors()) {
        if (named.bgr == current)
            selected = combo->count();
        combo->addItem(swatch(named.bgr), QString::fromUtf8(named.name), QVariant(named.bgr));
    }
    if (selected < 0) {
        selected = combo->count();
        combo->addItem(swatch(current), QStringLiteral("自定义"), QVariant(current));
    }
    combo->setCurrentIndex(selected);

    if (QGroupBox* effects = effectsGroup(dialog); effects && effects->layout())
        effects->layout()->addWidget(row);
    else if (dialog.layout())
        dialog.layout()->addWidget(row);
    return combo;
}

} // namespace

const QList<CommonDialog1::NamedColor>& CommonDialog1::standardColors() {
    static const QList<NamedColor> colors = {
        {0x000000, "黑色"},   {0x000080, "褐红色"}, {0x008000, "绿色"},   {0x008080, "橄榄色"},
        {0x800000, "深蓝色"}, {0x800080, "紫色"},   {0x808000, "深青色"}, {0x808080, "灰色"},
        {0xC0C0C0, "银色"},   {0x0000FF, "红色"},   {0x00FF00, "酸橙色"}, {0x00FFFF, "黄色"},
        {0xFF0000, "蓝色"},   {0xFF00FF, "紫红色"}, {0xFFFF00, "水绿色"}, {0xFFFFFF, "白色"},
    };
    return colors;
}

void CommonDialog1::scriptNextAnswer(const Answer& answer) {
    g_script.append(answer);
}

bool CommonDialog1::hasScriptedAnswer() {
    return !g_script.isEmpty();
}

const QList<CommonDialog1::Shown>& CommonDialog1::shownDialogs() {
    return g_shown;
}

void CommonDialog1::clearScript() {
    g_script.clear();
    g_shown.clear();
}

CommonDialog1::Shown CommonDialog1::current(Kind kind) const {
    return Shown{kind,       Flags,         FontName,       FontSize, FontBold,
                 FontItalic, FontUnderline, FontStrikethru, Color};
}

bool CommonDialog1::ShowFont() {
    std::optional<Answer> answer;
    if (!g_script.isEmpty()) {
        g_shown.append(current(Kind::Font));
        answer = g_script.takeFirst();
    } else {
        answer = runFontDialog();
    }
    return take(answer.value_or(Answer::cancel()));
}

bool CommonDialog1::ShowColor() {
    std::optional<Answer> answer;
    if (!g_script.isEmpty()) {
        g_shown.append(current(Kind::Color));
        answer = g_script.takeFirst();
    } else {
        answer = runColorDialog();
    }
    return take(answer.value_or(Answer::cancel()));
}

bool CommonDialog1::take(const Answer& answer) {
    if (!answer.accepted)
        return finish(false);
    FontName = answer.fontName.value_or(FontName);
    FontSize = answer.fontSize.value_or(FontSize);
    FontBold = answer.fontBold.value_or(FontBold);
    FontItalic = answer.fontItalic.value_or(FontItalic);
    FontUnderline = answer.fontUnderline.value_or(FontUnderline);
    FontStrikethru = answer.fontStrikethru.value_or(FontStrikethru);
    Color = answer.color.value_or(Color) & 0xFFFFFF;
    return finish(true);
}

bool CommonDialog1::finish(bool accepted) {
    return accepted || !CancelError;
}

std::optional<CommonDialog1::Answer> CommonDialog1::runFontDialog() {
    // Before the first choice the dialog shows its own default face, not the countdown's.
    QFont initial;
    if (!FontName.isEmpty())
        initial.setFamily(FontName);
    if (FontSize > 0)
        initial.setPointSizeF(FontSize);
    initial.setBold(FontBold);
    initial.setItalic(FontItalic);
    initial.setUnderline(FontUnderline);
    initial.setStrikeOut(FontStrikethru);

    QFontDialog dialog(initial, m_parent);
    // Qt's own chooser, so that the colour row can be added to its effects.
    dialog.setOption(QFontDialog::DontUseNativeDialog);
    dialog.setWindowTitle(QStringLiteral("字体"));
    QComboBox* colorRow = addColorRow(dialog, Color & 0xFFFFFF);
    if (!(Flags & cdlCFEffects)) {
        if (QGroupBox* effects = effectsGroup(dialog))
            effects->hide();
        colorRow->parentWidget()->hide();
    }
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;

    const QFont chosen = dialog.selectedFont();
    Answer answer;
    answer.fontName = chosen.family();
    answer.fontSize = chosen.pointSizeF() > 0 ? chosen.pointSizeF() : FontSize;
    answer.fontBold = chosen.bold();
    answer.fontItalic = chosen.italic();
    if (Flags & cdlCFEffects) {
        answer.fontUnderline = chosen.underline();
        answer.fontStrikethru = chosen.strikeOut();
        answer.color = colorRow->currentData().value<quint32>();
    }
    return answer;
}

std::optional<CommonDialog1::Answer> CommonDialog1::runColorDialog() {
    const QColor initial = (Flags & cdlCCRGBInit) ? colorFromBgr(Color) : QColor(Qt::black);
    // Qt's own dialog always shows its custom colours and the full picker.
    QColorDialog dialog(initial, m_parent);
    dialog.setOption(QColorDialog::DontUseNativeDialog);
    dialog.setWindowTitle(QStringLiteral("颜色"));
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    Answer answer;
    answer.color = bgrFromColor(dialog.selectedColor());
    return answer;
}
