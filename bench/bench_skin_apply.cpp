// Time to put a skin on with every window of the program open, as "皮肤管理器" does it: copy the
// skin over the active one, reload the countdown, restyle every window, and draw them all.
// Also the private memory of this process before and after the first skin.
//
//   bench_skin_apply BIN_DIR [--rounds N]
//
// BIN_DIR holds the built program's data (countdown.ini, ral.txt, skins/); it is copied to a
// temporary program folder, so nothing of the build changes.
#include "app/application.h"
#include "forms/form_names.h"
#include "forms/message_box.h"
#include "forms/window_registry.h"
#include "skins/skin_window.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QWidget>

#include <algorithm>
#include <cstdio>

namespace {

qint64 privateKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("RssAnon:"))
            return line.mid(8).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

bool copyFolder(const QString& from, const QString& to) {
    QDir().mkpath(to);
    for (const QFileInfo& entry :
         QDir(from).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString target = QDir(to).filePath(entry.fileName());
        if (entry.isDir() ? !copyFolder(entry.filePath(), target)
                          : !QFile::copy(entry.filePath(), target))
            return false;
    }
    return true;
}

// Runs the event loop until nothing is pending, so that every window has been drawn.
void settle() {
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible())
            window->repaint();
    }
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication qtApp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Dalvenor"));
    QApplication::setQuitOnLastWindowClosed(false);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: bench_skin_apply BIN_DIR [--rounds N]\n");
        return 2;
    }
    const int roundsAt = int(args.indexOf(QStringLiteral("--rounds")));
    const int rounds =
        roundsAt > 0 && roundsAt + 1 < args.size() ? args.at(roundsAt + 1).toInt() : 10;

    QTemporaryDir program;
    const QDir bin(args.at(1));
    for (const char* name : {"countdown.ini", "ral.txt"})
        QFile::copy(bin.filePath(QLatin1String(name)), program.filePath(QLatin1String(name)));
    if (!copyFolder(bin.filePath(QStringLiteral("skins")),
                    program.filePath(QStringLiteral("skins")))) {
        std::fprintf(stderr, "bench_skin_apply: no skins in %s\n", qPrintable(bin.path()));
        return 1;
    }
    // Boxes are answered at once instead of waiting for a user.
    MessageBox::setAnswerAll(true);

    Application app(program.path());
    app.start();
    WindowRegistry& registry = app.context().registry;
    for (QLatin1String name : FormName::All) {
        if (name != FormName::Main && name != FormName::Tray)
            registry.show(name);
    }
    settle();
    const qint64 plainKiB = privateKiB();
    auto* skins = registry.form<SkinWindow>();
    if (!skins) {
        std::fprintf(stderr, "bench_skin_apply: no skin manager\n");
        return 1;
    }

    const QStringList files = {QStringLiteral("skinh.she"), QStringLiteral("itunes.she"),
                               QStringLiteral("office2007.she"), QStringLiteral("QQ2008.she")};
    QList<double> times;
    qint64 skinnedKiB = -1;
    for (int round = 0; round < rounds; ++round) {
        for (const QString& file : files) {
            QElapsedTimer timer;
            timer.start();
            skins->ApplySkin(skins->folders().builtInSkin(file));
            settle();
            times << timer.nsecsElapsed() / 1e6;
            if (skinnedKiB < 0)
                skinnedKiB = privateKiB();
        }
    }
    int widgets = 0;
    for (QWidget* window : QApplication::topLevelWidgets())
        widgets += 1 + int(window->findChildren<QWidget*>().size());
    std::sort(times.begin(), times.end());
    std::printf("windows open: %d top-level, %d widgets\n",
                int(QApplication::topLevelWidgets().size()), widgets);
    std::printf("apply a skin (copy, reload, restyle, draw): median %.1f ms, max %.1f ms over %d\n",
                times.at(times.size() / 2), times.last(), int(times.size()));
    std::printf("private memory (RssAnon), every window open: plain %lld KiB, skinned %lld KiB\n",
                plainKiB, skinnedKiB);
    return 0;
}
