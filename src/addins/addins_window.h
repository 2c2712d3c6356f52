#pragma once

#include "addins/power_plan.h"
#include "addins/reminder.h"
#include "addins/version_notes_scroll.h"
#include "forms/form.h"
#include "forms/form_names.h"
#include "settings/regular_file.h"

#include <QDate>
#include <QDateTime>
#include <QPixmap>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QKeyEvent;
class QWindow;
class LunarCalendarWidget;
class PowerBackend;

// frmAddins, "附加功能": a month calendar with the Chinese calendar line, the scheduled power
// action, the scrolling version notes, the study reminder's settings and the custom countdown.
// The program keeps one object of it for its whole life: every unload is cancelled and hides
// the window, so the power action and the reminder go on while it is out of sight.
//
// The window is laid out tab by tab; each tab's handlers are grouped below under its caption.
class AddinsWindow final : public Form {
    Q_OBJECT
public:
    static constexpr QLatin1String kName = FormName::Addins;

    // A monotonic millisecond count for the scroll (QElapsedTimer unless a test gives one).
    using MonotonicClock = std::function<qint64()>;
    // Height in pixels of the version notes in a font, one line per text line, or nothing when
    // it cannot be measured.
    using TextMeasurer = std::function<std::optional<int>(const QFont&, const QString&)>;
    // Moves the window with the mouse (DragWindow unless a test gives one).
    using DragHandler = std::function<void(QWidget*)>;

    explicit AddinsWindow(AppContext& context, QWidget* parent = nullptr);
    ~AddinsWindow() override;

    void Form_Load() override;
    void Form_Unload(bool& cancel) override;
    // The window became the program's active window: the version notes start again below the
    // box (unless 停止 froze them).
    void Form_Activate();
    // A press on one of the window's drag surfaces.
    void Form_MouseDown();

    // --- Tab 0 "小日历" ---
    void MonthView1_SelectionChanged();
    // The Chinese calendar line of a day: lunar date, solar term, days to the target.
    QString lunarLine(QDate day) const;
    // The countdown's target date, from "countdown.ini" (nothing when it gives no valid date).
    std::optional<QDate> targetDate() const { return m_targetDate; }

    // --- Tab 1 "定时关机": the scheduled power action drives these handlers ---
    // Every wall-clock second (the program's heartbeat): Frame1's caption.
    void Timer1_Timer(const QDateTime& now);
    // The two trigger modes, ticked on the same second while an action is armed.
    void Timer2_Timer(const QDateTime& now);
    void Timer3_Timer(const QDateTime& now);
    void CmdStart_Click();
    void Option1_Click();
    void Option2_Click();
    // A key typed in TextHour, TextMin or TextSec; true discards it.
    bool TextTime_KeyPress(QLineEdit* box, QKeyEvent* event);
    // PlanHour, PlanMinute, PlanSecond, the mode and the status texts.
    const power::PowerPlan& powerPlan() const { return m_plan; }
    // The system's power service that carries out the action. Without one, arming says the
    // action cannot happen here and firing says it did not: a window made without it can never
    // touch the machine (tests give a fake one).
    void setPowerBackend(std::unique_ptr<PowerBackend> backend);

    // --- Tab 2 "版本说明" ---
    void Command1_Click();
    void ScrollVersionNotes();
    // One tick of the scroll's timer: a step when due, then the wake-up for the next one.
    void ScrollTimer_Timer();
    bool isScrollTimerActive() const { return m_scrollTimer.isActive(); }
    const VersionNotesScroll& scroll() const { return m_scroll; }
    bool StopScroll() const { return m_scroll.isStopped(); }

    // --- Tab 3 "提醒窗口": the study reminder drives these handlers ---
    void Command2_Click();
    // Every wall-clock second; the reminder counts its minutes on it.
    void Timer4_Timer(const QDateTime& now);
    // ReminderMinutes and whether "确认" has started the reminder.
    const ReminderCounter& reminder() const { return m_reminder; }

    // --- Tab 4 "自定义倒计时" ---
    void Command3_Click();

    // Seams for tests.
    void setMonotonicClock(MonotonicClock clock);
    void setTextMeasurer(TextMeasurer measurer);
    void setDragHandler(DragHandler drag);

