#pragma once

#include <QString>
#include <QXmlStreamReader>

// Neither record set documents nor workbook parts ever carry a DTD; one that
// does is refused before any entity in it can expand ("billion laughs").
namespace XmlSafety {

// Call on every DTD token; returns the reason to refuse the document.
inline QString DtdRefusal(const QXmlStreamReader& xml)
{
    if (!xml.entityDeclarations().isEmpty())
        return QStringLiteral("The document declares entities in a DTD; such documents are refused, as "
                              "their entities can expand without limit.");
    return QStringLiteral("The document carries a DTD, which this kind of document never has.");
}

// Entity expansion stays small even without a DTD (character references only).
inline void Limit(QXmlStreamReader& xml)
{
    xml.setEntityExpansionLimit(1024);
}

} // namespace XmlSafety
