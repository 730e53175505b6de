#pragma once
// The field classes the data layer creates, one per field type, and their value texts.
// Every field is owned by its data set, which destroys it when it closes.

#include "DB.h"

class TStringField : public TField {
public:
    using TField::TField;
    std::string ValueText() const override { return textOf(); }
    void assignValueText(std::string& text) const override;
};

class TWideStringField : public TStringField {
public:
    using TStringField::TStringField;
    std::string ValueText() const override { return textOf(); }
    void assignValueText(std::string& text) const override;
};

class TGuidField : public TStringField {
public:
    using TStringField::TStringField;
};

class TNumericField : public TField {
public:
    using TField::TField;
};

class TIntegerField : public TNumericField {
public:
    using TNumericField::TNumericField;
    std::string ValueText() const override { return textOf(); }
    void assignValueText(std::string& text) const override;
};

class TSmallintField : public TIntegerField {
public:
    using TIntegerField::TIntegerField;
};

class TWordField : public TIntegerField {
public:
    using TIntegerField::TIntegerField;
};

class TAutoIncField : public TIntegerField {
public:
    using TIntegerField::TIntegerField;
};

class TLargeintField : public TNumericField {
public:
    using TNumericField::TNumericField;
    std::string ValueText() const override { return textOf(); }
    void assignValueText(std::string& text) const override;
};

class TFloatField : public TNumericField {
public:
    using TNumericField::TNumericField;
    std::string ValueText() const override { return textOf(); }
    void assignValueText(std::string& text) const override;
};

class TCurrencyField : public TFloatField {
public:
    using TFloatField::TFloatField;
};

class TBCDField : public TNumericField {
public:
    using TNumericField::TNumericField;
    std::string ValueText() const override { return textOf(); }
    void assignValueText(std::string& text) const override;
};

class TFMTBCDField : public TNumericField {
public:
    using TNumericField::TNumericField;
    std::string ValueText() const override { return textOf(); }
    void assignValueText(std::string& text) const override;
};

class TBooleanField : public TField {
public:
    TBooleanField(TComponent* owner, TDataSet* dataSet, std::string_view fieldName, TFieldType dataType, int size = 0);
    std::string ValueText() const override { return textOf(); }
    void assignValueText(std::string& text) const override;
    const std::string& TrueText() const { return m_trueText; }
    const std::string& FalseText() const { return m_falseText; }
    const std::string& DisplayValues() const { return m_displayValues; }
    // "true;false"; without ";" the first 255 characters are the true text and the characters
    // from the 257th on the false text; the empty text restores "True" and "False".
    void SetDisplayValues(std::string_view value);

private:
    std::string m_trueText = "True";
    std::string m_falseText = "False";
    std::string m_displayValues;
};

class TDateTimeField : public TField {
public:
    using TField::TField;
    std::string ValueText() const override { return textOf(); }
    void assignValueText(std::string& text) const override;
};

class TDateField : public TDateTimeField {
public:
    using TDateTimeField::TDateTimeField;
    std::string ValueText() const override { return textOf(); }
    void assignValueText(std::string& text) const override;
};

class TTimeField : public TDateTimeField {
public:
    using TDateTimeField::TDateTimeField;
    std::string ValueText() const override { return textOf(); }
    void assignValueText(std::string& text) const override;
};

class TSQLTimeStampField : public TField {
public:
    using TField::TField;
    std::string ValueText() const override { return textOf(); }
    void assignValueText(std::string& text) const override;
};

class TBinaryField : public TField {
public:
    using TField::TField;
};

class TBytesField : public TBinaryField {
public:
    using TBinaryField::TBinaryField;
    std::string ValueText() const override { return textOf(); }
    void assignValueText(std::string& text) const override;
};

class TVarBytesField : public TBytesField {
public:
    using TBytesField::TBytesField;
};

class TBlobField : public TField {
public:
    using TField::TField;
    std::string ValueText() const override { return textOf(); }
    void assignValueText(std::string& text) const override;
};

class TMemoField : public TBlobField {
public:
    using TBlobField::TBlobField;
};

class TGraphicField : public TBlobField {
public:
    using TBlobField::TBlobField;
};

class TObjectField : public TField {
public:
    using TField::TField;
};

class TADTField : public TObjectField {
public:
    using TObjectField::TObjectField;
};

class TArrayField : public TObjectField {
public:
    using TObjectField::TObjectField;
};

class TDataSetField : public TObjectField {
public:
    using TObjectField::TObjectField;
};

class TReferenceField : public TDataSetField {
public:
    using TDataSetField::TDataSetField;
};

class TVariantField : public TField {
public:
    using TField::TField;
    std::string ValueText() const override;
};

class TInterfaceField : public TField {
public:
    using TField::TField;
    // "(INTERFACE)" with a value, "(Interface)" without: the null rule does not apply.
    std::string ValueText() const override;

protected:
    std::string placeholder(const char* name) const;
};

class TIDispatchField : public TInterfaceField {
public:
    using TInterfaceField::TInterfaceField;
    std::string ValueText() const override;
};

namespace vl {
// A new field of the class for def's type, owned by and belonging to dataSet.
// Raises "Unsupported field type (%s) in field %s" for ftUnknown and ftCursor.
TField* createField(TDataSet* dataSet, const TFieldDef& def);
// Wide text held as UTF-8, up to its first NUL, in the user code page.
std::string narrowFromWide(std::string_view utf8);
// The same text into text, reusing its storage.
void assignNarrowFromWide(std::string_view utf8, std::string& text);
} // namespace vl
