#include "app/session_end.h"

#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr std::array<int, 3> kSignals = {SIGTERM, SIGHUP, SIGINT};

// The write end of the self-pipe, for the handler. A signal handler may do next to nothing:
// it writes the signal's number into the pipe, and the event loop reads it from there.
volatile sig_atomic_t g_writeFd = -1;

extern "C" void onEndSignal(int signalNumber) {
    const int savedErrno = errno;
    const int fd = g_writeFd;
    if (fd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(signalNumber);
        // A full pipe already holds enough wake-ups; the byte may be dropped.
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

class PosixSessionEndSignals final : public SessionEndSignals {
public:
    PosixSessionEndSignals() = default;

    ~PosixSessionEndSignals() override {
        for (std::size_t i = 0; i < kSignals.size(); ++i) {
            if (m_installed[i])
                ::sigaction(kSignals[i], &m_previous[i], nullptr);
        }
        // A watcher refused because another one owns the pipe leaves that one's alone.
        if (m_pipe[1] >= 0 && g_writeFd == m_pipe[1])
            g_writeFd = -1;
        m_notifier.reset();
        for (const int fd : m_pipe) {
            if (fd >= 0)
                ::close(fd);
        }
    }

    bool install() {
        // Only one watcher may own the handler's pipe.
        if (g_writeFd >= 0)
            return false;
        if (::pipe2(m_pipe.data(), O_CLOEXEC | O_NONBLOCK) != 0) {
            m_pipe = {-1, -1};
            return false;
        }
        m_notifier = std::make_unique<QSocketNotifier>(m_pipe[0], QSocketNotifier::Read);
        connect(m_notifier.get(), &QSocketNotifier::activated, this,
                &PosixSessionEndSignals::drain);
        g_writeFd = m_pipe[1];

        struct sigaction action = {};
        action.sa_handler = &onEndSignal;
        sigemptyset(&action.sa_mask);
        // Interrupted system calls go on: the program does not expect EINTR anywhere.
        action.sa_flags = SA_RESTART;
        for (std::size_t i = 0; i < kSignals.size(); ++i) {
            struct sigaction previous = {};
            if (::sigaction(kSignals[i], nullptr, &previous) != 0)
                continue;
            // A signal ignored when the program was started (nohup, a shell's background job
            // for SIGINT) stays ignored, as the one who started it asked.
            if (previous.sa_handler == SIG_IGN)
                continue;
            if (::sigaction(kSignals[i], &action, &m_previous[i]) == 0)
                m_installed[i] = true;
        }
        return true;
    }

private:
    void drain() {
        unsigned char bytes[64];
        for (;;) {
            const ssize_t got = ::read(m_pipe[0], bytes, sizeof bytes);
            if (got <= 0)
                break;
            for (ssize_t i = 0; i < got; ++i)
                emit endRequested(int(bytes[i]));
        }
    }

    std::array<int, 2> m_pipe = {-1, -1};
    std::array<struct sigaction, kSignals.size()> m_previous = {};
    std::array<bool, kSignals.size()> m_installed = {};
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace

std::unique_ptr<SessionEndSignals> SessionEndSignals::create() {
    auto watcher = std::make_unique<PosixSessionEndSignals>();
    if (!watcher->install())
        return nullptr;
    return watcher;
}
