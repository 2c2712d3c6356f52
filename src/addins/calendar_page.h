#pragma once

#include "addins/addins_page.h"

#include <QDate>

#include <optional>

class LunarCalendarWidget;

// Tab "小日历": a month calendar and, under it, the Chinese calendar line of the selected day
// (lunar date, solar term, days to the countdown's target).
class CalendarPage final : public AddinsPage {
    Q_OBJECT
public:
    CalendarPage(AppContext& context, QWidget* parent);

    void MonthView1_SelectionChanged();
    // The Chinese calendar line of a day.
    QString lunarLine(QDate day) const;

    // The countdown's target date (nothing when "countdown.ini" gives no valid date); the
    // line under the calendar follows it at once.
    std::optional<QDate> targetDate() const { return m_targetDate; }
    void setTargetDate(std::optional<QDate> date);

    // The calendar opened on today, centred in a window of that size.
    void openOn(QDate today, QSize window);
    // The new day moves the calendar's mark for today.
    void setToday(QDate today);

private:
    void centreIn(QSize window);

    LunarCalendarWidget* MonthView1 = nullptr;
    QLabel* LabLunar = nullptr;
    std::optional<QDate> m_targetDate;
};
