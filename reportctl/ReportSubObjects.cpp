#include "ReportSubObjects_p.h"

#include "ReportText_p.h"
#include "ReportViewControl.h"

#include "BStr.h"
#include "NoTypeInfo.h"

namespace vl {

namespace {

HRESULT putString(BSTR* out, const QString& value)
{
    return handOut(out, [&] { return BStr(view(value)).release(); });
}

// The sub-objects are reached through their vtables; the dispatch side answers no member.
template <class Interface>
class SubObject : public NoTypeInfo<ComObject<Interface>> {
public:
    explicit SubObject(ReportViewControl* control, REFIID iid) : m_keep(control), m_control(control), m_iid(iid) {}
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return DISP_E_MEMBERNOTFOUND;
    }

protected:
    void* interfaceFor(REFIID iid) override
    {
        if (iid == IID_IDispatch || iid == m_iid)
            return static_cast<Interface*>(this);
        return nullptr;
    }
    ComPtr<IReportView> m_keep;
    ReportViewControl* m_control;
    IID m_iid;
};

class ReportDocumentObject final : public SubObject<IReportDocument> {
public:
    explicit ReportDocumentObject(ReportViewControl* control) : SubObject(control, IID_IReportDocument) {}
    HRESULT OpenFile(BSTR path) override
    {
        return guardedCall([&] { return m_control->openTemplate(text(path)); });
    }
    HRESULT Close() override
    {
        return guardedCall([&] { return m_control->closeTemplate(); });
    }
    HRESULT get_FileName(BSTR* value) override
    {
        return guardedCall([&] { return putString(value, m_control->templateFileName()); });
    }
    HRESULT get_SheetCount(int32_t* value) override
    {
        return guardedCall([&] {
            return handOut(value, [&] { return m_control->reportTemplate() ? static_cast<int32_t>(m_control->reportTemplate()->sheets.size()) : 0; });
        });
    }
    HRESULT get_SheetName(int32_t index, BSTR* value) override
    {
        return guardedCall([&] {
            const auto& report = m_control->reportTemplate();
            if (!report || index < 0 || static_cast<size_t>(index) >= report->sheets.size())
                return reportFailure(E_INVALIDARG, QStringLiteral("There is no sheet %1").arg(index));
            return putString(value, report->sheets[static_cast<size_t>(index)].name);
        });
    }
    HRESULT get_ActiveSheet(BSTR* value) override
    {
        return guardedCall([&] { return putString(value, m_control->activeSheet()); });
    }
    HRESULT put_ActiveSheet(BSTR value) override
    {
        return guardedCall([&] { return m_control->setActiveSheet(text(value)); });
    }
    HRESULT get_ParameterCount(int32_t* value) override
    {
        return guardedCall([&] {
            return handOut(value, [&] { return static_cast<int32_t>(m_control->parameters().size()); });
        });
    }
    HRESULT get_ParameterName(int32_t index, BSTR* value) override
    {
        return guardedCall([&] {
            const std::vector<SessionParameter> parameters = m_control->parameters();
            if (index < 0 || static_cast<size_t>(index) >= parameters.size())
                return reportFailure(E_INVALIDARG, QStringLiteral("There is no parameter %1").arg(index));
            return putString(value, parameters[static_cast<size_t>(index)].name);
        });
    }
    HRESULT get_Parameter(BSTR name, BSTR* value) override
    {
        return guardedCall([&] {
            const std::optional<ExprValue> current = m_control->parameter(text(name));
            if (!current)
                return ReportViewControl::failure(ReportSession::noSuchParameter(text(name)));
            // Parameters hold numbers, dates at midnight and texts, whose plain text reads back as they were set.
            return putString(value, current->toText());
        });
    }
    HRESULT put_Parameter(BSTR name, BSTR value) override
    {
        return guardedCall([&] { return m_control->setParameter(text(name), text(value)); });
    }

private:
    ~ReportDocumentObject() override = default;
};

class ReportDataObject final : public SubObject<IReportData> {
public:
    explicit ReportDataObject(ReportViewControl* control) : SubObject(control, IID_IReportData) {}
    HRESULT Clear() override
    {
        return guardedCall([&] { return m_control->clearData(); });
    }
    HRESULT get_XML(BSTR* value) override
    {
        return guardedCall([&] { return putString(value, m_control->dataXml()); });
    }
    HRESULT get_DetailCount(int32_t* value) override
    {
        return guardedCall([&] {
            return handOut(value, [&] { return static_cast<int32_t>(m_control->data().details.size()); });
        });
    }
    HRESULT LoadXML(BSTR xml, int32_t) override
    {
        return guardedCall([&] {
            const std::u16string_view view = bstrView(xml);
            return m_control->loadData(QStringView(view.data(), static_cast<qsizetype>(view.size())));
        });
    }
    HRESULT get_DetailID(int32_t index, BSTR* value) override
    {
        return guardedCall([&] {
            const auto& details = m_control->data().details;
            if (index < 0 || static_cast<size_t>(index) >= details.size())
                return reportFailure(E_INVALIDARG, QStringLiteral("There is no detail %1").arg(index));
            return putString(value, details[static_cast<size_t>(index)].id);
        });
    }
    HRESULT get_RowCount(BSTR detailId, int32_t masterIdx, int32_t* value) override
    {
        return guardedCall([&] {
            if (!value)
                return reportFailure(E_POINTER, QStringLiteral("No place for the result"));
            std::vector<const DataRow*> rows;
            const HRESULT hr = group(text(detailId), masterIdx, rows);
            if (SUCCEEDED(hr))
                *value = static_cast<int32_t>(rows.size());
            return hr;
        });
    }
    HRESULT get_Value(BSTR detailId, int32_t masterIdx, int32_t rowIdx, BSTR field, BSTR* value) override
    {
        return guardedCall([&] {
            std::vector<const DataRow*> rows;
            const HRESULT hr = group(text(detailId), masterIdx, rows);
            if (FAILED(hr))
                return hr;
            if (rowIdx < 0 || static_cast<size_t>(rowIdx) >= rows.size())
                return reportFailure(E_INVALIDARG, QStringLiteral("There is no row %1").arg(rowIdx));
            const std::optional<QString> found = rows[static_cast<size_t>(rowIdx)]->value(text(field));
            if (!found)
                return reportFailure(E_INVALIDARG, QStringLiteral("There is no field \"%1\"").arg(text(field)));
            return putString(value, *found);
        });
    }

private:
    ~ReportDataObject() override = default;

