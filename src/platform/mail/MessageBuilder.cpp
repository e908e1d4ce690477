#include "platform/mail/MessageBuilder.h"

#include "platform/mail/MailAddress.h"
#include "base/AppError.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QMimeDatabase>
#include <QRandomGenerator>

#include <gmime/gmime.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

namespace {

const QString Source = QStringLiteral("MessageBuilder");

struct GObjectUnref
{
    void operator()(gpointer object) const
    {
        if (object)
            g_object_unref(object);
    }
};
template <typename T>
using GPtr = std::unique_ptr<T, GObjectUnref>;

void InitGMime()
{
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
}

QString SystemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// A header line cannot hold line breaks or other control characters.
QString HeaderText(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    for (QChar& c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = u' ';
    }
    return text;
}

bool IsPrintableAscii(const QString& text)
{
    return std::all_of(text.cbegin(), text.cend(),
                       [](QChar c) { return c.unicode() >= 0x20 && c.unicode() < 0x7f; });
}

// RFC 2047 encoded words, UTF-8 in base64, one folded line each. Words hold
// whole characters and stay well under 76 columns.
QByteArray EncodedWords(const QString& text)
{
    constexpr qsizetype ChunkBytes = 36;
    const QByteArray utf8 = text.toUtf8();
    QByteArray out;
    qsizetype start = 0;
    while (start < utf8.size()) {
        qsizetype end = std::min(start + ChunkBytes, utf8.size());
        while (end < utf8.size() && (static_cast<uchar>(utf8.at(end)) & 0xC0) == 0x80)
            --end;
        if (!out.isEmpty())
            out += "\n ";
        out += "=?UTF-8?B?" + utf8.mid(start, end - start).toBase64() + "?=";
        start = end;
    }
    return out;
}

QByteArray FormatMailbox(const MailAddress& mailbox)
{
    // A local part outside ASCII stays raw UTF-8 (RFC 6532); such a message
    // only goes to a server that offers SMTPUTF8.
    const QByteArray address = mailbox.address.toUtf8();
    if (mailbox.name.isEmpty())
        return address;
    QByteArray phrase;
    // A plain name is quoted. Anything else is encoded, and so is a name
    // that looks like an encoded word itself ("=?"), or a reader would
    // decode it into something the sender never wrote.
    if (IsPrintableAscii(mailbox.name) && !mailbox.name.contains(QStringLiteral("=?"))
        && mailbox.name.size() <= 200) {
        QByteArray quoted = mailbox.name.toLatin1();
        quoted.replace('\\', "\\\\").replace('"', "\\\"");
        phrase = '"' + quoted + '"';
    } else {
        phrase = EncodedWords(mailbox.name);
    }
    return phrase + " <" + address + '>';
}

QByteArray FormatAddressList(const QList<MailAddress>& mailboxes)
{
    QByteArray out;
    for (const MailAddress& mailbox : mailboxes) {
        if (!out.isEmpty())
            out += ",\n ";
        out += FormatMailbox(mailbox);
    }
    return out;
}

// Sets a header to text that is already encoded and folded.
void SetEncodedHeader(GMimeObject* object, const char* name, const QByteArray& value)
{
    g_mime_object_set_header(object, name, "", nullptr);
    GMimeHeader* header = g_mime_header_list_get_header(g_mime_object_get_header_list(object), name);
    g_mime_header_set_raw_value(header, (' ' + value + '\n').constData());
}

QString MessageIdDomain(const QString& sender)
{
    QString domain = sender.mid(sender.lastIndexOf(u'@') + 1);
    domain.remove(u'[').remove(u']');
    return domain.isEmpty() ? QStringLiteral("localhost") : domain;
}

// 128 random bits and the time; GMime's own generator opens /dev/urandom
// for every mail.
QByteArray NewMessageId(const QString& sender)
{
    quint64 random[2];
    QRandomGenerator::global()->fillRange(random);
    return QByteArray::number(QDateTime::currentMSecsSinceEpoch(), 36) + '.'
           + QByteArray::number(random[0], 36) + QByteArray::number(random[1], 36) + '@'
           + MessageIdDomain(sender).toUtf8();
}

struct Attachment
{
    int fd = -1;
    qint64 size = 0;
    QString path;
};

// Opened now so that a file that cannot be read is this mail's error. A
// FIFO or a device would block or never end: only plain files are taken.
Attachment OpenAttachment(const QString& path)
{
    Attachment attachment;
    attachment.path = path;
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        throw AppError(MailError::FileAccess, Source,
                       QStringLiteral("The attachment \"%1\" cannot be read: %2")
                           .arg(path, SystemError(error)));
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        throw AppError(MailError::FileAccess, Source,
                       QStringLiteral("The attachment \"%1\" is not a file").arg(path));
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    attachment.fd = fd;
    attachment.size = info.st_size;
    return attachment;
}

GMimeObject* NewAttachmentPart(Attachment& attachment)
{
    static const QMimeDatabase mimeDatabase;
    const QMimeType type =
        mimeDatabase.mimeTypeForFile(attachment.path, QMimeDatabase::MatchExtension);
    QString typeName = type.isValid() && !type.isDefault() ? type.name()
                                                           : QStringLiteral("application/octet-stream");
    const QByteArray mediaType = typeName.section(u'/', 0, 0).toLatin1();
    const QByteArray subtype = typeName.section(u'/', 1).toLatin1();

    GMimePart* part = g_mime_part_new_with_type(mediaType.constData(), subtype.constData());
    g_mime_object_set_disposition(GMIME_OBJECT(part), "attachment");
    g_mime_part_set_filename(part, QFileInfo(attachment.path).fileName().toUtf8().constData());
    GPtr<GMimeStream> stream(g_mime_stream_fs_new(attachment.fd)); // owns the descriptor now
    attachment.fd = -1;
    GPtr<GMimeDataWrapper> content(
        g_mime_data_wrapper_new_with_stream(stream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
    g_mime_part_set_content(part, content.get());
    g_mime_part_set_content_encoding(part, GMIME_CONTENT_ENCODING_BASE64);
    return GMIME_OBJECT(part);
}

GMimeObject* NewTextPart(const QString& body)
{
    QString text = body;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    // Without a final line break GMime does not measure the last line, and
    // an over-long one would go out as 7bit; SMTP ends the text with one anyway.
    if (!text.isEmpty() && !text.endsWith(u'\n'))
        text += u'\n';
    const QByteArray bytes = text.toUtf8();

    GMimeTextPart* part = g_mime_text_part_new_with_subtype("plain");
    g_mime_object_set_content_type_parameter(GMIME_OBJECT(part), "charset", "utf-8");
    GPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(bytes.constData(),
                                                               static_cast<size_t>(bytes.size())));
    GPtr<GMimeDataWrapper> content(
        g_mime_data_wrapper_new_with_stream(stream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
    g_mime_part_set_content(GMIME_PART(part), content.get());
    // Left at DEFAULT, encode picks 7bit, quoted-printable or base64 from
    // the text: long lines and non-ASCII text must not go out as 7bit.
    g_mime_part_set_content_encoding(GMIME_PART(part), GMIME_CONTENT_ENCODING_DEFAULT);
    g_mime_object_encode(GMIME_OBJECT(part), GMIME_ENCODING_CONSTRAINT_7BIT);
    return GMIME_OBJECT(part);
}

// An anonymous file: gone as soon as it is closed, even after a crash, and
// the merged text in it is never visible to others.
int NewTemporaryFile()
{
    QByteArray pattern = QFile::encodeName(QDir::tempPath()) + "/corvanta-mail-XXXXXX";
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        throw AppError(MailError::FileAccess, Source,
                       QStringLiteral("No temporary file for the message in %1: %2")
                           .arg(QDir::tempPath(), SystemError(error)));
    }
    ::unlink(pattern.constData());
    return fd;
}

[[noreturn]] void WriteFailed(int error)
{
    throw AppError(MailError::FileAccess, Source,
                   QStringLiteral("The message could not be written: %1")
                       .arg(error ? SystemError(error) : QStringLiteral("read or write error")));
}

} // namespace

// ---------------------------------------------------------------- PreparedMessage

PreparedMessage::PreparedMessage(PreparedMessage&& other) noexcept
    : m_sender(std::move(other.m_sender)), m_recipients(std::move(other.m_recipients)),
      m_internationalAddress(std::move(other.m_internationalAddress)),
      m_bytes(std::move(other.m_bytes)), m_fd(std::exchange(other.m_fd, -1)),
      m_size(other.m_size), m_position(other.m_position)
{
}

PreparedMessage& PreparedMessage::operator=(PreparedMessage&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_sender = std::move(other.m_sender);
        m_recipients = std::move(other.m_recipients);
        m_internationalAddress = std::move(other.m_internationalAddress);
        m_bytes = std::move(other.m_bytes);
        m_fd = std::exchange(other.m_fd, -1);
        m_size = other.m_size;
        m_position = other.m_position;
    }
    return *this;
}

PreparedMessage::~PreparedMessage()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool PreparedMessage::Seek(qint64 position)
{
    if (position < 0 || position > m_size)
        return false;
    m_position = position;
    return true;
}

qint64 PreparedMessage::Read(char* buffer, qint64 maxSize)
{
    const qint64 count = std::min(maxSize, m_size - m_position);
    if (count <= 0)
        return 0;
    if (m_fd < 0) {
        std::memcpy(buffer, m_bytes.constData() + m_position, static_cast<size_t>(count));
        m_position += count;
        return count;
    }
    ssize_t got;
    do {
        got = ::pread(m_fd, buffer, static_cast<size_t>(count), m_position);
    } while (got < 0 && errno == EINTR);
    if (got <= 0)
        return -1; // the file is shorter than written: as bad as a read error
    m_position += got;
    return got;
}

QByteArray PreparedMessage::ReadAll()
{
    if (m_fd < 0)
        return m_bytes;
    QByteArray all(m_size, Qt::Uninitialized);
    Seek(0);
    qint64 done = 0;
    while (done < m_size) {
        const qint64 got = Read(all.data() + done, m_size - done);
        if (got <= 0)
            WriteFailed(errno);
        done += got;
    }
    return all;
}

// ---------------------------------------------------------------- MessageBuilder

struct MessageBuilder::Private
{
    GMimeFormatOptions* format = nullptr;
    GTimeZone* timeZone = nullptr; // looked up once: GLib reads the zone files on every call
    qint64 memoryLimit = DefaultMemoryLimit;
};

MessageBuilder::MessageBuilder(LineEnding ending, qint64 memoryLimit) : d(std::make_unique<Private>())
{
    InitGMime();
    d->format = g_mime_format_options_new();
    g_mime_format_options_set_newline_format(
        d->format, ending == LineEnding::Crlf ? GMIME_NEWLINE_FORMAT_DOS : GMIME_NEWLINE_FORMAT_UNIX);
    g_mime_format_options_set_param_encoding_method(d->format, GMIME_PARAM_ENCODING_METHOD_RFC2231);
    d->memoryLimit = memoryLimit;
    d->timeZone = g_time_zone_new_local();
}

MessageBuilder::~MessageBuilder()
{
    g_mime_format_options_free(d->format);
    g_time_zone_unref(d->timeZone);
}

PreparedMessage MessageBuilder::Build(const OutgoingMessage& message) const
{
    const MailAddress from = MailAddresses::ParseOne(message.from, QStringLiteral("From"));
    const QList<MailAddress> to = MailAddresses::ParseList(message.to, QStringLiteral("To"));
    QList<MailAddress> replyTo;
    if (!message.replyTo.trimmed().isEmpty())
        replyTo = MailAddresses::ParseList(message.replyTo, QStringLiteral("Reply-To"));

    // Open every attachment before anything is written; the parts take
    // the descriptors over, the guard closes those not yet handed on.
    std::vector<Attachment> attachments;
    struct CloseLeft
    {
        std::vector<Attachment>& list;
        ~CloseLeft()
        {
            for (const Attachment& a : list)
                if (a.fd >= 0)
                    ::close(a.fd);
        }
    } closeLeft{attachments};
    attachments.reserve(static_cast<size_t>(message.attachments.size()));
    qint64 estimate = 16 * 1024 + 3 * message.body.size();
    for (const QString& path : message.attachments) {
        attachments.push_back(OpenAttachment(path));
        estimate += attachments.back().size / 3 * 4 + attachments.back().size / 38 + 1024;
    }

    GPtr<GMimeMessage> mime(g_mime_message_new(TRUE));
    GMimeObject* object = GMIME_OBJECT(mime.get());
    SetEncodedHeader(object, "From", FormatMailbox(from));
    if (!replyTo.isEmpty())
        SetEncodedHeader(object, "Reply-To", FormatAddressList(replyTo));
    SetEncodedHeader(object, "To", FormatAddressList(to));

    const QString subject = HeaderText(message.subject);
    // GMime leaves ASCII text alone, so a literal "=?" would reach the
    // reader as an encoded word: such a subject is encoded whole.
    if (subject.contains(QStringLiteral("=?")))
        SetEncodedHeader(object, "Subject", EncodedWords(subject));
    else
        g_mime_message_set_subject(mime.get(), subject.toUtf8().constData(), "utf-8");

    GDateTime* now = g_date_time_new_now(d->timeZone);
    g_mime_message_set_date(mime.get(), now);
    g_date_time_unref(now);
    g_mime_message_set_message_id(mime.get(), NewMessageId(from.address).constData());
    if (!message.mailer.isEmpty())
        g_mime_object_set_header(object, "X-Mailer", HeaderText(message.mailer).toUtf8().constData(),
                                 "utf-8");

    GPtr<GMimeObject> text(NewTextPart(message.body));
    if (attachments.empty()) {
        g_mime_message_set_mime_part(mime.get(), text.get());
    } else {
        GPtr<GMimeMultipart> mixed(g_mime_multipart_new_with_subtype("mixed"));
        g_mime_multipart_add(mixed.get(), text.get());
        for (Attachment& attachment : attachments) {
            GPtr<GMimeObject> part(NewAttachmentPart(attachment));
            g_mime_multipart_add(mixed.get(), part.get());
        }
        g_mime_message_set_mime_part(mime.get(), GMIME_OBJECT(mixed.get()));
    }

    PreparedMessage prepared;
    prepared.m_sender = from.address;
    for (const MailAddress& recipient : to)
        prepared.m_recipients.append(recipient.address);
    const QList<MailAddress> mailboxes = QList<MailAddress>{from} + to + replyTo;
    const auto international = std::find_if(mailboxes.cbegin(), mailboxes.cend(), [](const MailAddress& m) {
        return MailAddresses::HasInternationalLocalPart(m.address);
    });
    if (international != mailboxes.cend())
        prepared.m_internationalAddress = international->address;

    errno = 0;
    if (estimate <= d->memoryLimit) {
        GPtr<GMimeStream> memory(g_mime_stream_mem_new());
        if (g_mime_object_write_to_stream(object, d->format, memory.get()) < 0)
            WriteFailed(errno);
        const GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(memory.get()));
        prepared.m_bytes = QByteArray(reinterpret_cast<const char*>(bytes->data),
                                      static_cast<qsizetype>(bytes->len));
        prepared.m_size = prepared.m_bytes.size();
    } else {
        prepared.m_fd = NewTemporaryFile();
        GPtr<GMimeStream> file(g_mime_stream_fs_new(prepared.m_fd));
        g_mime_stream_fs_set_owner(GMIME_STREAM_FS(file.get()), FALSE);
        GPtr<GMimeStream> buffered(g_mime_stream_buffer_new(file.get(), GMIME_STREAM_BUFFER_BLOCK_WRITE));
        if (g_mime_object_write_to_stream(object, d->format, buffered.get()) < 0
            || g_mime_stream_flush(buffered.get()) != 0)
            WriteFailed(errno);
        const off_t end = ::lseek(prepared.m_fd, 0, SEEK_END);
        if (end < 0)
            WriteFailed(errno);
        prepared.m_size = end;
    }
    return prepared;
}

void MessageBuilder::Write(const OutgoingMessage& message, QIODevice& device) const
{
    PreparedMessage prepared = Build(message);
    std::vector<char> buffer(64 * 1024);
    qint64 got;
    while ((got = prepared.Read(buffer.data(), static_cast<qint64>(buffer.size()))) > 0) {
        if (device.write(buffer.data(), got) != got)
            throw AppError(MailError::FileAccess, Source,
                           QStringLiteral("The message could not be written: %1").arg(device.errorString()));
    }
    if (got < 0)
        WriteFailed(errno);
}
