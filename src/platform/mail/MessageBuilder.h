#pragma once

#include "platform/mail/OutgoingMessage.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>

class QIODevice;

// Line ends of a written message: SMTP wants CRLF, sendmail and files LF.
enum class LineEnding { Crlf, Lf };

// One built message with its envelope. Small messages live in memory, large
// ones in an already unlinked temporary file, so a big attachment is never
// held in memory whole. Read it from the start, or Seek back to re-send.
class PreparedMessage
{
public:
    PreparedMessage(PreparedMessage&& other) noexcept;
    PreparedMessage& operator=(PreparedMessage&& other) noexcept;
    PreparedMessage(const PreparedMessage&) = delete;
    PreparedMessage& operator=(const PreparedMessage&) = delete;
    ~PreparedMessage();

    // Envelope sender and recipients: the From address and the To addresses,
    // exactly as the headers carry them.
    const QString& Sender() const { return m_sender; }
    const QStringList& Recipients() const { return m_recipients; }
    // The first address of the envelope or the headers whose local part is
    // outside ASCII; empty when there is none. Only a server that offers
    // SMTPUTF8 may take such a message.
    const QString& InternationalAddress() const { return m_internationalAddress; }

    qint64 Size() const { return m_size; }
    bool InMemory() const { return m_fd < 0; }

    bool Seek(qint64 position);
    // Up to maxSize bytes from the current position: 0 at the end, -1 when
    // the temporary file cannot be read.
    qint64 Read(char* buffer, qint64 maxSize);
    // The whole text, from the start.
    QByteArray ReadAll();

private:
    friend class MessageBuilder;
    PreparedMessage() = default;

    QString m_sender;
    QStringList m_recipients;
    QString m_internationalAddress;
    QByteArray m_bytes;
    int m_fd = -1;
    qint64 m_size = 0;
    qint64 m_position = 0;
};

// Turns an OutgoingMessage into MIME text: UTF-8 plain-text body (7-bit safe
// transfer encoding), RFC 2047 headers, attachments in base64 with RFC 2231
// names, Date, Message-ID and X-Mailer. One builder serves a whole run.
class MessageBuilder
{
public:
    // Messages whose estimated size passes this go to a temporary file.
    static constexpr qint64 DefaultMemoryLimit = 4 * 1024 * 1024;

    explicit MessageBuilder(LineEnding ending, qint64 memoryLimit = DefaultMemoryLimit);
    ~MessageBuilder();
    MessageBuilder(const MessageBuilder&) = delete;
    MessageBuilder& operator=(const MessageBuilder&) = delete;

    // Throws AppError for an unusable From, To or Reply-To, an attachment
    // that cannot be read, or a temporary file that cannot be written.
    PreparedMessage Build(const OutgoingMessage& message) const;

    // Builds and copies the message to an open device.
    void Write(const OutgoingMessage& message, QIODevice& device) const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};
