#pragma once

#include <QString>

#include <functional>

// File and folder operations for the store and the rest of the program:
// special folders, existence tests, folder creation, whole-file text reading
// and writing, copying, and the address test of the XML source page.
// Instances hold no state; create one, use it, drop it.
class FilesSystem
{
public:
    // Special folder ids the program asks for.
    enum SpecialFolder : int {
        CSIDL_PERSONAL = 5,       // the user's documents
        CSIDL_LOCAL_APPDATA = 28, // per-user application data
    };

    // Where failed whole-file reads and writes are reported. The text is
    // "Error reading file ..." or "Error writing file ..."; the window layer
    // shows it in a plain message box. Without a handler the report goes to
    // the warning log. Process-wide, so set it once at start-up.
    using ProblemHandler = std::function<void(const QString& text, const QString& path)>;
    static void SetProblemHandler(ProblemHandler handler);

    // Path of a special folder without a trailing separator; empty for an id
    // this platform has no folder for.
    QString GetSpecialFolder(int id) const;

    // True when the path names an existing directory.
    bool FolderExists(const QString& path) const;

    // True when the path names anything that exists, file or folder (the
    // source pages accept either and check the name's ending themselves).
    bool FileExists(const QString& path) const;

    // Creates every missing level of the path. Failures are not reported;
    // the result says whether the folder is there afterwards.
    bool CreateFolder(const QString& path) const;

    // The whole file as text: UTF-8, or Windows-1252 when the bytes are not
    // valid UTF-8; a leading UTF-8 byte order mark is dropped. A file that
    // cannot be opened or read in full is reported ("Error reading file ...")
    // and whatever was read is returned; ok, when given, says whether the
    // read was complete.
    QString ReadTextFile(const QString& path, bool* ok = nullptr) const;

    // Replaces the file's contents with the text as UTF-8, in one step
    // (AtomicFile): the target is never missing or half written. A failure,
    // a full disk too, is reported ("Error writing file ...") and the old
    // contents stay; returns whether the file was written.
    bool WriteTextFile(const QString& path, const QString& text) const;

    // Copies one file. Without overwrite an existing target is left alone;
    // with it the target is replaced in one step. Failures are not reported;
    // returns whether the copy was made.
    bool CopyOneFile(const QString& source, const QString& target, bool overwrite) const;

    // The XML source address test: an http: or https: URL is accepted as it
    // is, a file: URL when its local file exists, any other URL scheme is
    // refused, and text that is no URL when it names something that exists.
    // Schemes are compared in lower case.
    bool IsValidSource(const QString& text) const;

    // Whether the text starts with a URL scheme ("name:" with a name of at
    // least two letters, digits, "+", "-" or "."; starting with a letter).
    static bool IsUrl(const QString& text);

    // The per-user data folder of this version, ending in "/": the local
    // application data folder, the company, the product and "major.minor".
    static QString VersionDataFolder();
    static QString VersionText();

    // Decoding used by ReadTextFile, for callers that hold bytes already.
    static QString DecodeText(const QByteArray& bytes);
};
