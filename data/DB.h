#pragma once
// Data sets and fields: the shared types the rest of the program walks.
// A data set is an opened query result walked forward; a field is one of its columns and
// yields the narrow value text of the current record.

#include "Component.h"
#include "Exceptions.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Field types, in the order of their display names.
enum TFieldType {
    ftUnknown, ftString, ftSmallint, ftInteger, ftWord, ftBoolean, ftFloat, ftCurrency, ftBCD,
    ftDate, ftTime, ftDateTime, ftBytes, ftVarBytes, ftAutoInc, ftBlob, ftMemo, ftGraphic,
    ftFmtMemo, ftParadoxOle, ftDBaseOle, ftTypedBinary, ftCursor, ftFixedChar, ftWideString,
    ftLargeint, ftADT, ftArray, ftReference, ftDataSet, ftOraBlob, ftOraClob, ftVariant,
    ftInterface, ftIDispatch, ftGuid, ftTimeStamp, ftFMTBcd
};

// Display name of a field type used in messages ("Unknown" ... "FMTBcdField").
const char* fieldTypeName(TFieldType type);

// Field attributes (a set: OR the values).
enum TFieldAttribute : unsigned {
    faHiddenCol = 1, faReadonly = 2, faRequired = 4, faLink = 8, faUnNamed = 16, faFixed = 32
};
using TFieldAttributes = unsigned;

enum TDataSetState { dsInactive, dsBrowse, dsSetKey };

class TDataSet;
class TDataSource;

// The stored value of one field on the current record. Wide texts (wide strings, memos) are held
// as UTF-8, narrow texts (ftString, ftFixedChar, ftGuid) in the system ANSI code page.
struct TFieldValue {
    enum class Kind : uint8_t { Null, Integer, Float, Currency, Boolean, Date, WideText, NarrowText, Bytes };
    Kind kind = Kind::Null;
    int64_t integer = 0; // Integer, Boolean (0 or not), Currency (ten-thousandths)
    double real = 0;     // Float, Date (day number)
    uint64_t generation = 0; // record the slot was filled for; 0 = never

    // WideText, NarrowText, Bytes: the value's bytes.
    std::string_view text() const { return m_borrowed.data() ? m_borrowed : std::string_view(m_owned); }
    // Bytes that the provider keeps unchanged while its result lives, which outlives every slot of
    // the data set: a value read once per record is then not copied.
    void borrowText(std::string_view bytes) { m_borrowed = bytes.data() ? bytes : std::string_view("", 0); }
    // Bytes made for this value (a conversion), kept by the value itself.
    void ownText(std::string bytes)
    {
        m_owned = std::move(bytes);
        m_borrowed = {};
    }

private:
    std::string m_owned;
    std::string_view m_borrowed; // null: the bytes are m_owned
};

class TField : public TComponent {
public:
    // A field belongs to the data set passed here (which may be null) and is destroyed by owner.
    TField(TComponent* owner, TDataSet* dataSet, std::string_view fieldName, TFieldType dataType, int size = 0);
    ~TField() override;

    const std::string& FieldName() const { return m_fieldName; }
    TFieldType DataType() const { return m_dataType; }
    int Size() const { return m_size; }
    // Null when the field was created without a data set.
    TDataSet* DataSet() const { return m_dataSet; }
    int Index() const { return m_index; }

    // The narrow text of the current record's value; empty for a missing value.
    // Raises EDatabaseError "Field '%s' has no dataset" for a field without data set.
    virtual std::string ValueText() const;
    // The same text into text, reusing its storage (the way a writer takes one value after another).
    // A class that overrides both implements ValueText as textOf().
    virtual void assignValueText(std::string& text) const { text = ValueText(); }
    bool IsNull() const;
    // The value as the data layer holds it; read from the provider at most once per record.
    inline const TFieldValue& Value() const; // inline after TDataSet, for a writer reading every value

protected:
    std::string textOf() const
    {
        std::string text;
        assignValueText(text);
        return text;
    }
    // Raises "Unsupported field type (%s) in field %s".
    [[noreturn]] void unsupported() const;
    // For assignValueText: the value when it is of `kind`; null, with text emptied, when the field is
    // null; raises unsupported() for any other kind.
    inline const TFieldValue* valueOfKind(TFieldValue::Kind kind, std::string& text) const;

private:
    friend class TDataSet;
    [[noreturn]] void noDataSetError() const;

