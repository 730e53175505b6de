#include "ADODB.h"

#include "Fields.h"
#include "Links_p.h"
#include "Provider.h"
#include "SqliteProvider_p.h"
#include "StoredResult_p.h"
#include "Text.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>

using Kind = TFieldValue::Kind;
using CellKind = vl::ProviderCell::Kind;

namespace vl {

TFieldType fieldTypeOfAdoType(int adoType, bool enableBCD, int precision, int scale)
{
    switch (adoType) {
    case adSmallInt: case adTinyInt: return ftSmallint;
    case adInteger: case adError: case adUnsignedInt: return ftInteger;
    case adUnsignedTinyInt: case adUnsignedSmallInt: return ftWord;
    case adBigInt: case adUnsignedBigInt: return ftLargeint;
    case adSingle: case adDouble: return ftFloat;
    case adCurrency: return ftBCD;
    case adNumeric:
        if (scale == 0 && precision < 10)
            return ftInteger;
        [[fallthrough]];
    case adDecimal: case adVarNumeric: return enableBCD ? ftBCD : ftFloat;
    case adBoolean: return ftBoolean;
    case adDate: case adFileTime: case adDBTimeStamp: case adDBFileTime: return ftDateTime;
    case adDBDate: return ftDate;
    case adDBTime: return ftTime;
    case adBSTR: case adWChar: case adVarWChar: return ftWideString;
    case adChar: return ftFixedChar;
    case adVarChar: return ftString;
    case adLongVarChar: case adLongVarWChar: return ftMemo;
    case adLongVarBinary: return ftBlob;
    case adBinary: return ftBytes;
    case adVarBinary: return ftVarBytes;
    case adGUID: return ftGuid;
    case adVariant: case adPropVariant: return ftVariant;
    case adIUnknown: return ftInterface;
    case adIDispatch: return ftIDispatch;
    case adChapter: return ftDataSet;
    default: return ftUnknown;
    }
}

} // namespace vl

