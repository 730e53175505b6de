// vlreport: a report template over a data document, laid out by the viewer's own engine and written
// to a PDF file or to PNG pages, for batch reports from scripts and cron.

#include "Exceptions.h"
#include "ReportCommandLine.h"
#include "ReportRun.h"
#include "ToolMain.h"

#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Qt's notices (an unset runtime folder and the like) would mix with the tool's own messages, which
// scripts read; only its critical failures pass.
void passCriticalQtMessages(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

// With the output file written to standard output (--pdf /dev/stdout, or a name for the same file),
// the statistics would end up inside it; they go to standard error instead.
bool outputIsStandardOutput(const vl::VlreportOptions& options)
{
    const std::optional<std::string>& file = options.pdfFile ? options.pdfFile
        : options.xlsxFile                                   ? options.xlsxFile
        : options.csvFile                                    ? options.csvFile
        : options.htmlFile                                   ? options.htmlFile
                                                             : options.textFile;
    struct stat output {}, standardOutput {};
    return file && ::stat(file->c_str(), &output) == 0 && ::fstat(STDOUT_FILENO, &standardOutput) == 0
        && output.st_dev == standardOutput.st_dev && output.st_ino == standardOutput.st_ino;
}

} // namespace

int main(int argc, char** argv)
{
    const vl::ToolIdentity tool {"vlreport", VL_VERSION, vl::VlreportUsage};
    return vl::runTool(tool, argc, argv, vl::parseVlreportCommandLine,
        [&](const vl::VlreportOptions& options) {
            // Never a window, so the same pages come out with or without a display.
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
            qInstallMessageHandler(passCriticalQtMessages);
            int qtArgc = 1;
            QGuiApplication application(qtArgc, argv);
            vl::CommandLineAnswers refused;
            const int exitCode = vl::runReportingFailures([&] {
                vl::ReportRunStats stats;
                try {
                    stats = vl::runVlreport(options);
                } catch (const vl::ParameterRefused& e) {
                    refused.error = e.Message();
                    return;
                }
                for (const std::string& prompt : stats.prompts)
                    std::fprintf(stderr, "%s\n", vl::messageWithFullStop(prompt).c_str());
                if (options.stats)
                    std::fputs(vl::statsText(stats).c_str(), outputIsStandardOutput(options) ? stderr : stdout);
            });
            // A parameter the template refuses is bad usage, answered as a refused command line.
            return refused.error.empty() ? exitCode : *vl::answerCommandLine(tool, refused);
        });
}
