#include "store/DataStore.h"

#include "recipients/RecipientLists.h"
#include "senders/FromAddresses.h"
#include "store/FilesSystem.h"
#include "store/StoreFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRandomGenerator>

#include <limits>

#include <sys/statvfs.h>

namespace {

const QString source = QStringLiteral("DataStore");
// Written into each file of a save, so that a load can tell whether the
// files belong together. Files of earlier versions have none.
const QString generationProperty = QStringLiteral("Generation");
constexpr qint64 textSize = 4000;

struct FieldDef
{
    const char* name;
    int type;
    qint64 size;
};

constexpr FieldDef listFields[] = {
    {"RecipientListID", AdoType::Integer, 4},
    {"ListName", AdoType::VarChar, textSize},
    {"IsListValid", AdoType::Boolean, 2},
    {"DataType", AdoType::SmallInt, 2},
    {"AuthenticationRequired", AdoType::Boolean, 2},
    {"Username", AdoType::VarChar, textSize},
    {"Password", AdoType::VarChar, textSize},
    {"SQLDataBase", AdoType::VarChar, textSize},
    {"SQLServerName", AdoType::VarChar, textSize},
    {"SQLUseWindowsSecurity", AdoType::SmallInt, 2},
    {"AccessFileName", AdoType::VarChar, textSize},
    {"XMLUrlUri", AdoType::VarChar, textSize},
    {"ExcelFilename", AdoType::VarChar, textSize},
    {"ExcelFirstRowContainsColumnHeadings", AdoType::Boolean, 2},
    {"OutlookPath", AdoType::VarChar, textSize},
    {"OutlookCatalog", AdoType::VarChar, textSize},
    {"OutlookCatalogType", AdoType::Integer, 4},
    {"AdvancedConnectionString", AdoType::VarChar, textSize},
    {"CatalogCommandText", AdoType::VarChar, textSize},
    {"CatalogCommandType", AdoType::VarChar, textSize},
    {"CatalogTableOrView", AdoType::VarChar, textSize},
};

constexpr FieldDef filterFields[] = {
    {"FilterID", AdoType::Integer, 4},
    {"RecipientListID", AdoType::Integer, 4},
    {"ComparisonOperator", AdoType::SmallInt, 2},
    {"Data", AdoType::VarChar, textSize},
    {"LogicalOperator", AdoType::SmallInt, 2},
    {"Value", AdoType::VarChar, textSize},
};

constexpr FieldDef senderFields[] = {
    {"Name", AdoType::VarChar, textSize},
    {"EMailAddress", AdoType::VarChar, textSize},
    {"ReplyEMailAddress", AdoType::VarChar, textSize},
};

std::span<const FieldDef> FieldsOf(int kind)
{
    switch (kind) {
    case DataStore::RecipientListsKind:
        return listFields;
    case DataStore::FiltersKind:
        return filterFields;
    case DataStore::FromAddressesKind:
        return senderFields;
    }
    throw AppError(5, source, QStringLiteral("Invalid procedure call or argument: table kind %1").arg(kind));
}

// Whether a table read from a file has every field of its kind, with its type.
bool HasFieldsOf(const Recordset& table, int kind, QString* why)
{
    for (const FieldDef& f : FieldsOf(kind)) {
        const QString name = QString::fromLatin1(f.name);
        const int at = table.FieldIndex(name);
        if (at < 0) {
            *why = QStringLiteral("the field %1 is missing").arg(name);
            return false;
        }
        if (table.FieldType(at) != f.type) {
            *why = QStringLiteral("the field %1 has type %2 instead of %3")
                       .arg(name)
                       .arg(table.FieldType(at))
                       .arg(f.type);
            return false;
        }
    }
    return true;
}

bool IsNull(const QVariant& v)
{
    return !v.isValid() || v.isNull();
}

QString Text(const QVariant& v)
{
    return IsNull(v) ? QString() : v.toString();
}

qint32 Number(const QVariant& v, qint32 fallback)
{
    bool ok = false;
    const qint32 n = IsNull(v) ? 0 : v.toInt(&ok);
    return ok ? n : fallback;
}

bool Flag(const QVariant& v, bool fallback)
{
    return IsNull(v) ? fallback : v.toBool();
}

QString ProgramFolder()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget()).absolutePath();
}