namespace {

[[noreturn]] void cannotConvert(const TField& field)
{
    vl::databaseError(vl::format("Unsupported field type (%s) in field %s", fieldTypeName(field.DataType()),
        field.FieldName().c_str()));
}

// The narrow text of at most size bytes, never cut inside a character.
void storeNarrow(std::string_view utf8, int size, TFieldValue& slot)
{
    std::string narrow = vl::narrowFromWide(utf8);
    if (size > 0 && narrow.size() > static_cast<std::size_t>(size)) {
        std::size_t end = 0;
        while (end < narrow.size()) {
            std::size_t next = end + vl::charLengthAt(narrow, end);
            if (next > static_cast<std::size_t>(size))
                break;
            end = next;
        }
        narrow.resize(end);
    }
    slot.kind = Kind::NarrowText;
    slot.ownText(std::move(narrow));
}

bool numberOf(const vl::ProviderCell& cell, double& value)
{
    switch (cell.kind) {
    case CellKind::Integer: value = static_cast<double>(cell.integer); return true;
    case CellKind::Float: case CellKind::Date: value = cell.real; return true;
    case CellKind::Currency: value = static_cast<double>(cell.integer) / 10000.0; return true;
    default: return false;
    }
}

struct FieldRange {
    int64_t low, high;
};

FieldRange rangeOf(TFieldType type)
{
    switch (type) {
    case ftSmallint: return { INT16_MIN, INT16_MAX };
    case ftWord: return { 0, UINT16_MAX };
    case ftLargeint: return { INT64_MIN, INT64_MAX };
    default: return { INT32_MIN, INT32_MAX };
    }
}

[[noreturn]] void outOfRange(const TField& field, const std::string& value, const char* range)
{
    vl::databaseError(vl::format("Value %s is out of the range of field %s (%s %s)", value.c_str(),
        field.FieldName().c_str(), fieldTypeName(field.DataType()), range));
}

[[noreturn]] void outOfRange(const TField& field, const std::string& value)
{
    const FieldRange range = rangeOf(field.DataType());
    outOfRange(field, value,
        vl::format("%lld to %lld", static_cast<long long>(range.low), static_cast<long long>(range.high)).c_str());
}

// An amount as a decimal with a point, whatever the locale: messages name values as stored.
std::string amountText(int64_t tenThousandths)
{
    const uint64_t magnitude = tenThousandths < 0 ? 0 - static_cast<uint64_t>(tenThousandths)
                                                  : static_cast<uint64_t>(tenThousandths);
    std::string text = vl::format("%s%llu.%04llu", tenThousandths < 0 ? "-" : "",
        static_cast<unsigned long long>(magnitude / 10000), static_cast<unsigned long long>(magnitude % 10000));
    while (text.back() == '0')
        text.pop_back();
    if (text.back() == '.')
        text.pop_back();
    return text;
}

// Ten-thousandths to the nearest whole number, ties to even as OLE's conversions round, exactly.
int64_t roundedTenThousandths(int64_t value)
{
    int64_t whole = value / 10000;
    const int64_t rest = value % 10000; // the sign of value
    if (rest > 5000 || (rest == 5000 && whole % 2 != 0))
        ++whole;
    else if (rest < -5000 || (rest == -5000 && whole % 2 != 0))
        --whole;
    return whole;
}

// Converts a provider value to the field's stored value; the provider has already read it by
// its column's reported type. A value the field's type cannot hold is a failure, never wrapped.
void storeCell(const TField& field, const vl::ProviderCell& cell, TFieldValue& slot)
{
    if (cell.kind == CellKind::Null)
        return;
    const TFieldType type = field.DataType();
    switch (type) {
    case ftSmallint: case ftWord: case ftInteger: case ftAutoInc: case ftLargeint: {
        int64_t value = 0;
        std::string asRead;
        if (cell.kind == CellKind::Integer) {
            value = cell.integer;
        } else if (cell.kind == CellKind::Currency) {
            value = roundedTenThousandths(cell.integer);
            asRead = amountText(cell.integer);
        } else if (double real = 0; numberOf(cell, real)) {
            asRead = vl::shortestText(real);
            if (!(std::fabs(real) < 9.2e18))
                outOfRange(field, asRead);
            value = static_cast<int64_t>(std::nearbyint(real));
        } else {
            cannotConvert(field);
        }
        const FieldRange range = rangeOf(type);
        if (value < range.low || value > range.high)
            outOfRange(field, asRead.empty() ? std::to_string(value) : asRead);
        slot.kind = Kind::Integer;
        slot.integer = value;
        return;
    }
    case ftFloat: case ftCurrency:
        if (!numberOf(cell, slot.real))
            cannotConvert(field);
        slot.kind = Kind::Float;
        return;
    case ftBCD: case ftFMTBcd:
        if (cell.kind == CellKind::Currency) {
            slot.integer = cell.integer;
        } else if (cell.kind == CellKind::Integer) {
            if (cell.integer > INT64_MAX / 10000 || cell.integer < INT64_MIN / 10000)
                outOfRange(field, std::to_string(cell.integer), "-922337203685477.5808 to 922337203685477.5807");
            slot.integer = cell.integer * 10000;
        } else if (double real = 0; numberOf(cell, real)) {
            // The decimal that the real stands for, rounded half away from zero as amounts are.
            const std::string text = vl::shortestText(real);
            const std::optional<int64_t> amount = vl::parseCurrencyText(text);
            if (!amount)
                outOfRange(field, text, "-922337203685477.5808 to 922337203685477.5807");
            slot.integer = *amount;
        } else {
            cannotConvert(field);
        }
        slot.kind = Kind::Currency;
        return;
    case ftBoolean: {
        double real = 0;
        if (!numberOf(cell, real))
            cannotConvert(field);
        slot.kind = Kind::Boolean;
        slot.integer = real != 0;
        return;
    }
    case ftDate: case ftTime: case ftDateTime: case ftTimeStamp:
        if (!numberOf(cell, slot.real))
            cannotConvert(field);
        slot.kind = Kind::Date;
        return;
    case ftString: case ftFixedChar: case ftGuid:
        if (cell.kind != CellKind::Text && cell.kind != CellKind::Bytes)
            cannotConvert(field);
        storeNarrow(cell.bytes, field.Size(), slot);
        return;
    case ftWideString:
        if (cell.kind != CellKind::Text && cell.kind != CellKind::Bytes)
            cannotConvert(field);
        slot.kind = Kind::WideText;
        slot.borrowText(cell.bytes);
        return;
    case ftBlob: case ftMemo: case ftGraphic: case ftFmtMemo: case ftParadoxOle: case ftDBaseOle:
    case ftTypedBinary: case ftOraBlob: case ftOraClob: case ftBytes: case ftVarBytes:
        if (cell.kind == CellKind::Text && type != ftBytes && type != ftVarBytes)
            slot.kind = Kind::WideText;
        else if (cell.kind == CellKind::Text || cell.kind == CellKind::Bytes)
            slot.kind = Kind::Bytes;
        else
            cannotConvert(field);
        slot.borrowText(cell.bytes);
        return;
    case ftVariant:
        switch (cell.kind) {
        case CellKind::Integer: slot.kind = Kind::Integer; slot.integer = cell.integer; return;
        case CellKind::Currency: slot.kind = Kind::Currency; slot.integer = cell.integer; return;
        case CellKind::Float: slot.kind = Kind::Float; slot.real = cell.real; return;
        case CellKind::Date: slot.kind = Kind::Date; slot.real = cell.real; return;
        case CellKind::Text: slot.kind = Kind::WideText; slot.borrowText(cell.bytes); return;
        case CellKind::Bytes: slot.kind = Kind::Bytes; slot.borrowText(cell.bytes); return;
        case CellKind::Null: return;
        }
        return;
    case ftInterface: case ftIDispatch:
        slot.kind = Kind::Bytes;
        slot.borrowText({});
        return;
    default:
        cannotConvert(field);
    }
}

bool sameValue(const TFieldValue& a, const TFieldValue& b)
{
    const bool aNull = a.kind == Kind::Null, bNull = b.kind == Kind::Null;
    if (aNull || bNull)
        return aNull && bNull;
    auto isText = [](Kind k) { return k == Kind::WideText || k == Kind::NarrowText || k == Kind::Bytes; };
    if (isText(a.kind) || isText(b.kind))
        return isText(a.kind) && isText(b.kind) && a.text() == b.text();
    auto number = [](const TFieldValue& v) {
        switch (v.kind) {
        case Kind::Float: case Kind::Date: return v.real;
        case Kind::Currency: return static_cast<double>(v.integer) / 10000.0;
        default: return static_cast<double>(v.integer);
        }
    };
    return number(a) == number(b);
}

} // namespace

