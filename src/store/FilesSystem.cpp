#include "store/FilesSystem.h"

#include "base/AppInfo.h"
#include "store/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QUrl>

namespace {

QMutex handlerMutex;
FilesSystem::ProblemHandler& Handler()
{
    static FilesSystem::ProblemHandler handler;
    return handler;
}

void Report(const QString& text, const QString& path)
{
    FilesSystem::ProblemHandler handler;
    {
        QMutexLocker lock(&handlerMutex);
        handler = Handler();
    }
    if (handler)
        handler(text, path);
    else
        qWarning("%s (%s)", qPrintable(text), qPrintable(path));
}

// Bytes 0x80 to 0x9F of Windows-1252. The five bytes the code page leaves
// undefined map to the control character of the same number, as the
// system's own conversion does.
constexpr char16_t cp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

QString DecodeWindows1252(const QByteArray& bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        *out++ = (b >= 0x80 && b <= 0x9F) ? QChar(cp1252High[b - 0x80]) : QChar(b);
    }
    return text;
}

constexpr qint64 copyChunk = 1 << 20;

} // namespace

void FilesSystem::SetProblemHandler(ProblemHandler handler)
{
    QMutexLocker lock(&handlerMutex);
    Handler() = std::move(handler);
}

QString FilesSystem::GetSpecialFolder(int id) const
{
    QString path;
    switch (id) {
    case CSIDL_PERSONAL:
        path = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        break;
    case CSIDL_LOCAL_APPDATA:
        path = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
        break;
    default:
        return {};
    }
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    return path;
}

bool FilesSystem::FolderExists(const QString& path) const
{
    return !path.isEmpty() && QFileInfo(path).isDir();
}

bool FilesSystem::FileExists(const QString& path) const
{
    return !path.isEmpty() && QFileInfo::exists(path);
}

bool FilesSystem::CreateFolder(const QString& path) const
{
    if (path.isEmpty())
        return false;
    QDir().mkpath(path);
    return FolderExists(path);
}

QString FilesSystem::DecodeText(const QByteArray& bytes)
{
    QByteArrayView view(bytes);
    if (view.startsWith("\xEF\xBB\xBF"))
        view = view.sliced(3);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(view);
    if (!utf8.hasError())
        return text;
    return DecodeWindows1252(bytes);
}

QString FilesSystem::ReadTextFile(const QString& path, bool* ok) const
{
    if (ok)
        *ok = false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        Report(QStringLiteral("Error reading file ..."), path);
        return {};
    }
    const qint64 size = file.size();
    QByteArray bytes = file.readAll();
    // A file that changes while being read (or a device without a size)
    // gives a different count; report it, as the user may get a partial text.
    const bool complete = file.error() == QFileDevice::NoError &&
                          (file.isSequential() || bytes.size() == size);
    if (!complete)
        Report(QStringLiteral("Error reading file ..."), path);
    else if (ok)
        *ok = true;
    return DecodeText(bytes);
}

bool FilesSystem::WriteTextFile(const QString& path, const QString& text) const
{
    if (!AtomicFile::Replace(path, text.toUtf8(), std::nullopt, nullptr)) {
        Report(QStringLiteral("Error writing file ..."), path);
        return false;
    }
    return true;
}

bool FilesSystem::CopyOneFile(const QString& source, const QString& target, bool overwrite) const
{
    if (!QFileInfo(source).isFile())
        return false;
    if (!overwrite)
        return !QFileInfo::exists(target) && QFile::copy(source, target);

    // Replacing: stream into a temporary file beside the target, so a failed
    // copy never leaves the target missing or cut short.
    QFile in(source);
    AtomicFile out(target);
    if (!in.open(QIODevice::ReadOnly) || !out.Open())
        return false;
    while (!in.atEnd()) {
        const QByteArray chunk = in.read(copyChunk);
        if (in.error() != QFileDevice::NoError || !out.Write(chunk))
            return false;
    }
    return out.Commit() && AtomicFile::SyncFolder(QFileInfo(target).absolutePath(), nullptr);
}

bool FilesSystem::IsUrl(const QString& text)
{
    const qsizetype colon = text.indexOf(u':');
    if (colon < 2)
        return false;
    if (!text.at(0).isLetter() || text.at(0).unicode() > 0x7F)
        return false;
    for (qsizetype i = 1; i < colon; ++i) {
        const char16_t c = text.at(i).unicode();
        const bool allowed = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                             (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.';
        if (!allowed)
            return false;
    }
    return true;
}

bool FilesSystem::IsValidSource(const QString& text) const
{
    if (!IsUrl(text))
        return FileExists(text);
    const QString lower = text.toLower();
    // Encrypted addresses are as good as plain ones; refusing them would
    // push users to send credentials over plain HTTP.
    if (lower.startsWith(u"http:") || lower.startsWith(u"https:"))
        return true;
    if (lower.startsWith(u"file:")) {
        const QUrl url(text);
        if (!url.isValid() || !url.isLocalFile())
            return false;
        return FileExists(url.toLocalFile());
    }
    return false;
}

QString FilesSystem::VersionText()
{
    return QStringLiteral("%1.%2").arg(AppInfo::Major).arg(AppInfo::Minor);
}

QString FilesSystem::VersionDataFolder()
{
    const FilesSystem fs;
    return fs.GetSpecialFolder(CSIDL_LOCAL_APPDATA) + u'/' + AppInfo::CompanyName() + u'/' +
           AppInfo::ProductName() + u'/' + VersionText() + u'/';
}
