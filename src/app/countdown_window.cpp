#include "app/countdown_window.h"

#include "app/line_fitting.h"
#include "forms/app_context.h"
#include "forms/clock.h"
#include "forms/countdown_style.h"
#include "forms/heartbeat.h"
#include "forms/message_box.h"
#include "forms/skin_library.h"
#include "forms/window_registry.h"
#include "settings/data_files.h"
#include "settings/data_paths.h"
#include "settings/settings_store.h"
#include "winutil/screen_placement.h"
#include "winutil/twips.h"
#include "winutil/window_utils.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScreen>

#include <algorithm>
#include <cmath>

namespace {

qint64 floorDiv(qint64 value, qint64 by) {
    return value / by - (value % by < 0 ? 1 : 0);
}

// Design geometry, in twips.
constexpr double kDesignWidth = 6045;
constexpr double kDesignHeight = 3000;

// The largest window side or position X11 can take.
constexpr int kMaxWindowPixels = 32767;
// What text in the key colour is drawn in: RGB 0, 0, 254.
constexpr quint32 kNearTransparencyKey = 0xFE0000;

struct LabelDesign {
    const char* name;
    double left, top, width, height;
};
constexpr LabelDesign kLabels[] = {
    {"Label1", 0, 0, 6015, 735},
    {"Label2", 0, 840, 6015, 735},
    {"Label3", 0, 1680, 6015, 1215},
};

QString missingTipsMessage() {
    const QString name = QStringLiteral("ral.txt");
    return QStringLiteral("文件") + name + QStringLiteral("没有找到。") + QStringLiteral("\r\n") +
           QStringLiteral("\r\n") + QStringLiteral("创建文本文件名为 ") + name +
           QStringLiteral(" 使用记事本每行写一条提示。") +
           QStringLiteral("然后将它存放在应用程序所在的目录。");
}

} // namespace

CountdownWindow::CountdownWindow(AppContext& context, QWidget* parent)
    : Form(context, kName, parent) {
    setWindowTitle(QStringLiteral("Dalvenor"));
    setWindowFlag(Qt::FramelessWindowHint);
    QLabel** labels[] = {&Label1, &Label2, &Label3};
    for (int i = 0; i < 3; ++i) {
        auto* label = new QLabel(this);
        label->setObjectName(QString::fromLatin1(kLabels[i].name));
        // The lines come from the student's files: what they hold is shown as written, never
        // read as markup (a tag would change the text's look or have the label load a file).
        label->setTextFormat(Qt::PlainText);
        *labels[i] = label;
    }
    Label3->setWordWrap(true);
    Label2->installEventFilter(this);

    connect(&m_timer2, &QTimer::timeout, this, &CountdownWindow::Timer2_Timer);
}

void CountdownWindow::Form_Load() {
    m_loading = true;
    // The skin applies to every window; set up first so that it covers the ones loaded below.
    m_context.skin.SkinH_Attach();
    m_context.skin.SkinH_SetAero(1);
    if (IsVistaSystem())
        m_context.skin.SkinH_SetAero(0);

    readCountdownValues();

    m_timer2.start(60000);
    m_random.seed(quint32(m_context.clock.now().toMSecsSinceEpoch()));

    if (!LoadTips(m_context.paths.tipsFile()))
        showTip(Tips.lastMessage().isEmpty() ? missingTipsMessage() : Tips.lastMessage(), true);

    // The style as stored: colour, font attributes, rectangle, then the face.
    m_context.style.load(m_context.settings,
                         IsVistaSystem() ? QStringLiteral("楷体") : QStringLiteral("楷体_GB2312"));
    applyColour();
    applyFontAttributes();
    applyGeometry();
    followScreens();
    applyFontName();
    // The tip (or the message about the tips file) was read before the window had its
    // rectangle and face: fitted again now, it is drawn whole from the first frame when it fits.
    m_loading = false;
    refitLines();
    connect(&m_context.style, &CountdownStyle::textChanged, this, &CountdownWindow::styleChanged);

    m_context.registry.load(FormName::Tray);

    for (QLabel* label : {Label1, Label2, Label3})
        label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

    // Timer1 is the program's heartbeat: one tick at each new wall-clock second.
    connect(&m_context.heartbeat, &Heartbeat::second, this, &CountdownWindow::showCountdownAt);

    Label1->setText(QString());
    Label2->setText(QString());

    ApplyColorKeyTransparency(this);
    SetColorKeyContentPainter(
        this, [this](QPainter& painter, const QRect& area) { return paintContent(painter, area); });
    updateAccessibleNames();
}

