#include "addins/power_action_page.h"

#include "forms/app_context.h"
#include "forms/clock.h"
#include "forms/tray_notifier.h"
#include "forms/twips_layout.h"

#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>

namespace {

// The system's long time format without the time zone, which would not fit the frame.
QString timeOfDayText(const QTime& time) {
    const QLocale locale = QLocale::system();
    QString format = locale.timeFormat(QLocale::LongFormat);
    format.remove(QRegularExpression(QStringLiteral("\\s*\\bt+\\b\\s*")));
    return locale.toString(time, format.trimmed());
}

} // namespace

PowerActionPage::PowerActionPage(AppContext& context, MonotonicClock monotonic, QWidget* parent)
    : AddinsPage(context, parent), m_monotonic(std::move(monotonic)) {
    Frame1 = twipslayout::add<QGroupBox>(this, "Frame1", 368, 600, 5655, 1695);
    addDragSurface(Frame1);

    Option1 = twipslayout::add<QRadioButton>(Frame1, "Option1", 240, 360, 855, 255,
                                             QStringLiteral("方式一"));
    Option1->setChecked(true);
    CBoxHour = addCombo(Frame1, "CBoxHour", 1200, 360);
    Label1 = addLabel(Frame1, "Label1", QStringLiteral("："), 1920, 400, 255, 255);
    CBoxMin = addCombo(Frame1, "CBoxMin", 2160, 360);
    Label2 = addLabel(Frame1, "Label2", QStringLiteral("："), 2880, 400, 255, 255);
    CBoxSec = addCombo(Frame1, "CBoxSec", 3240, 360);
    Label3 = addLabel(Frame1, "Label3", QStringLiteral("时"), 4320, 405, 255, 255);
    Label3->setAlignment(Qt::AlignRight | Qt::AlignTop);
    Combo4 = addCombo(Frame1, "Combo4", 4680, 360);

    Option2 = twipslayout::add<QRadioButton>(Frame1, "Option2", 240, 960, 855, 255,
                                             QStringLiteral("方式二"));
    TextHour = addTextBox(Frame1, "TextHour", 1200, 960, 450, 270);
    Label4 = addLabel(Frame1, "Label4", QStringLiteral("时"), 1920, 990, 255, 255);
    TextMin = addTextBox(Frame1, "TextMin", 2280, 960, 450, 270);
    Label5 = addLabel(Frame1, "Label5", QStringLiteral("分"), 2880, 990, 255, 255);
    TextSec = addTextBox(Frame1, "TextSec", 3240, 960, 450, 270);
    Label6 = addLabel(Frame1, "Label6", QStringLiteral("秒"), 3960, 990, 255, 255);
    Label7 = addLabel(Frame1, "Label7", QStringLiteral("后"), 4320, 990, 255, 255);
    Label7->setAlignment(Qt::AlignRight | Qt::AlignTop);
    Combo5 = addCombo(Frame1, "Combo5", 4680, 960);
    for (QLineEdit* box : {TextHour, TextMin, TextSec}) {
        box->setText(QStringLiteral("0"));
        box->setMaxLength(2);
        box->installEventFilter(this);
    }
    // The labels between the boxes are not drag surfaces: their presses stop here.
    for (QLabel* label : {Label1, Label2, Label3, Label4, Label5, Label6, Label7})
        label->setAttribute(Qt::WA_NoMousePropagation);

    LabInformation = addLabel(this, "LabInformation", QString(), 360, 2400, 5655, 375);
    Label8 = addLabel(this, "Label8", QString(), 1440, 2280, 3375, 735);
    addDragSurface(LabInformation);
    addDragSurface(Label8);
    CmdStart = addButton(this, "CmdStart", QStringLiteral("开始执行"), 2408, 2760, 1575, 495);

    connect(Option1, &QRadioButton::clicked, this, &PowerActionPage::Option1_Click);
    connect(Option2, &QRadioButton::clicked, this, &PowerActionPage::Option2_Click);
    connect(CmdStart, &QPushButton::clicked, this, &PowerActionPage::CmdStart_Click);
    for (QLineEdit* box : {TextHour, TextMin, TextSec}) {
        // Typing allows two characters; a normalised count may hold more ("100" hours) and
        // must not be cut when written back, so the limit follows what the box holds.
        connect(box, &QLineEdit::textEdited, box,
                [box] { box->setMaxLength(std::max<int>(2, box->text().size())); });
    }
}

