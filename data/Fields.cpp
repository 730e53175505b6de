#include "Fields.h"

#include "DateTimeFormat.h"
#include "NumberFormat.h"
#include "Text.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

using Kind = TFieldValue::Kind;

namespace {

// formatGeneralFloat's text for the common value that lies within one step of the double nearest
// to a decimal of at most four places and fifteen digits (sums such as 3000 + 0.07 land one step
// off), written from that decimal's integer; false for every other value. Exact: such a double
// lies within 0.34 units of the decimal's fifteenth digit, so rounding its exact binary value to
// fifteen digits, as formatGeneralFloat does, gives the decimal's digits back.
bool shortDecimalText(double value, char decimalMark, std::string& out)
{
    static constexpr double Scales[] = {1, 10, 100, 1000, 10000};
    const double magnitude = std::fabs(value);
    if (!(magnitude < 1e15) || value == 0)
        return false;
    const uint64_t valueBits = std::bit_cast<uint64_t>(magnitude);
    for (int places = 0; places < 5; ++places) {
        const double scaled = magnitude * Scales[places];
        if (!(scaled < 1e15))
            return false;
        // Rounded half up: either neighbour of a tie is checked by the test below all the same.
        const auto decimal = static_cast<uint64_t>(scaled + 0.5);
        // Fifteen digits at most; 999999999999999.9 rounds to sixteen and is written as 1E15.
        if (decimal >= 1000000000000000u)
            return false;
        if (decimal == 0)
            continue;
        const double nearest = static_cast<double>(decimal) / Scales[places];
        // Positive doubles one step apart differ by one in their bit patterns.
        if (std::bit_cast<uint64_t>(nearest) - valueBits + 1 > 2)
            continue;
        char digits[24];
        char* end = digits + sizeof digits;
        char* begin = end;
        uint64_t whole = decimal;
        int written = 0;
        // At least one digit before the mark: 0.0001 has five.
        while (whole > 0 || written <= places) {
            *--begin = static_cast<char>('0' + whole % 10);
            whole /= 10;
            ++written;
        }
        const std::size_t wholeDigits = static_cast<std::size_t>(written - places);
        char* fractionEnd = end;
        while (fractionEnd > begin + wholeDigits && fractionEnd[-1] == '0')
            --fractionEnd;
        out.clear();
        if (std::signbit(value))
            out.push_back('-');
        out.append(begin, wholeDigits);
        if (fractionEnd > begin + wholeDigits) {
            out.push_back(decimalMark);
            out.append(begin + wholeDigits, fractionEnd);
        }
        return true;
    }
    return false;
}

} // namespace