QString WithSeparator(QString path)
{
    if (!path.endsWith(u'/'))
        path += u'/';
    return path;
}

} // namespace

DataStore::DataStore(RecipientLists& lists, FromAddresses& senders, const QString& folder,
                     ProblemHandler onProblem)
    : m_lists(lists), m_senders(senders), m_folder(WithSeparator(folder)),
      m_onProblem(std::move(onProblem))
{
}

DataStore::~DataStore()
{
    if (!m_loaded)
        return;
    try {
        Save();
    } catch (...) {
        // A handler that throws must not take the program down on its way out.
    }
}

QString DataStore::FileName(int kind)
{
    switch (kind) {
    case RecipientListsKind:
        return QStringLiteral("dsrcptlsts.dat");
    case FiltersKind:
        return QStringLiteral("dsfltrs.dat");
    case FromAddressesKind:
        return QStringLiteral("dsfrmaddrs.dat");
    }
    throw AppError(5, source, QStringLiteral("Invalid procedure call or argument: table kind %1").arg(kind));
}

QString DataStore::PropertyName(int kind)
{
    switch (kind) {
    case RecipientListsKind:
        return QStringLiteral("RecipientLists");
    case FiltersKind:
        return QStringLiteral("Filters");
    case FromAddressesKind:
        return QStringLiteral("FromAddresses");
    }
    throw AppError(5, source, QStringLiteral("Invalid procedure call or argument: table kind %1").arg(kind));
}

QString DataStore::PathOf(int kind) const
{
    return m_folder + FileName(kind);
}

void DataStore::Report(const AppError& problem)
{
    m_problemReported = true;
    if (m_onProblem)
        m_onProblem(problem);
    else
        qWarning("%s", qPrintable(problem.Description()));
}

Recordset DataStore::NewTable(int kind)
{
    Recordset table;
    for (const FieldDef& f : FieldsOf(kind))
        table.AppendField(QString::fromLatin1(f.name), f.type, f.size);
    table.Open();
    return table;
}

Recordset DataStore::NewRecipientListsTable()
{
    return NewTable(RecipientListsKind);
}

Recordset DataStore::NewFiltersTable()
{
    return NewTable(FiltersKind);
}

Recordset DataStore::NewFromAddressesTable()
{
    return NewTable(FromAddressesKind);
}

Recordset DataStore::LoadTable(int kind)
{
    const QString path = PathOf(kind);
    m_generation[kind].reset();
    // A first load writes the empty table, so the user sees where the data
    // goes; a file of no bytes is then never one this program left behind.
    if (!QFileInfo::exists(path)) {
        try {
            SaveTable(kind, NewTable(kind));
        } catch (const AppError&) {
            // Read as missing below; the next save reports what fails.
        }
    }
    StoreFile::ReadResult read = StoreFile::Read(path);

    QString damage;
    switch (read.status) {
    case StoreFile::ReadResult::Status::Missing:
        m_fileState[kind] = FileState::Good;
        return NewTable(kind);
    case StoreFile::ReadResult::Status::Empty:
        damage = QStringLiteral("it is empty");
        break;
    case StoreFile::ReadResult::Status::Unreadable:
        m_fileState[kind] = FileState::Untouchable;
        Report(AppError(StoreFile::FileAccessError, source,
                        QStringLiteral("The file %1 cannot be read (%2). It is left as it is and "
                                       "its contents are not used.")
                            .arg(path, read.problem)));
        return NewTable(kind);
    case StoreFile::ReadResult::Status::Damaged:
        damage = read.problem;
        break;
    case StoreFile::ReadResult::Status::Read:
        if (const std::optional<QByteArray> persisted = read.bag.ReadTable(PropertyName(kind))) {
            try {
                Recordset table = Recordset::FromPersisted(*persisted);
                if (HasFieldsOf(table, kind, &damage)) {
                    m_fileState[kind] = FileState::Good;
                    if (read.bag.KindOf(generationProperty) == PropertyBag::Kind::Int32)
                        m_generation[kind] = read.bag.ReadInt32(generationProperty, 0);
                    return table;
                }
            } catch (const AppError& e) {
                damage = e.Description();
            }
        } else {
            damage = QStringLiteral("it holds no table %1").arg(PropertyName(kind));
        }
        break;
    }
    return PutAside(kind, damage);
}

