#include "platform/providers/sheets/CsvFormat.h"

#include "platform/providers/sheets/WorkbookError.h"

#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <map>
#include <vector>

namespace {

// Lines looked at to choose the delimiter.
constexpr int kSampleLines = 50;

QStringDecoder::Encoding DecoderFor(CsvFormat::Encoding encoding)
{
    switch (encoding) {
    case CsvFormat::Encoding::Utf16LE: return QStringDecoder::Utf16LE;
    case CsvFormat::Encoding::Utf16BE: return QStringDecoder::Utf16BE;
    case CsvFormat::Encoding::Utf32LE: return QStringDecoder::Utf32LE;
    case CsvFormat::Encoding::Utf32BE: return QStringDecoder::Utf32BE;
    default: return QStringDecoder::Utf8;
    }
}

} // namespace

char CsvFormat::DetectDelimiter(QByteArrayView text, bool complete)
{
    static constexpr std::array<char, 3> candidates{',', ';', '\t'};
    std::vector<std::array<int, 3>> lines;
    std::array<int, 3> counts{};
    bool quoted = false, any = false;
    for (qsizetype i = 0; i < text.size() && int(lines.size()) < kSampleLines; ++i) {
        const char c = text[i];
        if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if (!quoted && (c == '\n' || c == '\r')) {
            if (any)
                lines.push_back(counts);
            counts = {};
            any = false;
        } else {
            any = true;
            for (size_t k = 0; k < candidates.size(); ++k)
                counts[k] += !quoted && c == candidates[k];
        }
    }
    // A last line cut off by the sample's end would count short.
    if (any && (complete || lines.empty()))
        lines.push_back(counts);

    char best = ',';
    double bestConsistency = 0;
    int bestFields = 0;
    for (size_t k = 0; k < candidates.size(); ++k) {
        std::map<int, int> frequency;
        for (const auto& line : lines)
            if (line[k] > 0)
                ++frequency[line[k]];
        if (frequency.empty())
            continue;
        const auto mode = std::max_element(frequency.begin(), frequency.end(), [](const auto& a, const auto& b) {
            return a.second < b.second || (a.second == b.second && a.first < b.first);
        });
        const double consistency = double(mode->second) / double(lines.size());
        if (consistency > bestConsistency || (consistency == bestConsistency && mode->first > bestFields)) {
            best = candidates[k];
            bestConsistency = consistency;
            bestFields = mode->first;
        }
    }
    return best;
}

CsvFormat CsvFormat::Detect(const QByteArray& head, bool complete, const QString& fileName)
{
    CsvFormat format;
    if (head.startsWith(QByteArrayLiteral("\xFF\xFE\x00\x00"))) {
        format.encoding = Encoding::Utf32LE;
        format.bomLength = 4;
    } else if (head.startsWith(QByteArrayLiteral("\x00\x00\xFE\xFF"))) {
        format.encoding = Encoding::Utf32BE;
        format.bomLength = 4;
    } else if (head.startsWith("\xEF\xBB\xBF")) {
        format.bomLength = 3;
    } else if (head.startsWith("\xFF\xFE")) {
        format.encoding = Encoding::Utf16LE;
        format.bomLength = 2;
    } else if (head.startsWith("\xFE\xFF")) {
        format.encoding = Encoding::Utf16BE;
        format.bomLength = 2;
    } else if (head.contains('\0')) {
        // Text has no NUL bytes, except UTF-16 without a mark: there nearly
        // every other byte is one for Latin text.
        qsizetype even = 0, odd = 0;
        for (qsizetype i = 0; i < head.size(); ++i)
            if (head[i] == '\0')
                (i % 2 ? odd : even) += 1;
        const qsizetype pairs = head.size() / 2;
        if (odd * 10 >= pairs * 3 && even * 4 <= odd)
            format.encoding = Encoding::Utf16LE;
        else if (even * 10 >= pairs * 3 && odd * 4 <= even)
            format.encoding = Encoding::Utf16BE;
        else
            WorkbookError::Raise(WorkbookError::NotWorkbook,
                                 QStringLiteral("The file %1 is not a text file: it holds binary data.").arg(fileName));
    }

    QByteArray text = head.mid(format.bomLength);
    if (format.encoding != Encoding::Utf8) {
        QStringDecoder decoder(DecoderFor(format.encoding), QStringDecoder::Flag::Stateless);
        text = QString(decoder.decode(text)).toUtf8();
    }
    if (text.startsWith("sep=") && text.size() >= 5 && uchar(text[4]) < 0x80 &&
        (text.size() == 5 || text[5] == '\r' || text[5] == '\n')) {
        format.delimiter = text[4];
        format.sepLineLength = 5;
        if (text.size() > 5)
            format.sepLineLength += text.mid(5, 2) == "\r\n" ? 2 : 1;
        return format;
    }
    format.delimiter = DetectDelimiter(text, complete);
    return format;
}
