// The control's paper: print, preview, PDF export and the printer setup, and the dialog seam that
// lets tests answer their dialogs. Every output streams page by page from the session, none keeps the
// pages: the print dialog learns the page count from a pass that keeps nothing, and a preview lays the
// pages out again whenever it asks for them.

#include "ReportViewControl.h"

#include "ReportDialogHook.h"
#include "ReportExport.h"
#include "PdfStream.h"
#include "ReportPainter.h"

#include "OutputFile.h"
#include "OutputFileDevice.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QPageSetupDialog>
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

namespace {

// The page count and paper of a sheet, from the session's counting pass: it ends the stream there.
struct PageCounter final : PageSink {
    int count = 0;
    QSizeF paper;
    bool begin(const TemplateSheet& sheet, int pageCount) override
    {
        count = pageCount;
        paper = sheet.page.paper;
        return false;
    }
    bool page(LaidOutPage&, int) override { return false; }
};

} // namespace

QWidget* ReportViewControl::dialogParent() const
{
    return m_widget ? m_widget->window() : nullptr;
}

HRESULT ReportViewControl::print(const QString& sheetName, bool showDialog)
{
    // Without one, Qt's printer is a PDF printer with no file: it "prints" nowhere and says nothing.
    // Its dialog still offers printing to a PDF file, so it is shown all the same.
    const bool printerInstalled = !QPrinterInfo::availablePrinters().isEmpty();
    if (!printerInstalled && !showDialog)
        return reportFailure(E_FAIL, QStringLiteral("No printer is installed"));
    QPrinter printer(QPrinter::HighResolution);
    if (!printerName.isEmpty())
        printer.setPrinterName(printerName);
    // Every page (or the range chosen), none kept: the printer takes each as it is laid out.
    const auto printRange = [&](int first, int last) -> HRESULT {
        PrintPageSink sink(printer, first, last);
        const SessionResult streamed = m_session.streamSheet(sheetName, sink);
        if (!streamed && !streamed.message.isEmpty())
            return failure(streamed);
        if (!streamed || !sink.finish())
            return reportFailure(E_FAIL, QStringLiteral("The report could not be printed on \"%1\"").arg(printer.printerName()));
        return S_OK;
    };
    if (!showDialog)
        return printRange(1, INT_MAX);
    PageCounter counter;
    if (const SessionResult counted = m_session.streamSheet(sheetName, counter); !counted && !counted.message.isEmpty())
        return failure(counted);
    if (counter.count < 1)
        return reportFailure(E_FAIL, QStringLiteral("The report could not be laid out"));
    printer.setPageSize(QPageSize(counter.paper, QPageSize::Millimeter));
    printer.setFromTo(1, counter.count);
    QPrintDialog dialog(&printer, dialogParent());
    dialog.setMinMax(1, counter.count);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, m_widget != nullptr);
    if (!runReportDialog(VlReportPrintDialog, dialog, &printer))
        return S_FALSE;
    // The range the user chose in the dialog; all pages otherwise.
    int first = 1, last = counter.count;
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
        return writePdfFile(sheetName, file, first, last);
    }
    return printRange(first, last);
}

HRESULT ReportViewControl::preview(const QString& sheetName)
{
    PageCounter counter;
    if (const SessionResult counted = m_session.streamSheet(sheetName, counter); !counted && !counted.message.isEmpty())
        return failure(counted);
    QPrinter printer(QPrinter::HighResolution);
    if (!printerName.isEmpty())
        printer.setPrinterName(printerName);
    QPrintPreviewDialog dialog(&printer, dialogParent());
    dialog.setWindowTitle(QStringLiteral("Preview - %1").arg(sheetName.isEmpty() ? activeSheet() : sheetName));
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, [this, &sheetName](QPrinter* target) {
        PrintPageSink sink(*target);
        if (m_session.streamSheet(sheetName, sink))
            sink.finish();
    });
    runReportDialog(VlReportPreviewDialog, dialog, &printer);
    return S_OK;
}

