#pragma once

#include <QCalendarWidget>
#include <QDate>
#include <QRect>
#include <QString>

#include <functional>
#include <vector>

class QAbstractItemView;

// The month calendar of "小日历": today framed, and each day's Chinese calendar line as the
// tooltip of its cell. Which date a cell shows is learnt while it is painted, so the tooltip
// never has to repeat the calendar's own layout rules.
class LunarCalendarWidget final : public QCalendarWidget {
    Q_OBJECT
public:
    using Describer = std::function<QString(QDate)>;

    explicit LunarCalendarWidget(QWidget* parent = nullptr);

    // The text shown as a day's tooltip (nothing is shown for an empty text).
    void setDescriber(Describer describer) { m_describe = std::move(describer); }
    // The day to frame as today; the program moves it on at midnight.
    void setToday(QDate today);
    QDate today() const { return m_today; }

    // The grid of days (tooltips and clicks arrive on its viewport).
    QAbstractItemView* dayView() const { return m_view; }
    // The day painted at a point of the grid's viewport, or an invalid date.
    QDate dateAt(const QPoint& viewportPos) const;
    // The cell of a day in the grid's viewport, or an empty rectangle when it is not shown.
    QRect cellRect(QDate date) const;

protected:
    void paintCell(QPainter* painter, const QRect& rect, QDate date) const override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void keepMonthArrowsAsDrawn();

    struct Cell {
        QRect rect;
        QDate date;
    };

    Describer m_describe;
    QDate m_today;
    QAbstractItemView* m_view = nullptr;
    // Filled while painting, which is a const operation of the base class.
    mutable std::vector<Cell> m_cells;
};