void CountdownWindow::Form_Unload(bool& cancel) {
    Q_UNUSED(cancel)
    // Unloaded, it listens no more: it is deleted only at the next turn of the event loop, and
    // a tick or a style change until then (the warning below waits for the user) would redraw
    // a window that is going away.
    disconnect(&m_context.heartbeat, nullptr, this, nullptr);
    disconnect(&m_context.style, nullptr, this, nullptr);
    QString error;
    if (!m_context.style.storeText(m_context.settings, &error))
        MessageBox::warning(nullptr, QStringLiteral("Dalvenor"),
                            QStringLiteral("无法保存倒计时的字体和颜色：") + error);
}

void CountdownWindow::styleChanged() {
    applyColour();
    applyFontAttributes();
    applyFontName();
    // The lines are fitted to the new face; a change of colour alone changes no text, so the
    // overlay is told to draw it all.
    if (!m_line1.isEmpty() || !m_line2.isEmpty())
        showLines();
    showTip(m_line3, m_line3IsMessage);
    UpdateColorKeyShape(this);
}

void CountdownWindow::readCountdownValues() {
    const CountdownFile file = readCountdownFile(m_context.paths.dataFile("countdown.ini"));
    countdown::Values values;
    values.fileFound = file.status == textfile::ReadStatus::Ok;
    values.readError = file.error;
    if (values.fileFound) {
        values.lineCount = int(file.lines.size());
        QString* fields[] = {&Text1, &Text2, &Text3, &Text4};
        for (int i = 0; i < 4; ++i)
            *fields[i] = i < file.lines.size() ? file.lines.at(i) : QString();
    }
    values.text1 = Text1;
    values.text2 = Text2;
    values.text3 = Text3;
    values.text4 = Text4;
    // The values change only with a reload, so they are parsed once here, not at every tick.
    m_countdown = countdown::prepare(values);
}

void CountdownWindow::Timer1_Timer() {
    showCountdownAt(m_context.clock.moment());
}

void CountdownWindow::showCountdownAt(const Moment& now) {
    // The minute the count is shown for, which its accessible name follows. Offsets from UTC
    // are whole minutes, so the local minute turns with the epoch's.
    m_shownMinute = floorDiv(now.msecsSinceEpoch(), 60 * 1000);
    // Most ticks only advance the kept count by the seconds gone: no local time is needed.
    if (now.isValid() && now.isLocalClock()) {
        if (const auto lines = m_ticker.advanceTo(m_countdown, now.msecsSinceEpoch())) {
            showCountdownLines(*lines);
            return;
        }
    }
    ++m_localTicks;
    showCountdownLines(m_ticker.linesAt(m_countdown, now.local()));
}

void CountdownWindow::showCountdownLines(const countdown::Lines& lines) {
    m_line1 = lines.line1;
    m_line1IsMessage = lines.line1IsMessage;
    m_line2 = lines.line2;
    m_line2IsCountdown = lines.valid;
    m_prefixLength = lines.valid ? lines.prefixLength : 0;
    showLines();
}