TADOConnection::TADOConnection(TComponent* owner) : TCustomConnection(owner) {}

TADOConnection::~TADOConnection()
{
    Close();
    for (TCustomADODataSet* dataSet : m_dataSets)
        dataSet->m_connection = nullptr;
}

void TADOConnection::Open()
{
    if (m_connection)
        return;
    // No login prompt and no separate user name or password: the connection string carries them.
    m_connection = vl::openProviderConnection(m_connectionString);
}

void TADOConnection::Close()
{
    std::vector<TCustomADODataSet*> dataSets = m_dataSets;
    for (TCustomADODataSet* dataSet : dataSets)
        dataSet->Close();
    m_connection.reset();
}

vl::ProviderConnection& TADOConnection::providerConnection() const
{
    if (!m_connection)
        vl::databaseError("Connection is not open", Name());
    return *m_connection;
}

TCustomADODataSet::TCustomADODataSet(TComponent* owner) : TDataSet(owner), m_masterLink(this)
{
    m_masterLink.OnMasterChange = [this] { masterChanged(); };
    m_masterLink.OnMasterDisable = [this] { masterDisabled(); };
}

TCustomADODataSet::~TCustomADODataSet()
{
    Close();
    m_masterLink.SetDataSource(nullptr);
    SetConnection(nullptr);
}

void TCustomADODataSet::SetConnection(TADOConnection* connection)
{
    if (connection == m_connection)
        return;
    Close();
    vl::relink(m_connection, connection, &TADOConnection::m_dataSets, this);
}

void TCustomADODataSet::SetDataSource(TDataSource* dataSource)
{
    if (dataSource && IsLinkedTo(dataSource))
        databaseError("Circular datalinks are not allowed");
    m_masterLink.SetDataSource(dataSource);
}

std::size_t TCustomADODataSet::InternalOpen()
{
    if (!m_connection)
        vl::databaseError("Missing Connection or ConnectionString");
    m_connection->Open();
    if (m_commandText.empty())
        databaseError(vl::format("Missing %s property", "CommandText"));
    m_result = m_connection->providerConnection().execute(m_commandText);
    if (!m_result)
        databaseError("CommandText does not return a result set");
    m_stored = dynamic_cast<const vl::StoredResult*>(m_result.get());

    TFieldDefs& defs = FieldDefs();
    defs.Clear();
    m_columnOfField.clear();
    const auto& columns = m_result->columns();
    const bool hasAutoIncrement = !columns.empty() && columns.front().isAutoIncrement.has_value();
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const vl::ProviderColumn& column = columns[i];
        TFieldType type = vl::fieldTypeOfAdoType(column.type, m_enableBCD, column.precision, column.scale);
        if (type == ftUnknown)
            continue;
        if (type == ftInteger && hasAutoIncrement && column.isAutoIncrement.value_or(false))
            type = ftAutoInc;
        std::string name = column.name;
        if (name.empty() || defs.IndexOf(name) >= 0) {
            for (int counter = 1;; ++counter) {
                name = column.name.empty() ? vl::format("COLUMN%d", counter)
                                           : vl::format("%s_%d", column.name.c_str(), counter);
                if (defs.IndexOf(name) < 0)
                    break;
            }
        }
        int size = 0;
        int precision = 0;
        switch (type) {
        case ftString: case ftFixedChar: case ftWideString: case ftBytes: case ftVarBytes:
            size = column.definedSize;
            break;
        case ftBCD:
            size = column.scale < 0 ? 4 : column.scale;
            precision = column.precision;
            break;
        case ftGuid:
            size = 38;
            break;
        default:
            break;
        }
        TFieldAttributes attributes = 0;
        if (column.isRowId)
            attributes |= faHiddenCol;
        if (column.isFixedLength)
            attributes |= faFixed;
        if ((!column.isUpdatable && !column.isMaybeUpdatable) || type == ftAutoInc)
            attributes |= faReadonly;
        TFieldDef& def = defs.Add(name, type, size, attributes);
        def.Precision = precision;
        def.FieldNo = static_cast<int>(i) + 1;
        if (!(attributes & faHiddenCol))
            m_columnOfField.push_back(static_cast<int>(i));
    }
    m_providerReads = 0;
    return m_result->rowCount();
}

