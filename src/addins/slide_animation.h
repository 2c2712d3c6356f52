#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QtGlobal>

#include <optional>

// frmCaution's slide: it rises at the bottom right of the screen, holds for about forty seconds
// and sinks away. Everything is in twips (15 per pixel at 96 dpi): the whole screen (not the work
// area), the window's outer frame and its top-left corner. The window converts, moves its frame
// to the position a tick gives and closes when the tick says the slide is over.
class SlideAnimation {
public:
    // The values SlideState takes.
    enum State : qint16 { Rising = 0, Sinking = 1, Holding = 2 };

    static constexpr int kIntervalMs = 20; // Timer1
    static constexpr qint32 kStep = 120;   // twips a rising or sinking tick moves
    static constexpr qint32 kRightMargin = 200;
    static constexpr qint32 kBottomMargin = 450; // the risen window's bottom above the screen's
    static constexpr qint32 kHoldEnd = 5500;     // holding ends when the counter reaches this
    static constexpr qint32 kSinkFrom = 4200;    // height above the bottom where sinking starts

    struct Tick {
        QPoint position; // where the window's frame is to be; the current position when it stays
        bool finished = false; // the slide is over: close the window (it has not moved)
    };

    // The load steps: a showing while a slide runs does not restart it (nullopt, nothing
    // changes). Otherwise rising starts from the bottom of the screen and the result is the
    // window's first position, flush right and just below the screen.
    std::optional<QPoint> start(const QRect& screen, const QSize& outer);

    // One Timer1 tick. current is where the window's frame is now, which the user may have
    // dragged it to: holding leaves it there, rising and sinking put it back at the right edge.
    // Outside a slide nothing moves and nothing finishes.
    Tick tick(const QRect& screen, const QSize& outer, const QPoint& current);

    // The window was closed before the slide ended (its close button): the next showing starts
    // from the bottom again, not from wherever this one stood.
    void stop();

    bool isRunning() const { return m_running; }
    State state() const { return m_state; }
    qint32 offset() const { return m_offset; }

private:
    bool m_running = false;
    State m_state = Rising;
    // During rising and sinking the height of the window's top above the bottom of the screen,
    // during holding a tick counter.
    qint32 m_offset = 0;
};
