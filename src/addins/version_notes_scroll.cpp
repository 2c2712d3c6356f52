#include "addins/version_notes_scroll.h"

#include <algorithm>

void VersionNotesScroll::setBox(int width, int height) {
    m_boxWidth = std::max(width, 0);
    m_boxHeight = std::max(height, 0);
}

void VersionNotesScroll::setTextHeight(int height) {
    m_textHeight = std::max(height, 0);
}

void VersionNotesScroll::restart() {
    m_top = m_boxHeight;
    m_frameTop = m_boxHeight;
    m_stopped = false;
    m_stepped = false;
}

void VersionNotesScroll::stop() {
    m_stopped = true;
}

bool VersionNotesScroll::step(qint64 elapsedMs) {
    if (msUntilNextStep(elapsedMs) != 0)
        return false;
    // The frame is drawn where the rectangle stands, then the rectangle moves on for the next.
    m_frameTop = m_top;
    --m_top;
    if (m_top < -m_textHeight)
        m_top = m_boxHeight;
    m_stepped = true;
    m_lastStepMs = elapsedMs;
    return true;
}

qint64 VersionNotesScroll::msUntilNextStep(qint64 elapsedMs) const {
    if (m_stopped)
        return -1;
    if (!m_stepped)
        return 0;
    if (elapsedMs > m_lastStepMs + kMinStepGapMs)
        return 0;
    return m_lastStepMs + kMinStepGapMs + 1 - elapsedMs;
}

QRect VersionNotesScroll::frameRect() const {
    return rectAt(m_frameTop);
}

QRect VersionNotesScroll::nextRect() const {
    return rectAt(m_top);
}