void TCustomADODataSet::InternalAfterOpen()
{
    if (m_masterLink.Active() && m_parameters.Count() == 0 && !m_masterLink.Fields().empty())
        masterChanged();
}

void TCustomADODataSet::InternalClose()
{
    m_stored = nullptr;
    m_result.reset();
    m_columnOfField.clear();
    m_providerFilter.clear();
}

void TCustomADODataSet::FetchValue(const TField& field, std::size_t recNo, TFieldValue& slot) const
{
    ++m_providerReads;
    const auto column = static_cast<std::size_t>(m_columnOfField[static_cast<std::size_t>(field.Index())]);
    storeCell(field, m_stored ? m_stored->cellAt(recNo, column) : m_result->cell(recNo, column), slot);
}

std::string TCustomADODataSet::filterTerm(std::string_view name, const TField& masterField)
{
    std::string term = "(";
    if (name.find(' ') != std::string_view::npos)
        term.append("[").append(name).append("]");
    else
        term.append(name);
    term += '=';
    const TFieldValue& value = masterField.Value();
    switch (value.kind) {
    case Kind::Null:
        term += "Null";
        break;
    case Kind::Date:
        term.append("#").append(masterField.ValueText()).append("#");
        break;
    case Kind::WideText: case Kind::NarrowText: case Kind::Bytes: {
        std::string text = masterField.ValueText();
        const char* quote = text.find('\'') != std::string::npos ? "#" : "'";
        term.append(quote).append(text).append(quote);
        break;
    }
    default:
        term += masterField.ValueText();
        break;
    }
    term += ')';
    return term;
}

void TCustomADODataSet::masterChanged()
{
    if (!Active())
        return;
    TDataSet* master = m_masterLink.DataSet();
    if (m_parameters.Count() > 0) {
        for (int i = 0; i < m_parameters.Count(); ++i)
            if (TField* field = master ? master->FindField(m_parameters.Items(i).Name) : nullptr)
                m_parameters.Items(i).Value = field->ValueText();
        Close();
        Open();
        return;
    }
    std::vector<TField*> indexFields = GetFieldList(m_indexFieldNames);
    std::vector<std::pair<TField*, TField*>> terms;
    std::string text;
    const auto& masterFields = m_masterLink.Fields();
    for (std::size_t i = 0; i < masterFields.size(); ++i) {
        TField* masterField = masterFields[i];
        TField* detailField = i < indexFields.size() ? indexFields[i] : FieldNamed(masterField->FieldName());
        if (!text.empty())
            text += " AND ";
        text += filterTerm(detailField->FieldName(), *masterField);
        terms.emplace_back(detailField, masterField);
    }
    if (text != m_providerFilter) {
        applyFilter(std::move(text), terms);
        First();
    }
}

void TCustomADODataSet::masterDisabled()
{
    if (m_parameters.Count() > 0 || !Active())
        return;
    if (!m_providerFilter.empty())
        applyFilter({}, {});
}

void TCustomADODataSet::applyFilter(std::string text, const std::vector<std::pair<TField*, TField*>>& terms)
{
    m_providerFilter = std::move(text);
    if (m_providerFilter.empty()) {
        SetVisibleRecords({}, true);
        return;
    }
    std::vector<std::size_t> records;
    TFieldValue candidate;
    for (std::size_t row = 0; row < m_result->rowCount(); ++row) {
        bool matches = true;
        for (const auto& [detailField, masterField] : terms) {
            candidate.kind = Kind::Null;
            FetchValue(*detailField, row, candidate);
            if (!sameValue(candidate, masterField->Value())) {
                matches = false;
                break;
            }
        }
        if (matches)
            records.push_back(row);
    }
    SetVisibleRecords(std::move(records), false);
}