Recordset DataStore::PutAside(int kind, const QString& damage)
{
    const QString path = PathOf(kind);
    try {
        const QString copy = StoreFile::KeepAside(path);
        m_fileState[kind] = FileState::KeptAside;
        Report(AppError(PropertyBag::InvalidFormat, source,
                        QStringLiteral("The file %1 could not be read (%2). A copy was kept as %3; "
                                       "the program goes on without its contents.")
                            .arg(path, damage, copy)));
    } catch (const AppError& e) {
        m_fileState[kind] = FileState::Untouchable;
        Report(AppError(StoreFile::FileAccessError, source,
                        QStringLiteral("The file %1 could not be read (%2) and no copy could be "
                                       "kept (%3). It is left as it is and its contents are not used.")
                            .arg(path, damage, e.Description())));
    }
    return NewTable(kind);
}

void DataStore::SaveTable(int kind, const Recordset& table) const
{
    PropertyBag bag;
    bag.WriteTable(PropertyName(kind), table.Persist());
    StoreFile::Write(PathOf(kind), bag);
}

bool DataStore::Load()
{
    m_problemReported = false;
    if (m_loaded) {
        Report(AppError(5, source, QStringLiteral("The store is loaded already; loading it again "
                                                  "would list every entry twice.")));
        return false;
    }
    const FolderPreparation prepared = PrepareFolder(m_folder);
    if (!prepared.existed && !prepared.created)
        Report(AppError(StoreFile::FileAccessError, source,
                        QStringLiteral("The data folder %1 cannot be created.").arg(m_folder)));

    Recordset filters = LoadTable(FiltersKind);
    Recordset lists = LoadTable(RecipientListsKind);
    Recordset senders = LoadTable(FromAddressesKind);
    // Filter rows name their list by its place, so they hold only with the
    // lists file of the same save; a crash between the renames of a save
    // can leave them beside another one.
    if (filters.RecordCount() > 0 && m_fileState[FiltersKind] == FileState::Good &&
        m_fileState[RecipientListsKind] == FileState::Good &&
        m_generation[FiltersKind] != m_generation[RecipientListsKind])
        filters = PutAside(FiltersKind, QStringLiteral("it was saved with another %1")
                                            .arg(FileName(RecipientListsKind)));
    try {
        FillCollections(lists, filters, senders);
    } catch (const AppError& e) {
        // Whatever could not be taken in must not be lost at the next save.
        for (int kind = 0; kind < 3; ++kind) {
            if (m_fileState[kind] != FileState::Good || !QFileInfo(PathOf(kind)).size())
                continue;
            try {
                StoreFile::KeepAside(PathOf(kind));
                m_fileState[kind] = FileState::KeptAside;
            } catch (const AppError&) {
                m_fileState[kind] = FileState::Untouchable;
            }
        }
        Report(AppError(e.Number(), source,
                        QStringLiteral("The saved lists and senders could not all be loaded (%1). "
                                       "Copies of the store files were kept beside them.")
                            .arg(e.Description())));
    }
    lists.Close();
    filters.Close();
    senders.Close();
    m_loaded = true;
    return !m_problemReported;
}