void CountdownWindow::showLines() {
    // The first line keeps its beginning; the countdown keeps every digit and unit; a message
    // (in either line) wraps within its label, shrinking if it must, so that both what is
    // wrong and where to mend it can be read.
    const QFont& styleFont = m_styleFont;
    const QSize area1 = Label1->contentsRect().size();
    QFont font1 = styleFont;
    QString line1;
    if (m_line1IsMessage) {
        const QString capped1 = fitting::capped(m_line1);
        font1 = fitting::shrunkToFit(styleFont, capped1, area1, true);
        line1 = fitting::elidedWrapped(capped1, font1, area1);
    } else if (m_line1 == m_line1Source && area1.width() == m_line1Width &&
               Label1->font() == styleFont) {
        line1 = Label1->text(); // the first line changes only with a reload
    } else {
        line1 = fitting::elidedLine(fitting::capped(m_line1), styleFont, area1.width());
    }
    m_line1Source = m_line1IsMessage ? QString() : m_line1;
    m_line1Width = area1.width();

    const bool wrap2 = !m_line2IsCountdown;
    const QSize area2 = Label2->contentsRect().size();
    QFont font2;
    QString line2;
    QStringView count;
    if (wrap2) {
        const QString capped2 = fitting::capped(m_line2);
        font2 = fitting::shrunkToFit(styleFont, capped2, area2, true);
        line2 = fitting::elidedWrapped(capped2, font2, area2);
    } else {
        count = QStringView(m_line2).mid(m_prefixLength);
        const QStringView prefix = QStringView(m_line2).left(m_prefixLength);
        const fitting::CountdownFit& fit =
            fitCountdown(prefix == m_fitKey.prefix ? m_fitKey.prefix : prefix.toString(), count,
                         styleFont, area2);
        font2 = fit.font;
        line2.reserve(fit.prefix.size() + count.size());
        line2.append(fit.prefix);
        line2.append(count);
    }

    // Only what changed is drawn again.
    QRect changed;
    if (Label1->font() != font1 || Label1->wordWrap() != m_line1IsMessage) {
        Label1->setFont(font1);
        Label1->setWordWrap(m_line1IsMessage);
        changed |= Label1->geometry();
    }
    if (Label1->text() != line1)
        changed |= Label1->geometry();
    if (Label2->font() != font2 || Label2->wordWrap() != wrap2) {
        Label2->setFont(font2);
        Label2->setWordWrap(wrap2);
        changed |= Label2->geometry();
    } else if (Label2->text() != line2) {
        // A count after the same prefix is measured from the advances kept for this face.
        if (!wrap2 && m_showsCount && m_fit.prefix == m_shownPrefix) {
            m_drawMeasure.setLine(Label2->font(), m_fit.prefix);
            changed |= changedTextArea(Label2, m_shownCount, count, m_drawMeasure);
        } else {
            changed |= changedTextArea(Label2, Label2->text(), line2);
        }
    }
    if (Label1->text() != line1)
        Label1->setText(line1);
    if (Label2->text() != line2)
        Label2->setText(line2);
    m_showsCount = !wrap2;
    if (m_showsCount) {
        // Copied into the kept buffer, which is never shared: no allocation once warm.
        m_shownCount.resize(count.size());
        std::copy(count.begin(), count.end(), m_shownCount.begin());
        if (m_shownPrefix != m_fit.prefix)
            m_shownPrefix = m_fit.prefix;
    }
    if (!changed.isNull())
        UpdateColorKeyShape(this, changed);
    updateAccessibleNames();
}

const fitting::CountdownFit& CountdownWindow::fitCountdown(const QString& prefix, QStringView count,
                                                           const QFont& font, const QSize& area) {
    const auto sameKey = [&](const CountdownFitKey& key) {
        return count.size() == key.countLength && area == key.area && prefix == key.prefix &&
               font == key.font;
    };
    // Digits of one face may differ in width: a kept fit must still hold for this count.
    const auto holds = [&](const fitting::CountdownFit& fit) {
        m_measure.setLine(fit.font, fit.prefix);
        return m_measure.width(count) <= area.width() + 0.5;
    };
    if (sameKey(m_fitKey)) {
        if (holds(m_fit))
            return m_fit;
    } else {
        const auto kept = std::find_if(m_keptFits.begin(), m_keptFits.end(),
                                       [&](const KeptFit& k) { return sameKey(k.key); });
        if (kept != m_keptFits.end() && holds(kept->fit)) {
            std::swap(kept->key, m_fitKey);
            std::swap(kept->fit, m_fit);
            return m_fit;
        }
    }
    ++m_countdownFits;
    // The fit of the length shown until now is kept, and a stale one of this length goes.
    constexpr size_t kKeptFits = 3;
    std::erase_if(m_keptFits, [&](const KeptFit& k) { return sameKey(k.key); });
    if (m_fitKey.countLength >= 0 && !sameKey(m_fitKey)) {
        if (m_keptFits.size() == kKeptFits)
            m_keptFits.erase(m_keptFits.begin());
        m_keptFits.push_back(KeptFit{m_fitKey, m_fit});
    }
    const QString whole = count.toString();
    m_fit = fitting::fitCountdown(fitting::capped(prefix), whole, font, area);
    m_fitKey = CountdownFitKey{prefix, count.size(), font, area};
    m_measure.setLine(m_fit.font, m_fit.prefix);
    return m_fit;
}