HRESULT ReportViewControl::exportPdf(const QString& sheetName, const QString& fileName)
{
    if (fileName.isEmpty())
        return reportFailure(E_INVALIDARG, QStringLiteral("No PDF file name given"));
    return writePdfFile(sheetName, fileName, 1, INT_MAX);
}

HRESULT ReportViewControl::writePdfFile(const QString& sheetName, const QString& fileName, int first, int last)
{
    std::vector<std::string> inputs;
    for (const QString& input : {m_session.templateFileName(), m_props.docSrc, m_props.dataSrc}) {
        if (!input.isEmpty())
            inputs.push_back(QFile::encodeName(input).toStdString());
    }
    PdfInfo info;
    if (const std::optional<ReportTemplate>& open = m_session.reportTemplate())
        info = {open->title, open->author, open->subject, {}};
    info.creator = QStringLiteral("ReportView");
    try {
        OutputFile file(QFile::encodeName(fileName).toStdString(), inputs);
        {
            OutputFileDevice device(file);
            PdfPageSink sink(device, info, first, last);
            const SessionResult streamed = m_session.streamSheet(sheetName, sink);
            if (!device.failure().empty())
                return reportFailure(E_FAIL, QString::fromLocal8Bit(device.failure()));
            if (!streamed && !streamed.message.isEmpty())
                return failure(streamed);
            const bool written = streamed && sink.finish();
            if (!device.failure().empty())
                return reportFailure(E_FAIL, QString::fromLocal8Bit(device.failure()));
            if (!written)
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

namespace {

// An export's files through OutputFile: the one file, or a page after another in a folder.
class ExportFiles final : public ExportOutput {
public:
    ExportFiles(QString path, bool folder, std::vector<std::string> inputs)
        : m_path(std::move(path)), m_folder(folder), m_inputs(std::move(inputs))
    {
    }

    QIODevice* open(int page, int pageCount) override { return openNamed(page < 0 ? QString() : svgPageFileName(page, pageCount)); }

    // `name` inside the folder; empty: the one file.
    QIODevice* openNamed(const QString& name)
    {
        try {
            m_device.reset();
            m_file.reset();
            if (m_folder && !QDir().mkpath(m_path)) {
                failure = QStringLiteral("Cannot create folder \"%1\"").arg(m_path);
                return nullptr;
            }
            const QString path = m_folder ? QDir(m_path).filePath(name) : m_path;
            m_file.emplace(QFile::encodeName(path).toStdString(), m_inputs);
            m_device.emplace(*m_file);
            return &*m_device;
        } catch (const std::exception& error) {
            failure = QString::fromLocal8Bit(error.what());
            return nullptr;
        }
    }

    bool close() override
    {
        try {
            const std::string written = m_device ? m_device->failure() : std::string();
            m_device.reset();
            if (!written.empty()) {
                failure = QString::fromLocal8Bit(written);
                m_file.reset();
                return false;
            }
            m_file->commit();
            return true;
        } catch (const std::exception& error) {
            failure = QString::fromLocal8Bit(error.what());
            return false;
        }
    }

    QString writeFailure() const override
    {
        return m_device ? QString::fromLocal8Bit(m_device->failure()) : QString();
    }

private:
    QString m_path;
    bool m_folder;
    std::vector<std::string> m_inputs;
    std::optional<OutputFile> m_file;
    std::optional<OutputFileDevice> m_device;
};

// The dialog's choices: caption, format name, extension.
struct ExportChoice {
    const char* filter;
    const char* format;
};
constexpr ExportChoice ExportChoices[] = {
    {"PDF (*.pdf)", "pdf"},
    {"Spreadsheet (*.xlsx)", "xlsx"},
    {"CSV, the rows of the first detail (*.csv)", "csv"},
    {"Web page (*.html)", "html"},
    {"SVG pages, a folder of page-001.svg ... (*.svg)", "svg"},
    {"PNG pages, a folder of page-001.png ... (*.png)", "png"},
    {"Plain text (*.txt)", "txt"},
};

} // namespace

HRESULT ReportViewControl::exportReport(const QString& format, const QString& path)
{
    const QString kind = format.trimmed().toLower();
    const std::optional<ExportFormat> exported = exportFormatNamed(kind);
    if (kind != u"pdf" && kind != u"png" && !exported)
        return reportFailure(E_INVALIDARG,
                             QStringLiteral("Unknown export format \"%1\": use pdf, xlsx, csv, html, svg, png or txt").arg(format));
    if (path.isEmpty())
        return reportFailure(E_INVALIDARG, QStringLiteral("No file name given for the export"));
    if (kind == u"pdf")
        return writePdfFile(QString(), path, 1, INT_MAX);
    std::vector<std::string> inputs;
    for (const QString& input : {m_session.templateFileName(), m_props.docSrc, m_props.dataSrc})
        if (!input.isEmpty())
            inputs.push_back(QFile::encodeName(input).toStdString());
    const bool folder = kind == u"png" || exported == ExportFormat::Svg;
    ExportFiles files(path, folder, inputs);
    if (kind == u"png") {
        // The screen's resolution, as vlreport's default.
        LaidOutReport report;
        if (const HRESULT hr = layoutFor(QString(), report); FAILED(hr))
            return hr;
        const double pixelsPerMm = 96 / 25.4;
        const QSize size(qRound(report.page.paper.width() * pixelsPerMm), qRound(report.page.paper.height() * pixelsPerMm));
        const int count = static_cast<int>(report.pages.size());
        for (int index = 0; index < count; ++index) {
            QImage image(size, QImage::Format_RGB32);
            if (image.isNull())
                return reportFailure(E_OUTOFMEMORY, QStringLiteral("A page of %1 x %2 pixels is too large").arg(size.width()).arg(size.height()));
            image.setDotsPerMeterX(qRound(96 / 0.0254));
            image.setDotsPerMeterY(qRound(96 / 0.0254));
            image.fill(Qt::white);
            {
                QPainter painter(&image);
                painter.setRenderHint(QPainter::Antialiasing);
                paintPage(painter, report.pages[static_cast<size_t>(index)], QPointF(0, 0), pixelsPerMm);
            }
            QString name = svgPageFileName(index, count);
            name.replace(QStringLiteral(".svg"), QStringLiteral(".png"));
            QIODevice* device = files.openNamed(name);
            if (!device)
                return reportFailure(E_FAIL, files.failure);
            QImageWriter writer(device, "png");
            if (!writer.write(image) && files.failure.isEmpty())
                files.failure = QStringLiteral("Cannot write \"%1\": %2").arg(name, writer.errorString());
            if (!files.failure.isEmpty() || !files.close())
                return reportFailure(E_FAIL, files.failure);
        }
        return S_OK;
    }
    ExportOptions options;
    if (const std::optional<ReportTemplate>& open = m_session.reportTemplate())
        options.title = open->title;
    if (const SessionResult written = exportSheet(m_session, QString(), *exported, files, options); !written)
        return failure(written);
    return S_OK;
}

HRESULT ReportViewControl::exportWithDialog()
{
    QFileDialog dialog(dialogParent(), QStringLiteral("Export"));
    // Qt's own dialog, so that the seam can fill it in; a platform dialog is no QDialog to hand on.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    QStringList filters;
    for (const ExportChoice& choice : ExportChoices)
        filters.append(QString::fromUtf8(choice.filter));
    dialog.setNameFilters(filters);
    if (!runReportDialog(VlReportExportDialog, dialog, nullptr))
        return S_FALSE;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.front().isEmpty())
        return S_FALSE;
    const qsizetype filter = std::max<qsizetype>(0, filters.indexOf(dialog.selectedNameFilter()));
    const QString format = QString::fromLatin1(ExportChoices[filter].format);
    QString path = chosen.front();
    const QFileInfo info(path);
    // Page formats go into a folder named as the file would be, without its extension.
    if (format == u"svg" || format == u"png")
        path = info.suffix().compare(format, Qt::CaseInsensitive) == 0 ? info.dir().filePath(info.completeBaseName()) : path;
    else if (info.suffix().isEmpty() && !info.exists()) // a device or a file chosen as it is stays so
        path += u'.' + format;
    return exportReport(format, path);
}

} // namespace vl
