#include "merge/MergeFields.h"

#include "base/Texts.h"

namespace MergeFields {

namespace {

QString ColumnWord()
{
    return LoadResString(7);
}

} // namespace

QString UnnamedLabel(int position)
{
    return u'[' + ColumnWord() + u' ' + QString::number(position) + u']';
}

QString Marker(const QString& fieldName, int position)
{
    if (fieldName.isEmpty())
        return QString(2, MarkerOpen) + UnnamedLabel(position) + QString(2, MarkerClose);
    return MarkerOpen + fieldName + MarkerClose;
}

QString ColumnLabel(const QString& fieldName, int position)
{
    return fieldName.trimmed().isEmpty() ? UnnamedLabel(position) : fieldName;
}

bool IsUnnamedLabel(const QString& entry)
{
    const QString head = u'[' + ColumnWord() + u' ';
    return entry.size() > head.size() && entry.startsWith(head) && entry.endsWith(u']');
}

qsizetype Find(QStringView text, QStringView marker, qsizetype from)
{
    // Every marker starts with «, which is rare in mail text, so a
    // vectorised scan for that one character skips nearly all of it.
    const QChar first = marker.front();
    const qsizetype last = text.size() - marker.size();
    while (from <= last) {
        const qsizetype at = text.indexOf(first, from);
        if (at < 0 || at > last)
            return -1;
        if (text.sliced(at, marker.size()) == marker)
            return at;
        from = at + 1;
    }
    return -1;
}

QString MarkerForEntry(const QString& entry)
{
    if (IsUnnamedLabel(entry))
        return QString(2, MarkerOpen) + entry + QString(2, MarkerClose);
    return MarkerOpen + entry + MarkerClose;
}

} // namespace MergeFields
