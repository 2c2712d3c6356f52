#pragma once

#include "addins/addins_page.h"
#include "addins/reminder.h"
#include "settings/regular_file.h"

#include <QDateTime>

// Tab "提醒窗口": the study reminder's title, message and interval, saved to "settings.ini" by
// "确认", which also starts the reminder for the rest of the program's run.
class ReminderSettingsPage final : public AddinsPage {
    Q_OBJECT
public:
    ReminderSettingsPage(AppContext& context, QWidget* parent);

    // The load's step for this page: the boxes from "settings.ini".
    void load();

    void Command2_Click();
    // Every wall-clock second; the reminder counts its minutes on it.
    void Timer4_Timer(const QDateTime& now);
    // ReminderMinutes and whether "确认" has started the reminder.
    const ReminderCounter& reminder() const { return m_reminder; }

private:
    void showReminderProblem(const QString& reason);

    QLabel* Label13 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label10 = nullptr;
    QLabel* Label11 = nullptr;
    QLabel* Label12 = nullptr;
    QLineEdit* Text1 = nullptr;
    QLineEdit* Text2 = nullptr;
    QLineEdit* Text3 = nullptr;
    QPushButton* Command2 = nullptr;
    // Shown in place of the page's heading while "settings.ini" could not be read.
    QLabel* LabReminderProblem = nullptr;

    // Off until "确认", then for good.
    ReminderCounter m_reminder;
    // How the load read "settings.ini"; a failure stays said on the page until a save.
    textfile::ReadStatus m_reminderReadStatus = textfile::ReadStatus::Missing;
    QString m_reminderProblem; // the reader's reason, while the page says it
};
