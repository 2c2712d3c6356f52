// The XEmbed tray probe on a real X server (the virtual desktop with its tint2 stopped): the
// test itself plays the notification area, taking and giving up _NET_SYSTEM_TRAY_S0 the way
// the freedesktop system tray protocol tells a tray to.
#include "desktop_kit.h"
#include "tray/xembed_tray_host_x11.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <xcb/xcb.h>

#include <csignal>
#include <cstdlib>

namespace {

using desktopkit::kWaitMs;

// A tray of the test's own, on an X connection of its own.
class TestTray {
public:
    explicit TestTray(const QByteArray& display) {
        int screenNumber = 0;
        m_c = xcb_connect(display.constData(), &screenNumber);
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root;
        m_selection = atom("_NET_SYSTEM_TRAY_S" + QByteArray::number(screenNumber));
        m_manager = atom("MANAGER");
    }
    ~TestTray() { xcb_disconnect(m_c); }

    bool connected() const { return !xcb_connection_has_error(m_c); }

    xcb_window_t owner() {
        auto* reply =
            xcb_get_selection_owner_reply(m_c, xcb_get_selection_owner(m_c, m_selection), nullptr);
        const xcb_window_t owner = reply ? reply->owner : xcb_window_t(XCB_WINDOW_NONE);
        std::free(reply);
        return owner;
    }

    // Takes the selection with a new window and announces it, as a starting tray does.
    xcb_window_t claim() {
        const xcb_window_t window = xcb_generate_id(m_c);
        xcb_create_window(m_c, XCB_COPY_FROM_PARENT, window, m_root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        xcb_set_selection_owner(m_c, window, m_selection, XCB_CURRENT_TIME);
        xcb_client_message_event_t message = {};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = m_root;
        message.type = m_manager;
        message.data.data32[0] = XCB_CURRENT_TIME;
        message.data.data32[1] = m_selection;
        message.data.data32[2] = window;
        xcb_send_event(m_c, 0, m_root, XCB_EVENT_MASK_STRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&message));
        xcb_flush(m_c);
        return window;
    }

    // Returns once the server has handled every request before it (and sent their events).
    void sync() { std::free(xcb_get_input_focus_reply(m_c, xcb_get_input_focus(m_c), nullptr)); }

    // A tray that ends: its selection window goes.
    void end(xcb_window_t window) {
        xcb_destroy_window(m_c, window);
        xcb_flush(m_c);
    }

private:
    xcb_atom_t atom(const QByteArray& name) {
        auto* reply = xcb_intern_atom_reply(
            m_c, xcb_intern_atom(m_c, 0, std::uint16_t(name.size()), name.constData()), nullptr);
        const xcb_atom_t a = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return a;
    }

    xcb_connection_t* m_c = nullptr;
    xcb_window_t m_root = 0;
    xcb_atom_t m_selection = 0;
    xcb_atom_t m_manager = 0;
};

} // namespace

class TstXEmbedTrayHost : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();

    void lateTrayIsSeen();
    void replacedTrayStaysPresentAndItsEndIsSeen();
    void trayAlreadyThereIsSeenAtOnce();
    void noXServerNoTray();

private:
    QTemporaryDir m_dir;
    QString m_state;
    QByteArray m_display;
    std::unique_ptr<TestTray> m_tray;
};

void TstXEmbedTrayHost::initTestCase() {
    QVERIFY(m_dir.isValid());
    m_state = m_dir.filePath(QStringLiteral("desktop.state"));
    QString error;
    m_display = virtualdesktop::start(m_state, &error).toLatin1();
    QVERIFY2(!m_display.isEmpty(), qPrintable(error));
    // The desktop's own tray goes, so that the test plays the only one.
    const qint64 tint2 = virtualdesktop::stateValue(m_state, "TINT2_PID").toLongLong();
    QVERIFY(tint2 > 0);
    ::kill(pid_t(tint2), SIGTERM);
    m_tray = std::make_unique<TestTray>(m_display);
    QVERIFY(m_tray->connected());
    QTRY_VERIFY_WITH_TIMEOUT(m_tray->owner() == XCB_WINDOW_NONE, kWaitMs);
}

void TstXEmbedTrayHost::cleanupTestCase() {
    m_tray.reset();
    if (!m_state.isEmpty())
        virtualdesktop::stop(m_state);
}

void TstXEmbedTrayHost::lateTrayIsSeen() {
    XEmbedTrayHost host(m_display);
    QSignalSpy changed(&host, &TrayHostProbe::presenceChanged);
    QVERIFY(!host.isPresent());
    const xcb_window_t tray = m_tray->claim();
    QTRY_VERIFY_WITH_TIMEOUT(host.isPresent(), kWaitMs);
    QCOMPARE(changed.size(), 1);
    m_tray->end(tray);
    QTRY_VERIFY_WITH_TIMEOUT(!host.isPresent(), kWaitMs);
    QCOMPARE(changed.size(), 2);
}

void TstXEmbedTrayHost::replacedTrayStaysPresentAndItsEndIsSeen() {
    XEmbedTrayHost host(m_display);
    const xcb_window_t first = m_tray->claim();
    QTRY_VERIFY_WITH_TIMEOUT(host.isPresent(), kWaitMs);
    QSignalSpy changed(&host, &TrayHostProbe::presenceChanged);
    // A new tray takes over, then the old one's window goes: the probe must follow the new
    // owner rather than take the old window's end for the end of every tray.
    const xcb_window_t second = m_tray->claim();
    QTRY_COMPARE_WITH_TIMEOUT(m_tray->owner(), second, kWaitMs);
    m_tray->end(first);
    // The server sent the old window's end to the probe before it answers this; the probe
    // reads it on the next pass of the event loop.
    m_tray->sync();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    QVERIFY(host.isPresent());
    QVERIFY(changed.isEmpty());
    m_tray->end(second);
    QTRY_VERIFY_WITH_TIMEOUT(!host.isPresent(), kWaitMs);
    QCOMPARE(changed.size(), 1);
}

void TstXEmbedTrayHost::trayAlreadyThereIsSeenAtOnce() {
    const xcb_window_t tray = m_tray->claim();
    QTRY_COMPARE_WITH_TIMEOUT(m_tray->owner(), tray, kWaitMs);
    XEmbedTrayHost host(m_display);
    // Asked while the probe is made: the icon can be made at the first load of frmTray.
    QVERIFY(host.isPresent());
    m_tray->end(tray);
    QTRY_VERIFY_WITH_TIMEOUT(!host.isPresent(), kWaitMs);
}

void TstXEmbedTrayHost::noXServerNoTray() {
    XEmbedTrayHost host(QByteArrayLiteral(":65000"));
    QVERIFY(!host.isPresent());
}

QTEST_GUILESS_MAIN(TstXEmbedTrayHost)
#include "tst_xembed_tray_host.moc"
