#pragma once

#include "settings/atomic_file.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

// A small file system of its own (tmpfs) in a temporary folder, which a test fills up to see
// what a save does on a full disk.
//
// The mount is made in a mount namespace of the test process's own (enterPrivateMounts, at
// the very start of main): it is never seen outside the test, and it goes away with the
// process even when the test crashes before its clean-up. The superuser can always do this;
// another user gets a user namespace for it where the system allows them. Where neither
// works (an unprivileged user on a system that forbids user namespaces) the disk is a plain
// folder, and the program's writer is told through its test seam that only so many bytes
// fit: the same failure, seen from the program's side. The superuser never falls back: a
// disk that could not be mounted then fails the test (isUsable).
class FullDisk {
public:
    static constexpr qint64 kPage = 4096; // tmpfs gives room in whole pages

    // Before any thread exists: a process with threads cannot enter a user namespace.
    static void enterPrivateMounts() {
        if (::geteuid() != 0) {
            const uid_t uid = ::geteuid();
            const gid_t gid = ::getegid();
            if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
                return;
            // Map only ourselves; setgroups must be denied before an unprivileged gid_map.
            writeProcFile("/proc/self/setgroups", "deny");
            writeProcFile("/proc/self/uid_map",
                          QByteArray::number(uid) + ' ' + QByteArray::number(uid) + " 1");
            writeProcFile("/proc/self/gid_map",
                          QByteArray::number(gid) + ' ' + QByteArray::number(gid) + " 1");
        } else if (::unshare(CLONE_NEWNS) != 0) {
            return;
        }
        // Nothing mounted here may reach the system's namespace.
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr);
    }

    // inodes: how many files the disk holds at most (its root folder counts as one).
    explicit FullDisk(qint64 size = 64 * 1024, int inodes = 64) {
        if (!m_dir.isValid()) {
            m_problem = QStringLiteral("no temporary folder");
            return;
        }
        m_path = m_dir.filePath(QStringLiteral("disk"));
        QDir().mkpath(m_path);
        const QByteArray options = "size=" + QByteArray::number(size) +
                                   ",nr_inodes=" + QByteArray::number(inodes) + ",mode=0755";
        // DALVENOR_TEST_NO_MOUNT tries the stand-in on a machine where mounting works.
        if (qEnvironmentVariableIsSet("DALVENOR_TEST_NO_MOUNT"))
            m_problem = QStringLiteral("mounting turned off");
        else if (::mount("tmpfs", QFile::encodeName(m_path).constData(), "tmpfs",
                         MS_NOSUID | MS_NODEV, options.constData()) == 0)
            m_mounted = true;
        else
            m_problem = QStringLiteral("mount: ") + QString::fromLocal8Bit(std::strerror(errno));
    }

    ~FullDisk() {
        atomicfile::limitSpaceForTesting(-1);
        if (m_mounted) {
            const QByteArray path = QFile::encodeName(m_path);
            // Lazily when something is still open in it: the temporary folder must go too.
            if (::umount2(path.constData(), 0) != 0)
                ::umount2(path.constData(), MNT_DETACH);
        }
    }

    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;

    // The folder on the disk.
    QString path() const { return m_path; }
    QString filePath(const QString& name) const { return QDir(m_path).filePath(name); }
    // A real tmpfs; otherwise the writer's seam stands in for it.
    bool isReal() const { return m_mounted; }
    // Whether a test can rely on it.
    bool isUsable() const { return !m_path.isEmpty() && (m_mounted || ::geteuid() != 0); }
    QString problem() const { return m_problem; }

    // Fills the disk with a filler file until no more than freePages pages are left.
    bool fill(int freePages = 0) {
        if (!m_mounted) {
            atomicfile::limitSpaceForTesting(freePages * kPage);
            return true;
        }
        const QByteArray filler = QFile::encodeName(filePath(QStringLiteral(".filler")));
        const int fd = ::open(filler.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        if (fd < 0)
            return false;
        const QByteArray page(kPage, '\0');
        for (;;) {
            const ssize_t written = ::write(fd, page.constData(), size_t(page.size()));
            if (written > 0)
                continue;
            if (written < 0 && errno == EINTR)
                continue;
            break;
        }
        const off_t size = ::lseek(fd, 0, SEEK_END);
        const off_t keep = qMax<off_t>(0, size - off_t(freePages) * kPage);
        // Cut at a page boundary, so that exactly the pages asked for become free.
        const bool ok = ::ftruncate(fd, keep - keep % kPage) == 0;
        ::close(fd);
        return ok && freeBytes() == freePages * kPage;
    }

    // Uses up every file the disk can hold (the pages are left as they are).
    bool fillFiles() {
        if (!m_mounted)
            return false;
        QDir().mkpath(filePath(QStringLiteral(".files")));
        for (int n = 0; n < 100000; ++n) {
            const QByteArray name = QFile::encodeName(filePath(QStringLiteral(".files/%1").arg(n)));
            const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (fd < 0)
                return errno == ENOSPC;
            ::close(fd);
        }
        return false;
    }

    // Remounts the disk read-only (a real disk only).
    bool makeReadOnly() {
        return m_mounted && ::mount(nullptr, QFile::encodeName(m_path).constData(), nullptr,
                                    MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV, nullptr) == 0;
    }

    // Gives the room back (filler and used-up files removed, the seam lifted).
    void release() {
        atomicfile::limitSpaceForTesting(-1);
        QFile::remove(filePath(QStringLiteral(".filler")));
        QDir(filePath(QStringLiteral(".files"))).removeRecursively();
    }

    qint64 freeBytes() const {
        struct statvfs info {};
        if (::statvfs(QFile::encodeName(m_path).constData(), &info) != 0)
            return -1;
        return qint64(info.f_bavail) * qint64(info.f_frsize);
    }

private:
    static void writeProcFile(const char* name, const QByteArray& text) {
        const int fd = ::open(name, O_WRONLY | O_CLOEXEC);
        if (fd < 0)
            return;
        [[maybe_unused]] const ssize_t written = ::write(fd, text.constData(), size_t(text.size()));
        ::close(fd);
    }

    QTemporaryDir m_dir;
    QString m_path;
    QString m_problem;
    bool m_mounted = false;
};