void DataStore::FillCollections(Recordset& lists, Recordset& filters, Recordset& senders)
{
    // The filter rows of every list, in file order, gathered in one pass
    // rather than filtering the table once per list.
    QHash<qint64, std::vector<Filter>> rowsOfList;
    int filterRows = 0;
    for (filters.MoveFirst(); !filters.AtEOF(); filters.MoveNext()) {
        ++filterRows;
        const QVariant id = filters.Value(QStringLiteral("RecipientListID"));
        if (IsNull(id))
            continue;
        Filter row;
        row.SetComparisonOperator(Number(filters.Value(QStringLiteral("ComparisonOperator")), 0));
        row.SetData(Text(filters.Value(QStringLiteral("Data"))));
        row.SetLogicalOperator(Number(filters.Value(QStringLiteral("LogicalOperator")), Filter::And));
        const QVariant value = filters.Value(QStringLiteral("Value"));
        row.SetValue(IsNull(value) ? QVariant() : QVariant(value.toString()));
        rowsOfList[id.toLongLong()].push_back(std::move(row));
    }

    int filterRowsTaken = 0;
    for (lists.MoveFirst(); !lists.AtEOF(); lists.MoveNext()) {
        auto list = std::make_shared<RecipientList>();
        list->SetListName(Text(lists.Value(QStringLiteral("ListName"))));
        list->SetDataType(Number(lists.Value(QStringLiteral("DataType")), RecipientList::NoSource));
        list->SetIsListValid(Flag(lists.Value(QStringLiteral("IsListValid")), false));
        list->SetCatalogCommandText(Text(lists.Value(QStringLiteral("CatalogCommandText"))));
        list->SetCatalogCommandType(Number(lists.Value(QStringLiteral("CatalogCommandType")),
                                           RecipientList::CmdUnknown));
        list->SetCatalogTableOrView(Text(lists.Value(QStringLiteral("CatalogTableOrView"))));
        list->SetAuthenticationRequired(Flag(lists.Value(QStringLiteral("AuthenticationRequired")), false));
        list->SetUsername(Text(lists.Value(QStringLiteral("Username"))));
        list->SetPassword(ScrambleText(Text(lists.Value(QStringLiteral("Password"))), QString()));

        const QVariant id = lists.Value(QStringLiteral("RecipientListID"));
        if (!IsNull(id)) {
            if (const auto rows = rowsOfList.constFind(id.toLongLong()); rows != rowsOfList.cend()) {
                for (const Filter& row : *rows)
                    list->Filters().Add(row);
                filterRowsTaken += static_cast<int>(rows->size());
            }
        }

        list->SetAccessFileName(Text(lists.Value(QStringLiteral("AccessFileName"))));
        list->SetSQLServerName(Text(lists.Value(QStringLiteral("SQLServerName"))));
        list->SetSQLDataBase(Text(lists.Value(QStringLiteral("SQLDatabase"))));
        list->SetSQLUseWindowsSecurity(Flag(lists.Value(QStringLiteral("SQLUseWindowsSecurity")), true));
        list->SetXMLUrlUri(Text(lists.Value(QStringLiteral("XMLUrlUri"))));
        list->SetExcelFilename(Text(lists.Value(QStringLiteral("ExcelFilename"))));
        list->SetExcelFirstRowContainsColumnHeadings(
            Flag(lists.Value(QStringLiteral("ExcelFirstRowContainsColumnHeadings")), true));
        list->SetOutlookPath(Text(lists.Value(QStringLiteral("OutlookPath"))));
        list->SetOutlookCatalog(Text(lists.Value(QStringLiteral("OutlookCatalog"))));
        list->SetOutlookCatalogType(Number(lists.Value(QStringLiteral("OutlookCatalogType")),
                                           RecipientList::ContactFolders));
        list->SetAdvancedConnectionString(Text(lists.Value(QStringLiteral("AdvancedConnectionString"))));
        m_lists.Add(std::move(list));
    }

    // Filter rows of no saved list would vanish at the next save; keep the
    // file as it is now (its list file may have been the damaged one).
    const int orphans = filterRows - filterRowsTaken;
    if (orphans > 0 && m_fileState[FiltersKind] == FileState::Good) {
        const QString path = PathOf(FiltersKind);
        try {
            const QString copy = StoreFile::KeepAside(path);
            m_fileState[FiltersKind] = FileState::KeptAside;
            Report(AppError(PropertyBag::InvalidFormat, source,
                            QStringLiteral("%1 filter rows in %2 belong to no saved list. A copy of "
                                           "the file was kept as %3.")
                                .arg(orphans)
                                .arg(path, copy)));
        } catch (const AppError& e) {
            m_fileState[FiltersKind] = FileState::Untouchable;
            Report(AppError(StoreFile::FileAccessError, source,
                            QStringLiteral("%1 filter rows in %2 belong to no saved list and no copy "
                                           "could be kept (%3). The file is left as it is.")
                                .arg(orphans)
                                .arg(path, e.Description())));
        }
    }

    for (senders.MoveFirst(); !senders.AtEOF(); senders.MoveNext())
        m_senders.Add(Text(senders.Value(QStringLiteral("Name"))),
                      Text(senders.Value(QStringLiteral("EMailAddress"))),
                      Text(senders.Value(QStringLiteral("ReplyEMailAddress"))));
}

