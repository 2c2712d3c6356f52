#include "addins/reminder_settings_page.h"

#include "addins/reminder_page.h"
#include "forms/app_context.h"
#include "forms/form_names.h"
#include "forms/message_box.h"
#include "forms/window_registry.h"
#include "settings/data_files.h"
#include "settings/data_paths.h"
#include "settings/text_file.h"

#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

const QColor kDarkGreen(0, 64, 0);

} // namespace

ReminderSettingsPage::ReminderSettingsPage(AppContext& context, QWidget* parent)
    : AddinsPage(context, parent) {
    Label13 = addLabel(this, "Label13",
                       QStringLiteral("每隔一段时间弹出一个窗口，提醒你，是学习的时候了"), 908, 480,
                       4575, 495);
    Label13->setAlignment(Qt::AlignCenter);
    Label13->setWordWrap(true);
    QFont bold(QStringLiteral("宋体"));
    bold.setPointSizeF(12);
    bold.setBold(true);
    Label13->setFont(bold);
    QPalette palette = Label13->palette();
    palette.setColor(QPalette::WindowText, kDarkGreen);
    Label13->setPalette(palette);

    Label9 = addLabel(this, "Label9", QStringLiteral("提醒窗口标题"), 120, 1080, 1215, 375);
    QFont label9Font(QStringLiteral("宋体"));
    label9Font.setPointSizeF(9.75);
    Label9->setFont(label9Font);
    Text1 = addTextBox(this, "Text1", 1440, 1080, 4695, 375);
    Label10 = addLabel(this, "Label10", QStringLiteral("提醒窗口内容"), 120, 1680, 1215, 255);
    Text2 = addTextBox(this, "Text2", 1440, 1680, 4695, 375);
    Label11 = addLabel(this, "Label11", QStringLiteral("提醒窗口每隔"), 120, 2280, 1215, 255);
    Text3 = addTextBox(this, "Text3", 1440, 2280, 855, 350);
    Label12 = addLabel(this, "Label12", QStringLiteral("分钟 显示一次"), 2400, 2280, 1335, 255);
    Command2 = addButton(this, "Command2", QStringLiteral("确认"), 2468, 2880, 1455, 495);
    // Over the heading's place, as wide as the boxes reach: a path needs the room.
    LabReminderProblem = addLabel(this, "LabReminderProblem", QString(), 120, 60, 6015, 975);
    LabReminderProblem->setWordWrap(true);
    LabReminderProblem->setTextFormat(Qt::PlainText); // the reason names a path of the user's
    LabReminderProblem->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QPalette problemPalette = LabReminderProblem->palette();
    problemPalette.setColor(QPalette::WindowText, QColor(0xC0, 0, 0));
    LabReminderProblem->setPalette(problemPalette);
    LabReminderProblem->hide();
    for (QLabel* label : {Label9, Label10, Label11, Label12, Label13})
        addDragSurface(label);
    connect(Command2, &QPushButton::clicked, this, &ReminderSettingsPage::Command2_Click);
}

void ReminderSettingsPage::load() {
    const ReminderFile reminder =
        readReminderFile(m_context.paths.dataFile(QStringLiteral("settings.ini")));
    QLineEdit* const reminderBoxes[] = {Text1, Text2, Text3};
    for (int i = 0; i < 3; ++i)
        reminderBoxes[i]->setText(reminder.lines.value(i));
    // Three empty boxes alone would look like settings never made.
    m_reminderReadStatus = reminder.status;
    if (reminderpage::isReadProblem(reminder.status))
        showReminderProblem(reminder.error);
}

void ReminderSettingsPage::showReminderProblem(const QString& reason) {
    m_reminderProblem = reason;
    // The page has room for a few lines: the file's name stands for its whole path there,
    // and the tooltip and the box at "确认" give the path whole.
    const QString path = m_context.paths.dataFile(QStringLiteral("settings.ini"));
    QString shortReason = reason;
    shortReason.replace(path, QFileInfo(path).fileName());
    const QString notice = reminderpage::pageNotice(shortReason);
    LabReminderProblem->setText(notice);
    LabReminderProblem->setToolTip(reminderpage::pageNotice(reason));
    LabReminderProblem->setAccessibleName(notice);
    LabReminderProblem->show();
    Label13->hide();
}

void ReminderSettingsPage::Command2_Click() {
    const QStringList lines = {Text1->text(), Text2->text(), Text3->text()};
    const QString path = m_context.paths.dataFile(QStringLiteral("settings.ini"));
    // What could not be read is not replaced unasked: the boxes do not hold its content.
    const ReminderFile current = readReminderFile(path);
    const QString reason =
        reminderpage::isReadProblem(current.status) ? current.error : m_reminderProblem;
    switch (reminderpage::saveDecision(m_reminderReadStatus, current.status)) {
    case reminderpage::SaveDecision::Save:
        break;
    case reminderpage::SaveDecision::Refuse:
        showReminderProblem(current.error);
        warn(reminderpage::refusal(current.error));
        return;
    case reminderpage::SaveDecision::AskFirst:
        if (reminderpage::isReadProblem(current.status))
            showReminderProblem(current.error);
        if (MessageBox::warning(window(), window()->windowTitle(),
                                reminderpage::overwriteQuestion(reason),
                                QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
            return;
        break;
    }
    // A failed save says so; the window stays open with what was typed and the reminder does
    // not start on settings that are not on disk.
    QString error;
    if (!textfile::writeLines(path, lines, &error)) {
        warnNotSaved(error);
        return;
    }
    // What is on disk now is what the page shows.
    m_reminderReadStatus = textfile::ReadStatus::Ok;
    m_reminderProblem.clear();
    LabReminderProblem->hide();
    Label13->show();
    if (!reminderpage::keepSavedSettingsOverMarker(m_context.paths.dataDir())) {
        warn(QStringLiteral("提醒设置已保存，但旧的“setting.ini”无法更新，"
                            "倒计时窗口下次载入时可能恢复为旧的提醒设置。"));
    }
    // The texts are kept whatever the interval; an interval that can never come is said
    // plainly instead of a reminder that silently never pops up.
    const QString problem = reminder::intervalMessage(Text3->text());
    if (!problem.isEmpty())
        warn(problem);
    m_reminder.confirm();
    window()->hide();
}

// The reminder counts its minutes on the program's second (Timer4 adds no wake-up of its own);
// Text3 is read at every minute, so an edit counts without pressing "确认" again.
void ReminderSettingsPage::Timer4_Timer(const QDateTime& now) {
    Q_UNUSED(now)
    if (m_reminder.onSecond(Text3->text()))
        m_context.registry.show(FormName::Caution);
}
