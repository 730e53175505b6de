#include "Form1.h"

#include "Application.h"
#include "Exceptions.h"
#include "OleCheck.h"
#include "Platform.h"
#include "ProgressDialog.h"
#include "SampleComponents.h"
#include "Text.h"
#include "VLDataSDK.h"
#include "VellandorFree_TLB.h"
#include "WideDocument.h"

#include <QFrame>
#include <QLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>

#include <cstdint>
#include <memory>

TForm1* Form1 = nullptr;

namespace vl {

std::string templatePathBeside(const std::string& programFile)
{
    size_t cut = std::string::npos;
    for (size_t i = 0; i < programFile.size(); i += std::max<size_t>(1, charLengthAt(programFile, i)))
        if (programFile[i] == '/')
            cut = i;
    std::string folder;
    if (cut != std::string::npos) {
        // The separator stays when the one before it is a separator too, as a root path keeps it.
        const bool keep = cut > 0 && programFile[cut - 1] == '/';
        folder = programFile.substr(0, keep ? cut + 1 : cut);
    }
    return folder + "/test.vld";
}

} // namespace vl

namespace {
// A narrow text as the wide string the viewer takes; an empty text becomes the null string.
vl::BStr wideString(const std::string& text)
{
    return vl::BStr(vl::toWide(text));
}

// The described text box, swapped for a view of the same place, settings and tab stop that stays
// responsive with a document of one very long line (a plain text edit lays such a line out whole).
vl::TextView* replaceMemo(QPlainTextEdit* memo)
{
    auto* view = new vl::TextView(memo->parentWidget());
    view->setObjectName(memo->objectName());
    view->setLineWrapMode(memo->lineWrapMode());
    view->setHorizontalScrollBarPolicy(memo->horizontalScrollBarPolicy());
    view->setVerticalScrollBarPolicy(memo->verticalScrollBarPolicy());
    view->setTabChangesFocus(memo->tabChangesFocus());
    view->setReadOnly(memo->isReadOnly());
    view->setFocusPolicy(memo->focusPolicy());
    view->setGeometry(memo->geometry());
    QWidget::setTabOrder(memo, view);
    if (QLayout* layout = memo->parentWidget()->layout())
        delete layout->replaceWidget(memo, view);
    delete memo;
    return view;
}

// Load data's steps with their shares of a large load's time (a million rows: about a fifth
// for the document, an eighth for the conversion, two thirds in the viewer), so that the bar moves
// at an even pace. Only the document step reports its rows; the others move the bar at their start.
enum LoadStep : std::size_t { DocumentStep, ConversionStep, ViewerStep, TextBoxStep };
const vl::ProgressStep loadSteps[] = {
    {QString::fromUtf16(u"正在生成数据文档…"), 18},
    {QString::fromUtf16(u"正在转换文本…"), 13},
    {QString::fromUtf16(u"正在载入报表…"), 67},
    {QString::fromUtf16(u"正在填充文本…"), 2},
};

void requireViewer(const TReportView* view)
{
    if (!view)
        throw Exception("The report viewer is not available");
}
} // namespace

TForm1::TForm1(TComponent* owner) : TForm(owner)
{
    const auto& description = vl::form1Description();
    vl::loadSampleDataComponents(this, ADOConnection1, ADODataSet1, DataSource1, ADODataSet2);
    auto controls = vl::loadFormDescription(description, Window());
    PageControl1 = qobject_cast<QTabWidget*>(controls.at("PageControl1"));
    TabSheet1 = controls.at("TabSheet1");
    Panel1 = qobject_cast<QFrame*>(controls.at("Panel1"));
    Button1 = qobject_cast<QPushButton*>(controls.at("Button1"));
    TabSheet2 = controls.at("TabSheet2");
    Memo1 = replaceMemo(qobject_cast<QPlainTextEdit*>(controls.at("Memo1")));
    Button2 = qobject_cast<QPushButton*>(controls.at("Button2"));
    Button3 = qobject_cast<QPushButton*>(controls.at("Button3"));
    Button4 = qobject_cast<QPushButton*>(controls.at("Button4"));
    PageControl1->setCurrentIndex(0);
    ProgressDialog1 = new vl::ProgressDialog(Window());
    ProgressDialog1->setObjectName("ProgressDialog1");
    ProgressDialog1->setWindowTitle(Button2->text());

    // A failure in a command is shown by the application's handler; the loop goes on.
    auto bind = [this](QPushButton* button, void (TForm1::*handler)(TObject*)) {
        QObject::connect(button, &QPushButton::clicked, Window(), [this, handler] {
            runGuarded([this, handler] { (this->*handler)(nullptr); });
        });
    };
    bind(Button1, &TForm1::Button1Click);
    bind(Button2, &TForm1::Button2Click);
    bind(Button3, &TForm1::Button3Click);
    bind(Button4, &TForm1::Button4Click);
}

