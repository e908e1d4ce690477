#pragma once

#include "platform/recordset/Recordset.h"

#include <QHash>
#include <QString>
#include <QStringList>

class VCard;

// The columns every contact folder and address book gives, in this order.
// All are text (202); a value the contact does not have is Null.
//
//   First, Last, Display name, Nickname, E-mail address, E-mail 2,
//   Business phone, Home phone, Mobile phone, Fax, Pager,
//   Title, Department, Company,
//   Business street, Business city, Business state, Business postal code,
//   Business country,
//   Home street, Home city, Home state, Home postal code, Home country,
//   Web page, Home web page, Birthday, Notes,
//   Custom 1, Custom 2, Custom 3, Custom 4
//
// A street holds both address lines, joined by a line break. The birthday is
// "yyyy-MM-dd", or "--MM-dd" when the year is not known.
namespace ContactsColumns {

enum Column : int {
    First, Last, DisplayName, Nickname, EMail, EMail2,
    BusinessPhone, HomePhone, MobilePhone, Fax, Pager,
    Title, Department, Company,
    BusinessStreet, BusinessCity, BusinessState, BusinessPostalCode, BusinessCountry,
    HomeStreet, HomeCity, HomeState, HomePostalCode, HomeCountry,
    WebPage, HomeWebPage, Birthday, Notes,
    Custom1, Custom2, Custom3, Custom4,
    Count
};

const QStringList& Names();

// An open, empty record set with the columns above.
Recordset MakeRecordset();

// One contact as a row: Count values, empty meaning Null.
using Row = QStringList;

// From an address book card's properties (name to value). When the card
// holds a "_vCard" property, what the vCard says wins and the other
// properties fill only what it leaves empty.
Row FromCardProperties(const QHash<QString, QString>& properties);

// From a vCard alone.
Row FromVCard(const VCard& card);

void AppendRow(Recordset& recordset, const Row& row);

} // namespace ContactsColumns
