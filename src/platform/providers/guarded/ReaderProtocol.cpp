#include "platform/providers/guarded/ReaderProtocol.h"

#include <QDataStream>
#include <QIODevice>
#include <QtEndian>

#include <cstring>
#include <limits>

namespace ReaderProtocol {

namespace {

constexpr char kRequestMagic[4] = {'C', 'V', 'R', 'Q'};
constexpr char kReplyMagic[4] = {'C', 'V', 'R', 'R'};
constexpr qsizetype kHeaderSize = Reply::HeaderSize;
constexpr auto kStreamVersion = QDataStream::Qt_6_4;

template <class Fn>
QByteArray Streamed(Fn write)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(kStreamVersion);
    write(out);
    return bytes;
}

} // namespace

QByteArray EncodeRequest(const Request& request)
{
    return QByteArray(kRequestMagic, 4) + Streamed([&](QDataStream& out) {
               out << quint8(request.operation) << request.connectionString << request.source;
           });
}

std::optional<Request> DecodeRequest(const QByteArray& bytes)
{
    if (!bytes.startsWith(QByteArray(kRequestMagic, 4)))
        return std::nullopt;
    QDataStream in(bytes.mid(4));
    in.setVersion(kStreamVersion);
    quint8 operation = 0;
    Request request;
    in >> operation >> request.connectionString >> request.source;
    if (in.status() != QDataStream::Ok || !in.atEnd() || operation < quint8(Operation::Open)
        || operation > quint8(Operation::Databases))
        return std::nullopt;
    request.operation = Operation(operation);
    return request;
}

Reply Reply::Of(const Recordset& recordset)
{
    return {Kind::Recordset, recordset.Persist()};
}

Reply Reply::Of(const QStringList& names)
{
    return {Kind::Names, Streamed([&](QDataStream& out) { out << names; })};
}

Reply Reply::Of(const AppError& error)
{
    return {Kind::Error, Streamed([&](QDataStream& out) {
                out << qint64(error.Number()) << error.Source() << error.Description();
            })};
}

QByteArray Reply::Header() const
{
    QByteArray header(kReplyMagic, 4);
    header.append(char(kind));
    char length[8];
    qToLittleEndian(quint64(payload.size()), length);
    header.append(length, 8);
    return header;
}

qint64 Reply::FrameSize(const char* header)
{
    const auto kind = quint8(header[4]);
    const auto length = qFromLittleEndian<quint64>(header + 5);
    if (std::memcmp(header, kReplyMagic, 4) != 0 || kind < quint8(Kind::Recordset) || kind > quint8(Kind::Error)
        || length > quint64(std::numeric_limits<qint64>::max() - kHeaderSize))
        return -1;
    return qint64(length) + kHeaderSize;
}

bool Reply::IsProgress(const char* header)
{
    return std::memcmp(header, kReplyMagic, 4) == 0 && quint8(header[4]) == quint8(Kind::Progress)
           && qFromLittleEndian<quint64>(header + 5) == 0;
}

std::optional<Reply> Reply::Decode(QByteArray frame)
{
    if (frame.size() < kHeaderSize || !frame.startsWith(QByteArray(kReplyMagic, 4)))
        return std::nullopt;
    const auto kind = quint8(frame[4]);
    const auto length = qFromLittleEndian<quint64>(frame.constData() + 5);
    if (kind < quint8(Kind::Recordset) || kind > quint8(Kind::Error) || length != quint64(frame.size() - kHeaderSize))
        return std::nullopt;
    // Dropping the front of a byte array of its own moves no bytes.
    frame.remove(0, kHeaderSize);
    return Reply{Kind(kind), std::move(frame)};
}

Recordset Reply::TakeRecordset() const
{
    return Recordset::FromPersisted(payload);
}

QStringList Reply::TakeNames() const
{
    QDataStream in(payload);
    in.setVersion(kStreamVersion);
    QStringList names;
    in >> names;
    return names;
}

void Reply::RaiseError() const
{
    QDataStream in(payload);
    in.setVersion(kStreamVersion);
    qint64 number = 0;
    QString source;
    QString description;
    in >> number >> source >> description;
    throw AppError(long(number), source, description);
}

} // namespace ReaderProtocol
