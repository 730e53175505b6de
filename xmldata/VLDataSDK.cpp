#include "VLDataSDK.h"

#include "CommaText.h"
#include "DocumentWriter_p.h"
#include "Text.h"

TDetailInfo::TDetailInfo(TDataSet* dataSet, std::string relation, std::string fieldList)
    : DataSet(dataSet), Relation(std::move(relation)), FieldList(std::move(fieldList)),
      relationList(vl::splitCommaText(Relation))
{
}

TXMLDataSource::TXMLDataSource(TComponent* Owner) : TComponent(Owner) { }

TXMLDataSource::~TXMLDataSource() { ClearDetails(); }

void TXMLDataSource::SetMaster(TDataSet* DataSet, std::string_view FieldList)
{
    m_master = DataSet;
    m_masterFieldList = FieldList;
}

void TXMLDataSource::AddDetail(std::string_view DetailID, TDataSet* DataSet, std::string_view Relation,
                               std::string_view FieldList)
{
    for (const auto& entry : m_details)
        if (vl::sameText(entry.first, DetailID))
            throw Exception("DetailID must be unique.");
    // The write walks the detail's data set, so a registration without one could only fail later.
    if (!DataSet)
        throw Exception(vl::format("Detail '%.*s' has no data set", static_cast<int>(DetailID.size()),
                                   DetailID.data()));
    auto info = std::make_unique<TDetailInfo>(DataSet, std::string(Relation), std::string(FieldList));
    m_details.emplace_back(std::string(DetailID), std::move(info));
}

void TXMLDataSource::ClearDetails() { m_details.clear(); }

void TXMLDataSource::DoGetFieldValue(TField* Field, std::string& Value)
{
    Field->assignValueText(Value);
    if (m_onGetFieldValue)
        m_onGetFieldValue(Field, Value);
}

void TXMLDataSource::WriteXML(vl::OutputStream& Stream) { vl::DocumentWriter(*this, Stream).write(); }

std::string TXMLDataSource::GetXML()
{
    vl::MemoryOutputStream stream;
    WriteXML(stream);
    return stream.take();
}
