#pragma once

#include "base/AppError.h"
#include "platform/recordset/Recordset.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// What the program and the reader helper (corvanta-reader) say to each other.
//
// The request goes to the helper's standard input, never on its command
// line, since connection strings hold passwords. The reply comes back on its
// standard output as one frame:
//   "CVRR"          4 bytes
//   kind            u8 (Reply::Kind)
//   payload length  u64, little-endian
//   payload         a persisted record set, a QDataStream of names, nothing,
//                   or a QDataStream of the error's number, source and
//                   description
// A reply that is cut short or followed by more bytes is not a reply. Before
// it, while it reads, the helper may send any number of progress frames:
// the header alone, of kind Progress and length 0.
namespace ReaderProtocol {

enum class Operation : quint8 {
    Open = 1,           // every row of a table or command text
    TableNames = 2,     // the tables and views
    TestConnection = 3, // connect and let go
    Databases = 4,      // the databases of a SQL Server
};

struct Request
{
    Operation operation = Operation::Open;
    QString connectionString;
    QString source; // Open only
};

QByteArray EncodeRequest(const Request& request);
std::optional<Request> DecodeRequest(const QByteArray& bytes);

struct Reply
{
    enum class Kind : quint8 { Recordset = 1, Names = 2, Done = 3, Error = 4, Progress = 5 };
    Kind kind = Kind::Done;
    QByteArray payload;

    static Reply Of(const Recordset& recordset);
    static Reply Of(const QStringList& names);
    static Reply Of(const AppError& error);
    static Reply Done() { return {}; }
    static Reply Progress() { return {Kind::Progress, {}}; }

    // The frame's first bytes; the payload follows them.
    static constexpr qsizetype HeaderSize = 4 + 1 + 8;
    QByteArray Header() const;
    // The whole frame's size from its first HeaderSize bytes; -1 when they
    // are no header.
    static qint64 FrameSize(const char* header);
    // Whether those bytes are a whole progress frame.
    static bool IsProgress(const char* header);

    // Turns a whole frame back into what the helper meant: the record set or
    // names it sent, or the error it sent raised here. Bytes that are no
    // frame give std::nullopt.
    static std::optional<Reply> Decode(QByteArray frame);
    Recordset TakeRecordset() const;
    QStringList TakeNames() const;
    [[noreturn]] void RaiseError() const;
};

// The helper's exit status when its memory ran out (0 means a reply was sent).
constexpr int ExitOutOfMemory = 3;
// The helper's exit status when its request could not be read.
constexpr int ExitBadRequest = 4;
// The helper's exit status when the program that started it was gone.
constexpr int ExitOrphaned = 5;

} // namespace ReaderProtocol
