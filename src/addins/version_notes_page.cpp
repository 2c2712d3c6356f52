#include "addins/version_notes_page.h"

#include "addins/version_notes.h"
#include "forms/message_box.h"
#include "forms/twips_layout.h"
#include "winutil/window_utils.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPushButton>

namespace {

const QColor kNotesBackground(0, 0, 0);
const QColor kNotesText(0, 255, 0);

QString stopCaption() {
    return QStringLiteral("停止");
}
QString restartCaption() {
    return QStringLiteral("重新开始");
}

std::optional<int> measureNotes(const QFont& font, const QString& text) {
    const QFontMetrics metrics(font);
    const QRect bounds = metrics.boundingRect(QRect(), Qt::AlignLeft | Qt::AlignTop, text);
    if (bounds.height() <= 0)
        return std::nullopt;
    return bounds.height();
}

// The version notes as drawn: one text line per line (the stored text ends its lines CR LF).
QString notesForDrawing() {
    QString text = versionnotes::text();
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

} // namespace

// Picmain: the black box in which the version notes scroll.
class VersionNotesBox final : public QWidget {
public:
    VersionNotesBox(VersionNotesPage* page) : QWidget(page), m_page(page) {
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override { m_page->paintNotes(this); }

private:
    VersionNotesPage* m_page;
};

VersionNotesPage::VersionNotesPage(AppContext& context, MonotonicClock monotonic, QWidget* parent)
    : AddinsPage(context, parent), m_monotonic(std::move(monotonic)), m_measureText(measureNotes) {
    Picmain = new VersionNotesBox(this);
    twipslayout::place(Picmain, "Picmain", 0, 360, 6375, 2655);
    addDragSurface(Picmain);
    Command1 = addButton(this, "Command1", stopCaption(), 2588, 3120, 1215, 375);
    connect(Command1, &QPushButton::clicked, this, &VersionNotesPage::Command1_Click);

    m_scrollTimer.setSingleShot(true);
    // Each step must come more than 24 ms after the previous one: a coarse timer firing early
    // would only cost a second wake-up.
    m_scrollTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_scrollTimer, &QTimer::timeout, this, &VersionNotesPage::ScrollTimer_Timer);
}

void VersionNotesPage::setNotesFont() {
    // Green on black, 12 point, 楷体 on every current system.
    QFont notesFont = Picmain->font();
    if (IsVistaSystem())
        notesFont.setFamily(QStringLiteral("楷体"));
    notesFont.setPointSizeF(12);
    Picmain->setFont(notesFont);
}

void VersionNotesPage::Command1_Click() {
    if (m_scroll.isStopped()) {
        Command1->setText(stopCaption());
        ScrollVersionNotes();
    } else {
        Command1->setText(restartCaption());
        m_scroll.stop();
        m_scrollTimer.stop();
    }
}

void VersionNotesPage::ScrollVersionNotes() {
    Picmain->update();
    const std::optional<int> height = m_measureText(Picmain->font(), notesForDrawing());
    if (!height) {
        m_scroll.stop();
        m_scrollTimer.stop();
        Command1->setText(restartCaption());
        MessageBox::warning(window(), QCoreApplication::applicationName(), QStringLiteral("出错"));
        return;
    }
    m_scroll.setBox(Picmain->width(), Picmain->height());
    m_scroll.setTextHeight(*height);
    prepareNotesImage();
    m_scroll.restart();
    scheduleNextStep();
}

void VersionNotesPage::ScrollTimer_Timer() {
    if (!isOnScreen()) {
        m_scrollTimer.stop();
        return;
    }
    if (m_scroll.step(m_monotonic()))
        Picmain->update();
    scheduleNextStep();
}

void VersionNotesPage::restartOnShow() {
    Command1->setText(stopCaption());
    ScrollVersionNotes();
}

void VersionNotesPage::resumeOnActivate() {
    if (!m_scroll.isStopped())
        ScrollVersionNotes();
}

void VersionNotesPage::pauseTimer() {
    m_scrollTimer.stop();
}

void VersionNotesPage::releaseNotesImage() {
    // Drawn again from the text at the next showing, which starts the notes afresh anyway.
    m_notesImage = QPixmap();
}

void VersionNotesPage::stopScroll() {
    m_scroll.stop();
    m_scrollTimer.stop();
}

void VersionNotesPage::scheduleNextStep() {
    const qint64 wait = m_scroll.msUntilNextStep(m_monotonic());
    if (wait < 0 || !isOnScreen()) {
        m_scrollTimer.stop();
        return;
    }
    m_scrollTimer.start(std::chrono::milliseconds(wait));
}

bool VersionNotesPage::isOnScreen() const {
    const QWidget* host = window();
    return host->isVisible() && !host->isMinimized();
}

void VersionNotesPage::prepareNotesImage() {
    // The text is laid out once; each step only moves the finished image.
    const qreal ratio = devicePixelRatioF();
    const QSize size(Picmain->width(), m_scroll.textHeight());
    if (size.isEmpty()) {
        m_notesImage = QPixmap();
        return;
    }
    m_notesImage = QPixmap(size * ratio);
    m_notesImage.setDevicePixelRatio(ratio);
    m_notesImage.fill(kNotesBackground);
    QPainter painter(&m_notesImage);
    painter.setFont(Picmain->font());
    painter.setPen(kNotesText);
    painter.drawText(QRect(QPoint(0, 0), size), Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap,
                     notesForDrawing());
}

void VersionNotesPage::paintNotes(QWidget* box) {
    QPainter painter(box);
    painter.fillRect(box->rect(), kNotesBackground);
    if (!m_notesImage.isNull())
        painter.drawPixmap(m_scroll.frameRect().topLeft(), m_notesImage);
}

void VersionNotesPage::setTextMeasurer(TextMeasurer measurer) {
    m_measureText = std::move(measurer);
}
