#include "DesignerWindow.h"

#include "DataDocumentSource.h"
#include "Exceptions.h"
#include "FieldList.h"
#include "InputFile.h"
#include "PageSetupDialog.h"
#include "PreviewDialog.h"
#include "PropertyPanel.h"
#include "Text.h"
#include "VLDataSDK.h"

#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <QTabBar>
#include <QVBoxLayout>

namespace vl::designer {

namespace {

const char* const NewTemplate = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                "<report version=\"1\">\n"
                                "  <sheet name=\"Sheet1\">\n"
                                "    <page size=\"A4\" orientation=\"portrait\" margins=\"15,15,15,15\"/>\n"
                                "    <title height=\"20\"/>\n"
                                "    <pageHeader height=\"8\"/>\n"
                                "    <master height=\"10\"/>\n"
                                "    <detailHeader detail=\"Detail\" height=\"7\"/>\n"
                                "    <detail detail=\"Detail\" height=\"6\"/>\n"
                                "    <summary height=\"10\"/>\n"
                                "    <pageFooter height=\"8\"/>\n"
                                "  </sheet>\n"
                                "</report>\n";

const QString TemplateFilter = QStringLiteral("Report templates (*.vld);;All files (*)");

DesignerPrompts modalPrompts(QWidget* window)
{
    DesignerPrompts prompts;
    prompts.askToSave = [window](const QString& name) {
        const auto answer = QMessageBox::question(window, QStringLiteral("vldesigner"),
                                                  DesignerWindow::tr("Save the changes to %1?").arg(name),
                                                  QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
        return answer == QMessageBox::Save ? SaveAnswer::Save : answer == QMessageBox::Discard ? SaveAnswer::Discard : SaveAnswer::Cancel;
    };
    prompts.tell = [window](const QString& message) { QMessageBox::warning(window, QStringLiteral("vldesigner"), message); };
    prompts.chooseFile = [window](const QString& caption, const QString& filter, bool save) {
        return save ? QFileDialog::getSaveFileName(window, caption, QString(), filter)
                    : QFileDialog::getOpenFileName(window, caption, QString(), filter);
    };
    prompts.askText = [window](const QString& caption, const QString& current) {
        return QInputDialog::getText(window, QStringLiteral("vldesigner"), caption, QLineEdit::Normal, current);
    };
    prompts.runDialog = [](QDialog& dialog) { return dialog.exec() == QDialog::Accepted; };
    return prompts;
}

// The vldata data options as fields: connection, master query, one detail.
class ConnectionDialog : public QDialog {
public:
    explicit ConnectionDialog(QWidget* parent) : QDialog(parent)
    {
        setWindowTitle(tr("Open data from a database"));
        auto* form = new QFormLayout(this);
        for (const auto& [name, label] : {std::pair{"connection", "Connection string"}, std::pair{"master", "Master query"},
                                          std::pair{"detailId", "Detail id"}, std::pair{"detail", "Detail query"},
                                          std::pair{"relation", "Relation (master=detail)"}}) {
            auto* edit = new QLineEdit;
            edit->setObjectName(QString::fromLatin1(name));
            form->addRow(tr(label), edit);
        }
        findChild<QLineEdit*>(QStringLiteral("detailId"))->setText(QStringLiteral("Detail"));
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        form->addRow(buttons);
    }
    DataOptions options() const
    {
        const auto text = [this](const char* name) { return findChild<QLineEdit*>(QString::fromLatin1(name))->text().trimmed(); };
        DataOptions options;
        if (!text("connection").isEmpty())
            options.connection = text("connection").toStdString();
        if (!text("master").isEmpty())
            options.masterSql = text("master").toStdString();
        if (!text("detail").isEmpty())
            options.details.push_back({text("detailId").toStdString(), text("detail").toStdString(), text("relation").toStdString(), {}});
        return options;
    }
};

} // namespace

DesignerWindow::DesignerWindow(QWidget* parent) : QMainWindow(parent), m_prompts(modalPrompts(this))
{
    m_document.setText(NewTemplate);
    m_canvas = new DesignCanvas(m_document);
    m_tabs = new QTabBar;
    m_tabs->setObjectName(QStringLiteral("sheetTabs"));
    auto* central = new QWidget;
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(m_tabs);
    column->addWidget(m_canvas, 1);
    setCentralWidget(central);
    connect(m_tabs, &QTabBar::currentChanged, this, [this](int index) {
        if (!m_updatingTabs && index >= 0)
            m_canvas->setSheet(index);
    });

    m_panel = new PropertyPanel(m_document, *m_canvas);
    auto* panelDock = new QDockWidget(tr("Properties"));
    panelDock->setObjectName(QStringLiteral("properties"));
    panelDock->setWidget(m_panel);
    addDockWidget(Qt::RightDockWidgetArea, panelDock);
    m_fields = new FieldList;
    auto* fieldDock = new QDockWidget(tr("Fields"));
    fieldDock->setObjectName(QStringLiteral("fields"));
    fieldDock->setWidget(m_fields);
    addDockWidget(Qt::LeftDockWidgetArea, fieldDock);

    buildMenus();
    // Told where the eye is while dragging, without a box to dismiss for every refused step.
    connect(m_canvas, &DesignCanvas::editRefused, this, [this](const QString& reason) { statusBar()->showMessage(reason, 10000); });
    connect(&m_document, &DesignDocument::changed, this, &DesignerWindow::documentChanged);
    documentChanged();
    resize(1200, 800);
}

DesignerWindow::~DesignerWindow() = default;

void DesignerWindow::buildMenus()
{
    const auto add = [this](QMenu* menu, const QString& text, auto slot, QKeySequence keys = {}) {
        QAction* action = menu->addAction(text, this, slot);
        action->setShortcut(keys);
        return action;
    };
    QMenu* file = menuBar()->addMenu(tr("&File"));
    add(file, tr("&New"), &DesignerWindow::newTemplate, QKeySequence::New);
    add(file, tr("&Open..."), &DesignerWindow::open, QKeySequence::Open);
    add(file, tr("Open &data..."), &DesignerWindow::openDataFile);
    add(file, tr("Open data from a data&base..."), &DesignerWindow::openDatabase);
    add(file, tr("&Save"), &DesignerWindow::save, QKeySequence::Save);
    add(file, tr("Save &As..."), &DesignerWindow::saveAs, QKeySequence::SaveAs);
    file->addSeparator();
    add(file, tr("Pre&view..."), &DesignerWindow::preview, QKeySequence(Qt::CTRL | Qt::Key_P));
    file->addSeparator();
    add(file, tr("&Quit"), &QWidget::close, QKeySequence::Quit);

    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    QAction* undo = m_document.undoStack().createUndoAction(this, tr("&Undo"));
    undo->setShortcut(QKeySequence::Undo);
    QAction* redo = m_document.undoStack().createRedoAction(this, tr("&Redo"));
    redo->setShortcut(QKeySequence::Redo);
    edit->addAction(undo);
    edit->addAction(redo);
    edit->addSeparator();
    edit->addAction(tr("Cu&t"), QKeySequence::Cut, m_canvas, &DesignCanvas::cutSelection);
    edit->addAction(tr("&Copy"), QKeySequence::Copy, m_canvas, &DesignCanvas::copySelection);
    edit->addAction(tr("&Paste"), QKeySequence::Paste, m_canvas, &DesignCanvas::paste);
    edit->addAction(tr("&Delete"), QKeySequence::Delete, m_canvas, &DesignCanvas::deleteSelection);
    edit->addAction(tr("Select &all"), QKeySequence::SelectAll, this, [this] {
        std::vector<pugi::xml_node> all;
        const auto& sheets = m_document.sheets();
        if (m_canvas->sheet() >= 0 && m_canvas->sheet() < int(sheets.size()))
            for (const DesignBand& band : sheets[size_t(m_canvas->sheet())].bands)
                for (const DesignItem& item : band.items)
                    all.push_back(item.node);
        m_canvas->select(all);
    });
    edit->addSeparator();
    for (const auto& [text, edge] : {std::pair{tr("Align &left"), Qt::LeftEdge}, std::pair{tr("Align &right"), Qt::RightEdge},
                                     std::pair{tr("Align &top"), Qt::TopEdge}, std::pair{tr("Align &bottom"), Qt::BottomEdge}})
        edit->addAction(text, this, [this, edge = edge] { m_canvas->alignSelection(edge); });
    edit->addAction(tr("Distribute &horizontally"), this, [this] { m_canvas->distributeSelection(Qt::Horizontal); });
    edit->addAction(tr("Distribute &vertically"), this, [this] { m_canvas->distributeSelection(Qt::Vertical); });

    QMenu* view = menuBar()->addMenu(tr("&View"));
    view->addAction(tr("Zoom &in"), QKeySequence::ZoomIn, this, [this] { m_canvas->setZoom(std::min(8.0, m_canvas->zoom() * 1.25)); });
    view->addAction(tr("Zoom &out"), QKeySequence::ZoomOut, this, [this] { m_canvas->setZoom(std::max(0.25, m_canvas->zoom() / 1.25)); });
    view->addAction(tr("&100%"), QKeySequence(Qt::CTRL | Qt::Key_0), this, [this] { m_canvas->setZoom(1.0); });

    QMenu* sheet = menuBar()->addMenu(tr("&Sheet"));
    add(sheet, tr("&Add"), &DesignerWindow::addSheet);
    add(sheet, tr("&Rename..."), &DesignerWindow::renameSheet);
    add(sheet, tr("&Delete"), &DesignerWindow::deleteSheet);
    add(sheet, tr("Move &left"), &DesignerWindow::moveSheetLeft);
    add(sheet, tr("Move r&ight"), &DesignerWindow::moveSheetRight);
    sheet->addSeparator();
    add(sheet, tr("&Page setup..."), &DesignerWindow::pageSetup);
}

void DesignerWindow::documentChanged()
{
    const auto& sheets = m_document.sheets();
    m_updatingTabs = true;
    while (m_tabs->count() > int(sheets.size()))
        m_tabs->removeTab(m_tabs->count() - 1);
    for (size_t i = 0; i < sheets.size(); ++i) {
        if (int(i) >= m_tabs->count())
            m_tabs->addTab(sheets[i].name);
        else
            m_tabs->setTabText(int(i), sheets[i].name);
    }
    const int current = std::clamp(m_canvas->sheet(), 0, std::max(0, int(sheets.size()) - 1));
    m_tabs->setCurrentIndex(current);
    m_updatingTabs = false;
    if (current != m_canvas->sheet())
        m_canvas->setSheet(current);
    updateTitle();
}

void DesignerWindow::updateTitle()
{
    const QString name = m_document.path().isEmpty() ? tr("untitled.vld") : QFileInfo(m_document.path()).fileName();
    setWindowTitle(QStringLiteral("%1[*] \u2013 vldesigner").arg(name));
    setWindowModified(m_document.isModified());
}

bool DesignerWindow::maySpoil()
{
    if (!m_document.isModified())
        return true;
    const QString name = m_document.path().isEmpty() ? tr("untitled.vld") : QFileInfo(m_document.path()).fileName();
    switch (m_prompts.askToSave(name)) {
    case SaveAnswer::Save:
        return save();
    case SaveAnswer::Discard:
        return true;
    default:
        return false;
    }
}

void DesignerWindow::report(const QString& reason)
{
    if (!reason.isEmpty())
        m_prompts.tell(reason);
}

bool DesignerWindow::openTemplate(const QString& path)
{
    const ParseResult result = m_document.open(path);
    if (!result.ok) {
        m_prompts.tell(result.message);
        return false;
    }
    m_canvas->setSheet(0);
    documentChanged();
    return true;
}

bool DesignerWindow::openData(const QString& path)
{
    return takeData([&path](ReportDataSet& data) {
        const std::string bytes = readInputFile(QFile::encodeName(path).toStdString(), "Data file", size_t(MaxDataDocumentChars));
        // vldata writes its documents in the locale's code page, as vlreport reads them.
        return parseDataDocument(QString::fromStdU16String(toWide(bytes)), data);
    });
}

bool DesignerWindow::openConnection(const DataOptions& options)
{
    return takeData([&options](ReportDataSet& data) {
        DataDocumentSource source(options);
        return parseDataDocument(QString::fromStdU16String(toWide(source.source().GetXML())), data);
    });
}

bool DesignerWindow::takeData(const std::function<ParseResult(ReportDataSet&)>& read)
{
    ReportDataSet data;
    ParseResult result;
    try {
        result = read(data);
    } catch (const Exception& failure) {
        result = ParseResult::failure(QString::fromStdString(failure.Message()));
    }
    if (!result.ok) {
        m_prompts.tell(result.message);
        return false;
    }
    m_data = std::move(data);
    m_fields->setData(m_data);
    return true;
}

bool DesignerWindow::saveTo(const QString& path)
{
    QString error;
    if (!m_document.save(path, error)) {
        m_prompts.tell(error);
        return false;
    }
    updateTitle();
    return true;
}

void DesignerWindow::newTemplate()
{
    if (!maySpoil())
        return;
    m_document.setText(NewTemplate);
    m_canvas->setSheet(0);
    documentChanged();
}

void DesignerWindow::open()
{
    if (!maySpoil())
        return;
    const QString path = m_prompts.chooseFile(tr("Open a template"), TemplateFilter, false);
    if (!path.isEmpty())
        openTemplate(path);
}

void DesignerWindow::openDataFile()
{
    const QString path = m_prompts.chooseFile(tr("Open a data document"), tr("Data documents (*.xml);;All files (*)"), false);
    if (!path.isEmpty())
        openData(path);
}

void DesignerWindow::openDatabase()
{
    ConnectionDialog dialog(this);
    if (m_prompts.runDialog(dialog))
        openConnection(dialog.options());
}

bool DesignerWindow::save()
{
    return m_document.path().isEmpty() ? saveAs() : saveTo(m_document.path());
}

bool DesignerWindow::saveAs()
{
    const QString path = m_prompts.chooseFile(tr("Save the template as"), TemplateFilter, true);
    return !path.isEmpty() && saveTo(path);
}

void DesignerWindow::preview()
{
    if (m_data.empty())
        m_prompts.tell(tr("No data is loaded (File > Open data): the preview shows the sheet over no rows."));
    PreviewDialog dialog(m_document.model(), std::max(0, m_canvas->sheet()), m_data, this);
    m_prompts.runDialog(dialog);
}

void DesignerWindow::addSheet()
{
    QString name;
    for (int n = int(m_document.sheets().size()) + 1; name.isEmpty() || m_document.model().sheet(name); ++n)
        name = QStringLiteral("Sheet%1").arg(n);
    name = m_prompts.askText(tr("Name of the new sheet"), name);
    if (name.isEmpty())
        return;
    const QString reason = m_document.addSheet(name);
    report(reason);
    if (reason.isEmpty())
        m_tabs->setCurrentIndex(m_tabs->count() - 1);
}

void DesignerWindow::renameSheet()
{
    const int index = m_canvas->sheet();
    if (index < 0 || index >= int(m_document.sheets().size()))
        return;
    const QString name = m_prompts.askText(tr("New name of the sheet"), m_document.sheets()[size_t(index)].name);
    if (!name.isEmpty())
        report(m_document.renameSheet(index, name));
}

void DesignerWindow::deleteSheet()
{
    report(m_document.removeSheet(m_canvas->sheet()));
}

void DesignerWindow::moveSheetLeft()
{
    const int index = m_canvas->sheet();
    if (index <= 0)
        return;
    const QString reason = m_document.moveSheet(index, index - 1);
    report(reason);
    if (reason.isEmpty())
        m_tabs->setCurrentIndex(index - 1);
}

void DesignerWindow::moveSheetRight()
{
    const int index = m_canvas->sheet();
    if (index < 0 || index + 1 >= int(m_document.sheets().size()))
        return;
    const QString reason = m_document.moveSheet(index, index + 1);
    report(reason);
    if (reason.isEmpty())
        m_tabs->setCurrentIndex(index + 1);
}

void DesignerWindow::pageSetup()
{
    const int index = m_canvas->sheet();
    if (index < 0 || index >= int(m_document.sheets().size()))
        return;
    PageSetupDialog dialog(m_document.sheets()[size_t(index)].page, this);
    if (m_prompts.runDialog(dialog))
        report(m_document.setPageSetup(index, dialog.pageSetup()));
}

void DesignerWindow::closeEvent(QCloseEvent* event)
{
    if (maySpoil())
        event->accept();
    else
        event->ignore();
}

} // namespace vl::designer