    // Controls, named as the window's design names them.
    QTabWidget* SSTab1 = nullptr;
    QWidget* tabPages[5] = {};

    LunarCalendarWidget* MonthView1 = nullptr;
    QLabel* LabLunar = nullptr;

    QGroupBox* Frame1 = nullptr;
    QRadioButton* Option1 = nullptr;
    QRadioButton* Option2 = nullptr;
    QComboBox* CBoxHour = nullptr;
    QComboBox* CBoxMin = nullptr;
    QComboBox* CBoxSec = nullptr;
    QComboBox* Combo4 = nullptr;
    QComboBox* Combo5 = nullptr;
    QLineEdit* TextHour = nullptr;
    QLineEdit* TextMin = nullptr;
    QLineEdit* TextSec = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label7 = nullptr;
    QPushButton* CmdStart = nullptr;
    QLabel* LabInformation = nullptr;
    QLabel* Label8 = nullptr;

    QWidget* Picmain = nullptr;
    QPushButton* Command1 = nullptr;

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

    QLabel* Label14 = nullptr;
    QLabel* Label15 = nullptr;
    QLabel* Label16 = nullptr;
    QLabel* Label17 = nullptr;
    QLabel* Label18 = nullptr;
    QLabel* Label19 = nullptr;
    QLineEdit* Text4 = nullptr;
    QLineEdit* Text5 = nullptr;
    QLineEdit* Text6 = nullptr;
    QLineEdit* Text7 = nullptr;
    QPushButton* Command3 = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    friend class VersionNotesBox;

    void buildCalendarTab(QWidget* page);
    void buildPowerTab(QWidget* page);
    void buildNotesTab(QWidget* page);
    void buildReminderTab(QWidget* page);
    void buildCountdownTab(QWidget* page);

    QLabel* addLabel(QWidget* parent, const char* name, const QString& text, double left,
                     double top, double width, double height);
    QLineEdit* addTextBox(QWidget* parent, const char* name, double left, double top, double width,
                          double height);
    QComboBox* addCombo(QWidget* parent, const char* name, double left, double top);
    QPushButton* addButton(QWidget* parent, const char* name, const QString& text, double left,
                           double top, double width, double height);
    void addDragSurface(QWidget* surface);

    // Writes a whole text file (atomically, CR LF); on failure the user is told which file and
    // why, the old file stays as it was and the window stays open with what was typed.
    bool writeTextFile(const QString& path, const QStringList& lines);

    void centreCalendar();
    void heartbeatSecond(const QDateTime& now);
    void refreshFrameCaption(const QDateTime& now);
    void focusWindowChanged(QWindow* focus);
    bool isOwnWindow(const QWindow* window) const;

    // Version notes: the text rendered once for the box, and the timer that moves it.
    void prepareNotesImage();
    void scheduleNextStep();
    void paintNotes(QWidget* box);
    bool isOnScreen() const;

    MonotonicClock m_monotonic;
    TextMeasurer m_measureText;
    DragHandler m_drag;

    std::optional<QDate> m_targetDate;

    // The scheduled power action (PlanHour, PlanMinute, PlanSecond, Timer2/Timer3).
    void powerTick(const QDateTime& now);
    void showPowerState(const QString& status, const QString& toolTip);
    void powerQueryAnswered(quint64 id, PowerAction action, const QString& note);
    void powerRequestFinished(quint64 id, PowerAction action, const QString& error);
    power::PowerPlan m_plan;
    std::unique_ptr<PowerBackend> m_power;
    quint64 m_availabilityQuery = 0; // the question asked at the latest arming
    QString m_toolTip;               // what the tray icon was last told

    // The study reminder (Timer4 and ReminderMinutes): off until "确认", then for good.
    ReminderCounter m_reminder;
    // How the load read "settings.ini"; a failure stays said on the page until a save.
    textfile::ReadStatus m_reminderReadStatus = textfile::ReadStatus::Missing;
    QString m_reminderProblem; // the reader's reason, while the page says it
    void showReminderProblem(const QString& reason);

    VersionNotesScroll m_scroll;
    QTimer m_scrollTimer;
    QPixmap m_notesImage;
    bool m_notesFailed = false;

    QPointer<QWindow> m_lastFocus;
};
