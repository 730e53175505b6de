#pragma once
// The designer's main window: the canvas under a bar of sheet tabs, the property panel and the field
// list as docks, and the File, Edit, View and Sheet menus. Every question and message goes through
// DesignerPrompts, so tests answer them and nothing blocks.

#include "DesignCanvas.h"
#include "DataOptions.h"
#include "ReportData.h"

#include <QMainWindow>

#include <functional>

class QDialog;
class QTabBar;

namespace vl::designer {

class FieldList;
class PropertyPanel;

enum class SaveAnswer { Save, Discard, Cancel };

// Each member has a default that asks the user modally; a test replaces them.
struct DesignerPrompts {
    std::function<SaveAnswer(const QString& documentName)> askToSave;
    std::function<void(const QString& message)> tell;
    // A file to open (save false) or to write (save true); empty: cancelled.
    std::function<QString(const QString& caption, const QString& filter, bool save)> chooseFile;
    // A name for a new or renamed sheet; empty: cancelled.
    std::function<QString(const QString& caption, const QString& current)> askText;
    // Runs a dialog the window made (page setup, connection, preview); true when accepted.
    std::function<bool(QDialog& dialog)> runDialog;
};

class DesignerWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit DesignerWindow(QWidget* parent = nullptr);
    ~DesignerWindow() override;

    DesignerPrompts& prompts() { return m_prompts; }
    DesignDocument& document() { return m_document; }
    DesignCanvas& canvas() { return *m_canvas; }
    PropertyPanel& propertyPanel() { return *m_panel; }
    FieldList& fieldList() { return *m_fields; }
    QTabBar& sheetTabs() { return *m_tabs; }
    const ReportDataSet& data() const { return m_data; }

    // Each tells its failure through prompts().tell and answers false; the window keeps what it had.
    bool openTemplate(const QString& path);
    bool openData(const QString& path);
    bool openConnection(const DataOptions& options);
    bool saveTo(const QString& path);

public slots:
    void newTemplate();
    void open();
    void openDataFile();
    void openDatabase();
    bool save();
    bool saveAs();
    void preview();
    void addSheet();
    void renameSheet();
    void deleteSheet();
    void moveSheetLeft();
    void moveSheetRight();
    void pageSetup();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    // Reads a data set through `read` and makes it the window's, or tells why not and keeps the old one.
    bool takeData(const std::function<ParseResult(ReportDataSet&)>& read);
    void documentChanged();
    void updateTitle();
    bool maySpoil(); // asks to save unsaved changes; false: the user cancelled
    void report(const QString& reason); // tells a refused edit, if any

    DesignDocument m_document;
    DesignerPrompts m_prompts;
    ReportDataSet m_data;
    DesignCanvas* m_canvas = nullptr;
    PropertyPanel* m_panel = nullptr;
    FieldList* m_fields = nullptr;
    QTabBar* m_tabs = nullptr;
    bool m_updatingTabs = false;
};

} // namespace vl::designer
