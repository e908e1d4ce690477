#include "merge/MergeFields.h"

#include "shell/Texts.h"

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

QString MarkerForEntry(const QString& entry)
{
    if (IsUnnamedLabel(entry))
        return QString(2, MarkerOpen) + entry + QString(2, MarkerClose);
    return MarkerOpen + entry + MarkerClose;
}

} // namespace MergeFields
