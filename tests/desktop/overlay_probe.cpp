// A stand-in for the countdown window, for checking the overlay on a real X server: a
// frameless top-level with three labels on the key colour, made an overlay by
// ApplyColorKeyTransparency.
//
//   overlay_probe X,Y,W,H
//
// Label1 is drawn one step away from the key colour (&HFE0000) and must stay visible, Label2
// in the default text colour (&HA00000), Label3 in exactly the key colour and must vanish.
// The labels split the height in three equal rows. Once shown it prints "shown <window id>".
// Every answer ("shown", "ok") comes after a round trip to the X server: the test looks at the
// screen through a connection of its own, and the server keeps no order between the requests
// of two clients, so an answer given once the requests were only sent would let the test
// read the state from before them.
// Marks: when the test sets the root property _DALVENOR_PROBE_MARK to a number, the probe
// copies it to _DALVENOR_PROBE_SEEN. The X events are handled in order, so once the copy is
// there, so is the probe's answer to whatever the test did before (activating a window).
// Commands on standard input, one per line, each answered by "ok" once the server applied it:
//   set N TEXT   set label N's text and show it at once, naming the label's rectangle (as the
//                countdown tick does); answered before anything posted meanwhile is handled
//   part N TEXT  the same, naming only the right half of the label's rectangle: drawn by the
//                window's content painter, which draws a part inside one label by rendering
//                that label (a countdown draws its changed digits so)
//   auto N TEXT  set label N's text only; the overlay must reshape by itself, from the events
//                the change posted: answered once those were handled
//   move X Y     move the window
//   hide, show   hide or show the window
//   recreate     destroy the window and make a new one like it, shown (as a reload does)
//   quit
#include "winutil/window_utils.h"

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QSocketNotifier>
#include <QTextStream>
#include <QWidget>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unistd.h>