void CountdownWindow::refitLines() {
    if (!m_line1.isEmpty() || !m_line2.isEmpty())
        showLines();
    if (!m_line3.isEmpty())
        showTip(m_line3, m_line3IsMessage);
}

void CountdownWindow::layoutLabels() {
    // The lines span the whole window: the text stands centred in the rectangle the student
    // chose in the display settings, not in a strip at its left edge.
    for (const LabelDesign& design : kLabels) {
        const QRect designed =
            twips::toPixels(design.left, design.top, design.width, design.height, this);
        // A fixed size: a new text then asks the window for no new layout, which would cost a
        // posted event and a turn of the event loop every second.
        auto* label = findChild<QLabel*>(QString::fromLatin1(design.name));
        label->setFixedSize(qMax(1, width() - designed.left()), designed.height());
        label->move(designed.topLeft());
    }
}

void CountdownWindow::resizeEvent(QResizeEvent* event) {
    Form::resizeEvent(event);
    layoutLabels();
    refitLines();
}

bool CountdownWindow::event(QEvent* event) {
    const bool handled = Form::event(event);
    // Another screen may have another resolution: the same points are other pixels there.
    if (event->type() == QEvent::ScreenChangeInternal)
        refitLines();
    return handled;
}

bool CountdownWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Label2 && event->type() == QEvent::Paint) {
        QPainter painter(Label2);
        return paintCount(painter, static_cast<QPaintEvent*>(event)->rect());
    }
    return Form::eventFilter(watched, event);
}

bool CountdownWindow::paintContent(QPainter& painter, const QRect& area) {
    // Only the countdown line's own rectangle, with no other line reaching into it, and a
    // label that fills nothing of its own there (its fill is the window's background).
    const QRect line = Label2->geometry();
    if (!line.contains(area) || Label2->isHidden() || Label2->testAttribute(Qt::WA_StyleSheet))
        return false;
    if (Label2->autoFillBackground() &&
        Label2->palette().brush(Label2->backgroundRole()) != palette().brush(backgroundRole()))
        return false;
    for (const QObject* child : children()) {
        if (child != Label2 && child->isWidgetType() &&
            static_cast<const QWidget*>(child)->isVisible() &&
            static_cast<const QWidget*>(child)->geometry().intersects(area))
            return false;
    }
    painter.translate(line.topLeft());
    if (paintCount(painter, area.translated(-line.topLeft())))
        return true;
    painter.translate(-line.topLeft());
    return false;
}

const QStaticText& CountdownWindow::charPiece(char16_t c) {
    for (const CharPiece& piece : m_charPieces) {
        if (piece.c == c)
            return piece.text;
    }
    QStaticText text{QString(QChar(c))};
    text.setTextFormat(Qt::PlainText);
    text.setPerformanceHint(QStaticText::AggressiveCaching);
    m_charPieces.push_back(CharPiece{c, std::move(text)});
    return m_charPieces.back().text;
}

