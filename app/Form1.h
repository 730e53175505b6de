#pragma once
// The program's one window: a button panel with the four commands along the top and a
// two-page tab control (the report viewer, the XML data document as text) filling the rest.

#include "FormDescription.h"
#include "Form.h"
#include "TextView.h"

#include <functional>
#include <string>

class QFrame;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QWidget;
class TADOConnection;
class TADODataSet;
class TDataSource;
class TReportView;
namespace vl {
class ProgressDialog;
}

class TForm1 : public TForm {
public:
    // Loads the form description; the creation handler runs afterwards (TApplication::CreateForm).
    explicit TForm1(TComponent* owner);
    ~TForm1() override;

    TADOConnection* ADOConnection1 = nullptr;
    TADODataSet* ADODataSet1 = nullptr;
    TDataSource* DataSource1 = nullptr;
    TADODataSet* ADODataSet2 = nullptr;
    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheet1 = nullptr;
    QFrame* Panel1 = nullptr;
    QPushButton* Button1 = nullptr;
    QWidget* TabSheet2 = nullptr;
    // The text box of the data document: a view that lays out only what is on screen.
    vl::TextView* Memo1 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button3 = nullptr;
    QPushButton* Button4 = nullptr;
    // The progress of load data over the window; hidden between loads.
    vl::ProgressDialog* ProgressDialog1 = nullptr;
    // Empty until the creation handler has made the viewer, and when that failed.
    TReportView* ReportView1 = nullptr;

    void Button1Click(TObject* Sender);
    void Button2Click(TObject* Sender);
    void FormCreate(TObject* Sender);
    void Button3Click(TObject* Sender);
    void Button4Click(TObject* Sender);

protected:
    void DoCreate() override;
};

extern TForm1* Form1;

namespace vl {
const FormDescription& form1Description();
// The template beside the program file: its folder (cut at the last "/" that is no trailing
// byte of a double-byte character) followed by "/test.vld".
std::string templatePathBeside(const std::string& programFile);
} // namespace vl
