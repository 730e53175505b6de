#pragma once
// The XML data source: writes one master data set and any number of detail data sets into the
// data document (docs/data-document.md). It refers to its data sets and never owns, opens or
// closes them; every data set must be open and outlive the writes that use it.

#include "Component.h"
#include "DB.h"
#include "KeyList.h"
#include "OutputStream.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vl {
class DocumentWriter;
}

// Changes the text written for one field value: Value holds that text on entry and the text to
// write on return. Bind the handler's object in the callable (no sender is passed).
using TGetFieldValueEvent = std::function<void(TField* Field, std::string& Value)>;

// How far a write has come: rows walked so far, of the records of every data set it walks (the
// master first, then each detail in turn). Called once before the first row, every
// ProgressStepRows rows and once after the last; a throw ends the write as any failure does.
using TXMLProgressEvent = std::function<void(std::size_t RowsDone, std::size_t RowsTotal)>;

// One detail registration, owned by the data source's detail list.
class TDetailInfo {
public:
    TDetailInfo(TDataSet* dataSet, std::string relation, std::string fieldList);

    TDataSet* DataSet; // not owned, never null
    std::string Relation;
    std::string FieldList;
    std::vector<std::string> relationList; // Relation split once at registration
    vl::KeyList keyList; // master keys of the latest write with master
};

class TXMLDataSource : public TComponent {
public:
    // Owner may be null; otherwise the owner destroys the data source.
    explicit TXMLDataSource(TComponent* Owner);
    static TXMLDataSource* Create(TComponent* Owner) { return new TXMLDataSource(Owner); }
    ~TXMLDataSource() override;

    // No master (null) selects the layout without master block.
    void SetMaster(TDataSet* DataSet, std::string_view FieldList);
    // Raises Exception "DetailID must be unique." for a DetailID already registered in any letter
    // case, and Exception for a null data set; the detail list is then unchanged.
    void AddDetail(std::string_view DetailID, TDataSet* DataSet, std::string_view Relation, std::string_view FieldList);
    void ClearDetails();

    // The label of the XML declaration; empty writes none. Checked when the document is written.
    const std::string& Encoding() const { return m_encoding; }
    void SetEncoding(std::string_view encoding) { m_encoding = encoding; }
    const TGetFieldValueEvent& OnGetFieldValue() const { return m_onGetFieldValue; }
    void SetOnGetFieldValue(TGetFieldValueEvent handler) { m_onGetFieldValue = std::move(handler); }
    static constexpr std::size_t ProgressStepRows = 8192;
    const TXMLProgressEvent& OnProgress() const { return m_onProgress; }
    void SetOnProgress(TXMLProgressEvent handler) { m_onProgress = std::move(handler); }

    // Writes the whole document by appending to stream. Any failure (data set errors, a name
    // that would forge markup, an Encoding outside XML's encoding-name rule, the stream's own)
    // passes unchanged; what was appended stays. Names and Encoding are checked before the first byte.
    void WriteXML(vl::OutputStream& Stream);
    // The whole document, or the failure of WriteXML with nothing returned.
    std::string GetXML();

    TDataSet* Master() const { return m_master; }
    const std::string& MasterFieldList() const { return m_masterFieldList; }
    int DetailCount() const { return static_cast<int>(m_details.size()); }
    const std::string& DetailID(int index) const { return m_details.at(static_cast<size_t>(index)).first; }
    const TDetailInfo& Detail(int index) const { return *m_details.at(static_cast<size_t>(index)).second; }
    // The text of the last value written.
    const std::string& CurrentValueText() const { return m_currentValue; }

protected:
    // Sets Value to the field's value text, then lets OnGetFieldValue change it.
    virtual void DoGetFieldValue(TField* Field, std::string& Value);

private:
    friend class vl::DocumentWriter;

    TDataSet* m_master = nullptr;
    std::string m_masterFieldList;
    std::vector<std::pair<std::string, std::unique_ptr<TDetailInfo>>> m_details;
    std::string m_encoding;
    std::string m_currentValue;
    TGetFieldValueEvent m_onGetFieldValue;
    TXMLProgressEvent m_onProgress;
};
