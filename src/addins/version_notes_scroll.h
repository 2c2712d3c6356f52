#pragma once

#include <QRect>
#include <QtGlobal>

// The version-notes scroll on the "版本说明" tab, without drawing: where the text is, when it
// moves, and whether it is stopped (StopScroll). The window measures the text (that needs its
// font), drives step() from a timer with a monotonic clock (QElapsedTimer::elapsed()), and
// draws the text in frameRect().
//
// The text moves up 1 pixel a step, a step only when more than 24 ms have passed since the
// previous one, so it scrolls at about 40 pixels a second however often step() is called. Once
// the text has left the box at the top it comes back in from below.
class VersionNotesScroll {
public:
    static constexpr qint64 kMinStepGapMs = 24; // a step needs strictly more than this

    // The box (Picmain) in pixels and the height of the whole text in pixels; set them before
    // restart(), which puts the text just below the box.
    void setBox(int width, int height);
    void setTextHeight(int height);

    // Starts the text afresh just below the box and runs the scroll; the first step comes at
    // the next call of step(), whatever the time.
    void restart();
    // StopScroll := True: the text freezes where it is.
    void stop();
    bool isStopped() const { return m_stopped; }

    // Moves the text when a step is due at elapsedMs; true when it moved (repaint).
    bool step(qint64 elapsedMs);
    // Milliseconds from elapsedMs until step() will move the text: 0 when it would move now,
    // -1 when stopped. For a timer that wakes only when there is something to do.
    qint64 msUntilNextStep(qint64 elapsedMs) const;

    // Where the text is drawn now: the rectangle of the last step, left 0, as wide as the box.
    QRect frameRect() const;
    // The rectangle the next step draws in (the last one moved up by 1, or back below the box).
    QRect nextRect() const;
    int textHeight() const { return m_textHeight; }

private:
    QRect rectAt(int top) const { return QRect(0, top, m_boxWidth, m_textHeight); }

    int m_boxWidth = 0;
    int m_boxHeight = 0;
    int m_textHeight = 0;
    int m_top = 0;          // top of the rectangle the next step draws in
    int m_frameTop = 0;     // top of the rectangle the last step drew in
    bool m_stopped = true;  // nothing scrolls before the first restart()
    bool m_stepped = false; // a step since the last restart
    qint64 m_lastStepMs = 0;
};
