#include "DataDocumentSource.h"

#include "ADODB.h"
#include "BinaryPicture.h"
#include "SampleComponents.h"
#include "Text.h"
#include "VLDataSDK.h"

namespace vl {

namespace {

// Memo columns may hand over bytes too, but they hold text.
bool isBinaryType(TFieldType type)
{
    switch (type) {
    case ftBytes: case ftVarBytes: case ftBlob: case ftGraphic: case ftParadoxOle: case ftDBaseOle:
    case ftTypedBinary: case ftOraBlob: case ftVariant:
        return true;
    default:
        return false;
    }
}

} // namespace

DataDocumentSource::DataDocumentSource(const DataOptions& options)
{
    TADOConnection* connection = nullptr;
    TADODataSet* master = nullptr;
    TDataSource* dataSource = nullptr;
    TADODataSet* firstDetail = nullptr;
    loadSampleDataComponents(&m_owner, connection, master, dataSource, firstDetail);
    if (options.connection)
        connection->SetConnectionString(*options.connection);

    std::vector<TADODataSet*> details;
    for (size_t i = 0; i < options.details.size(); ++i) {
        TADODataSet* dataSet = firstDetail;
        if (i > 0) {
            dataSet = new TADODataSet(&m_owner);
            dataSet->SetName(format("ADODataSet%zu", i + 2));
            dataSet->SetConnection(connection);
            dataSet->SetCursorType(ctStatic);
        }
        dataSet->SetCommandText(options.details[i].sql);
        details.push_back(dataSet);
    }

    connection->Open();
    if (options.masterSql) {
        master->SetCommandText(*options.masterSql);
        master->Open();
    }
    for (TADODataSet* dataSet : details)
        dataSet->Open();

    m_source = TXMLDataSource::Create(&m_owner);
    m_source->SetMaster(options.masterSql ? master : nullptr, options.masterFields);
    for (size_t i = 0; i < options.details.size(); ++i) {
        const DetailOption& detail = options.details[i];
        m_source->AddDetail(detail.id, details[i], detail.relation, detail.fields);
    }
    if (options.binary == BinaryValues::DataUri)
        m_source->SetOnGetFieldValue([](TField* field, std::string& value) {
            if (field->Value().kind == TFieldValue::Kind::Bytes && isBinaryType(field->DataType()))
                value = binaryDataUri(field->Value().text());
        });
}

DataDocumentSource::~DataDocumentSource() = default;

} // namespace vl
