#pragma once
// Data sets and fields: the shared types the rest of the program walks.
// A data set is an opened query result walked forward; a field is one of its columns and
// yields the narrow value text of the current record.

#include "Component.h"
#include "Exceptions.h"

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

class TDataSet;

class TField : public TComponent {
public:
    const std::string& FieldName() const;
    TFieldType DataType() const;
    int Size() const;
    // Null when the field was created without a data set.
    TDataSet* DataSet() const;

    // The narrow text of the current record's value; empty for a missing value.
    // Raises EDatabaseError "Field '%s' has no dataset" for a field without data set.
    virtual std::string ValueText() const;
    bool IsNull() const;
    // (implementation members are the data layer's)
};

class TDataSet : public TComponent {
public:
    // Opens the data set and positions on the first record; nothing when already open.
    virtual void Open();
    virtual void Close();
    bool Active() const;

    // On a closed data set each raises EDatabaseError
    // "<Name>: Cannot perform this operation on a closed dataset".
    void First();
    void Next();
    bool AtEnd() const;

    int FieldCount() const;
    // 0-based position below FieldCount, in definition order.
    TField* FieldAt(int index) const;
    // Case-insensitive, first match; raises EDatabaseError "<Name>: Field '%s' not found".
    TField* FieldNamed(std::string_view name) const;
    // (implementation members are the data layer's)
};
