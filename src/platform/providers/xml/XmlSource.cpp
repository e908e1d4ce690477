#include "platform/providers/xml/XmlSource.h"

#include "platform/http/HttpGet.h"
#include "platform/providers/SourceFile.h"
#include "platform/providers/xml/XmlRecordsetReader.h"
#include "base/AppError.h"

#include <QFile>
#include <QFileInfo>
#include <QUrl>

QString XmlSource::RequestAddress(const QString& url, const QDateTime& now)
{
    return url + (url.contains(u'?') ? u'&' : u'?') + QStringLiteral("timestamptoavoidcache=")
           + now.toString(u"yyyyMMddHHmmss");
}

namespace {

Recordset OpenFile(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        throw AppError(XmlSource::ErrFileNotFound, XmlRecordsetReader::Source,
                       QStringLiteral("The file %1 could not be found.").arg(path));
    SourceFile::RequireRegularFile(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw AppError(XmlSource::ErrFileNotFound, XmlRecordsetReader::Source,
                       QStringLiteral("The file %1 could not be opened: %2").arg(path, file.errorString()));
    return XmlRecordsetReader::Read(file);
}

} // namespace

Recordset XmlSource::Open(const QString& url, const QString& username, const QString& password, int timeoutMs)
{
    const QUrl parsed(url);
    const QString scheme = parsed.scheme().toLower();
    if (scheme == u"file")
        return OpenFile(parsed.toLocalFile());
    if (scheme.isEmpty() || (scheme != u"http" && scheme != u"https" && QFileInfo::exists(url)))
        return OpenFile(url); // a path, even one with a colon in it
    if (scheme != u"http" && scheme != u"https")
        throw AppError(ErrAddress, XmlRecordsetReader::Source,
                       QStringLiteral("The address %1 cannot be read: use an http or https address, a file: URL or a "
                                      "path.")
                           .arg(url));

    const QUrl address(RequestAddress(url, QDateTime::currentDateTime()));
    if (!address.isValid())
        throw AppError(ErrAddress, XmlRecordsetReader::Source,
                       QStringLiteral("The address %1 is not a valid URL.").arg(url));
    HttpGet::Options options;
    options.Username = username;
    options.Password = password;
    options.TimeoutMs = timeoutMs;
    const HttpGet::Response response = HttpGet::Get(address, options);
    if (response.Status != 200)
        throw AppError(response.Status, HttpSource, response.StatusText);
    return XmlRecordsetReader::Read(response.Body);
}
