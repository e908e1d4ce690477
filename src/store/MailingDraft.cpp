#include "store/MailingDraft.h"

#include "base/AppError.h"
#include "store/StoreFile.h"

namespace {

const QString Sender = QStringLiteral("Sender");
const QString ToColumn = QStringLiteral("ToColumn");
const QString Subject = QStringLiteral("Subject");
const QString Body = QStringLiteral("Body");
const QString Attachments = QStringLiteral("Attachments");
const QString BodyChanged = QStringLiteral("BodyChanged");
const QString TextFile = QStringLiteral("TextFile");

// Attachments are joined by ";" as everywhere else; a path holding one is
// refused when attached.
const QChar Separator = u';';

} // namespace

QString MailingDraft::FileName()
{
    return QStringLiteral("dsmailing.dat");
}

LoadedDraft MailingDraft::Load(const QString& folder)
{
    const QString path = folder + FileName();
    const StoreFile::ReadResult read = StoreFile::Read(path);
    LoadedDraft loaded;
    using Status = StoreFile::ReadResult::Status;
    if (read.status == Status::Missing)
        return loaded;
    QString damage = read.problem;
    if (read.status == Status::Read) {
        const PropertyBag& bag = read.bag;
        if (bag.KindOf(Body) == PropertyBag::Kind::Text) {
            MailingDraft& d = loaded.draft;
            d.sender = bag.ReadText(Sender, QString());
            d.toColumn = bag.ReadText(ToColumn, QString());
            d.subject = bag.ReadText(Subject, QString());
            d.body = bag.ReadText(Body, QString());
            d.attachments = bag.ReadText(Attachments, QString()).split(Separator, Qt::SkipEmptyParts);
            d.bodyChanged = bag.ReadBoolean(BodyChanged, false);
            d.textFile = bag.ReadText(TextFile, QString());
            return loaded;
        }
        damage = QStringLiteral("it holds no composed mailing");
    } else if (read.status == Status::Empty) {
        damage = QStringLiteral("the file is empty");
    }
    try {
        const QString copy = StoreFile::KeepAside(path);
        loaded.problem = QStringLiteral("The composed mailing in %1 could not be read (%2). A copy "
                                        "was kept as %3; the Compose step starts empty.")
                             .arg(path, damage, copy);
    } catch (const AppError& e) {
        loaded.problem = QStringLiteral("The composed mailing in %1 could not be read (%2) and no "
                                        "copy could be kept (%3); the Compose step starts empty.")
                             .arg(path, damage, e.Description());
        loaded.leaveFile = true;
    }
    return loaded;
}

void MailingDraft::Save(const QString& folder) const
{
    PropertyBag bag;
    bag.WriteText(Sender, sender);
    bag.WriteText(ToColumn, toColumn);
    bag.WriteText(Subject, subject);
    bag.WriteText(Body, body);
    bag.WriteText(Attachments, attachments.join(Separator));
    bag.WriteBoolean(BodyChanged, bodyChanged);
    bag.WriteText(TextFile, textFile);
    StoreFile::Write(folder + FileName(), bag);
}
