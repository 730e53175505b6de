#pragma once
// The writer behind TXMLDataSource::WriteXML; private to the xmldata layer.

#include "VLDataSDK.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vl {

class DocumentWriter {
public:
    DocumentWriter(TXMLDataSource& source, OutputStream& stream);
    // One pass front to back; on failure the bytes produced so far are handed to the stream
    // before the failure passes on unchanged.
    void write();

private:
    struct Column {
        TField* field;
        std::string prefix; // ` Name="`
    };

    void writeWithoutMaster();
    void writeWithMaster();
    std::vector<Column> columnsOf(TDataSet* dataSet, std::string_view fieldList) const;
    void emitAttributes(const std::vector<Column>& columns);
    void emitTag(std::string_view open, std::string_view name);
    void rowWalked()
    {
        if (++m_rowsDone % TXMLDataSource::ProgressStepRows == 0) {
            if (m_rowsDone == EstimateAtRows || m_rowsDone == EstimateAgainAtRows)
                estimateTotal();
            if (m_source.m_onProgress)
                m_source.m_onProgress(m_rowsDone, m_rowsTotal);
        }
    }
    void estimateTotal();

    void emit(std::string_view text);
    void emit(char c);
    void emitValue(std::string_view value);
    static char* escapeInto(char* out, std::string_view value, std::size_t readable);
    void flush();

    TXMLDataSource& m_source;
    OutputStream& m_stream;
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_used = 0;
    // Rows walked, of all rows; after a first and a second stretch of rows the document's size is
    // extrapolated for the stream (OutputStream::expectTotal).
    static constexpr std::size_t EstimateAtRows = TXMLDataSource::ProgressStepRows;
    static constexpr std::size_t EstimateAgainAtRows = 8 * TXMLDataSource::ProgressStepRows;
    std::size_t m_rowsDone = 0;
    std::size_t m_rowsTotal = 0;
    std::size_t m_flushed = 0; // bytes handed to the stream
};

} // namespace vl
