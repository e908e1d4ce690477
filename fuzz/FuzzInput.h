#pragma once

#include "platform/recordset/Recordset.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QVariant>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

// Shared by the fuzz targets: the readers that take a path get the input
// through one private file per process, rewritten for every input.
namespace FuzzInput {

// Some Qt parts (text codecs, temporary paths) want an application object.
inline void EnsureApplication()
{
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "corvanta-fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
}

// A folder of this process's own, memory-backed when possible: the fuzzer
// writes its files thousands of times a second.
inline QString PrivateFolder()
{
    EnsureApplication();
    static std::unique_ptr<QTemporaryDir> dir;
    if (!dir) {
        const QString shm = QStringLiteral("/dev/shm");
        dir = std::make_unique<QTemporaryDir>(QFile::exists(shm) ? shm + QStringLiteral("/corvanta-fuzz-XXXXXX")
                                                                  : QString());
        if (!dir->isValid())
            abort();
    }
    return dir->path();
}

// Writes the input to <private folder>/<fileName> and returns that path; the
// file name may name a folder below it, which must exist.
inline QString WriteFile(const QString& fileName, const uint8_t* data, size_t size)
{
    const QString path = PrivateFolder() + u'/' + fileName;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size))
        abort();
    return path;
}

// Touches every value, so that a broken record set shows up here and not later.
inline size_t Walk(const Recordset& rs)
{
    size_t seen = 0;
    const int fields = rs.FieldCount();
    for (int f = 0; f < fields; ++f)
        seen += size_t(rs.FieldName(f).size()) + size_t(rs.FieldType(f));
    const int rows = rs.RecordCount();
    for (int r = 0; r < rows; ++r)
        for (int f = 0; f < fields; ++f)
            seen += rs.IsNullAt(r, f) ? 1 : size_t(rs.ValueAt(r, f).toString().size());
    return seen;
}

} // namespace FuzzInput