TForm1::~TForm1()
{
    // The viewer goes first: its window lives inside the tab page.
    delete ReportView1;
    ReportView1 = nullptr;
    if (Form1 == this)
        Form1 = nullptr;
}

void TForm1::DoCreate() { FormCreate(this); }

void TForm1::FormCreate(TObject* /*Sender*/)
{
    ADOConnection1->Open();
    ADODataSet1->Open();
    ADODataSet2->Open();
    auto* view = new TReportView(this);
    ReportView1 = view;
    view->SetParent(TabSheet1);
    view->SetAlign(alClient);
}

void TForm1::Button1Click(TObject* /*Sender*/)
{
    const std::string path = vl::templatePathBeside(vl::programFilePath());
    vl::BStr widePath = wideString(path);
    requireViewer(ReportView1);
    vl::ComPtr<IReportDocument> document = ReportView1->ReportDocument();
    vl::oleCheck(document->OpenFile(widePath.get()));
}

void TForm1::Button2Click(TObject* /*Sender*/)
{
    const uint32_t start = vl::tickCount();
    // A large document takes seconds: the pointer and, past a moment, the progress box tell the
    // user the window is at work; the window repaints meanwhile. Clicks wait until the end.
    vl::CommandProgress progress(*ProgressDialog1, loadSteps);
    std::string xml;
    {
        // Released before the viewer is called, on success and on failure alike.
        std::unique_ptr<TXMLDataSource> source(new TXMLDataSource(this));
        source->SetEncoding("GB2312");
        source->SetMaster(ADODataSet1, "");
        source->AddDetail("Detail", ADODataSet2, "DeptNo=DeptNo", "");
        source->SetOnProgress([&progress](std::size_t done, std::size_t total) { progress.advance(done, total); });
        xml = source->GetXML();
    }
    progress.beginStep(ConversionStep);
    // Converted once: the viewer and the text box share the same wide text. The narrow document
    // goes as soon as it is converted: a large one holds hundreds of megabytes.
    vl::WideDocument wide(xml);
    std::string().swap(xml);
    requireViewer(ReportView1);
    progress.beginStep(ViewerStep);
    vl::ComPtr<IReportData> data = ReportView1->ReportData();
    vl::oleCheck(data->LoadXML(wide.bstr(), 0));
    progress.beginStep(TextBoxStep);
    Memo1->setPlainText(wide.takeText());
    progress.finish();
    const uint32_t stop = vl::tickCount();
    SetCaption(std::to_string(static_cast<uint32_t>(stop - start)));
}

void TForm1::Button3Click(TObject* /*Sender*/)
{
    requireViewer(ReportView1);
    vl::ComPtr<IReportPrinter> printer = ReportView1->ReportPrinter();
    vl::oleCheck(printer->Print());
}

void TForm1::Button4Click(TObject* /*Sender*/)
{
    // Kept in read-only storage in the automation string layout, passed unchanged, never freed.
    static constexpr vl::StaticBStr sheet1(u"Sheet1");
    requireViewer(ReportView1);
    vl::ComPtr<IReportPrinter> printer = ReportView1->ReportPrinter();
    vl::oleCheck(printer->Preview(sheet1.get()));
}