    TDataSet* m_dataSet;
    std::string m_fieldName;
    TFieldType m_dataType;
    int m_size;
    int m_index = -1;
};

struct TFieldDef {
    std::string Name;
    TFieldType DataType = ftUnknown;
    int Size = 0;
    int Precision = 0;
    TFieldAttributes Attributes = 0;
    int FieldNo = 0; // 1-based provider column
};

class TFieldDefs {
public:
    TFieldDef& Add(std::string_view name, TFieldType dataType, int size = 0, TFieldAttributes attributes = 0);
    void Clear() { m_items.clear(); }
    int Count() const { return static_cast<int>(m_items.size()); }
    const TFieldDef& Items(int index) const { return m_items.at(static_cast<size_t>(index)); }
    TFieldDef& Items(int index) { return m_items.at(static_cast<size_t>(index)); }
    // Case-insensitive; -1 when absent.
    int IndexOf(std::string_view name) const;

private:
    std::vector<TFieldDef> m_items;
};

// A link from something to a data source; told when its data set opens, closes or moves.
class TDataLink {
public:
    TDataLink() = default;
    TDataLink(const TDataLink&) = delete;
    TDataLink& operator=(const TDataLink&) = delete;
    virtual ~TDataLink();

    TDataSource* DataSource() const { return m_dataSource; }
    void SetDataSource(TDataSource* dataSource);
    TDataSet* DataSet() const;
    // True while the data source has an open data set.
    bool Active() const { return m_active; }

protected:
    virtual void ActiveChanged() {}
    // field is null for a move to another record or a change of the whole data set.
    virtual void RecordChanged(TField* /*field*/) {}

private:
    friend class TDataSource;
    void updateState();
    TDataSource* m_dataSource = nullptr;
    bool m_active = false;
};

class TDataSource : public TComponent {
public:
    explicit TDataSource(TComponent* owner);
    ~TDataSource() override;

    TDataSet* DataSet() const { return m_dataSet; }
    // Null detaches. Refuses a data set linked back to this data source.
    void SetDataSet(TDataSet* dataSet);
    TDataSetState State() const;
    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool enabled);

private:
    friend class TDataLink;
    friend class TDataSet;
    void stateChanged();
    void recordChanged(TField* field);
    TDataSet* m_dataSet = nullptr;
    bool m_enabled = true;
    std::vector<TDataLink*> m_links;
};

class TDataSet : public TComponent {
public:
    explicit TDataSet(TComponent* owner);
    ~TDataSet() override;

    // Opens the data set and positions on the first record; nothing when already open.
    // A failure leaves the data set closed.
    virtual void Open();
    virtual void Close();
    bool Active() const { return m_state != dsInactive; }
    TDataSetState State() const { return m_state; }

    // On a closed data set each raises EDatabaseError
    // "<Name>: Cannot perform this operation on a closed dataset".
    void First();
    void Next();
    bool AtEnd() const;
    int RecordCount() const
    {
        CheckActive();
        return static_cast<int>(m_filtered ? m_visible.size() : m_recordCount);
    }

    int FieldCount() const { return static_cast<int>(m_fields.size()); }
    // 0-based position below FieldCount, in definition order.
    TField* FieldAt(int index) const;
    // Case-insensitive, first match; raises EDatabaseError "<Name>: Field '%s' not found".
    TField* FieldNamed(std::string_view name) const;
    // Null when absent.
    TField* FindField(std::string_view name) const;
    // The fields named in a ";"-separated list (names trimmed); raises as FieldNamed.
    std::vector<TField*> GetFieldList(std::string_view fieldNames) const;