std::array<PropertyBag, 3> DataStore::BuildBags() const
{
    Recordset filters = NewFiltersTable();
    Recordset lists = NewRecipientListsTable();
    Recordset senders = NewFromAddressesTable();

    int i = 0;
    for (const std::shared_ptr<RecipientList>& list : m_lists) {
        ++i;
        lists.AddNew();
        lists.SetValue(QStringLiteral("RecipientListID"), i);
        lists.SetValue(QStringLiteral("ListName"), list->ListName());
        lists.SetValue(QStringLiteral("DataType"), list->DataType());
        lists.SetValue(QStringLiteral("CatalogCommandText"), list->CatalogCommandText());
        lists.SetValue(QStringLiteral("CatalogCommandType"), QString::number(list->CatalogCommandType()));
        lists.SetValue(QStringLiteral("CatalogTableOrView"), list->CatalogTableOrView());
        lists.SetValue(QStringLiteral("AuthenticationRequired"), list->AuthenticationRequired());
        lists.SetValue(QStringLiteral("Username"), list->Username());
        lists.SetValue(QStringLiteral("Password"), ScrambleText(list->Password(), QString()));

        int j = 0;
        for (const Filter& row : list->Filters()) {
            ++j;
            filters.AddNew();
            filters.SetValue(QStringLiteral("FilterID"), j);
            filters.SetValue(QStringLiteral("RecipientListID"), i);
            filters.SetValue(QStringLiteral("ComparisonOperator"), row.ComparisonOperator());
            filters.SetValue(QStringLiteral("Data"), row.Data());
            filters.SetValue(QStringLiteral("LogicalOperator"), row.LogicalOperator());
            filters.SetValue(QStringLiteral("Value"),
                             IsNull(row.Value()) ? QVariant() : QVariant(row.Value().toString()));
            filters.Update();
        }

        lists.SetValue(QStringLiteral("AccessFileName"), list->AccessFileName());
        lists.SetValue(QStringLiteral("SQLServerName"), list->SQLServerName());
        lists.SetValue(QStringLiteral("SQLDatabase"), list->SQLDataBase());
        lists.SetValue(QStringLiteral("SQLUseWindowsSecurity"),
                       static_cast<qint16>(list->SQLUseWindowsSecurity() ? -1 : 0));
        lists.SetValue(QStringLiteral("XMLUrlUri"), list->XMLUrlUri());
        lists.SetValue(QStringLiteral("ExcelFilename"), list->ExcelFilename());
        lists.SetValue(QStringLiteral("ExcelFirstRowContainsColumnHeadings"),
                       list->ExcelFirstRowContainsColumnHeadings());
        lists.SetValue(QStringLiteral("OutlookPath"), list->OutlookPath());
        lists.SetValue(QStringLiteral("OutlookCatalog"), list->OutlookCatalog());
        lists.SetValue(QStringLiteral("OutlookCatalogType"), list->OutlookCatalogType());
        lists.SetValue(QStringLiteral("AdvancedConnectionString"), list->AdvancedConnectionString());
        lists.Update();
    }

    for (const FromAddress& sender : m_senders) {
        senders.AddNew();
        senders.SetValue(QStringLiteral("Name"), sender.Name());
        senders.SetValue(QStringLiteral("EMailAddress"), sender.EMailAddress());
        senders.SetValue(QStringLiteral("ReplyEMailAddress"), sender.ReplyEMailAddress());
        senders.Update();
    }

    // One number for the files of this save, told apart from any other
    // save, also one of a second instance of the program.
    const qint32 generation = QRandomGenerator::global()->bounded(1, std::numeric_limits<qint32>::max());
    std::array<PropertyBag, 3> bags;
    bags[RecipientListsKind].WriteTable(PropertyName(RecipientListsKind), lists.Persist());
    bags[FiltersKind].WriteTable(PropertyName(FiltersKind), filters.Persist());
    bags[FromAddressesKind].WriteTable(PropertyName(FromAddressesKind), senders.Persist());
    for (PropertyBag& bag : bags)
        bag.WriteInt32(generationProperty, generation);
    return bags;
}