namespace vl {

void assignNarrowFromWide(std::string_view utf8, std::string& text)
{
    if (const void* nul = std::memchr(utf8.data(), '\0', utf8.size()))
        utf8 = utf8.substr(0, static_cast<std::size_t>(static_cast<const char*>(nul) - utf8.data()));
    if (narrowCodePageIsUtf8())
        text.assign(utf8);
    else
        text = toNarrow(utf8ToUtf16(utf8));
}

std::string narrowFromWide(std::string_view utf8)
{
    std::string text;
    assignNarrowFromWide(utf8, text);
    return text;
}

TField* createField(TDataSet* dataSet, const TFieldDef& def)
{
    const std::string& n = def.Name;
    const TFieldType t = def.DataType;
    const int s = def.Size;
    switch (t) {
    case ftString: case ftFixedChar: return new TStringField(dataSet, dataSet, n, t, s);
    case ftWideString: return new TWideStringField(dataSet, dataSet, n, t, s);
    case ftGuid: return new TGuidField(dataSet, dataSet, n, t, s);
    case ftSmallint: return new TSmallintField(dataSet, dataSet, n, t, s);
    case ftInteger: return new TIntegerField(dataSet, dataSet, n, t, s);
    case ftWord: return new TWordField(dataSet, dataSet, n, t, s);
    case ftAutoInc: return new TAutoIncField(dataSet, dataSet, n, t, s);
    case ftLargeint: return new TLargeintField(dataSet, dataSet, n, t, s);
    case ftFloat: return new TFloatField(dataSet, dataSet, n, t, s);
    case ftCurrency: return new TCurrencyField(dataSet, dataSet, n, t, s);
    case ftBCD: return new TBCDField(dataSet, dataSet, n, t, s);
    case ftFMTBcd: return new TFMTBCDField(dataSet, dataSet, n, t, s);
    case ftBoolean: return new TBooleanField(dataSet, dataSet, n, t, s);
    case ftDateTime: return new TDateTimeField(dataSet, dataSet, n, t, s);
    case ftDate: return new TDateField(dataSet, dataSet, n, t, s);
    case ftTime: return new TTimeField(dataSet, dataSet, n, t, s);
    case ftTimeStamp: return new TSQLTimeStampField(dataSet, dataSet, n, t, s);
    case ftBytes: return new TBytesField(dataSet, dataSet, n, t, s);
    case ftVarBytes: return new TVarBytesField(dataSet, dataSet, n, t, s);
    case ftBlob: case ftFmtMemo: case ftParadoxOle: case ftDBaseOle: case ftTypedBinary: case ftOraBlob:
        return new TBlobField(dataSet, dataSet, n, t, s);
    case ftMemo: case ftOraClob: return new TMemoField(dataSet, dataSet, n, t, s);
    case ftGraphic: return new TGraphicField(dataSet, dataSet, n, t, s);
    case ftADT: return new TADTField(dataSet, dataSet, n, t, s);
    case ftArray: return new TArrayField(dataSet, dataSet, n, t, s);
    case ftDataSet: return new TDataSetField(dataSet, dataSet, n, t, s);
    case ftReference: return new TReferenceField(dataSet, dataSet, n, t, s);
    case ftVariant: return new TVariantField(dataSet, dataSet, n, t, s);
    case ftInterface: return new TInterfaceField(dataSet, dataSet, n, t, s);
    case ftIDispatch: return new TIDispatchField(dataSet, dataSet, n, t, s);
    case ftUnknown: case ftCursor: break;
    }
    databaseError(format("Unsupported field type (%s) in field %s", fieldTypeName(t), n.c_str()));
}

} // namespace vl

void TDataSet::CreateFields()
{
    DestroyFields();
    for (int i = 0; i < m_fieldDefs.Count(); ++i) {
        const TFieldDef& def = m_fieldDefs.Items(i);
        if (def.Attributes & faHiddenCol)
            continue;
        TField* field = vl::createField(this, def);
        field->m_index = static_cast<int>(m_fields.size());
        m_fields.push_back(field);
    }
    m_slots.assign(m_fields.size(), TFieldValue{});
}

void TStringField::assignValueText(std::string& text) const
{
    const TFieldValue* v = valueOfKind(Kind::NarrowText, text);
    if (!v)
        return;
    const std::string_view bytes = v->text();
    text.assign(bytes.substr(0, bytes.find('\0')));
}

void TWideStringField::assignValueText(std::string& text) const
{
    if (const TFieldValue* v = valueOfKind(Kind::WideText, text))
        vl::assignNarrowFromWide(v->text(), text);
}

namespace {

void assignInteger(int64_t value, std::string& text)
{
    char digits[24];
    const char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    text.assign(digits, static_cast<std::size_t>(end - digits));
}

} // namespace

void TIntegerField::assignValueText(std::string& text) const
{
    if (const TFieldValue* v = valueOfKind(Kind::Integer, text))
        assignInteger(v->integer, text);
}

void TLargeintField::assignValueText(std::string& text) const
{
    if (const TFieldValue* v = valueOfKind(Kind::Integer, text))
        assignInteger(v->integer, text);
}

void TFloatField::assignValueText(std::string& text) const
{
    const TFieldValue* v = valueOfKind(Kind::Float, text);
    if (!v)
        return;
    if (!shortDecimalText(v->real, FormatSettings.DecimalMark, text))
        text = vl::formatGeneralFloat(v->real);
}

