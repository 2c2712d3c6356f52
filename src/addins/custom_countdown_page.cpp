#include "addins/custom_countdown_page.h"

#include "forms/app_context.h"
#include "forms/form_names.h"
#include "forms/window_registry.h"
#include "settings/countdown_date.h"
#include "settings/data_files.h"
#include "settings/data_paths.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

CustomCountdownPage::CustomCountdownPage(AppContext& context, QWidget* parent)
    : AddinsPage(context, parent) {
    Label14 = addLabel(this, "Label14", QStringLiteral("倒计时第一行显示"), 240, 600, 1455, 255);
    Text4 = addTextBox(this, "Text4", 1800, 480, 3975, 375);
    Label15 = addLabel(this, "Label15", QStringLiteral("倒计时第二行显示"), 240, 1080, 1455, 255);
    Text5 = addTextBox(this, "Text5", 1800, 1080, 3975, 375);
    Label16 = addLabel(this, "Label16", QStringLiteral("自定义倒计时时间"), 240, 1800, 1455, 255);
    Text6 = addTextBox(this, "Text6", 1800, 1680, 1695, 375);
    Text7 = addTextBox(this, "Text7", 3960, 1680, 1815, 375);
    // The rule line gives only the labels' left edges; their widths hold their texts.
    Label17 = addLabel(this, "Label17", QStringLiteral("规则："), 1080, 2280, 720, 255);
    Label17->setAlignment(Qt::AlignRight | Qt::AlignTop);
    Label18 = addLabel(this, "Label18", QStringLiteral("月/日/年"), 2160, 2280, 1455, 255);
    Label19 =
        addLabel(this, "Label19", QStringLiteral("00:00:00 AM/00:00:00 PM"), 3840, 2280, 2475, 255);
    Command3 = addButton(this, "Command3", QStringLiteral("确认"), 2400, 2880, 1455, 495);
    for (QLabel* label : {Label14, Label15, Label16, Label17, Label18, Label19})
        addDragSurface(label);
    connect(Command3, &QPushButton::clicked, this, &CustomCountdownPage::Command3_Click);
}

void CustomCountdownPage::load() {
    const CountdownFile countdown =
        readCountdownFile(m_context.paths.dataFile(QStringLiteral("countdown.ini")));
    QLineEdit* const boxes[] = {Text4, Text5, Text6, Text7};
    for (int i = 0; i < 4; ++i)
        boxes[i]->setText(countdown.lines.value(i));
}

std::optional<QDate> CustomCountdownPage::targetDate() const {
    return countdown::parseDate(Text6->text());
}

void CustomCountdownPage::Command3_Click() {
    QString error;
    if (!writeCountdownFile(m_context.paths.dataFile(QStringLiteral("countdown.ini")),
                            {Text4->text(), Text5->text(), Text6->text(), Text7->text()}, &error)) {
        warnNotSaved(error);
        return;
    }
    emit targetDateSaved(targetDate());
    window()->hide();
    // The countdown reads the new file in its load steps.
    m_context.registry.unload(FormName::Main);
    m_context.registry.show(FormName::Main);
}
