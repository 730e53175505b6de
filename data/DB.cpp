#include "DB.h"

#include "AsciiText_p.h"
#include "Links_p.h"

#include "Text.h"

#include <algorithm>
#include <unordered_set>

namespace {

constexpr const char* fieldTypeNames[] = {"Unknown", "String", "SmallInt", "Integer", "Word", "Boolean", "Float",
    "Currency", "BCD", "Date", "Time", "DateTime", "Bytes", "VarBytes", "AutoInc", "Blob", "Memo", "Graphic",
    "FmtMemo", "ParadoxOle", "dBaseOle", "TypedBinary", "Cursor", "FixedChar", "WideString", "LargeInt", "ADT",
    "Array", "Reference", "DataSet", "HugeBlob", "HugeClob", "Variant", "Interface", "Dispatch", "Guid",
    "SQLTimeStamp", "FMTBcdField"};
static_assert(std::size(fieldTypeNames) == ftFMTBcd + 1);

// True when dataSet takes its master, directly or through further links, from source.
bool linksBackTo(const TDataSet* dataSet, const TDataSource* source)
{
    std::unordered_set<const TDataSet*> seen;
    while (dataSet && seen.insert(dataSet).second) {
        const TDataSource* master = dataSet->GetDataSource();
        if (!master)
            return false;
        if (master == source)
            return true;
        dataSet = master->DataSet();
    }
    return false;
}

// Tells each listener that is still listed when its turn comes: a listener may detach itself or
// others while told. The one listener of the common case is told without copying the list; this
// runs on every move of a data set.
template <typename T, typename Tell>
void tellEach(const std::vector<T*>& listeners, Tell tell)
{
    if (listeners.empty())
        return;
    if (listeners.size() == 1)
        return tell(listeners.front());
    const std::vector<T*> copy = listeners;
    for (T* listener : copy)
        if (std::find(listeners.begin(), listeners.end(), listener) != listeners.end())
            tell(listener);
}

} // namespace

const char* fieldTypeName(TFieldType type)
{
    if (type < ftUnknown || type > ftFMTBcd)
        return fieldTypeNames[ftUnknown];
    return fieldTypeNames[type];
}

TField::TField(TComponent* owner, TDataSet* dataSet, std::string_view fieldName, TFieldType dataType, int size)
    : TComponent(owner), m_dataSet(dataSet), m_fieldName(fieldName), m_dataType(dataType), m_size(size)
{
}

TField::~TField()
{
    if (m_dataSet) {
        auto& fields = m_dataSet->m_fields;
        auto it = std::find(fields.begin(), fields.end(), this);
        if (it != fields.end())
            fields.erase(it);
    }
}

void TField::noDataSetError() const
{
    vl::databaseError(vl::format("Field '%s' has no dataset", m_fieldName.c_str()));
}

bool TField::IsNull() const { return Value().kind == TFieldValue::Kind::Null; }

std::string TField::ValueText() const
{
    if (Value().kind == TFieldValue::Kind::Null)
        return {};
    unsupported();
}

void TField::unsupported() const
{
    vl::databaseError(vl::format("Unsupported field type (%s) in field %s", fieldTypeName(m_dataType),
        m_fieldName.c_str()));
}

TFieldDef& TFieldDefs::Add(std::string_view name, TFieldType dataType, int size, TFieldAttributes attributes)
{
    TFieldDef& def = m_items.emplace_back();
    def.Name = name;
    def.DataType = dataType;
    def.Size = size;
    def.Attributes = attributes;
    def.FieldNo = Count();
    return def;
}

int TFieldDefs::IndexOf(std::string_view name) const
{
    for (size_t i = 0; i < m_items.size(); ++i)
        if (vl::sameText(m_items[i].Name, name))
            return static_cast<int>(i);
    return -1;
}

TDataLink::~TDataLink() { SetDataSource(nullptr); }

void TDataLink::SetDataSource(TDataSource* dataSource)
{
    if (dataSource == m_dataSource)
        return;
    vl::relink(m_dataSource, dataSource, &TDataSource::m_links, this);
    updateState();
}

TDataSet* TDataLink::DataSet() const { return m_dataSource ? m_dataSource->DataSet() : nullptr; }

void TDataLink::updateState()
{
    bool active = m_dataSource && m_dataSource->State() != dsInactive;
    if (active != m_active) {
        m_active = active;
        ActiveChanged();
    }
}

TDataSource::TDataSource(TComponent* owner) : TComponent(owner) {}

TDataSource::~TDataSource()
{
    SetDataSet(nullptr);
    while (!m_links.empty())
        m_links.back()->SetDataSource(nullptr);
}

void TDataSource::SetDataSet(TDataSet* dataSet)
{
    if (dataSet == m_dataSet)
        return;
    if (dataSet && linksBackTo(dataSet, this))
        vl::databaseError("Circular datalinks are not allowed", Name());
    vl::relink(m_dataSet, dataSet, &TDataSet::m_dataSources, this);
    stateChanged();
}

TDataSetState TDataSource::State() const { return m_dataSet && m_enabled ? m_dataSet->State() : dsInactive; }

void TDataSource::SetEnabled(bool enabled)
{
    m_enabled = enabled;
    stateChanged();
}

void TDataSource::stateChanged()
{
    tellEach(m_links, [](TDataLink* link) { link->updateState(); });
}

void TDataSource::recordChanged(TField* field)
{
    if (State() == dsInactive)
        return;
    tellEach(m_links, [field](TDataLink* link) {
        if (link->Active())
            link->RecordChanged(field);
    });
}

