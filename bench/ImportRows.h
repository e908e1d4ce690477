#pragma once

// The rows of the import benchmark's files, shared by bench_import and the
// .xlsx writer it starts (which must not link the readers: see
// bench_import_xlsx.cpp).

#include <QDate>

#include <cstddef>
#include <string>

namespace ImportRows {

// The same lists as bench_import_python.py writes into the .xls file.
inline const char* const kFirst[] = {
    "Anna", "Bernd", "Clara", "David", "Eva", "Felix", "Greta", "Hugo", "Ines", "Jonas", "Karin", "Lukas",
    "Marta", "Niels", "Olga", "Paul", "Rita", "Simon", "Tanja", "Ulrich", "José", "Zoë", "Björn", "Łucja"};
inline const char* const kLast[] = {
    "Andersen", "Becker", "Costa", "Dietrich", "Eriksson", "Fischer", "García", "Hansen",
    "Iversen", "Jensen", "Keller", "Lindqvist", "Müller", "Nowak", "Olsen", "Petersen",
    "Quist", "Rossi", "Schmidt", "Thomsen", "Ulbricht", "Vogel", "Weber", "Zieliński"};
inline const char* const kCities[] = {
    "Aarhus", "Berlin", "Lyon", "Sevilla", "Torino", "Bergen", "Malmö", "Gdańsk", "Odense", "Rotterdam", "Graz", "Zürich"};
inline const char* const kCompanies[] = {
    "Nordlicht Logistik GmbH", "Baltic Freight A/S", "Costa & Filhos Lda", "Helios Software AB",
    "Rheinufer Druck KG", "Vestas Components", "Atelier Lumière SARL", "Piast Budownictwo Sp. z o.o."};
inline const char* const kNotes[] = {
    "Prefers e-mail, never calls before ten", "Met at the spring fair, asked about volume prices",
    "Invoice address differs, see account", "Newsletter only", "VIP, handle with care",
    "Moved from Hamburg, new branch opens in May", "Pays by transfer, 30 days", "Asked for the catalogue in print"};

inline constexpr int kColumns = 10;
inline const char* const kHeader[kColumns] = {
    "Id", "FirstName", "LastName", "EMail", "City", "Company", "Age", "Balance", "Joined", "Note"};

template <typename T, size_t N>
constexpr size_t Count(T (&)[N])
{
    return N;
}

struct Row
{
    long long id;
    const char* first;
    const char* last;
    std::string email;
    const char* city;
    const char* company;
    int age;
    double balance;
    QDate joined;
    const char* note;
};

inline std::string Lower(const char* text)
{
    // Only the ASCII capitals: the names start with one.
    std::string s(text);
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return s;
}

inline Row MakeRow(long long i)
{
    Row r;
    r.id = i + 1;
    r.first = kFirst[i % Count(kFirst)];
    r.last = kLast[(i / 7) % Count(kLast)];
    r.email = Lower(r.first) + '.' + Lower(r.last) + std::to_string(i) + "@example.org";
    r.city = kCities[i % Count(kCities)];
    r.company = kCompanies[(i / 3) % Count(kCompanies)];
    r.age = int(18 + i % 70);
    r.balance = double(i * 7919 % 1000000) / 100.0;
    r.joined = QDate(1998, 1, 1).addDays(i % 9000);
    r.note = kNotes[i % Count(kNotes)];
    return r;
}

} // namespace ImportRows
