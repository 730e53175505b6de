// The sample report over 1 000 departments and 200 000 employees written to PDF page by page:
// layout time, PDF writing time (painting, fonts, compression, the file), peak memory and bytes per
// page, in one run. --repeat N writes the report N times over into one file, for the memory of a
// document ten times as long over the same data.
//
//   pdf_bench [--employees N] [--departments N] [--repeat N] [--template FILE] [--out FILE] [--qt]
//
// --qt writes the same pages through QPdfWriter instead (every page kept, as before streaming), for
// the figure to compare with. Prints one line of the table in bench/README.md.

#include "GeneratedDocument.h"
#include "PdfStream.h"
#include "PdfWriter.h"
#include "PeakMemory.h"
#include "ReportData.h"
#include "ReportLayout.h"
#include "ReportPainter.h"
#include "ReportSession.h"
#include "ReportTemplate.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPdfWriter>

#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

namespace {

int intOption(int argc, char** argv, const char* name, int fallback)
{
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0)
            return std::atoi(argv[i + 1]);
    return fallback;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    QGuiApplication app(argc, argv);
    const int employees = intOption(argc, argv, "--employees", 200000);
    const int departments = intOption(argc, argv, "--departments", 1000);
    const int repeat = std::max(1, intOption(argc, argv, "--repeat", 1));
    const bool qt = app.arguments().contains(QStringLiteral("--qt"));
    const auto textOption = [&app](const QString& name, const QString& fallback) {
        const qsizetype at = app.arguments().indexOf(name);
        return at > 0 && at + 1 < app.arguments().size() ? app.arguments().at(at + 1) : fallback;
    };
    const QString out = textOption(QStringLiteral("--out"), QStringLiteral("/tmp/pdf_bench.pdf"));
    const QString templateFile = textOption(QStringLiteral("--template"), QStringLiteral(VL_SAMPLE_TEMPLATE));

    vl::ReportTemplate report;
    if (const vl::ParseResult loaded = vl::loadTemplateFile(templateFile, report); !loaded.ok) {
        std::fprintf(stderr, "%s\n", qPrintable(loaded.message));
        return 1;
    }
    const vl::TemplateSheet& sheet = *report.sheet(QStringLiteral("Sheet1"));
    vl::ReportDataSet data;
    {
        const std::string document = vl::bench::generatedDocument(departments, employees);
        if (const vl::ParseResult read = vl::parseDataDocument(document, data); !read.ok) {
            std::fprintf(stderr, "%s\n", qPrintable(read.message));
            return 1;
        }
    }
    std::fprintf(stderr, "peak after reading the data: %.0f MB\n", vl::bench::peakMemory() / 1e6);
    vl::LayoutHooks hooks;
    hooks.printTime = QDateTime(QDate(2024, 1, 1), QTime(12, 0));

    QFile file(out);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(out));
        return 1;
    }
    QElapsedTimer clock;
    qint64 layoutNs = 0, writeNs = 0, secondLayoutNs = 0;
    int pages = 0;

    if (qt) {
        // As before streaming: every page laid out and kept, then painted through Qt's writer.
        clock.start();
        const vl::LaidOutReport laidOut = vl::layoutReport(sheet, data, hooks);
        layoutNs = clock.nsecsElapsed();
        pages = static_cast<int>(laidOut.pages.size());
        clock.restart();
        QPdfWriter writer(&file);
        writer.setResolution(1200);
        vl::printReport(laidOut, writer);
        writeNs = clock.nsecsElapsed();
    } else {
        // The first pass counts the pages for [Pages], as ReportSession::streamSheet does.
        clock.start();
        {
            vl::LayoutHooks counting = hooks; // as the session counts: no graphics are made
            counting.makeGraphics = false;
            vl::ReportLayouter counter(sheet, data, counting);
            for (bool done = false; !done;) {
                done = counter.layoutUntil(pages + 1);
                while (pages < counter.pageCount())
                    counter.takePage(pages++);
            }
        }
        layoutNs = clock.nsecsElapsed();
        std::fprintf(stderr, "peak after the counting pass: %.0f MB\n", vl::bench::peakMemory() / 1e6);
        vl::PdfPageSink sink(file, {QStringLiteral("pdf_bench"), {}, {}, {}});
        sink.begin(sheet, pages * repeat);
        for (int round = 0; round < repeat; ++round) {
            vl::ReportLayouter layouter(sheet, data, hooks);
            for (int index = 0; index < pages; ++index) {
                clock.restart();
                layouter.layoutUntil(index + 1 + vl::StreamLookahead); // as the session streams
                vl::LaidOutPage page = layouter.takePage(index, pages);
                secondLayoutNs += clock.nsecsElapsed();
                clock.restart();
                sink.page(page, round * pages + index);
                writeNs += clock.nsecsElapsed();
            }
        }
        clock.restart();
        if (!sink.finish()) {
            std::fprintf(stderr, "the PDF could not be written\n");
            return 1;
        }
        writeNs += clock.nsecsElapsed();
        pages *= repeat;
    }
    file.close();
    const double layoutMs = static_cast<double>(layoutNs) / 1e6, writeMs = static_cast<double>(writeNs) / 1e6;
    const double bytes = static_cast<double>(QFileInfo(out).size());
    // Written `repeat` times over, the report was laid out once for counting: the ratio is per round.
    const std::string what = qt ? "QPdfWriter, all pages kept"
                                : repeat > 1 ? "PdfWriter, streamed, " + std::to_string(repeat) + " times over"
                                             : "PdfWriter, streamed";
    std::printf("| %s | %d | %.0f | %.0f | %.2fx | %.0f | %.2f |\n", what.c_str(), pages, layoutMs, writeMs,
                writeMs / repeat / layoutMs, vl::bench::peakMemory() / 1e6, bytes / pages / 1024);
    if (!qt)
        std::fprintf(stderr, "second layout pass (not in the PDF time): %.0f ms\n", static_cast<double>(secondLayoutNs) / 1e6);
    return 0;
}
