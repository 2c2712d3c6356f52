#include "addins/lunar_calendar_widget.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

LunarCalendarWidget::LunarCalendarWidget(QWidget* parent) : QCalendarWidget(parent) {
    m_view = findChild<QAbstractItemView*>(QStringLiteral("qt_calendar_calendarview"));
    if (m_view)
        m_view->viewport()->installEventFilter(this);
}

void LunarCalendarWidget::setToday(QDate today) {
    if (today == m_today)
        return;
    m_today = today;
    updateCells();
}

QDate LunarCalendarWidget::dateAt(const QPoint& viewportPos) const {
    for (const Cell& cell : m_cells) {
        if (cell.rect.contains(viewportPos))
            return cell.date;
    }
    return {};
}

QRect LunarCalendarWidget::cellRect(QDate date) const {
    for (const Cell& cell : m_cells) {
        if (cell.date == date)
            return cell.rect;
    }
    return {};
}

void LunarCalendarWidget::paintCell(QPainter* painter, const QRect& rect, QDate date) const {
    QCalendarWidget::paintCell(painter, rect, date);
    // A repaint of part of the grid repaints those cells only: replace what was there.
    auto same = std::find_if(m_cells.begin(), m_cells.end(),
                             [&](const Cell& cell) { return cell.rect == rect; });
    if (same != m_cells.end())
        same->date = date;
    else
        m_cells.push_back({rect, date});

    if (date == m_today) {
        painter->save();
        painter->setPen(QPen(QColor(200, 0, 0), 1));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(rect.adjusted(0, 0, -1, -1));
        painter->restore();
    }
}

bool LunarCalendarWidget::eventFilter(QObject* watched, QEvent* event) {
    if (m_view && watched == m_view->viewport() && event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const QDate date = dateAt(help->pos());
        const QString text = (date.isValid() && m_describe) ? m_describe(date) : QString();
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, m_view->viewport(), cellRect(date));
        return true;
    }
    return QCalendarWidget::eventFilter(watched, event);
}
