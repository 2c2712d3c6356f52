#include "addins/calendar_page.h"

#include "addins/lunar_calendar.h"
#include "addins/lunar_calendar_widget.h"
#include "forms/twips_layout.h"
#include "winutil/twips.h"

#include <QLabel>
#include <QLocale>

CalendarPage::CalendarPage(AppContext& context, QWidget* parent) : AddinsPage(context, parent) {
    MonthView1 = twipslayout::add<LunarCalendarWidget>(this, "MonthView1", 1163, 697, 4065, 2220);
    MonthView1->setDateRange(QDate(1753, 1, 1), QDate(9999, 12, 31));
    MonthView1->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    // Month and day names in Chinese like every other text of the program, whatever the
    // desktop's language.
    MonthView1->setLocale(QLocale(QLocale::Chinese, QLocale::China));
    MonthView1->setDescriber([this](QDate day) { return lunarLine(day); });
    // The calendar is for looking up dates: a press on it never drags the window.
    MonthView1->setAttribute(Qt::WA_NoMousePropagation);
    connect(MonthView1, &QCalendarWidget::selectionChanged, this,
            &CalendarPage::MonthView1_SelectionChanged);

    // The Chinese calendar line of the selected day, under the calendar.
    LabLunar = new QLabel(this);
    LabLunar->setObjectName(QStringLiteral("LabLunar"));
    LabLunar->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
}

QString CalendarPage::lunarLine(QDate day) const {
    return lunar::describeDay(day, m_targetDate);
}

void CalendarPage::MonthView1_SelectionChanged() {
    LabLunar->setText(lunarLine(MonthView1->selectedDate()));
}

void CalendarPage::setTargetDate(std::optional<QDate> date) {
    m_targetDate = date;
    MonthView1_SelectionChanged();
}

void CalendarPage::openOn(QDate today, QSize window) {
    MonthView1->setToday(today);
    MonthView1->setSelectedDate(today);
    MonthView1->setCurrentPage(today.year(), today.month());
    centreIn(window);
    MonthView1_SelectionChanged();
}

void CalendarPage::setToday(QDate today) {
    MonthView1->setToday(today);
}

void CalendarPage::centreIn(QSize window) {
    // Centred in the window, 80 twips above the middle; the page shares the window's
    // coordinates, since the tab control fills the window from its corner.
    const int left = (window.width() - MonthView1->width()) / 2;
    const int top = (window.height() - MonthView1->height()) / 2 - twips::toPixelsY(80, this);
    MonthView1->move(left, top);
    const int lineHeight = LabLunar->fontMetrics().height() + 2;
    LabLunar->setGeometry(0, MonthView1->geometry().bottom() + 3, window.width(), lineHeight);
}