bool CountdownWindow::paintCount(QPainter& painter, const QRect& clip) {
    const QFont& font = Label2->font();
    // Lines that wrap, decorated faces (an underline drawn in pieces might not join) and any
    // text other than the fitted countdown are drawn by the label itself.
    const QString& text = Label2->text();
    if (!m_showsCount || Label2->wordWrap() || font.underline() || font.strikeOut() ||
        Label2->alignment() != (Qt::AlignHCenter | Qt::AlignTop) || Label2->margin() != 0 ||
        Label2->indent() > 0 || text.size() != m_fit.prefix.size() + m_shownCount.size() ||
        !text.startsWith(m_fit.prefix) || !QStringView(text).endsWith(m_shownCount))
        return false;
    m_drawMeasure.setLine(font, m_fit.prefix);
    if (font != m_piecesFont) {
        m_piecesFont = font;
        m_charPieces.clear();
        m_prefixPiece = QStaticText();
    }
    if (m_prefixPiece.text() != m_fit.prefix) {
        m_prefixPiece = QStaticText(m_fit.prefix);
        m_prefixPiece.setTextFormat(Qt::PlainText);
        m_prefixPiece.setPerformanceHint(QStaticText::AggressiveCaching);
    }

    // Placed as the label places a centred line: from the left of its contents by half of
    // what the line leaves free.
    const QRect contents = Label2->contentsRect();
    const qreal width = m_drawMeasure.width(m_shownCount);
    if (!m_drawMeasure.additive())
        return false;
    qreal x = contents.left() + (contents.width() - width) / 2;
    const qreal top = contents.top();
    // Glyphs reach beyond their advance in italic and bold faces: every glyph whose ink may
    // fall inside the area is drawn.
    const qreal reach = m_drawMeasure.reach() + 2;
    const auto touches = [&](qreal left, qreal advance) {
        return left - reach < clip.right() + 1 && left + advance + reach > clip.left();
    };

    // A painter kept from the tick before has the face and the pen already: setting them
    // again resolves the face and makes a pen anew.
    if (painter.font() != font)
        painter.setFont(font);
    const QColor& colour = Label2->palette().color(Label2->foregroundRole());
    const QPen& pen = painter.pen();
    if (pen.color() != colour || pen.style() != Qt::SolidLine || pen.widthF() != 1)
        painter.setPen(colour);
    const qreal prefixWidth = m_drawMeasure.prefixWidth();
    if (!m_fit.prefix.isEmpty() && touches(x, prefixWidth))
        painter.drawStaticText(QPointF(x, top), m_prefixPiece);
    x += prefixWidth;
    for (const QChar c : std::as_const(m_shownCount)) {
        const qreal advance = m_drawMeasure.advance(c.unicode());
        if (touches(x, advance) && c != u' ')
            painter.drawStaticText(QPointF(x, top), charPiece(c.unicode()));
        x += advance;
    }
    return true;
}

void CountdownWindow::showTip(const QString& text, bool isMessage) {
    m_line3 = text;
    m_line3IsMessage = isMessage;
    if (m_loading)
        return;
    // The same text in the same face and rectangle is fitted already, as long as the label
    // still shows that fit (the first showing resizes the window to the size it has).
    const QSize area = Label3->contentsRect().size();
    const TipFit fit{text, isMessage, m_styleFont, area};
    if (m_lastTipFit && m_lastTipFit->first == fit && Label3->font() == m_lastTipFit->second &&
        Label3->text() == m_lastTipText)
        return;
    ++m_tipFits;
    // A tip keeps the face of the other lines and ends in "…" when it is too long; a message
    // about the tips file shrinks until it is whole.
    const QString capped = fitting::capped(text);
    const QFont font =
        isMessage ? fitting::shrunkToFit(m_styleFont, capped, area, true) : m_styleFont;
    Label3->setFont(font);
    Label3->setText(fitting::elidedWrapped(capped, font, area));
    m_lastTipFit.emplace(fit, Label3->font());
    m_lastTipText = Label3->text();
    UpdateColorKeyShape(this, Label3->geometry());
    updateAccessibleNames();
}

void CountdownWindow::updateAccessibleNames() {
    // The whole lines, not what fits on the desktop. A label with a name of its own no longer
    // announces each new text of its own accord, so the countdown's every-second change stays
    // quiet; the names change, and are announced, only here. They are kept whether or not
    // assistive technology listens: a label without a name would make an accessibility
    // event at every new text, and one that starts to listen finds the names current.
    const auto name = [](QLabel* label, const QString& text) {
        if (label->accessibleName() != text)
            label->setAccessibleName(text);
    };
    name(Label1, m_line1);
    name(Label3, m_line3);
    // The countdown gets its first text at once, then a new one at each new minute of the
    // count's own clock reading (read as it shows, without converting it again).
    if (m_shownMinute != m_spokenMinute || Label2->accessibleName().isEmpty()) {
        m_spokenMinute = m_shownMinute;
        name(Label2, m_line2);
    }
}

QRect CountdownWindow::changedTextArea(const QLabel* label, const QString& before,
                                       const QString& after) {
    fitting::LineMeasure measure;
    measure.setLine(label->font(), QString());
    return changedTextArea(label, before, after, measure);
}

