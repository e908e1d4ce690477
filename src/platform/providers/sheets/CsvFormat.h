#pragma once

#include <QByteArray>
#include <QString>

// How a delimited text file is written: its encoding and its delimiter,
// found from the file itself.
//
// Encoding: a byte order mark (UTF-8, UTF-16 and UTF-32 in both orders); else
// UTF-16 when the text is full of NUL bytes the way UTF-16 is; else UTF-8 when
// every byte sequence is valid UTF-8; else Windows-1252. Whether the bytes are
// valid UTF-8 is only known once the whole file has been read, so Detect
// leaves Utf8 standing and the reader falls back to Windows-1252 at the end.
//
// Delimiter: the one a first line "sep=X" names (that line is then no row);
// else whichever of comma, semicolon and tab splits the first lines into the
// same number of fields most consistently; a comma when none splits anything.
class CsvFormat
{
public:
    enum class Encoding { Utf8, Utf16LE, Utf16BE, Utf32LE, Utf32BE, Windows1252 };

    Encoding encoding = Encoding::Utf8;
    qsizetype bomLength = 0;
    char delimiter = ',';
    // Bytes of the "sep=" line at the start of the UTF-8 text, 0 when none.
    qsizetype sepLineLength = 0;

    // From the first bytes of the file (64 KB is plenty; `complete` when they
    // are the whole file). Raises AppError (WorkbookError::NotWorkbook) for
    // bytes that are not text at all.
    static CsvFormat Detect(const QByteArray& head, bool complete, const QString& fileName);

    // The delimiter of UTF-8 (or other ASCII-compatible) text.
    static char DetectDelimiter(QByteArrayView text, bool complete);
};