    // The master rows (empty id) or the rows of a detail, all or of one master row.
    HRESULT group(const QString& id, int32_t masterIdx, std::vector<const DataRow*>& rows) const
    {
        const ReportDataSet& data = m_control->data();
        if (id.isEmpty()) {
            for (const DataRow& row : data.masterRows)
                rows.push_back(&row);
            return S_OK;
        }
        const DetailTable* table = data.detail(id);
        if (!table)
            return reportFailure(E_INVALIDARG, QStringLiteral("There is no detail \"%1\"").arg(id));
        if (masterIdx < 0) {
            for (const DataRow& row : table->rows)
                rows.push_back(&row);
            return S_OK;
        }
        if (static_cast<size_t>(masterIdx) >= table->groups.size())
            return reportFailure(E_INVALIDARG, QStringLiteral("There is no master row %1").arg(masterIdx));
        for (int index : table->groups[static_cast<size_t>(masterIdx)])
            rows.push_back(&table->rows[static_cast<size_t>(index)]);
        return S_OK;
    }
};

class ReportPrinterObject final : public SubObject<IReportPrinter> {
public:
    explicit ReportPrinterObject(ReportViewControl* control) : SubObject(control, IID_IReportPrinter) {}
    HRESULT PrinterSetup() override
    {
        return guardedCall([&] { return m_control->printerSetup(); });
    }
    HRESULT get_PrinterName(BSTR* value) override
    {
        return guardedCall([&] { return putString(value, m_control->printerName); });
    }
    HRESULT Preview(BSTR sheetName) override
    {
        return guardedCall([&] { return m_control->preview(text(sheetName)); });
    }
    HRESULT put_PrinterName(BSTR value) override
    {
        return guardedCall([&] {
            m_control->printerName = text(value);
            return S_OK;
        });
    }
    HRESULT Print() override
    {
        return guardedCall([&] { return m_control->print(QString(), true); });
    }
    HRESULT ExportPDF(BSTR sheetName, BSTR fileName) override
    {
        return guardedCall([&] { return m_control->exportPdf(text(sheetName), text(fileName)); });
    }
    HRESULT PrintSheet(BSTR sheetName, VARIANT_BOOL showDialog) override
    {
        return guardedCall([&] { return m_control->print(text(sheetName), showDialog != VARIANT_FALSE); });
    }
    HRESULT Export(BSTR format, BSTR path) override
    {
        return guardedCall([&] { return m_control->exportReport(text(format), text(path)); });
    }

private:
    ~ReportPrinterObject() override = default;
};

} // namespace

ComPtr<IReportDocument> createReportDocument(ReportViewControl* control)
{
    return ComPtr<IReportDocument>::adopt(new ReportDocumentObject(control));
}

