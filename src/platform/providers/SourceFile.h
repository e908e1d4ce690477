#pragma once

#include <QString>

// A file named as a recipient source. Only regular files are read: opening a
// named pipe waits until something writes to it, a device may never end, and
// a folder is no document. Every file source is checked here before its
// reader opens it.
namespace SourceFile {

inline const QString Source = QStringLiteral("Provider");

enum Error : long {
    ErrNotAFile = 3044, // the path names something other than a file
};

// Raises ErrNotAFile when the path names a folder, a named pipe, a socket or
// a device. A path that names nothing is left to the reader, which reports
// the file as missing in its own words.
void RequireRegularFile(const QString& path);

} // namespace SourceFile
