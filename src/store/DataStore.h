#pragma once

#include "platform/recordset/Recordset.h"
#include "base/AppError.h"
#include "store/PropertyBag.h"

#include <QString>
#include <QStringList>

#include <array>
#include <functional>

class RecipientLists;
class FromAddresses;

// The program's own store: the saved recipient lists, their filter rows and
// the sender book, one table per file in the version data folder.
//
// Files (each a StoreFile holding a PropertyBag with one table property):
//   "dsrcptlsts.dat"  property "RecipientLists"  one row per list
//   "dsfltrs.dat"     property "Filters"         filter rows of all lists
//   "dsfrmaddrs.dat"  property "FromAddresses"   the sender book
// Lists are numbered 1..Count in collection order at every save; filter rows
// carry their list's number and their 1-based place within the list.
//
// Load() fills the caller's collections once; Save() writes them back and
// may be run after every change; the destructor saves once more. Nothing is
// written before a Load(), so stored data is never replaced by collections
// that were never filled from it.
//
// Problems never end the program: each is handed to the problem handler as
// an AppError (321 for a file that is not a store file, 75 for a file or
// folder that cannot be read or written) for the window layer to show.
// Without a handler they go to the warning log.
class DataStore
{
public:
    enum TableKind : int { RecipientListsKind = 0, FiltersKind = 1, FromAddressesKind = 2 };

    using ProblemHandler = std::function<void(const AppError&)>;

    // What preparing the folder did.
    struct FolderPreparation
    {
        bool existed = false;      // the folder was there: nothing else was done
        bool created = false;      // the folder was made now
        QString migratedFrom;      // the older version folder carried forward, if any
        QStringList copiedFiles;   // file names copied from it, in copy order
    };

    // folder: the version data folder (FilesSystem::VersionDataFolder() for
    // the program; tests give their own). Its last component is the version
    // that decides which older sibling folders are carried forward.
    DataStore(RecipientLists& lists, FromAddresses& senders, const QString& folder,
              ProblemHandler onProblem = {});
    // Saves when Load() ran; problems go to the handler.
    ~DataStore();

    DataStore(const DataStore&) = delete;
    DataStore& operator=(const DataStore&) = delete;

    // Prepares the folder (creating and migrating it on the first start of a
    // version), then loads the three tables and appends their contents to
    // the collections. A store file that holds something other than its table
    // (a file of no bytes too) is copied aside as "<name>.<date-time>.bak"
    // and read as empty; so are filter rows whose list is gone, since the
    // next save would drop them, and filter rows saved with another lists
    // file than the one there, since they would join the wrong lists.
    // Returns false when any problem was reported.
    bool Load();

    // Writes the three files from the collections. All three are written in
    // full and synced before any file is replaced, each replacement is
    // atomic, and the files are readable by their owner only. Each carries
    // the save's generation number, checked by the next load. A file that
    // could not be read nor kept aside at load is left as it is. A failed
    // write is reported once, with the cause the first file met. Returns
    // false when any problem was reported (the files not written keep their
    // previous contents; the collections are untouched either way).
    bool Save();

    // The folder, ending in "/".
    const QString& Folder() const { return m_folder; }

    // One table from its file; a missing file is created holding the empty
    // table. A damaged file gives an empty table (kept aside and reported as
    // in Load()).
    Recordset LoadTable(int kind);
    // Writes one table to its file; throws AppError 75 when it cannot.
    void SaveTable(int kind, const Recordset& table) const;

    static Recordset NewRecipientListsTable();
    static Recordset NewFiltersTable();
    static Recordset NewFromAddressesTable();
    static Recordset NewTable(int kind);

    static QString FileName(int kind);
    static QString PropertyName(int kind);

    // Scrambles the text with the key; its own inverse. An empty key means
    // the decimal volume serial of the file system that holds the program.
    // Works on UTF-16 code units; the key's characters are all below 0x40,
    // so surrogate pairs stay pairs and any text comes back whole.
    static QString ScrambleText(const QString& text, const QString& key);

    // The file system id (statvfs f_fsid, low 32 bits, signed) of the file
    // system holding the path; 0 when it cannot be told.
    static qint32 GetVolumeSerial(const QString& rootPath);

    // Copies the four store files that exist in `from` into `to`, without
    // replacing any there; returns the names copied. The copies are made
    // owner-only, as they hold passwords.
    static QStringList CopyStoreFiles(const QString& from, const QString& to);

    // Makes sure the version folder exists. When it does not, it is created
    // and the newest older version folder found beside it (for "1.3": "1.2",
    // then "1.1", then "1.0") gives its store files; the search stops at the
    // first folder that exists, even an empty one.
    static FolderPreparation PrepareFolder(const QString& folder);

    // The older version folders tried for a version, newest first.
    static QStringList MigrationCandidates(const QString& version);

private:
    enum class FileState { Unknown, Good, KeptAside, Untouchable };

    QString PathOf(int kind) const;
    void Report(const AppError& problem);
    Recordset PutAside(int kind, const QString& damage);
    void FillCollections(Recordset& lists, Recordset& filters, Recordset& senders);
    std::array<PropertyBag, 3> BuildBags() const;

    RecipientLists& m_lists;
    FromAddresses& m_senders;
    QString m_folder;
    ProblemHandler m_onProblem;
    bool m_loaded = false;
    bool m_problemReported = false;
    std::array<FileState, 3> m_fileState{FileState::Unknown, FileState::Unknown, FileState::Unknown};
    // The save each file came from, as read by the load (none for files
    // written by earlier versions).
    std::array<std::optional<qint32>, 3> m_generation;
};