QRect CountdownWindow::changedTextArea(const QLabel* label, QStringView beforeCount,
                                       QStringView afterCount, fitting::LineMeasure& measure) {
    const QRect whole = label->geometry();
    if ((beforeCount.isEmpty() && measure.prefix().isEmpty()) || label->wordWrap() ||
        beforeCount.contains(u'\n') || afterCount.contains(u'\n') ||
        measure.prefix().contains(u'\n'))
        return whole;
    // The caller gives the measure the label's face and the prefix.
    // A line of another width is centred elsewhere: every glyph moves.
    const qreal width = measure.width(afterCount);
    if (measure.width(beforeCount) != width)
        return whole;
    qsizetype same = 0;
    while (same < beforeCount.size() && same < afterCount.size() &&
           beforeCount[same] == afterCount[same])
        ++same;
    // The characters after the last change keep their places too (the widths are equal).
    qsizetype sameTail = 0;
    while (sameTail < afterCount.size() - same && sameTail < beforeCount.size() - same &&
           beforeCount[beforeCount.size() - 1 - sameTail] ==
               afterCount[afterCount.size() - 1 - sameTail])
        ++sameTail;
    const qreal start = (whole.width() - width) / 2;
    qreal kept = 0;
    qsizetype through = 0;
    qreal margin = 0;
    if (measure.additive()) {
        // Each character stands on its own: the changed characters only, and as far as ink
        // reaches beyond an advance (italic and bold faces), a pixel more each side for the
        // antialiased edge and another for rounding.
        kept = measure.width(afterCount, same);
        through = afterCount.size() - sameTail;
        margin = measure.reach() + 2;
    } else {
        // One character each side, for shaping across the changes (into the prefix, by an
        // em, when the count changes at its start), and half an em for glyphs that reach
        // beyond their advance.
        const qreal height = measure.height();
        kept =
            same > 0 ? measure.width(afterCount, same - 1) : measure.width(afterCount, 0) - height;
        through = std::min(afterCount.size(), afterCount.size() - sameTail + 1);
        margin = height / 2;
    }
    const int left = int(std::floor(start + kept - margin));
    const int right = std::min(whole.width(),
                               int(std::ceil(start + measure.width(afterCount, through) + margin)));
    if (left <= 0 || right <= left)
        return whole;
    // Of the rows, those the ink of the line may cover (the line stands at the top of the
    // label), with the same pixel of antialiasing and another for rounding.
    int top = 0;
    int bottom = whole.height();
    if (measure.additive()) {
        const int lineTop = label->contentsRect().top();
        top = std::max(0, int(std::floor(lineTop + measure.inkTop() - 2)));
        bottom = std::min(whole.height(), int(std::ceil(lineTop + measure.inkBottom() + 2)));
        if (bottom <= top)
            return whole;
    }
    return QRect(whole.left() + left, whole.top() + top, right - left, bottom - top);
}

bool CountdownWindow::LoadTips(const QString& path) {
    if (path.isEmpty())
        return false;
    m_tipsResult = Tips.load(path);
    if (m_tipsResult != TipList::LoadResult::Ok)
        return false;
    PickRandomTip();
    return true;
}

void CountdownWindow::PickRandomTip() {
    const float r = uniformSingle(m_random.generate());
    CurrentTipIndex = tipNumberFor(r, Tips.count());
    DisplayCurrentTip();
}

void CountdownWindow::DisplayCurrentTip() {
    if (Tips.count() < 1)
        return;
    showTip(Tips.tip(CurrentTipIndex));
}

void CountdownWindow::Timer2_Timer() {
    TipTickCount = qint16(TipTickCount + 1);
    if (TipTickCount == 1) {
        PickRandomTip();
        TipTickCount = 0;
    }
}

void CountdownWindow::applyColour() {
    // Text in exactly the transparency key would vanish with the background: it is drawn one
    // step off the key. The stored colour stays what the user chose.
    const quint32 stored = m_context.style.text().foreColor;
    const QColor colour = colorFromBgr(stored == kTransparencyKey ? kNearTransparencyKey : stored);
    for (QLabel* label : {Label1, Label2, Label3}) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, colour);
        label->setPalette(palette);
    }
}

void CountdownWindow::applyFontAttributes() {
    const TextStyle& style = m_context.style.text();
    for (QLabel* label : {Label1, Label2, Label3}) {
        QFont font = label->font();
        font.setPointSizeF(style.fontSize);
        font.setBold(style.bold);
        font.setItalic(style.italic);
        font.setUnderline(style.underline);
        font.setStrikeOut(style.strikethru);
        label->setFont(font);
    }
    m_styleFont = Label3->font();
}

