#include "platform/mail/OutgoingMessage.h"

#include <QFileInfo>

QStringList ExistingAttachments(const QString& attachments)
{
    QStringList existing;
    if (attachments.isEmpty())
        return existing;
    for (const QString& piece : attachments.split(u';')) {
        if (!piece.isEmpty() && QFileInfo::exists(piece))
            existing.append(piece);
    }
    return existing;
}
