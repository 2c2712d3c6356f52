// Load time and memory of a very large tips file: 1,000,000 Chinese tips in GB18030 with CR LF,
// the form the program's own tips file takes. Prints key=value lines for run_all.sh.
//
//   bench_tips_load [--lines N] [--runs N]

#include "app/tips.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

// Tips built from parts, so that lengths and characters vary the way a real file's would.
const char16_t* const kSubjects[] = {u"语文", u"数学", u"英语", u"物理", u"化学",
                                     u"生物", u"历史", u"地理", u"政治", u"作文"};
const char16_t* const kActions[] = {
    u"每天抽出半小时复习错题，",     u"先把课本上的例题重新做一遍，",
    u"把容易混淆的概念写在卡片上，", u"考前一周不要再做偏题怪题，",
    u"遇到不会的题先跳过，",         u"背诵要趁早晨头脑清醒的时候，",
    u"做完一套试卷要认真对答案，",   u"听课时把老师强调的地方记下来，",
};
const char16_t* const kEndings[] = {
    u"坚持下去一定会有收获。",
    u"比盲目刷题更有效。",
    u"这样考场上心里才踏实。",
    u"别忘了按时休息。",
    u"",
    u"每周和同学互相讲一讲。",
};

template <typename T, std::size_t N> constexpr std::size_t countOf(T (&)[N]) {
    return N;
}

// Line n (1-based) of the generated file; every thousandth line is empty, as a real file
// may have a blank line or two.
QString tipLine(int n) {
    if (n % 1000 == 0)
        return QString();
    const auto u = quint32(n) * 2654435761u; // spreads the parts over consecutive lines
    QString line = QStringLiteral("第%1条：").arg(n);
    line += QString::fromUtf16(kSubjects[u % countOf(kSubjects)]);
    line += QString::fromUtf16(kActions[(u >> 8) % countOf(kActions)]);
    line += QString::fromUtf16(kEndings[(u >> 16) % countOf(kEndings)]);
    return line;
}

bool writeTipsFile(const QString& path, int lines) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QStringEncoder encoder("GB18030");
    QString chunk;
    for (int n = 1; n <= lines; ++n) {
        chunk += tipLine(n);
        chunk += QLatin1String("\r\n");
        if (n % 10000 == 0 || n == lines) {
            const QByteArray bytes = encoder.encode(chunk);
            if (file.write(bytes) != bytes.size())
                return false;
            chunk.clear();
        }
    }
    return file.flush() && !encoder.hasError();
}

struct Memory {
    long long rssAnonKiB = 0;
    long long hwmKiB = 0;
    long long heapBytes = 0; // in use by malloc, mmapped blocks included
};

long long statusField(const QByteArray& status, const char* name) {
    const int at = status.indexOf(name);
    if (at < 0)
        return -1;
    const int end = status.indexOf('\n', at);
    return status.mid(at + int(qstrlen(name)), end - at - int(qstrlen(name)))
        .trimmed()
        .split(' ')
        .value(0)
        .toLongLong();
}

Memory memoryNow() {
    QFile status(QStringLiteral("/proc/self/status"));
    Memory memory;
    if (status.open(QIODevice::ReadOnly)) {
        const QByteArray text = status.readAll();
        memory.rssAnonKiB = statusField(text, "RssAnon:");
        memory.hwmKiB = statusField(text, "VmHWM:");
    }
    const struct mallinfo2 info = mallinfo2();
    memory.heapBytes = (long long)(info.uordblks + info.hblkhd);
    return memory;
}

// Writing 5 to clear_refs resets VmHWM to the current RSS, so the peak of one load is seen.
void resetPeak() {
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    int lines = 1000000;
    int runs = 5;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--lines"))
            lines = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--runs"))
            runs = args[i + 1].toInt();
    }
    if (lines < 1 || runs < 1) {
        std::fprintf(stderr, "usage: bench_tips_load [--lines N] [--runs N]\n");
        return 2;
    }

    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    const QString path = dir.filePath(QStringLiteral("ral.txt"));
    if (!writeTipsFile(path, lines)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }
    const qint64 fileBytes = QFileInfo(path).size();

    std::vector<double> loadMs;
    Memory before, after;
    long long peakKiB = 0;
    std::unique_ptr<TipList> kept;
    for (int run = 0; run < runs; ++run) {
        // Each run loads into a fresh list, so the memory of the first one is the growth of
        // a program that had no tips before.
        auto tips = std::make_unique<TipList>();
        malloc_trim(0);
        if (run == 0) {
            before = memoryNow();
            resetPeak();
            before.hwmKiB = memoryNow().hwmKiB;
        }
        QElapsedTimer timer;
        timer.start();
        const TipList::LoadResult result = tips->load(path);
        const qint64 ns = timer.nsecsElapsed();
        if (result != TipList::LoadResult::Ok || tips->count() != lines) {
            std::fprintf(stderr, "load failed: result %d, %d tips\n", int(result), tips->count());
            return 1;
        }
        loadMs.push_back(double(ns) / 1e6);
        if (run == 0) {
            after = memoryNow();
            peakKiB = after.hwmKiB - before.hwmKiB;
            kept = std::move(tips);
        }
    }

    // A tip is found and decoded when it is shown: check a few against the generator, then
    // time the lookup of random ones (the work done once a minute).
    for (int n : {1, 2, 15, 16, 17, lines / 2 + 7, lines - 1, lines}) {
        if (n >= 1 && n <= lines && kept->tip(n) != tipLine(n)) {
            std::fprintf(stderr, "tip %d reads back wrong\n", n);
            return 1;
        }
    }
    QRandomGenerator random(12345);
    std::vector<double> tipUs;
    int sink = 0;
    for (int i = 0; i < 2001; ++i) {
        const int n = int(random.bounded(quint32(lines))) + 1;
        QElapsedTimer timer;
        timer.start();
        sink += int(kept->tip(n).size());
        tipUs.push_back(double(timer.nsecsElapsed()) / 1e3);
    }

    std::printf("lines=%d\n", lines);
    std::printf("file_bytes=%lld\n", (long long)fileBytes);
    std::printf("runs=%d\n", runs);
    std::printf("load_ms_median=%.2f\n", median(loadMs));
    std::printf("load_ms_min=%.2f\n", *std::min_element(loadMs.begin(), loadMs.end()));
    std::printf("load_ms_max=%.2f\n", *std::max_element(loadMs.begin(), loadMs.end()));
    std::printf("rss_anon_growth_bytes=%lld\n", (after.rssAnonKiB - before.rssAnonKiB) * 1024);
    std::printf("heap_growth_bytes=%lld\n", after.heapBytes - before.heapBytes);
    std::printf("peak_rss_growth_bytes=%lld\n", peakKiB * 1024);
    std::printf("tip_lookup_us_median=%.2f\n", median(tipUs));
    std::printf("tip_chars_checksum=%d\n", sink);
    return 0;
}