void CountdownWindow::applyGeometry() {
    if (takeRecentreMarker(m_context.paths.dataDir())) {
        setGeometry(centredDesignGeometry());
    } else if (const std::optional<QRect> stored = visibleGeometry(m_context.style.rect())) {
        setGeometry(*stored);
    } else {
        // A rectangle no screen shows (a monitor unplugged, a lower resolution) or one that
        // is no rectangle at all would hide the countdown for good. It is centred for this
        // run; the stored values stay, so the old place comes back with its monitor.
        setGeometry(centredDesignGeometry());
    }

    layoutLabels();
}

QRect CountdownWindow::centredDesignGeometry() const {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
    const double screenWidth = twips::fromPixelsX(area.width(), this);
    const double screenHeight = twips::fromPixelsY(area.height(), this);
    return twips::toPixels((screenWidth - kDesignWidth) / 2, (screenHeight - kDesignHeight) / 2,
                           kDesignWidth, kDesignHeight, this)
        .translated(area.topLeft());
}

std::optional<QRect> CountdownWindow::visibleGeometry(const CountdownRect& rect) const {
    // X11 takes window sizes and positions as 16-bit numbers.
    const double limitX = twips::fromPixelsX(kMaxWindowPixels, this);
    const double limitY = twips::fromPixelsY(kMaxWindowPixels, this);
    const auto within = [](double value, double low, double high) {
        return std::isfinite(value) && value >= low && value <= high;
    };
    if (!within(rect.width, 0, limitX) || !within(rect.height, 0, limitY) ||
        !within(rect.left, -limitX, limitX) || !within(rect.top, -limitY, limitY))
        return std::nullopt;
    const QRect pixels = twips::toPixels(rect.left, rect.top, rect.width, rect.height, this);
    if (pixels.width() < 1 || pixels.height() < 1)
        return std::nullopt;
    // Partly on a screen is enough: the student put it there.
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (screen->geometry().intersects(pixels))
            return pixels;
    }
    return std::nullopt;
}

void CountdownWindow::applyFontName() {
    const QString& name = m_context.style.text().fontName;
    for (QLabel* label : {Label1, Label2, Label3}) {
        QFont font = label->font();
        font.setFamily(name);
        // Glyphs on whole pixels: the centred countdown line moves by fractions of a pixel as
        // its width changes, and every new fraction would be another glyph image to rasterise.
        font.setHintingPreference(QFont::PreferFullHinting);
        label->setFont(font);
    }
    m_styleFont = Label3->font();
}

void CountdownWindow::followScreens() {
    // Where applyGeometry had to centre the countdown because its stored place is on no
    // screen, that place comes back with its monitor.
    m_displacedByScreens = !visibleGeometry(m_context.style.rect()).has_value();
    if (m_followingScreens)
        return;
    m_followingScreens = true;
    auto watch = [this](QScreen* screen) {
        connect(screen, &QScreen::geometryChanged, this, &CountdownWindow::screensChanged);
    };
    for (QScreen* screen : QGuiApplication::screens())
        watch(screen);
    connect(qGuiApp, &QGuiApplication::screenAdded, this, [this, watch](QScreen* screen) {
        watch(screen);
        screensChanged();
    });
    connect(qGuiApp, &QGuiApplication::screenRemoved, this, &CountdownWindow::screensChanged);
    connect(qGuiApp, &QGuiApplication::primaryScreenChanged, this,
            &CountdownWindow::screensChanged);
}

void CountdownWindow::screensChanged() {
    // One change of monitors arrives as several signals, some while Qt still lists a screen
    // that is going away: the place is chosen once they are all in.
    if (m_screensChangeQueued)
        return;
    m_screensChangeQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_screensChangeQueued = false;
            QList<QRect> screens;
            for (const QScreen* screen : QGuiApplication::screens())
                screens.append(screen->geometry());
            const ScreenPlacement placement = placeOnScreens(
                geometry(), m_displacedByScreens, visibleGeometry(m_context.style.rect()), screens,
                centredDesignGeometry());
            m_displacedByScreens = placement.displaced;
            if (placement.geometry == geometry())
                return;
            setGeometry(placement.geometry);
            // The lines span the window, and are fitted to the new width as after a change
            // of style.
            for (QLabel* label : {Label1, Label2, Label3})
                label->resize(qMax(1, width() - label->x()), label->height());
            styleChanged();
        },
        Qt::QueuedConnection);
}
