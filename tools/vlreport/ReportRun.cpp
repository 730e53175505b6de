#include "ReportRun.h"
#include "ReportSession.h"

#include "DataDocumentSource.h"
#include "Exceptions.h"
#include "InputFile.h"
#include "OutputFile.h"
#include "OutputFileDevice.h"
#include "PdfStream.h"
#include "ReportExport.h"
#include "ReportPainter.h"
#include "Text.h"
#include "VLDataSDK.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QPainter>

#include <cctype>
#include <csignal>

namespace vl {
namespace {

QString fromNarrow(const std::string& text)
{
    return QString::fromStdU16String(toWide(text));
}

std::string narrow(const QString& text)
{
    return toNarrow(text.toStdU16String());
}

// Narrow texts, the file names of the command line among them, are in the locale's code page.
QString filePath(const std::string& name)
{
    return QFile::decodeName(QByteArray::fromStdString(name));
}

// The data document in UTF-8. A file is read in the locale's code page, the one vldata writes in.
QByteArray dataDocument(const VlreportOptions& options)
{
    std::string narrowText;
    if (options.dataFile) {
        narrowText = readInputFile(*options.dataFile, "Data file", static_cast<std::size_t>(MaxDataDocumentChars));
    } else {
        DataDocumentSource data(options.data);
        narrowText = data.source().GetXML();
    }
    return fromNarrow(narrowText).toUtf8();
}

// What no output may overwrite: the template, and the data document or the database.
std::vector<std::string> inputFiles(const VlreportOptions& options)
{
    std::vector<std::string> files
        = options.dataFile ? std::vector<std::string> {*options.dataFile} : databaseFiles(options.data);
    files.push_back(options.templateFile);
    return files;
}

// Pages go to the file as they are laid out; none is kept, so memory stays flat however long the
// report. Layout and writing interleave: layoutMs is the first pass that counts the pages.
void writePdf(ReportSession& session, const QString& sheetName, OutputFile& file, ReportRunStats& stats,
              QElapsedTimer& clock)
{
    const ReportTemplate& reportTemplate = *session.reportTemplate();
    PdfInfo info{reportTemplate.title, reportTemplate.author, reportTemplate.subject, QStringLiteral("vlreport")};
    {
        OutputFileDevice device(file);
        PdfPageSink sink(device, info);
        struct Counting : PageSink {
            PdfPageSink& sink;
            ReportRunStats& stats;
            QElapsedTimer& clock;
            Counting(PdfPageSink& s, ReportRunStats& r, QElapsedTimer& c) : sink(s), stats(r), clock(c) {}
            bool begin(const TemplateSheet& sheet, int pageCount) override
            {
                stats.pages = static_cast<size_t>(pageCount);
                stats.layoutMs = clock.restart();
                return sink.begin(sheet, pageCount);
            }
            bool page(LaidOutPage& page, int index) override { return sink.page(page, index); }
        } counting(sink, stats, clock);
        const SessionResult streamed = session.streamSheet(sheetName, counting);
        if (!device.failure().empty())
            throw Exception(device.failure());
        if (!streamed && !streamed.message.isEmpty())
            throw Exception(narrow(streamed.message));
        if (!streamed || !sink.finish() || !device.failure().empty()) {
            if (!device.failure().empty())
                throw Exception(device.failure());
            throw Exception(format("The PDF file \"%s\" could not be written.", file.path().c_str()));
        }
    }
    file.commit();
}

void writePngPages(const LaidOutReport& report, const std::string& folderName, int dpi,
                   const std::vector<std::string>& inputs)
{
    const QString folder = filePath(folderName);
    if (!QDir().mkpath(folder))
        throw Exception(format("Cannot create folder \"%s\".", folderName.c_str()));
    const double pixelsPerMm = dpi / 25.4;
    const QSize size(qRound(report.page.paper.width() * pixelsPerMm), qRound(report.page.paper.height() * pixelsPerMm));
    const int digits = std::max<int>(3, static_cast<int>(std::to_string(report.pages.size()).size()));
    for (size_t index = 0; index < report.pages.size(); ++index) {
        QImage image(size, QImage::Format_RGB32);
        if (image.isNull())
            throw Exception(format("A page of %d x %d pixels is too large; lower --dpi.", size.width(), size.height()));
        // The image's own resolution makes point sizes come out as on paper.
        image.setDotsPerMeterX(qRound(dpi / 0.0254));
        image.setDotsPerMeterY(qRound(dpi / 0.0254));
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setRenderHint(QPainter::TextAntialiasing);
            paintPage(painter, report.pages[index], QPointF(0, 0), pixelsPerMm);
        }
        const std::string name
            = folderName + (folderName.ends_with('/') ? "" : "/") + format("page-%0*zu.png", digits, index + 1);
        OutputFile file(name, inputs);
        {
            OutputFileDevice device(file);
            QImageWriter writer(&device, "png");
            const bool written = writer.write(image);
            if (!device.failure().empty())
                throw Exception(device.failure());
            if (!written)
                throw Exception(format("Cannot write file \"%s\". %s", name.c_str(), narrow(writer.errorString()).c_str()));
        }
        file.commit();
    }
}

// The session's prompts, in the order it tells them, for the caller to print.
class PromptCollector : public ReportSessionObserver {
public:
    explicit PromptCollector(ReportRunStats& stats) : m_stats(stats) {}
    void prompted(const QString& message) override { m_stats.prompts.push_back(narrow(message)); }

private:
    ReportRunStats& m_stats;
};

// The files of an export through OutputFile: the one file, opened before anything is read, or an SVG
// page after another in a folder.
class ExportFiles final : public ExportOutput {
public:
    explicit ExportFiles(const std::vector<std::string>& inputs) : m_inputs(inputs) {}
    void openFile(const std::string& name) { m_file.emplace(name, m_inputs); }
    void setFolder(const std::string& folder) { m_folder = folder; }

