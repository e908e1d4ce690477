#include "store/StoreFile.h"

#include "base/AppError.h"
#include "store/AtomicFile.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <limits>
#include <memory>
#include <vector>

namespace {

const QString source = QStringLiteral("StoreFile");
constexpr QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

[[noreturn]] void Invalid(const QString& why)
{
    throw AppError(PropertyBag::InvalidFormat, source, QStringLiteral("Invalid file format: %1").arg(why));
}

AppError AccessError(const QString& what, const QString& path, const QString& why)
{
    return AppError(StoreFile::FileAccessError, source,
                    QStringLiteral("Path/File access error: %1 %2: %3").arg(what, path, why));
}

[[noreturn]] void AccessFailed(const QString& what, const QString& path, const QString& why)
{
    throw AccessError(what, path, why);
}

} // namespace

namespace StoreFile {

QByteArray Wrap(const QByteArray& bagContents)
{
    if (bagContents.size() > std::numeric_limits<quint32>::max())
        throw AppError(7, source, QStringLiteral("Out of memory: the store data is too large"));
    QByteArray out(HeaderSize, Qt::Uninitialized);
    char* p = out.data();
    qToLittleEndian<quint16>(ByteArrayType, p);
    qToLittleEndian<quint16>(1, p + 2);
    qToLittleEndian<quint32>(static_cast<quint32>(bagContents.size()), p + 4);
    qToLittleEndian<quint32>(0, p + 8);
    out.append(bagContents);
    return out;
}

QByteArray Unwrap(const QByteArray& fileContents)
{
    if (fileContents.size() < HeaderSize)
        Invalid(QStringLiteral("the file is shorter than its header"));
    const char* p = fileContents.constData();
    const quint16 type = qFromLittleEndian<quint16>(p);
    if (type != ByteArrayType)
        Invalid(QStringLiteral("type code 0x%1 where 0x2011 was expected").arg(type, 4, 16, QLatin1Char('0')));
    const quint16 dimensions = qFromLittleEndian<quint16>(p + 2);
    if (dimensions != 1)
        Invalid(QStringLiteral("%1 dimensions where 1 was expected").arg(dimensions));
    const quint32 count = qFromLittleEndian<quint32>(p + 4);
    const quint32 lowerBound = qFromLittleEndian<quint32>(p + 8);
    if (lowerBound != 0)
        Invalid(QStringLiteral("lower bound %1 where 0 was expected").arg(lowerBound));
    const qint64 available = fileContents.size() - HeaderSize;
    if (count > available)
        Invalid(QStringLiteral("the file ends %1 bytes early").arg(count - available));
    return fileContents.mid(HeaderSize, count);
}

ReadResult Read(const QString& path)
{
    ReadResult result;
    QFile file(path);
    if (!file.exists())
        return result;
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
        result.status = ReadResult::Status::Unreadable;
        result.problem = file.errorString();
        if (QFileInfo(path).isDir())
            result.problem = QStringLiteral("it is a folder");
        return result;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        result.status = ReadResult::Status::Unreadable;
        result.problem = file.errorString();
        return result;
    }
    if (bytes.isEmpty()) {
        result.status = ReadResult::Status::Empty;
        return result;
    }
    try {
        result.bag = PropertyBag::FromContents(Unwrap(bytes));
        result.status = ReadResult::Status::Read;
    } catch (const AppError& e) {
        result.status = ReadResult::Status::Damaged;
        result.problem = e.Description();
    }
    return result;
}

namespace {

// Writes the bag into the temporary file of a store file, owner-only before
// any byte is in it, and syncs it. Nothing replaces the target until the
// caller commits.
void Prepare(AtomicFile& file, const PropertyBag& bag)
{
    const QByteArray bytes = Wrap(bag.Contents());
    if (!file.Open(ownerOnly) || !file.Write(bytes) || !file.Sync())
        AccessFailed(QStringLiteral("cannot write"), file.FileName(), file.ErrorString());
}

} // namespace

void Write(const QString& path, const PropertyBag& bag)
{
    QString why;
    if (!AtomicFile::Replace(path, Wrap(bag.Contents()), ownerOnly, &why))
        AccessFailed(QStringLiteral("cannot write"), path, why);
}

