#pragma once
// The window's own data components, opened as the data options ask, and the XML data source over
// them: the one way the tools turn a database into a data document.

#include "Component.h"
#include "DataOptions.h"

class TXMLDataSource;

namespace vl {

class DataDocumentSource {
public:
    // Opens the connection, the master and the details in that order, as the window opens its data
    // sets, and registers them with the data source. A failure raises the exception the program
    // would show; everything opened so far is closed again.
    explicit DataDocumentSource(const DataOptions& options);
    ~DataDocumentSource();
    DataDocumentSource(const DataDocumentSource&) = delete;
    DataDocumentSource& operator=(const DataDocumentSource&) = delete;

    // Owned by this object; encoding and output are the caller's to choose.
    TXMLDataSource& source() { return *m_source; }

private:
    TComponent m_owner {nullptr}; // owns every component below
    TXMLDataSource* m_source = nullptr;
};

} // namespace vl