ComPtr<IReportData> createReportData(ReportViewControl* control)
{
    return ComPtr<IReportData>::adopt(new ReportDataObject(control));
}

ComPtr<IReportPrinter> createReportPrinter(ReportViewControl* control)
{
    return ComPtr<IReportPrinter>::adopt(new ReportPrinterObject(control));
}

namespace {

Variant variantOf(const ExprValue& value)
{
    switch (value.type) {
    case ExprValue::Number:
        return Variant::fromDouble(value.number);
    case ExprValue::Boolean:
        return Variant::fromBool(value.number != 0);
    case ExprValue::Empty:
        return Variant();
    default: {
        const QString text = value.toText();
        return Variant::fromString(view(text));
    }
    }
}

class CustomFunctionObject final : public NoTypeInfo<ComObject<ICustomFunction>> {
public:
    CustomFunctionObject(const QString& name, const std::vector<ExprValue>& args) : m_name(name), m_args(args) {}
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return DISP_E_MEMBERNOTFOUND;
    }

    HRESULT get_Name(BSTR* value) override
    {
        return guardedCall([&] { return putString(value, m_name); });
    }
    HRESULT get_ArgCount(int32_t* value) override
    {
        return handOut(value, [&] { return static_cast<int32_t>(m_args.size()); });
    }
    HRESULT get_Arg(int32_t index, VARIANT* value) override
    {
        return guardedCall([&] {
            if (!value)
                return reportFailure(E_POINTER, QStringLiteral("No place for the result"));
            if (index < 0 || static_cast<size_t>(index) >= m_args.size())
                return reportFailure(E_INVALIDARG, QStringLiteral("Function \"%1\" has no argument %2").arg(m_name).arg(index));
            Variant result = variantOf(m_args[static_cast<size_t>(index)]);
            *value = result.release();
            return S_OK;
        });
    }
    HRESULT get_ArgText(int32_t index, BSTR* value) override
    {
        return guardedCall([&] {
            if (index < 0 || static_cast<size_t>(index) >= m_args.size())
                return reportFailure(E_INVALIDARG, QStringLiteral("Function \"%1\" has no argument %2").arg(m_name).arg(index));
            return putString(value, m_args[static_cast<size_t>(index)].toText());
        });
    }
    HRESULT get_Result(VARIANT* value) override
    {
        if (!value)
            return reportFailure(E_POINTER, QStringLiteral("No place for the result"));
        Variant copy(m_result.get());
        *value = copy.release();
        return S_OK;
    }
    HRESULT put_Result(const VARIANT* value) override
    {
        if (!value)
            return reportFailure(E_POINTER, QStringLiteral("No result given"));
        m_result = Variant(*value);
        m_handled = true;
        return S_OK;
    }
    HRESULT get_Handled(VARIANT_BOOL* value) override
    {
        return handOut(value, [&] { return m_handled ? VARIANT_TRUE : VARIANT_FALSE; });
    }
    HRESULT put_Handled(VARIANT_BOOL value) override
    {
        m_handled = value != VARIANT_FALSE;
        return S_OK;
    }

    std::optional<ExprValue> result() const
    {
        if (!m_handled)
            return std::nullopt;
        const VARTYPE type = m_result.type() & ~VT_BYREF;
        if (type == VT_EMPTY || type == VT_NULL)
            return ExprValue{};
        if (type == VT_BSTR) {
            std::u16string text;
            m_result.toString(text);
            return ExprValue::fromText(QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size())));
        }
        double number = 0;
        if (SUCCEEDED(m_result.toDouble(number)))
            return ExprValue::fromNumber(number);
        std::u16string text;
        if (SUCCEEDED(m_result.toString(text)))
            return ExprValue::fromText(QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size())));
        return ExprValue{};
    }

protected:
    void* interfaceFor(REFIID iid) override
    {
        if (iid == IID_IDispatch || iid == IID_ICustomFunction)
            return static_cast<ICustomFunction*>(this);
        return nullptr;
    }

private:
    ~CustomFunctionObject() override = default;
    QString m_name;
    std::vector<ExprValue> m_args;
    Variant m_result;
    bool m_handled = false;
};

} // namespace

ComPtr<ICustomFunction> createCustomFunction(const QString& name, const std::vector<ExprValue>& args)
{
    return ComPtr<ICustomFunction>::adopt(new CustomFunctionObject(name, args));
}

std::optional<ExprValue> customFunctionResult(ICustomFunction* function)
{
    return static_cast<CustomFunctionObject*>(function)->result();
}

} // namespace vl