QList<AppError> WriteAll(const QList<QPair<QString, PropertyBag>>& files)
{
    std::vector<std::unique_ptr<AtomicFile>> prepared;
    for (const auto& [path, bag] : files) {
        prepared.push_back(std::make_unique<AtomicFile>(path));
        try {
            Prepare(*prepared.back(), bag);
        } catch (const AppError& e) {
            // The prepared files are dropped with their owners.
            return {e};
        }
    }
    QList<AppError> problems;
    QStringList folders;
    for (auto& file : prepared) {
        if (!file->Commit())
            problems.append(
                AccessError(QStringLiteral("cannot write"), file->FileName(), file->ErrorString()));
        const QString folder = QFileInfo(file->FileName()).absolutePath();
        if (!folders.contains(folder))
            folders.append(folder);
    }
    for (const QString& folder : folders) {
        QString why;
        if (!AtomicFile::SyncFolder(folder, &why))
            problems.append(AccessError(QStringLiteral("cannot sync the folder"), folder, why));
    }
    return problems;
}

QString KeepAside(const QString& path)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString target = path + u'.' + stamp + QStringLiteral(".bak");
    for (int n = 2; QFileInfo::exists(target); ++n) {
        if (n > 999)
            AccessFailed(QStringLiteral("cannot keep a copy of"), path, QStringLiteral("too many copies"));
        target = path + u'.' + stamp + u'-' + QString::number(n) + QStringLiteral(".bak");
    }
    QFile file(path);
    if (!file.copy(target))
        AccessFailed(QStringLiteral("cannot keep a copy of"), path, file.errorString());
    QFile::setPermissions(target, ownerOnly);
    return target;
}

} // namespace StoreFile

namespace MailSettingsFile {

PropertyBag Read(const QString& path)
{
    return StoreFile::Read(path).bag;
}

void Write(const QString& path, const Values& values)
{
    PropertyBag bag;
    bag.WriteInt32(SendUsingMethod, values.SendUsingMethod);
    bag.WriteText(SMTPServer, values.SMTPServer);
    bag.WriteInt16(SMTPConnectionTimeout, values.SMTPConnectionTimeout);
    bag.WriteInt32(SMPTAuthenticate, values.SMPTAuthenticate);
    bag.WriteText(SMTPUsername, values.SMTPUsername);
    bag.WriteText(SMTPPassword, values.SMTPPassword);
    bag.WriteInt16(SMTPServerPort, values.SMTPServerPort);
    bag.WriteInt16(SMTPMaxConnections, values.SMTPMaxConnections);
    bag.WriteInt32(SMTPEncryption, values.SMTPEncryption);
    bag.WriteText(SMTPCAFile, values.SMTPCAFile);
    bag.WriteText(SMTPTrustedCertificates, values.SMTPTrustedCertificates);
    bag.WriteInt16(SMTPRetryTemporary, values.SMTPRetryTemporary);
    bag.WriteInt32(SMTPMaxPerMinute, values.SMTPMaxPerMinute);
    bag.WriteInt32(SMTPMaxPerDay, values.SMTPMaxPerDay);
    bag.WriteInt32(SMTPOAuthProvider, values.SMTPOAuthProvider);
    bag.WriteText(SMTPOAuthTenant, values.SMTPOAuthTenant);
    bag.WriteText(SMTPOAuthClientID, values.SMTPOAuthClientID);
    bag.WriteText(SMTPOAuthClientSecret, values.SMTPOAuthClientSecret);
    bag.WriteText(SMTPOAuthAuthorizeURL, values.SMTPOAuthAuthorizeURL);
    bag.WriteText(SMTPOAuthTokenURL, values.SMTPOAuthTokenURL);
    bag.WriteText(SMTPOAuthDeviceURL, values.SMTPOAuthDeviceURL);
    bag.WriteText(SMTPOAuthScope, values.SMTPOAuthScope);
    // What cannot be read now may still be recovered by hand: keep it.
    if (StoreFile::Read(path).status == StoreFile::ReadResult::Status::Damaged)
        StoreFile::KeepAside(path);
    StoreFile::Write(path, bag);
}

} // namespace MailSettingsFile
