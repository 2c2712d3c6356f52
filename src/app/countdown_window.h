#pragma once

#include "app/countdown_clock.h"
#include "app/line_fitting.h"
#include "app/tips.h"
#include "forms/form.h"
#include "forms/form_names.h"

#include <QRandomGenerator>
#include <QStaticText>
#include <QString>
#include <QTimer>

#include <optional>
#include <vector>

struct CountdownRect;

class QLabel;

class Moment;

// frmMain: the countdown drawn straight on the desktop. Its load sequence is the program's
// start-up; other windows change it by setting its labels' font and colour and reloading it.
class CountdownWindow final : public Form {
    Q_OBJECT
public:
    static constexpr QLatin1String kName = FormName::Main;

    explicit CountdownWindow(AppContext& context, QWidget* parent = nullptr);

    void Form_Load() override;
    void Form_Unload(bool& cancel) override;

    // The countdown at the clock's time; the heartbeat's tick shows it at the time it read.
    void Timer1_Timer();
    void showCountdownAt(const Moment& now);
    void Timer2_Timer();

    bool LoadTips(const QString& path);
    void PickRandomTip();
    void DisplayCurrentTip();

    // The three lines; their font and colour follow the shared countdown style.
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;

    // The four countdown values, lines 1 to 4 of "countdown.ini".
    QString Text1, Text2, Text3, Text4;

    TipList Tips;
    qint32 CurrentTipIndex = 0;
    qint16 TipTickCount = 0;

    // The part of a one-line centred label that differs between two texts of the same width,
    // in the window's coordinates; the whole label when that cannot be told.
    static QRect changedTextArea(const QLabel* label, const QString& before, const QString& after);
    // The same for two counts after one prefix, measured in the label's face by measure,
    // whose prefix they share.
    static QRect changedTextArea(const QLabel* label, QStringView beforeCount,
                                 QStringView afterCount, fitting::LineMeasure& measure);

    // How many times the countdown line was fitted afresh, and how many times it was shaped
    // whole to be measured: a tick that changes no length does neither.
    int countdownFits() const { return m_countdownFits; }
    int localTicks() const { return m_localTicks; }
    int countdownShapings() const { return m_measure.shapings() + m_drawMeasure.shapings(); }
    // How many times the tip line was fitted to its label.
    int tipFits() const { return m_tipFits; }

    // Draws area (the window's coordinates) onto painter, over the window's background, when
    // it lies in the countdown line alone: how the overlay draws a tick's change, without
    // the labels' painting. False, with nothing drawn, where the labels must draw it.
    bool paintContent(QPainter& painter, const QRect& area);

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void readCountdownValues();
    // Places the three labels across the window's width.
    void layoutLabels();
    // Fits the lines again to their labels, after a change of rectangle, face or screen.
    void refitLines();
    void applyColour();
    void applyFontAttributes();
    void applyGeometry();
    // The design size, centred on the primary screen.
    QRect centredDesignGeometry() const;
    // The stored rectangle in pixels, unless it is degenerate, absurdly large or on no screen.
    std::optional<QRect> visibleGeometry(const CountdownRect& rect) const;
    // Keeps the countdown on a screen while monitors come and go: its stored rectangle as
    // long as a screen shows it, otherwise the centred default for this run, and the stored
    // rectangle again once a screen shows it. Stored values are never changed by this.
    void followScreens();
    void screensChanged();
    void applyFontName();
    // Shows a change of the shared style on all three lines at once.
    void styleChanged();
    // Shows the lines as they fit their labels.
    void showLines();
    void showCountdownLines(const countdown::Lines& lines);
    void showTip(const QString& text, bool isMessage = false);
    // Gives the three lines to a screen reader as their labels' accessible names: the first
    // line and the tip when they change, the countdown once a minute (a name read out every
    // second would drown everything else). Does nothing while no assistive technology is
    // connected, so that it costs nothing then.
    void updateAccessibleNames();

    QTimer m_timer2;
    bool m_followingScreens = false;
    bool m_displacedByScreens = false;
    bool m_screensChangeQueued = false;
    // The lines as the countdown and the tips give them, before fitting.
    QString m_line1, m_line2, m_line3;
    bool m_line1IsMessage = false;
    bool m_line2IsCountdown = true;
    // The face of the style, as the lines are drawn when nothing needs to shrink.
    QFont m_styleFont;
    // The first line as last fitted, and the width it was fitted to.
    QString m_line1Source;
    int m_line1Width = -1;
    qsizetype m_prefixLength = 0;
    // The last fit of the countdown line: the fit changes only with the prefix, the number
    // of characters of the count, the face and the label, not with every second.
    struct CountdownFitKey {
        QString prefix;
        qsizetype countLength = -1;
        QFont font;
        QSize area;
        bool operator==(const CountdownFitKey&) const = default;
    };
    CountdownFitKey m_fitKey;
    fitting::CountdownFit m_fit;
    // The fits of the last few other lengths: the count changes its length back and forth
    // every minute (from "10秒" to "9秒", from "0秒" to "59秒"), and each length is fitted once.
    struct KeptFit {
        CountdownFitKey key;
        fitting::CountdownFit fit;
    };
    std::vector<KeptFit> m_keptFits;
    int m_countdownFits = 0;
    int m_tipFits = 0;
    struct TipFit {
        QString text;
        bool isMessage = false;
        QFont font;
        QSize area;
        bool operator==(const TipFit&) const = default;
    };
    // The last fit and the face and text it gave the label.
    std::optional<std::pair<TipFit, QFont>> m_lastTipFit;
    QString m_lastTipText;
    // Measures the countdown line in its fitted face; and the count the second label shows
    // after the fitted prefix, while it shows one.
    fitting::LineMeasure m_measure;
    // The same in the face the label draws with (it compares unequal to the fitted face when
    // it carries what it took from the window), for the changed area and the drawing.
    fitting::LineMeasure m_drawMeasure;
    QString m_shownPrefix;
    QString m_shownCount;
    bool m_showsCount = false;
    // The countdown line drawn from laid-out pieces kept per face: the prefix as one piece,
    // the count a character at a time, and of those only the ones in the area drawn again.
    // A tick then lays out nothing and draws the glyphs of the changed digits only.
    bool paintCount(QPainter& painter, const QRect& clip);
    QStaticText m_prefixPiece;
    QFont m_piecesFont;
    struct CharPiece {
        char16_t c;
        QStaticText text;
    };
    std::vector<CharPiece> m_charPieces;
    const QStaticText& charPiece(char16_t c);
    const fitting::CountdownFit& fitCountdown(const QString& prefix, QStringView count,
                                              const QFont& font, const QSize& area);
    bool m_line3IsMessage = false;
    // While the window loads, a tip is only kept: its label has neither its rectangle nor its
    // face yet, and fitting it there would load a font the window never shows.
    bool m_loading = false;
    // The minute (milliseconds since the epoch / 60000) the count was last shown for, and the
    // one of its last accessible name.
    qint64 m_shownMinute = -1;
    // How many ticks had their local time worked out for them (a tick that only advances
    // the count needs none).
    int m_localTicks = 0;
    qint64 m_spokenMinute = -1;
    QRandomGenerator m_random;
    countdown::Prepared m_countdown;
    countdown::Ticker m_ticker;
    TipList::LoadResult m_tipsResult = TipList::LoadResult::Missing;
};
