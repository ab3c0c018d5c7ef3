#include "db/FileAccess.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QSaveFile>

namespace db {

bool TestExclusive(const QString& path) {
    if (path.isEmpty()) return false;
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    bool free = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (free) {
        // The same whole-file write lock an exclusive connection takes: it is refused while any
        // connection, shared or exclusive, holds the file.
        struct flock lock {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        lock.l_start = 0;
        lock.l_len = 0;
        free = ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
    }
    // Closing the only descriptor of the description drops the lock again.
    ::close(fd);
    return free;
}

bool CopyFileWhole(const QString& from, const QString& to,
                   const std::function<bool(qint64 done)>& progress) {
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly)) return false;
    QSaveFile target(to);
    target.setDirectWriteFallback(false);
    // Unbuffered, so that every write reports its own failure: a buffered last piece only
    // reaches the file inside commit(), which does not report a write that fails there (a full
    // disk), and the destination would be replaced by a short copy.
    if (!target.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return false;
    char buffer[64 * 1024];
    qint64 done = 0;
    for (;;) {
        const qint64 n = source.read(buffer, sizeof buffer);
        if (n < 0) {
            target.cancelWriting();
            return false;
        }
        if (n == 0) break;
        if (target.write(buffer, n) != n) {
            target.cancelWriting();
            return false;
        }
        done += n;
        if (progress && !progress(done)) {
            target.cancelWriting();
            return false;
        }
    }
    return target.commit();
}

}  // namespace db
