// The control's paper: print, preview, PDF export and the printer setup, each over a layout of the
// session's, and the dialog seam that lets tests answer their dialogs.

#include "ReportViewControl.h"

#include "ReportDialogHook.h"
#include "ReportPainter.h"

#include "OutputFile.h"
#include "OutputFileDevice.h"

#include <QFile>
#include <QFileInfo>
#include <QPageSetupDialog>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>

namespace vl {
namespace {

// The dialog seam is process-wide: tests install it once for every control they create.
VlReportDialogHook dialogHook = nullptr;
void* dialogHookContext = nullptr;

} // namespace
} // namespace vl

extern "C" void VlReportCtlSetDialogHook(VlReportDialogHook hook, void* context)
{
    vl::dialogHook = hook;
    vl::dialogHookContext = context;
}

namespace vl {

bool runReportDialog(VlReportDialogKind kind, QDialog& dialog, QPrinter* printer)
{
    if (dialogHook)
        return dialogHook(kind, &dialog, printer, dialogHookContext) != 0;
    return dialog.exec() == QDialog::Accepted;
}

QWidget* ReportViewControl::dialogParent() const
{
    return m_widget ? m_widget->window() : nullptr;
}

HRESULT ReportViewControl::print(const QString& sheetName, bool showDialog)
{
    LaidOutReport report;
    if (const HRESULT hr = layoutFor(sheetName, report); FAILED(hr))
        return hr;
    // Without one, Qt's printer is a PDF printer with no file: it "prints" nowhere and says nothing.
    // Its dialog still offers printing to a PDF file, so it is shown all the same.
    const bool printerInstalled = !QPrinterInfo::availablePrinters().isEmpty();
    if (!printerInstalled && !showDialog)
        return reportFailure(E_FAIL, QStringLiteral("No printer is installed"));
    QPrinter printer(QPrinter::HighResolution);
    if (!printerName.isEmpty())
        printer.setPrinterName(printerName);
    printer.setPageSize(QPageSize(report.page.paper, QPageSize::Millimeter));
    printer.setFromTo(1, static_cast<int>(report.pages.size()));
    if (showDialog) {
        QPrintDialog dialog(&printer, dialogParent());
        dialog.setMinMax(1, static_cast<int>(report.pages.size()));
        dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, m_widget != nullptr);
        if (!runReportDialog(VlReportPrintDialog, dialog, &printer))
            return S_FALSE;
    }
    // The range the user chose in the dialog; all pages otherwise.
    int first = 1, last = static_cast<int>(report.pages.size());
    if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
        first = printer.fromPage();
        last = std::max(first, printer.toPage());
    } else if (printer.printRange() == QPrinter::CurrentPage && m_widget) {
        first = last = m_widget->currentPage() + 1;
    }
    if (printer.outputFormat() == QPrinter::PdfFormat) {
        const QString file = printer.outputFileName();
        if (file.isEmpty() || QFileInfo(file).isDir())
            return reportFailure(E_FAIL, printerInstalled ? QStringLiteral("No PDF file was chosen to print to")
                                                          : QStringLiteral("No printer is installed"));
        return writePdfFile(report, file, first, last);
    }
    if (!printReport(report, printer, first, last))
        return reportFailure(E_FAIL, QStringLiteral("The report could not be printed on \"%1\"").arg(printer.printerName()));
    return S_OK;
}

HRESULT ReportViewControl::preview(const QString& sheetName)
{
    LaidOutReport report;
    if (const HRESULT hr = layoutFor(sheetName, report); FAILED(hr))
        return hr;
    QPrinter printer(QPrinter::HighResolution);
    if (!printerName.isEmpty())
        printer.setPrinterName(printerName);
    QPrintPreviewDialog dialog(&printer, dialogParent());
    dialog.setWindowTitle(QStringLiteral("Preview - %1").arg(sheetName.isEmpty() ? activeSheet() : sheetName));
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog,
                     [&report](QPrinter* target) { printReport(report, *target); });
    runReportDialog(VlReportPreviewDialog, dialog, &printer);
    return S_OK;
}

HRESULT ReportViewControl::exportPdf(const QString& sheetName, const QString& fileName)
{
    if (fileName.isEmpty())
        return reportFailure(E_INVALIDARG, QStringLiteral("No PDF file name given"));
    LaidOutReport report;
    if (const HRESULT hr = layoutFor(sheetName, report); FAILED(hr))
        return hr;
    return writePdfFile(report, fileName, 1, static_cast<int>(report.pages.size()));
}

HRESULT ReportViewControl::writePdfFile(const LaidOutReport& report, const QString& fileName, int first, int last)
{
    std::vector<std::string> inputs;
    for (const QString& input : {m_session.templateFileName(), m_props.docSrc, m_props.dataSrc}) {
        if (!input.isEmpty())
            inputs.push_back(QFile::encodeName(input).toStdString());
    }
    try {
        OutputFile file(QFile::encodeName(fileName).toStdString(), inputs);
        {
            OutputFileDevice device(file);
            QPdfWriter writer(&device);
            writer.setCreator(QStringLiteral("ReportView"));
            writer.setResolution(1200); // a high-resolution printer's, as before
            const bool painted = printReport(report, writer, first, last);
            if (!device.failure().empty())
                return reportFailure(E_FAIL, QString::fromLocal8Bit(device.failure()));
            if (!painted)
                return reportFailure(E_FAIL, QStringLiteral("The PDF file \"%1\" could not be written").arg(fileName));
        }
        file.commit();
    } catch (const std::exception& error) {
        return reportFailure(E_FAIL, QString::fromLocal8Bit(error.what()));
    }
    return S_OK;
}

HRESULT ReportViewControl::printerSetup()
{
    QPrinter printer(QPrinter::HighResolution);
    if (!printerName.isEmpty())
        printer.setPrinterName(printerName);
    QPageSetupDialog dialog(&printer, dialogParent());
    if (!runReportDialog(VlReportPrinterSetupDialog, dialog, &printer))
        return S_FALSE;
    printerName = printer.printerName();
    return S_OK;
}

} // namespace vl
