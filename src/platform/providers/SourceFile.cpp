#include "platform/providers/SourceFile.h"

#include "base/AppError.h"

#include <QFile>

#include <sys/stat.h>

namespace SourceFile {

void RequireRegularFile(const QString& path)
{
    struct stat info{};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &info) != 0 || S_ISREG(info.st_mode))
        return;
    QString kind = QStringLiteral("a device");
    if (S_ISDIR(info.st_mode))
        kind = QStringLiteral("a folder");
    else if (S_ISFIFO(info.st_mode))
        kind = QStringLiteral("a named pipe");
    else if (S_ISSOCK(info.st_mode))
        kind = QStringLiteral("a socket");
    throw AppError(ErrNotAFile, Source,
                   QStringLiteral("%1 is %2, not a file; only files can be read as recipient sources.").arg(path, kind));
}

} // namespace SourceFile
