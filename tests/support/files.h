// Writing test files in one call.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace snipora::test {

// Creates or replaces the file with exactly these bytes; false when that fails.
inline bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace snipora::test