bool DataStore::Save()
{
    m_problemReported = false;
    if (!m_loaded) {
        Report(AppError(5, source,
                        QStringLiteral("Nothing was saved: the store was not loaded, and saving "
                                       "would replace the stored lists and senders.")));
        return false;
    }

    std::array<PropertyBag, 3> bags;
    try {
        bags = BuildBags();
    } catch (const AppError& e) {
        Report(AppError(e.Number(), source,
                        QStringLiteral("The lists and senders could not be saved (%1).").arg(e.Description())));
        return false;
    }

    QList<QPair<QString, PropertyBag>> files;
    for (int kind : {RecipientListsKind, FiltersKind, FromAddressesKind}) {
        if (m_fileState[kind] == FileState::Untouchable) {
            Report(AppError(StoreFile::FileAccessError, source,
                            QStringLiteral("The file %1 was not saved, since it could not be read "
                                           "when the program started.")
                                .arg(PathOf(kind))));
            continue;
        }
        files.append({PathOf(kind), bags[kind]});
    }
    // One message for the save: on a full disk every file meets the same
    // cause, and a message box per file tells the user nothing more.
    const QList<AppError> problems = StoreFile::WriteAll(files);
    if (!problems.isEmpty()) {
        Report(AppError(problems.first().Number(), source,
                        QStringLiteral("The lists and senders could not be saved (%1).")
                            .arg(problems.first().Description())));
        return false;
    }
    for (FileState& state : m_fileState)
        if (state == FileState::KeptAside)
            state = FileState::Good;
    return !m_problemReported;
}

QString DataStore::ScrambleText(const QString& text, const QString& key)
{
    const QString usedKey = key.isEmpty() ? QString::number(GetVolumeSerial(ProgramFolder())) : key;
    QString result = text;
    qsizetype k = 0;
    for (QChar& c : result) {
        c = QChar(static_cast<char16_t>(c.unicode() ^ usedKey.at(k).unicode()));
        k = (k + 1) % usedKey.size();
    }
    return result;
}

qint32 DataStore::GetVolumeSerial(const QString& rootPath)
{
    struct statvfs info {};
    if (rootPath.isEmpty() || statvfs(QFile::encodeName(rootPath).constData(), &info) != 0)
        return 0;
    return static_cast<qint32>(static_cast<quint32>(info.f_fsid & 0xFFFFFFFFu));
}

QStringList DataStore::CopyStoreFiles(const QString& from, const QString& to)
{
    static const char* const names[] = {"dsfltrs.dat", "dsfrmaddrs.dat", "dsrcptlsts.dat", "mlcfg.dat"};
    const FilesSystem fs;
    QStringList copied;
    for (const char* name : names) {
        const QString file = QString::fromLatin1(name);
        const QString target = WithSeparator(to) + file;
        if (!fs.FileExists(WithSeparator(from) + file))
            continue;
        if (fs.CopyOneFile(WithSeparator(from) + file, target, false)) {
            QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
            copied.append(file);
        }
    }
    return copied;
}

QStringList DataStore::MigrationCandidates(const QString& version)
{
    if (version == u"1.1")
        return {QStringLiteral("1.0")};
    if (version == u"1.2")
        return {QStringLiteral("1.1"), QStringLiteral("1.0")};
    if (version == u"1.3")
        return {QStringLiteral("1.2"), QStringLiteral("1.1"), QStringLiteral("1.0")};
    return {};
}

DataStore::FolderPreparation DataStore::PrepareFolder(const QString& folder)
{
    FolderPreparation result;
    const FilesSystem fs;
    if (fs.FolderExists(folder)) {
        result.existed = true;
        return result;
    }
    result.created = fs.CreateFolder(folder);
    if (!result.created)
        return result;

    const QDir versionDir(QDir::cleanPath(folder));
    const QString version = versionDir.dirName();
    const QString productFolder = QFileInfo(versionDir.path()).path();
    for (const QString& candidate : MigrationCandidates(version)) {
        const QString older = productFolder + u'/' + candidate;
        if (!fs.FolderExists(older))
            continue;
        result.migratedFrom = older + u'/';
        result.copiedFiles = CopyStoreFiles(older, folder);
        break;
    }
    return result;
}