void TBCDField::assignValueText(std::string& text) const
{
    if (const TFieldValue* v = valueOfKind(Kind::Currency, text))
        text = vl::formatGeneralCurrency(v->integer);
}

void TFMTBCDField::assignValueText(std::string& text) const
{
    if (const TFieldValue* v = valueOfKind(Kind::Currency, text))
        text = vl::formatGeneralCurrency(v->integer);
}

TBooleanField::TBooleanField(TComponent* owner, TDataSet* dataSet, std::string_view fieldName, TFieldType dataType,
    int size)
    : TField(owner, dataSet, fieldName, dataType, size)
{
}

void TBooleanField::SetDisplayValues(std::string_view value)
{
    if (value == m_displayValues)
        return;
    m_displayValues = value;
    if (value.empty()) {
        m_trueText = "True";
        m_falseText = "False";
        return;
    }
    std::size_t semicolon = value.find(';');
    // Without ";" the texts split as though a ";" stood at the 256th character.
    if (semicolon == std::string_view::npos)
        semicolon = 255;
    m_trueText = std::string(value.substr(0, semicolon));
    m_falseText = semicolon + 1 < value.size() ? std::string(value.substr(semicolon + 1, 255)) : std::string();
}

void TBooleanField::assignValueText(std::string& text) const
{
    if (const TFieldValue* v = valueOfKind(Kind::Boolean, text))
        text = static_cast<int16_t>(v->integer) != 0 ? m_trueText : m_falseText;
}

void TDateTimeField::assignValueText(std::string& text) const
{
    if (const TFieldValue* v = valueOfKind(Kind::Date, text))
        vl::formatDateTimeInto(text, "c", v->real);
}

void TDateField::assignValueText(std::string& text) const
{
    if (const TFieldValue* v = valueOfKind(Kind::Date, text))
        vl::formatDateTimeInto(text, FormatSettings.ShortDatePattern, v->real);
}

void TTimeField::assignValueText(std::string& text) const
{
    if (const TFieldValue* v = valueOfKind(Kind::Date, text))
        vl::formatDateTimeInto(text, FormatSettings.LongTimePattern, v->real);
}

void TSQLTimeStampField::assignValueText(std::string& text) const
{
    if (const TFieldValue* v = valueOfKind(Kind::Date, text))
        vl::formatDateTimeInto(text, "c", v->real);
}

void TBytesField::assignValueText(std::string& text) const
{
    if (const TFieldValue* v = valueOfKind(Kind::Bytes, text))
        text = v->text();
}

void TBlobField::assignValueText(std::string& text) const
{
    const TFieldValue& v = Value();
    if (v.kind == Kind::Null)
        return text.clear();
    if (v.kind == Kind::WideText)
        return vl::assignNarrowFromWide(v.text(), text);
    if (v.kind != Kind::Bytes)
        unsupported();
    text = v.text();
}

std::string TVariantField::ValueText() const
{
    const TFieldValue& v = Value();
    switch (v.kind) {
    case Kind::Null: return {};
    case Kind::Integer: return std::to_string(v.integer);
    case Kind::Float: return vl::formatGeneralFloat(v.real);
    case Kind::Currency: return vl::formatGeneralCurrency(v.integer);
    case Kind::Boolean: return v.integer != 0 ? "True" : "False";
    case Kind::Date: return vl::formatDateTime("c", v.real);
    case Kind::WideText: return vl::narrowFromWide(v.text());
    case Kind::NarrowText:
    case Kind::Bytes: return std::string(v.text());
    }
    return {};
}

std::string TInterfaceField::placeholder(const char* name) const
{
    std::string text = std::string("(") + name + ")";
    if (!IsNull())
        text = vl::upperCase(text);
    return text;
}

std::string TInterfaceField::ValueText() const { return placeholder("Interface"); }

std::string TIDispatchField::ValueText() const { return placeholder("IDispatch"); }