PowerActionPage::~PowerActionPage() = default;

void PowerActionPage::fillLists() {
    for (int i = 0; i <= 59; ++i) {
        if (i <= 23)
            CBoxHour->addItem(QString::number(i));
        CBoxMin->addItem(QString::number(i));
        CBoxSec->addItem(QString::number(i));
    }
    Combo4->addItems({QStringLiteral("关机"), QStringLiteral("注销")});
    Combo5->addItems({QStringLiteral("关机"), QStringLiteral("重启"), QStringLiteral("注销")});
    for (QComboBox* combo : {CBoxHour, CBoxMin, CBoxSec, Combo4, Combo5})
        combo->setCurrentIndex(0);
    Combo5->setEnabled(false);
}

bool PowerActionPage::isTimeBox(const QObject* object) const {
    return object == TextHour || object == TextMin || object == TextSec;
}

bool PowerActionPage::eventFilter(QObject* watched, QEvent* event) {
    if (isTimeBox(watched)) {
        // The boxes take their own presses; only their keys are judged here.
        if (event->type() == QEvent::KeyPress)
            return TextTime_KeyPress(static_cast<QLineEdit*>(watched),
                                     static_cast<QKeyEvent*>(event));
        return false;
    }
    return AddinsPage::eventFilter(watched, event);
}

void PowerActionPage::Timer1_Timer(const QDateTime& now) {
    // Hidden, the caption need not follow the clock: showing the window sets it at once.
    if (window()->isVisible())
        refreshFrameCaption(now);
}

void PowerActionPage::refreshFrameCaption(const QDateTime& now) {
    Frame1->setTitle(QStringLiteral("当前的系统时间为：") + timeOfDayText(now.time()));
}

// Timer2 (方式一) and Timer3 (方式二) are "enabled" while the plan is armed in their mode; both
// run on the program's one second, and 方式二 counts the seconds that really passed.
void PowerActionPage::Timer2_Timer(const QDateTime& now) {
    if (m_plan.mode() == power::PowerPlan::Mode::TimeOfDay)
        powerTick(now);
}

void PowerActionPage::Timer3_Timer(const QDateTime& now) {
    if (m_plan.mode() == power::PowerPlan::Mode::Countdown)
        powerTick(now);
}

void PowerActionPage::powerTick(const QDateTime& now) {
    const power::TickResult result = m_plan.tick(now, m_monotonic());
    if (result.request != PowerAction::None) {
        // Always with the force flag; the answer comes later and only a failure is said.
        if (m_power)
            m_power->request(result.request, true);
        else
            powerRequestFinished(0, result.request,
                                 requestErrorText(result.request, QString(),
                                                  QStringLiteral("此系统没有可用的电源服务。")));
    }
    if (!result.warning.isEmpty())
        m_context.notifier.showMessage(QStringLiteral("Dalvenor"), result.warning);
    showPowerState(result.status, result.toolTip);
}

