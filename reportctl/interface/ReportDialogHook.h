#pragma once
// The plug-in's one seam for modal dialogs, so that tests and scripted hosts never block.

class QDialog;
class QPrinter;

extern "C" {

// The export dialog is a QFileDialog (never the platform's own), with a null printer.
enum VlReportDialogKind {
    VlReportPrintDialog = 1,
    VlReportPreviewDialog = 2,
    VlReportPrinterSetupDialog = 3,
    VlReportExportDialog = 4
};

// Called instead of dialog->exec(); nonzero accepts the dialog. The dialog and printer are the
// control's and live only during the call; the hook may set up the printer (e.g. a PDF file).
using VlReportDialogHook = int (*)(int kind, QDialog* dialog, QPrinter* printer, void* context);

// Installs the hook for every control of the process; null restores the modal dialogs.
__attribute__((visibility("default"))) void VlReportCtlSetDialogHook(VlReportDialogHook hook, void* context);
}

namespace vl {
// Runs the dialog through the hook when one is installed, else modally; true when accepted.
bool runReportDialog(VlReportDialogKind kind, QDialog& dialog, QPrinter* printer);
} // namespace vl