    QIODevice* open(int page, int pageCount) override
    {
        try {
            if (page >= 0) {
                m_file.reset();
                if (page == 0 && !QDir().mkpath(filePath(m_folder)))
                    throw Exception(format("Cannot create folder \"%s\".", m_folder.c_str()));
                m_file.emplace(m_folder + (m_folder.ends_with('/') ? "" : "/") + narrow(svgPageFileName(page, pageCount)),
                               m_inputs);
            }
            m_device.emplace(*m_file);
            return &*m_device;
        } catch (const Exception& error) {
            failure = fromNarrow(error.Message());
            return nullptr;
        }
    }

    bool close() override
    {
        try {
            const std::string written = m_device ? m_device->failure() : std::string();
            m_device.reset();
            if (!written.empty())
                throw Exception(written);
            m_file->commit();
            return true;
        } catch (const Exception& error) {
            failure = fromNarrow(error.Message());
            return false;
        }
    }

    QString writeFailure() const override { return m_device ? fromNarrow(m_device->failure()) : QString(); }

private:
    const std::vector<std::string>& m_inputs;
    std::string m_folder;
    std::optional<OutputFile> m_file;
    std::optional<OutputFileDevice> m_device;
};

std::optional<ExportFormat> exportFormat(const VlreportOptions& options)
{
    return options.xlsxFile  ? ExportFormat::Xlsx
        : options.csvFile    ? ExportFormat::Csv
        : options.htmlFile   ? ExportFormat::Html
        : options.svgFolder  ? ExportFormat::Svg
        : options.textFile   ? std::optional(ExportFormat::Text)
                             : std::nullopt;
}

} // namespace

ReportRunStats runVlreport(const VlreportOptions& options)
{
    ReportRunStats stats;
    QElapsedTimer clock;
    clock.start();
    // A reader that goes away is a failed write (EPIPE) with a message, not a silent end.
    std::signal(SIGPIPE, SIG_IGN);

    // Opened first, so that an output naming an input is refused before anything is read or written.
    const std::vector<std::string> inputs = inputFiles(options);
    OutputFile pdf;
    if (options.pdfFile)
        pdf.open(*options.pdfFile, inputs);
    const std::optional<ExportFormat> exported = exportFormat(options);
    ExportFiles exportFiles(inputs);
    if (exported == ExportFormat::Svg)
        exportFiles.setFolder(*options.svgFolder);
    else if (exported)
        exportFiles.openFile(*(options.xlsxFile ? options.xlsxFile : options.csvFile ? options.csvFile
                                   : options.htmlFile ? options.htmlFile : options.textFile));

    requireRegularFile(options.templateFile, "Template file", static_cast<std::size_t>(MaxDataDocumentChars));
    // Laid out once, when asked: no view waits for the first pages.
    PromptCollector prompts(stats);
    ReportSession session(&prompts, ReportSession::LayoutMode::OnDemand);
    if (const SessionResult opened = session.openTemplate(filePath(options.templateFile)); !opened)
        throw Exception(narrow(opened.message));
    // Before the data are read, so that a wrong value costs nothing; the values stay across the load.
    for (const auto& [name, value] : options.parameters)
        if (const SessionResult set = session.setParameter(fromNarrow(name), fromNarrow(value)); !set) {
            std::string message = narrow(set.message);
            if (!message.empty())
                message[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(message[0])));
            throw ParameterRefused(message);
        }
    // Empty: the template's first sheet. Asked before the data are read, so a wrong name costs nothing.
    const QString sheetName = options.sheet ? fromNarrow(*options.sheet) : QString();
    if (options.sheet && !session.reportTemplate()->sheet(sheetName))
        throw Exception(format("The template has no sheet \"%s\"", options.sheet->c_str()));

    const QByteArray document = dataDocument(options);
    if (const SessionResult loaded
        = session.loadData(std::string_view(document.constData(), static_cast<size_t>(document.size())));
        !loaded)
        throw Exception(narrow(loaded.message));
    const ReportDataSet& data = session.data();
    stats.rows = data.masterRows.size();
    for (const DetailTable& detail : data.details)
        stats.rows += detail.rows.size();
    stats.loadMs = clock.restart();

    if (options.pdfFile) {
        writePdf(session, sheetName, pdf, stats, clock);
        stats.outputMs = clock.elapsed();
        return stats;
    }
    if (exported) {
        ExportOptions exportOptions;
        exportOptions.detailId = options.detailId ? fromNarrow(*options.detailId) : QString();
        exportOptions.title = session.reportTemplate()->title;
        if (const SessionResult written = exportSheet(session, sheetName, *exported, exportFiles, exportOptions); !written)
            throw Exception(narrow(written.message));
        stats.pages = static_cast<size_t>(exportFiles.pageCount);
        stats.outputMs = clock.elapsed();
        return stats;
    }
    LaidOutReport report;
    if (const SessionResult laidOut = session.layoutSheet(sheetName, report); !laidOut)
        throw Exception(narrow(laidOut.message));
    stats.pages = report.pages.size();
    stats.layoutMs = clock.restart();

    writePngPages(report, *options.pngFolder, options.dpi, inputs);
    stats.outputMs = clock.elapsed();
    return stats;
}

std::string statsText(const ReportRunStats& stats)
{
    return format("pages: %zu\nrows: %zu\nload: %lld ms\nlayout: %lld ms\noutput: %lld ms\n", stats.pages, stats.rows,
                  static_cast<long long>(stats.loadMs), static_cast<long long>(stats.layoutMs),
                  static_cast<long long>(stats.outputMs));
}

} // namespace vl
