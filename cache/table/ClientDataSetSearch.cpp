// Locate: the table's search. 8-bit strings are compared where the rows
// keep their bytes; the one column searched by them most is found through a
// sorted index, the others by a scan of the rows.
#include "cache/table/ClientDataSet.h"

#include "cache/base/AnsiText.h"
#include "cache/table/UpperCaseBytes.h"

#include <QVarLengthArray>
#include <algorithm>
#include <array>
#include <cstring>

namespace Catraca {

namespace {

// True for the bytes that another byte turns into when upper-cased (the
// upper-case letters): a literal without them compares the same with or
// without regard to case, so plain memcmp serves, as for a numeric barcode.
const std::array<bool, 256> &HasLowerCaseForm()
{
    static const std::array<bool, 256> table = [] {
        std::array<bool, 256> hasLower{};
        const UpperCaseTable &upper = UpperCaseBytes();
        for (int value = 0; value < 256; ++value) {
            if (upper[value] != value)
                hasLower[upper[value]] = true;
        }
        return hasLower;
    }();
    return table;
}

bool EqualIgnoringCase(const char *stored, const char *upperLiteral, qsizetype length, const UpperCaseTable &upper)
{
    for (qsizetype index = 0; index < length; ++index) {
        if (upper[static_cast<unsigned char>(stored[index])] != static_cast<unsigned char>(upperLiteral[index]))
            return false;
    }
    return true;
}

// The match of stored bytes against a search literal (upper-cased when
// `byCase`): the literal's length of them when searching by prefix, all of
// them otherwise.
bool StoredBytesMatch(const QByteArray &stored, const char *literal, qsizetype length, bool prefix, bool byCase)
{
    const qsizetype size = stored.size();
    if (prefix ? size < length : size != length)
        return false;
    return byCase ? EqualIgnoringCase(stored.constData(), literal, length, UpperCaseBytes())
                  : std::memcmp(stored.constData(), literal, std::size_t(length)) == 0;
}

bool IsBlank(const Cell &cell)
{
    return std::holds_alternative<std::monostate>(cell);
}

bool IsEightBitString(TFieldType type)
{
    return type == ftString || type == ftFixedChar;
}

bool IsList(const QVariant &value)
{
    const int type = value.typeId();
    return type == QMetaType::QVariantList || type == QMetaType::QStringList;
}

// The bytes of a search text: its characters in the code page up to a NUL,
// nothing trimmed. Plain ASCII, the usual barcode, is copied directly.
void AppendSearchBytes(QVarLengthArray<char, 32> &bytes, const QString &text)
{
    const qsizetype nul = text.indexOf(QChar(0));
    const qsizetype length = nul < 0 ? text.size() : nul;
    const QChar *characters = text.constData();
    const bool ascii = std::all_of(characters, characters + length, [](QChar c) { return c.unicode() < 0x80; });
    if (ascii) {
        for (qsizetype index = 0; index < length; ++index)
            bytes.append(char(characters[index].unicode()));
        return;
    }
    const QByteArray encoded = AnsiText::Encode(text.left(length));
    bytes.append(encoded.constData(), encoded.size());
}

}  // namespace

bool TClientDataSet::Locate(const QString &keyFields, const QVariant &keyValues, TLocateOptions options)
{
    CheckBrowseMode();
    const std::vector<TField *> &fields = KeyFieldsOf(keyFields);
    const bool ignoreCase = (options & loCaseInsensitive) != 0;
    int row = -1;
    if (fields.size() == 1 && !IsList(keyValues)) {
        const SearchKey key = MakeSearchKey(fields.front(), keyValues, true, options);
        row = FindRow(std::span(&key, 1), ignoreCase);
    } else {
        const QVariantList values = IsList(keyValues) ? keyValues.toList() : QVariantList{keyValues};
        if (values.size() != qsizetype(fields.size())) {
            throw TableError(QStringLiteral("Locate: %1 key values for %2 key fields")
                                 .arg(values.size())
                                 .arg(fields.size()));
        }
        std::vector<SearchKey> keys;
        keys.reserve(fields.size());
        for (std::size_t index = 0; index < fields.size(); ++index)
            keys.push_back(MakeSearchKey(fields[index], values[qsizetype(index)], index + 1 == fields.size(), options));
        row = FindRow(keys, ignoreCase);
    }
    if (row < 0)
        return false;
    MoveTo(row, false, false);
    return true;
}

const std::vector<TField *> &TClientDataSet::KeyFieldsOf(const QString &keyFields)
{
    if (!lastKeyFieldList_.empty() && keyFields == lastKeyFields_)
        return lastKeyFieldList_;
    std::vector<TField *> fields;
    for (const QString &name : keyFields.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        fields.push_back(FieldByName(name.trimmed()));
    if (fields.empty())
        throw TableError(QStringLiteral("Field '%1' not found").arg(keyFields));
    lastKeyFields_ = keyFields;
    lastKeyFieldList_ = std::move(fields);
    return lastKeyFieldList_;
}

// The search literal is the key as typed, with one "*" appended to the last
// key when searching by prefix; a literal longer than one character that
// ends in "*" then compares only what comes before that "*". An empty key
// thus looks for the "*" alone, and a "*" anywhere else is an ordinary
// character.
TClientDataSet::SearchKey TClientDataSet::MakeSearchKey(const TField *field, const QVariant &value, bool last,
                                                        TLocateOptions options) const
{
    SearchKey key;
    key.column = field->ColumnIndex();
    key.type = field->DataType();
    if (!value.isValid() || value.isNull()) {
        key.blank = true;
        return key;
    }
    const bool partial = (options & loPartialKey) != 0;
    if (IsEightBitString(key.type)) {
        AppendSearchBytes(key.bytes, value.toString());
        if (partial && last)
            key.bytes.append('*');
        key.prefix = partial && key.bytes.size() > 1 && key.bytes.back() == '*';
        if (key.prefix)
            key.bytes.removeLast();
        key.caseless = true;
        if (options & loCaseInsensitive) {
            const UpperCaseTable &upper = UpperCaseBytes();
            const std::array<bool, 256> &hasLower = HasLowerCaseForm();
            for (char &byte : key.bytes) {
                byte = char(upper[static_cast<unsigned char>(byte)]);
                key.caseless = key.caseless && !hasLower[static_cast<unsigned char>(byte)];
            }
        }
    } else {
        key.text = value.toString();
        if (partial && last)
            key.text.append(QLatin1Char('*'));
        key.prefix = partial && key.text.size() > 1 && key.text.endsWith(QLatin1Char('*'));
        if (key.prefix)
            key.text.chop(1);
    }
    return key;
}

int TClientDataSet::FindRow(std::span<const SearchKey> keys, bool ignoreCase)
{
    if (keys.size() == 1 && !keys.front().blank && IsEightBitString(keys.front().type))
        return FindAnsiPrefix(keys.front(), ignoreCase);
    for (int row = 0; row < rows_.RowCount(); ++row) {
        const bool all = std::all_of(keys.begin(), keys.end(),
                                     [&](const SearchKey &key) { return Matches(key, row, ignoreCase); });
        if (all)
            return row;
    }
    return -1;
}

// The search the program makes for every barcode: one 8-bit string column.
// The first column searched so is indexed on the spot, as the collector
// searches every barcode of a command file there before adding its row.
int TClientDataSet::FindAnsiPrefix(const SearchKey &key, bool ignoreCase)
{
    if (!searchIndex_.Built())
        searchIndex_.Build(key.column, rows_.ColumnBySlot(std::size_t(key.column)));
    if (searchIndex_.Covers(key.column))
        return FindAnsiPrefixIndexed(key, ignoreCase);
    return ScanAnsiPrefix(key, ignoreCase);
}

// The index holds upper-cased values, so its candidates are those that
// begin with the upper-cased literal, a superset of the matches with or
// without regard to case; each is checked as the scan would, and of those
// that match, the first in the table's order is the answer, as for the scan.
int TClientDataSet::FindAnsiPrefixIndexed(const SearchKey &key, bool ignoreCase)
{
    QVarLengthArray<char, 32> upperLiteral = key.bytes;
    if (!ignoreCase) {
        const UpperCaseTable &upper = UpperCaseBytes();
        for (char &byte : upperLiteral)
            byte = char(upper[static_cast<unsigned char>(byte)]);
    }
    const std::vector<Cell> &cells = rows_.ColumnBySlot(std::size_t(key.column));
    const bool byCase = ignoreCase && !key.caseless;
    int first = -1;
    searchIndex_.ForEachCandidate(QByteArrayView(upperLiteral.constData(), upperLiteral.size()), key.prefix, [&](int slot) {
        const QByteArray *stored = std::get_if<QByteArray>(&cells[std::size_t(slot)]);
        if (!stored || !StoredBytesMatch(*stored, key.bytes.constData(), key.bytes.size(), key.prefix, byCase))
            return;
        const int position = rows_.PositionOf(slot);
        if (first < 0 || position < first)
            first = position;
    });
    return first;
}

// Compares byte by byte where the rows keep them, with nothing allocated.
int TClientDataSet::ScanAnsiPrefix(const SearchKey &key, bool ignoreCase) const
{
    const char *literal = key.bytes.constData();
    const qsizetype length = key.bytes.size();
    const bool byCase = ignoreCase && !key.caseless;
    const auto column = std::size_t(key.column);
    for (int row = 0; row < rows_.RowCount(); ++row) {
        const QByteArray *stored = std::get_if<QByteArray>(&rows_.At(column, row));
        if (stored && StoredBytesMatch(*stored, literal, length, key.prefix, byCase))
            return row;
    }
    return -1;
}

bool TClientDataSet::Matches(const SearchKey &key, int row, bool ignoreCase) const
{
    const Cell &cell = rows_.At(std::size_t(key.column), row);
    if (key.blank)
        return IsBlank(cell);
    if (IsBlank(cell))
        return false;
    if (IsEightBitString(key.type)) {
        const QByteArray *stored = std::get_if<QByteArray>(&cell);
        return stored && StoredBytesMatch(*stored, key.bytes.constData(), key.bytes.size(), key.prefix, ignoreCase);
    }
    const QString value = FieldCellText(cell, key.type);
    const Qt::CaseSensitivity sensitivity = ignoreCase ? Qt::CaseInsensitive : Qt::CaseSensitive;
    if (key.prefix)
        return value.startsWith(key.text, sensitivity);
    return value.compare(key.text, sensitivity) == 0;
}

}  // namespace Catraca