TDataSet::TDataSet(TComponent* owner) : TComponent(owner) {}

TDataSet::~TDataSet()
{
    while (!m_dataSources.empty())
        m_dataSources.back()->SetDataSet(nullptr);
    DestroyFields();
}

void TDataSet::databaseError(std::string_view text) const { vl::databaseError(text, Name()); }

void TDataSet::closedDataSetError() const { databaseError("Cannot perform this operation on a closed dataset"); }

void TDataSet::Open()
{
    if (Active())
        return;
    try {
        m_recordCount = InternalOpen();
        m_filtered = false;
        m_visible.clear();
        CreateFields();
        m_state = dsBrowse;
        m_position = 0;
        m_eof = RecordCount() == 0;
        ++m_generation;
        InternalAfterOpen();
    } catch (...) {
        m_state = dsInactive;
        DestroyFields();
        InternalClose();
        throw;
    }
    notifyDataSources(true);
}

void TDataSet::Close()
{
    if (!Active())
        return;
    m_state = dsInactive;
    DestroyFields();
    InternalClose();
    m_recordCount = 0;
    m_visible.clear();
    m_filtered = false;
    notifyDataSources(true);
}

void TDataSet::notifyDataSources(bool stateChange)
{
    tellEach(m_dataSources, [stateChange](TDataSource* source) {
        if (stateChange)
            source->stateChanged();
        else
            source->recordChanged(nullptr);
    });
}

void TDataSet::moveTo(std::size_t position)
{
    m_position = position;
    ++m_generation;
    notifyDataSources(false);
}

void TDataSet::First()
{
    CheckActive();
    m_eof = RecordCount() == 0;
    moveTo(0);
}

void TDataSet::Next()
{
    CheckActive();
    if (m_eof)
        return;
    if (m_position + 1 < static_cast<std::size_t>(RecordCount()))
        moveTo(m_position + 1);
    else
        m_eof = true;
}

bool TDataSet::AtEnd() const
{
    CheckActive();
    return m_eof;
}

std::size_t TDataSet::CurrentRecord() const { return m_filtered ? m_visible[m_position] : m_position; }

void TDataSet::SetVisibleRecords(std::vector<std::size_t> records, bool all)
{
    m_filtered = !all;
    m_visible = all ? std::vector<std::size_t>{} : std::move(records);
    m_position = 0;
    m_eof = RecordCount() == 0;
    ++m_generation;
}

TField* TDataSet::FieldAt(int index) const
{
    if (index < 0 || index >= FieldCount())
        databaseError(vl::format("List index out of bounds (%d)", index));
    return m_fields[static_cast<size_t>(index)];
}

TField* TDataSet::FindField(std::string_view name) const
{
    for (TField* field : m_fields)
        if (vl::sameText(field->FieldName(), name))
            return field;
    return nullptr;
}

TField* TDataSet::FieldNamed(std::string_view name) const
{
    TField* field = FindField(name);
    if (!field)
        databaseError(vl::format("Field '%.*s' not found", static_cast<int>(name.size()), name.data()));
    return field;
}

std::vector<TField*> TDataSet::GetFieldList(std::string_view fieldNames) const
{
    std::vector<TField*> fields;
    while (!fieldNames.empty()) {
        std::size_t semicolon = fieldNames.find(';');
        std::string_view name = vl::trimControlsAndSpaces(fieldNames.substr(0, semicolon));
        if (!name.empty())
            fields.push_back(FieldNamed(name));
        if (semicolon == std::string_view::npos)
            break;
        fieldNames.remove_prefix(semicolon + 1);
    }
    return fields;
}

bool TDataSet::IsLinkedTo(const TDataSource* dataSource) const
{
    // Bounded walk: a cycle elsewhere in the chain must not hang the check.
    std::unordered_set<const TDataSet*> seen;
    for (const TDataSource* source = dataSource; source;) {
        const TDataSet* dataSet = source->DataSet();
        if (!dataSet)
            return false;
        if (dataSet == this)
            return true;
        if (!seen.insert(dataSet).second)
            return false;
        source = dataSet->GetDataSource();
    }
    return false;
}

void TDataSet::fetchSlot(const TField& field, TFieldValue& slot) const
{
    slot.generation = m_generation;
    slot.kind = TFieldValue::Kind::Null;
    if (RecordCount() > 0)
        FetchValue(field, CurrentRecord(), slot);
}

void TDataSet::DestroyFields()
{
    std::vector<TField*> fields;
    fields.swap(m_fields);
    for (TField* field : fields) {
        field->m_dataSet = nullptr;
        delete field;
    }
    m_slots.clear();
}

void TMasterDataLink::SetFieldNames(std::string_view names)
{
    m_fieldNames = names;
    m_fields.clear();
    if (Active())
        ActiveChanged();
}

void TMasterDataLink::ActiveChanged()
{
    m_fields.clear();
    if (Active() && DataSet()) {
        m_fields = DataSet()->GetFieldList(m_fieldNames);
    }
    if (m_detail->Active()) {
        if (Active() && !m_fields.empty()) {
            if (OnMasterChange)
                OnMasterChange();
        } else if (OnMasterDisable) {
            OnMasterDisable();
        }
    }
}

void TMasterDataLink::RecordChanged(TField* field)
{
    if (DataSource()->State() == dsSetKey || !m_detail->Active() || m_fields.empty())
        return;
    if (field && std::find(m_fields.begin(), m_fields.end(), field) == m_fields.end())
        return;
    if (OnMasterChange)
        OnMasterChange();
}
