// File identity by device and inode, so that no spelling of the open file's path can make a save
// destroy it.
#include "core/file_identity.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace snipora {

namespace {
bool identify(const QString& path, struct stat& info) {
    return !path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &info) == 0;
}
} // namespace

bool sameFile(const QString& a, const QString& b) {
    struct stat first {};
    struct stat second {};
    const bool firstExists = identify(a, first);
    const bool secondExists = identify(b, second);
    if (firstExists && secondExists) {
        return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
    }
    if (firstExists != secondExists || a.isEmpty() || b.isEmpty()) {
        return false;
    }
    return QDir::cleanPath(QFileInfo(a).absoluteFilePath()) ==
           QDir::cleanPath(QFileInfo(b).absoluteFilePath());
}

bool isOpenFile(const QString& path, int handle) {
    struct stat file {};
    struct stat open {};
    return handle >= 0 && identify(path, file) && ::fstat(handle, &open) == 0 &&
           file.st_dev == open.st_dev && file.st_ino == open.st_ino;
}

} // namespace snipora
