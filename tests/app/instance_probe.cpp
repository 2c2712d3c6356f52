// Drives SingleInstance from the outside: prints "waiting", "primary" or "secondary" as its
// start goes, then, as the one instance, "activated" for each hand-over. Commands on stdin:
// "release" (stop listening, as before a restart) and "exit".
// Usage: instance_probe [wait-ms]
#include "app/single_instance.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

void say(const char* line) {
    std::printf("%s\n", line);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int waitMs = argc > 1 ? std::stoi(argv[1]) : 8000;

    SingleInstance instance(QStringLiteral("DalvenorProbe"));
    QObject::connect(&instance, &SingleInstance::waitingForPrevious, [] { say("waiting"); });
    if (!instance.acquire(std::chrono::milliseconds(waitMs))) {
        say("secondary");
        return 0;
    }
    say("primary");
    QObject::connect(&instance, &SingleInstance::activationRequested, [] { say("activated"); });

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    std::string pending;
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            QCoreApplication::exit(0);
            return;
        }
        pending.append(buffer, size_t(n));
        for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
            const std::string command = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (command == "release") {
                instance.releaseForRestart();
                say("released");
            } else if (command == "exit") {
                QCoreApplication::exit(0);
            }
        }
    });
    return QCoreApplication::exec();
}