    TFieldDefs& FieldDefs() { return m_fieldDefs; }
    const TFieldDefs& FieldDefs() const { return m_fieldDefs; }

    // The data source this data set takes its master from; null when none.
    virtual TDataSource* GetDataSource() const { return nullptr; }
    // True when this data set is, directly or through further links, the master of dataSource.
    bool IsLinkedTo(const TDataSource* dataSource) const;

    // Raises EDatabaseError with this data set's name prefix.
    [[noreturn]] void databaseError(std::string_view text) const;
    void CheckActive() const
    {
        if (m_state == dsInactive)
            closedDataSetError();
    }

protected:
    // Runs the query, rebuilds FieldDefs and returns the number of records.
    virtual std::size_t InternalOpen() = 0;
    virtual void InternalClose() {}
    // Runs once the fields exist and the data set is in browse state, still inside Open.
    virtual void InternalAfterOpen() {}
    // Fills slot with field's value on record recNo (0-based below RecordCount).
    virtual void FetchValue(const TField& field, std::size_t recNo, TFieldValue& slot) const = 0;
    // Called after the data set opened and on every move; records may be filtered out by
    // SetVisibleRecords.
    void SetVisibleRecords(std::vector<std::size_t> records, bool all);
    std::size_t CurrentRecord() const;
    void CreateFields();
    void DestroyFields();
    void notifyDataSources(bool stateChange);

private:
    friend class TField;
    friend class TDataSource;
    // Inline where a writer reads every value of a row: a value read once per record costs one
    // look at its slot, and a fresh one a single call to the provider.
    const TFieldValue& fieldValue(const TField& field) const
    {
        CheckActive();
        TFieldValue& slot = m_slots[static_cast<size_t>(field.m_index)];
        if (slot.generation != m_generation)
            fetchSlot(field, slot);
        return slot;
    }
    void fetchSlot(const TField& field, TFieldValue& slot) const;
    [[noreturn]] void closedDataSetError() const;
    void moveTo(std::size_t position);

    TDataSetState m_state = dsInactive;
    TFieldDefs m_fieldDefs;
    std::vector<TField*> m_fields;
    mutable std::vector<TFieldValue> m_slots;
    std::size_t m_recordCount = 0;
    std::vector<std::size_t> m_visible; // used when m_filtered
    bool m_filtered = false;
    std::size_t m_position = 0;
    bool m_eof = true;
    uint64_t m_generation = 0;
    std::vector<TDataSource*> m_dataSources;
};

// Links a detail data set to its master's data source; its field list comes from MasterFields.
class TMasterDataLink : public TDataLink {
public:
    explicit TMasterDataLink(TDataSet* detail) : m_detail(detail) {}

    const std::string& FieldNames() const { return m_fieldNames; }
    void SetFieldNames(std::string_view names);
    const std::vector<TField*>& Fields() const { return m_fields; }

    // The detail's reactions; both run only while the detail is open.
    std::function<void()> OnMasterChange;
    std::function<void()> OnMasterDisable;

protected:
    void ActiveChanged() override;
    void RecordChanged(TField* field) override;

private:
    TDataSet* m_detail;
    std::string m_fieldNames;
    std::vector<TField*> m_fields;
};

// A connection component; Open does nothing when already connected.
class TCustomConnection : public TComponent {
public:
    using TComponent::TComponent;
    virtual void Open() = 0;
    virtual void Close() = 0;
    virtual bool Connected() const = 0;
};

inline const TFieldValue& TField::Value() const
{
    if (!m_dataSet)
        noDataSetError();
    return m_dataSet->fieldValue(*this);
}

inline const TFieldValue* TField::valueOfKind(TFieldValue::Kind kind, std::string& text) const
{
    const TFieldValue& v = Value();
    if (v.kind == TFieldValue::Kind::Null) {
        text.clear();
        return nullptr;
    }
    if (v.kind != kind)
        unsupported();
    return &v;
}
