#include "addins/lunar_calendar_widget.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QPainter>
#include <QToolButton>
#include <QToolTip>

LunarCalendarWidget::LunarCalendarWidget(QWidget* parent) : QCalendarWidget(parent) {
    m_view = findChild<QAbstractItemView*>(QStringLiteral("qt_calendar_calendarview"));
    if (m_view)
        m_view->viewport()->installEventFilter(this);
    keepMonthArrowsAsDrawn();
}

bool LunarCalendarWidget::event(QEvent* event) {
    const bool handled = QCalendarWidget::event(event);
    // A change of direction gives the month buttons the style's full arrows again.
    if (event->type() == QEvent::LayoutDirectionChange)
        keepMonthArrowsAsDrawn();
    return handled;
}

void LunarCalendarWidget::keepMonthArrowsAsDrawn() {
    // The style hands the month buttons its arrows in every size it has, up to 128 pixels
    // square: some 170 KiB of pixmaps for two arrows drawn at a few pixels, held for as long
    // as the window lives. The buttons keep only the pixmaps they draw, taken from the
    // style's own icon, so they look the same.
    const qreal ratio = devicePixelRatioF();
    for (const char* name : {"qt_calendar_prevmonth", "qt_calendar_nextmonth"}) {
        auto* button = findChild<QToolButton*>(QLatin1String(name));
        if (!button || button->icon().isNull())
            continue;
        const QIcon full = button->icon();
        const QSize size = button->iconSize();
        QIcon kept;
        kept.addPixmap(full.pixmap(size, 1.0));
        if (!qFuzzyCompare(ratio, 1.0))
            kept.addPixmap(full.pixmap(size, ratio));
        button->setIcon(kept);
    }
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
