#pragma once

#include "addins/addins_page.h"
#include "addins/power_plan.h"

#include <QDateTime>

#include <memory>

class PowerBackend;
class QGroupBox;
class QKeyEvent;
class QRadioButton;

// Tab "定时关机": the scheduled power action, at a time of day (方式一) or after a count of
// hours, minutes and seconds (方式二), with the system time in the frame's caption.
class PowerActionPage final : public AddinsPage {
    Q_OBJECT
public:
    PowerActionPage(AppContext& context, MonotonicClock monotonic, QWidget* parent);
    ~PowerActionPage() override;

    // The load's steps for this page: the lists and their first items.
    void fillLists();

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

    // The caption at once, whatever the window's state (it is being shown).
    void refreshFrameCaption(const QDateTime& now);

    // PlanHour, PlanMinute, PlanSecond, the mode and the status texts.
    const power::PowerPlan& powerPlan() const { return m_plan; }
    // The system's power service that carries out the action. Without one, arming says the
    // action cannot happen here and firing says it did not: a page made without it can never
    // touch the machine (tests give a fake one).
    void setPowerBackend(std::unique_ptr<PowerBackend> backend);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool isTimeBox(const QObject* object) const;
    void powerTick(const QDateTime& now);
    void showPowerState(const QString& status, const QString& toolTip);
    void powerQueryAnswered(quint64 id, PowerAction action, const QString& note);
    void powerRequestFinished(quint64 id, PowerAction action, const QString& error);

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

    MonotonicClock m_monotonic;
    power::PowerPlan m_plan;
    std::unique_ptr<PowerBackend> m_power;
    quint64 m_availabilityQuery = 0; // the question asked at the latest arming
    QString m_toolTip;               // what the tray icon was last told
};