namespace {

// Waits until the X server has carried out every request this program sent so far: a reply
// comes only after all the requests before it. Also sends what Qt still held in its buffer.
void roundTrip() {
    if (auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>()) {
        xcb_connection_t* connection = x11->connection();
        std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    }
}

void reply(const QByteArray& line) {
    roundTrip();
    std::fputs(line.constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// Replies after `passes` rounds of the posted events. A text change posts a layout request,
// and handling that may post a render: each round comes after what the one before posted.
void replyAfterPostedEvents(QObject* context, const QByteArray& line, int passes) {
    if (passes == 0) {
        reply(line);
        return;
    }
    QMetaObject::invokeMethod(
        context, [=] { replyAfterPostedEvents(context, line, passes - 1); }, Qt::QueuedConnection);
}

QRect parseGeometry(const QString& text) {
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        return {};
    return QRect(parts[0].toInt(), parts[1].toInt(), parts[2].toInt(), parts[3].toInt());
}

xcb_atom_t internAtom(xcb_connection_t* connection, const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, quint16(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : XCB_NONE;
    std::free(reply);
    return atom;
}

class MarkEcho final : public QAbstractNativeEventFilter {
public:
    explicit MarkEcho(xcb_connection_t* connection)
        : m_connection(connection), m_mark(internAtom(connection, "_DALVENOR_PROBE_MARK")),
          m_seen(internAtom(connection, "_DALVENOR_PROBE_SEEN")) {}

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if (eventType != "xcb_generic_event_t" ||
            (event->response_type & 0x7F) != XCB_PROPERTY_NOTIFY)
            return false;
        const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
        if (notify->atom != m_mark || notify->state != XCB_PROPERTY_NEW_VALUE)
            return false;
        xcb_get_property_reply_t* reply = xcb_get_property_reply(
            m_connection,
            xcb_get_property(m_connection, 0, notify->window, m_mark, XCB_ATOM_CARDINAL, 0, 1),
            nullptr);
        if (reply && reply->format == 32 && xcb_get_property_value_length(reply) == 4) {
            xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, notify->window, m_seen,
                                XCB_ATOM_CARDINAL, 32, 1, xcb_get_property_value(reply));
            xcb_flush(m_connection);
        }
        std::free(reply);
        return false;
    }

private:
    xcb_connection_t* m_connection;
    xcb_atom_t m_mark;
    xcb_atom_t m_seen;
};

} // namespace

struct Probe {
    std::unique_ptr<QWidget> window;
    std::array<QLabel*, 3> labels{};
};

Probe makeProbe(const QRect& geometry) {
    Probe probe;
    probe.window = std::make_unique<QWidget>();
    QWidget& window = *probe.window;
    window.setWindowTitle(QStringLiteral("Dalvenor overlay probe"));
    window.setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    window.setGeometry(geometry);

    const std::array<quint32, 3> colours{0xFE0000, 0xA00000, kTransparencyKey};
    const std::array<QString, 3> texts{QStringLiteral("一步之差 ABC"),
                                       QStringLiteral("距离高考还有 88 天"),
                                       QStringLiteral("看不见的字 XYZ")};
    const int row = geometry.height() / 3;
    for (int i = 0; i < 3; ++i) {
        auto* label = new QLabel(texts[i], &window);
        label->setObjectName(QStringLiteral("Label%1").arg(i + 1));
        label->setGeometry(0, i * row, geometry.width(), row);
        label->setAlignment(Qt::AlignCenter);
        QFont font = label->font();
        font.setPixelSize(row / 3);
        font.setBold(true);
        label->setFont(font);
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, colorFromBgr(colours[i]));
        label->setPalette(palette);
        probe.labels[i] = label;
    }
    ApplyColorKeyTransparency(&window);
    // In the window's coordinates: the label's part lands where the label shows it.
    SetColorKeyContentPainter(
        &window, [labels = probe.labels](QPainter& painter, const QRect& area) {
            for (QLabel* label : labels) {
                if (label->geometry().contains(area)) {
                    label->render(&painter, area.topLeft(), QRegion(area.translated(-label->pos())),
                                  QWidget::DrawChildren);
                    return true;
                }
            }
            return false;
        });
    window.show();
    return probe;
}

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // Like the program: "recreate" closes the only window for a moment.
    QApplication::setQuitOnLastWindowClosed(false);
    const QStringList args = QCoreApplication::arguments();
    const QRect geometry = args.size() > 1 ? parseGeometry(args[1]) : QRect(300, 200, 420, 240);
    if (!geometry.isValid()) {
        std::fputs("usage: overlay_probe X,Y,W,H\n", stderr);
        return 2;
    }

    Probe probe = makeProbe(geometry);
    std::unique_ptr<MarkEcho> markEcho;
    if (auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>()) {
        markEcho = std::make_unique<MarkEcho>(x11->connection());
        app.installNativeEventFilter(markEcho.get());
    }
    reply("shown " + QByteArray::number(qulonglong(probe.window->winId())));

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QTextStream in(stdin);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        const QString line = in.readLine();
        if (line.isNull() || line == QLatin1String("quit")) {
            QCoreApplication::quit();
            return;
        }
        QWidget& window = *probe.window;
        const QString command = line.section(QLatin1Char(' '), 0, 0);
        const int n = line.section(QLatin1Char(' '), 1, 1).toInt();
        const QString text = line.section(QLatin1Char(' '), 2);
        if ((command == QLatin1String("set") || command == QLatin1String("auto") ||
             command == QLatin1String("part")) &&
            n >= 1 && n <= 3) {
            QLabel* label = probe.labels[n - 1];
            label->setText(text);
            if (command == QLatin1String("auto")) {
                replyAfterPostedEvents(&app, "ok", 2);
                return;
            }
            QRect changed = label->geometry();
            if (command == QLatin1String("part"))
                changed.setLeft(changed.center().x());
            UpdateColorKeyShape(&window, changed);
        } else if (command == QLatin1String("move")) {
            window.move(n, line.section(QLatin1Char(' '), 2, 2).toInt());
        } else if (command == QLatin1String("hide")) {
            window.hide();
        } else if (command == QLatin1String("show")) {
            window.show();
        } else if (command == QLatin1String("recreate")) {
            const QRect where = window.geometry();
            probe = Probe{}; // the old window goes first, as an unload does
            probe = makeProbe(where);
        } else {
            reply("unknown command");
            return;
        }
        reply("ok");
    });
    return app.exec();
}