void PowerActionPage::CmdStart_Click() {
    if (m_plan.isArmed()) {
        m_plan.disarm();
        m_availabilityQuery = 0;
        Frame1->setEnabled(true);
        CmdStart->setText(QStringLiteral("开始执行"));
        showPowerState(QString(), m_plan.toolTip());
        return;
    }
    Frame1->setEnabled(false);
    const QDateTime now = m_context.clock.now();
    power::ArmResult result;
    if (Option1->isChecked()) {
        result = m_plan.armTimeOfDay(CBoxHour->currentText(), CBoxMin->currentText(),
                                     CBoxSec->currentText(), Combo4->currentText(), now);
    } else {
        result = m_plan.armCountdown(TextHour->text(), TextMin->text(), TextSec->text(),
                                     Combo5->currentText(), now, m_monotonic());
        if (result.armed) {
            const std::pair<QLineEdit*, QString> normalised[] = {{TextHour, result.hourText},
                                                                 {TextMin, result.minuteText},
                                                                 {TextSec, result.secondText}};
            for (const auto& [box, text] : normalised) {
                box->setMaxLength(std::max<int>(2, text.size()));
                box->setText(text);
            }
        }
    }
    if (!result.armed) {
        // Nothing is armed on a text that is not a number: say which field, and let it be put
        // right.
        Frame1->setEnabled(true);
        warn(result.error);
        return;
    }
    CmdStart->setText(QStringLiteral("停止执行"));
    // Ask the system now whether it will allow the action, so that a "no" is known before the
    // moment comes; the answer adds a line to the status.
    const PowerAction action = m_plan.action();
    if (action != PowerAction::None) {
        if (m_power)
            m_availabilityQuery = m_power->query(action);
        else
            m_plan.setAvailabilityNote(availabilityNote(action, QStringLiteral("na")));
    }
    showPowerState(m_plan.statusText(), m_plan.toolTip());
    if (!result.warning.isEmpty())
        m_context.notifier.showMessage(QStringLiteral("Dalvenor"), result.warning);
}

void PowerActionPage::showPowerState(const QString& status, const QString& toolTip) {
    LabInformation->setText(status);
    if (toolTip != m_toolTip) {
        m_toolTip = toolTip;
        m_context.notifier.setToolTip(toolTip);
    }
}

void PowerActionPage::powerQueryAnswered(quint64 id, PowerAction action, const QString& note) {
    // An answer for an earlier arming, or one that came after disarming, says nothing now.
    if (id != m_availabilityQuery || !m_plan.isArmed() || action != m_plan.action())
        return;
    m_plan.setAvailabilityNote(note);
    LabInformation->setText(m_plan.statusText());
}

void PowerActionPage::powerRequestFinished(quint64 id, PowerAction action, const QString& error) {
    Q_UNUSED(id)
    Q_UNUSED(action)
    // The plan stays armed: the user sees why nothing happened and may disarm.
    if (!error.isEmpty())
        m_context.notifier.showMessage(QStringLiteral("Dalvenor"), error);
}

void PowerActionPage::setPowerBackend(std::unique_ptr<PowerBackend> backend) {
    m_power = std::move(backend);
    if (!m_power)
        return;
    connect(m_power.get(), &PowerBackend::queryAnswered, this,
            &PowerActionPage::powerQueryAnswered);
    connect(m_power.get(), &PowerBackend::requestFinished, this,
            &PowerActionPage::powerRequestFinished);
}

void PowerActionPage::Option1_Click() {
    for (QWidget* input : std::initializer_list<QWidget*>{CBoxHour, CBoxMin, CBoxSec, Combo4})
        input->setEnabled(true);
    for (QWidget* input : std::initializer_list<QWidget*>{TextHour, TextMin, TextSec, Combo5})
        input->setEnabled(false);
}

void PowerActionPage::Option2_Click() {
    for (QWidget* input : std::initializer_list<QWidget*>{CBoxHour, CBoxMin, CBoxSec, Combo4})
        input->setEnabled(false);
    for (QWidget* input : std::initializer_list<QWidget*>{TextHour, TextMin, TextSec, Combo5})
        input->setEnabled(true);
}

// Only a key that types a character is judged: digits and backspace are kept, any other
// character is discarded. Arrows, Delete, Tab and shortcuts (Ctrl+V among them) type none
// and keep working; pasted text is judged at arming.
bool PowerActionPage::TextTime_KeyPress(QLineEdit* box, QKeyEvent* event) {
    Q_UNUSED(box)
    const QString text = event->text();
    if (text.isEmpty() || (event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier)))
        return false;
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        const bool control = code < 0x20 || code == 0x7f;
        if (control && code != 8)
            return false;
        if (!power::isCountdownBoxKey(code))
            return true;
    }
    return false;
}
