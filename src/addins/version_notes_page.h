#pragma once

#include "addins/addins_page.h"
#include "addins/version_notes_scroll.h"

#include <QPixmap>
#include <QTimer>

#include <optional>

// Tab "版本说明": the version notes scrolling up in a black box (Picmain), green on black, with
// a button that stops them and starts them again from below.
class VersionNotesPage final : public AddinsPage {
    Q_OBJECT
public:
    // Height in pixels of the version notes in a font, one line per text line, or nothing when
    // it cannot be measured.
    using TextMeasurer = std::function<std::optional<int>(const QFont&, const QString&)>;

    VersionNotesPage(AppContext& context, MonotonicClock monotonic, QWidget* parent);

    // The load's step for this page: the notes' font.
    void setNotesFont();

    void Command1_Click();
    void ScrollVersionNotes();
    // One tick of the scroll's timer: a step when due, then the wake-up for the next one.
    void ScrollTimer_Timer();

    // The window was shown (again): the notes scroll afresh and the button says 停止.
    void restartOnShow();
    // The window became active again: the notes start from below unless 停止 froze them.
    void resumeOnActivate();
    // Nobody sees the notes: no wake-ups until the window shows again.
    // The finished image of the notes goes while the window is hidden.
    void releaseNotesImage();
    bool hasNotesImage() const { return !m_notesImage.isNull(); }
    void pauseTimer();
    // The window is unloaded: the scroll stops as if 停止 had been pressed.
    void stopScroll();

    bool isScrollTimerActive() const { return m_scrollTimer.isActive(); }
    const VersionNotesScroll& scroll() const { return m_scroll; }
    bool StopScroll() const { return m_scroll.isStopped(); }

    void setTextMeasurer(TextMeasurer measurer);

private:
    friend class VersionNotesBox;

    void prepareNotesImage();
    void scheduleNextStep();
    void paintNotes(QWidget* box);
    bool isOnScreen() const;

    QWidget* Picmain = nullptr;
    QPushButton* Command1 = nullptr;

    MonotonicClock m_monotonic;
    TextMeasurer m_measureText;
    VersionNotesScroll m_scroll;
    QTimer m_scrollTimer;
    QPixmap m_notesImage;
};
