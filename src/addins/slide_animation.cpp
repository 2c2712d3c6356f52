#include "addins/slide_animation.h"

namespace {

QPoint slidPosition(const QRect& screen, const QSize& outer, qint32 offset) {
    return {screen.x() + screen.width() - outer.width() - SlideAnimation::kRightMargin,
            screen.y() + screen.height() - offset};
}

} // namespace

std::optional<QPoint> SlideAnimation::start(const QRect& screen, const QSize& outer) {
    if (m_running)
        return std::nullopt;
    m_running = true;
    m_state = Rising;
    // A completed slide ends at 0 and a closed one is reset by stop(); starting from 0 here as
    // well means a caller that missed a close cannot start a slide half-way up the screen.
    m_offset = 0;
    return QPoint(screen.x() + screen.width() - outer.width(), screen.y() + screen.height());
}

SlideAnimation::Tick SlideAnimation::tick(const QRect& screen, const QSize& outer,
                                          const QPoint& current) {
    if (!m_running)
        return {current, false};
    switch (m_state) {
    case Rising: {
        if (qint64(outer.height()) + kBottomMargin <= m_offset)
            m_state = Holding; // this tick still moves
        const QPoint to = slidPosition(screen, outer, m_offset);
        m_offset += kStep;
        return {to, false};
    }
    case Holding:
        if (++m_offset >= kHoldEnd) {
            m_state = Sinking;
            m_offset = kSinkFrom;
        }
        return {current, false};
    case Sinking:
        if (m_offset <= 0) {
            m_running = false;
            m_offset = 0;
            return {current, true};
        }
        const QPoint to = slidPosition(screen, outer, m_offset);
        m_offset -= kStep;
        return {to, false};
    }
    return {current, false};
}

void SlideAnimation::stop() {
    m_running = false;
    m_state = Rising;
    m_offset = 0;
}
